// Piece set names, first-piece test, base, count encoding, piece arithmetic and the check
// block in the count file.
#include <doctest.h>

#include <cstring>
#include <string>
#include <vector>

#include "engine/check_block.h"
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

namespace {
// "ABCDE" at a capacity of 3: pieces "ABC" and "DE". The CRCs were worked out with zlib:
// "ABCDE" 0x72D31AD5, "ABC" 0xA3830348, "DE" 0xD37A2DE1, the first 36 bytes 0x5C8310A9.
const uint8_t kAbcdeCountFile[40] = {
    0x02, 0x00, 0x00, 0x00,                          // N = 2
    'S',  'L',  'V',  'R',  'C',  'H',  'K',  '1',   // signature
    0x05, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,  // S = 5
    0x03, 0x00, 0x00, 0x00,                          // C = 3
    0xd5, 0x1a, 0xd3, 0x72,                          // CRC of the source
    0x48, 0x03, 0x83, 0xa3,                          // CRC of piece 1
    0xe1, 0x2d, 0x7a, 0xd3,                          // CRC of piece 2
    0xa9, 0x10, 0x83, 0x5c,                          // CRC of bytes 0 .. 35
};

CheckBlock examine(const std::vector<uint8_t>& bytes, CheckedSet* set)
{
    return examine_count_file(bytes.data(), bytes.size(), set);
}
} // namespace

TEST_CASE("a check block only where it fits: 28 + 4N <= 65,536 and 32 x (28 + 4N) <= C")
{
    CHECK(checked_count_file_size(3) == 44u);
    CHECK(has_check_block(3, 1280));   // 40 bytes, 32 x 40 = 1280
    CHECK_FALSE(has_check_block(3, 1279));
    CHECK_FALSE(has_check_block(1, 1000));  // a small medium keeps the 4-byte count alone
    CHECK(has_check_block(1, 1024));
    CHECK(has_check_block(16377, 4294967295u));  // 28 + 4 x 16377 = 65,536
    CHECK_FALSE(has_check_block(16378, 4294967295u));
    CHECK_FALSE(has_check_block(4294967295u, 4294967295u));  // no wrap in 32 bits
    CHECK(checked_count_file_size(16377) == kMaxCheckedCountFile);
}

TEST_CASE("the writer's block, byte for byte, and the reader finds the set in it")
{
    std::vector<uint8_t> image(64, 0xee);
    put_piece_crc(image.data(), 1, 0xA3830348u);
    put_piece_crc(image.data(), 2, 0xD37A2DE1u);
    seal_check_block(image.data(), 2, 5, 3, 0x72D31AD5u);
    CHECK(std::vector<uint8_t>(image.begin(), image.begin() + 40) ==
          std::vector<uint8_t>(kAbcdeCountFile, kAbcdeCountFile + 40));
    CHECK(image[40] == 0xee);  // nothing written behind the block

    CheckedSet set;
    REQUIRE(examine(std::vector<uint8_t>(kAbcdeCountFile, kAbcdeCountFile + 40), &set) ==
            CheckBlock::valid);
    CHECK(set.pieces == 2u);
    CHECK(set.source_size == 5u);
    CHECK(set.capacity == 3u);
    CHECK(set.source_crc == 0x72D31AD5u);
    CHECK(piece_crc(kAbcdeCountFile, 1) == 0xA3830348u);
    CHECK(piece_crc(kAbcdeCountFile, 2) == 0xD37A2DE1u);
    CHECK(checked_piece_size(set, 1) == 3u);
    CHECK(checked_piece_size(set, 2) == 2u);
}

