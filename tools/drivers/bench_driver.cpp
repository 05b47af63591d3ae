// Times one job of the real program for tools/bench, driven through its real windows:
//   bench_driver split SOURCE DESTINATION CAPACITY
//   bench_driver join FIRST_PIECE DESTINATION
//   bench_driver esc split SOURCE DESTINATION CAPACITY - Esc latency: a real key press once
//   bench_driver esc join FIRST_PIECE DESTINATION        the first piece is under way, to its
//                                                        progress window's closing
//   bench_driver loop SOURCE DESTINATION [extras]  - the same block copy in this process,
//                    without the program; extras 1 adds a repaint and a keyboard poll per
//                    block, as the program once did
//   bench_driver read SOURCE  - the same reads alone, as a check or a read-back makes them
//   bench_driver crc [BYTES]  - both CRC-32 paths of the program (engine/crc32.cpp) timed
//                    over BYTES (1 GiB), one transfer block at a time
// Paths are Windows paths. Every question is answered OK at once (all pieces go to one
// folder, so no disk is really swapped). Prints one line of key=value figures; exit code 0
// only when the job ended as it should (complete, or cancelled for esc).
#include <cstdio>
#include <cstdlib>
#include <string>

#include "driver/job_runner.h"
#include "engine/crc32.h"
#include "resources/resource.h"
#include "window_timing.h"

