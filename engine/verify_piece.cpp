// Verify after writing (see verify_piece.h).
//   verify_written_piece
//   open_past_cache - the piece for reading, unbuffered where the volume allows it
#include "engine/verify_piece.h"

#include <windows.h>

#include "engine/job_steps.h"
#include "engine/job_texts.h"
#include "engine/piece_set.h"
#include "shell/program_state.h"

namespace {

// Start-up allocates the transfer buffer on a page boundary.
constexpr uint32_t kBufferAlignment = 4096;

// Bytes that come back from the file cache prove only that the system took them. Read
// without the cache, they come from the medium, which is the point; that takes reads of
// whole sectors into a buffer aligned to them, which the transfer block and buffer are for
// every sector size up to a page. A volume that refuses (or a sector size it cannot tell)
// is read through the cache: that still finds a file the file system lost or cut short.
HANDLE open_past_cache(const char* path)
{
    const uint32_t sector = sector_size(path);
    if (sector != 0 && sector <= kBufferAlignment && kBufferAlignment % sector == 0) {
        HANDLE unbuffered = CreateFileA(path, GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                        FILE_ATTRIBUTE_NORMAL | FILE_FLAG_NO_BUFFERING, nullptr);
        if (unbuffered != INVALID_HANDLE_VALUE)
            return unbuffered;
    }
    return CreateFileA(path, GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                       nullptr);
}

} // namespace

Verified verify_written_piece(const char* piece_path, uint64_t size, uint32_t crc)
{
    // What the system could not put on the medium shows in the flush or the close.
    const bool flushed = FlushFileBuffers(destination_handle()) != 0;
    const bool closed = close_destination();
    if (!flushed || !closed)
        return Verified::failed;
    HANDLE back = open_past_cache(piece_path);
    if (back == INVALID_HANDLE_VALUE)
        return Verified::failed;
    restart_progress(kVerifyingPrefix, piece_path, step_count(size));
    BlockSum sum;
    const Blocks result = move_blocks(back, INVALID_HANDLE_VALUE, size, PieceEnd::end_of_file, sum);
    CloseHandle(back);
    if (result == Blocks::cancelled)
        return Verified::cancelled;
    return result == Blocks::done && sum.bytes == size && sum.crc == crc ? Verified::same
                                                                          : Verified::failed;
}
