// quillmar-check's command line, read by quillmar's rules: options in the
// '-' and '/' forms, ASCII letters without case, whole words only.
#pragma once
#include "platform.h"
#include "settings.h"

// Text printed first in every run.
extern const char check_banner_text[];
// -quiet: no line for a file that checks out.
extern bool opt_quiet;

// Parses argv[1..count-1]: the algorithm options choose which digest files are
// read (all five when none is named), -bufsize, -nosubfolders/-s and -quiet
// into settings and opt_quiet, the folder path normalised into top_path (32768
// units). Calls print_check_usage for every command line it does not accept.
void parse_check_command_line(pchar** argv, int count, pchar* top_path);
// Prints the usage text and ends the process with code 2.
[[noreturn]] void print_check_usage();
