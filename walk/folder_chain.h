// The chain of folders from the top folder down to the folder in hand: one
// level per folder on the heap (so no depth exhausts the stack), one shared
// path buffer, and loop detection by folder identity. Both programs walk
// their trees with it.
#pragma once
#include <cstddef>
#include "platform.h"

struct folder_level {
    plat_dir* dir;
    size_t length;           // the folder's path is the first length units of the path buffer
    const pchar* name;       // what its digest files are named after; may lie in the path buffer
    size_t name_length;
    plat_time write_time;    // as its parent listed it (not set for the top folder)
    plat_id id;
    bool has_id;
};

struct folder_chain {
    pchar* path;             // the folder in hand's path, then an entry's name behind it
    folder_level* levels;    // levels[depth - 1] is the folder in hand
    size_t depth;
    size_t capacity;
};

enum enter_result {
    enter_walked,      // the subfolder is the new deepest level
    enter_not_listed,  // its listing cannot be opened; its path is in the path buffer
    enter_passed       // a loop or a path beyond the bound: "Loop %s" or "Skipped %s" printed
};

// Allocates the path buffer, copies folder_path into it and opens its listing
// as the first level, its digest files named after folder_name; false when the
// folder cannot be listed (the chain is empty). Release with chain_release.
bool chain_open_top(folder_chain* c, const pchar* folder_path, const pchar* folder_name);
// Gives the deepest level's next entry, "." and ".." passed over; false when
// its listing has ended (or failed midway).
bool chain_next_entry(folder_chain* c, plat_entry* entry);
// Composes the subfolder entry's path after the deepest level's and opens its
// listing; pushes it when it leads to no folder already on the chain.
enter_result chain_enter(folder_chain* c, const plat_entry& entry);
// Closes the deepest level's listing and takes it off the chain; returns it,
// valid until the next chain_enter. The path buffer still holds its path.
const folder_level* chain_leave(folder_chain* c);
// Closes every listing still open and releases the levels and the path buffer.
void chain_release(folder_chain* c);
// Puts "<first folder_length units><separator><name>" into the path buffer;
// false (buffer unchanged) when it would pass the string bound.
bool chain_compose(folder_chain* c, size_t folder_length, const pchar* name);
// True for the names "." and "..".
bool is_dot_name(const pchar* name);
// True when the name holds a CR or LF, which no digest line can carry.
bool breaks_line(const pchar* name);
