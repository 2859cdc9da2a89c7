// The check of one tree: every folder's digest files read, every file they
// list hashed once and compared, every file they do not list reported.
#pragma once
#include <cstdint>
#include "platform.h"

struct check_counts {
    uint64_t ok;
    uint64_t failed;    // files that differ, unreadable digest lines, digest files and folders
    uint64_t missing;
    uint64_t fresh;     // files no digest file lists ("NEW")
};

extern check_counts counts;

// Walks the folder at top_path like quillmar (recursion, loops, depth), its
// digest files named after top_name, and prints one line per file checked
// and per problem found, adding to counts. Writes nothing to the tree.
// Fatal failures (a listed file that cannot be read) end the process.
void check_tree(const pchar* top_path, const pchar* top_name);
