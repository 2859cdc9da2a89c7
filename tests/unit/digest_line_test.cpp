#include <gtest/gtest.h>
#include <cstring>
#include <string>
#include "digest_files.h"
#include "walker.h"

namespace {

std::string line_of(algorithm a, const uint8_t* digest, const std::string& name)
{
    const char* line;
    size_t length = format_line(a, digest, name.data(), name.size(), &line);
    EXPECT_EQ(strlen(line), length);
    return std::string(line, length);
}

TEST(DigestLines, FormatsOfTheFiveAlgorithms)
{
    uint32_t crc = 0x0000BEEF;
    uint8_t digest[64];
    for (int i = 0; i < 64; i++)
        digest[i] = static_cast<uint8_t>(i * 17 + 10);
    EXPECT_EQ(line_of(alg_sfv, reinterpret_cast<uint8_t*>(&crc), "check.txt"), "check.txt 0000beef\r\n");
    uint8_t empty_md5[16] = {0xd4, 0x1d, 0x8c, 0xd9, 0x8f, 0x00, 0xb2, 0x04,
                             0xe9, 0x80, 0x09, 0x98, 0xec, 0xf8, 0x42, 0x7e};
    EXPECT_EQ(line_of(alg_md5, empty_md5, "empty"), "d41d8cd98f00b204e9800998ecf8427e empty\r\n");
    std::string sha1 = line_of(alg_sha1, digest, "a b");
    EXPECT_EQ(sha1.substr(0, 6), "0a1b2c");
    EXPECT_EQ(sha1.substr(40), " a b\r\n");
}

TEST(DigestLines, LengthIsNamePlusTheAlgorithmsOverheadHoweverLongTheName)
{
    uint8_t digest[64] = {};
    size_t overhead[alg_count] = {11, 35, 43, 67, 131};
    for (size_t n : {0, 1, 128, 129, 249, 255, 765, 5000}) {
        std::string name(n, 'n');
        for (int a = 0; a < alg_count; a++) {
            std::string line = line_of(static_cast<algorithm>(a), digest, name);
            EXPECT_EQ(line.size(), n + overhead[a]) << a << " " << n;
            EXPECT_NE(line.find(name), std::string::npos);
        }
    }
}

TEST(DigestExtensions, OnlyTheLastDotCountsAndCaseMatters)
{
    struct { const pchar* name; const pchar* extension; bool digest; } cases[] = {
        {NT("a.sfv"), NT(".sfv"), true},      {NT(".sfv"), NT(".sfv"), true},
        {NT("notes.md5"), NT(".md5"), true},  {NT("x.sha1"), NT(".sha1"), true},
        {NT("x.sha256"), NT(".sha256"), true}, {NT("x.sha512"), NT(".sha512"), true},
        {NT("NOTES.MD5"), NT(".MD5"), false}, {NT("data.Sfv"), NT(".Sfv"), false},
        {NT("a.sfv.txt"), NT(".txt"), false}, {NT("name."), NT("."), false},
        {NT("noext"), NT(""), false},         {NT(""), NT(""), false},
        {NT("x.sha"), NT(".sha"), false},     {NT("x.sha5120"), NT(".sha5120"), false},
    };
    for (auto c : cases) {
        const pchar* ext = find_extension(c.name);
        EXPECT_EQ(std::basic_string<pchar>(ext), std::basic_string<pchar>(c.extension));
        EXPECT_EQ(is_digest_extension(ext), c.digest);
    }
}

TEST(DigestExtensions, PrintableNamesHideControlCharacters)
{
    EXPECT_STREQ(printable_name(NT("a\nb\rc\td")), "a?b?c?d");
}

}  // namespace
