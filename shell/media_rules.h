// Pure rules of the media choice: no window code, tested directly.
//   parse_number          - the C library's decimal rule, wrapping modulo 2^32
//   format_capacity_text  - "1,400,000 Bytes]" with comma groups whatever the locale
//   format_window_title   - the main window title for a media index; false for an unknown index
//   first_removable_drive - the first letter C to Z whose drive type is removable, or 0
#ifndef SLIVERDISK_MEDIA_RULES_H
#define SLIVERDISK_MEDIA_RULES_H

#include <cstddef>
#include <cstdint>

enum MediaIndex : int { kMediaFloppy = 0, kMediaZip = 1, kMediaJaz = 2, kMediaCustom = 3 };

constexpr uint32_t kFloppyCapacity = 1400000;
constexpr uint32_t kZipCapacity = 98000000;
constexpr uint32_t kJazCapacity = 1000000000;

// Longest title: product name, " - Media: Custom [", "4,294,967,295 Bytes]".
constexpr size_t kTitleTextSize = 96;
constexpr size_t kCapacityTextSize = 32;

uint32_t parse_number(const char* text);
void format_capacity_text(uint32_t capacity, char (&out)[kCapacityTextSize]);
bool format_window_title(int media_index, uint32_t capacity, char (&out)[kTitleTextSize]);

// Asks the drive type of a root text such as "E:\"; GetDriveTypeA in the program.
using DriveTypeQuery = unsigned (*)(const char* root);
char first_removable_drive(DriveTypeQuery drive_type);

#endif
