#include "check_command_line.h"
#include <cstdio>
#include <cstring>
#include "algorithms.h"
#include "command_line.h"
#include "support.h"

const char check_banner_text[] = "quillmar-check 1.0.1.1 (2022)\n";
bool opt_quiet = false;

static const char* const usage_tail[] = {
    "\n",
    "Options:\n",
    "   -sfv\n",
    "   -md5\n",
    "   -sha1\n",
    "   -sha256\n",
    "   -sha512\n",
    "      Specify digest files to check.\n",
    "      Default is every one found: -sfv -md5 -sha1 -sha256 -sha512\n",
    "\n",
    "   -bufsize <size>\n",
    "      Specify buffer size in bytes\n",
    "      Default is: -bufsize 8388608\n",
    "\n",
    "   -nosubfolders\n",
    "      Ignore subfolders\n",
    "      Default is to recurse subfolders.\n",
    "\n",
    "   -quiet\n",
    "      Print no line for a file that checks out\n",
    "      Default is to print every file.\n",
    "\n",
};

void print_check_usage()
{
    // The backend's usage head names quillmar and its example folder in the
    // platform's form; the checker's is the same with its own name.
    static const char program[] = "quillmar";
    for (const char* p = plat_usage_head(); *p;) {
        if (strncmp(p, program, sizeof program - 1) == 0) {
            fputs("quillmar-check", stdout);
            p += sizeof program - 1;
            continue;
        }
        fputc(*p++, stdout);
    }
    for (const char* text : usage_tail)
        fputs(text, stdout);
    fatal_stop(2);
}

static int32_t to_int32(long long value)
{
    if (value > 2147483647LL)
        return 2147483647;
    if (value < -2147483647LL - 1)
        return -2147483647 - 1;
    return static_cast<int32_t>(value);
}

void parse_check_command_line(pchar** argv, int count, pchar* top_path)
{
    if (count <= 1)
        print_check_usage();
    bool algorithm_named = false;
    bool path_taken = false;
    for (int i = 1; i < count; i++) {
        const pchar* argument = argv[i];
        bool matched = false;
        for (const algorithm_info& info : algorithms) {
            if (is_option(argument, info.option)) {
                settings.*info.opt = true;
                algorithm_named = true;
                matched = true;
                break;
            }
        }
        if (matched)
            continue;
        if (is_option(argument, "bufsize")) {
            if (i + 1 >= count)
                print_check_usage();
            settings.opt_bufsize = to_int32(plat_to_integer(argv[++i]));
            continue;
        }
        if (is_option(argument, "s") || is_option(argument, "nosubfolders")) {
            settings.opt_recurse = false;
            continue;
        }
        if (is_option(argument, "quiet")) {
            opt_quiet = true;
            continue;
        }
        if (path_taken)
            print_check_usage();
        pchar* copy = static_cast<pchar*>(mem_alloc(string_units * sizeof(pchar)));
        wstr_copy(copy, argument);
        plat_normalize_path(top_path, copy);
        mem_free(copy);
        path_taken = true;
    }
    // A zero-byte read would hash every file as empty input.
    if (!path_taken || settings.opt_bufsize == 0)
        print_check_usage();
    if (!algorithm_named)
        for (const algorithm_info& info : algorithms)
            settings.*info.opt = true;
}
