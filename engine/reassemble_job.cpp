// The re-assemble job: a piece set, medium by medium, back into one file.
//   reassemble_job  - the whole job, from the first-piece chooser to its ending (see jobs.h)
//   open_first_piece - chooser and open of piece 1
//   read_count      - the count file beside piece 1, whole, into the count file image
//   open_next_piece - opens piece k by name, with the retry box while it is missing
//   rewind_piece    - the opened piece measured for its bar and set back to its start
//   destroys_own_set - the destination would empty the count file or a piece still to come
//   join_piece      - one piece onto the end of the destination; checked against the block
//   check_joined_file - the joined file read back, then the job's ending
//   join_pieces     - the piece loop with "Insert Next Disk!" between pieces
#include "engine/jobs.h"

#include <windows.h>

#include <cstring>

#include "display/progress_window.h"
#include "engine/check_block.h"
#include "engine/chooser_rules.h"
#include "engine/crc32.h"
#include "engine/file_choosers.h"
#include "engine/job_steps.h"
#include "engine/job_texts.h"
#include "engine/piece_set.h"
#include "engine/verify_piece.h"
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

// Up to the largest count file with a check block, and a byte more, so that a longer file
// shows; `length` is what was read.
CountRead read_count(const char* base, size_t* length)
{
    char name[kPieceNameSize];
    if (!count_file_name(base, name, sizeof name))
        return CountRead::missing;
    HANDLE count = CreateFileA(name, GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
    if (count == INVALID_HANDLE_VALUE)
        return CountRead::missing;
    uint8_t* image = count_file_image();
    size_t got_in_all = 0;
    // A read may deliver less than asked without being at the end of the file.
    while (got_in_all < kCountFileReadLimit) {
        DWORD got = 0;
        if (!ReadFile(count, image + got_in_all, static_cast<DWORD>(kCountFileReadLimit - got_in_all),
                      &got, nullptr)) {
            CloseHandle(count);
            return CountRead::read_failed;
        }
        if (got == 0)
            break;
        got_in_all += got;
    }
    CloseHandle(count);
    // A shorter file holds no count; bytes that were not read must not become one.
    if (got_in_all < kCountFileBytes)
        return CountRead::missing;
    *length = got_in_all;
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

// Asks for no access, only the file's identity, so that it answers also for a file held
// open without sharing. False when there is no such file.
bool identity_of(const char* path, FileIdentity* identity)
{
    HANDLE file = CreateFileA(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    BY_HANDLE_FILE_INFORMATION info;
    const bool known = GetFileInformationByHandle(file, &info) != 0;
    CloseHandle(file);
    if (known) {
        identity->volume = info.dwVolumeSerialNumber;
        identity->index_high = info.nFileIndexHigh;
        identity->index_low = info.nFileIndexLow;
    }
    return known;
}

// A short name, a mapped drive or a network path reaches a file under another name: the
// files of the set beside piece 1 are compared with the destination by identity.
bool is_set_file_by_identity(const char* destination, const char* base, uint32_t pieces)
{
    FileIdentity target;
    if (!identity_of(destination, &target))
        return false;
    char pattern[kPieceNameSize + 2];
    lstrcpynA(pattern, base, kPieceNameSize);
    lstrcatA(pattern, "_*");
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA(pattern, &found);
    if (search == INVALID_HANDLE_VALUE)
        return false;
    // The folder part of the base, up to its last backslash or the drive's colon.
    size_t folder_length = std::strlen(base);
    while (folder_length > 0 && base[folder_length - 1] != '\\' && base[folder_length - 1] != ':')
        --folder_length;
    bool same = false;
    do {
        char path[kPieceNameSize + MAX_PATH];
        lstrcpynA(path, base, static_cast<int>(folder_length + 1));
        lstrcatA(path, found.cFileName);
        uint32_t k = 0;
        const SetFile file = set_file_of(path, base, &k);
        FileIdentity identity;
        if ((file == SetFile::count_file || (file == SetFile::piece && k >= 2 && k <= pieces)) &&
            identity_of(path, &identity))
            same = same_known_file(identity, target);
    } while (!same && FindNextFileA(search, &found));
    FindClose(search);
    return same;
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
    if (file == SetFile::count_file || (file == SetFile::piece && k >= 2 && k <= pieces))
        return true;
    return is_set_file_by_identity(destination, base, pieces);
}

bool open_next_piece(const char* piece)
{
    while (!open_source(piece)) {
        if (!question_box(kWrongDiskRetry, nullptr))
            return false;
    }
    return true;
}

// The size is for the bar alone (the piece is read to its end, or to its length from the
// check block). A piece that cannot be set back to its start would read as empty: refused,
// with its box. False then.
bool rewind_piece(uint64_t* size)
{
    const SourceSize measured = measure_source();
    if (!measured.at_start) {
        error_box(kTroubleReadingSource);
        return false;
    }
    *size = measured.bytes;
    return true;
}

enum class Joined { ok, failed_check, cancel };

// Piece k from its start onto the end of the destination. With a check block: exactly its
// length (a longer piece is caught by one byte read past it, not by reading it all) and
// its CRC.
Joined join_piece(const char* piece, uint64_t measured, const CheckedSet* set, uint32_t k,
                  BlockSum& sum)
{
    const uint64_t planned = set ? checked_piece_size(*set, k) : measured;
    begin_progress(kReadingPrefix, piece, step_count(planned));
    BlockLoop loop;
    loop.from = source_handle();
    loop.to = destination_handle();
    loop.planned = planned;
    loop.end = set ? PieceEnd::planned_size : PieceEnd::end_of_file;
    switch (move_blocks(loop, sum)) {
    case Blocks::done:
        break;
    case Blocks::ended_early:
        return Joined::failed_check;
    case Blocks::cancelled:
        return Joined::cancel;
    case Blocks::write_failed:
        error_box(kTroubleWritingDestination);
        return Joined::cancel;
    case Blocks::read_failed:
        // A sector the disk cannot read is a bad copy of the piece, which a good one mends.
        if (set)
            return Joined::failed_check;
        error_box(kTroubleReadingSource);
        return Joined::cancel;
    }
    if (set) {
        bool more = false;
        if (!source_has_more(&more) || more || sum.crc != piece_crc(count_file_image(), k))
            return Joined::failed_check;
    }
    end_progress();
    return Joined::ok;
}

// The joined file, closed and read back from its medium: a destination that takes the bytes
// and stores others must not end "Copy Complete!". Ends the job itself.
void check_joined_file(const char* destination, uint64_t size, uint32_t crc)
{
    const bool flushed = flush_destination();
    if (!close_destination() || !flushed) {
        error_box(kTroubleWritingDestination);
        return cancel_ending();
    }
    switch (read_back(destination, size, crc)) {
    case Verified::same:
        return completion_ending();
    case Verified::cancelled:
        return cancel_ending();
    default:
        error_box(kJoinedFileFailed);
        return cancel_ending();
    }
}

// Ends the job itself, through one of the two endings. The first piece is open. `set` is
// the check block's set, or null for a join without checking.
void join_pieces(const char* base, char* piece, uint64_t piece_size, uint32_t pieces,
                 const CheckedSet* set, const char* destination)
{
    uint64_t joined = 0;
    uint32_t joined_crc = 0;
    for (uint32_t k = 1;; ++k) {
        BlockSum sum;
        for (;;) {
            sum = BlockSum();
            const Joined result = join_piece(piece, piece_size, set, k, sum);
            if (result == Joined::ok)
                break;
            if (result == Joined::cancel)
                return cancel_ending();
            // The failed piece's bytes go before the question, whatever its answer: a
            // cancelled join never holds them.
            close_source();
            close_progress();
            repaint_main_window();
            if (!cut_destination(joined)) {
                error_box(kTroubleWritingDestination);
                return cancel_ending();
            }
            char question[sizeof kDiskFailedCheckFormat + 16];
            wsprintfA(question, kDiskFailedCheckFormat, k);
            if (!question_box(question, kWarningCaption) || !open_next_piece(piece) ||
                !rewind_piece(&piece_size))
                return cancel_ending();
        }
        joined += sum.bytes;
        joined_crc = crc32_combine(joined_crc, sum.crc, sum.bytes);
        // A count of 0 stops here too: the comparison is the whole stop rule. Without a
        // block, the joined file must hold what was written.
        if (pieces <= k) {
            close_source();
            return set ? check_joined_file(destination, set->source_size, set->source_crc)
                       : check_joined_file(destination, joined, joined_crc);
        }
        close_source();
        close_progress();
        repaint_main_window();
        if (!question_box(kInsertNextDisk, kStandByCaption))
            return cancel_ending();
        if (!piece_name(base, k + 1, piece, kPieceNameSize) || !open_next_piece(piece) ||
            !rewind_piece(&piece_size))
            return cancel_ending();
    }
}

} // namespace

void reassemble_job()
{
    char piece[kPieceNameSize];
    char base[kPathTextSize];
    char destination[kPathTextSize];
    char initial_name[kPathTextSize];

    uint64_t first_size = 0;
    if (!open_first_piece(piece))
        return;
    if (!rewind_piece(&first_size))
        return cancel_ending();

    if (!is_first_piece(piece)) {
        error_box(kNotFirstPiece);
        return cancel_ending();
    }
    base_from_first_piece(piece, base, sizeof base);
    size_t length = 0;
    const CountRead count = read_count(base, &length);
    if (count != CountRead::ok) {
        error_box(count == CountRead::missing ? kNoCountInfo : kTroubleReadingSource);
        return cancel_ending();
    }
    uint32_t pieces = decode_count(count_file_image());
    CheckedSet set;
    const CheckBlock block = examine_count_file(count_file_image(), length, &set);
    if (block == CheckBlock::damaged) {
        if (!question_box(kCheckInfoDamaged, kWarningCaption))
            return cancel_ending();
        pieces = unchecked_piece_count(count_file_image(), length);
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
    join_pieces(base, piece, first_size, pieces, block == CheckBlock::valid ? &set : nullptr,
                destination);
}
