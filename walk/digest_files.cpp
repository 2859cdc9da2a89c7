#include "digest_files.h"
#include <cstring>
#include "support.h"

static char* line_buffer = nullptr;
static size_t line_capacity = 0;

const pchar* compose_digest_name(pchar* path_buffer, size_t folder_length, const pchar* folder_name,
                                 size_t name_length, algorithm a)
{
    const pchar* extension = algorithms[a].extension;
    size_t extension_length = wstr_length(extension);
    if (folder_length + 1 + name_length + extension_length > string_bound)
        return nullptr;
    pchar* name = path_buffer + folder_length + 1;
    name[-1] = path_separator;
    memmove(name, folder_name, name_length * sizeof(pchar));  // folder_name may lie in path_buffer
    memcpy(name + name_length, extension, (extension_length + 1) * sizeof(pchar));
    return name;
}

plat_handle open_digest_file(plat_dir* folder, pchar* path_buffer, size_t folder_length,
                             const pchar* folder_name, size_t name_length, algorithm a)
{
    const pchar* name = compose_digest_name(path_buffer, folder_length, folder_name, name_length, a);
    if (!name)
        return invalid_handle;
    to_long_path(path_buffer, long_path_buffer);
    plat_loc where = {folder, name, long_path_buffer};
    if (file_has_data(where))
        return invalid_handle;
    return plat_file_create(where);
}

bool file_has_data(const plat_loc& where)
{
    return plat_file_has_data(where);
}

size_t format_line(algorithm a, const uint8_t* digest, const char* name, size_t name_length,
                   const char** line)
{
    static const char hex[] = "0123456789abcdef";
    size_t hex_length = 2 * algorithms[a].digest_size;
    size_t length = hex_length + 1 + name_length + 2;
    if (length + 1 > line_capacity) {
        mem_free(line_buffer);
        line_capacity = length + 256;
        line_buffer = static_cast<char*>(mem_alloc(line_capacity));
    }
    char* p = line_buffer;
    char digits[2 * max_digest_size];
    if (a == alg_sfv) {
        uint32_t crc;
        memcpy(&crc, digest, 4);
        for (int i = 0; i < 8; i++)
            digits[i] = hex[(crc >> (28 - 4 * i)) & 0xF];
    } else {
        for (uint32_t i = 0; i < algorithms[a].digest_size; i++) {
            digits[2 * i] = hex[digest[i] >> 4];
            digits[2 * i + 1] = hex[digest[i] & 0xF];
        }
    }
    if (algorithms[a].name_first) {
        memcpy(p, name, name_length);
        p += name_length;
        *p++ = ' ';
        memcpy(p, digits, hex_length);
        p += hex_length;
    } else {
        memcpy(p, digits, hex_length);
        p += hex_length;
        *p++ = ' ';
        memcpy(p, name, name_length);
        p += name_length;
    }
    *p++ = '\r';
    *p++ = '\n';
    *p = 0;
    *line = line_buffer;
    return length;
}

void write_line(plat_handle file, const char* line, size_t length)
{
    if (!plat_file_write(file, line, static_cast<uint32_t>(length)))
        fatal_message(5, "WriteFile\n");
}
