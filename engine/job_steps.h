// What the split and the re-assemble job share: the two file handles, the three box kinds,
// the two endings, the free-space measure and the transfer of one piece.
//   error_box / question_box / note_box - modal boxes owned by the main window
//   completion_ending / cancel_ending   - close whatever is open, then say how it ended
//   open_source / create_destination / close_source / close_destination / destination_handle
//   measure_source      - the open source's full size; seeks back to its start (a source
//                         that cannot be set back is not read: transfer_piece refuses it)
//   free_space          - free bytes on the drive of a path; 0 when the drive cannot say
//   transfer_piece      - one piece from the source to the destination, block by block,
//                         with its progress window
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
void close_destination();
HANDLE destination_handle();
uint64_t measure_source();
uint64_t free_space(const char* path);

// How much of the source makes up the piece: the split knows the piece's size (a source
// that ends before it is a read fault), the re-assemble job reads until a read gives 0 bytes.
enum class PieceEnd { planned_size, end_of_file };

// Returns false when the job must take the cancel ending: Esc, or a failed read or write, or
// a source left at its end by a failed seek back (whose error box is already shown).
// `planned` is the piece's size for the step count, and for PieceEnd::planned_size the
// number of bytes to move.
bool transfer_piece(const char* status_prefix, const char* piece_path, uint64_t planned,
                    PieceEnd end);

#endif
