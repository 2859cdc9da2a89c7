// The whole run, from the banner to the throughput line.
#pragma once
#include <cstdint>

// Runs quillmar over the command line's folder; returns when the run ended
// normally, otherwise ends the process with the failure's code.
void run_job();
// The throughput in whole megabytes per whole second, from the byte total and
// the tick counts at each end (the counter may wrap once); false when fewer
// than 1 MiB was read or less than a second passed, so no line is printed.
bool throughput(uint64_t total_bytes, uint32_t start_ticks, uint32_t end_ticks, int32_t* mb_per_s);
