// Media choice rules: the custom size parse and the window titles.
#include <doctest.h>

#include <string>

#include <windows.h>

#include "shell/media_rules.h"

namespace {
std::string capacity_text(uint32_t capacity)
{
    char text[kCapacityTextSize];
    format_capacity_text(capacity, text);
    return text;
}

std::string title(int index, uint32_t capacity)
{
    char text[kTitleTextSize] = "unchanged";
    format_window_title(index, capacity, text);
    return text;
}
} // namespace

TEST_CASE("number parse follows the C library's decimal rule, wrapping modulo 2^32")
{
    CHECK(parse_number("1400000") == 1400000u);
    CHECK(parse_number("  +1500") == 1500u);
    CHECK(parse_number(" \t\n\v\f\r7") == 7u);
    CHECK(parse_number("12abc") == 12u);
    CHECK(parse_number("abc") == 0u);
    CHECK(parse_number("") == 0u);
    CHECK(parse_number("+") == 0u);
    CHECK(parse_number("4294967295") == 4294967295u);
    CHECK(parse_number("4294967296") == 0u);
    CHECK(parse_number("5000000000") == 705032704u);
    CHECK(parse_number("999999999999") == 3567587327u);
    CHECK(parse_number("-1") == 4294967295u);
    CHECK(parse_number("-0") == 0u);
    CHECK(parse_number("--1") == 0u);  // one sign only
    CHECK(parse_number("1 2") == 1u);
}

TEST_CASE("every unsigned 32-bit value's decimal text parses back to itself")
{
    // The input box relies on it when it cannot be shown: the pre-filled text is kept.
    for (uint32_t v : {0u, 1u, 999u, 1000u, 65536u, 1400000u, 2147483647u, 2147483648u, 4294967295u}) {
        CAPTURE(v);
        CHECK(parse_number(std::to_string(v).c_str()) == v);
    }
}

TEST_CASE("capacity text groups thousands with commas and zero-pads the lower groups")
{
    CHECK(capacity_text(0) == "0 Bytes]");
    CHECK(capacity_text(999) == "999 Bytes]");
    CHECK(capacity_text(1000) == "1,000 Bytes]");
    CHECK(capacity_text(1001) == "1,001 Bytes]");
    CHECK(capacity_text(65536) == "65,536 Bytes]");
    CHECK(capacity_text(1000000) == "1,000,000 Bytes]");
    CHECK(capacity_text(1400000) == "1,400,000 Bytes]");
    CHECK(capacity_text(98000000) == "98,000,000 Bytes]");
    CHECK(capacity_text(1000000000) == "1,000,000,000 Bytes]");
    CHECK(capacity_text(1000000001) == "1,000,000,001 Bytes]");
    CHECK(capacity_text(4294967295u) == "4,294,967,295 Bytes]");
}

TEST_CASE("window titles name the media; only Custom shows the capacity")
{
    CHECK(title(kMediaFloppy, 5) == "Sliverdisk Utility - Media: Floppy");
    CHECK(title(kMediaZip, 5) == "Sliverdisk Utility - Media: Zip");
    CHECK(title(kMediaJaz, 5) == "Sliverdisk Utility - Media: Jaz");
    CHECK(title(kMediaCustom, 0) == "Sliverdisk Utility - Media: Custom [0 Bytes]");
    CHECK(title(kMediaCustom, 4294967295u) ==
          "Sliverdisk Utility - Media: Custom [4,294,967,295 Bytes]");
    CHECK(title(4, 5) == "unchanged");
    CHECK(title(-1, 5) == "unchanged");
}

namespace {
// A machine with removable drives at the letters listed, fixed disks at C: and Z:.
const char* g_removable_letters = "";
unsigned fake_drive_type(const char* root)
{
    for (const char* l = g_removable_letters; *l; ++l) {
        if (*l == root[0] && root[1] == ':' && root[2] == '\\' && root[3] == '\0')
            return DRIVE_REMOVABLE;
    }
    return root[0] == 'C' || root[0] == 'Z' ? DRIVE_FIXED : DRIVE_NO_ROOT_DIR;
}
char search_with(const char* removable)
{
    g_removable_letters = removable;
    return first_removable_drive(fake_drive_type);
}
} // namespace

TEST_CASE("drive search: the first removable letter from C: on; A: and B: are never probed")
{
    CHECK(search_with("AF") == 'F');
    CHECK(search_with("A") == 0);
    CHECK(search_with("AB") == 0);
    CHECK(search_with("GE") == 'E');
    CHECK(search_with("C") == 'C');
    CHECK(search_with("Z") == 'Z');
    CHECK(search_with("") == 0);
}
