// The version both programs print for --version.
#pragma once

constexpr char KELVO_VERSION[] = "0.1.0";
