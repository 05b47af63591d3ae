// Files just written, read back from their medium before the user takes the disk out or
// the job says it is done.
//   verify_written_piece - flushes and closes the destination, then read_back
//   verify_written_copy  - flushes and closes the destination, then reads it back past the
//                          cache and compares it byte for byte with what was written (the
//                          count file: small, and read back without a progress window)
//   read_back            - opens a closed file again past the file cache where the volume
//                          allows it, reads it under "Verifying: " in the progress window
//                          shown, and compares its length and CRC-32 with the given ones
#ifndef SLIVERDISK_VERIFY_PIECE_H
#define SLIVERDISK_VERIFY_PIECE_H

#include <cstdint>

// differs: the file was read back whole, and is not what was written; failed: the flush,
// the close, the open or a read failed.
enum class Verified { same, differs, failed, cancelled };
Verified verify_written_piece(const char* path, uint64_t size, uint32_t crc);
Verified verify_written_copy(const char* path, const uint8_t* bytes, uint32_t size);
Verified read_back(const char* path, uint64_t size, uint32_t crc);

#endif
