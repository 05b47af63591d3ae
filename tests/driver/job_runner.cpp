// Whole jobs of the real program, driven from outside (see job_runner.h).
#include "driver/job_runner.h"

#include "resources/resource.h"

namespace drv {

namespace {

// Fine enough to time a piece, coarse enough that the watching costs the program little.
constexpr DWORD kPollStep = 5;
constexpr unsigned kBoxPollsWhileShown = 20;
const std::string kComplete = "Copy Complete!";
const std::string kCancelled = "Copy Cancelled By User!";
const char kSplitSource[] = "Copy To Floppies: Select Source File";
const char kSplitDestination[] = "Copy To Floppies: Select Destination File";
const char kJoinSource[] = "Copy From Floppies: Select Source File";
const char kJoinDestination[] = "Copy From Floppies: Select Destination File";

// A job that ends without a closing note leaves no box up and its worker suspended.
bool ended_without_box(Program& app)
{
    return app.idle() && app.dialogs().empty();
}

enum class Next { box, ended, failed };

// Waits for the next box. The jobs' questions come between pieces; only an error box comes
// while a progress window shows, so with one shown boxes are looked for less often, and the
// job cannot have ended.
Next next_box(Program& app, JobRun& run, Box& box, DWORD box_timeout)
{
    const DWORD start = GetTickCount();
    for (unsigned poll = 0;; ++poll) {
        if (run.on_poll)
            run.on_poll();
        const bool shown = app.progress_window() != nullptr;
        const bool look = !shown || poll % kBoxPollsWhileShown == 0;
        if (look && app.wait_box(box, 0, false))
            return Next::box;
        if (!shown && poll % kBoxPollsWhileShown == 0 && ended_without_box(app))
            return Next::ended;
        if (!app.running() || GetTickCount() - start >= box_timeout)
            return Next::failed;
        Sleep(kPollStep);
    }
}

// Answers boxes until the job ends, with a closing note or without one.
bool answer_until_end(Program& app, const BoxHook& hook, JobRun& run, DWORD box_timeout)
{
    for (;;) {
        Box box;
        const Next next = next_box(app, run, box, box_timeout);
        if (next != Next::box)
            return next == Next::ended;
        const bool closing = box.text == kComplete || box.text == kCancelled;
        if (closing) {
            run.completed = box.text == kComplete;
            run.closing_note = true;
        }
        const int button = hook(box);
        app.answer(box, button);
        run.boxes.push_back(box);
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
    return answer_until_end(app, hook, run, box_timeout);
}

bool run_reassemble(Program& app, const std::string& first_piece, const std::string& destination,
                    const BoxHook& hook, JobRun& run, DWORD box_timeout,
                    const ChooserHook& chooser_hook)
{
    if (!start_job(app, IDM_REASSEMBLE) ||
        !app.choose_file(kJoinSource, first_piece, kDefaultTimeout, chooser_hook) ||
        !choose_destination(app, kJoinDestination, destination, chooser_hook))
        return false;
    return answer_until_end(app, hook, run, box_timeout);
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
