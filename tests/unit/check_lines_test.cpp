#include <gtest/gtest.h>
#include <cstring>
#include <string>
#include <vector>
#include "check_lines.h"
#include "listed_files.h"

namespace {

const std::string md5_hex = "d41d8cd98f00b204e9800998ecf8427e";

struct parsed {
    line_kind kind;
    std::string name;
    std::string hex;
};

parsed parse(algorithm a, std::string line, bool gnu)
{
    digest_line out = {};
    std::vector<char> text(line.begin(), line.end());
    text.push_back(0);
    line_kind kind = parse_digest_line(a, text.data(), line.size(), gnu, &out);
    if (kind != line_digest)
        return {kind, "", ""};
    return {kind, std::string(out.name, out.name_length), std::string(out.hex, hex_length(a))};
}

TEST(CheckLines, ReadsEveryWritersForm)
{
    struct {
        algorithm a;
        std::string line;
        bool gnu;
        line_kind kind;
        std::string name;
    } cases[] = {
        {alg_md5, md5_hex + " empty", false, line_digest, "empty"},
        {alg_md5, md5_hex + "  two spaces", true, line_digest, "two spaces"},
        {alg_md5, md5_hex + " *binary", true, line_digest, "binary"},
        // quillmar's one space before a name that begins with a space or '*'
        {alg_md5, md5_hex + "  lead", false, line_digest, " lead"},
        {alg_md5, md5_hex + " *star", false, line_digest, "*star"},
        // GNU's escaped form for names with a backslash or a line break
        {alg_md5, "\\" + md5_hex + "  we\\\\ird", true, line_digest, "we\\ird"},
        {alg_md5, "\\" + md5_hex + "  a\\nb", true, line_digest, "a\nb"},
        {alg_md5, "\\" + md5_hex + "  bad\\x", true, line_bad, ""},
        {alg_sfv, "check.txt cbf43926", false, line_digest, "check.txt"},
        {alg_sfv, "report (final).txt CBF43926", false, line_digest, "report (final).txt"},
        {alg_sfv, "ends in space  0000beef", false, line_digest, "ends in space "},
        {alg_sfv, "; a comment 12345678", false, line_skip, ""},
        {alg_sfv, ";", false, line_skip, ""},
        {alg_sfv, "", false, line_skip, ""},
        {alg_md5, "  \t", false, line_skip, ""},
        // bad digest lengths and shapes
        {alg_md5, md5_hex.substr(1) + " short", false, line_bad, ""},
        {alg_md5, md5_hex + "0 long", false, line_bad, ""},
        {alg_sha1, md5_hex + " md5 in sha1", false, line_bad, ""},
        {alg_md5, "g" + md5_hex.substr(1) + " not hex", false, line_bad, ""},
        {alg_md5, md5_hex, false, line_bad, ""},
        {alg_md5, md5_hex + " ", false, line_bad, ""},
        {alg_md5, "; " + md5_hex + " comment only in sfv", false, line_bad, ""},
        {alg_md5, md5_hex + " onespace", true, line_bad, ""},
        {alg_sfv, "check.txt cbf4392", false, line_bad, ""},
        {alg_sfv, "check.txt cbf439260", false, line_bad, ""},
        {alg_sfv, " cbf43926", false, line_bad, ""},
        {alg_sfv, "nocrc", false, line_bad, ""},
        {alg_sfv, "check.txt\tcbf43926", false, line_bad, ""},
    };
    for (const auto& c : cases) {
        parsed p = parse(c.a, c.line, c.gnu);
        EXPECT_EQ(p.kind, c.kind) << c.line;
        EXPECT_EQ(p.name, c.name) << c.line;
    }
}

TEST(CheckLines, SplitsLinesAtLfWithOrWithoutCr)
{
    std::string text = "\xEF\xBB\xBF" "a\r\nb\n\nc\r";
    std::vector<char> buffer(text.begin(), text.end());
    size_t position = bom_length(buffer.data(), buffer.size());
    EXPECT_EQ(position, 3u);
    std::vector<std::string> lines;
    char* line;
    size_t length;
    while (next_line(buffer.data(), buffer.size(), &position, &line, &length))
        lines.emplace_back(line, length);
    EXPECT_EQ(lines, (std::vector<std::string>{"a", "b", "", "c"}));
    EXPECT_EQ(bom_length("\xEF\xBB", 2), 0u);
}

TEST(CheckLines, GnuSeparatorOnlyWhenEveryDigestLineHasIt)
{
    struct {
        algorithm a;
        std::string text;
        bool gnu;
    } cases[] = {
        {alg_md5, md5_hex + "  a\r\n" + md5_hex + " *b\r\n", true},
        {alg_md5, "\\" + md5_hex + "  a\\\\b\n", true},
        {alg_md5, md5_hex + "  a\n" + md5_hex + " b\n", false},
        {alg_md5, md5_hex + " a\n", false},
        {alg_md5, "junk\n\n", false},
        {alg_sfv, "a  cbf43926\n", false},
    };
    for (const auto& c : cases) {
        std::vector<char> buffer(c.text.begin(), c.text.end());
        EXPECT_EQ(uses_gnu_separator(c.a, buffer.data(), buffer.size()), c.gnu) << c.text;
    }
}

TEST(CheckLines, HexComparedWithoutCase)
{
    uint8_t empty_md5[16] = {0xd4, 0x1d, 0x8c, 0xd9, 0x8f, 0x00, 0xb2, 0x04,
                             0xe9, 0x80, 0x09, 0x98, 0xec, 0xf8, 0x42, 0x7e};
    EXPECT_TRUE(hex_matches(alg_md5, md5_hex.c_str(), empty_md5));
    EXPECT_TRUE(hex_matches(alg_md5, "D41D8CD98F00B204E9800998ECF8427E", empty_md5));
    empty_md5[15] ^= 1;
    EXPECT_FALSE(hex_matches(alg_md5, md5_hex.c_str(), empty_md5));
    uint32_t crc = 0x0000BEEF;
    EXPECT_TRUE(hex_matches(alg_sfv, "0000BeEf", reinterpret_cast<uint8_t*>(&crc)));
    EXPECT_FALSE(hex_matches(alg_sfv, "beef0000", reinterpret_cast<uint8_t*>(&crc)));
}

TEST(ListedFiles, MergesAlgorithmsByNameAndFlagsDisagreement)
{
    listed_folder f = {};
    std::vector<std::string> names;
    for (int i = 0; i < 5000; i++)
        names.push_back("file" + std::to_string(i));
    const char* hex_a = "00000000000000000000000000000000";
    const char* hex_b = "0000000000000000000000000000000A";
    const char* hex_b_lower = "0000000000000000000000000000000a";
    for (const std::string& n : names)
        listed_add(&f, alg_md5, {n.data(), n.size(), hex_a});
    listed_add(&f, alg_sfv, {names[7].data(), names[7].size(), "12345678"});
    listed_add(&f, alg_md5, {names[9].data(), names[9].size(), hex_b});
    listed_add(&f, alg_md5, {names[11].data(), names[11].size(), hex_a});
    EXPECT_EQ(f.count, names.size());
    for (const std::string& n : names) {
        listed_file* file = listed_find(&f, n.data(), n.size());
        ASSERT_NE(file, nullptr) << n;
        EXPECT_EQ(std::string(file->name, file->name_length), n);
    }
    EXPECT_EQ(listed_find(&f, "file", 4), nullptr);
    EXPECT_EQ(listed_find(&f, "File7", 5), nullptr);
    listed_file* seven = listed_find(&f, "file7", 5);
    EXPECT_STREQ(seven->hex[alg_sfv], "12345678");
    EXPECT_EQ(seven->conflicting, 0);
    EXPECT_EQ(listed_find(&f, "file9", 5)->conflicting, 1u << alg_md5);
    EXPECT_EQ(listed_find(&f, "file11", 6)->conflicting, 0);

    // A same digest in another letter case is no disagreement.
    listed_clear(&f);
    EXPECT_EQ(listed_find(&f, "file7", 5), nullptr);
    listed_add(&f, alg_md5, {"x", 1, hex_b});
    listed_add(&f, alg_md5, {"x", 1, hex_b_lower});
    EXPECT_EQ(listed_find(&f, "x", 1)->conflicting, 0);
    listed_release(&f);
}

}  // namespace
