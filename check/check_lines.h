// Reading the lines of digest files, whoever wrote them: quillmar's own
// ("hex name", "name crc"), GNU's ("hex  name", "hex *name", and the
// backslash-escaped form) and SFV files with ';' comments. CR LF or LF line
// ends and a UTF-8 byte-order mark at the start are accepted.
#pragma once
#include <cstddef>
#include "algorithms.h"

enum line_kind { line_digest, line_skip, line_bad };

struct digest_line {
    const char* name;    // UTF-8, not terminated
    size_t name_length;
    const char* hex;     // 2 * digest_size hex digits (8 for CRC-32), either case
};

// Number of hex digits in a digest line of the algorithm.
size_t hex_length(algorithm a);
// Length of a UTF-8 byte-order mark at the start of text (3), or 0.
size_t bom_length(const char* text, size_t length);
// Gives the next line of text from *position on, without its LF and one CR
// before it, and moves *position past it; false when no text is left.
bool next_line(char* text, size_t length, size_t* position, char** line, size_t* line_length);
// True when the file's digest lines all put two characters between the
// digest and the name ("  " or " *", GNU's form). Only such a file is read
// in that form, so that quillmar's one-space lines whose names begin with a
// space or '*' keep those characters. Always false for .sfv text.
bool uses_gnu_separator(algorithm a, char* text, size_t length);
// Parses one line of a digest file of the algorithm; line_skip for blank
// lines and ';' comments in .sfv files, line_bad when it holds no digest and
// name. May rewrite the line in place (GNU escapes); out points into it.
line_kind parse_digest_line(algorithm a, char* line, size_t length, bool gnu_separator, digest_line* out);
// True when the hex digits equal the digest (for alg_sfv: the CRC-32 value in
// host order), letter case ignored.
bool hex_matches(algorithm a, const char* hex, const uint8_t* digest);
