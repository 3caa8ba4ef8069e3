// Binary searches over the sorted arrays of the loaded dictionary. They
// allocate nothing: the LOB unloader calls them for every LOB value.
#include "kelvo/context.h"

namespace {

// Index of the matching record, or -1. cmp(i) compares the searched key with
// the record at i: negative when the key is smaller, 0 when it matches.
template <class Cmp>
int binary_search(uint32_t n, Cmp cmp)
{
    int il = 0;
    int ih = (int)n - 1;
    while (il <= ih) {
        int im = il + (ih - il) / 2;
        int c = cmp(im);
        if (c == 0)
            return im;
        if (c < 0)
            ih = im - 1;
        else
            il = im + 1;
    }
    return -1;
}

inline int cmp_u32(uint32_t want, uint32_t have) { return want < have ? -1 : want > have ? 1 : 0; }

} // namespace

int lookup_user(uint32_t uid)
{
    if (g_ctx.usr == nullptr)
        return -1;
    return binary_search(g_ctx.sys.nu, [uid](int i) { return cmp_u32(uid, g_ctx.usr[i].uid); });
}

int lookup_obj(uint32_t objn)
{
    if (g_ctx.obj == nullptr)
        return -1;
    return binary_search(g_ctx.sys.nobj, [objn](int i) { return cmp_u32(objn, g_ctx.obj[i].objn); });
}

int lookup_tab(uint32_t objn)
{
    if (g_ctx.tab == nullptr)
        return -1;
    return binary_search(g_ctx.sys.ntab, [objn](int i) { return cmp_u32(objn, g_ctx.tab[i].objn); });
}

int lookup_lob(uint32_t objn, uint32_t cid)
{
    if (g_ctx.lob == nullptr)
        return -1;
    return binary_search(g_ctx.sys.nlob, [objn, cid](int i) {
        int c = cmp_u32(objn, g_ctx.lob[i].objp);
        return c != 0 ? c : cmp_u32(cid, g_ctx.lob[i].cid);
    });
}

int lookup_lob_index(uint32_t objn)
{
    if (g_ctx.lidx == nullptr)
        return -1;
    return binary_search(g_ctx.sys.nidx, [objn](int i) { return cmp_u32(objn, g_ctx.lidx[i].objn); });
}
