// Both job requests set at one wake-up of the copy worker: the real split runs first, then
// the real re-assemble, in the one pass. Each job is recognised by its first chooser, which
// a watcher thread cancels (a cancelled source chooser ends a job without a box).
#include <doctest.h>

#include <windows.h>

#include <atomic>
#include <string>
#include <vector>

#include "shell/copy_worker.h"
#include "shell/startup.h"

namespace {
const char* const kTitles[] = {"Copy To Floppies: Select Source File",
                               "Copy From Floppies: Select Source File"};

struct Watch {
    std::vector<std::string> seen;
    std::atomic<bool> done{false};
};

DWORD WINAPI cancel_choosers(LPVOID param)
{
    auto* watch = static_cast<Watch*>(param);
    const DWORD give_up = GetTickCount() + 30000;
    while (watch->seen.size() < 2 && GetTickCount() < give_up) {
        for (const char* title : kTitles) {
            HWND chooser = FindWindowA("#32770", title);
            if (!chooser || !IsWindowVisible(chooser))
                continue;
            watch->seen.push_back(title);
            PostMessageA(chooser, WM_COMMAND, IDCANCEL, 0);
            while (IsWindow(chooser) && IsWindowVisible(chooser) && GetTickCount() < give_up)
                Sleep(10);
        }
        Sleep(10);
    }
    watch->done = true;
    return 0;
}

// The choosers are owned by the main window, so the main thread keeps dispatching.
bool pump_until(const std::atomic<bool>& flag, DWORD timeout_ms)
{
    const DWORD start = GetTickCount();
    while (!flag) {
        if (GetTickCount() - start >= timeout_ms)
            return false;
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
        Sleep(5);
    }
    return true;
}
}  // namespace

TEST_CASE("both requests at one wake-up: split first, then re-assemble, in one pass")
{
    REQUIRE(run_startup(GetModuleHandleA(nullptr)) == kStartupOk);
    Watch watch;
    HANDLE watcher = CreateThread(nullptr, 0, cancel_choosers, &watch, 0, nullptr);
    REQUIRE(watcher);
    const uint32_t passes_before = copy_worker_passes();

    request_jobs(true, true);
    // The watcher gives up after 30 s of its own.
    CHECK(pump_until(watch.done, 40000));
    CHECK(WaitForSingleObject(watcher, 5000) == WAIT_OBJECT_0);
    CloseHandle(watcher);

    CHECK(watch.seen == std::vector<std::string>{kTitles[0], kTitles[1]});
    for (int i = 0; i < 500 && copy_worker_busy(); ++i)
        Sleep(10);
    CHECK_FALSE(copy_worker_busy());
    CHECK(copy_worker_passes() == passes_before + 1);
    run_shutdown();
}
