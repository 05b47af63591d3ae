// Times one job of the real program for tools/bench, driven through its real windows:
//   bench_driver split SOURCE DESTINATION CAPACITY
//   bench_driver join FIRST_PIECE DESTINATION
//   bench_driver loop SOURCE DESTINATION [extras]  - the platform's floor: the same block copy
//                    in this process, without the program; extras 1 adds a keyboard poll
//                    and a window repaint per block, as the jobs do
// Paths are Windows paths. Every question is answered OK at once (all pieces go to one
// folder, so no disk is really swapped). Prints one line of key=value figures; exit code 0
// only when the job ended with "Copy Complete!".
#include <cstdio>
#include <cstdlib>
#include <string>

#include "driver/job_runner.h"
#include "resources/resource.h"

namespace {

// One read and one write of at most 131,072 bytes at a time through one buffer, like the
// jobs' block loop, so the difference to the program is what the program adds.
int copy_loop(const char* source, const char* destination, bool extras)
{
    static char buffer[131072 + 256];
    HWND window = CreateWindowExA(0, "STATIC", "", WS_POPUP | WS_VISIBLE, 0, 0, 64, 64, nullptr,
                                  nullptr, nullptr, nullptr);
    const DWORD start = GetTickCount();
    HANDLE in = CreateFileA(source, GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    HANDLE out = CreateFileA(destination, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
    if (in == INVALID_HANDLE_VALUE || out == INVALID_HANDLE_VALUE)
        return 1;
    DWORD got = 0, put = 0;
    while (ReadFile(in, buffer, 131072, &got, nullptr) && got > 0) {
        if (!WriteFile(out, buffer, got, &put, nullptr) || put != got)
            return 1;
        if (extras) {
            MSG msg;
            UpdateWindow(window);
            while (PeekMessageA(&msg, nullptr, WM_KEYDOWN, WM_KEYDOWN, PM_REMOVE)) {
            }
        }
    }
    CloseHandle(in);
    CloseHandle(out);
    std::printf("job=loop completed=1 elapsed_ms=%lu\n", static_cast<unsigned long>(GetTickCount() - start));
    DestroyWindow(window);
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc >= 4 && std::string(argv[1]) == "loop")
        return copy_loop(argv[2], argv[3], argc >= 5 && std::atoi(argv[4]) != 0);
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
