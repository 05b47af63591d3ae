// The split job: one source file onto several media as a count file and numbered pieces.
//   split_job         - the whole job, from the source chooser to its ending (see jobs.h)
//   choose_and_measure - source chooser, open and size check
//   write_count_file  - the count file beside where piece 1 goes
//   wait_for_room     - the free-space question until the medium can take the piece
//   write_pieces      - the piece loop with "Insert Next Disk!" between pieces
#include "engine/jobs.h"

#include <windows.h>

#include "display/progress_window.h"
#include "engine/file_choosers.h"
#include "engine/job_steps.h"
#include "engine/job_texts.h"
#include "engine/piece_set.h"
#include "shell/media_selection.h"
#include "shell/program_state.h"

namespace {

// Source size in *size, all 64 bits of it: the set format has no 4 GiB limit, only the
// piece count must fit its 4 bytes. False when the job is over without the cancel ending.
bool choose_and_measure(char* source, uint64_t* size)
{
    if (!choose_file_to_read(kSplitSourceTitle, ChooserFolder::work, source))
        return false;
    repaint_main_window();
    if (!open_source(source)) {
        error_box(kTroubleOpeningSource);
        return false;
    }
    *size = measure_source();
    return true;
}

bool write_count_file(const char* destination, uint32_t pieces)
{
    char name[kPieceNameSize];
    if (!count_file_name(destination, name, sizeof name) || !create_destination(name)) {
        error_box(kTroubleCreating);
        return false;
    }
    encode_count(pieces, g_program.transfer_buffer);
    DWORD written = 0;
    WriteFile(destination_handle(), g_program.transfer_buffer, kCountFileBytes, &written, nullptr);
    close_destination();
    if (written != kCountFileBytes) {
        error_box(kTroubleWritingCount);
        return false;
    }
    return true;
}

bool wait_for_room(const char* destination, uint64_t piece_size)
{
    while (free_space(destination) < piece_size) {
        if (!question_box(kNotEnoughFreeSpace, kWarningCaption))
            return false;
    }
    return true;
}

// Ends the job itself, through one of the two endings.
void write_pieces(const char* destination, uint64_t source_size, uint32_t capacity)
{
    char piece[kPieceNameSize];
    uint64_t done = 0;
    for (uint32_t k = 1;; ++k) {
        const uint64_t remaining = source_size - done;
        if (remaining == 0)
            return completion_ending();
        const bool last = remaining <= capacity;
        const uint64_t piece_size = last ? remaining : capacity;
        if (!wait_for_room(destination, piece_size))
            return cancel_ending();
        if (!piece_name(destination, k, piece, sizeof piece) || !create_destination(piece)) {
            error_box(kTroubleCreating);
            return cancel_ending();
        }
        if (!transfer_piece(kWritingPrefix, piece, piece_size, PieceEnd::planned_size))
            return cancel_ending();
        if (last)
            return completion_ending();
        done += piece_size;
        // Nothing of the set may be open while the user swaps media.
        close_destination();
        close_progress();
        repaint_main_window();
        if (!question_box(kInsertNextDisk, kStandByCaption))
            return cancel_ending();
    }
}

} // namespace

void split_job()
{
    char source[kPathTextSize];
    char destination[kPathTextSize];
    uint64_t source_size = 0;

    if (!choose_and_measure(source, &source_size))
        return;

    if (!choose_file_to_write(kSplitDestinationTitle, ChooserFolder::media,
                              remembered_file_name(), destination))
        return cancel_ending();
    repaint_main_window();

    if (lstrcmpiA(source, destination) == 0) {
        error_box(kPathsEqual);
        return cancel_ending();
    }
    const uint32_t capacity = media_capacity();
    // The menu refuses the command without a capacity; 0 here would divide by zero.
    if (capacity == 0 || source_size < capacity) {
        error_box(kFitsOnOneMedium);
        return cancel_ending();
    }
    const uint64_t pieces = piece_count(source_size, capacity);
    // The count file holds 4 bytes; a larger count would be written wrapped and the set
    // could never be joined again.
    if (pieces > kMaxPieces) {
        error_box(kTooManyDisks);
        return cancel_ending();
    }
    char question[sizeof kDisksRequiredFormat + 16];
    wsprintfA(question, kDisksRequiredFormat, static_cast<uint32_t>(pieces));
    if (!question_box(question, kStandByCaption))
        return cancel_ending();
    if (!write_count_file(destination, static_cast<uint32_t>(pieces)))
        return cancel_ending();
    write_pieces(destination, source_size, capacity);
}
