#include <gtest/gtest.h>
#include <string>
#include <vector>
#include "command_line.h"
#include "support.h"

namespace {

std::string normalized(const std::string& path)
{
    static std::vector<char> copy(string_units), dest(string_units);
    wstr_copy(copy.data(), path.c_str());  // the caller cuts the argument first
    plat_normalize_path(dest.data(), copy.data());
    return dest.data();
}

TEST(PosixPaths, DotSegmentsGoLexically)
{
    struct { const char* in; const char* out; } cases[] = {
        {"/backup/photos/", "/backup/photos"},
        {"/backup/photos", "/backup/photos"},
        {"/", "/"},
        {"//", "/"},
        {"/..", "/"},
        {"/a/../..//b/./c/", "/b/c"},
        {"a/./b//c", "a/b/c"},
        {"../x", "../x"},
        {"a/../../b", "../b"},
        {"../../a/..", "../.."},
        {"a/..", "."},
        {".", "."},
        {"./", "."},
        {"a\\b", "a\\b"},
        {"-md5/", "-md5"},
    };
    for (auto c : cases)
        EXPECT_EQ(normalized(c.in), c.out) << c.in;
}

TEST(PosixPaths, TopNameFollowsTheLastSeparator)
{
    struct { const char* path; const char* name; } cases[] = {
        {"/backup/photos", "photos"}, {"photos", "photos"}, {"/", ""}, {".", ""}, {"../..", ""}, {"a/b c", "b c"},
    };
    for (auto c : cases)
        EXPECT_STREQ(find_top_name(c.path), c.name) << c.path;
}

TEST(PosixPaths, LongPathsStayWithinTheBound)
{
    std::string deep;
    while (deep.size() < 40000)
        deep += "/abcdefg";
    std::string out = normalized(deep);
    EXPECT_LE(out.size(), string_bound);
}

}  // namespace
