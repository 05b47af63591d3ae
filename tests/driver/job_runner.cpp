// Whole jobs of the real program, driven from outside (see job_runner.h).
#include "driver/job_runner.h"

#include <psapi.h>

#include "resources/resource.h"

namespace drv {

namespace {

constexpr DWORD kJobBoxTimeout = 10 * 60 * 1000;  // a 1 GiB piece on a slow machine
const std::string kComplete = "Copy Complete!";
const std::string kCancelled = "Copy Cancelled By User!";
const std::string kDiskCountPrefix = "Total Number Of Pre-Formatted Disks Required = ";

// Answers boxes until the closing note. `start_on_disk_count`: the copying starts when
// the disk count question is answered (split); otherwise it has started already.
bool answer_until_closing_note(Program& app, const BoxHook& hook, JobRun& run,
                               bool start_on_disk_count)
{
    for (;;) {
        Box box;
        if (!app.wait_box(box, kJobBoxTimeout, false))
            return false;
        const bool closing = box.text == kComplete || box.text == kCancelled;
        if (closing) {
            run.transfer_end = GetTickCount();
            run.completed = box.text == kComplete;
            run.peak_working_set = peak_working_set(app);
        }
        const int button = hook(box);
        app.answer(box, button);
        run.boxes.push_back(box);
        if (start_on_disk_count && box.text.rfind(kDiskCountPrefix, 0) == 0)
            run.transfer_start = GetTickCount();
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
               const BoxHook& hook, JobRun& run, const ChooserHook& chooser_hook)
{
    app.command(IDM_COPY_TO_FLOPPIES);
    if (!app.choose_file("Copy To Floppies: Select Source File", source, kDefaultTimeout,
                         chooser_hook) ||
        !app.choose_file("Copy To Floppies: Select Destination File", destination,
                         kDefaultTimeout, chooser_hook))
        return false;
    return answer_until_closing_note(app, hook, run, true);
}

bool run_reassemble(Program& app, const std::string& first_piece, const std::string& destination,
                    const BoxHook& hook, JobRun& run, const ChooserHook& chooser_hook)
{
    app.command(IDM_REASSEMBLE);
    if (!app.choose_file("Copy From Floppies: Select Source File", first_piece, kDefaultTimeout,
                         chooser_hook) ||
        !app.choose_file("Copy From Floppies: Select Destination File", destination,
                         kDefaultTimeout, chooser_hook))
        return false;
    run.transfer_start = GetTickCount();
    return answer_until_closing_note(app, hook, run, false);
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

} // namespace drv
