// Allocation that never fails, bounded native strings, path preparation and
// the fatal stop every part uses.
#pragma once
#include <cstddef>
#include <cstdint>
#include "platform.h"

// Every bounded string holds at most this many units plus its terminator.
const size_t string_bound = 32767;
const size_t string_units = string_bound + 1;

// Prepared by to_long_path just before each file-system call; main thread only.
extern pchar* long_path_buffer;

// Returns a block of at least size bytes; on failure (or a request of 2^31
// bytes or more) prints "Out of memory %zu" and ends the process with code 1.
void* mem_alloc(size_t size);
// Releases a block from mem_alloc; null is ignored.
void mem_free(void* block);
// Returns a block of new_size bytes holding the first used bytes of block,
// which it releases; ends the process like mem_alloc when out of memory.
void* mem_grow(void* block, size_t used, size_t new_size);

// Copies source into dest, cut to 32767 units, always terminated.
void wstr_copy(pchar* dest, const pchar* source);
// Appends source to dest; the result is cut to 32767 units, always terminated.
void wstr_append(pchar* dest, const pchar* source);
// Returns the number of units before the terminator.
size_t wstr_length(const pchar* s);
// Prepares source for a file-system call into dest (the \\?\ form on Win32).
void to_long_path(const pchar* source, pchar* dest);

// Writes out standard output and ends the process at once with code.
[[noreturn]] void fatal_stop(int code);
// Prints message, then ends the process at once with code.
[[noreturn]] void fatal_message(int code, const char* message);
