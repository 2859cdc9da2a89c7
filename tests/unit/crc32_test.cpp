#include <gtest/gtest.h>
#include <cstring>
#include <vector>
#include "crc32.h"

namespace {

class Crc32 : public testing::Test {
protected:
    static void SetUpTestSuite()
    {
        if (!crc_table)
            crc32_build_table();
    }

    // The CRC-32 of size bytes at data, fed in pieces of the given size.
    static uint32_t crc_of(const uint8_t* data, uint32_t size, uint32_t piece)
    {
        uint32_t c = 0xFFFFFFFFu;
        for (uint32_t done = 0; done < size;) {
            uint32_t n = size - done < piece ? size - done : piece;
            c = crc32_update(c, data + done, n);
            done += n;
        }
        return ~c;
    }
};

TEST_F(Crc32, TableHoldsItsTellingEntries)
{
    struct { int slice; int entry; uint32_t value; } cases[] = {
        {0, 0, 0}, {1, 0, 0}, {2, 0, 0}, {3, 0, 0},
        {0, 1, 0x77073096}, {0, 2, 0xEE0E612C}, {0, 128, 0xEDB88320}, {0, 255, 0x2D02EF8D},
        {1, 1, 0x191B3141}, {1, 128, 0x3B83984B}, {1, 255, 0x9324FD72},
        {2, 1, 0x01C26A37}, {3, 1, 0xB8BC6765}, {3, 255, 0xDE0506F1},
    };
    for (auto c : cases)
        EXPECT_EQ(crc_table[256 * c.slice + c.entry], c.value) << c.slice << "/" << c.entry;
}

TEST_F(Crc32, KnownAnswersAtEveryAlignmentAndCut)
{
    std::vector<uint8_t> ascending(32), ones(32, 0xFF), zeros(32, 0), large(100000);
    for (int i = 0; i < 32; i++)
        ascending[i] = static_cast<uint8_t>(i);
    for (size_t i = 0; i < large.size(); i++)
        large[i] = static_cast<uint8_t>(i * 7 + (i >> 8));
    const char* digits = "123456789";
    struct { std::vector<uint8_t> data; uint32_t crc; } cases[] = {
        {{}, 0x00000000},
        {std::vector<uint8_t>(digits, digits + 9), 0xCBF43926},
        {zeros, 0x190A55AD},
        {ones, 0xFF6CAB0B},
        {ascending, 0x91267E8A},
        {std::vector<uint8_t>{'a'}, 0xE8B7BE43},
        {std::vector<uint8_t>{'a', 'b', 'c'}, 0x352441C2},
    };
    std::vector<uint8_t> shifted(large.size() + 8);
    for (auto& c : cases) {
        for (size_t offset = 0; offset < 4; offset++) {
            if (!c.data.empty())
                memcpy(shifted.data() + offset, c.data.data(), c.data.size());
            for (uint32_t piece : {1u, 2u, 3u, 4u, 5u, 7u, 13u, 1000u}) {
                EXPECT_EQ(crc_of(shifted.data() + offset, static_cast<uint32_t>(c.data.size()), piece), c.crc)
                    << "offset " << offset << " piece " << piece;
            }
        }
    }
    // A long stream cut anywhere gives the value of one whole pass.
    uint32_t whole = crc_of(large.data(), static_cast<uint32_t>(large.size()), static_cast<uint32_t>(large.size()));
    for (uint32_t piece : {1u, 3u, 4093u, 65536u})
        EXPECT_EQ(crc_of(large.data(), static_cast<uint32_t>(large.size()), piece), whole) << piece;
}

TEST_F(Crc32, ZeroLengthLeavesTheValueAlone)
{
    uint8_t bytes[8] = {};
    for (int offset = 0; offset < 4; offset++)
        EXPECT_EQ(crc32_update(0x12345678u, bytes + offset, 0), 0x12345678u);
}

}  // namespace
