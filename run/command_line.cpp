#include "command_line.h"
#include <cstdio>
#include "algorithms.h"
#include "support.h"

run_settings settings;

const char banner_text[] = "quillmar 1.0.1.1 (2022)\n";

static const char* const usage_tail[] = {
    "\n",
    "Options:\n",
    "   -sfv\n",
    "   -md5\n",
    "   -sha1\n",
    "   -sha256\n",
    "   -sha512\n",
    "      Specify hash algorithms.\n",
    "      Default is: -sfv -md5 -sha1 -sha256\n",
    "\n",
    "   -bufsize <size>\n",
    "      Specify buffer size in bytes\n",
    "      Default is: -bufsize 8388608\n",
    "\n",
    "   -nosubfolders\n",
    "      Ignore subfolders\n",
    "      Default is to recurse subfolders.\n",
    "\n",
};

void print_usage()
{
    fputs(plat_usage_head(), stdout);
    for (const char* text : usage_tail)
        fputs(text, stdout);
    fatal_stop(2);
}

static unsigned fold(unsigned c)
{
    return (c >= 'A' && c <= 'Z') ? c + ('a' - 'A') : c;
}

bool is_option(const pchar* argument, const char* option)
{
    if (argument[0] != '-' && argument[0] != '/')
        return false;
    const pchar* a = argument + 1;
    for (; *option; a++, option++)
        if (fold(static_cast<unsigned>(*a)) != static_cast<unsigned char>(*option))
            return false;
    return *a == 0;
}

static int32_t to_int32(long long value)
{
    if (value > 2147483647LL)
        return 2147483647;
    if (value < -2147483647LL - 1)
        return -2147483647 - 1;
    return static_cast<int32_t>(value);
}

enum option_result { option_none, option_taken, option_refused };

// Takes argv[*i] as one of the shared options into settings, moving *i past
// a -bufsize value.
static option_result take_option(pchar** argv, int count, int* i, bool* algorithm_named)
{
    const pchar* argument = argv[*i];
    for (const algorithm_info& info : algorithms) {
        if (is_option(argument, info.option)) {
            settings.*info.opt = true;
            *algorithm_named = true;
            return option_taken;
        }
    }
    if (is_option(argument, "bufsize")) {
        if (*i + 1 >= count)
            return option_refused;
        settings.opt_bufsize = to_int32(plat_to_integer(argv[++*i]));
        return option_taken;
    }
    if (is_option(argument, "s") || is_option(argument, "nosubfolders")) {
        settings.opt_recurse = false;
        return option_taken;
    }
    return option_none;
}

bool read_command_line(pchar** argv, int count, pchar* top_path, const char* extra, bool* extra_on,
                       bool* algorithm_named)
{
    if (count <= 1)
        return false;
    *algorithm_named = false;
    bool path_taken = false;
    for (int i = 1; i < count; i++) {
        option_result option = take_option(argv, count, &i, algorithm_named);
        if (option == option_refused)
            return false;
        if (option == option_taken)
            continue;
        if (extra && is_option(argv[i], extra)) {
            *extra_on = true;
            continue;
        }
        if (path_taken)
            return false;
        pchar* copy = static_cast<pchar*>(mem_alloc(string_units * sizeof(pchar)));
        wstr_copy(copy, argv[i]);
        plat_normalize_path(top_path, copy);
        mem_free(copy);
        path_taken = true;
    }
    // A zero-byte read would hash every file as empty input.
    return path_taken && settings.opt_bufsize != 0;
}

void parse_command_line(pchar** argv, int count, pchar* top_path)
{
    bool algorithm_named;
    if (!read_command_line(argv, count, top_path, nullptr, nullptr, &algorithm_named))
        print_usage();
    if (!algorithm_named) {
        settings.opt_sfv = settings.opt_md5 = settings.opt_sha1 = settings.opt_sha256 = true;
    }
}

const pchar* find_top_name(const pchar* top_path)
{
    const pchar* name = top_path;
    for (const pchar* p = top_path; *p; p++)
        if (*p == path_separator)
            name = p + 1;
    // "." and ".." name no folder of their own: no digest file may be called "..sfv".
    if (name[0] == '.' && (name[1] == 0 || (name[1] == '.' && name[2] == 0)))
        return name + wstr_length(name);
    return name;
}
