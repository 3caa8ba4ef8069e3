// colview: prints a column dictionary file ("col"), one row per COL record.
// The name is printed with at most 31 bytes: a damaged record may lack its NUL.
#include "viewer.h"

int main(int argc, char **argv)
{
    if (viewer_help(argc, argv, "Prints the column dictionary file (col.dat in the dictionary directory that\n"
                                      "\"export dict\" writes), one line per column."))
        return 0;
    size_t n = 0;
    uint8_t *buf = viewer_read_file(argc, argv, sizeof(COL), &n);
    if (buf == nullptr)
        return 255;
    printf("flag      obj#    col#  scol# type  length  name\n");
    for (size_t i = 0; i < n; i++) {
        COL c;
        memcpy(&c, buf + i * sizeof(COL), sizeof(COL));
        printf("%-8x  %-6d  %-4d  %-4d  %-4d  %-6d  %-.31s\n", c.flag, (int)c.objn, (int)c.cid, (int)c.scid,
               (int)c.ctyp, (int)c.clen, c.name);
    }
    free(buf);
    return 0;
}
