#include "platform.h"
#include "run_job.h"

int main(int argc, char** argv)
{
    plat_start(argc, argv);
    run_job();
    return 0;
}
