// Oracle's column type codes (COL$ TYPE#, kept in the dump's column
// information) that the code names.
#pragma once

#include <cstdint>

constexpr uint32_t TYPE_VARCHAR2 = 1;   // VARCHAR2, or NVARCHAR2 in the national character set
constexpr uint32_t TYPE_NUMBER = 2;
constexpr uint32_t TYPE_DATE = 12;
constexpr uint32_t TYPE_RAW = 23;
constexpr uint32_t TYPE_CHAR = 96;       // CHAR, or NCHAR
constexpr uint32_t TYPE_BINARY_FLOAT = 100;
constexpr uint32_t TYPE_BINARY_DOUBLE = 101;
constexpr uint32_t TYPE_TIMESTAMP = 180;
constexpr uint32_t TYPE_LONG = 8;
constexpr uint32_t TYPE_LONG_RAW = 24;
constexpr uint32_t TYPE_CLOB = 112;      // CLOB, or NCLOB in the national character set
constexpr uint32_t TYPE_BLOB = 113;
