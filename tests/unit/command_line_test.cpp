#include <gtest/gtest.h>
#include <string>
#include <vector>
#include "command_line.h"
#include "support.h"

namespace {

typedef std::basic_string<pchar> pstring;

pstring native(const std::string& s)
{
    return pstring(s.begin(), s.end());
}

struct parsed {
    run_settings settings;
    pstring top_path;
};

// Runs parse_command_line over "quillmar" followed by args.
parsed parse(const std::vector<std::string>& args)
{
    std::vector<pstring> strings{native("quillmar")};
    for (const std::string& a : args)
        strings.push_back(native(a));
    std::vector<pchar*> argv;
    for (pstring& s : strings)
        argv.push_back(&s[0]);
    static std::vector<pchar> top(string_units);
    settings = run_settings();
    top[0] = 0;
    parse_command_line(argv.data(), static_cast<int>(argv.size()), top.data());
    return {settings, pstring(top.data())};
}

std::string algorithms_of(const run_settings& s)
{
    std::string out;
    if (s.opt_sfv) out += "sfv ";
    if (s.opt_md5) out += "md5 ";
    if (s.opt_sha1) out += "sha1 ";
    if (s.opt_sha256) out += "sha256 ";
    if (s.opt_sha512) out += "sha512 ";
    return out;
}

TEST(CommandLine, AcceptedLinesGiveTheirSettings)
{
    struct { std::vector<std::string> args; std::string algs; int32_t bufsize; bool recurse; std::string path; } cases[] = {
        {{"x"}, "sfv md5 sha1 sha256 ", 8388608, true, "x"},
        {{"-sha512", "x"}, "sha512 ", 8388608, true, "x"},
        {{"x", "-SHA256", "/Sha256", "-sha256"}, "sha256 ", 8388608, true, "x"},
        {{"/md5", "-SFV", "x", "/sha1"}, "sfv md5 sha1 ", 8388608, true, "x"},
        {{"-s", "x"}, "sfv md5 sha1 sha256 ", 8388608, false, "x"},
        {{"/S", "x"}, "sfv md5 sha1 sha256 ", 8388608, false, "x"},
        {{"x", "-NoSubFolders"}, "sfv md5 sha1 sha256 ", 8388608, false, "x"},
        {{"-sha"}, "sfv md5 sha1 sha256 ", 8388608, true, "-sha"},
        {{"--sfv"}, "sfv md5 sha1 sha256 ", 8388608, true, "--sfv"},
        {{"-bufsize", "1048576", "x"}, "sfv md5 sha1 sha256 ", 1048576, true, "x"},
        {{"-bufsize", "64k", "x"}, "sfv md5 sha1 sha256 ", 64, true, "x"},
        {{"-bufsize", "  +12", "x"}, "sfv md5 sha1 sha256 ", 12, true, "x"},
        {{"-bufsize", "99999999999", "x"}, "sfv md5 sha1 sha256 ", 2147483647, true, "x"},
        {{"-bufsize", "-99999999999", "x"}, "sfv md5 sha1 sha256 ", -2147483647 - 1, true, "x"},
        {{"-bufsize", "-1", "x"}, "sfv md5 sha1 sha256 ", -1, true, "x"},
        {{"-bufsize", "1", "-BUFSIZE", "2", "x"}, "sfv md5 sha1 sha256 ", 2, true, "x"},
        {{"-bufsize", "-sha1", "-bufsize", "3", "x"}, "sfv md5 sha1 sha256 ", 3, true, "x"},
    };
    for (auto& c : cases) {
        parsed p = parse(c.args);
        std::string where = c.args.back();
        EXPECT_EQ(algorithms_of(p.settings), c.algs) << where;
        EXPECT_EQ(p.settings.opt_bufsize, c.bufsize) << where;
        EXPECT_EQ(p.settings.opt_recurse, c.recurse) << where;
        EXPECT_EQ(p.top_path, native(c.path)) << where;
    }
}

TEST(CommandLineDeathTest, RefusedLinesEndInTheUsageText)
{
    std::vector<std::vector<std::string>> cases = {
        {},
        {"-sha1", "-nosubfolders"},
        {"x", "-bufsize"},
        {"x", "y"},
        {"-md5", "x", "-s", "y"},
        {"-bufsize", "0", "x"},
        {"-bufsize", "-sha1", "x"},
        {"-bufsize", "5", "-bufsize", "junk", "x"},
    };
    for (auto& args : cases)
        EXPECT_EXIT(parse(args), testing::ExitedWithCode(2), "") << args.size();
}

TEST(CommandLine, OptionsMatchWholeWordsAndFoldOnlyAsciiCase)
{
    EXPECT_TRUE(is_option(NT("-SHA1"), "sha1"));
    EXPECT_TRUE(is_option(NT("/sHa1"), "sha1"));
    EXPECT_FALSE(is_option(NT("-sha1x"), "sha1"));
    EXPECT_FALSE(is_option(NT("-sha"), "sha1"));
    EXPECT_FALSE(is_option(NT("sha1"), "sha1"));
    EXPECT_FALSE(is_option(NT("\\sha1"), "sha1"));
    // 0x8D folded by "- 0x20" would become 'm'; only A to Z fold.
    pchar odd[] = {'-', static_cast<pchar>(0x8D), 'd', '5', 0};
    EXPECT_FALSE(is_option(odd, "md5"));
}

}  // namespace
