// The whole run of quillmar-check, from the banner to the summary line.
#pragma once

// Runs quillmar-check over the command line's folder; returns the exit code:
// 0 when nothing failed and nothing is missing, 1 otherwise. Other failures
// end the process with their own codes (2 usage, 4 a file that cannot be read).
int check_job();
