#include "support.h"

// POSIX has no long-path form: the path is used as it is, bounded.
void to_long_path(const pchar* source, pchar* dest)
{
    wstr_copy(dest, source);
}
