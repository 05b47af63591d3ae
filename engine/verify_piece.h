// A piece just written, read back from its medium before the user takes the disk out.
//   verify_written_piece - flushes and closes the destination, opens the piece again past
//                          the file cache where the volume allows it, reads it back under
//                          "Verifying: " in the same progress window and compares its
//                          length and CRC-32 with what was written
#ifndef SLIVERDISK_VERIFY_PIECE_H
#define SLIVERDISK_VERIFY_PIECE_H

#include <cstdint>

// failed: the flush, the close, the open or a read failed, or other bytes came back.
enum class Verified { same, failed, cancelled };
Verified verify_written_piece(const char* piece_path, uint64_t size, uint32_t crc);

#endif
