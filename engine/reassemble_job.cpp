// The re-assemble job: a piece set, medium by medium, back into one file.
//   reassemble_job  - the whole job, from the first-piece chooser to its ending (see jobs.h)
//   open_first_piece - chooser and open of piece 1
//   read_count      - N from the count file beside piece 1
//   open_next_piece - opens piece k by name, with the retry box while it is missing
//   destroys_own_set - the destination would empty the count file or a piece still to come
//   join_pieces     - the piece loop with "Insert Next Disk!" between pieces
#include "engine/jobs.h"

#include <windows.h>

#include "display/progress_window.h"
#include "engine/chooser_rules.h"
#include "engine/file_choosers.h"
#include "engine/job_steps.h"
#include "engine/job_texts.h"
#include "engine/piece_set.h"
#include "shell/program_state.h"

namespace {

enum class CountRead { ok, missing, read_failed };

bool open_first_piece(char* piece)
{
    if (!choose_file_to_read(kJoinSourceTitle, ChooserFolder::media, piece))
        return false;
    repaint_main_window();
    if (!open_source(piece)) {
        error_box(kTroubleOpeningSource);
        return false;
    }
    return true;
}

CountRead read_count(const char* base, uint32_t* pieces)
{
    char name[kPieceNameSize];
    if (!count_file_name(base, name, sizeof name))
        return CountRead::missing;
    HANDLE count = CreateFileA(name, GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
    if (count == INVALID_HANDLE_VALUE)
        return CountRead::missing;
    DWORD got = 0;
    const BOOL read = ReadFile(count, g_program.transfer_buffer, kCountFileBytes, &got, nullptr);
    CloseHandle(count);
    if (!read)
        return CountRead::read_failed;
    // A shorter file holds no count; bytes that were not read must not become one.
    if (got < kCountFileBytes)
        return CountRead::missing;
    *pieces = decode_count(g_program.transfer_buffer);
    return CountRead::ok;
}

// Full path with every letter in one case, so that two spellings of one file compare equal.
bool folded_full_path(const char* path, char* out, DWORD size)
{
    const DWORD length = GetFullPathNameA(path, size, out, nullptr);
    if (length == 0 || length >= size)
        return false;
    CharUpperBuffA(out, length);
    return true;
}

// Creating the destination empties it. Piece 1 needs no check: the job holds it open, so
// creating it fails on its own.
bool destroys_own_set(const char* destination, const char* first_piece, uint32_t pieces)
{
    char target[kPieceNameSize];
    char first[kPieceNameSize];
    char base[kPieceNameSize];
    if (!folded_full_path(destination, target, sizeof target) ||
        !folded_full_path(first_piece, first, sizeof first) ||
        !base_from_first_piece(first, base, sizeof base))
        return false;
    uint32_t k = 0;
    const SetFile file = set_file_of(target, base, &k);
    return file == SetFile::count_file || (file == SetFile::piece && k >= 2 && k <= pieces);
}

bool open_next_piece(const char* piece)
{
    while (!open_source(piece)) {
        if (!question_box(kWrongDiskRetry, nullptr))
            return false;
    }
    return true;
}

// Ends the job itself, through one of the two endings. The first piece is open.
void join_pieces(const char* base, char* piece, uint64_t piece_size, uint32_t pieces)
{
    for (uint32_t k = 1;; ++k) {
        if (!transfer_piece(kReadingPrefix, piece, piece_size, PieceEnd::end_of_file))
            return cancel_ending();
        // A count of 0 stops here too: the comparison is the whole stop rule.
        if (pieces <= k)
            return completion_ending();
        close_source();
        close_progress();
        repaint_main_window();
        if (!question_box(kInsertNextDisk, kStandByCaption))
            return cancel_ending();
        if (!piece_name(base, k + 1, piece, kPieceNameSize) || !open_next_piece(piece))
            return cancel_ending();
        piece_size = measure_source();
    }
}

} // namespace

void reassemble_job()
{
    char piece[kPieceNameSize];
    char base[kPathTextSize];
    char destination[kPathTextSize];
    char initial_name[kPathTextSize];

    if (!open_first_piece(piece))
        return;
    const uint64_t first_size = measure_source();

    if (!is_first_piece(piece)) {
        error_box(kNotFirstPiece);
        return cancel_ending();
    }
    base_from_first_piece(piece, base, sizeof base);
    uint32_t pieces = 0;
    const CountRead count = read_count(base, &pieces);
    if (count != CountRead::ok) {
        error_box(count == CountRead::missing ? kNoCountInfo : kTroubleReadingSource);
        return cancel_ending();
    }

    drop_last_two(remembered_file_name(), initial_name, sizeof initial_name);
    if (!choose_file_to_write(kJoinDestinationTitle, ChooserFolder::work, initial_name,
                              destination))
        return cancel_ending();
    repaint_main_window();
    if (destroys_own_set(destination, piece, pieces)) {
        error_box(kPathsEqual);
        return cancel_ending();
    }
    if (!create_destination(destination)) {
        error_box(kTroubleCreating);
        return cancel_ending();
    }
    join_pieces(base, piece, first_size, pieces);
}
