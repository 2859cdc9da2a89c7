// Fuzzes the reading of digest files, the one input quillmar-check takes from
// other programs: the input is a digest file's text, read as each of the five
// kinds. Also writes a line for a name made of the input and reads it back.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>
#include "check_lines.h"
#include "digest_files.h"

namespace {

void require(bool condition, const char* what)
{
    if (!condition) {
        fprintf(stderr, "check failed: %s\n", what);
        abort();
    }
}

bool all_hex(const char* s, size_t count)
{
    for (size_t i = 0; i < count; i++)
        if (!strchr("0123456789abcdefABCDEF", s[i]) || s[i] == 0)
            return false;
    return true;
}

void read_text(algorithm a, const uint8_t* data, size_t size)
{
    // Exactly the text's bytes on the heap, so that reading past them is seen.
    std::vector<char> text(data, data + size);
    char* base = text.data();
    bool gnu = uses_gnu_separator(a, base, size);
    size_t position = bom_length(base, size);
    char* line;
    size_t length;
    while (next_line(base, size, &position, &line, &length)) {
        require(line >= base && line + length <= base + size, "a line lies in the text");
        require(memchr(line, '\n', length) == nullptr, "a line holds no line feed");
        digest_line parsed;
        if (parse_digest_line(a, line, length, gnu, &parsed) != line_digest)
            continue;
        require(parsed.name >= line && parsed.name + parsed.name_length <= line + length, "the name lies in the line");
        require(parsed.hex >= line && parsed.hex + hex_length(a) <= line + length, "the digest lies in the line");
        require(all_hex(parsed.hex, hex_length(a)), "the digest is hex digits");
        uint8_t digest[max_digest_size] = {};
        hex_matches(a, parsed.hex, digest);
    }
}

// quillmar's own line for the name must come back as that name and digest.
void round_trip(algorithm a, const std::string& name, const uint8_t* digest)
{
    if (name.empty() || name.find_first_of("\r\n") != std::string::npos)
        return;  // quillmar writes no line for such a name
    if (algorithms[a].name_first && name[0] == ';')
        return;  // a comment in every .sfv file
    const char* formatted;
    size_t length = format_line(a, digest, name.data(), name.size(), &formatted);
    // A second line with a plain name keeps the file in quillmar's one-space form.
    std::string text = std::string(formatted, length) + (algorithms[a].name_first ? "x 00000000\r\n" : "");
    if (!algorithms[a].name_first)
        text += std::string(hex_length(a), '0') + " x\r\n";
    std::vector<char> buffer(text.begin(), text.end());
    bool gnu = uses_gnu_separator(a, buffer.data(), buffer.size());
    size_t position = 0;
    char* line;
    size_t line_length;
    require(next_line(buffer.data(), buffer.size(), &position, &line, &line_length), "the line is there");
    digest_line parsed;
    line_kind kind = parse_digest_line(a, line, line_length, gnu, &parsed);
    require(kind == line_digest, "quillmar's line is read");
    require(std::string(parsed.name, parsed.name_length) == name, "the name comes back as written");
    require(hex_matches(a, parsed.hex, digest), "the digest comes back as written");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    uint8_t digest[max_digest_size] = {};
    memcpy(digest, data, size < sizeof digest ? size : sizeof digest);
    std::string name(reinterpret_cast<const char*>(data), size);
    for (int a = 0; a < alg_count; a++) {
        read_text(static_cast<algorithm>(a), data, size);
        round_trip(static_cast<algorithm>(a), name, digest);
    }
    return 0;
}
