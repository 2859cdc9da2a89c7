#include "listed_files.h"
#include <cstring>
#include "support.h"

// FNV-1a: quick, and spreads names that differ in one character.
static uint32_t name_hash(const char* name, size_t length)
{
    uint32_t h = 2166136261u;
    for (size_t i = 0; i < length; i++)
        h = (h ^ static_cast<uint8_t>(name[i])) * 16777619u;
    return h;
}

static bool same_hex(const char* a, const char* b, size_t length)
{
    for (size_t i = 0; i < length; i++) {
        char x = a[i] >= 'A' && a[i] <= 'F' ? static_cast<char>(a[i] + 32) : a[i];
        char y = b[i] >= 'A' && b[i] <= 'F' ? static_cast<char>(b[i] + 32) : b[i];
        if (x != y)
            return false;
    }
    return true;
}

void listed_clear(listed_folder* f)
{
    f->count = 0;
    if (f->slots)
        memset(f->slots, 0, f->slot_count * sizeof(uint32_t));
}

void listed_release(listed_folder* f)
{
    for (int a = 0; a < alg_count; a++)
        mem_free(f->text[a]);
    mem_free(f->files);
    mem_free(f->slots);
    *f = {};
}

char* listed_text(listed_folder* f, algorithm a, size_t size, size_t keep)
{
    if (size > f->text_capacity[a]) {
        char* text = static_cast<char*>(mem_alloc(size));
        if (keep)
            memcpy(text, f->text[a], keep);
        mem_free(f->text[a]);
        f->text[a] = text;
        f->text_capacity[a] = size;
    }
    return f->text[a];
}

static size_t slot_of(const listed_folder* f, const char* name, size_t length, uint32_t hash)
{
    size_t mask = f->slot_count - 1;
    size_t s = hash & mask;
    for (;; s = (s + 1) & mask) {
        uint32_t index = f->slots[s];
        if (index == 0)
            return s;
        const listed_file& file = f->files[index - 1];
        if (file.hash == hash && file.name_length == length && memcmp(file.name, name, length) == 0)
            return s;
    }
}

static void grow_slots(listed_folder* f)
{
    size_t slot_count = f->slot_count ? 2 * f->slot_count : 1024;
    mem_free(f->slots);
    f->slots = static_cast<uint32_t*>(mem_alloc(slot_count * sizeof(uint32_t)));
    memset(f->slots, 0, slot_count * sizeof(uint32_t));
    f->slot_count = slot_count;
    for (size_t i = 0; i < f->count; i++) {
        const listed_file& file = f->files[i];
        f->slots[slot_of(f, file.name, file.name_length, file.hash)] = static_cast<uint32_t>(i + 1);
    }
}

listed_file* listed_find(listed_folder* f, const char* name, size_t length)
{
    if (f->count == 0)
        return nullptr;
    uint32_t index = f->slots[slot_of(f, name, length, name_hash(name, length))];
    return index ? &f->files[index - 1] : nullptr;
}

void listed_add(listed_folder* f, algorithm a, const digest_line& line)
{
    if (2 * (f->count + 1) > f->slot_count)
        grow_slots(f);
    uint32_t hash = name_hash(line.name, line.name_length);
    size_t s = slot_of(f, line.name, line.name_length, hash);
    if (f->slots[s]) {
        listed_file* file = &f->files[f->slots[s] - 1];
        if (!file->hex[a])
            file->hex[a] = line.hex;
        else if (!same_hex(file->hex[a], line.hex, hex_length(a)))
            file->conflicting = static_cast<uint8_t>(file->conflicting | (1u << a));
        return;
    }
    if (f->count == f->capacity) {
        size_t capacity = f->capacity ? 2 * f->capacity : 256;
        f->files = static_cast<listed_file*>(
            mem_grow(f->files, f->count * sizeof(listed_file), capacity * sizeof(listed_file)));
        f->capacity = capacity;
    }
    listed_file* file = &f->files[f->count++];
    *file = {};
    file->name = line.name;
    file->name_length = line.name_length;
    file->hash = hash;
    file->hex[a] = line.hex;
    f->slots[s] = static_cast<uint32_t>(f->count);
}
