// What the split and the re-assemble job share: the two file handles, the three box kinds,
// the two endings, the free-space measure, a piece's progress window and its block loop.
//   error_box / question_box / note_box - modal boxes owned by the main window
//   completion_ending / cancel_ending   - close whatever is open, then say how it ended; a
//                         destination that cannot be closed makes completion a failed write
//   open_source / create_destination / close_source / close_destination - the two handles
//   source_handle / destination_handle
//   measure_source      - the open source's full size, and the source set back to its start
//   seek_source         - the source's position, from its start
//   cut_destination     - the destination cut back to a length, for a piece to come again
//   source_has_more     - whether a read past what was planned still finds a byte
//   disk_room           - free bytes and cluster size of the drive of a path
//   sector_size         - bytes per sector of a path's volume; 0 when the drive cannot say
//   flush_destination   - the destination's bytes handed to its medium
//   begin_progress      - a piece's progress window: status line, keyboard flushed, focus
//   restart_progress    - the same window's bar from empty, under another status line
//   end_progress        - the bar filled, then the pause after a piece
//   move_blocks         - the block loop: read, write (or not), CRC-32, step, Esc
//   repaint_main_window
#ifndef SLIVERDISK_JOB_STEPS_H
#define SLIVERDISK_JOB_STEPS_H

#include <windows.h>

#include <cstdint>

void error_box(const char* text);
// False when the user answered Cancel.
bool question_box(const char* text, const char* caption);
void note_box(const char* text);

void completion_ending();
void cancel_ending();
void repaint_main_window();

bool open_source(const char* path);
bool create_destination(const char* path);
void close_source();
// False when the close failed; the handle is given up either way.
bool close_destination();
HANDLE source_handle();
HANDLE destination_handle();

struct SourceSize {
    uint64_t bytes = 0;     // 0 when the seek to the end failed
    bool measured = false;  // the seek to the end worked
    bool at_start = false;  // the seek back worked: reading starts at the first byte
};
SourceSize measure_source();
bool seek_source(uint64_t offset);
bool cut_destination(uint64_t length);
// False when the read itself failed.
bool source_has_more(bool* more);

// Nothing free (0, 0) when the drive cannot say, or holds no disk.
struct DiskRoom {
    uint64_t free = 0;
    uint32_t cluster = 0;
};
DiskRoom disk_room(const char* path);
uint32_t sector_size(const char* path);
bool flush_destination();

void begin_progress(const char* status_prefix, const char* path, uint32_t steps);
void restart_progress(const char* status_prefix, const char* path, uint32_t steps);
void end_progress();

// How much of a file the block loop moves: exactly the planned bytes (a file that ends
// before them ended early); up to the first read that gives 0 bytes; or whole blocks, as a
// handle opened past the file cache must be read, until the planned bytes are reached or
// passed, a read gives 0 bytes, or a read leaves the offset off the sector grid, which only
// the file's end does.
enum class PieceEnd { planned_size, end_of_file, whole_sectors };
enum class Blocks { done, ended_early, read_failed, write_failed, cancelled };
// What the loop moved: the byte count and their CRC-32, going on from the values given.
struct BlockSum {
    uint64_t bytes = 0;
    uint32_t crc = 0;
};
// One run of the block loop: `from` read through the transfer buffer, every block written
// to `to` unless it is INVALID_HANDLE_VALUE (a file only read).
struct BlockLoop {
    HANDLE from = INVALID_HANDLE_VALUE;
    HANDLE to = INVALID_HANDLE_VALUE;
    uint64_t planned = 0;
    PieceEnd end = PieceEnd::planned_size;
    uint32_t sector = 0;    // PieceEnd::whole_sectors: the grid; 0 for a handle through the cache
    bool checksum = true;   // false where the bytes' CRC-32 is not wanted: it costs a pass
};
// One progress step a block; Esc is polled once a display frame and after the last block
// (Blocks::cancelled). Shows no box: what a failure means is the caller's to say.
Blocks move_blocks(const BlockLoop& loop, BlockSum& sum);

#endif
