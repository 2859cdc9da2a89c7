#include <gtest/gtest.h>
#include <string>
#include "support.h"

namespace {

typedef std::basic_string<pchar> pstring;

pstring repeated(size_t n, pchar c = 'x')
{
    return pstring(n, c);
}

struct bounded_buffer {
    pchar units[string_units + 8];
};

TEST(BoundedStrings, CopyKeepsAtMost32767Units)
{
    static bounded_buffer b;
    struct { size_t source; size_t expected; } cases[] = {{0, 0}, {1, 1}, {32767, 32767}, {32768, 32767}, {40000, 32767}};
    for (auto c : cases) {
        pstring source = repeated(c.source);
        wstr_copy(b.units, source.c_str());
        EXPECT_EQ(wstr_length(b.units), c.expected) << c.source;
    }
}

TEST(BoundedStrings, AppendStopsAtTheBound)
{
    static bounded_buffer b;
    struct { size_t dest; size_t source; size_t expected; } cases[] = {
        {0, 5, 5}, {10, 5, 15}, {32767, 5, 32767}, {32765, 5, 32767}, {32000, 0, 32000}};
    for (auto c : cases) {
        pstring dest = repeated(c.dest);
        wstr_copy(b.units, dest.c_str());
        pstring source = repeated(c.source, 'y');
        wstr_append(b.units, source.c_str());
        ASSERT_EQ(wstr_length(b.units), c.expected) << c.dest << "+" << c.source;
        if (c.dest == 32765) {
            EXPECT_EQ(pstring(b.units + 32765), pstring(NT("yy")));
        }
    }
}

TEST(BoundedStrings, AppendCutsAnUnterminatedDestination)
{
    static bounded_buffer b;
    for (size_t i = 0; i < string_units + 8; i++)
        b.units[i] = 'x';
    wstr_append(b.units, NT("abc"));
    EXPECT_EQ(b.units[string_bound], 0);
    EXPECT_EQ(wstr_length(b.units), string_bound);
}

TEST(Memory, AllocationNeverReturnsNull)
{
    void* block = mem_alloc(65536);
    ASSERT_NE(block, nullptr);
    mem_free(block);
    mem_free(nullptr);
    void* empty = mem_alloc(0);
    EXPECT_NE(empty, nullptr);
    mem_free(empty);
}

TEST(MemoryDeathTest, RequestsOf2GiBOrMoreEndWithCode1)
{
    EXPECT_EXIT(mem_alloc(4294967295u), testing::ExitedWithCode(1), "");
    EXPECT_EXIT(mem_alloc(0x80000000u), testing::ExitedWithCode(1), "");
}

}  // namespace
