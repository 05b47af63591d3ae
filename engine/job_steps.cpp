// Steps shared by both jobs.
//   error_box, question_box, note_box, completion_ending, cancel_ending, repaint_main_window,
//   open_source, create_destination, close_source, close_destination, destination_handle,
//   measure_source, free_space, transfer_piece (see job_steps.h)
//   close_file, end_job, move_block, refresh_and_poll, move_blocks - helpers
#include "engine/job_steps.h"

#include "display/cancel_key.h"
#include "display/progress_rules.h"
#include "display/progress_window.h"
#include "engine/chooser_rules.h"
#include "engine/job_texts.h"
#include "engine/piece_set.h"
#include "shell/program_state.h"

namespace {

constexpr uint32_t kPiecePause = 300;
constexpr UINT kErrorStyle = MB_TASKMODAL | MB_ICONERROR;
constexpr UINT kQuestionStyle = MB_TASKMODAL | MB_ICONINFORMATION | MB_OKCANCEL;
constexpr UINT kNoteStyle = MB_TASKMODAL | MB_ICONINFORMATION;
constexpr size_t kStatusSize = sizeof kWritingPrefix + kPieceNameSize;

// Open between a job's first open and its ending; none between jobs.
struct JobFiles {
    HANDLE source = INVALID_HANDLE_VALUE;
    HANDLE destination = INVALID_HANDLE_VALUE;
    // Measuring leaves the source at its end; when the seek back fails, reading it would
    // give a piece of no bytes and a re-assembled file without it.
    bool source_rewind_failed = false;
};
JobFiles g_files;

void close_file(HANDLE& handle)
{
    if (handle == INVALID_HANDLE_VALUE)
        return;
    CloseHandle(handle);
    handle = INVALID_HANDLE_VALUE;
}

void end_job(const char* note)
{
    close_file(g_files.source);
    close_file(g_files.destination);
    close_progress();
    repaint_main_window();
    note_box(note);
}

enum class BlockResult { moved, end_of_piece, failed };

// One read and one write of at most a transfer block. `got` is what the read delivered.
BlockResult move_block(DWORD wanted, DWORD& got)
{
    got = 0;
    if (!ReadFile(g_files.source, g_program.transfer_buffer, wanted, &got, nullptr)) {
        error_box(kTroubleReadingSource);
        return BlockResult::failed;
    }
    if (got == 0)
        return BlockResult::end_of_piece;
    DWORD written = 0;
    // Only the count says whether the bytes arrived; a full medium reports a short write.
    WriteFile(g_files.destination, g_program.transfer_buffer, got, &written, nullptr);
    if (written != got) {
        error_box(kTroubleWritingDestination);
        return BlockResult::failed;
    }
    return BlockResult::moved;
}

// Repaints the progress window if anything damaged it, then polls Esc; true on Esc.
bool refresh_and_poll(HWND progress)
{
    if (progress)
        UpdateWindow(progress);
    return poll_cancel_key();
}

// The piece's blocks, each with its progress step. False when the job must take the cancel
// ending: Esc, or a failed read or write whose error box is already shown.
bool move_blocks(HWND progress, uint64_t planned, PieceEnd end)
{
    // A read may deliver fewer bytes than asked without being at the end of the file: only
    // a read of 0 bytes ends a piece. For the split that is a fault, since the source was
    // measured and the piece must be full.
    // The repaint and the Esc poll each cost a round trip to the window server, more than
    // moving a block: they run once a display frame, which Esc and the eye cannot tell
    // from once a block, and once more after the last block.
    uint64_t moved = 0;
    uint32_t last_frame = GetTickCount();
    for (;;) {
        DWORD wanted = kTransferBlockSize;
        if (end == PieceEnd::planned_size) {
            if (moved == planned)
                break;
            if (planned - moved < wanted)
                wanted = static_cast<DWORD>(planned - moved);
        }
        DWORD got = 0;
        const BlockResult result = move_block(wanted, got);
        if (result == BlockResult::failed)
            return false;
        if (result == BlockResult::end_of_piece) {
            if (end == PieceEnd::end_of_file)
                break;
            error_box(kTroubleReadingSource);
            return false;
        }
        moved += got;
        progress_step();
        const uint32_t now = GetTickCount();
        if (frame_due(last_frame, now)) {
            last_frame = now;
            if (refresh_and_poll(progress))
                return false;
        }
    }
    return !refresh_and_poll(progress);
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
    g_files.source_rewind_failed = false;
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

void close_destination()
{
    close_file(g_files.destination);
}

HANDLE destination_handle()
{
    return g_files.destination;
}

uint64_t measure_source()
{
    // The high part too: a 32-bit seek alone would take a 4 GiB + 1 source for 1 byte.
    LONG high = 0;
    const DWORD low = SetFilePointer(g_files.source, 0, &high, FILE_END);
    // The error is read before the seek back can leave one of its own.
    const bool measured = low != INVALID_SET_FILE_POINTER || GetLastError() == NO_ERROR;
    g_files.source_rewind_failed = SetFilePointer(g_files.source, 0, nullptr, FILE_BEGIN) != 0;
    if (!measured)
        return 0;
    return (static_cast<uint64_t>(static_cast<DWORD>(high)) << 32) | low;
}

uint64_t free_space(const char* path)
{
    // Looked up, not imported: the loaders of Windows 95, 98, ME and NT 4.0 refuse to start
    // a program that imports a call they lack.
    const auto find_volume = reinterpret_cast<VolumePathFinder>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleA("KERNEL32.DLL"), "GetVolumePathNameA")));
    char root[kPathTextSize];
    if (!free_space_root(path, find_volume, root, sizeof root))
        return 0;
    DWORD sectors_per_cluster = 0, bytes_per_sector = 0, free_clusters = 0, clusters = 0;
    if (!GetDiskFreeSpaceA(root, &sectors_per_cluster, &bytes_per_sector, &free_clusters,
                           &clusters))
        return 0;
    return static_cast<uint64_t>(free_clusters) * bytes_per_sector * sectors_per_cluster;
}

bool transfer_piece(const char* status_prefix, const char* piece_path, uint64_t planned,
                    PieceEnd end)
{
    if (g_files.source_rewind_failed) {
        error_box(kTroubleReadingSource);
        return false;
    }
    char status[kStatusSize];
    lstrcpynA(status, status_prefix, sizeof status);
    lstrcatA(status, piece_path);

    show_progress(step_count(planned));
    set_status(status);
    flush_keyboard();
    HWND progress = progress_window();
    if (progress)
        SetFocus(progress);

    if (!move_blocks(progress, planned, end))
        return false;
    finish_progress();
    pause(kPiecePause);
    return true;
}
