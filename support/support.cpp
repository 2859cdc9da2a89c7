#include "support.h"
#include <cstdio>
#include <cstdlib>
#include <cstring>

pchar* long_path_buffer = nullptr;

void* mem_alloc(size_t size)
{
    // Requests of 2 GiB or more are refused on every build, as a 32-bit
    // process would never obtain them (a negative -bufsize asks for one).
    void* block = size >= 0x80000000u ? nullptr : malloc(size ? size : 1);
    if (!block) {
        printf("Out of memory %zu\n", size);
        fatal_stop(1);
    }
    return block;
}

void mem_free(void* block)
{
    free(block);
}

void* mem_grow(void* block, size_t used, size_t new_size)
{
    void* grown = mem_alloc(new_size);
    if (used)
        memcpy(grown, block, used);
    mem_free(block);
    return grown;
}

void wstr_copy(pchar* dest, const pchar* source)
{
    size_t n = 0;
    while (n < string_bound && source[n]) {
        dest[n] = source[n];
        n++;
    }
    dest[n] = 0;
}

void wstr_append(pchar* dest, const pchar* source)
{
    size_t length = 0;
    while (length < string_bound && dest[length])
        length++;
    if (length == string_bound) {
        dest[string_bound] = 0;
        return;
    }
    size_t n = 0;
    while (length + n < string_bound && source[n]) {
        dest[length + n] = source[n];
        n++;
    }
    dest[length + n] = 0;
}

size_t wstr_length(const pchar* s)
{
    size_t n = 0;
    while (s[n])
        n++;
    return n;
}

void fatal_stop(int code)
{
    plat_exit(code);
}

void fatal_message(int code, const char* message)
{
    fputs(message, stdout);
    plat_exit(code);
}
