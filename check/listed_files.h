// The files that one folder's digest files list, by name: for each, the
// digest every digest file gives it. Kept per level of the walk and reused.
#pragma once
#include <cstddef>
#include <cstdint>
#include "algorithms.h"
#include "check_lines.h"

struct listed_file {
    const char* name;              // UTF-8, in the digest file's text
    size_t name_length;
    uint32_t hash;
    const char* hex[alg_count];    // null where that digest file does not list it
    uint8_t conflicting;           // bit 1 << algorithm: listed twice with different digests
    bool seen;                     // met in the folder's listing
};

struct listed_folder {
    char* text[alg_count];         // each digest file's whole text; names and digests point into it
    size_t text_capacity[alg_count];
    listed_file* files;            // in the order first listed
    size_t count;
    size_t capacity;
    uint32_t* slots;               // index + 1 into files, 0 for a free slot
    size_t slot_count;             // a power of two, at least twice count
};

// Forgets every listed file, keeping the buffers for the next folder.
void listed_clear(listed_folder* f);
// Releases every buffer.
void listed_release(listed_folder* f);
// Records the line's digest for the algorithm under its name; the line's
// name and digest must stay where they are until listed_clear.
void listed_add(listed_folder* f, algorithm a, const digest_line& line);
// Returns the listed file of that UTF-8 name, or null.
listed_file* listed_find(listed_folder* f, const char* name, size_t length);
// Makes the text buffer of algorithm a hold at least size bytes, keeping its
// first keep bytes; returns it.
char* listed_text(listed_folder* f, algorithm a, size_t size, size_t keep);
