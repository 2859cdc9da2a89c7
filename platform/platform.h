// The one interface between quillmar's core and the operating system.
// Each backend (platform/posix, platform/win32) implements it; core code
// includes nothing else from the system besides the C/C++ standard library.
#pragma once
#include <cstddef>
#include <cstdint>
#include "native.h"  // pchar, NT(), path_separator, plat_time, plat_id

typedef intptr_t plat_handle;
const plat_handle invalid_handle = -1;

struct plat_dir;  // an open folder listing

// Where a file or folder is: the listing of the folder that holds it and its
// name there, and its prepared full path. A backend uses whichever suits it.
struct plat_loc {
    plat_dir* folder;     // null: use path alone
    const pchar* name;    // the entry's name inside folder
    const pchar* path;    // prepared by to_long_path
};

enum entry_kind { entry_file, entry_folder, entry_other };

struct plat_entry {
    const pchar* name;     // valid until the next plat_list_next on the listing
    entry_kind kind;       // folders include links to folders; files include links to files and dangling links
    plat_time write_time;  // folders only: last-write time as listed
};

// ---- process

// Records the process arguments and sets up standard output; call first in main.
void plat_start(int argc, char** argv);
// Returns the argument vector (element 0 is the program) and stores its count.
pchar** plat_arguments(int* count);
// Writes out standard output and ends the process at once with code.
[[noreturn]] void plat_exit(int code);
// Returns a millisecond tick count that wraps at 2^32.
uint32_t plat_ticks();
// Returns the two usage lines naming this build's program and an example folder.
const char* plat_usage_head();

// ---- text

// Returns s as UTF-8 text; may return s itself, or convert into a buffer that
// stays valid until the next call on the same thread.
const char* plat_utf8(const pchar* s, size_t* length);
// Converts like strtoll/wcstoll with base 10: never fails, no digits give 0.
long long plat_to_integer(const pchar* s);
// Normalises a command-line folder path from source into dest (32768 units):
// removes "." and ".." segments and one trailing separator.
void plat_normalize_path(pchar* dest, const pchar* source);

// ---- folders

// Opens the listing of the folder at where; returns null when it cannot be listed.
plat_dir* plat_list_open(const plat_loc& where);
// Gives the next entry (the first on the first call); false at the end or on failure.
bool plat_list_next(plat_dir* dir, plat_entry* entry);
// Returns the identity of the listed folder itself; false when it is unknown.
bool plat_list_id(plat_dir* dir, plat_id* id);
// Closes a listing; null is ignored.
void plat_list_close(plat_dir* dir);

// Opens a folder to read and set its last-write time; invalid_handle on failure.
plat_handle plat_folder_open(const plat_loc& where);
// Reads the folder's last-write time; false on failure.
bool plat_get_write_time(plat_handle folder, plat_time* time);
// Sets only the folder's last-write time; false on failure.
bool plat_set_write_time(plat_handle folder, const plat_time& time);
// Closes a folder handle from plat_folder_open.
void plat_folder_close(plat_handle folder);

// ---- files

// True when something exists at where and its size is not zero.
bool plat_file_has_data(const plat_loc& where);
// Creates or empties a regular file for writing; invalid_handle on failure.
plat_handle plat_file_create(const plat_loc& where);
// Opens a regular file for reading; invalid_handle on failure.
plat_handle plat_file_open_read(const plat_loc& where);
// Reads up to size bytes; false on failure, *got 0 at the end of the file.
bool plat_file_read(plat_handle file, void* buffer, uint32_t size, uint32_t* got);
// Writes size bytes with one call; false unless all of them were written.
bool plat_file_write(plat_handle file, const void* data, uint32_t size);
// Closes a file handle.
void plat_file_close(plat_handle file);

// ---- threads and events

typedef uint32_t (*plat_thread_proc)(void* parameter);
const uint32_t plat_infinite = 0xFFFFFFFFu;

// Creates a manual-reset event; invalid_handle on failure.
plat_handle plat_event_create(bool signalled);
void plat_event_set(plat_handle event);
void plat_event_reset(plat_handle event);
// Waits until the event is set or timeout_ms passed; true when it is set.
bool plat_event_wait(plat_handle event, uint32_t timeout_ms);
void plat_event_close(plat_handle event);
// Starts a thread running proc(parameter); invalid_handle on failure.
plat_handle plat_thread_start(plat_thread_proc proc, void* parameter);
// Waits for the thread to end and releases it.
void plat_thread_join(plat_handle thread);

// ---- digest provider (CryptoAPI's model: a provider context, hash objects)

typedef uintptr_t plat_crypt_prov;
typedef uintptr_t plat_crypt_hash;

// Acquires a provider context of the given type; false on failure.
bool plat_crypt_acquire(uint32_t provider_type, plat_crypt_prov* prov);
// Creates a hash object of the algorithm; false on failure.
bool plat_crypt_create_hash(plat_crypt_prov prov, uint32_t alg_id, plat_crypt_hash* hash);
// Feeds bytes to a hash object; false on failure. May run on any thread.
bool plat_crypt_hash_data(plat_crypt_hash hash, const uint8_t* data, uint32_t size);
// Writes the digest and its length (at most *size bytes); false on failure.
bool plat_crypt_get_hash(plat_crypt_hash hash, uint8_t* out, uint32_t* size);
// Destroys a hash object; false on failure.
bool plat_crypt_destroy_hash(plat_crypt_hash hash);
// Releases a provider context; false on failure.
bool plat_crypt_release(plat_crypt_prov prov);
