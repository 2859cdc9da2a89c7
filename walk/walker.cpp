#include "walker.h"
#include <cstdio>
#include <cstring>
#include "algorithms.h"
#include "digest_files.h"
#include "folder_chain.h"
#include "lanes.h"
#include "settings.h"
#include "support.h"

// Each level's digest files, indexed like the chain's levels.
struct digest_slots {
    plat_handle (*handles)[alg_count];
    size_t capacity;
};

static uint32_t crc_value;
static uint8_t digest_storage[alg_count][max_digest_size];

const pchar* find_extension(const pchar* name)
{
    const pchar* dot = nullptr;
    const pchar* p = name;
    for (; *p; p++)
        if (*p == '.')
            dot = p;
    return dot ? dot : p;
}

static bool same_string(const pchar* a, const pchar* b)
{
    while (*a && *a == *b) {
        a++;
        b++;
    }
    return *a == *b;
}

bool is_digest_extension(const pchar* extension)
{
    for (const algorithm_info& info : algorithms)
        if (same_string(extension, info.extension))
            return true;
    return false;
}

const char* printable_name(const pchar* name)
{
    static char* buffer = nullptr;
    static size_t capacity = 0;
    size_t length = 0;
    const char* text = plat_utf8(name, &length);
    if (length + 1 > capacity) {
        mem_free(buffer);
        capacity = length + 256;
        buffer = static_cast<char*>(mem_alloc(capacity));
    }
    for (size_t i = 0; i < length; i++) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        buffer[i] = (c < 0x20 || c == 0x7F) ? '?' : static_cast<char>(c);
    }
    buffer[length] = 0;
    return buffer;
}


// Gives the deepest level's digest handles, all closed for a level just entered.
static plat_handle* open_slots(digest_slots* slots, size_t depth)
{
    if (depth > slots->capacity) {
        size_t capacity = slots->capacity ? 2 * slots->capacity : 64;
        slots->handles = static_cast<plat_handle(*)[alg_count]>(
            mem_grow(slots->handles, slots->capacity * sizeof *slots->handles, capacity * sizeof *slots->handles));
        slots->capacity = capacity;
    }
    plat_handle* h = slots->handles[depth - 1];
    for (int a = 0; a < alg_count; a++)
        h[a] = invalid_handle;
    return h;
}

// Sets a subfolder's last-write time back to what its parent listed; the
// subfolder's path is the first length units of the path buffer.
static void restore_folder_time(folder_chain* c, const folder_level* parent, size_t length, const plat_time& time)
{
    c->path[length] = 0;
    const pchar* name = c->path + parent->length + 1;
    to_long_path(c->path, long_path_buffer);
    plat_handle folder = plat_folder_open({parent->dir, name, long_path_buffer});
    if (folder == invalid_handle) {
        printf("invalid file handle %s\n", plat_utf8(c->path, nullptr));
        return;
    }
    if (!plat_set_write_time(folder, time))
        printf("FAILED TO SET FILETIME %s\n", plat_utf8(name, nullptr));
    plat_folder_close(folder);
}

static void hash_entry_file(folder_chain* c, plat_handle* h, const plat_entry& entry)
{
    const folder_level* level = &c->levels[c->depth - 1];
    if (breaks_line(entry.name)) {
        printf("Skipped %s\n", printable_name(entry.name));
        return;
    }
    bool any_open = false;
    for (int a = 0; a < alg_count; a++) {
        if (settings.*algorithms[a].opt && h[a] == invalid_handle && level->name_length)
            h[a] = open_digest_file(level->dir, c->path, level->length, level->name, level->name_length,
                                    static_cast<algorithm>(a));
        any_open = any_open || h[a] != invalid_handle;
    }
    if (!any_open)
        return;
    if (!chain_compose(c, level->length, entry.name)) {
        printf("Skipped %s\n", printable_name(entry.name));
        return;
    }
    // Valid through hash_file, which converts text only on its way to a fatal stop.
    size_t name_length = 0;
    const char* utf8_name = plat_utf8(entry.name, &name_length);
    fwrite(utf8_name, 1, name_length, stdout);
    fputc('\n', stdout);

    hash_file(level->dir, c->path + level->length + 1, c->path,
              h[alg_sfv] != invalid_handle ? &crc_value : nullptr,
              h[alg_md5] != invalid_handle ? digest_storage[alg_md5] : nullptr,
              h[alg_sha1] != invalid_handle ? digest_storage[alg_sha1] : nullptr,
              h[alg_sha256] != invalid_handle ? digest_storage[alg_sha256] : nullptr,
              h[alg_sha512] != invalid_handle ? digest_storage[alg_sha512] : nullptr);
    memcpy(digest_storage[alg_sfv], &crc_value, 4);

    for (int a = 0; a < alg_count; a++) {
        if (h[a] == invalid_handle)
            continue;
        const char* line;
        size_t length = format_line(static_cast<algorithm>(a), digest_storage[a], utf8_name, name_length, &line);
        write_line(h[a], line, length);
    }
}

// Closes the deepest level's digest files and listing, then restores its time.
static void finish_level(folder_chain* c, digest_slots* slots)
{
    for (plat_handle h : slots->handles[c->depth - 1])
        if (h != invalid_handle)
            plat_file_close(h);
    const folder_level* done = chain_leave(c);
    if (c->depth)
        restore_folder_time(c, &c->levels[c->depth - 1], done->length, done->write_time);
}

void hash_folder(const pchar* folder_path, const pchar* folder_name)
{
    folder_chain c;
    digest_slots slots = {};
    if (chain_open_top(&c, folder_path, folder_name)) {
        open_slots(&slots, 1);
        while (c.depth) {
            plat_entry entry;
            if (!chain_next_entry(&c, &entry)) {
                finish_level(&c, &slots);
                continue;
            }
            if (entry.kind == entry_folder) {
                if (!settings.opt_recurse)
                    continue;
                const folder_level* parent = &c.levels[c.depth - 1];
                size_t length = parent->length + 1 + wstr_length(entry.name);
                enter_result result = chain_enter(&c, entry);
                if (result == enter_walked)
                    open_slots(&slots, c.depth);
                else if (result == enter_not_listed)
                    restore_folder_time(&c, &c.levels[c.depth - 1], length, entry.write_time);
                continue;
            }
            if (is_digest_extension(find_extension(entry.name)))
                continue;
            if (entry.kind == entry_other) {
                printf("Skipped %s\n", printable_name(entry.name));
                continue;
            }
            hash_entry_file(&c, slots.handles[c.depth - 1], entry);
        }
    }
    chain_release(&c);
    mem_free(slots.handles);
}
