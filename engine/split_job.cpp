// The split job: one source file onto several media as a count file and numbered pieces.
//   split_job         - the whole job, from the source chooser to its ending (see jobs.h)
//   choose_and_measure - source chooser, open and size check
//   plan_split        - the piece count, its question and whether the set gets a block
//   piece_size_of     - the bytes of piece k
//   sum_source        - a part of the source read for its CRC-32
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

// What one run of the job writes, fixed once the user has confirmed the disk count.
struct SplitPlan {
    const char* source = nullptr;
    const char* destination = nullptr;
    uint64_t source_size = 0;
    uint32_t capacity = 0;
    uint32_t pieces = 0;
    bool checked = false;  // the count file carries the check block
};

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

// False, with its box shown, when the job must take the cancel ending.
bool plan_split(SplitPlan* plan)
{
    const uint32_t capacity = media_capacity();
    // The menu refuses the command without a capacity; 0 here would divide by zero.
    if (capacity == 0 || plan->source_size < capacity) {
        error_box(kFitsOnOneMedium);
        return false;
    }
    const uint64_t pieces = piece_count(plan->source_size, capacity);
    // The count file holds 4 bytes; a larger count would be written wrapped and the set
    // could never be joined again.
    if (pieces > kMaxPieces) {
        error_box(kTooManyDisks);
        return false;
    }
    plan->capacity = capacity;
    plan->pieces = static_cast<uint32_t>(pieces);
    char question[sizeof kDisksRequiredFormat + 16];
    wsprintfA(question, kDisksRequiredFormat, plan->pieces);
    if (!question_box(question, kStandByCaption))
        return false;
    // Sets too large for a block, or on media too small to spare room for one, keep the
    // 4-byte count alone: their pieces are still read back after writing, against the
    // CRC of what was written.
    plan->checked = has_check_block(plan->pieces, capacity);
    return true;
}

uint64_t piece_size_of(const SplitPlan& plan, uint32_t k)
{
    const uint64_t before = static_cast<uint64_t>(k - 1) * plan.capacity;
    const uint64_t rest = plan.source_size - before;
    return rest < plan.capacity ? rest : plan.capacity;
}

// The CRC-32 of the next `size` bytes of the source, in the progress window shown. False
// when the job must take the cancel ending (Esc, or a read failure whose box is shown).
bool sum_source(uint64_t size, uint32_t* crc)
{
    BlockLoop loop;
    loop.from = source_handle();
    loop.planned = size;
    BlockSum sum;
    const Blocks result = move_blocks(loop, sum);
    if (result == Blocks::cancelled)
        return false;
    if (result != Blocks::done) {
        error_box(kTroubleReadingSource);
        return false;
    }
    *crc = sum.crc;
    return true;
}

// Reads the whole source once, before anything is written, for the CRCs the check block
// holds. False when the job must take the cancel ending. Leaves the source at its start.
bool check_source(const SplitPlan& plan)
{
    uint8_t* image = count_file_image();
    // Each piece is read on its own, so a block never spans two pieces.
    const uint64_t steps = static_cast<uint64_t>(plan.pieces - 1) * step_count(plan.capacity) +
                           step_count(piece_size_of(plan, plan.pieces));
    begin_progress(kCheckingPrefix, plan.source,
                   steps > UINT32_MAX ? UINT32_MAX : static_cast<uint32_t>(steps));
    uint32_t source_crc = 0;
    for (uint32_t k = 1; k <= plan.pieces; ++k) {
        const uint64_t size = piece_size_of(plan, k);
        uint32_t crc = 0;
        if (!sum_source(size, &crc))
            return false;
        put_piece_crc(image, k, crc);
        source_crc = crc32_combine(source_crc, crc, size);
    }
    if (!seek_source(0)) {
        error_box(kTroubleReadingSource);
        return false;
    }
    end_progress();
    close_progress();
    repaint_main_window();
    seal_check_block(image, plan.pieces, plan.source_size, plan.capacity, source_crc);
    return true;
}

enum class Written { verified, failed_verification, cancel };