TEST_CASE("a block is taken by its length or a signature within 8 bits; then any change is damage")
{
    const std::vector<uint8_t> good(kAbcdeCountFile, kAbcdeCountFile + 40);
    CheckedSet set;
    CHECK(examine({3, 0, 0, 0}, &set) == CheckBlock::none);
    CHECK(examine({3, 0, 0, 0, 0xff, 0xff}, &set) == CheckBlock::none);

    // Every bit of the block flipped in turn, the signature's among them: damage, never none.
    int not_damaged = 0;
    for (size_t i = 0; i < good.size(); ++i)
        for (int bit = 0; bit < 8; ++bit) {
            std::vector<uint8_t> changed = good;
            changed[i] ^= static_cast<uint8_t>(1 << bit);
            not_damaged += examine(changed, &set) != CheckBlock::damaged;
        }
    CHECK(not_damaged == 0);
    std::vector<uint8_t> longer = good;
    longer.push_back(0);
    CHECK(examine(longer, &set) == CheckBlock::damaged);
    CHECK(examine(std::vector<uint8_t>(good.begin(), good.end() - 1), &set) == CheckBlock::damaged);
    CHECK(examine(std::vector<uint8_t>(good.begin(), good.begin() + 12), &set) == CheckBlock::damaged);

    // The length a count of 2 gives, behind any signature; or 8 bits off ours at any length.
    std::vector<uint8_t> other = good;
    std::memcpy(&other[4], "OTHERSIG", 8);
    CHECK(examine(other, &set) == CheckBlock::damaged);
    other.push_back(0);
    CHECK(examine(other, &set) == CheckBlock::none);
    std::vector<uint8_t> near = good;
    near.push_back(0);
    near[4] ^= 0xff;  // 8 bits
    CHECK(examine(near, &set) == CheckBlock::damaged);
    near[5] ^= 0x01;  // 9
    CHECK(examine(near, &set) == CheckBlock::none);
}

TEST_CASE("a damaged block joins unchecked as many pieces as its length shows")
{
    std::vector<uint8_t> file(kAbcdeCountFile, kAbcdeCountFile + 40);
    CHECK(unchecked_piece_count(file.data(), 40) == 2u);
    file[0] = 1;  // the count went bad: the length still shows 2
    CHECK(unchecked_piece_count(file.data(), 40) == 2u);
    file[0] = 9;
    CHECK(unchecked_piece_count(file.data(), 40) == 2u);
    CHECK(unchecked_piece_count(file.data(), 41) == 9u);  // no whole N in the length
    CHECK(unchecked_piece_count(file.data(), 32) == 9u);  // none of at least 1
    CHECK(unchecked_piece_count(file.data(), 36) == 1u);
    file[0] = 1;
    CHECK(unchecked_piece_count(file.data(), 36) == 1u);  // count and length agree
}

TEST_CASE("file identity: an index of 0 tells nothing; clusters round a file's room up")
{
    const FileIdentity a{7, 0, 12}, b{7, 0, 12}, c{8, 0, 12}, unknown{7, 0, 0};
    CHECK(same_known_file(a, b));
    CHECK_FALSE(same_known_file(a, c));
    CHECK_FALSE(same_known_file(unknown, unknown));
    CHECK(same_known_file(FileIdentity{7, 1, 0}, FileIdentity{7, 1, 0}));

    CHECK(whole_clusters(0, 4096) == 0u);
    CHECK(whole_clusters(1, 4096) == 4096u);
    CHECK(whole_clusters(44, 4096) == 4096u);
    CHECK(whole_clusters(1400000, 4096) == 1400832u);  // as a floppy's tmpfs takes it
    CHECK(whole_clusters(1400000, 512) == 1400320u);
    CHECK(whole_clusters(4294967296ull + 1, 32768) == 4294967296ull + 32768);
    CHECK(whole_clusters(100, 0) == 100u);
}

TEST_CASE("a block that holds together but describes no set is damage")
{
    CheckedSet set;
    // Its own CRC holds, but N is not what S and C give, or C is 0.
    std::vector<uint8_t> image(64);
    seal_check_block(image.data(), 2, 7, 3, 0);  // 7 bytes at 3 are 3 pieces
    CHECK(examine_count_file(image.data(), 40, &set) == CheckBlock::damaged);
    seal_check_block(image.data(), 2, 5, 0, 0);
    CHECK(examine_count_file(image.data(), 40, &set) == CheckBlock::damaged);
    seal_check_block(image.data(), 0, 0, 3, 0);
    CHECK(examine_count_file(image.data(), 32, &set) == CheckBlock::damaged);
}
