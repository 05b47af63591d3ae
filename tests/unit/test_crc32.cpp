// CRC-32: both paths against a plain bit-by-bit CRC and each other; the combination.
#include <doctest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "engine/crc32.h"

namespace {

// The definition itself, one bit at a time: nothing shared with the code under test.
uint32_t bitwise_crc32(const uint8_t* p, size_t size)
{
    uint32_t c = 0xFFFFFFFFu;
    for (size_t i = 0; i < size; ++i) {
        c ^= p[i];
        for (int bit = 0; bit < 8; ++bit)
            c = (c >> 1) ^ (0xEDB88320u & (0u - (c & 1)));
    }
    return ~c;
}

std::vector<uint8_t> random_buffer(size_t size, uint32_t seed)
{
    std::vector<uint8_t> out(size);
    for (auto& byte : out) {
        seed = seed * 1103515245u + 12345u;
        byte = static_cast<uint8_t>(seed >> 23);
    }
    return out;
}

}  // namespace

TEST_CASE("known values: the check value, the empty input, and the fast path's availability")
{
    const char* nine = "123456789";
    CHECK(crc32_table(0, nine, 9) == 0xCBF43926u);
    CHECK(crc32_update(0, nine, 9) == 0xCBF43926u);
    CHECK(crc32_table(0, "", 0) == 0u);
    CHECK(crc32_table(0, "a", 1) == 0xE8B7BE43u);
    const std::string fox = "The quick brown fox jumps over the lazy dog";
    CHECK(crc32_table(0, fox.data(), fox.size()) == 0x414FA339u);
    // Where this machine has carry-less multiply, the tests below compare both paths.
    MESSAGE("carry-less multiply path usable here: " << crc32_clmul_usable());
}

TEST_CASE("every length 0 to 300 at every start 0 to 15: both paths give the bitwise CRC")
{
    const std::vector<uint8_t> data = random_buffer(300 + 16, 7);
    const bool clmul = crc32_clmul_usable();
    for (size_t start = 0; start < 16; ++start) {
        for (size_t length = 0; length <= 300; ++length) {
            const uint8_t* p = data.data() + start;
            const uint32_t expected = bitwise_crc32(p, length);
            if (crc32_table(0, p, length) != expected || crc32_update(0, p, length) != expected ||
                (clmul && crc32_clmul(0, p, length) != expected)) {
                FAIL_CHECK("start " << start << ", length " << length);
                return;
            }
        }
    }
}

TEST_CASE("random buffers in uneven parts: each call goes on where the last stopped")
{
    const bool clmul = crc32_clmul_usable();
    for (uint32_t seed = 1; seed <= 8; ++seed) {
        const size_t size = 131072 + seed * 4099;
        const std::vector<uint8_t> data = random_buffer(size, seed);
        const uint32_t expected = bitwise_crc32(data.data(), size);
        CAPTURE(seed);
        CHECK(crc32_table(0, data.data(), size) == expected);
        if (clmul)
            CHECK(crc32_clmul(0, data.data(), size) == expected);
        // Parts of odd sizes: a part may start and end anywhere.
        uint32_t table = 0, fast = 0;
        for (size_t at = 0, part = seed; at < size; at += part, part = part * 3 + 1) {
            const size_t n = std::min(part, size - at);
            table = crc32_table(table, data.data() + at, n);
            fast = crc32_update(fast, data.data() + at, n);
        }
        CHECK(table == expected);
        CHECK(fast == expected);
    }
}

TEST_CASE("combine: the CRC of A then B from CRC(A), CRC(B) and B's length")
{
    const std::vector<uint8_t> data = random_buffer(5000, 99);
    for (size_t cut : {size_t(0), size_t(1), size_t(17), size_t(2500), size_t(4999), size_t(5000)}) {
        CAPTURE(cut);
        const uint32_t a = bitwise_crc32(data.data(), cut);
        const uint32_t b = bitwise_crc32(data.data() + cut, data.size() - cut);
        CHECK(crc32_combine(a, b, data.size() - cut) == bitwise_crc32(data.data(), data.size()));
    }
    // Lengths beyond what a buffer here can hold: 2^29 bytes is 2^32 bits, where the powers
    // of x come round again (x^(2^32) = x); twice 2^28 bytes must shift alike.
    const uint32_t start = 0x12345678u;
    CHECK(crc32_combine(start, 0, 1ull << 29) ==
          crc32_combine(crc32_combine(start, 0, 1ull << 28), 0, 1ull << 28));
}
