// The version every program prints for --version and in its banner. The
// number is the project VERSION of the top CMakeLists.txt, which the package
// carries too.
#pragma once

#ifndef KELVO_VERSION_TEXT
#error "KELVO_VERSION_TEXT is defined by the build from the project VERSION"
#endif

constexpr char KELVO_VERSION[] = KELVO_VERSION_TEXT;
