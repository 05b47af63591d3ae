// Read-back after writing (see verify_piece.h).
//   verify_written_piece, verify_written_copy, read_back
//   handed_to_medium - the destination flushed and closed
//   open_past_cache  - a file for reading, unbuffered where the volume allows it
//   has_size         - the open file's length, from the file system rather than by reading
#include "engine/verify_piece.h"

#include <windows.h>

#include <cstring>

#include "engine/job_steps.h"
#include "engine/job_texts.h"
#include "engine/piece_set.h"
#include "shell/program_state.h"

namespace {

// Start-up allocates the transfer buffer on a page boundary.
constexpr uint32_t kBufferAlignment = 4096;

// What the system could not put on the medium shows in the flush or the close.
bool handed_to_medium()
{
    const bool flushed = flush_destination();
    const bool closed = close_destination();
    return flushed && closed;
}

// Bytes that come back from the file cache prove only that the system took them. Read
// without the cache, they come from the medium, which is the point; that takes reads of
// whole sectors, at offsets on the sector grid, into a buffer aligned to them, which the
// transfer block and buffer are for every sector size up to a page. A volume that refuses
// (or a sector size it cannot tell) is read through the cache: that still finds a file the
// file system lost or cut short. `*sector` is the sector size for the unbuffered handle, 0
// for a cached one.
HANDLE open_past_cache(const char* path, uint32_t* sector)
{
    *sector = sector_size(path);
    if (*sector != 0 && *sector <= kBufferAlignment && kBufferAlignment % *sector == 0) {
        HANDLE unbuffered = CreateFileA(path, GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                        FILE_ATTRIBUTE_NORMAL | FILE_FLAG_NO_BUFFERING, nullptr);
        if (unbuffered != INVALID_HANDLE_VALUE)
            return unbuffered;
    }
    *sector = 0;
    return CreateFileA(path, GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                       nullptr);
}

// The reads stop at the expected length; a file longer than that shows here. A second,
// cached handle cannot be opened beside this one, which shares nothing.
bool has_size(HANDLE file, uint64_t size)
{
    DWORD high = 0;
    const DWORD low = GetFileSize(file, &high);
    if (low == INVALID_FILE_SIZE && GetLastError() != NO_ERROR)
        return false;
    return ((static_cast<uint64_t>(high) << 32) | low) == size;
}

} // namespace

Verified verify_written_piece(const char* path, uint64_t size, uint32_t crc)
{
    if (!handed_to_medium())
        return Verified::failed;
    return read_back(path, size, crc);
}

Verified verify_written_copy(const char* path, const uint8_t* bytes, uint32_t size)
{
    if (!handed_to_medium() || size > kTransferBlockSize)
        return Verified::failed;
    uint32_t sector = 0;
    HANDLE back = open_past_cache(path, &sector);
    if (back == INVALID_HANDLE_VALUE)
        return Verified::failed;
    uint8_t* buffer = g_program.transfer_buffer;
    uint32_t got_in_all = 0;
    bool read = true;
    // Whole blocks from offsets on the sector grid, as for a piece: one read, unless the
    // system gives less than the file at a time.
    for (;;) {
        DWORD got = 0;
        read = ReadFile(back, buffer + got_in_all, kTransferBlockSize - got_in_all, &got,
                        nullptr) != 0;
        got_in_all += got;
        if (!read || got == 0 || got_in_all >= size || got_in_all == kTransferBlockSize ||
            (sector != 0 && got_in_all % sector != 0))
            break;
    }
    const bool same = got_in_all == size && std::memcmp(buffer, bytes, size) == 0 &&
                      has_size(back, size);
    CloseHandle(back);
    if (!read)
        return Verified::failed;
    return same ? Verified::same : Verified::differs;
}

Verified read_back(const char* path, uint64_t size, uint32_t crc)
{
    uint32_t sector = 0;
    HANDLE back = open_past_cache(path, &sector);
    if (back == INVALID_HANDLE_VALUE)
        return Verified::failed;
    restart_progress(kVerifyingPrefix, path, step_count(size));
    BlockLoop loop;
    loop.from = back;
    loop.planned = size;
    loop.end = PieceEnd::whole_sectors;
    loop.sector = sector;
    BlockSum sum;
    const Blocks result = move_blocks(loop, sum);
    const bool same = sum.bytes == size && sum.crc == crc && has_size(back, size);
    CloseHandle(back);
    if (result != Blocks::done)
        return result == Blocks::cancelled ? Verified::cancelled : Verified::failed;
    return same ? Verified::same : Verified::differs;
}
