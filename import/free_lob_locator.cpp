// Releases the RETURNING locators of a table and the shared empty locator.
#include <cstdio>

#include "util.h"

int free_return_lob_locator(int ti)
{
    (void)ti;
    int nb = g_imp.ncol + g_imp.nlob;
    if (g_imp.bc)
        for (int r = g_imp.ncol; r < nb; r++) {
            BIND_COLUMN *b = &g_imp.bc[r];
            if (!b->valp)
                continue;
            if (check_error(g_env.errhp, OCIDescriptorFree(b->valp, OCI_DTYPE_LOB)) < 0)
                imp_error("Free LOB Locator - OCIDescriptorFree()\n%s\n", g_oem);
            b->valp = nullptr;
        }
    if (g_empty_lobp) {
        if (check_error(g_env.errhp, OCIDescriptorFree(g_empty_lobp, OCI_DTYPE_LOB)) < 0)
            imp_error("Free LOB Locator - OCIDescriptorFree()\n%s\n", g_oem);
        g_empty_lobp = nullptr;
    }
    return 0;
}
