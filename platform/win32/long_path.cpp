#include <windows.h>
#include "support.h"

// Paths of 260 units (MAX_PATH) or more reach the file system only in the
// \\?\ form, which Windows takes literally: no "." or ".." resolution, no
// current folder. So only an absolute path may take the prefix.
static const size_t long_path_threshold = 260;

static bool starts_with(const pchar* s, const pchar* prefix)
{
    for (; *prefix; s++, prefix++)
        if (*s != *prefix)
            return false;
    return true;
}

static bool is_letter(pchar c)
{
    return (c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z');
}

// Writes the long form of an absolute path: "D:\x" gives "\\?\D:\x",
// "\\server\share\x" gives "\\?\UNC\server\share\x"; false for any other path.
static bool prefix_absolute(const pchar* source, pchar* dest)
{
    if (is_letter(source[0]) && source[1] == L':' && source[2] == L'\\') {
        wstr_copy(dest, L"\\\\?\\");
        wstr_append(dest, source);
        return true;
    }
    if (source[0] == L'\\' && source[1] == L'\\') {
        wstr_copy(dest, L"\\\\?\\UNC\\");
        wstr_append(dest, source + 2);
        return true;
    }
    return false;
}

void to_long_path(const pchar* source, pchar* dest)
{
    // Already in a form that the file system takes as it stands.
    if (wstr_length(source) < long_path_threshold || starts_with(source, L"\\\\?\\") ||
        starts_with(source, L"\\\\.\\")) {
        wstr_copy(dest, source);
        return;
    }
    if (prefix_absolute(source, dest))
        return;
    // Relative ("a\b"), drive-relative ("D:a") or rooted ("\a"): made absolute first.
    static pchar* full = nullptr;
    if (!full)
        full = static_cast<pchar*>(mem_alloc(string_units * sizeof(pchar)));
    DWORD length = GetFullPathNameW(source, static_cast<DWORD>(string_units), full, nullptr);
    if (length > 0 && length < string_units && prefix_absolute(full, dest))
        return;
    wstr_copy(dest, L"\\\\?\\");
    wstr_append(dest, source);
}
