// The check block that a split writes into the count file right after the count, every
// number least significant byte first:
//   offset  4: the signature "SLVRCHK1"          offset 24: CRC-32 of the whole source
//   offset 12: source size S (8 bytes)           offset 28: CRC-32 of piece k, k = 1 .. N
//   offset 20: media capacity C                  offset 28 + 4N: CRC-32 of bytes 0 .. 27 + 4N
// A reader that knows only the count reads the first 4 bytes and ignores the rest.
//   kMaxCheckedCountFile    - the largest count file with a block: 4 + 65,536 bytes
//   kCountFileReadLimit     - how much of a count file the join reads: one byte more, so
//                             that a longer file shows
//   count_file_image        - the image of the count file a job builds or reads: a static
//                             record, the same one for both jobs
//   has_check_block         - whether a set of N pieces at capacity C gets a block
//   checked_count_file_size - 32 + 4N
//   put_piece_crc / seal_check_block - the writer: every piece's CRC, then the rest
//   examine_count_file      - the reader: no block, a valid one with the set it describes,
//                             or a damaged one
//   unchecked_piece_count   - how many pieces a damaged block's count file shows
//   piece_crc               - piece k's CRC in the image
//   checked_piece_size      - C for pieces 1 .. N-1, the rest of S for piece N
#ifndef SLIVERDISK_CHECK_BLOCK_H
#define SLIVERDISK_CHECK_BLOCK_H

#include <cstddef>
#include <cstdint>

constexpr uint32_t kMaxCheckBlock = 65536;
constexpr size_t kMaxCheckedCountFile = 4 + kMaxCheckBlock;
constexpr size_t kCountFileReadLimit = kMaxCheckedCountFile + 1;

uint8_t* count_file_image();

bool has_check_block(uint32_t pieces, uint32_t capacity);
uint32_t checked_count_file_size(uint32_t pieces);

void put_piece_crc(uint8_t* image, uint32_t k, uint32_t crc);
void seal_check_block(uint8_t* image, uint32_t pieces, uint64_t source_size, uint32_t capacity,
                      uint32_t source_crc);

struct CheckedSet {
    uint32_t pieces = 0;
    uint64_t source_size = 0;
    uint32_t capacity = 0;
    uint32_t source_crc = 0;
};
enum class CheckBlock { none, valid, damaged };
// A file longer than the count is taken for a block, and must then hold together, when its
// length is the one its count gives (32 + 4N) or its signature is within 8 bits of ours: a
// bit gone bad in the signature must not turn checking off. Any other file has no block.
CheckBlock examine_count_file(const uint8_t* image, size_t length, CheckedSet* set);
// For a join without checking after the user's OK: N from the count where the length agrees
// with it, otherwise from the length (32 + 4N), where that gives a whole N of at least 1, so
// that a damaged count never ends the join before the pieces the file shows.
uint32_t unchecked_piece_count(const uint8_t* image, size_t length);
uint32_t piece_crc(const uint8_t* image, uint32_t k);
uint64_t checked_piece_size(const CheckedSet& set, uint32_t k);

#endif
