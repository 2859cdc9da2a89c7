// Digest files: their names, the rule by which one is created, and their lines.
#pragma once
#include <cstddef>
#include <cstdint>
#include "algorithms.h"
#include "platform.h"

// Puts the folder's digest-file name for the algorithm into path_buffer behind
// its first folder_length units (the folder's path); folder_name, of
// name_length units, may itself lie in that path. Returns where the file's own
// name begins, or null when the path would pass the string bound.
const pchar* compose_digest_name(pchar* path_buffer, size_t folder_length, const pchar* folder_name,
                                 size_t name_length, algorithm a);
// Composes the algorithm's digest-file name for the folder into path_buffer
// (the folder's path is its first folder_length units; folder_name, of
// name_length units, may itself lie in that path) and creates the file,
// unless something with content already stands there. Returns the open handle,
// or invalid_handle when the file holds content or cannot be created.
plat_handle open_digest_file(plat_dir* folder, pchar* path_buffer, size_t folder_length,
                             const pchar* folder_name, size_t name_length, algorithm a);
// True when something exists at where and its size is not zero.
bool file_has_data(const plat_loc& where);
// Formats one digest line (CR LF included) into a buffer that stays valid
// until the next call; returns its length in bytes. digest holds the CRC-32
// value in host order for alg_sfv, else the digest's bytes.
size_t format_line(algorithm a, const uint8_t* digest, const char* name, size_t name_length,
                   const char** line);
// Writes the whole line with one write; on failure prints "WriteFile" and ends
// the process with code 5.
void write_line(plat_handle file, const char* line, size_t length);
