#include "check_job.h"
#include "platform.h"

int main(int argc, char** argv)
{
    plat_start(argc, argv);
    return check_job();
}
