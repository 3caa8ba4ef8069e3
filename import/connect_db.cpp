// Connection to the database: environment, handles, server and session.
#include <cstdio>
#include <cstring>

#include "util.h"

OCI_ENV g_env;

int connect_oracle(const char *user, const char *passwd, const char *tns)
{
    memset(&g_env, 0, sizeof g_env);
    if (OCIEnvCreate(&g_env.envhp, OCI_DEFAULT, nullptr, nullptr, nullptr, nullptr, 0, nullptr) != OCI_SUCCESS) {
        g_oec = -1;
        snprintf(g_oem, sizeof g_oem, "create OCI enviroment error.");
        return -1;
    }
    if (OCIHandleAlloc(g_env.envhp, reinterpret_cast<void **>(&g_env.errhp), OCI_HTYPE_ERROR, 0, nullptr) !=
        OCI_SUCCESS) {
        g_oec = -1;
        snprintf(g_oem, sizeof g_oem, "allocate error handle failed.");
        return -1;
    }
    OCIError *err = g_env.errhp;
    if (check_error(err, OCIHandleAlloc(g_env.envhp, reinterpret_cast<void **>(&g_env.svchp), OCI_HTYPE_SVCCTX, 0,
                                        nullptr)) < 0 ||
        check_error(err, OCIHandleAlloc(g_env.envhp, reinterpret_cast<void **>(&g_env.srvhp), OCI_HTYPE_SERVER, 0,
                                        nullptr)) < 0)
        return -1;
    if (check_error(err, OCIServerAttach(g_env.srvhp, err, reinterpret_cast<const OraText *>(tns),
                                         (sb4)strlen(tns), OCI_DEFAULT)) < 0)
        return -1;
    if (check_error(err, OCIAttrSet(g_env.svchp, OCI_HTYPE_SVCCTX, g_env.srvhp, 0, OCI_ATTR_SERVER, err)) < 0)
        return -1;
    if (check_error(err, OCIHandleAlloc(g_env.envhp, reinterpret_cast<void **>(&g_env.usrhp), OCI_HTYPE_SESSION, 0,
                                        nullptr)) < 0)
        return -1;
    if (check_error(err, OCIAttrSet(g_env.usrhp, OCI_HTYPE_SESSION, const_cast<char *>(user), (ub4)strlen(user),
                                    OCI_ATTR_USERNAME, err)) < 0 ||
        check_error(err, OCIAttrSet(g_env.usrhp, OCI_HTYPE_SESSION, const_cast<char *>(passwd),
                                    (ub4)strlen(passwd), OCI_ATTR_PASSWORD, err)) < 0)
        return -1;
    // A warning at logon (an expiring password) still means connected.
    int r = check_error(err, OCISessionBegin(g_env.svchp, err, g_env.usrhp, OCI_CRED_RDBMS, OCI_DEFAULT));
    if (r < 0)
        return -1;
    if (r == 1)
        imp_error("%s\n", g_oem);
    if (check_error(err, OCIAttrSet(g_env.svchp, OCI_HTYPE_SVCCTX, g_env.usrhp, 0, OCI_ATTR_SESSION, err)) < 0)
        return -1;
    if (check_error(err, OCIHandleAlloc(g_env.envhp, reinterpret_cast<void **>(&g_env.smthp), OCI_HTYPE_STMT, 0,
                                        nullptr)) < 0)
        return -1;
    return 0;
}
