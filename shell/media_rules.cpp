// Pure rules of the media choice.
//   parse_number, format_capacity_text, format_window_title (see media_rules.h)
#include "shell/media_rules.h"

#include <windows.h>

#include "shell/program_state.h"

uint32_t parse_number(const char* text)
{
    const auto is_space = [](char c) {
        return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
    };
    while (is_space(*text))
        ++text;
    bool negative = false;
    if (*text == '+' || *text == '-')
        negative = *text++ == '-';
    uint32_t value = 0;  // unsigned arithmetic wraps modulo 2^32, as the rule wants
    while (*text >= '0' && *text <= '9')
        value = value * 10u + static_cast<uint32_t>(*text++ - '0');
    return negative ? 0u - value : value;
}

void format_capacity_text(uint32_t capacity, char (&out)[kCapacityTextSize])
{
    // Fixed comma groups: the title must read the same whatever the user's locale.
    const uint32_t q1 = capacity / 1000, q2 = q1 / 1000, q3 = q2 / 1000;
    if (q3 != 0)
        wsprintfA(out, "%u,%03u,%03u,%03u Bytes]", q3, q2 - 1000 * q3, q1 - 1000 * q2,
                  capacity - 1000 * q1);
    else if (q2 != 0)
        wsprintfA(out, "%u,%03u,%03u Bytes]", q2, q1 - 1000 * q2, capacity - 1000 * q1);
    else if (q1 != 0)
        wsprintfA(out, "%u,%03u Bytes]", q1, capacity - 1000 * q1);
    else
        wsprintfA(out, "%u Bytes]", capacity);
}

bool format_window_title(int media_index, uint32_t capacity, char (&out)[kTitleTextSize])
{
    switch (media_index) {
    case kMediaFloppy:
        wsprintfA(out, "%s - Media: Floppy", kProductName);
        return true;
    case kMediaZip:
        wsprintfA(out, "%s - Media: Zip", kProductName);
        return true;
    case kMediaJaz:
        wsprintfA(out, "%s - Media: Jaz", kProductName);
        return true;
    case kMediaCustom: {
        char capacity_text[kCapacityTextSize];
        wsprintfA(out, "%s - Media: Custom [", kProductName);
        format_capacity_text(capacity, capacity_text);
        lstrcatA(out, capacity_text);
        return true;
    }
    default:
        return false;
    }
}

char first_removable_drive(DriveTypeQuery drive_type)
{
    // A: and B: are never probed: they are the classic floppy letters, chosen by Floppy itself.
    char root[] = "C:\\";
    for (char letter = 'C'; letter <= 'Z'; ++letter) {
        root[0] = letter;
        if (drive_type(root) == DRIVE_REMOVABLE)
            return letter;
    }
    return 0;
}
