// The copy worker thread, the three job flags and the hand-off between the threads.
//   create_copy_worker, stop_copy_worker, copy_worker_busy, request_jobs, copy_worker_passes (see copy_worker.h)
//
// The flags are written by one thread each way: the main thread only sets requests (and only
// while it reads busy as 0); the worker alone writes busy and clears the requests, requests
// before busy. std::atomic keeps them plain 32-bit words without locks and without a data race.
#include "shell/copy_worker.h"

#include <windows.h>

#include <atomic>

#include "engine/jobs.h"

namespace {

struct JobState {
    std::atomic<uint32_t> busy{0};
    std::atomic<uint32_t> split_request{0};
    std::atomic<uint32_t> reassemble_request{0};
    // Counts the worker's wake-ups, so that a job command can wait until its wake-up has
    // begun; without it two quick commands could fold into one pass.
    std::atomic<uint32_t> passes{0};
    HANDLE thread = nullptr;
};
JobState g_jobs;

static_assert(sizeof(std::atomic<uint32_t>) == 4, "job flags are 32-bit words");

DWORD WINAPI copy_worker_proc(LPVOID)
{
    for (;;) {
        g_jobs.busy.store(1);
        g_jobs.passes.fetch_add(1);
        if (g_jobs.split_request.load())
            split_job();
        if (g_jobs.reassemble_request.load())
            reassemble_job();
        g_jobs.split_request.store(0);
        g_jobs.reassemble_request.store(0);
        g_jobs.busy.store(0);
        SuspendThread(GetCurrentThread());
    }
}

// Wakes the worker for one pass. ResumeThread on a thread that is still running does
// nothing, and the worker may be between clearing busy and suspending itself: then keep
// trying until it has suspended, so the request is not left waiting for the next command.
void wake_worker()
{
    const uint32_t passes_before = g_jobs.passes.load();
    const DWORD give_up = GetTickCount() + 5000;
    while (ResumeThread(g_jobs.thread) == 0) {
        if (static_cast<int32_t>(GetTickCount() - give_up) > 0)
            return;
        Sleep(0);
    }
    // The command returns only once its pass has begun (busy is set), so a command that
    // follows sees either a running job (and is dropped) or a finished one.
    while (g_jobs.passes.load() == passes_before) {
        if (static_cast<int32_t>(GetTickCount() - give_up) > 0)
            return;
        Sleep(0);
    }
}

} // namespace

bool create_copy_worker()
{
    DWORD id = 0;
    g_jobs.thread = CreateThread(nullptr, 0, copy_worker_proc, nullptr, CREATE_SUSPENDED, &id);
    if (!g_jobs.thread)
        return false;
    SetThreadPriority(g_jobs.thread, THREAD_PRIORITY_NORMAL);
    return true;
}

void stop_copy_worker()
{
    if (!g_jobs.thread)
        return;
    SuspendThread(g_jobs.thread);
    CloseHandle(g_jobs.thread);
    g_jobs.thread = nullptr;
}

bool copy_worker_busy()
{
    return g_jobs.busy.load() != 0;
}

void request_jobs(bool split, bool reassemble)
{
    // Without a worker (start-up failed before making it, and the failure box's own loop
    // still serves the menu) there is nothing to wake and nothing to wait for.
    if (!g_jobs.thread)
        return;
    if (split)
        g_jobs.split_request.store(1);
    if (reassemble)
        g_jobs.reassemble_request.store(1);
    wake_worker();
}

uint32_t copy_worker_passes()
{
    return g_jobs.passes.load();
}
