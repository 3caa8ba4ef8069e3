// libFuzzer target over the saved scan's decoder: any bytes are either
// refused with a reason or decoded into a result that encodes back to the
// same bytes, and whose columns can be guessed and named. Each input is
// tried as it is and with its check value made to match, so that the
// checks behind the check value are reached.
#include <cstdlib>
#include <cstring>
#include <vector>

#include "kelvo.h"

namespace {

void try_bytes(const uint8_t *data, size_t size)
{
    SCAN_RESULT r;
    const char *why = nullptr;
    if (scan_decode(data, size, r, &why) != 0) {
        if (why == nullptr)
            abort();
        return;
    }
    std::vector<uint8_t> again;
    scan_encode(r, again);
    if (again.size() != size || memcmp(again.data(), data, size) != 0)
        abort();
    for (const SCAN_OBJ &o : r.objs) {
        if (o.cols.size() != o.ncol)
            abort();
        for (const SCAN_COL &c : o.cols) {
            SCAN_GUESS g = scan_guess(&c);
            char buf[32];
            scan_type_text(&g, buf, sizeof(buf));
            if (g.fit > c.values)
                abort();
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    try_bytes(data, size);
    if (size < 4)
        return 0;
    std::vector<uint8_t> sealed(data, data + size);
    uint32_t h = 2166136261u;   // FNV-1a of everything before the check value
    for (size_t i = 0; i + 4 < size; i++)
        h = (h ^ sealed[i]) * 16777619u;
    for (int i = 0; i < 4; i++)
        sealed[size - 4 + (size_t)i] = (uint8_t)(h >> (8 * i));
    try_bytes(sealed.data(), size);
    return 0;
}
