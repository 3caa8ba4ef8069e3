// Upper-casing of typed names: only the ASCII letters change, so multibyte
// names keep their bytes.
#include "kelvo/shell.h"

void str_toupper(char *s)
{
    for (; *s; s++)
        if (*s >= 'a' && *s <= 'z')
            *s = (char)(*s - 'a' + 'A');
}
