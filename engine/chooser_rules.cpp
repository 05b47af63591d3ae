// Path rules around the file choosers.
//   apply_trailing_backslash, make_default_extension, copy_back, folder_of_chosen_path,
//   drop_last_two, drive_root, has_drive_letter,
//   free_space_root (see chooser_rules.h)
#include "engine/chooser_rules.h"

#include <cstring>

namespace {

// Copies at most `count` characters of `from` and always terminates inside `size`.
void copy_part(const char* from, size_t count, char* out, size_t size)
{
    if (size == 0)
        return;
    if (count > size - 1)
        count = size - 1;
    std::memmove(out, from, count);
    out[count] = '\0';
}

} // namespace

void apply_trailing_backslash(char* text, size_t size)
{
    const size_t length = std::strlen(text);
    if (length == 0 || text[length - 1] == '\\')
        return;
    // A folder text at the very limit has no room left; it stays as it is rather than
    // running past its end.
    if (length + 2 > size)
        return;
    text[length] = '\\';
    text[length + 1] = '\0';
}

void make_default_extension(const char* type_filter, char* out, size_t size)
{
    // The dialog appends this text after a period of its own, so the filter's period must go,
    // and a wildcard is no extension at all: a bare name must not come back as "name.*.*".
    const char* extension = type_filter[0] == '.' ? type_filter + 1 : type_filter;
    if (std::strpbrk(extension, "*?") != nullptr)
        extension = "";
    copy_part(extension, std::strlen(extension), out, size);
}

void copy_back(const char* chosen, unsigned name_offset, unsigned extension_offset,
               char* file_name, char* type_filter, size_t size)
{
    const size_t length = std::strlen(chosen);
    // Offsets come from the platform; one past the text would read behind its end.
    const size_t name_at = name_offset <= length ? name_offset : length;
    copy_part(chosen + name_at, length - name_at, file_name, size);
    // No extension is reported as 0 by some dialogs and as the offset of the terminating
    // zero by others; either way the name's last character is no type filter.
    if (extension_offset == 0 || extension_offset >= length) {
        copy_part("", 0, type_filter, size);
        return;
    }
    const size_t filter_at = extension_offset - 1;
    copy_part(chosen + filter_at, length - filter_at, type_filter, size);
}

bool folder_of_chosen_path(const char* chosen, unsigned name_offset, char* out, size_t size)
{
    const size_t length = std::strlen(chosen);
    if (name_offset == 0 || name_offset > length || name_offset + 1 > size)
        return false;
    copy_part(chosen, name_offset, out, size);
    apply_trailing_backslash(out, size);
    return true;
}

void drop_last_two(const char* text, char* out, size_t size)
{
    const size_t length = std::strlen(text);
    copy_part(text, length >= 2 ? length - 2 : 0, out, size);
}

void drive_root(const char* path, char out[4])
{
    out[0] = path[0];
    out[1] = ':';
    out[2] = '\\';
    out[3] = '\0';
}

bool has_drive_letter(const char* path)
{
    const char c = static_cast<char>(path[0] | 0x20);
    return c >= 'a' && c <= 'z' && path[1] == ':';
}

bool free_space_root(const char* path, VolumePathFinder find, char* root, size_t size)
{
    if (size < 4)
        return false;
    if (has_drive_letter(path) || !find) {
        drive_root(path, root);
        return true;
    }
    return find(path, root, static_cast<DWORD>(size)) != FALSE;
}
