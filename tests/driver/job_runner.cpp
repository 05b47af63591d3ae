// Whole jobs of the real program, driven from outside (see job_runner.h).
#include "driver/job_runner.h"

#include <psapi.h>

#include "resources/resource.h"

namespace drv {

namespace {

constexpr DWORD kJobBoxTimeout = 10 * 60 * 1000;  // a 1 GiB piece on a slow machine
// Fine enough to time a piece, coarse enough that the watching costs the program little.
constexpr DWORD kWindowPollStep = 5;
constexpr unsigned kBoxPollsWhileShown = 20;
const std::string kComplete = "Copy Complete!";
const std::string kCancelled = "Copy Cancelled By User!";

// Waits for the next box, timing the progress windows meanwhile. The jobs' questions come
// between pieces; only an error box comes while a progress window shows, so with one shown
// boxes are looked for less often.
bool next_box(Program& app, JobRun& run, Box& box)
{
    const DWORD start = GetTickCount();
    HWND shown = nullptr;
    double shown_at = 0;
    for (unsigned poll = 0;; ++poll) {
        if (shown && !IsWindowVisible(shown)) {
            run.window_ms += precise_ms() - shown_at;
            shown = nullptr;
        }
        if (!shown && (shown = app.progress_window()) != nullptr) {
            shown_at = precise_ms();
            if (run.windows++ == 0)
                run.first_window_at = shown_at;
        }
        if ((!shown || poll % kBoxPollsWhileShown == 0) && app.wait_box(box, 0, false))
            return true;
        if (GetTickCount() - start >= kJobBoxTimeout)
            return false;
        Sleep(kWindowPollStep);
    }
}

// Answers boxes until the closing note.
bool answer_until_closing_note(Program& app, const BoxHook& hook, JobRun& run)
{
    for (;;) {
        Box box;
        if (!next_box(app, run, box))
            return false;
        const bool closing = box.text == kComplete || box.text == kCancelled;
        if (closing) {
            run.job_ms = run.windows ? precise_ms() - run.first_window_at : 0;
            run.completed = box.text == kComplete;
            run.peak_working_set = peak_working_set(app);
        }
        const int button = hook(box);
        app.answer(box, button);
        run.boxes.push_back(box);
        if (closing)
            return true;
    }
}

} // namespace

int answer_ok(const Box&)
{
    return IDOK;
}

bool run_split(Program& app, const std::string& source, const std::string& destination,
               const BoxHook& hook, JobRun& run)
{
    app.command(IDM_COPY_TO_FLOPPIES);
    if (!app.choose_file("Copy To Floppies: Select Source File", source) ||
        !app.choose_file("Copy To Floppies: Select Destination File", destination))
        return false;
    return answer_until_closing_note(app, hook, run);
}

bool run_reassemble(Program& app, const std::string& first_piece, const std::string& destination,
                    const BoxHook& hook, JobRun& run)
{
    app.command(IDM_REASSEMBLE);
    if (!app.choose_file("Copy From Floppies: Select Source File", first_piece) ||
        !app.choose_file("Copy From Floppies: Select Destination File", destination))
        return false;
    return answer_until_closing_note(app, hook, run);
}

HWND wait_transfer_started(Program& app, const std::string& written_file, DWORD timeout_ms)
{
    HWND progress = nullptr;
    // The size comes from the folder entry: the job holds the file open without sharing.
    WIN32_FILE_ATTRIBUTE_DATA data;
    const bool started = wait_until(
        [&] {
            progress = app.progress_window();
            return progress &&
                   GetFileAttributesExA(written_file.c_str(), GetFileExInfoStandard, &data) &&
                   (data.nFileSizeLow != 0 || data.nFileSizeHigh != 0);
        },
        timeout_ms);
    return started ? progress : nullptr;
}

uint64_t peak_working_set(const Program& app)
{
    HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, app.process_id());
    if (!process)
        return 0;
    PROCESS_MEMORY_COUNTERS counters = {};
    counters.cb = sizeof counters;
    const bool ok = GetProcessMemoryInfo(process, &counters, sizeof counters) != 0;
    CloseHandle(process);
    return ok ? counters.PeakWorkingSetSize : 0;
}

bool set_capacity(Program& app, uint32_t bytes)
{
    app.command(IDM_MEDIA_CUSTOM);
    HWND box = app.wait_dialog("Input Box");
    if (!box)
        return false;
    const std::string text = std::to_string(bytes);
    SendMessageA(GetDlgItem(box, IDC_INPUT_EDIT), WM_SETTEXT, 0,
                 reinterpret_cast<LPARAM>(text.c_str()));
    PostMessageA(box, WM_COMMAND, IDOK, 0);
    return wait_until([&] { return !IsWindow(box); });
}

double precise_ms()
{
    LARGE_INTEGER frequency, now;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&now);
    return static_cast<double>(now.QuadPart) * 1000.0 / static_cast<double>(frequency.QuadPart);
}

} // namespace drv
