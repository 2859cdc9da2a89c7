#include "check_walk.h"
#include <cstdio>
#include <cstring>
#include "algorithms.h"
#include "check_command_line.h"
#include "check_lines.h"
#include "digest_files.h"
#include "folder_chain.h"
#include "lanes.h"
#include "listed_files.h"
#include "settings.h"
#include "support.h"
#include "walker.h"

check_counts counts;

static size_t top_length;
// One per level of the chain, reused by the next folder at the same depth.
static listed_folder* folders;
static size_t folder_capacity;

static uint32_t crc_value;
static uint8_t digest_storage[alg_count][max_digest_size];

// Writes text with control characters as '?', so every report stays one line.
static void put_printable(const char* text, size_t length)
{
    for (size_t i = 0; i < length; i++) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        fputc((c < 0x20 || c == 0x7F) ? '?' : c, stdout);
    }
}

// Writes the path in the chain's buffer relative to the top folder.
static void put_relative(const folder_chain* c)
{
    size_t length = 0;
    const char* text = plat_utf8(c->path + top_length + 1, &length);
    put_printable(text, length);
}

static void report(const folder_chain* c, const char* what)
{
    put_relative(c);
    fputs(what, stdout);
}

static listed_folder* folder_at(size_t depth)
{
    if (depth >= folder_capacity) {
        size_t capacity = folder_capacity ? 2 * folder_capacity : 64;
        folders = static_cast<listed_folder*>(
            mem_grow(folders, folder_capacity * sizeof(listed_folder), capacity * sizeof(listed_folder)));
        memset(folders + folder_capacity, 0, (capacity - folder_capacity) * sizeof(listed_folder));
        folder_capacity = capacity;
    }
    return &folders[depth];
}

// Reads the whole file into the algorithm's text buffer; false on a failed read.
static bool read_text(plat_handle file, listed_folder* f, algorithm a, size_t* length)
{
    size_t used = 0;
    for (;;) {
        char* text = listed_text(f, a, used + 65536, used);
        uint32_t got = 0;
        if (!plat_file_read(file, text + used, 65536, &got))
            return false;
        if (got == 0)
            break;
        used += got;
    }
    *length = used;
    return true;
}

static void read_digest_file(folder_chain* c, const folder_level& level, listed_folder* f, algorithm a)
{
    const pchar* name = compose_digest_name(c->path, level.length, level.name, level.name_length, a);
    if (!name)
        return;
    to_long_path(c->path, long_path_buffer);
    plat_loc where = {level.dir, name, long_path_buffer};
    // An empty digest file lists nothing, as quillmar would fill it afresh.
    if (!plat_file_has_data(where))
        return;
    plat_handle file = plat_file_open_read(where);
    size_t length = 0;
    bool read = file != invalid_handle && read_text(file, f, a, &length);
    if (file != invalid_handle)
        plat_file_close(file);
    if (!read) {
        report(c, ": cannot be read\n");
        counts.failed++;
        return;
    }
    char* text = f->text[a];
    bool gnu = uses_gnu_separator(a, text, length);
    size_t position = bom_length(text, length);
    size_t line_number = 0;
    char* line;
    size_t line_length;
    while (next_line(text, length, &position, &line, &line_length)) {
        line_number++;
        digest_line parsed;
        line_kind kind = parse_digest_line(a, line, line_length, gnu, &parsed);
        if (kind == line_digest) {
            listed_add(f, a, parsed);
        } else if (kind == line_bad) {
            put_relative(c);
            printf(": line %llu: not a digest line\n", static_cast<unsigned long long>(line_number));
            counts.failed++;
        }
    }
}

// Reads the digest files of the folder just put on the chain.
static void load_folder(folder_chain* c)
{
    const folder_level& level = c->levels[c->depth - 1];
    listed_folder* f = folder_at(c->depth - 1);
    listed_clear(f);
    if (level.name_length == 0)
        return;  // a folder without a name of its own has no digest files
    for (int a = 0; a < alg_count; a++)
        if (settings.*algorithms[a].opt)
            read_digest_file(c, level, f, static_cast<algorithm>(a));
    c->path[level.length] = 0;
}

