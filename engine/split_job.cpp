// The split job: one source file onto several media as a count file and numbered pieces.
//   split_job         - the whole job, from the source chooser to its ending (see jobs.h)
//   choose_and_measure - source chooser, open and size check
//   check_source      - every piece's CRC-32 and the whole source's, for the check block
//   write_count_file  - the count file beside where piece 1 goes, read back
//   wait_for_room     - the free-space question until the medium can take the piece (with
//                       the count file, for piece 1)
//   write_piece       - one piece written and read back
//   write_onto_a_disk - a piece (with the count file, for piece 1) onto the disk in the
//                       drive, and onto another after every failed read-back
//   write_pieces      - the piece loop with "Insert Next Disk!" between pieces
#include "engine/jobs.h"

#include <windows.h>

#include "display/progress_window.h"
#include "engine/check_block.h"
#include "engine/crc32.h"
#include "engine/file_choosers.h"
#include "engine/job_steps.h"
#include "engine/job_texts.h"
#include "engine/piece_set.h"
#include "engine/verify_piece.h"
#include "shell/media_selection.h"
#include "shell/program_state.h"

namespace {

enum class Step { ok, cancel, ended };

// Source size in *size, all 64 bits of it: the set format has no 4 GiB limit, only the
// piece count must fit its 4 bytes.
Step choose_and_measure(char* source, uint64_t* size)
{
    if (!choose_file_to_read(kSplitSourceTitle, ChooserFolder::work, source))
        return Step::ended;
    repaint_main_window();
    if (!open_source(source)) {
        error_box(kTroubleOpeningSource);
        return Step::ended;
    }
    // A source that cannot be measured, or set back to its start after, cannot be split:
    // it would pass for an empty one, or give pieces of nothing.
    const SourceSize measured = measure_source();
    if (!measured.measured || !measured.at_start) {
        error_box(kTroubleReadingSource);
        return Step::cancel;
    }
    *size = measured.bytes;
    return Step::ok;
}

uint64_t piece_size_of(uint32_t k, uint64_t source_size, uint32_t capacity)
{
    const uint64_t before = static_cast<uint64_t>(k - 1) * capacity;
    const uint64_t rest = source_size - before;
    return rest < capacity ? rest : capacity;
}

// Reads the whole source once, before anything is written, for the CRCs the check block
// holds. False when the job must take the cancel ending (Esc, or a read failure whose box
// is shown). Leaves the source at its start.
bool check_source(const char* source, uint64_t source_size, uint32_t capacity, uint32_t pieces)
{
    uint8_t* image = count_file_image();
    // Each piece is read on its own, so a block never spans two pieces.
    const uint64_t steps = static_cast<uint64_t>(pieces - 1) * step_count(capacity) +
                           step_count(piece_size_of(pieces, source_size, capacity));
    begin_progress(kCheckingPrefix, source, steps > UINT32_MAX ? UINT32_MAX : uint32_t(steps));
    uint32_t source_crc = 0;
    for (uint32_t k = 1; k <= pieces; ++k) {
        const uint64_t size = piece_size_of(k, source_size, capacity);
        BlockSum sum;
        const Blocks result = move_blocks(source_handle(), INVALID_HANDLE_VALUE, size,
                                          PieceEnd::planned_size, sum);
        if (result == Blocks::cancelled)
            return false;
        if (result != Blocks::done) {
            error_box(kTroubleReadingSource);
            return false;
        }
        put_piece_crc(image, k, sum.crc);
        source_crc = crc32_combine(source_crc, sum.crc, size);
    }
    if (!seek_source(0)) {
        error_box(kTroubleReadingSource);
        return false;
    }
    end_progress();
    close_progress();
    repaint_main_window();
    seal_check_block(image, pieces, source_size, capacity, source_crc);
    return true;
}

enum class Written { verified, failed_verification, cancel };

// The count alone, or with the check block that check_source prepared, then read back.
Written write_count_file(const char* destination, uint32_t pieces, bool checked)
{
    char name[kPieceNameSize];
    if (!count_file_name(destination, name, sizeof name) || !create_destination(name)) {
        error_box(kTroubleCreating);
        return Written::cancel;
    }
    uint8_t* image = count_file_image();
    DWORD bytes = kCountFileBytes;
    if (checked)
        bytes = checked_count_file_size(pieces);
    else
        encode_count(pieces, image);
    DWORD written = 0;
    WriteFile(destination_handle(), image, bytes, &written, nullptr);
    if (written != bytes) {
        error_box(kTroubleWritingCount);
        return Written::cancel;
    }
    // Damaged here, it would show only when the set is joined, from the last copy of the file.
    return verify_written_copy(name, image, bytes) == Verified::same ? Written::verified
                                                                      : Written::failed_verification;
}

// Until the disk in the drive has room for the piece, and with piece 1 for the count file:
// both must land on one disk, or the set could not be joined from it. False on Cancel.
bool wait_for_room(const char* destination, uint64_t piece_size, uint32_t count_file_size)
{
    for (;;) {
        const DiskRoom room = disk_room(destination);
        uint64_t need = whole_clusters(piece_size, room.cluster);
        if (count_file_size != 0)
            need += whole_clusters(count_file_size, room.cluster);
        if (room.free >= need)
            return true;
        if (!question_box(kNotEnoughFreeSpace, kWarningCaption))
            return false;
    }
}

// The created piece from the source's current position, then read back. `checked_crc` is
// the piece's CRC from the check, or null for a set without a check block.
Written write_piece(const char* piece, uint64_t size, const uint32_t* checked_crc)
{
    begin_progress(kWritingPrefix, piece, step_count(size));
    BlockSum sum;
    switch (move_blocks(source_handle(), destination_handle(), size, PieceEnd::planned_size, sum)) {
    case Blocks::done:
        break;
    case Blocks::cancelled:
        return Written::cancel;
    case Blocks::write_failed:
        error_box(kTroubleWritingDestination);
        return Written::cancel;
    default:  // a failed read, or a source shorter than measured
        error_box(kTroubleReadingSource);
        return Written::cancel;
    }
    // Bytes other than those checked would go out under a check block that does not fit
    // them, and the set could never be joined with checking.
    if (checked_crc && sum.crc != *checked_crc) {
        error_box(kSourceChanged);
        return Written::cancel;
    }
    switch (verify_written_piece(piece, size, sum.crc)) {
    case Verified::same:
        end_progress();
        return Written::verified;
    case Verified::cancelled:
        return Written::cancel;
    default:
        return Written::failed_verification;
    }
}

// Piece k onto the disk in the drive (for k = 1 the count file first), again onto another
// disk after every failed read-back, until one holds it.
Written write_onto_a_disk(const char* destination, uint32_t k, uint64_t size, uint32_t capacity,
                          uint32_t pieces, bool checked)
{
    const uint32_t crc = checked ? piece_crc(count_file_image(), k) : 0;
    const uint32_t count_file_size =
        k != 1 ? 0 : checked ? checked_count_file_size(pieces) : kCountFileBytes;
    char piece[kPieceNameSize];
    for (;;) {
        if (!wait_for_room(destination, size, count_file_size))
            return Written::cancel;
        Written written = k == 1 ? write_count_file(destination, pieces, checked) : Written::verified;
        if (written == Written::verified) {
            if (!piece_name(destination, k, piece, sizeof piece) || !create_destination(piece)) {
                error_box(kTroubleCreating);
                return Written::cancel;
            }
            written = write_piece(piece, size, checked ? &crc : nullptr);
        }
        if (written != Written::failed_verification)
            return written;
        // The piece goes again, from its first byte, onto the disk the user puts in; the
        // failed file stays where it is.
        close_progress();
        repaint_main_window();
        if (!question_box(kDiskFailedVerification, kWarningCaption))
            return Written::cancel;
        if (!seek_source(static_cast<uint64_t>(k - 1) * capacity)) {
            error_box(kTroubleReadingSource);
            return Written::cancel;
        }
    }
}

// Ends the job itself, through one of the two endings.
void write_pieces(const char* destination, uint64_t source_size, uint32_t capacity,
                  uint32_t pieces, bool checked)
{
    for (uint32_t k = 1;; ++k) {
        const uint64_t size = piece_size_of(k, source_size, capacity);
        if (write_onto_a_disk(destination, k, size, capacity, pieces, checked) != Written::verified)
            return cancel_ending();
        if (k >= pieces)
            return completion_ending();
        // Nothing of the set is open while the user swaps media: the piece was closed
        // before it was read back.
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

    const Step measured = choose_and_measure(source, &source_size);
    if (measured == Step::ended)
        return;
    if (measured == Step::cancel)
        return cancel_ending();

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
    const uint32_t n = static_cast<uint32_t>(pieces);
    char question[sizeof kDisksRequiredFormat + 16];
    wsprintfA(question, kDisksRequiredFormat, n);
    if (!question_box(question, kStandByCaption))
        return cancel_ending();
    // Sets too large for a block, or on media too small to spare room for one, keep the
    // 4-byte count alone: their pieces are still read back after writing, against the
    // CRC of what was written.
    const bool checked = has_check_block(n, capacity);
    if (checked && !check_source(source, source_size, capacity, n))
        return cancel_ending();
    write_pieces(destination, source_size, capacity, n, checked);
}
