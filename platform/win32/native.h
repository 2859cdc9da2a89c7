// Native types of the Win32 backend: paths and names are UTF-16.
#pragma once
#include <cstdint>

typedef wchar_t pchar;
#define NT(s) L##s

const pchar path_separator = L'\\';

// A folder's last-write time: a FILETIME's two halves (100 ns since 1601).
struct plat_time {
    uint32_t low;
    uint32_t high;
};

// What makes a folder the same folder: volume serial number and file index.
struct plat_id {
    uint64_t volume;
    uint64_t index;
};
