#include "folder_chain.h"
#include <cstdio>
#include <cstring>
#include "support.h"
#include "walker.h"

bool is_dot_name(const pchar* name)
{
    return name[0] == '.' && (name[1] == 0 || (name[1] == '.' && name[2] == 0));
}

bool breaks_line(const pchar* name)
{
    for (; *name; name++)
        if (*name == '\n' || *name == '\r')
            return true;
    return false;
}

bool chain_compose(folder_chain* c, size_t folder_length, const pchar* name)
{
    size_t name_length = wstr_length(name);
    if (folder_length + 1 + name_length > string_bound)
        return false;
    c->path[folder_length] = path_separator;
    memcpy(c->path + folder_length + 1, name, (name_length + 1) * sizeof(pchar));
    return true;
}

static void push_level(folder_chain* c, plat_dir* dir, size_t length, const pchar* name, const plat_id* id)
{
    if (c->depth == c->capacity) {
        size_t capacity = c->capacity ? 2 * c->capacity : 64;
        c->levels = static_cast<folder_level*>(
            mem_grow(c->levels, c->depth * sizeof(folder_level), capacity * sizeof(folder_level)));
        c->capacity = capacity;
    }
    folder_level* level = &c->levels[c->depth++];
    level->dir = dir;
    level->length = length;
    level->name = name;
    level->name_length = wstr_length(name);
    level->write_time = {};
    level->has_id = id != nullptr;
    if (id)
        level->id = *id;
}

static bool on_chain(const folder_chain* c, const plat_id& id)
{
    for (size_t i = 0; i < c->depth; i++) {
        const folder_level& level = c->levels[i];
        if (level.has_id && level.id.volume == id.volume && level.id.index == id.index)
            return true;
    }
    return false;
}

bool chain_open_top(folder_chain* c, const pchar* folder_path, const pchar* folder_name)
{
    *c = {};
    c->path = static_cast<pchar*>(mem_alloc(string_units * sizeof(pchar)));
    wstr_copy(c->path, folder_path);
    to_long_path(c->path, long_path_buffer);
    plat_dir* top = plat_list_open({nullptr, c->path, long_path_buffer});
    if (!top)
        return false;
    plat_id id;
    push_level(c, top, wstr_length(c->path), folder_name, plat_list_id(top, &id) ? &id : nullptr);
    return true;
}

bool chain_next_entry(folder_chain* c, plat_entry* entry)
{
    plat_dir* dir = c->levels[c->depth - 1].dir;
    while (plat_list_next(dir, entry))
        if (!is_dot_name(entry->name))
            return true;
    return false;
}

enter_result chain_enter(folder_chain* c, const plat_entry& entry)
{
    folder_level* level = &c->levels[c->depth - 1];
    if (!chain_compose(c, level->length, entry.name)) {
        printf("Skipped %s\n", printable_name(entry.name));
        return enter_passed;
    }
    size_t length = level->length + 1 + wstr_length(entry.name);
    const pchar* name = c->path + level->length + 1;
    to_long_path(c->path, long_path_buffer);
    plat_dir* dir = plat_list_open({level->dir, name, long_path_buffer});
    if (!dir)
        return enter_not_listed;
    plat_id id;
    bool has_id = plat_list_id(dir, &id);
    if (has_id && on_chain(c, id)) {
        // A link back into the chain being walked: walking it again would never end.
        plat_list_close(dir);
        printf("Loop %s\n", plat_utf8(c->path, nullptr));
        return enter_passed;
    }
    push_level(c, dir, length, name, has_id ? &id : nullptr);
    c->levels[c->depth - 1].write_time = entry.write_time;
    return enter_walked;
}

const folder_level* chain_leave(folder_chain* c)
{
    folder_level* level = &c->levels[--c->depth];
    plat_list_close(level->dir);
    level->dir = nullptr;
    c->path[level->length] = 0;
    return level;
}

void chain_release(folder_chain* c)
{
    while (c->depth)
        chain_leave(c);
    mem_free(c->levels);
    mem_free(c->path);
    *c = {};
}
