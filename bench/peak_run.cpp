// Runs a command and writes "<wall seconds> <peak RSS KiB> <exit code>" to a
// result file. A small launcher, so the peak it reports is the command's own:
// a child forked from a large process (Python) starts with that process's
// resident size, which the kernel's high-water mark keeps across exec.
// Usage: peak_run <result-file> <program> [arguments...]
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>
#include <cstdio>

static double now_seconds()
{
    struct timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

int main(int argc, char** argv)
{
    if (argc < 3) {
        fputs("usage: peak_run <result-file> <program> [arguments...]\n", stderr);
        return 2;
    }
    double start = now_seconds();
    pid_t child = fork();
    if (child < 0)
        return 2;
    if (child == 0) {
        execvp(argv[2], argv + 2);
        _exit(127);
    }
    int status = 0;
    struct rusage usage;
    if (wait4(child, &status, 0, &usage) != child)
        return 2;
    double wall = now_seconds() - start;
    FILE* out = fopen(argv[1], "w");
    if (!out)
        return 2;
    int code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    fprintf(out, "%.6f %ld %d\n", wall, usage.ru_maxrss, code);
    fclose(out);
    return 0;
}
