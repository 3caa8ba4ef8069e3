// libFuzzer target over the saved scan's decoder: any bytes are either
// refused with a reason or decoded into a result that encodes back to the
// same bytes, and whose columns can be guessed and named.
#include <cstdlib>
#include <vector>

#include "kelvo.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    SCAN_RESULT r;
    const char *why = nullptr;
    if (scan_decode(data, size, r, &why) != 0) {
        if (why == nullptr)
            abort();
        return 0;
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
    return 0;
}
