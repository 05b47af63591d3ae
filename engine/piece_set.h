// Names and the count record of a piece set: one count file plus pieces numbered from 1,
// all named from the base path the user chose.
//   kPathTextSize / kPieceNameSize - a chosen path, and a chosen path plus eleven characters
//   piece_name          - base + "_k" (decimal, no leading zeros)
//   count_file_name     - base + "_Total"
//   is_first_piece      - the path ends in "_1"
//   base_from_first_piece - the first piece's path without its "_1"
//   encode_count / decode_count - N as 4 bytes, least significant first
//   piece_count         - how many media a source of S bytes needs at C bytes each
//   kMaxPieces          - the most pieces the 4-byte count can describe
//   step_count          - progress steps for a piece: one per transfer block, rounded up
//   set_file_of         - whether a path names the count file or a numbered piece of a base
//   same_known_file     - whether two files' identities show one file
//   whole_clusters      - the room a file of a size takes on a disk of a cluster size
#ifndef SLIVERDISK_PIECE_SET_H
#define SLIVERDISK_PIECE_SET_H

#include <cstddef>
#include <cstdint>

// A path text as the choosers return it (the platform's 260-character limit, with its NUL).
constexpr size_t kPathTextSize = 260;
// "_4294967295" is the longest suffix: eleven characters behind the longest chosen path.
constexpr size_t kLongestSuffix = 11;
constexpr size_t kPieceNameSize = kPathTextSize + kLongestSuffix;
constexpr uint32_t kCountFileBytes = 4;

// Each returns false, leaving `out` empty, when the name does not fit in `size` bytes.
bool piece_name(const char* base, uint32_t k, char* out, size_t size);
bool count_file_name(const char* base, char* out, size_t size);

bool is_first_piece(const char* path);
bool base_from_first_piece(const char* first_piece, char* out, size_t size);

void encode_count(uint32_t n, uint8_t* four_bytes);
uint32_t decode_count(const uint8_t* four_bytes);

// 64-bit: a source of 4 GiB or more at a small capacity needs more pieces than 32 bits hold.
uint64_t piece_count(uint64_t source_size, uint32_t capacity);
constexpr uint64_t kMaxPieces = UINT32_MAX;
uint32_t step_count(uint64_t piece_size);

// Which file of the set named from `base` a path is, letters compared without case (ASCII):
// the count file, piece k (decimal k without leading zeros, in *k), or none of them.
enum class SetFile { none, count_file, piece };
SetFile set_file_of(const char* path, const char* base, uint32_t* k);

// A file as the platform identifies it: its volume's serial number and its index there.
struct FileIdentity {
    uint32_t volume = 0;
    uint32_t index_high = 0;
    uint32_t index_low = 0;
};
// Some network file systems give every file the index 0: such an identity tells nothing, and
// two of them are never taken for one file.
bool same_known_file(const FileIdentity& a, const FileIdentity& b);

// A disk gives room in whole clusters; a cluster size of 0 (unknown) counts bytes.
uint64_t whole_clusters(uint64_t size, uint32_t cluster);

#endif
