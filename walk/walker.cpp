#include "walker.h"
#include <cstdio>
#include <cstring>
#include "algorithms.h"
#include "digest_files.h"
#include "lanes.h"
#include "settings.h"
#include "support.h"

// One folder on the chain from the top folder to the folder in hand. The
// levels live on the heap, so the depth of a tree never exhausts the stack.
struct walk_level {
    plat_dir* dir;
    size_t length;           // the folder's path is the first length units of the path buffer
    const pchar* name;       // what its digest files are named after; may lie in the path buffer
    size_t name_length;
    plat_handle digest_handles[alg_count];
    plat_time write_time;    // as its parent listed it
    plat_id id;
    bool has_id;
};

struct walk_state {
    pchar* path;             // the folder in hand's path, then an entry's name
    walk_level* levels;
    size_t depth;
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

static bool is_dot_name(const pchar* name)
{
    return name[0] == '.' && (name[1] == 0 || (name[1] == '.' && name[2] == 0));
}

static bool breaks_line(const pchar* name)
{
    for (; *name; name++)
        if (*name == '\n' || *name == '\r')
            return true;
    return false;
}

// Puts "<folder path><separator><name>" into the path buffer; false when it
// would pass the string bound.
static bool compose_entry_path(walk_state* w, size_t folder_length, const pchar* name)
{
    size_t name_length = wstr_length(name);
    if (folder_length + 1 + name_length > string_bound)
        return false;
    w->path[folder_length] = path_separator;
    memcpy(w->path + folder_length + 1, name, (name_length + 1) * sizeof(pchar));
    return true;
}

static void push_level(walk_state* w, plat_dir* dir, size_t length, const pchar* name, const plat_id* id)
{
    if (w->depth == w->capacity) {
        size_t capacity = w->capacity ? 2 * w->capacity : 64;
        walk_level* levels = static_cast<walk_level*>(mem_alloc(capacity * sizeof(walk_level)));
        if (w->depth)
            memcpy(levels, w->levels, w->depth * sizeof(walk_level));
        mem_free(w->levels);
        w->levels = levels;
        w->capacity = capacity;
    }
    walk_level* level = &w->levels[w->depth++];
    level->dir = dir;
    level->length = length;
    level->name = name;
    level->name_length = wstr_length(name);
    for (plat_handle& h : level->digest_handles)
        h = invalid_handle;
    level->has_id = id != nullptr;
    if (id)
        level->id = *id;
}

static bool on_chain(const walk_state* w, const plat_id& id)
{
    for (size_t i = 0; i < w->depth; i++) {
        const walk_level& level = w->levels[i];
        if (level.has_id && level.id.volume == id.volume && level.id.index == id.index)
            return true;
    }
    return false;
}

// Sets a subfolder's last-write time back to what its parent listed; the
// subfolder's path is in the path buffer.
static void restore_folder_time(walk_state* w, walk_level* parent, size_t length, const plat_time& time)
{
    w->path[length] = 0;
    const pchar* name = w->path + parent->length + 1;
    to_long_path(w->path, long_path_buffer);
    plat_handle folder = plat_folder_open({parent->dir, name, long_path_buffer});
    if (folder == invalid_handle) {
        printf("invalid file handle %s\n", plat_utf8(w->path, nullptr));
        return;
    }
    if (!plat_set_write_time(folder, time))
        printf("FAILED TO SET FILETIME %s\n", plat_utf8(name, nullptr));
    plat_folder_close(folder);
}

static void enter_subfolder(walk_state* w, const plat_entry& entry)
{
    walk_level* level = &w->levels[w->depth - 1];
    if (!compose_entry_path(w, level->length, entry.name)) {
        printf("Skipped %s\n", printable_name(entry.name));
        return;
    }
    size_t length = level->length + 1 + wstr_length(entry.name);
    const pchar* name = w->path + level->length + 1;
    to_long_path(w->path, long_path_buffer);
    plat_dir* dir = plat_list_open({level->dir, name, long_path_buffer});
    if (!dir) {
        restore_folder_time(w, level, length, entry.write_time);
        return;
    }
    plat_id id;
    bool has_id = plat_list_id(dir, &id);
    if (has_id && on_chain(w, id)) {
        // A link back into the chain being walked: walking it again would never end.
        plat_list_close(dir);
        printf("Loop %s\n", plat_utf8(w->path, nullptr));
        return;
    }
    push_level(w, dir, length, name, has_id ? &id : nullptr);
    w->levels[w->depth - 1].write_time = entry.write_time;
}

static void hash_entry_file(walk_state* w, const plat_entry& entry)
{
    walk_level* level = &w->levels[w->depth - 1];
    if (breaks_line(entry.name)) {
        printf("Skipped %s\n", printable_name(entry.name));
        return;
    }
    bool any_open = false;
    for (int a = 0; a < alg_count; a++) {
        if (settings.*algorithms[a].opt && level->digest_handles[a] == invalid_handle && level->name_length)
            level->digest_handles[a] = open_digest_file(level->dir, w->path, level->length, level->name,
                                                        level->name_length, static_cast<algorithm>(a));
        any_open = any_open || level->digest_handles[a] != invalid_handle;
    }
    if (!any_open)
        return;
    if (!compose_entry_path(w, level->length, entry.name)) {
        printf("Skipped %s\n", printable_name(entry.name));
        return;
    }
    size_t name_length = 0;
    const char* utf8_name = plat_utf8(entry.name, &name_length);
    fwrite(utf8_name, 1, name_length, stdout);
    fputc('\n', stdout);

    const plat_handle* h = level->digest_handles;
    hash_file(level->dir, w->path + level->length + 1, w->path,
              h[alg_sfv] != invalid_handle ? &crc_value : nullptr,
              h[alg_md5] != invalid_handle ? digest_storage[alg_md5] : nullptr,
              h[alg_sha1] != invalid_handle ? digest_storage[alg_sha1] : nullptr,
              h[alg_sha256] != invalid_handle ? digest_storage[alg_sha256] : nullptr,
              h[alg_sha512] != invalid_handle ? digest_storage[alg_sha512] : nullptr);
    memcpy(digest_storage[alg_sfv], &crc_value, 4);

    // hash_file may have used the conversion buffer; convert the name again.
    utf8_name = plat_utf8(entry.name, &name_length);
    for (int a = 0; a < alg_count; a++) {
        if (h[a] == invalid_handle)
            continue;
        const char* line;
        size_t length = format_line(static_cast<algorithm>(a), digest_storage[a], utf8_name, name_length, &line);
        write_line(h[a], line, length);
    }
}

static void finish_level(walk_state* w)
{
    walk_level* level = &w->levels[--w->depth];
    plat_list_close(level->dir);
    for (plat_handle h : level->digest_handles)
        if (h != invalid_handle)
            plat_file_close(h);
    if (w->depth)
        restore_folder_time(w, &w->levels[w->depth - 1], level->length, level->write_time);
}

void hash_folder(const pchar* folder_path, const pchar* folder_name)
{
    walk_state w = {};
    w.path = static_cast<pchar*>(mem_alloc(string_units * sizeof(pchar)));
    wstr_copy(w.path, folder_path);
    to_long_path(w.path, long_path_buffer);
    plat_dir* top = plat_list_open({nullptr, w.path, long_path_buffer});
    if (top) {
        plat_id id;
        push_level(&w, top, wstr_length(w.path), folder_name, plat_list_id(top, &id) ? &id : nullptr);
        while (w.depth) {
            plat_entry entry;
            walk_level* level = &w.levels[w.depth - 1];
            if (!plat_list_next(level->dir, &entry)) {
                finish_level(&w);
                continue;
            }
            if (is_dot_name(entry.name))
                continue;
            if (entry.kind == entry_folder) {
                if (settings.opt_recurse)
                    enter_subfolder(&w, entry);
                continue;
            }
            if (is_digest_extension(find_extension(entry.name)))
                continue;
            if (entry.kind == entry_other) {
                printf("Skipped %s\n", printable_name(entry.name));
                continue;
            }
            hash_entry_file(&w, entry);
        }
    }
    mem_free(w.levels);
    mem_free(w.path);
}
