// The folder walk: digest files for every folder with files, folder times put back.
#pragma once
#include "platform.h"

// Walks the folder at folder_path (and, with recursion on, everything below
// it), writing the digest files named after folder_name (no digest files of
// its own when folder_name is empty) and restoring every subfolder's
// last-write time. Folders that cannot be listed are passed over; fatal
// failures end the process.
void hash_folder(const pchar* folder_path, const pchar* folder_name);
// Returns the name's extension from its last '.', or an empty string.
const pchar* find_extension(const pchar* name);
// True when extension is exactly one of the five digest extensions.
bool is_digest_extension(const pchar* extension);
// Copies name as UTF-8 into a printable form (control characters as '?');
// the result stays valid until the next call.
const char* printable_name(const pchar* name);
