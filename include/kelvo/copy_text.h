// Text in PostgreSQL's COPY text format: backslash, tab, line feed and
// carriage return escaped; everything else as it is. Shared by dumpcat's
// COPY output and the PostgreSQL import target.
#pragma once

#include <cstddef>

// Hands `put` the runs of p[0..n) with the escapes in between.
template <class Put> void copy_text_escaped(const char *p, size_t n, Put put)
{
    size_t from = 0;
    for (size_t i = 0; i < n; i++) {
        char c = p[i];
        const char *esc = c == '\\' ? "\\\\" : c == '\t' ? "\\t" : c == '\n' ? "\\n" : c == '\r' ? "\\r" : nullptr;
        if (!esc)
            continue;
        put(p + from, i - from);
        put(esc, 2);
        from = i + 1;
    }
    put(p + from, n - from);
}
