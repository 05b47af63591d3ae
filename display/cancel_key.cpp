// Keyboard and pacing on the copy worker, without a message loop.
//   flush_keyboard, poll_cancel_key, pause (see cancel_key.h)
#include "display/cancel_key.h"

#include <windows.h>

#include "display/progress_rules.h"

namespace {

// WM_KEYDOWN up to WM_SYSDEADCHAR: every key message the worker could have queued.
constexpr UINT kFirstKeyMessage = 256;
constexpr UINT kLastKeyMessage = 264;
constexpr UINT kFlushQuietMilliseconds = 400;

bool remove_key_message()
{
    MSG msg;
    return PeekMessageA(&msg, nullptr, kFirstKeyMessage, kLastKeyMessage,
                        PM_REMOVE | PM_NOYIELD) != 0;
}

} // namespace

void flush_keyboard()
{
    // A held key keeps auto-repeating; only a quiet spell proves the user let go.
    do {
        while (remove_key_message()) {
        }
        pause(kFlushQuietMilliseconds);
    } while (remove_key_message());
}

bool poll_cancel_key()
{
    // Only key-downs are taken; whatever queues behind an Esc stays for the next poll.
    MSG msg;
    while (PeekMessageA(&msg, nullptr, WM_KEYDOWN, WM_KEYDOWN, PM_REMOVE)) {
        if (msg.wParam == VK_ESCAPE)
            return true;
    }
    return false;
}

void pause(uint32_t milliseconds)
{
    // Asleep, a wait costs no processor time; and Sleep, unlike a message wait, neither
    // pumps nor dispatches, so the worker's queue stays as it was. The tick count, read
    // between short slices, decides the end, so the pause keeps its length to the tick.
    const uint32_t start = GetTickCount();
    for (uint32_t slice = pause_slice(start, start, milliseconds); slice != 0;
         slice = pause_slice(start, GetTickCount(), milliseconds))
        Sleep(slice);
}
