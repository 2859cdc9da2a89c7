#include "check_job.h"
#include <cstdio>
#include "check_command_line.h"
#include "check_walk.h"
#include "command_line.h"
#include "crc32.h"
#include "lanes.h"
#include "support.h"

int check_job()
{
    fputs(check_banner_text, stdout);
    pchar* top_path = static_cast<pchar*>(mem_alloc(string_units * sizeof(pchar)));
    long_path_buffer = static_cast<pchar*>(mem_alloc(string_units * sizeof(pchar)));
    int count = 0;
    pchar** argv = plat_arguments(&count);
    parse_check_command_line(argv, count, top_path);

    start_lanes();
    read_buffer = static_cast<uint8_t*>(mem_alloc(static_cast<uint32_t>(settings.opt_bufsize)));
    crc32_build_table();
    check_tree(top_path, find_top_name(top_path));
    stop_lanes();

    unsigned long long total = counts.ok + counts.failed + counts.missing + counts.fresh;
    printf("%llu files: %llu ok, %llu failed, %llu missing, %llu new\n", total,
           static_cast<unsigned long long>(counts.ok), static_cast<unsigned long long>(counts.failed),
           static_cast<unsigned long long>(counts.missing), static_cast<unsigned long long>(counts.fresh));

    mem_free(read_buffer);
    read_buffer = nullptr;
    mem_free(long_path_buffer);
    long_path_buffer = nullptr;
    mem_free(top_path);
    return counts.failed || counts.missing ? 1 : 0;
}
