#include <gtest/gtest.h>
#include "run_job.h"

namespace {

TEST(Throughput, WholeMegabytesOverWholeSeconds)
{
    const uint64_t mb = 1048576;
    struct { uint64_t bytes; uint32_t start; uint32_t end; bool printed; int32_t rate; } cases[] = {
        {10 * mb, 5000, 6900, true, 10},             // 1.9 s counts as 1
        {7 * mb / 2, 0, 2000, true, 1},              // 3.5 MB counts as 3
        {mb - 1, 0, 100000, false, 0},               // less than one megabyte
        {100 * mb, 1000, 1999, false, 0},            // less than one second
        {50 * mb, 0xFFFFFC18u, 4000, true, 10},      // the counter wrapped: 5 s in truth
        {0, 0, 5000, false, 0},
        {(uint64_t)1 << 51, 0, 1000, true, -2147483648},  // printed as the signed 32-bit pattern
    };
    for (auto c : cases) {
        int32_t rate = 0;
        EXPECT_EQ(throughput(c.bytes, c.start, c.end, &rate), c.printed) << c.bytes;
        if (c.printed) {
            EXPECT_EQ(rate, c.rate) << c.bytes;
        }
    }
}

}  // namespace
