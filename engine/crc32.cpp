// CRC-32 by two paths that give the same values, and their combination.
//   crc32_update, crc32_table, crc32_clmul, crc32_clmul_usable, crc32_combine (see crc32.h)
//   make_tables       - the slicing-by-8 tables, built by the compiler
//   multiply_mod_p    - a product of two polynomials modulo the CRC's, bit-reflected
//   fold_clmul        - the carry-less multiply kernel over whole 16-byte blocks
// The program's processor baseline is the Pentium Pro: the kernel alone is compiled for
// PCLMULQDQ and SSE2, through a target attribute, and runs only after the run-time test.
#include "engine/crc32.h"

#include <windows.h>

#include <atomic>
#include <cpuid.h>
#include <cstring>
#include <emmintrin.h>
#include <wmmintrin.h>

namespace {

constexpr uint32_t kPolynomial = 0xEDB88320u;
constexpr size_t kClmulMinimum = 64;  // the kernel folds four 16-byte lanes at once

struct Crc32Tables {
    uint32_t t[8][256];
};

constexpr Crc32Tables make_tables()
{
    Crc32Tables tables{};
    for (uint32_t n = 0; n < 256; ++n) {
        uint32_t c = n;
        for (int bit = 0; bit < 8; ++bit)
            c = (c & 1) ? (c >> 1) ^ kPolynomial : c >> 1;
        tables.t[0][n] = c;
    }
    // t[k][n]: the byte n followed by k zero bytes, so eight bytes are looked up at once.
    for (uint32_t n = 0; n < 256; ++n)
        for (int k = 1; k < 8; ++k)
            tables.t[k][n] = (tables.t[k - 1][n] >> 8) ^ tables.t[0][tables.t[k - 1][n] & 0xff];
    return tables;
}

// Static data, made at compile time: nothing to set up or allocate at run time.
constexpr Crc32Tables kTables = make_tables();

// Bit 31 is x^0: the CRC's own reflected order.
constexpr uint32_t multiply_mod_p(uint32_t a, uint32_t b)
{
    uint32_t product = 0;
    for (uint32_t m = 1u << 31; m != 0; m >>= 1) {
        if (a & m)
            product ^= b;
        b = (b & 1) ? (b >> 1) ^ kPolynomial : b >> 1;
    }
    return product;
}

struct PowersOfX {
    uint32_t p[32];  // x^(2^k) modulo the polynomial
};

constexpr PowersOfX make_powers()
{
    PowersOfX powers{};
    powers.p[0] = 1u << 30;  // x^1
    for (int k = 1; k < 32; ++k)
        powers.p[k] = multiply_mod_p(powers.p[k - 1], powers.p[k - 1]);
    return powers;
}

constexpr PowersOfX kPowers = make_powers();

enum CrcPath : int { kPathUnknown, kPathTable, kPathClmul };

// Decided once, on the first CRC; a second thread deciding at the same time decides alike.
struct Crc32Record {
    std::atomic<int> path{kPathUnknown};
};
Crc32Record g_crc32;

#define CLMUL_TARGET __attribute__((target("pclmul,sse2")))

CLMUL_TARGET inline __m128i load16(const void* at)
{
    return _mm_loadu_si128(static_cast<const __m128i*>(at));
}

// acc times x^(128+32) and x^(128-32) (in k), folded onto the 16 bytes that follow it.
CLMUL_TARGET inline __m128i fold16(__m128i acc, __m128i k, __m128i next)
{
    const __m128i low = _mm_clmulepi64_si128(acc, k, 0x00);
    return _mm_xor_si128(_mm_xor_si128(_mm_clmulepi64_si128(acc, k, 0x11), low), next);
}

// Folds whole 16-byte blocks (at least four of them) into the register value `reg` (the
// CRC before its final xor) and returns the new register value. Four lanes are folded 64
// bytes ahead at a time, then into one, then reduced to 32 bits (Barrett reduction); the
// constants are powers of x modulo the polynomial, bit-reflected.
CLMUL_TARGET uint32_t fold_clmul(uint32_t reg, const uint8_t* p, size_t size)
{
    const uint64_t k1k2[2] = {0x0154442bd4ull, 0x01c6e41596ull};  // x^(4*128+32), x^(4*128-32)
    const uint64_t k3k4[2] = {0x01751997d0ull, 0x00ccaa009eull};  // x^(128+32), x^(128-32)
    const uint64_t k5[2] = {0x0163cd6124ull, 0};                   // x^64
    const uint64_t poly[2] = {0x01db710641ull, 0x01f7011641ull};   // P and floor(x^64 / P)

    __m128i x1 = _mm_xor_si128(load16(p), _mm_cvtsi32_si128(static_cast<int>(reg)));
    __m128i x2 = load16(p + 16);
    __m128i x3 = load16(p + 32);
    __m128i x4 = load16(p + 48);
    p += 64;
    size -= 64;

    __m128i k = load16(k1k2);
    for (; size >= 64; p += 64, size -= 64) {
        x1 = fold16(x1, k, load16(p));
        x2 = fold16(x2, k, load16(p + 16));
        x3 = fold16(x3, k, load16(p + 32));
        x4 = fold16(x4, k, load16(p + 48));
    }

    // The four lanes into one, then every further 16 bytes into it.
    k = load16(k3k4);
    x1 = fold16(x1, k, x2);
    x1 = fold16(x1, k, x3);
    x1 = fold16(x1, k, x4);
    for (; size >= 16; p += 16, size -= 16)
        x1 = fold16(x1, k, load16(p));

    // 128 bits to 64, then to 32.
    const __m128i low32 = _mm_setr_epi32(-1, 0, -1, 0);
    x1 = _mm_xor_si128(_mm_srli_si128(x1, 8), _mm_clmulepi64_si128(x1, k, 0x10));
    const __m128i high = _mm_srli_si128(x1, 4);
    x1 = _mm_xor_si128(_mm_clmulepi64_si128(_mm_and_si128(x1, low32), load16(k5), 0x00), high);

    k = load16(poly);
    __m128i t = _mm_clmulepi64_si128(_mm_and_si128(x1, low32), k, 0x10);
    t = _mm_clmulepi64_si128(_mm_and_si128(t, low32), k, 0x00);
    x1 = _mm_xor_si128(x1, t);
    return static_cast<uint32_t>(_mm_cvtsi128_si32(_mm_srli_si128(x1, 4)));
}

using ProcessorFeatureTest = BOOL(WINAPI*)(DWORD feature);

} // namespace

