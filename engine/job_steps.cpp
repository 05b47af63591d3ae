// Steps shared by both jobs.
//   error_box, question_box, note_box, completion_ending, cancel_ending, repaint_main_window,
//   open_source, create_destination, close_source, close_destination, source_handle,
//   destination_handle, measure_source, seek_source, cut_destination, source_has_more,
//   disk_room, sector_size, flush_destination, begin_progress, restart_progress, end_progress,
//   move_blocks (see job_steps.h)
//   close_file, end_job, set_position, kernel_call, disk_geometry, free_bytes, show_status,
//   refresh_and_poll - helpers
#include "engine/job_steps.h"

#include "display/cancel_key.h"
#include "display/progress_rules.h"
#include "display/progress_window.h"
#include "engine/chooser_rules.h"
#include "engine/crc32.h"
#include "engine/job_texts.h"
#include "engine/piece_set.h"
#include "shell/program_state.h"

namespace {

constexpr uint32_t kPiecePause = 300;
constexpr UINT kErrorStyle = MB_TASKMODAL | MB_ICONERROR;
constexpr UINT kQuestionStyle = MB_TASKMODAL | MB_ICONINFORMATION | MB_OKCANCEL;
constexpr UINT kNoteStyle = MB_TASKMODAL | MB_ICONINFORMATION;
// "Verifying: " is the longest status prefix.
constexpr size_t kStatusSize = sizeof kVerifyingPrefix + kPieceNameSize;

// Open between a job's first open and its ending; none between jobs.
struct JobFiles {
    HANDLE source = INVALID_HANDLE_VALUE;
    HANDLE destination = INVALID_HANDLE_VALUE;
};
JobFiles g_files;

// False when the close failed; the handle is given up either way, since nothing better
// can be done with it.
bool close_file(HANDLE& handle)
{
    if (handle == INVALID_HANDLE_VALUE)
        return true;
    const bool closed = CloseHandle(handle) != 0;
    handle = INVALID_HANDLE_VALUE;
    return closed;
}

void end_job(const char* note)
{
    close_file(g_files.source);
    close_file(g_files.destination);
    close_progress();
    repaint_main_window();
    note_box(note);
}

bool set_position(HANDLE file, uint64_t offset)
{
    LONG high = static_cast<LONG>(offset >> 32);
    const DWORD low = SetFilePointer(file, static_cast<LONG>(offset & 0xFFFFFFFFu), &high,
                                     FILE_BEGIN);
    return low != INVALID_SET_FILE_POINTER || GetLastError() == NO_ERROR;
}

// Calls that came after Windows 95 and NT 4.0 are looked up, not imported: the loaders of
// the older Windows refuse to start a program that imports a call they lack.
template <typename Call>
Call kernel_call(const char* name)
{
    return reinterpret_cast<Call>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleA("KERNEL32.DLL"), name)));
}

struct Geometry {
    DWORD sectors_per_cluster = 0;
    DWORD bytes_per_sector = 0;
    DWORD free_clusters = 0;
};

// The drive's answer for the volume a path is on, its root in `root`; false when it gives none.
bool disk_geometry(const char* path, char (&root)[kPathTextSize], Geometry* geometry)
{
    if (!free_space_root(path, kernel_call<VolumePathFinder>("GetVolumePathNameA"), root,
                         sizeof root))
        return false;
    DWORD clusters = 0;
    return GetDiskFreeSpaceA(root, &geometry->sectors_per_cluster, &geometry->bytes_per_sector,
                             &geometry->free_clusters, &clusters) != 0;
}

// Windows 95, 98 and ME report at most 2 GiB free through the cluster counts, so a disk with
// more could never take a piece of 2 GiB or more; the later call tells the truth there. Only
// the first Windows 95 lacks it, and keeps that ceiling.
bool free_bytes(const char* root, const Geometry& geometry, uint64_t* free)
{
    using FreeSpaceEx = BOOL(WINAPI*)(LPCSTR, PULARGE_INTEGER, PULARGE_INTEGER, PULARGE_INTEGER);
    if (const auto free_space_ex = kernel_call<FreeSpaceEx>("GetDiskFreeSpaceExA")) {
        ULARGE_INTEGER available = {}, total = {}, total_free = {};
        if (!free_space_ex(root, &available, &total, &total_free))
            return false;
        *free = available.QuadPart;
        return true;
    }
    *free = static_cast<uint64_t>(geometry.free_clusters) * geometry.bytes_per_sector *
            geometry.sectors_per_cluster;
    return true;
}

void show_status(const char* status_prefix, const char* path)
{
    char status[kStatusSize];
    lstrcpynA(status, status_prefix, sizeof status);
    lstrcatA(status, path);
    set_status(status);
}

// Repaints the progress window if anything damaged it, then polls Esc; true on Esc.
bool refresh_and_poll(HWND progress)
{
    if (progress)
        UpdateWindow(progress);
    return poll_cancel_key();
}

} // namespace

void error_box(const char* text)
{
    MessageBoxA(g_program.main_window, text, nullptr, kErrorStyle);
}

bool question_box(const char* text, const char* caption)
{
    return MessageBoxA(g_program.main_window, text, caption, kQuestionStyle) != IDCANCEL;
}

void note_box(const char* text)
{
    MessageBoxA(g_program.main_window, text, kNoteCaption, kNoteStyle);
}

