// The check block's rules and the one count file image. Pure but for the image's storage.
//   count_file_image, has_check_block, checked_count_file_size, put_piece_crc,
//   seal_check_block, examine_count_file, unchecked_piece_count, piece_crc,
//   checked_piece_size (see check_block.h)
//   put_le / get_le - numbers of 4 or 8 bytes, least significant first
//   signature_distance / looks_like_block - the reader's test for a block, damaged or not
#include "engine/check_block.h"

#include "engine/crc32.h"
#include "engine/piece_set.h"

namespace {

constexpr char kSignature[8] = {'S', 'L', 'V', 'R', 'C', 'H', 'K', '1'};
constexpr size_t kSignatureAt = 4;
constexpr size_t kSourceSizeAt = 12;
constexpr size_t kCapacityAt = 20;
constexpr size_t kSourceCrcAt = 24;
constexpr size_t kPieceCrcsAt = 28;
// The count and the block's fixed fields: signature, S, C, the source's CRC and its own.
constexpr uint64_t kFixedBytes = 32;
// A block must leave disk 1 room for piece 1: it may take at most 1/32 of a medium.
constexpr uint64_t kMediumShare = 32;
// Another writer's bytes after a count are unlikely to come this close to the signature by
// chance; a signature damaged in a few bits still does.
constexpr int kSignatureSlack = 8;

// The split fills it with the CRCs as it checks the source; the join reads the count file
// into it. At most 64 KiB and 5 bytes, so it is static rather than allocated.
struct CountFileRecord {
    uint8_t bytes[kCountFileReadLimit];
};
CountFileRecord g_count_file;

void put_le(uint8_t* at, uint64_t value, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        at[i] = static_cast<uint8_t>(value >> (8 * i));
}

uint64_t get_le(const uint8_t* at, int bytes)
{
    uint64_t value = 0;
    for (int i = bytes; i-- > 0;)
        value = (value << 8) | at[i];
    return value;
}

// Everything after the count: 28 + 4N bytes.
uint64_t block_bytes(uint64_t pieces)
{
    return kFixedBytes - 4 + 4 * pieces;
}

size_t own_crc_at(uint32_t pieces)
{
    return kPieceCrcsAt + 4 * static_cast<size_t>(pieces);
}

int signature_distance(const uint8_t* image)
{
    int bits = 0;
    for (size_t i = 0; i < sizeof kSignature; ++i)
        for (uint8_t d = image[kSignatureAt + i] ^ static_cast<uint8_t>(kSignature[i]); d; d &= d - 1)
            ++bits;
    return bits;
}

bool looks_like_block(const uint8_t* image, size_t length)
{
    if (length <= kCountFileBytes)
        return false;
    if (length == 4 + block_bytes(decode_count(image)))
        return true;
    return length >= kSignatureAt + sizeof kSignature &&
           signature_distance(image) <= kSignatureSlack;
}

} // namespace

uint8_t* count_file_image()
{
    return g_count_file.bytes;
}

bool has_check_block(uint32_t pieces, uint32_t capacity)
{
    const uint64_t block = block_bytes(pieces);
    return block <= kMaxCheckBlock && kMediumShare * block <= capacity;
}

uint32_t checked_count_file_size(uint32_t pieces)
{
    return static_cast<uint32_t>(4 + block_bytes(pieces));
}

void put_piece_crc(uint8_t* image, uint32_t k, uint32_t crc)
{
    put_le(image + kPieceCrcsAt + 4 * static_cast<size_t>(k - 1), crc, 4);
}

void seal_check_block(uint8_t* image, uint32_t pieces, uint64_t source_size, uint32_t capacity,
                      uint32_t source_crc)
{
    encode_count(pieces, image);
    for (size_t i = 0; i < sizeof kSignature; ++i)
        image[kSignatureAt + i] = static_cast<uint8_t>(kSignature[i]);
    put_le(image + kSourceSizeAt, source_size, 8);
    put_le(image + kCapacityAt, capacity, 4);
    put_le(image + kSourceCrcAt, source_crc, 4);
    const size_t own = own_crc_at(pieces);
    put_le(image + own, crc32_update(0, image, own), 4);
}

CheckBlock examine_count_file(const uint8_t* image, size_t length, CheckedSet* set)
{
    if (!looks_like_block(image, length))
        return CheckBlock::none;
    // From here on the file says it has a block: anything that does not hold is damage.
    const uint32_t pieces = decode_count(image);
    if (length != 4 + block_bytes(pieces) || signature_distance(image) != 0 || pieces == 0)
        return CheckBlock::damaged;
    const size_t own = own_crc_at(pieces);
    if (crc32_update(0, image, own) != get_le(image + own, 4))
        return CheckBlock::damaged;
    CheckedSet found;
    found.pieces = pieces;
    found.source_size = get_le(image + kSourceSizeAt, 8);
    found.capacity = static_cast<uint32_t>(get_le(image + kCapacityAt, 4));
    found.source_crc = static_cast<uint32_t>(get_le(image + kSourceCrcAt, 4));
    if (found.capacity == 0 || piece_count(found.source_size, found.capacity) != pieces)
        return CheckBlock::damaged;
    *set = found;
    return CheckBlock::valid;
}

uint32_t unchecked_piece_count(const uint8_t* image, size_t length)
{
    const uint32_t counted = decode_count(image);
    if (length == 4 + block_bytes(counted) || length < kFixedBytes + 4 ||
        (length - kFixedBytes) % 4 != 0)
        return counted;
    return static_cast<uint32_t>((length - kFixedBytes) / 4);
}

uint32_t piece_crc(const uint8_t* image, uint32_t k)
{
    return static_cast<uint32_t>(get_le(image + kPieceCrcsAt + 4 * static_cast<size_t>(k - 1), 4));
}

uint64_t checked_piece_size(const CheckedSet& set, uint32_t k)
{
    return k < set.pieces ? set.capacity
                          : set.source_size - static_cast<uint64_t>(set.pieces - 1) * set.capacity;
}
