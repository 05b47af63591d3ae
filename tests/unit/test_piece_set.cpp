// Piece set names, first-piece test, base, count encoding and piece arithmetic.
#include <doctest.h>

#include <cstring>
#include <string>

#include "engine/piece_set.h"

namespace {
std::string name_of(const char* base, uint32_t k)
{
    char out[kPieceNameSize];
    REQUIRE(piece_name(base, k, out, sizeof out));
    return out;
}
} // namespace

TEST_CASE("piece names are the base, an underscore and k in decimal without leading zeros")
{
    CHECK(name_of("A:\\REPORT.DOC", 1) == "A:\\REPORT.DOC_1");
    CHECK(name_of("A:\\REPORT.DOC", 9) == "A:\\REPORT.DOC_9");
    CHECK(name_of("A:\\REPORT.DOC", 10) == "A:\\REPORT.DOC_10");
    CHECK(name_of("A:\\REPORT.DOC", 4294967295u) == "A:\\REPORT.DOC_4294967295");
    CHECK(name_of("X_1", 2) == "X_1_2");

    char out[kPieceNameSize];
    REQUIRE(count_file_name("A:\\REPORT.DOC", out, sizeof out));
    CHECK(std::string(out) == "A:\\REPORT.DOC_Total");
}

TEST_CASE("names of the longest chosen path fit; a text too small is refused, not overrun")
{
    const std::string base(kPathTextSize - 1, 'x');
    char out[kPieceNameSize + 8];
    std::memset(out, '#', sizeof out);
    REQUIRE(piece_name(base.c_str(), 4294967295u, out, kPieceNameSize));
    CHECK(std::strlen(out) == base.size() + 11);
    CHECK(out[kPieceNameSize] == '#');  // nothing written behind the text
    REQUIRE(count_file_name(base.c_str(), out, kPieceNameSize));
    CHECK(std::string(out) == base + "_Total");

    char small[8];
    std::memset(small, '#', sizeof small);
    CHECK_FALSE(piece_name("ABCDE", 10, small, 8));
    CHECK(small[0] == '\0');
    CHECK(piece_name("ABCDE", 1, small, 8));  // "ABCDE_1" and its NUL fill it exactly
    CHECK(std::string(small) == "ABCDE_1");
    CHECK_FALSE(count_file_name("AB", small, 8));
}

TEST_CASE("first-piece test looks at the last two characters only")
{
    CHECK(is_first_piece("A:\\DATA_1"));
    CHECK(is_first_piece("_1"));
    CHECK(is_first_piece("X_1_1"));
    CHECK_FALSE(is_first_piece("A:\\DATA_11"));
    CHECK_FALSE(is_first_piece("A:\\DATA_21"));
    CHECK_FALSE(is_first_piece("A:\\DATA_2"));
    CHECK_FALSE(is_first_piece("A:\\DATA_Total"));
    CHECK_FALSE(is_first_piece("1"));
    CHECK_FALSE(is_first_piece(""));
}

TEST_CASE("base from first piece drops the final _1 and nothing else")
{
    char out[kPathTextSize];
    REQUIRE(base_from_first_piece("A:\\REPORT.DOC_1", out, sizeof out));
    CHECK(std::string(out) == "A:\\REPORT.DOC");
    REQUIRE(base_from_first_piece("X_1_1", out, sizeof out));
    CHECK(std::string(out) == "X_1");
    REQUIRE(count_file_name(out, out + 100, sizeof out - 100));
    CHECK(std::string(out + 100) == "X_1_Total");
}

