// tabview: prints a table dictionary file ("tab"), one row per TAB record.
#include "viewer.h"

int main(int argc, char **argv)
{
    if (viewer_help(argc, argv, "Prints the table dictionary file (tab.dat in the dictionary directory that\n"
                                      "\"export dict\" writes), one line per table."))
        return 0;
    size_t n = 0;
    uint8_t *buf = viewer_read_file(argc, argv, sizeof(TAB), &n);
    if (buf == nullptr)
        return 255;
    printf("flag    obj#    dataobj#  tab#  cols  ts#   file#   block#\n");
    for (size_t i = 0; i < n; i++) {
        TAB t;
        memcpy(&t, buf + i * sizeof(TAB), sizeof(TAB));
        printf("%-6x  %-6d  %-8d  %-4d  %-4d  %-4d  %-6d  %-d\n", t.flag, (int)t.objn, (int)t.objd, (int)t.tabn,
               (int)t.ncol, (int)t.tsn, (int)t.fno, (int)t.blk);
    }
    free(buf);
    return 0;
}
