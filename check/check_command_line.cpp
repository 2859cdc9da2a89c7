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

void parse_check_command_line(pchar** argv, int count, pchar* top_path)
{
    if (count <= 1)
        print_check_usage();
    bool algorithm_named = false;
    bool path_taken = false;
    for (int i = 1; i < count; i++) {
        option_result option = take_option(argv, count, &i, &algorithm_named);
        if (option == option_refused)
            print_check_usage();
        if (option == option_taken)
            continue;
        if (is_option(argv[i], "quiet")) {
            opt_quiet = true;
            continue;
        }
        if (path_taken)
            print_check_usage();
        take_path(argv[i], top_path);
        path_taken = true;
    }
    // A zero-byte read would hash every file as empty input.
    if (!path_taken || settings.opt_bufsize == 0)
        print_check_usage();
    if (!algorithm_named)
        for (const algorithm_info& info : algorithms)
            settings.*info.opt = true;
}