static void check_file(folder_chain* c, listed_file* file)
{
    const folder_level& level = c->levels[c->depth - 1];
    file->seen = true;
    const char* const* hex = file->hex;
    hash_file(level.dir, c->path + level.length + 1, c->path,
              hex[alg_sfv] ? &crc_value : nullptr,
              hex[alg_md5] ? digest_storage[alg_md5] : nullptr,
              hex[alg_sha1] ? digest_storage[alg_sha1] : nullptr,
              hex[alg_sha256] ? digest_storage[alg_sha256] : nullptr,
              hex[alg_sha512] ? digest_storage[alg_sha512] : nullptr);
    memcpy(digest_storage[alg_sfv], &crc_value, 4);
    unsigned wrong = 0;
    for (int a = 0; a < alg_count; a++) {
        algorithm alg = static_cast<algorithm>(a);
        if (hex[a] && (!hex_matches(alg, hex[a], digest_storage[a]) || (file->conflicting & (1u << a))))
            wrong |= 1u << a;
    }
    if (!wrong) {
        counts.ok++;
        if (!opt_quiet)
            report(c, ": OK\n");
        return;
    }
    counts.failed++;
    report(c, ": FAILED (");
    const char* comma = "";
    for (int a = 0; a < alg_count; a++) {
        if (wrong & (1u << a)) {
            printf("%s%s", comma, algorithms[a].option);
            comma = ", ";
        }
    }
    fputs(")\n", stdout);
}

// A file of the folder in hand: checked when listed, else reported new.
static void handle_file(folder_chain* c, const plat_entry& entry)
{
    const folder_level& level = c->levels[c->depth - 1];
    size_t name_length = 0;
    const char* name = plat_utf8(entry.name, &name_length);
    listed_file* file = listed_find(folder_at(c->depth - 1), name, name_length);
    if (!file && is_digest_extension(find_extension(entry.name)))
        return;
    // What cannot be read as a file is never hashed; when listed it stays missing.
    if (entry.kind != entry_file || breaks_line(entry.name) || !chain_compose(c, level.length, entry.name)) {
        printf("Skipped %s\n", printable_name(entry.name));
        return;
    }
    if (file) {
        check_file(c, file);
        return;
    }
    counts.fresh++;
    report(c, ": NEW\n");
}

// Reports every file the folder's digest files list that its listing lacked.
static void report_missing(folder_chain* c)
{
    const folder_level& level = c->levels[c->depth - 1];
    const listed_folder* f = folder_at(c->depth - 1);
    c->path[level.length] = 0;
    for (size_t i = 0; i < f->count; i++) {
        const listed_file& file = f->files[i];
        if (file.seen)
            continue;
        counts.missing++;
        if (level.length > top_length) {
            put_relative(c);
            fputc(static_cast<char>(path_separator), stdout);
        }
        put_printable(file.name, file.name_length);
        fputs(": MISSING\n", stdout);
    }
}

void check_tree(const pchar* top_path, const pchar* top_name)
{
    folder_chain c;
    top_length = wstr_length(top_path);
    if (!chain_open_top(&c, top_path, top_name)) {
        size_t length = 0;
        const char* text = plat_utf8(top_path, &length);
        put_printable(text, length);
        fputs(": cannot be listed\n", stdout);
        counts.failed++;
    } else {
        load_folder(&c);
    }
    while (c.depth) {
        plat_entry entry;
        if (!chain_next_entry(&c, &entry)) {
            report_missing(&c);
            chain_leave(&c);
            continue;
        }
        if (entry.kind == entry_folder) {
            if (!settings.opt_recurse)
                continue;
            enter_result entered = chain_enter(&c, entry);
            if (entered == enter_walked) {
                load_folder(&c);
            } else if (entered == enter_not_listed) {
                report(&c, ": cannot be listed\n");
                counts.failed++;
            }
            continue;
        }
        handle_file(&c, entry);
    }
    chain_release(&c);
    for (size_t i = 0; i < folder_capacity; i++)
        listed_release(&folders[i]);
    mem_free(folders);
    folders = nullptr;
    folder_capacity = 0;
}
