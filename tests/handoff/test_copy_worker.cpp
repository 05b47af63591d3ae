// The hand-off between the main thread and the copy worker, with counting jobs in place of
// the real ones: no accepted job command may be lost or run twice, however quickly they come.
#include <doctest.h>

#include <windows.h>

#include <atomic>
#include <string>

#include "driver/ui_driver.h"
#include "engine/jobs.h"
#include "shell/copy_worker.h"

namespace {
struct FakeJobs {
    std::atomic<uint32_t> splits{0};
    std::atomic<uint32_t> reassembles{0};
    char order[64] = "";
    std::atomic<uint32_t> order_length{0};
};
FakeJobs g_fake;

void note(char c)
{
    const uint32_t i = g_fake.order_length.fetch_add(1);
    if (i + 1 < sizeof g_fake.order)
        g_fake.order[i] = c;
}

// The worker has suspended itself: the only suspended thread besides this one.
bool worker_asleep()
{
    return drv::has_suspended_thread(GetCurrentProcessId(), GetCurrentThreadId());
}

bool wait_idle()
{
    return drv::wait_until([] { return !copy_worker_busy() && worker_asleep(); });
}

// What the main window does with a job command: drop it while busy, else hand it over.
bool job_command(bool split)
{
    if (copy_worker_busy())
        return false;
    request_jobs(split, !split);
    return true;
}
} // namespace

void split_job()
{
    ++g_fake.splits;
    note('S');
}

void reassemble_job()
{
    ++g_fake.reassembles;
    note('R');
}

TEST_CASE("copy worker: without a worker a job command runs nothing")
{
    // As on a start-up that failed before making the worker, whose error box still serves
    // the main window's menu.
    request_jobs(true, false);
    request_jobs(false, true);
    CHECK_FALSE(copy_worker_busy());
    CHECK(copy_worker_passes() == 0u);
}

TEST_CASE("copy worker: created suspended, nothing runs before a command")
{
    REQUIRE(create_copy_worker());
    CHECK(worker_asleep());
    CHECK_FALSE(copy_worker_busy());
    CHECK(copy_worker_passes() == 0u);
    CHECK(g_fake.splits.load() + g_fake.reassembles.load() == 0u);
}

TEST_CASE("copy worker: every accepted command runs its job exactly once, however quickly they come")
{
    {
        // Back-to-back commands land right after the worker clears the busy flag, often
        // before it has suspended itself: the window in which a plain resume is lost.
        uint32_t accepted_splits = 0, accepted_reassembles = 0;
        for (int i = 0; i < 3000; ++i) {
            const bool split = (i % 3) != 0;
            if (job_command(split))
                ++(split ? accepted_splits : accepted_reassembles);
        }
        REQUIRE(wait_idle());
        CHECK(accepted_splits + accepted_reassembles > 100);
        CHECK(g_fake.splits.load() == accepted_splits);
        CHECK(g_fake.reassembles.load() == accepted_reassembles);
        CHECK(copy_worker_passes() == accepted_splits + accepted_reassembles);
    }

}

TEST_CASE("copy worker: both requests found at one wake-up run split first, then re-assemble")
{
    {
        g_fake.order_length = 0;
        request_jobs(true, true);
        REQUIRE(wait_idle());
        CHECK(std::string(g_fake.order, g_fake.order_length.load()) == "SR");
        // The requests were cleared: a later pass with a single request runs only that job.
        g_fake.order_length = 0;
        request_jobs(false, true);
        REQUIRE(wait_idle());
        CHECK(std::string(g_fake.order, g_fake.order_length.load()) == "R");
    }
    stop_copy_worker();
}
