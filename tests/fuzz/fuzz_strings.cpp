// Fuzzes the bounded string operations and the texts built from names: the
// first four bytes give two lengths (short, or around the string bound),
// the rest two patterns (split at the first 0 byte) repeated to those lengths.
// Every destination is exactly string_units units, so a write past the bound
// is seen.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include "digest_files.h"
#include "support.h"
#include "walker.h"

namespace {

void require(bool condition, const char* what)
{
    if (!condition) {
        fprintf(stderr, "check failed: %s\n", what);
        abort();
    }
}

std::string repeated(const std::string& pattern, size_t length)
{
    std::string out;
    if (pattern.empty())
        return out;
    out.reserve(length);
    while (out.size() < length)
        out += pattern;
    out.resize(length);
    return out;
}

// Short strings, or strings around the bound, where the cuts happen.
size_t pick_length(uint8_t low, uint8_t high)
{
    if (high & 0x80)
        return string_bound - 64 + (static_cast<size_t>(high & 0x7F) << 8 | low) % 192;
    return (static_cast<size_t>(high) << 8 | low) % 1024;
}

struct bounded {
    pchar* units = static_cast<pchar*>(malloc(string_units * sizeof(pchar)));
    ~bounded() { free(units); }
};

bool is_listed_extension(const std::string& e)
{
    return e == ".sfv" || e == ".md5" || e == ".sha1" || e == ".sha256" || e == ".sha512";
}

void check_name_texts(const std::string& name, const uint8_t* digest)
{
    const char* ext = find_extension(name.c_str());
    size_t dot = name.rfind('.');
    require(ext == name.c_str() + (dot == std::string::npos ? name.size() : dot), "extension from the last dot");
    require(is_digest_extension(ext) == is_listed_extension(ext), "digest extensions are the five exactly");

    const char* shown = printable_name(name.c_str());
    require(strlen(shown) == name.size(), "a printable name keeps its length");
    for (size_t i = 0; i < name.size(); i++) {
        unsigned char c = static_cast<unsigned char>(name[i]);
        bool control = c < 0x20 || c == 0x7F;
        require(shown[i] == (control ? '?' : name[i]), "only control characters are replaced");
    }

    static const char hex[] = "0123456789abcdef";
    for (int a = 0; a < alg_count; a++) {
        const char* line = nullptr;
        size_t length = format_line(static_cast<algorithm>(a), digest, name.data(), name.size(), &line);
        size_t digits = 2 * algorithms[a].digest_size;
        require(length == digits + 1 + name.size() + 2, "a line's length");
        std::string text(line, length);
        std::string expected;
        if (a == alg_sfv) {
            uint32_t crc;
            memcpy(&crc, digest, 4);
            for (int i = 0; i < 8; i++)
                expected += hex[(crc >> (28 - 4 * i)) & 0xF];
            expected = name + " " + expected;
        } else {
            for (uint32_t i = 0; i < algorithms[a].digest_size; i++) {
                expected += hex[digest[i] >> 4];
                expected += hex[digest[i] & 0xF];
            }
            expected += " " + name;
        }
        require(text == expected + "\r\n", "a line holds digest, space and name, then CR LF");
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 4)
        return -1;
    size_t length1 = pick_length(data[0], data[1]);
    size_t length2 = pick_length(data[2], data[3]);
    std::string patterns(reinterpret_cast<const char*>(data + 4), size - 4);
    size_t split = patterns.find('\0');
    std::string p1 = patterns.substr(0, split);
    std::string p2 = split == std::string::npos ? std::string() : patterns.substr(split + 1);
    for (char& c : p2)
        if (c == 0)
            c = '.';
    std::string s1 = repeated(p1, length1);
    std::string s2 = repeated(p2, length2);
    std::string b1 = s1.substr(0, string_bound);
    std::string b2 = s2.substr(0, string_bound);

    require(wstr_length(s2.c_str()) == s2.size(), "length counts the units");

    bounded dest;
    wstr_copy(dest.units, s2.c_str());
    require(dest.units == b2, "a copy is cut at the bound");

    to_long_path(s2.c_str(), dest.units);
    require(dest.units == b2, "a prepared path names the same path");

    wstr_copy(dest.units, s1.c_str());
    wstr_append(dest.units, s2.c_str());
    require(dest.units == (b1 + s2).substr(0, string_bound), "an append is cut at the bound");

    // A destination with no terminator in its first 32767 units is cut there, nothing appended.
    if (!p1.empty()) {
        std::string full = repeated(p1, string_units);
        memcpy(dest.units, full.data(), string_units);
        wstr_append(dest.units, s2.c_str());
        require(dest.units == full.substr(0, string_bound), "an unterminated destination is cut");
    }

    uint8_t digest[max_digest_size] = {};
    memcpy(digest, data, size < sizeof digest ? size : sizeof digest);
    check_name_texts(s2.substr(0, 1024), digest);
    check_name_texts(p1, digest);
    return 0;
}