// The count alone, or with the check block that check_source prepared, then read back.
Written write_count_file(const SplitPlan& plan)
{
    char name[kPieceNameSize];
    if (!count_file_name(plan.destination, name, sizeof name) || !create_destination(name)) {
        error_box(kTroubleCreating);
        return Written::cancel;
    }
    uint8_t* image = count_file_image();
    DWORD bytes = kCountFileBytes;
    if (plan.checked)
        bytes = checked_count_file_size(plan.pieces);
    else
        encode_count(plan.pieces, image);
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

// Piece k, created, from the source's current position, then read back.
Written write_piece(const SplitPlan& plan, uint32_t k, const char* piece)
{
    const uint64_t size = piece_size_of(plan, k);
    begin_progress(kWritingPrefix, piece, step_count(size));
    BlockLoop loop;
    loop.from = source_handle();
    loop.to = destination_handle();
    loop.planned = size;
    // With a block, the read-back is compared with the check's CRC: the copy need not sum.
    loop.checksum = !plan.checked;
    BlockSum sum;
    switch (move_blocks(loop, sum)) {
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
    const uint32_t crc = plan.checked ? piece_crc(count_file_image(), k) : sum.crc;
    switch (verify_written_piece(piece, size, crc)) {
    case Verified::same:
        end_progress();
        return Written::verified;
    case Verified::cancelled:
        return Written::cancel;
    case Verified::differs:
        break;
    default:
        return Written::failed_verification;
    }
    if (!plan.checked)
        return Written::failed_verification;
    // Other bytes came back than the check read: the disk changed them, or the source
    // changed since. Bytes other than those checked must not go out under a check block
    // that does not fit them: the set could never be joined with checking.
    uint32_t now = 0;
    restart_progress(kCheckingPrefix, plan.source, step_count(size));
    if (!seek_source(static_cast<uint64_t>(k - 1) * plan.capacity)) {
        error_box(kTroubleReadingSource);
        return Written::cancel;
    }
    if (!sum_source(size, &now))
        return Written::cancel;
    if (now != crc) {
        error_box(kSourceChanged);
        return Written::cancel;
    }
    return Written::failed_verification;
}

// Piece k onto the disk in the drive (for k = 1 the count file first), again onto another
// disk after every failed read-back, until one holds it.
Written write_onto_a_disk(const SplitPlan& plan, uint32_t k)
{
    const uint32_t count_file_size =
        k != 1 ? 0 : plan.checked ? checked_count_file_size(plan.pieces) : kCountFileBytes;
    char piece[kPieceNameSize];
    for (;;) {
        if (!wait_for_room(plan.destination, piece_size_of(plan, k), count_file_size))
            return Written::cancel;
        Written written = k == 1 ? write_count_file(plan) : Written::verified;
        if (written == Written::verified) {
            if (!piece_name(plan.destination, k, piece, sizeof piece) ||
                !create_destination(piece)) {
                error_box(kTroubleCreating);
                return Written::cancel;
            }
            written = write_piece(plan, k, piece);
        }
        if (written != Written::failed_verification)
            return written;
        // The piece goes again, from its first byte, onto the disk the user puts in; the
        // failed file stays where it is.
        close_progress();
        repaint_main_window();
        if (!question_box(kDiskFailedVerification, kWarningCaption))
            return Written::cancel;
        if (!seek_source(static_cast<uint64_t>(k - 1) * plan.capacity)) {
            error_box(kTroubleReadingSource);
            return Written::cancel;
        }
    }
}

// Ends the job itself, through one of the two endings.
void write_pieces(const SplitPlan& plan)
{
    for (uint32_t k = 1;; ++k) {
        if (write_onto_a_disk(plan, k) != Written::verified)
            return cancel_ending();
        if (k >= plan.pieces)
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
    SplitPlan plan;
    plan.source = source;
    plan.destination = destination;

    const Step measured = choose_and_measure(source, &plan.source_size);
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
    if (!plan_split(&plan) || (plan.checked && !check_source(plan)))
        return cancel_ending();
    write_pieces(plan);
}