uint32_t crc32_table(uint32_t crc, const void* data, size_t size)
{
    const auto* p = static_cast<const uint8_t*>(data);
    const auto& t = kTables.t;
    uint32_t c = ~crc;
    for (; size >= 8; p += 8, size -= 8) {
        uint32_t one, two;
        std::memcpy(&one, p, 4);
        std::memcpy(&two, p + 4, 4);
        one ^= c;
        c = t[7][one & 0xff] ^ t[6][(one >> 8) & 0xff] ^ t[5][(one >> 16) & 0xff] ^
            t[4][one >> 24] ^ t[3][two & 0xff] ^ t[2][(two >> 8) & 0xff] ^
            t[1][(two >> 16) & 0xff] ^ t[0][two >> 24];
    }
    for (; size > 0; ++p, --size)
        c = t[0][(c ^ *p) & 0xff] ^ (c >> 8);
    return ~c;
}

uint32_t crc32_clmul(uint32_t crc, const void* data, size_t size)
{
    if (size < kClmulMinimum)
        return crc32_table(crc, data, size);
    const auto* p = static_cast<const uint8_t*>(data);
    const size_t whole_blocks = size & ~static_cast<size_t>(15);
    const uint32_t reg = fold_clmul(~crc, p, whole_blocks);
    return crc32_table(~reg, p + whole_blocks, size - whole_blocks);
}

bool crc32_clmul_usable()
{
    unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
    if (!__get_cpuid(1, &eax, &ebx, &ecx, &edx) || !(ecx & bit_PCLMUL) || !(edx & bit_SSE2))
        return false;
    // The processor having the instructions is not enough: a system that does not save the
    // XMM registers (Windows 95, and 98 without SSE2 support) would let threads overwrite
    // each other's. Windows 95 lacks the question itself; looked up, not imported, so that
    // the program still starts there.
    const auto present = reinterpret_cast<ProcessorFeatureTest>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleA("KERNEL32.DLL"), "IsProcessorFeaturePresent")));
    return present && present(PF_XMMI64_INSTRUCTIONS_AVAILABLE);
}

uint32_t crc32_update(uint32_t crc, const void* data, size_t size)
{
    int path = g_crc32.path.load(std::memory_order_relaxed);
    if (path == kPathUnknown) {
        path = crc32_clmul_usable() ? kPathClmul : kPathTable;
        g_crc32.path.store(path, std::memory_order_relaxed);
    }
    return path == kPathClmul ? crc32_clmul(crc, data, size) : crc32_table(crc, data, size);
}

uint32_t crc32_combine(uint32_t first, uint32_t second, uint64_t second_size)
{
    // CRC(A then B) = CRC(A) x^(8 |B|) + CRC(B): the initial and final xors cancel out.
    // x^(8n) is built from x^(2^k); the powers repeat after 32 since x^(2^32 - 1) = 1.
    uint32_t shift = 1u << 31;  // x^0
    for (unsigned k = 3; second_size != 0; second_size >>= 1, ++k) {
        if (second_size & 1)
            shift = multiply_mod_p(kPowers.p[k & 31], shift);
    }
    return multiply_mod_p(shift, first) ^ second;
}
