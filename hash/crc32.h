// CRC-32 (the reflected 0xEDB88320 polynomial of SFV files), slicing by 4.
#pragma once
#include <cstdint>

// Four slices of 256 entries, slice k at 256 * k; null until built.
extern uint32_t* crc_table;

// Fills crc_table once; ends the process with code 1 when out of memory.
void crc32_build_table();
// Folds size bytes at data into the running value c and returns it; no start
// value or final complement of its own. Any alignment and length.
uint32_t crc32_update(uint32_t c, const uint8_t* data, uint32_t size);
