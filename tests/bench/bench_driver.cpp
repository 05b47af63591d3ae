// Times one job of the real program for tools/bench, driven through its real windows:
//   bench_driver split SOURCE DESTINATION CAPACITY
//   bench_driver join FIRST_PIECE DESTINATION
// Paths are Windows paths. Every question is answered OK at once (all pieces go to one
// folder, so no disk is really swapped). Prints one line of key=value figures; exit code 0
// only when the job ended with "Copy Complete!".
#include <cstdio>
#include <cstdlib>
#include <string>

#include "driver/job_runner.h"
#include "resources/resource.h"

int main(int argc, char** argv)
{
    if (argc < 4 || (std::string(argv[1]) == "split" && argc < 5)) {
        std::fprintf(stderr, "usage: bench_driver split SOURCE DEST CAPACITY | join PIECE_1 DEST\n");
        return 2;
    }
    const std::string job = argv[1];
    drv::Program app;
    if (!app.start()) {
        std::fprintf(stderr, "bench_driver: the program did not start\n");
        return 1;
    }
    drv::JobRun run;
    bool ran = false;
    if (job == "split") {
        if (!drv::set_capacity(app, static_cast<uint32_t>(std::strtoul(argv[4], nullptr, 10))))
            return 1;
        ran = drv::run_split(app, argv[2], argv[3], drv::answer_ok, run);
    } else {
        ran = drv::run_reassemble(app, argv[2], argv[3], drv::answer_ok, run);
    }
    unsigned pieces = 0;
    for (const auto& box : run.boxes)
        pieces += box.text == "Insert Next Disk!" ? 1 : 0;
    ++pieces;
    std::printf("job=%s completed=%d pieces=%u elapsed_ms=%lu peak_working_set=%llu\n", job.c_str(),
                ran && run.completed ? 1 : 0, pieces,
                static_cast<unsigned long>(run.transfer_end - run.transfer_start),
                static_cast<unsigned long long>(run.peak_working_set));
    app.command(IDM_EXIT);
    app.wait_exit(10000);
    return ran && run.completed ? 0 : 1;
}
