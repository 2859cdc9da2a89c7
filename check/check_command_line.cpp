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
    bool algorithm_named;
    if (!read_command_line(argv, count, top_path, "quiet", &opt_quiet, &algorithm_named))
        print_check_usage();
    if (!algorithm_named)
        for (const algorithm_info& info : algorithms)
            settings.*info.opt = true;
}

