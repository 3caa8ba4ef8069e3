// The last Oracle error of the run, captured from OCI statuses.
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "util.h"

int g_oec;
char g_oem[16384];

static void set_own(const char *text)
{
    g_oec = -1;
    snprintf(g_oem, sizeof g_oem, "%s", text);
}

static void from_error_handle(void *errhp)
{
    sb4 code = 0;
    sword r = OCIErrorGet(errhp, 1, nullptr, &code, reinterpret_cast<OraText *>(g_oem), sizeof g_oem - 1,
                          OCI_HTYPE_ERROR);
    if (r != OCI_SUCCESS) {
        set_own("Retrieve error message failed.");
        return;
    }
    g_oec = code;
    g_oem[sizeof g_oem - 1] = 0;
}

int check_error(void *errhp, sword status)
{
    switch (status) {
    case OCI_SUCCESS: return 0;
    case OCI_SUCCESS_WITH_INFO: from_error_handle(errhp); return 1;
    case OCI_NEED_DATA:
    case OCI_NO_DATA: return status;
    case OCI_ERROR: from_error_handle(errhp); return -1;
    case OCI_INVALID_HANDLE: set_own("Error - OCI_INVALID_HANDLE"); return -1;
    case OCI_STILL_EXECUTING: set_own("Error - OCI_STILL_EXECUTING"); return -1;
    case OCI_CONTINUE: set_own("Error - OCI_CONTINUE"); return -1;
    default: set_own("Error - Unknow OCI error"); return -1;
    }
}

int get_ora_code() { return g_oec; }

char *get_ora_message() { return g_oem; }

// An error or warning of the run: on standard error and, when a LOG file is
// open, in the log as well.
void imp_error(const char *fmt, ...)
{
    va_list ap;
    va_start(ap, fmt);
    vfprintf(stderr, fmt, ap);
    va_end(ap);
    if (g_imp.ofp && g_imp.ofp != stdout) {
        va_start(ap, fmt);
        vfprintf(g_imp.ofp, fmt, ap);
        va_end(ap);
    }
}
