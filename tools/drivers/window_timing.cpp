// Timing of a running job for the bench (see window_timing.h).
#include "window_timing.h"

#include <psapi.h>

namespace tools {

double precise_ms()
{
    LARGE_INTEGER frequency, now;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&now);
    return static_cast<double>(now.QuadPart) * 1000.0 / static_cast<double>(frequency.QuadPart);
}

uint64_t peak_working_set(const drv::Program& app)
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

void WindowTiming::poll(const drv::Program& app)
{
    if (shown && !IsWindowVisible(shown)) {
        window_ms += precise_ms() - shown_at;
        shown = nullptr;
    }
    if (!shown && (shown = app.progress_window()) != nullptr) {
        shown_at = precise_ms();
        if (windows++ == 0)
            first_window_at = shown_at;
    }
}

double WindowTiming::since_first_window() const
{
    return windows ? precise_ms() - first_window_at : 0;
}

} // namespace tools
