// Piece set names and the count record. Pure: no platform calls, so they are tested directly.
//   piece_name, count_file_name, is_first_piece, base_from_first_piece,
//   encode_count, decode_count, piece_count, step_count, set_file_of, same_known_file,
//   whole_clusters (see piece_set.h)
#include "engine/piece_set.h"

#include <cstring>

namespace {

constexpr char kCountSuffix[] = "_Total";
constexpr uint32_t kBlock = 131072;  // the transfer block size; one progress step each

char fold(char c)
{
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

// Compares the first `length` characters without case; `text` may be shorter.
bool starts_with_folded(const char* text, const char* prefix, size_t length)
{
    for (size_t i = 0; i < length; ++i) {
        if (text[i] == '\0' || fold(text[i]) != fold(prefix[i]))
            return false;
    }
    return true;
}

bool equal_folded(const char* a, const char* b)
{
    const size_t length = std::strlen(b);
    return std::strlen(a) == length && starts_with_folded(a, b, length);
}

// "_k" with k a decimal number from 1 to 4,294,967,295, no sign, no leading zero.
bool parse_piece_suffix(const char* suffix, uint32_t* k)
{
    if (suffix[0] != '_' || suffix[1] < '1' || suffix[1] > '9')
        return false;
    uint64_t value = 0;
    for (const char* p = suffix + 1; *p != '\0'; ++p) {
        if (*p < '0' || *p > '9')
            return false;
        value = value * 10 + static_cast<uint64_t>(*p - '0');
        if (value > UINT32_MAX)
            return false;
    }
    *k = static_cast<uint32_t>(value);
    return true;
}

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

uint64_t piece_count(uint64_t source_size, uint32_t capacity)
{
    if (capacity == 0)
        return 0;
    const uint64_t n = source_size / capacity;
    return n * capacity == source_size ? n : n + 1;
}

SetFile set_file_of(const char* path, const char* base, uint32_t* k)
{
    const size_t base_length = std::strlen(base);
    if (!starts_with_folded(path, base, base_length))
        return SetFile::none;
    const char* suffix = path + base_length;
    if (equal_folded(suffix, kCountSuffix))
        return SetFile::count_file;
    return parse_piece_suffix(suffix, k) ? SetFile::piece : SetFile::none;
}

uint32_t step_count(uint64_t piece_size)
{
    const uint64_t steps = piece_size / kBlock + (piece_size % kBlock != 0 ? 1 : 0);
    return steps > UINT32_MAX ? UINT32_MAX : static_cast<uint32_t>(steps);
}

bool same_known_file(const FileIdentity& a, const FileIdentity& b)
{
    const bool known = a.index_high != 0 || a.index_low != 0;
    return known && a.volume == b.volume && a.index_high == b.index_high &&
           a.index_low == b.index_low;
}

uint64_t whole_clusters(uint64_t size, uint32_t cluster)
{
    if (cluster == 0)
        return size;
    const uint64_t clusters = size / cluster + (size % cluster != 0 ? 1 : 0);
    return clusters * cluster;
}
