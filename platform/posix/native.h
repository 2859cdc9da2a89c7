// Native types of the POSIX backend: paths are byte strings (normally UTF-8).
#pragma once
#include <cstdint>

typedef char pchar;
#define NT(s) s

const pchar path_separator = '/';

// A folder's last-write time, kept to the nanosecond.
struct plat_time {
    int64_t sec;
    int64_t nsec;
};

// What makes a folder the same folder: device and inode.
struct plat_id {
    uint64_t volume;
    uint64_t index;
};
