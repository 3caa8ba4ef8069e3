#include <unistd.h>

#include "kelvo/shell.h"
#include "kelvo/version.h"

void show_copyright(void)
{
    static const char banner[] = "\n"
                                 "kelvo " KELVO_VERSION_TEXT ": Oracle datafile recovery and unload shell\n"
                                 "\n"
                                 "Copyright (c) 2026 the kelvo developers.\n"
                                 "\n";
    ssize_t r = write(STDERR_FILENO, banner, sizeof(banner) - 1);
    (void)r;
}
