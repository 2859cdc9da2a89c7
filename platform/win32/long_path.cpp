#include <windows.h>
#include "support.h"

// A path reaches the file system through Win32's path rules, which cut every
// name's trailing dots and spaces and turn names such as "nul" or "aux.txt"
// into devices, and which stop at 260 units (MAX_PATH). The \\?\ form passes
// the path as it stands, so it is used for paths of 260 units or more and for
// paths that hold such a name. Windows takes that form literally (no "." or
// "..", no current folder), so only an absolute path may take the prefix.
static const size_t long_path_threshold = 260;

static bool starts_with(const pchar* s, const pchar* prefix)
{
    for (; *prefix; s++, prefix++)
        if (*s != *prefix)
            return false;
    return true;
}

static pchar upper(pchar c)
{
    return (c >= L'a' && c <= L'z') ? static_cast<pchar>(c - L'a' + L'A') : c;
}

static bool is_letter(pchar c)
{
    return upper(c) >= L'A' && upper(c) <= L'Z';
}

static bool is_drive_absolute(const pchar* p)
{
    return is_letter(p[0]) && p[1] == L':' && p[2] == L'\\';
}

static bool is_unc(const pchar* p)
{
    return p[0] == L'\\' && p[1] == L'\\';
}

// True for CON, PRN, AUX, NUL, COM1-9 and LPT1-9, alone or before a '.'
// (also after trailing spaces): the names Win32 takes for devices.
static bool is_device_name(const pchar* name, size_t length)
{
    size_t stem = 0;
    while (stem < length && name[stem] != L'.')
        stem++;
    while (stem > 0 && name[stem - 1] == L' ')
        stem--;
    static const wchar_t* const devices[] = {L"CON", L"PRN", L"AUX", L"NUL"};
    if (stem == 3) {
        for (const wchar_t* d : devices)
            if (upper(name[0]) == d[0] && upper(name[1]) == d[1] && upper(name[2]) == d[2])
                return true;
        return false;
    }
    if (stem == 4 && name[3] >= L'1' && name[3] <= L'9') {
        pchar a = upper(name[0]), b = upper(name[1]), c = upper(name[2]);
        return (a == L'C' && b == L'O' && c == L'M') || (a == L'L' && b == L'P' && c == L'T');
    }
    return false;
}

// True when a name of the path would be changed by Win32's path rules.
static bool needs_literal_form(const pchar* path)
{
    const pchar* p = path;
    if (is_letter(p[0]) && p[1] == L':')
        p += 2;
    while (*p) {
        while (*p == L'\\')
            p++;
        const pchar* start = p;
        while (*p && *p != L'\\')
            p++;
        size_t length = static_cast<size_t>(p - start);
        if (length == 0)
            continue;
        bool dots = length <= 2 && start[0] == L'.' && (length == 1 || start[1] == L'.');
        if (!dots && (start[length - 1] == L'.' || start[length - 1] == L' '))
            return true;
        if (is_device_name(start, length))
            return true;
    }
    return false;
}

// Removes "." and ".." names after the first root units of an absolute path, in place.
static void resolve_dots(pchar* path, size_t root)
{
    size_t out = root;
    size_t in = root;
    while (path[in]) {
        while (path[in] == L'\\')
            in++;
        size_t start = in;
        while (path[in] && path[in] != L'\\')
            in++;
        size_t length = in - start;
        if (length == 0)
            continue;
        if (length == 1 && path[start] == L'.')
            continue;
        if (length == 2 && path[start] == L'.' && path[start + 1] == L'.') {
            while (out > root && path[out - 1] != L'\\')
                out--;
            if (out > root)
                out--;
            continue;
        }
        if (out > root && path[out - 1] != L'\\')
            path[out++] = L'\\';
        for (size_t i = 0; i < length; i++)
            path[out++] = path[start + i];
    }
    path[out] = 0;
}

// Length of an absolute path's root: "D:\" or "\\server\share\".
static size_t root_length(const pchar* path)
{
    if (!is_unc(path))
        return 3;
    size_t n = 2;
    for (int part = 0; part < 2; part++) {
        while (path[n] && path[n] != L'\\')
            n++;
        if (path[n])
            n++;
    }
    return n;
}

// Makes source absolute in full (32768 units), "." and ".." resolved, without
// Win32's renaming of names: only the current folder (or drive) is asked for
// its full path.
static bool make_absolute(const pchar* source, pchar* full)
{
    if (is_drive_absolute(source) || is_unc(source)) {
        wstr_copy(full, source);
        resolve_dots(full, root_length(full));
        return true;
    }
    // "D:rest" is relative to drive D's current folder, "\rest" to the current
    // drive's root, anything else to the current folder.
    pchar base[4] = {L'.', 0, 0, 0};
    const pchar* rest = source;
    if (is_letter(source[0]) && source[1] == L':') {
        base[0] = source[0];
        base[1] = L':';
        rest = source + 2;
    } else if (source[0] == L'\\') {
        base[0] = L'\\';
        rest = source + 1;
    }
    DWORD length = GetFullPathNameW(base, static_cast<DWORD>(string_units), full, nullptr);
    if (length == 0 || length >= string_units || !(is_drive_absolute(full) || is_unc(full)))
        return false;
    if (full[length - 1] != L'\\')
        wstr_append(full, L"\\");
    wstr_append(full, rest);
    resolve_dots(full, root_length(full));
    return true;
}

void to_long_path(const pchar* source, pchar* dest)
{
    // Already literal: \\?\ and the device form \\.\ take no second prefix.
    if (starts_with(source, L"\\\\?\\") || starts_with(source, L"\\\\.\\") ||
        (wstr_length(source) < long_path_threshold && !needs_literal_form(source))) {
        wstr_copy(dest, source);
        return;
    }
    static pchar* full = nullptr;
    if (!full)
        full = static_cast<pchar*>(mem_alloc(string_units * sizeof(pchar)));
    if (!make_absolute(source, full)) {
        wstr_copy(dest, L"\\\\?\\");
        wstr_append(dest, source);
        return;
    }
    if (is_unc(full)) {
        wstr_copy(dest, L"\\\\?\\UNC\\");
        wstr_append(dest, full + 2);
    } else {
        wstr_copy(dest, L"\\\\?\\");
        wstr_append(dest, full);
    }
}
