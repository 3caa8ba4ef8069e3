// Oracle's column type codes (COL$ TYPE#, kept in the dump's column
// information) that the unloader and the importer treat apart from the rest.
#pragma once

#include <cstdint>

constexpr uint32_t TYPE_LONG = 8;
constexpr uint32_t TYPE_LONG_RAW = 24;
constexpr uint32_t TYPE_CLOB = 112;      // CLOB, or NCLOB in the national character set
constexpr uint32_t TYPE_BLOB = 113;
