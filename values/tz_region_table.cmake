# Turns the table of Oracle's time-zone region ids (a TSV file: a header line,
# then "id<TAB>name" lines in ascending id order) into a C++ source holding
# the same pairs as a sorted array, so the lookup needs no file at run time.
#   cmake -DIN=data/oracle-tz-regions.tsv -DOUT=tz_region_table.cpp -P tz_region_table.cmake
if(NOT IN OR NOT OUT)
  message(FATAL_ERROR "usage: cmake -DIN=table.tsv -DOUT=source.cpp -P tz_region_table.cmake")
endif()
file(STRINGS "${IN}" lines)
list(POP_FRONT lines header)
if(NOT header STREQUAL "id\tname")
  message(FATAL_ERROR "${IN}: the first line is not the header \"id<TAB>name\"")
endif()
set(body "")
set(prev -1)
set(count 0)
foreach(line IN LISTS lines)
  if(line STREQUAL "")
    continue()
  endif()
  # A name is printed as it is into the stored text: only the characters of
  # zone names are accepted, so none can break the generated string literal.
  if(NOT line MATCHES "^([0-9]+)\t([A-Za-z0-9_/+-]+)$")
    message(FATAL_ERROR "${IN}: not an \"id<TAB>name\" line: ${line}")
  endif()
  set(id ${CMAKE_MATCH_1})
  set(name ${CMAKE_MATCH_2})
  if(NOT id GREATER prev)
    message(FATAL_ERROR "${IN}: id ${id} does not follow ${prev} in ascending order")
  endif()
  if(id GREATER 8191)
    message(FATAL_ERROR "${IN}: id ${id} does not fit the 13 bits of a stored region id")
  endif()
  string(APPEND body "    {${id}, \"${name}\"},\n")
  set(prev ${id})
  math(EXPR count "${count} + 1")
endforeach()
file(WRITE "${OUT}.tmp"
"// Generated from oracle-tz-regions.tsv by tz_region_table.cmake; do not edit.\n"
"#include \"kelvo/values.h\"\n\n"
"const tz_region_entry tz_region_table[] = {\n${body}};\n"
"const size_t tz_region_count = ${count};\n")
# Rewritten only when the text changes, so an unchanged table rebuilds nothing.
file(COPY_FILE "${OUT}.tmp" "${OUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUT}.tmp")
