#include "check_lines.h"
#include <cstring>

size_t hex_length(algorithm a)
{
    return 2 * algorithms[a].digest_size;
}

size_t bom_length(const char* text, size_t length)
{
    return length >= 3 && memcmp(text, "\xEF\xBB\xBF", 3) == 0 ? 3 : 0;
}

bool next_line(char* text, size_t length, size_t* position, char** line, size_t* line_length)
{
    size_t start = *position;
    if (start >= length)
        return false;
    const char* end = static_cast<const char*>(memchr(text + start, '\n', length - start));
    size_t stop = end ? static_cast<size_t>(end - text) : length;
    *position = end ? stop + 1 : length;
    if (stop > start && text[stop - 1] == '\r')
        stop--;
    *line = text + start;
    *line_length = stop - start;
    return true;
}

static int hex_value(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

static bool all_hex(const char* s, size_t count)
{
    for (size_t i = 0; i < count; i++)
        if (hex_value(s[i]) < 0)
            return false;
    return true;
}

static bool is_blank(const char* line, size_t length)
{
    for (size_t i = 0; i < length; i++)
        if (line[i] != ' ' && line[i] != '\t')
            return false;
    return true;
}

// Where the digest starts: after GNU's backslash that marks an escaped name.
static size_t digest_start(const char* line, size_t length)
{
    return length > 0 && line[0] == '\\' ? 1 : 0;
}

// 1: "hex  name" or "hex *name"; 0: "hex name"; -1: no digest line at all.
static int separator_form(algorithm a, const char* line, size_t length)
{
    size_t p = digest_start(line, length);
    size_t n = hex_length(a);
    if (length < p + n + 2 || !all_hex(line + p, n) || line[p + n] != ' ')
        return -1;
    char c = line[p + n + 1];
    return (c == ' ' || c == '*') && length > p + n + 2 ? 1 : 0;
}

bool uses_gnu_separator(algorithm a, char* text, size_t length)
{
    if (algorithms[a].name_first)
        return false;
    bool any = false;
    size_t position = bom_length(text, length);
    char* line;
    size_t line_length;
    while (next_line(text, length, &position, &line, &line_length)) {
        int form = separator_form(a, line, line_length);
        if (form == 0)
            return false;
        any = any || form == 1;
    }
    return any;
}

// Undoes GNU's escapes ("\\", "\n", "\r") in place; false on any other escape.
static bool unescape(char* name, size_t* length)
{
    size_t out = 0;
    for (size_t i = 0; i < *length; i++) {
        char c = name[i];
        if (c == '\\') {
            if (++i == *length)
                return false;
            c = name[i] == '\\' ? '\\' : name[i] == 'n' ? '\n' : name[i] == 'r' ? '\r' : 0;
            if (!c)
                return false;
        }
        name[out++] = c;
    }
    *length = out;
    return out > 0;
}

line_kind parse_digest_line(algorithm a, char* line, size_t length, bool gnu_separator, digest_line* out)
{
    if (is_blank(line, length))
        return line_skip;
    size_t n = hex_length(a);
    if (algorithms[a].name_first) {
        if (line[0] == ';')
            return line_skip;
        // "name crc": the name may hold spaces, the CRC is after the last one.
        size_t name_length = length;
        while (name_length > 0 && line[name_length - 1] != ' ')
            name_length--;
        if (name_length < 2)
            return line_bad;
        name_length--;
        const char* space = line + name_length;
        if (length - name_length - 1 != n || !all_hex(space + 1, n))
            return line_bad;
        *out = {line, name_length, space + 1};
        return line_digest;
    }
    int form = separator_form(a, line, length);
    if (form < 0 || (gnu_separator && form == 0))
        return line_bad;
    size_t p = digest_start(line, length);
    size_t name_start = p + n + (gnu_separator ? 2 : 1);
    size_t name_length = length - name_start;
    if (p && !unescape(line + name_start, &name_length))
        return line_bad;
    *out = {line + name_start, name_length, line + p};
    return line_digest;
}

bool hex_matches(algorithm a, const char* hex, const uint8_t* digest)
{
    if (a == alg_sfv) {
        uint32_t crc;
        memcpy(&crc, digest, 4);
        for (int i = 0; i < 8; i++)
            if (hex_value(hex[i]) != static_cast<int>((crc >> (28 - 4 * i)) & 0xF))
                return false;
        return true;
    }
    for (uint32_t i = 0; i < algorithms[a].digest_size; i++)
        if (hex_value(hex[2 * i]) != digest[i] >> 4 || hex_value(hex[2 * i + 1]) != (digest[i] & 0xF))
            return false;
    return true;
}