namespace {

constexpr DWORD kJobTimeout = 10 * 60 * 1000;

// One read and one write of at most 131,072 bytes at a time through one buffer, like the
// jobs' block loop, so the difference to the program is what the program adds.
int copy_loop(const char* source, const char* destination, bool extras)
{
    static char buffer[131072 + 256];
    HWND window = CreateWindowExA(0, "STATIC", "", WS_POPUP | WS_VISIBLE, 0, 0, 64, 64, nullptr,
                                  nullptr, nullptr, nullptr);
    const double start = tools::precise_ms();
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
    std::printf("job=loop completed=1 elapsed_ms=%.0f\n", tools::precise_ms() - start);
    DestroyWindow(window);
    return 0;
}

// A read-only pass: what the split's check and every read-back cost besides their CRC.
int read_loop(const char* source)
{
    static char buffer[131072 + 256];
    const double start = tools::precise_ms();
    HANDLE in = CreateFileA(source, GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (in == INVALID_HANDLE_VALUE)
        return 1;
    DWORD got = 0;
    unsigned long long bytes = 0;
    while (ReadFile(in, buffer, 131072, &got, nullptr) && got > 0)
        bytes += got;
    CloseHandle(in);
    std::printf("job=read bytes=%llu elapsed_ms=%.0f\n", bytes, tools::precise_ms() - start);
    return 0;
}

// The CRC of one transfer block after another, as the jobs compute it: the block is in the
// cache, having just been read. Each path once over BYTES, after a short warm-up.
int crc_speed(uint64_t bytes)
{
    static uint8_t block[131072];
    uint32_t seed = 1;
    for (auto& byte : block) {
        seed = seed * 1103515245u + 12345u;
        byte = static_cast<uint8_t>(seed >> 23);
    }
    const uint64_t blocks = bytes / sizeof block;
    auto time_ms = [&](uint32_t (*crc)(uint32_t, const void*, size_t), uint32_t* value) {
        uint32_t c = 0;
        for (int i = 0; i < 64; ++i)
            c = crc(c, block, sizeof block);
        const double start = tools::precise_ms();
        for (uint64_t i = 0; i < blocks; ++i)
            c = crc(c, block, sizeof block);
        *value = c;
        return tools::precise_ms() - start;
    };
    uint32_t table = 0, clmul = 0;
    const double table_ms = time_ms(crc32_table, &table);
    const bool usable = crc32_clmul_usable();
    const double clmul_ms = usable ? time_ms(crc32_clmul, &clmul) : 0;
    const bool same = !usable || table == clmul;
    std::printf("job=crc bytes=%llu clmul_usable=%d table_ms=%.1f clmul_ms=%.1f same=%d\n",
                static_cast<unsigned long long>(blocks * sizeof block), usable ? 1 : 0, table_ms,
                clmul_ms, same ? 1 : 0);
    return same ? 0 : 1;
}

bool start_job(drv::Program& app, bool split, char** paths)
{
    if (!split) {
        app.command(IDM_REASSEMBLE);
        return app.choose_file("Copy From Floppies: Select Source File", paths[0]) &&
               app.choose_file("Copy From Floppies: Select Destination File", paths[1]);
    }
    if (!drv::set_capacity(app, static_cast<uint32_t>(std::strtoul(paths[2], nullptr, 10))))
        return false;
    app.command(IDM_COPY_TO_FLOPPIES);
    if (!app.choose_file("Copy To Floppies: Select Source File", paths[0]) ||
        !app.choose_file("Copy To Floppies: Select Destination File", paths[1]))
        return false;
    drv::Box question;  // the disk count
    if (!app.wait_box(question, drv::kDefaultTimeout, false))
        return false;
    app.answer(question, IDOK);
    return true;
}

// From a real Esc press, given once blocks are moving, to the progress window's closing.
int escape_latency(drv::Program& app, bool split, char** paths)
{
    if (!start_job(app, split, paths))
        return 1;
    const std::string written = split ? std::string(paths[1]) + "_1" : std::string(paths[1]);
    HWND progress = drv::wait_transfer_started(app, written);
    if (!progress)
        return 1;
    const double pressed = tools::precise_ms();
    if (!app.press_key(VK_ESCAPE))
        return 1;
    while (IsWindowVisible(progress) && tools::precise_ms() - pressed < 10000)
        Sleep(1);
    const double latency = tools::precise_ms() - pressed;
    drv::Box note;
    const bool cancelled = app.wait_box(note, kJobTimeout, false) &&
                           note.text == "Copy Cancelled By User!";
    app.answer(note, IDOK);
    std::printf("job=esc-%s cancelled=%d latency_ms=%.1f\n", split ? "split" : "join",
                cancelled ? 1 : 0, latency);
    return cancelled ? 0 : 1;
}

int timed_job(drv::Program& app, bool split, char** paths)
{
    tools::WindowTiming timing;
    double job_ms = 0;
    uint64_t peak = 0;
    drv::JobRun run;
    run.on_poll = [&] { timing.poll(app); };
    // Every box is answered OK; the figures kept are those read at the last box, the
    // closing note, before it is answered.
    const auto read_and_answer = [&](const drv::Box&) {
        job_ms = timing.since_first_window();
        peak = tools::peak_working_set(app);
        return IDOK;
    };
    bool ran = false;
    if (split) {
        if (!drv::set_capacity(app, static_cast<uint32_t>(std::strtoul(paths[2], nullptr, 10))))
            return 1;
        ran = drv::run_split(app, paths[0], paths[1], read_and_answer, run);
    } else {
        ran = drv::run_reassemble(app, paths[0], paths[1], read_and_answer, run);
    }
    std::printf("job=%s completed=%d windows=%u job_ms=%.0f window_ms=%.0f peak_working_set=%llu\n",
                split ? "split" : "join", ran && run.completed ? 1 : 0, timing.windows, job_ms,
                timing.window_ms, static_cast<unsigned long long>(peak));
    return ran && run.completed ? 0 : 1;
}

int usage()
{
    std::fprintf(stderr, "usage: bench_driver [esc] split SOURCE DEST CAPACITY | [esc] join PIECE_1 DEST"
                         " | loop SOURCE DEST [extras] | read SOURCE | crc [BYTES]\n");
    return 2;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc >= 4 && std::string(argv[1]) == "loop")
        return copy_loop(argv[2], argv[3], argc >= 5 && std::atoi(argv[4]) != 0);
    if (argc >= 3 && std::string(argv[1]) == "read")
        return read_loop(argv[2]);
    if (argc >= 2 && std::string(argv[1]) == "crc")
        return crc_speed(argc >= 3 ? std::strtoull(argv[2], nullptr, 10) : 1ull << 30);
    const bool esc = argc >= 2 && std::string(argv[1]) == "esc";
    const int first = esc ? 2 : 1;
    if (argc < first + 3)
        return usage();
    const std::string job = argv[first];
    const bool split = job == "split";
    if ((!split && job != "join") || (split && argc < first + 4))
        return usage();

    drv::Program app;
    if (!app.start()) {
        std::fprintf(stderr, "bench_driver: the program did not start\n");
        return 1;
    }
    const int status = esc ? escape_latency(app, split, argv + first + 1)
                           : timed_job(app, split, argv + first + 1);
    app.command(IDM_EXIT);
    app.wait_exit(10000);
    return status;
}
