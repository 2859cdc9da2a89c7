#include "run_job.h"
#include <cstdio>
#include "command_line.h"
#include "crc32.h"
#include "lanes.h"
#include "support.h"
#include "walker.h"

bool throughput(uint64_t total_bytes, uint32_t start_ticks, uint32_t end_ticks, int32_t* mb_per_s)
{
    uint64_t megabytes = total_bytes >> 20;
    if (megabytes == 0)
        return false;
    uint32_t seconds = static_cast<uint32_t>(end_ticks - start_ticks) / 1000u;
    if (seconds == 0)
        return false;
    *mb_per_s = static_cast<int32_t>(megabytes / seconds);
    return true;
}

void run_job()
{
    fputs(banner_text, stdout);
    uint32_t start_ticks = plat_ticks();
    pchar* top_path = static_cast<pchar*>(mem_alloc(string_units * sizeof(pchar)));
    long_path_buffer = static_cast<pchar*>(mem_alloc(string_units * sizeof(pchar)));
    int count = 0;
    pchar** argv = plat_arguments(&count);
    parse_command_line(argv, count, top_path);

    start_lanes();
    read_buffer = static_cast<uint8_t*>(mem_alloc(static_cast<uint32_t>(settings.opt_bufsize)));
    crc32_build_table();
    const pchar* top_name = find_top_name(top_path);

    to_long_path(top_path, long_path_buffer);
    plat_handle top = plat_folder_open({nullptr, long_path_buffer, long_path_buffer});
    plat_time saved;
    bool time_read = top != invalid_handle && plat_get_write_time(top, &saved);

    hash_folder(top_path, top_name);

    if (top != invalid_handle) {
        if (time_read && !plat_set_write_time(top, saved))
            fputs("FAILED TO SET FILETIME\n", stdout);
        plat_folder_close(top);
    }
    stop_lanes();

    int32_t rate;
    if (throughput(total_bytes, start_ticks, plat_ticks(), &rate))
        printf("%d MB/s\n", rate);

    mem_free(read_buffer);
    read_buffer = nullptr;
    mem_free(long_path_buffer);
    long_path_buffer = nullptr;
    mem_free(top_path);
}
