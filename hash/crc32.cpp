#include "crc32.h"
#include "support.h"

uint32_t* crc_table = nullptr;

void crc32_build_table()
{
    uint32_t* table = static_cast<uint32_t*>(mem_alloc(1024 * sizeof(uint32_t)));
    for (uint32_t n = 0; n < 256; n++) {
        uint32_t c = n;
        for (int bit = 0; bit < 8; bit++)
            c = (c & 1) ? (c >> 1) ^ 0xEDB88320u : c >> 1;
        table[n] = c;
    }
    for (uint32_t i = 256; i < 1024; i++)
        table[i] = (table[i - 256] >> 8) ^ table[table[i - 256] & 0xFF];
    crc_table = table;
}

uint32_t crc32_update(uint32_t c, const uint8_t* data, uint32_t size)
{
    const uint32_t* t = crc_table;
    while (size && (reinterpret_cast<uintptr_t>(data) & 3)) {
        c = (c >> 8) ^ t[(c ^ *data++) & 0xFF];
        size--;
    }
    for (uint32_t words = size / 4; words; words--) {
        // Little-endian word, first byte lowest; compilers turn this into one load.
        uint32_t w = static_cast<uint32_t>(data[0]) | static_cast<uint32_t>(data[1]) << 8 |
            static_cast<uint32_t>(data[2]) << 16 | static_cast<uint32_t>(data[3]) << 24;
        uint32_t x = c ^ w;
        c = t[768 + (x & 0xFF)] ^ t[512 + ((x >> 8) & 0xFF)] ^ t[256 + ((x >> 16) & 0xFF)] ^ t[x >> 24];
        data += 4;
    }
    size &= 3;
    while (size--)
        c = (c >> 8) ^ t[(c ^ *data++) & 0xFF];
    return c;
}
