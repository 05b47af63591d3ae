// The cancel-key poll, the keyboard flush and the pause on a worker thread's own queue,
// and a real Esc press reaching that queue through the focused progress window.
#include <doctest.h>

#include <vector>

#include "display/cancel_key.h"
#include "display/progress_window.h"
#include "display_test_support.h"
#include "driver/ui_driver.h"

namespace {

void post_key(UINT message, WPARAM key)
{
    PostThreadMessageA(GetCurrentThreadId(), message, key, 0);
}

// Key messages still queued for this thread, removed while reading; each as (message, key).
std::vector<std::pair<UINT, WPARAM>> drain_keys()
{
    std::vector<std::pair<UINT, WPARAM>> keys;
    MSG msg;
    while (PeekMessageA(&msg, nullptr, WM_KEYFIRST, WM_KEYLAST, PM_REMOVE))
        keys.emplace_back(msg.message, msg.wParam);
    return keys;
}

using Keys = std::vector<std::pair<UINT, WPARAM>>;

// User and kernel time of this whole process.
uint64_t process_cpu_ms()
{
    FILETIME created, exited, kernel, user;
    GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user);
    auto ms = [](const FILETIME& t) {
        return ((static_cast<uint64_t>(t.dwHighDateTime) << 32) | t.dwLowDateTime) / 10000;
    };
    return ms(kernel) + ms(user);
}

} // namespace

TEST_CASE("poll cancel key stops at Esc and leaves what follows queued")
{
    display_test::run_on_worker([] {
        drain_keys();
        post_key(WM_KEYDOWN, 'A');
        post_key(WM_KEYDOWN, VK_ESCAPE);
        post_key(WM_KEYDOWN, 'B');
        CHECK(poll_cancel_key());
        CHECK(drain_keys() == Keys{{WM_KEYDOWN, 'B'}});

        post_key(WM_KEYDOWN, 'A');
        post_key(WM_KEYDOWN, 'B');
        CHECK_FALSE(poll_cancel_key());
        CHECK(drain_keys().empty());

        CHECK_FALSE(poll_cancel_key());  // nothing queued at all
    });
}

// The harness itself: a REQUIRE that fails on the worker thread must fail this case only,
// with the test program going on to the cases after it.
TEST_CASE("a failed REQUIRE on the worker thread fails its case, not the program" *
          doctest::should_fail())
{
    display_test::run_on_worker([] { REQUIRE(GetCurrentThreadId() == 0); });
}

TEST_CASE("poll cancel key never removes key-ups or characters")
{
    display_test::run_on_worker([] {
        drain_keys();
        post_key(WM_KEYUP, 'A');
        post_key(WM_CHAR, 'a');
        post_key(WM_KEYDOWN, 'C');
        post_key(WM_KEYUP, VK_ESCAPE);
        CHECK_FALSE(poll_cancel_key());
        CHECK(drain_keys() == Keys{{WM_KEYUP, 'A'}, {WM_CHAR, 'a'}, {WM_KEYUP, VK_ESCAPE}});
    });
}

// How long a flush or pause may take at most is the bench's affair: here only that it keeps
// its length, and what it leaves.
TEST_CASE("flush keyboard empties the queue and returns after a quiet 400 ms pause")
{
    display_test::run_on_worker([] {
        post_key(WM_KEYDOWN, VK_ESCAPE);
        post_key(WM_KEYUP, VK_ESCAPE);
        post_key(WM_SYSKEYDOWN, VK_MENU);
        PostThreadMessageA(GetCurrentThreadId(), WM_USER, 0, 0);
        const DWORD start = GetTickCount();
        flush_keyboard();
        CHECK(GetTickCount() - start >= 400);
        CHECK(drain_keys().empty());
        MSG msg;
        CHECK(PeekMessageA(&msg, nullptr, WM_USER, WM_USER, PM_REMOVE));  // not a key: kept
    });
}

TEST_CASE("flush keyboard keeps waiting while a key repeats")
{
    // A second thread plays the auto-repeat: a key-down every 50 ms for one second.
    struct Repeat {
        DWORD target = 0;
        DWORD last_post = 0;
        HANDLE first_posted = CreateEventA(nullptr, TRUE, FALSE, nullptr);
        static DWORD WINAPI run(void* p)
        {
            Repeat* r = static_cast<Repeat*>(p);
            for (int i = 0; i < 20; ++i) {
                PostThreadMessageA(r->target, WM_KEYDOWN, 'X', 0x40000001);
                r->last_post = GetTickCount();
                SetEvent(r->first_posted);
                Sleep(50);
            }
            return 0;
        }
    };
    display_test::run_on_worker([] {
        static Repeat repeat;
        repeat.target = GetCurrentThreadId();
        HANDLE thread = CreateThread(nullptr, 0, Repeat::run, &repeat, 0, nullptr);
        REQUIRE(WaitForSingleObject(repeat.first_posted, 10000) == WAIT_OBJECT_0);
        flush_keyboard();
        const DWORD end = GetTickCount();
        REQUIRE(WaitForSingleObject(thread, 10000) == WAIT_OBJECT_0);
        CloseHandle(thread);
        // It returned after the last key, and a quiet spell after it.
        CHECK(end - repeat.last_post >= 390);  // the tick count is coarse
        CHECK(drain_keys().empty());
    });
}

TEST_CASE("the pause keeps its length and, like the keyboard flush, sleeps: no processor time while they wait")
{
    display_test::run_on_worker([] {
        const uint64_t cpu_before = process_cpu_ms();
        pause(0);
        const DWORD start = GetTickCount();
        pause(300);
        CHECK(GetTickCount() - start >= 300);
        flush_keyboard();
        const DWORD waited = GetTickCount() - start;
        const uint64_t cpu = process_cpu_ms() - cpu_before;
        CHECK(waited >= 700);
        // A spin through 700 ms would cost far more than 50 ms even on a busy machine;
        // sleeping costs a few wake-ups. The process clock counts in 10 ms steps here.
        CHECK_MESSAGE(cpu <= 50, "processor time across a " << waited << " ms wait: " << cpu << " ms");
    }, drv::kDefaultTimeout);
}

TEST_CASE("Esc pressed by the user reaches the worker through the focused progress window")
{
    HWND main = display_test::create_main_window(640, 440);
    SetForegroundWindow(main);
    SetActiveWindow(main);
    REQUIRE(drv::wait_until([&] {
        display_test::pump_messages();
        return GetForegroundWindow() == main;
    }));
    CHECK(display_test::run_on_worker([] {
        show_progress(11);
        set_status("Writing: A:\\REPORT.DOC_1");
        flush_keyboard();
        SetFocus(progress_window());
        CHECK(GetFocus() == progress_window());

        // The keyboard as a user's: input injected into the system, not posted to a queue.
        INPUT keys[2] = {};
        keys[0].type = keys[1].type = INPUT_KEYBOARD;
        keys[0].ki.wVk = keys[1].ki.wVk = VK_ESCAPE;
        keys[1].ki.dwFlags = KEYEVENTF_KEYUP;
        CHECK(SendInput(2, keys, sizeof(INPUT)) == 2);

        // The job's loop, until the key arrives or the usual limit is up.
        CHECK(drv::wait_until([] {
            UpdateWindow(progress_window());
            progress_step();
            return poll_cancel_key();
        }));
        close_progress();
        flush_keyboard();
    }));
    display_test::destroy_main_window();
}
