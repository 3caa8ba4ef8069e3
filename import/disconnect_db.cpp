// Disconnection: the session ends and every handle is released, each only
// when it exists; the first failing call stops it.
#include <cstdio>

#include "util.h"

static int free_handle(void **h, ub4 type)
{
    if (!*h)
        return 0;
    if (check_error(g_env.errhp, OCIHandleFree(*h, type)) < 0)
        return -1;
    *h = nullptr;
    return 0;
}

int disconnect_oracle()
{
    OCIError *err = g_env.errhp;
    if (free_handle(reinterpret_cast<void **>(&g_env.smthp), OCI_HTYPE_STMT) != 0)
        return -1;
    if (g_env.svchp && err && g_env.usrhp &&
        check_error(err, OCISessionEnd(g_env.svchp, err, g_env.usrhp, OCI_DEFAULT)) < 0)
        return -1;
    if (free_handle(reinterpret_cast<void **>(&g_env.usrhp), OCI_HTYPE_SESSION) != 0)
        return -1;
    if (g_env.srvhp && err && check_error(err, OCIServerDetach(g_env.srvhp, err, OCI_DEFAULT)) < 0)
        return -1;
    if (free_handle(reinterpret_cast<void **>(&g_env.srvhp), OCI_HTYPE_SERVER) != 0 ||
        free_handle(reinterpret_cast<void **>(&g_env.svchp), OCI_HTYPE_SVCCTX) != 0)
        return -1;
    if (g_env.errhp) {
        if (OCIHandleFree(g_env.errhp, OCI_HTYPE_ERROR) != OCI_SUCCESS) {
            g_oec = -1;
            snprintf(g_oem, sizeof g_oem, "free error handle failed.");
            return -1;
        }
        g_env.errhp = nullptr;
    }
    if (g_env.envhp) {
        if (OCIHandleFree(g_env.envhp, OCI_HTYPE_ENV) != OCI_SUCCESS) {
            g_oec = -1;
            snprintf(g_oem, sizeof g_oem, "free OCI enviroment handle failed.");
            return -1;
        }
        g_env.envhp = nullptr;
    }
    return 0;
}
