// Piece set names and the count record. Pure: no platform calls, so they are tested directly.
//   piece_name, count_file_name, is_first_piece, base_from_first_piece,
//   encode_count, decode_count, piece_count, step_count (see piece_set.h)
#include "engine/piece_set.h"

#include <cstring>

namespace {

constexpr char kCountSuffix[] = "_Total";
constexpr uint32_t kBlock = 131072;  // the transfer block size; one progress step each

bool join(const char* base, const char* suffix, char* out, size_t size)
{
    const size_t base_length = std::strlen(base);
    const size_t suffix_length = std::strlen(suffix);
    if (size == 0)
        return false;
    if (base_length + suffix_length + 1 > size) {
        out[0] = '\0';
        return false;
    }
    std::memcpy(out, base, base_length);
    std::memcpy(out + base_length, suffix, suffix_length + 1);
    return true;
}

} // namespace

bool piece_name(const char* base, uint32_t k, char* out, size_t size)
{
    char digits[kLongestSuffix + 1];
    char* p = digits + sizeof digits;
    *--p = '\0';
    do {
        *--p = static_cast<char>('0' + k % 10);
        k /= 10;
    } while (k != 0);
    *--p = '_';
    return join(base, p, out, size);
}

bool count_file_name(const char* base, char* out, size_t size)
{
    return join(base, kCountSuffix, out, size);
}

bool is_first_piece(const char* path)
{
    const size_t length = std::strlen(path);
    return length >= 2 && path[length - 2] == '_' && path[length - 1] == '1';
}

bool base_from_first_piece(const char* first_piece, char* out, size_t size)
{
    const size_t length = std::strlen(first_piece);
    const size_t base_length = length >= 2 ? length - 2 : 0;
    if (size == 0)
        return false;
    if (base_length + 1 > size) {
        out[0] = '\0';
        return false;
    }
    std::memcpy(out, first_piece, base_length);
    out[base_length] = '\0';
    return true;
}

void encode_count(uint32_t n, uint8_t* four_bytes)
{
    for (uint32_t i = 0; i < kCountFileBytes; ++i)
        four_bytes[i] = static_cast<uint8_t>(n >> (8 * i));
}

uint32_t decode_count(const uint8_t* four_bytes)
{
    uint32_t n = 0;
    for (uint32_t i = kCountFileBytes; i-- > 0;)
        n = (n << 8) | four_bytes[i];
    return n;
}

uint32_t piece_count(uint32_t source_size, uint32_t capacity)
{
    if (capacity == 0)
        return 0;
    const uint32_t n = source_size / capacity;
    return n * capacity == source_size ? n : n + 1;
}

uint32_t step_count(uint64_t piece_size)
{
    const uint64_t steps = piece_size / kBlock + (piece_size % kBlock != 0 ? 1 : 0);
    return steps > UINT32_MAX ? UINT32_MAX : static_cast<uint32_t>(steps);
}
