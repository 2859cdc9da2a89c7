// The run's options: set by parse_command_line before any lane starts, read-only after.
#pragma once
#include <cstdint>

struct run_settings {
    bool opt_sfv = false;
    bool opt_md5 = false;
    bool opt_sha1 = false;
    bool opt_sha256 = false;
    bool opt_sha512 = false;
    int32_t opt_bufsize = 8388608;
    bool opt_recurse = true;
};

extern run_settings settings;
