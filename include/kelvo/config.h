// The configuration: the work buffer size and the parameters read from the
// configuration file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

constexpr int WORK_BUFFER_SIZE = 8 * 1024 * 1024;

typedef struct __config_param {
    uint32_t flag;          // bit 0x1: verify the check value of every block read
    uint32_t rsv;
    char dict_dir[1024];
    char data_dir[1024];
} CFGPAR;
static_assert(sizeof(CFGPAR) == 2056);
static_assert(offsetof(CFGPAR, dict_dir) == 8 && offsetof(CFGPAR, data_dir) == 1032);

constexpr int CFG_CHECKSUM = 0x1;  // CFGPAR.flag: verify every block read

// Reads the next line of a configuration file or datafile list (at most
// size - 1 characters: a longer line comes back in pieces), cuts it at '#'
// and trims it; nullptr at the end of the file or on a read error.
char *next_config_line(FILE *fp, char *buf, int size);

// Reads the configuration file g_cfgname into g_ctx.par and g_dbfile_list.
int load_config(void);

// The "parallel" key: worker processes of an unload, 1 to PARALLEL_MAX; 0
// when not given (the online cores).
extern int g_parallel;
constexpr int PARALLEL_MAX = 1024;
