#include <gtest/gtest.h>
#include <windows.h>
#include <string>
#include <vector>
#include "command_line.h"
#include "support.h"

namespace {

std::wstring normalized(const std::wstring& path)
{
    static std::vector<wchar_t> copy(string_units), dest(string_units);
    wstr_copy(copy.data(), path.c_str());  // the caller cuts the argument first
    plat_normalize_path(dest.data(), copy.data());
    return dest.data();
}

std::wstring long_form(const std::wstring& path)
{
    static std::vector<wchar_t> dest(string_units);
    to_long_path(path.c_str(), dest.data());
    return dest.data();
}

// "D:\" followed by segments of "abcdefg\" up to at least n units.
std::wstring deep_path(size_t n, const std::wstring& start = L"D:\\")
{
    std::wstring p = start;
    while (p.size() < n)
        p += L"abcdefg\\";
    return p;
}

TEST(Win32Paths, ShortPathsAreCanonicalisedAndLoseOneTrailingBackslash)
{
    struct { const wchar_t* in; const wchar_t* out; } cases[] = {
        {L"D:/Backup/Photos/", L"D:\\Backup\\Photos"},
        {L"D:\\Backup\\", L"D:\\Backup"},
        {L"D:\\Backup", L"D:\\Backup"},
        {L"D:\\", L"D:"},
        {L"D:\\a\\.\\b\\..\\c", L"D:\\a\\c"},
        {L"D:/a/./b/../../c/", L"D:\\c"},
        {L"Photos", L"Photos"},
        {L"-md5/", L"-md5"},
    };
    for (auto c : cases)
        EXPECT_EQ(normalized(c.in), c.out) << c.in;
}

TEST(Win32Paths, PathsOf260UnitsOrMoreKeepTheirSegments)
{
    std::wstring body = deep_path(300);  // ends in '\'
    std::wstring in = body + L"./y//";
    for (wchar_t& c : in)
        if (c == L'\\')
            c = L'/';
    std::wstring expected = body + L".\\y\\";  // slashes turned, "." kept, one '\' dropped
    EXPECT_EQ(normalized(in), expected);

    // 259 units are still canonicalised.
    std::wstring short_one = L"D:\\a\\..\\" + std::wstring(259 - 8, L'x');
    ASSERT_EQ(short_one.size(), 259u);
    EXPECT_EQ(normalized(short_one), L"D:\\" + std::wstring(259 - 8, L'x'));
}

TEST(Win32Paths, TopNameFollowsTheLastBackslash)
{
    struct { const wchar_t* path; const wchar_t* name; } cases[] = {
        {L"D:\\Backup\\Photos", L"Photos"}, {L"Photos", L"Photos"}, {L"D:", L"D:"},
    };
    for (auto c : cases)
        EXPECT_STREQ(find_top_name(c.path), c.name) << c.path;
}

TEST(Win32Paths, LongPathsTakeThePrefixFrom260Units)
{
    std::wstring p259 = deep_path(259).substr(0, 259);
    std::wstring p260 = deep_path(260).substr(0, 260);
    EXPECT_EQ(long_form(p259), p259);
    EXPECT_EQ(long_form(p260), L"\\\\?\\" + p260);
    EXPECT_EQ(long_form(p260).size(), 264u);

    std::wstring full = deep_path(32767).substr(0, 32767);
    EXPECT_EQ(long_form(full), L"\\\\?\\" + full.substr(0, 32763));

    // A path that already has the long form is not given a second prefix.
    EXPECT_EQ(long_form(L"\\\\?\\" + p260), L"\\\\?\\" + p260);
    // A network share takes the UNC form of the prefix.
    std::wstring share = deep_path(300, L"\\\\server\\share\\") + L"end";
    EXPECT_EQ(long_form(share), L"\\\\?\\UNC\\" + share.substr(2));
}

TEST(Win32Paths, NamesThatWin32WouldChangeTakeTheLiteralForm)
{
    // Win32 cuts trailing dots and spaces and opens devices for names such as
    // "nul": a file of that name in the tree is reached only through \\?\.
    struct { const wchar_t* path; bool literal; } cases[] = {
        {L"D:\\x\\ends.", true},     {L"D:\\x\\trail ", true},  {L"D:\\dir.\\f", true},
        {L"D:\\x\\nul", true},       {L"D:\\x\\Aux.txt", true}, {L"D:\\x\\com1", true},
        {L"D:\\x\\LPT9.log", true},  {L"D:\\con .txt", true},
        {L"D:\\x\\console", false},  {L"D:\\x\\com0", false},   {L"D:\\x\\a.b", false},
        {L"D:\\x\\.hidden", false},  {L"D:\\x\\nulls", false},  {L"D:\\a\\..\\b", false},
        {L"D:", false},               {L"..\\x", false},
    };
    for (auto c : cases)
        EXPECT_EQ(long_form(c.path), c.literal ? L"\\\\?\\" + std::wstring(c.path) : std::wstring(c.path)) << c.path;
}

TEST(Win32Paths, TheLiteralFormIsAbsoluteWithDotsResolved)
{
    wchar_t current[MAX_PATH * 4];
    DWORD n = GetCurrentDirectoryW(MAX_PATH * 4, current);
    ASSERT_GT(n, 0u);
    std::wstring base(current, n);
    if (base.back() != L'\\')
        base += L'\\';
    std::wstring relative = deep_path(300, L"rel\\") + L"end";
    EXPECT_EQ(long_form(relative), L"\\\\?\\" + base + relative);
    EXPECT_EQ(long_form(L".\\sub\\ends."), L"\\\\?\\" + base + L"sub\\ends.");
    std::wstring drive = base.substr(0, 2);
    EXPECT_EQ(long_form(L"\\sub\\ends."), L"\\\\?\\" + drive + L"\\sub\\ends.");

    // A long path keeps its "." and ".." names, which the literal form would
    // take as names: they are resolved first.
    std::wstring body = deep_path(300);
    EXPECT_EQ(long_form(body + L"x\\..\\.\\y"), L"\\\\?\\" + body + L"y");
}

TEST(Win32Paths, AnEmptyPathListsNothing)
{
    // Its search pattern "\\*.*" would list the current drive's root.
    EXPECT_EQ(plat_list_open({nullptr, L"", L""}), nullptr);
}

TEST(Win32Text, NamesConvertToUtf8WholeAtAnyLength)
{
    size_t length = 0;
    EXPECT_STREQ(plat_utf8(L"caf\u00e9", &length), "caf\xc3\xa9");
    EXPECT_EQ(length, 5u);
    // A surrogate pair is one character of four bytes.
    EXPECT_STREQ(plat_utf8(L"\xd83d\xde00", &length), "\xf0\x9f\x98\x80");
    std::wstring wide(40000, L'\u00e9');
    std::string utf8 = plat_utf8(wide.c_str(), &length);
    EXPECT_EQ(length, 80000u);
    EXPECT_EQ(utf8.size(), 80000u);
}

TEST(Win32Text, UsageNamesTheExeAndADriveFolder)
{
    EXPECT_STREQ(plat_usage_head(),
                 "Usage: quillmar.exe [options] <path>\n"
                 "Example: quillmar.exe -sha256 \"D:\\Backup\"\n");
}

}  // namespace
