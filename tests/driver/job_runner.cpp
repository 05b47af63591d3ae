// Whole jobs of the real program, driven from outside (see job_runner.h).
#include "driver/job_runner.h"

#include <psapi.h>

#include "resources/resource.h"

namespace drv {

namespace {

constexpr DWORD kBoxPoll = 200;
const std::string kComplete = "Copy Complete!";
const std::string kCancelled = "Copy Cancelled By User!";
const std::string kDiskCountPrefix = "Total Number Of Pre-Formatted Disks Required = ";
const char kSplitSource[] = "Copy To Floppies: Select Source File";
const char kSplitDestination[] = "Copy To Floppies: Select Destination File";
const char kJoinSource[] = "Copy From Floppies: Select Source File";
const char kJoinDestination[] = "Copy From Floppies: Select Destination File";

// A job that ends without a closing note leaves no box up and its worker suspended.
bool ended_without_box(Program& app)
{
    return app.idle() && app.dialogs().empty();
}

// Answers boxes until the job ends. `start_on_disk_count`: the copying starts when the
// disk count question is answered (split); otherwise it has started already.
bool answer_until_end(Program& app, const BoxHook& hook, JobRun& run, bool start_on_disk_count,
                      DWORD box_timeout)
{
    for (;;) {
        Box box;
        const DWORD waiting_since = GetTickCount();
        while (!app.wait_box(box, kBoxPoll, false)) {
            if (ended_without_box(app))
                return true;
            if (!app.running() || GetTickCount() - waiting_since >= box_timeout)
                return false;
        }
        const bool closing = box.text == kComplete || box.text == kCancelled;
        if (closing) {
            run.transfer_end = GetTickCount();
            run.completed = box.text == kComplete;
            run.closing_note = true;
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

// After the source chooser comes either the destination chooser, or a box about the source
// (the job may end with it).
bool choose_destination(Program& app, const char* title, const std::string& destination,
                        const ChooserHook& chooser_hook)
{
    HWND chooser = nullptr;
    Box box;
    const bool settled = wait_until([&] {
        chooser = app.wait_dialog(title, 0);
        return chooser || app.wait_box(box, 0, false) || ended_without_box(app);
    });
    if (!settled)
        return false;
    return !chooser || app.choose_file(title, destination, kDefaultTimeout, chooser_hook);
}

} // namespace

int answer_ok(const Box&)
{
    return IDOK;
}

bool start_job(Program& app, UINT command, DWORD timeout_ms)
{
    // A command that comes while the previous job winds down is dropped, as the user's
    // would be: wait until the menu takes it, and give it once.
    if (!app.wait_idle(timeout_ms))
        return false;
    app.command(command);
    return app.wait_dialog(command == IDM_REASSEMBLE ? kJoinSource : kSplitSource, timeout_ms) !=
           nullptr;
}

bool run_split(Program& app, const std::string& source, const std::string& destination,
               const BoxHook& hook, JobRun& run, DWORD box_timeout,
               const ChooserHook& chooser_hook)
{
    if (!start_job(app, IDM_COPY_TO_FLOPPIES) ||
        !app.choose_file(kSplitSource, source, kDefaultTimeout, chooser_hook) ||
        !choose_destination(app, kSplitDestination, destination, chooser_hook))
        return false;
    return answer_until_end(app, hook, run, true, box_timeout);
}

bool run_reassemble(Program& app, const std::string& first_piece, const std::string& destination,
                    const BoxHook& hook, JobRun& run, DWORD box_timeout,
                    const ChooserHook& chooser_hook)
{
    if (!start_job(app, IDM_REASSEMBLE) ||
        !app.choose_file(kJoinSource, first_piece, kDefaultTimeout, chooser_hook) ||
        !choose_destination(app, kJoinDestination, destination, chooser_hook))
        return false;
    run.transfer_start = GetTickCount();
    return answer_until_end(app, hook, run, false, box_timeout);
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
