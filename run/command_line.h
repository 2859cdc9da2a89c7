// The command line: options into run_settings, the folder path into top_path.
#pragma once
#include <cstdint>
#include "platform.h"
#include "settings.h"

// Text printed first in every run.
extern const char banner_text[];

// Parses argv[1..count-1] into settings and the normalised folder path into
// top_path (32768 units); calls print_usage for every command line it does
// not accept, so it returns only on success.
void parse_command_line(pchar** argv, int count, pchar* top_path);
// Reads argv[1..count-1] by quillmar's rules: the shared options into
// settings, one more switch named extra (or none when null) into *extra_on,
// the one folder path normalised into top_path; tells whether an algorithm
// was named. False for a command line that is not accepted.
bool read_command_line(pchar** argv, int count, pchar* top_path, const char* extra, bool* extra_on,
                       bool* algorithm_named);
// Prints the usage text and ends the process with code 2.
[[noreturn]] void print_usage();
// Returns the position in top_path where the top folder's own name begins;
// an empty name when the path ends in no name ("/", ".", "..").
const pchar* find_top_name(const pchar* top_path);
// True when argument is "-option" or "/option", ASCII letters compared without case.
bool is_option(const pchar* argument, const char* option);