void completion_ending()
{
    // A written file whose close fails may not hold what was written: not complete.
    if (!close_destination()) {
        error_box(kTroubleWritingDestination);
        return cancel_ending();
    }
    end_job(kCopyComplete);
}

void cancel_ending()
{
    end_job(kCopyCancelled);
}

void repaint_main_window()
{
    UpdateWindow(g_program.main_window);
}

bool open_source(const char* path)
{
    g_files.source = INVALID_HANDLE_VALUE;
    g_files.source = CreateFileA(path, GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                 FILE_ATTRIBUTE_NORMAL, nullptr);
    return g_files.source != INVALID_HANDLE_VALUE;
}

bool create_destination(const char* path)
{
    g_files.destination = CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                      FILE_ATTRIBUTE_NORMAL, nullptr);
    return g_files.destination != INVALID_HANDLE_VALUE;
}

void close_source()
{
    close_file(g_files.source);
}

bool close_destination()
{
    return close_file(g_files.destination);
}

HANDLE source_handle()
{
    return g_files.source;
}

HANDLE destination_handle()
{
    return g_files.destination;
}

SourceSize measure_source()
{
    SourceSize size;
    // The high part too: a 32-bit seek alone would take a 4 GiB + 1 source for 1 byte.
    LONG high = 0;
    const DWORD low = SetFilePointer(g_files.source, 0, &high, FILE_END);
    // The error is read before the seek back can leave one of its own.
    size.measured = low != INVALID_SET_FILE_POINTER || GetLastError() == NO_ERROR;
    // Measuring leaves the source at its end: read from there, it would give no bytes.
    size.at_start = seek_source(0);
    if (size.measured)
        size.bytes = (static_cast<uint64_t>(static_cast<DWORD>(high)) << 32) | low;
    return size;
}

bool seek_source(uint64_t offset)
{
    return set_position(g_files.source, offset);
}

bool cut_destination(uint64_t length)
{
    return set_position(g_files.destination, length) && SetEndOfFile(g_files.destination);
}

bool source_has_more(bool* more)
{
    DWORD got = 0;
    if (!ReadFile(g_files.source, g_program.transfer_buffer, 1, &got, nullptr))
        return false;
    *more = got != 0;
    return true;
}

DiskRoom disk_room(const char* path)
{
    char root[kPathTextSize];
    Geometry geometry;
    DiskRoom room;
    uint64_t free = 0;
    if (disk_geometry(path, root, &geometry) && free_bytes(root, geometry, &free)) {
        room.free = free;
        room.cluster = geometry.sectors_per_cluster * geometry.bytes_per_sector;
    }
    return room;
}

uint32_t sector_size(const char* path)
{
    char root[kPathTextSize];
    Geometry geometry;
    return disk_geometry(path, root, &geometry) ? geometry.bytes_per_sector : 0;
}

bool flush_destination()
{
    return FlushFileBuffers(g_files.destination) != 0;
}

void begin_progress(const char* status_prefix, const char* path, uint32_t steps)
{
    show_progress(steps);
    show_status(status_prefix, path);
    flush_keyboard();
    if (HWND progress = progress_window())
        SetFocus(progress);
}

void restart_progress(const char* status_prefix, const char* path, uint32_t steps)
{
    show_progress(steps);
    show_status(status_prefix, path);
}

void end_progress()
{
    finish_progress();
    pause(kPiecePause);
}

Blocks move_blocks(const BlockLoop& loop, BlockSum& sum)
{
    const uint64_t planned = loop.planned;
    const PieceEnd end = loop.end;
    // A read may deliver fewer bytes than asked without being at the end of the file: only
    // a read of 0 bytes ends a file.
    // The repaint and the Esc poll each cost a round trip to the window server, more than
    // moving a block: they run once a display frame, which Esc and the eye cannot tell
    // from once a block, and once more after the last block.
    HWND progress = progress_window();
    uint8_t* buffer = g_program.transfer_buffer;
    uint64_t moved = 0;
    uint32_t last_frame = GetTickCount();
    for (;;) {
        DWORD wanted = kTransferBlockSize;
        if (end == PieceEnd::planned_size) {
            if (moved == planned)
                break;
            if (planned - moved < wanted)
                wanted = static_cast<DWORD>(planned - moved);
        } else if (end == PieceEnd::whole_sectors && moved >= planned) {
            break;
        }
        DWORD got = 0;
        if (!ReadFile(loop.from, buffer, wanted, &got, nullptr))
            return Blocks::read_failed;
        if (got == 0) {
            if (end != PieceEnd::planned_size)
                break;
            return Blocks::ended_early;
        }
        if (loop.to != INVALID_HANDLE_VALUE) {
            DWORD written = 0;
            // Only the count says whether the bytes arrived; a full medium reports a short
            // write.
            WriteFile(loop.to, buffer, got, &written, nullptr);
            if (written != got)
                return Blocks::write_failed;
        }
        if (loop.checksum)
            sum.crc = crc32_update(sum.crc, buffer, got);
        sum.bytes += got;
        moved += got;
        progress_step();
        const uint32_t now = GetTickCount();
        if (frame_due(last_frame, now)) {
            last_frame = now;
            if (refresh_and_poll(progress))
                return Blocks::cancelled;
        }
        // Past the cache, a read from an offset off the sector grid is refused: only the end
        // leaves one.
        if (end == PieceEnd::whole_sectors && loop.sector != 0 && moved % loop.sector != 0)
            break;
    }
    return refresh_and_poll(progress) ? Blocks::cancelled : Blocks::done;
}