TEST_CASE("the count is 4 bytes, least significant first, and round-trips")
{
    uint8_t bytes[4];
    encode_count(3, bytes);
    CHECK(bytes[0] == 3);
    CHECK(bytes[1] == 0);
    CHECK(bytes[2] == 0);
    CHECK(bytes[3] == 0);
    encode_count(0x12345678u, bytes);
    CHECK(bytes[0] == 0x78);
    CHECK(bytes[1] == 0x56);
    CHECK(bytes[2] == 0x34);
    CHECK(bytes[3] == 0x12);
    CHECK(decode_count(bytes) == 0x12345678u);
    const uint8_t top[4] = {0xff, 0xff, 0xff, 0xff};
    CHECK(decode_count(top) == 4294967295u);
}

TEST_CASE("piece count rounds up and never adds an empty last piece")
{
    const uint32_t c = 1400000;
    CHECK(piece_count(c, c) == 1);
    CHECK(piece_count(2 * c + 1, c) == 3);
    CHECK(piece_count(3 * c, c) == 3);
    CHECK(piece_count(3 * c - 1, c) == 3);
    CHECK(piece_count(4294967295u, 1) == 4294967295u);
    CHECK(piece_count(4294967295u, 4294967295u) == 1);
    CHECK(piece_count(10, 0) == 0);  // never divides by zero
}

TEST_CASE("piece count around 2^32 is exact in 64 bits; more than 4,294,967,295 does not fit")
{
    const uint64_t two32 = 1ull << 32;
    struct Case {
        uint64_t size;
        uint32_t capacity;
        uint64_t pieces;
    };
    const Case cases[] = {
        {two32 - 1, 1, 4294967295ull},      {two32, 1, two32},         {two32 + 1, 1, two32 + 1},
        {two32 - 1, 1u << 31, 2},           {two32, 1u << 31, 2},      {two32 + 1, 1u << 31, 3},
        {two32 - 1, 4294967295u, 1},        {two32, 4294967295u, 2},   {two32 + 1, 4294967295u, 2},
    };
    for (const Case& c : cases) {
        CAPTURE(c.size);
        CAPTURE(c.capacity);
        CHECK(piece_count(c.size, c.capacity) == c.pieces);
    }
    CHECK(piece_count(two32 - 1, 1) <= kMaxPieces);  // the last count the 4 bytes hold
    CHECK(piece_count(two32, 1) > kMaxPieces);
    CHECK(step_count(4294967295u) == 32768u);  // the largest piece's progress steps
}

TEST_CASE("set membership: the count file and numbered pieces of a base, without case")
{
    uint32_t k = 0;
    CHECK(set_file_of("A:\\DATA.BIN_Total", "A:\\DATA.BIN", &k) == SetFile::count_file);
    CHECK(set_file_of("a:\\data.bin_TOTAL", "A:\\DATA.BIN", &k) == SetFile::count_file);
    REQUIRE(set_file_of("A:\\Data.Bin_3", "A:\\DATA.BIN", &k) == SetFile::piece);
    CHECK(k == 3u);
    REQUIRE(set_file_of("A:\\DATA.BIN_4294967295", "A:\\DATA.BIN", &k) == SetFile::piece);
    CHECK(k == 4294967295u);
    for (const char* other : {"A:\\DATA.BIN", "A:\\DATA.BIN_", "A:\\DATA.BIN_03", "A:\\DATA.BIN_0",
                              "A:\\DATA.BIN_3x", "A:\\DATA.BIN_4294967296", "A:\\DATA.BIN_Totals",
                              "A:\\DATA.BI_3", "B:\\DATA.BIN_3", "A:\\DATA.BIN.BAK_3"}) {
        CAPTURE(other);
        CHECK(set_file_of(other, "A:\\DATA.BIN", &k) == SetFile::none);
    }
}

TEST_CASE("one progress step per transfer block, rounded up")
{
    CHECK(step_count(0) == 0);
    CHECK(step_count(1) == 1);
    CHECK(step_count(131072) == 1);
    CHECK(step_count(131073) == 2);
    CHECK(step_count(1400000) == 11);
    CHECK(step_count(0x1ffffffffull * 131072) == 4294967295u);  // clamped, not wrapped
}
