// Helpers for the copy engine's UI tests (see engine_helpers.h).
#include "driver/engine_helpers.h"

#include "driver/job_runner.h"

#include <doctest.h>

#include <algorithm>
#include <cstring>

#include "resources/resource.h"

namespace eng {

bool check_box(drv::Program& app, Kind kind, const std::string& caption, const std::string& text,
               const std::function<void()>& meanwhile, int button, DWORD timeout_ms);

const char kNoteCaption[] = "Note...";
const char kStandByCaption[] = "StandBy...";
const char kWarningCaption[] = "Warning...";
const char kCopyComplete[] = "Copy Complete!";
const char kCopyCancelled[] = "Copy Cancelled By User!";
const char kNotEnoughFreeSpace[] = "Not Enough FreeSpace On Disk!\nTry Another.";

std::string disks_required(uint32_t n)
{
    return "Total Number Of Pre-Formatted Disks Required = " + std::to_string(n);
}

const char kSplitSource[] = "Copy To Floppies: Select Source File";
const char kSplitDestination[] = "Copy To Floppies: Select Destination File";
const char kJoinSource[] = "Copy From Floppies: Select Source File";
const char kJoinDestination[] = "Copy From Floppies: Select Destination File";

std::string win(const std::string& unix_path)
{
    return drv::windows_path(unix_path);
}

std::vector<std::string> files_in(const std::string& windows_dir)
{
    std::vector<std::string> names;
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((windows_dir + "\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return names;
    do {
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
            names.push_back(found.cFileName);
    } while (FindNextFileA(search, &found));
    FindClose(search);
    std::sort(names.begin(), names.end());
    return names;
}

bool move_all(const std::string& from, const std::string& to)
{
    CreateDirectoryA(to.c_str(), nullptr);
    bool ok = true;
    for (const auto& name : files_in(from))
        ok = MoveFileExA((from + "\\" + name).c_str(), (to + "\\" + name).c_str(),
                         MOVEFILE_COPY_ALLOWED | MOVEFILE_REPLACE_EXISTING) && ok;
    return ok;
}

std::string file_bytes(const std::string& windows_file)
{
    std::string bytes;
    if (!drv::read_file(windows_file, bytes))
        return "<unreadable>";
    return bytes;
}

uint64_t file_size(const std::string& windows_file)
{
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExA(windows_file.c_str(), GetFileExInfoStandard, &data))
        return UINT64_MAX;
    return (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

namespace {
std::string little_endian(uint64_t value, int bytes)
{
    std::string out(bytes, '\0');
    for (int i = 0; i < bytes; ++i)
        out[i] = static_cast<char>(value >> (8 * i));
    return out;
}
}  // namespace

std::string count_bytes(uint32_t n)
{
    return little_endian(n, 4);
}

uint32_t crc32_of(const std::string& bytes)
{
    uint32_t c = 0xFFFFFFFFu;
    for (unsigned char byte : bytes) {
        c ^= byte;
        for (int bit = 0; bit < 8; ++bit)
            c = (c >> 1) ^ (0xEDB88320u & (0u - (c & 1)));
    }
    return ~c;
}

std::string checked_count_file(const std::string& source, uint32_t capacity)
{
    const uint32_t pieces = static_cast<uint32_t>((source.size() + capacity - 1) / capacity);
    std::string file = count_bytes(pieces) + "SLVRCHK1" + little_endian(source.size(), 8) +
                       little_endian(capacity, 4) + little_endian(crc32_of(source), 4);
    for (size_t at = 0; at < source.size(); at += capacity)
        file += little_endian(crc32_of(source.substr(at, capacity)), 4);
    file += little_endian(crc32_of(file), 4);
    return file;
}

void reseal(std::string& count_file)
{
    count_file.replace(count_file.size() - 4, 4,
                       little_endian(crc32_of(count_file.substr(0, count_file.size() - 4)), 4));
}

bool make_sparse(const std::string& unix_file, uint64_t size)
{
    return drv::host_command("rm -f '" + unix_file + "' && truncate -s " + std::to_string(size) +
                             " '" + unix_file + "'");
}

std::vector<std::string> reference_pieces(const std::string& unix_source, uint32_t capacity)
{
    const std::string dir = drv::test_folder("reference");
    std::vector<std::string> pieces;
    if (!drv::host_command("cd '" + dir + "' && split -b " + std::to_string(capacity) +
                           " -d -a 4 '" + unix_source + "' ref_"))
        return pieces;
    for (const auto& name : files_in(win(dir)))
        pieces.push_back(file_bytes(win(dir) + "\\" + name));
    return pieces;
}

bool expect_box(drv::Program& app, Kind kind, const std::string& caption,
                const std::string& text, int button, DWORD timeout_ms)
{
    return check_box(app, kind, caption, text, nullptr, button, timeout_ms);
}

bool expect_box_then(drv::Program& app, Kind kind, const std::string& caption,
                     const std::string& text, const std::function<void()>& meanwhile, int button)
{
    return check_box(app, kind, caption, text, meanwhile, button, kBoxTimeout);
}

bool check_box(drv::Program& app, Kind kind, const std::string& caption, const std::string& text,
               const std::function<void()>& meanwhile, int button, DWORD timeout_ms)
{
    drv::Box box;
    if (!app.wait_box(box, timeout_ms)) {
        FAIL_CHECK("no box came; expected \"" << text << "\"");
        return false;
    }
    INFO("box: " << box.describe());
    const std::vector<std::string> ok_only = {"OK"};
    const std::vector<std::string> ok_cancel = {"OK", "Cancel"};
    bool matched = box.caption == caption && box.text == text;
    CHECK(box.caption == caption);
    CHECK(box.text == text);
    CHECK(box.buttons == (kind == Kind::question ? ok_cancel : ok_only));
    // Only a run with the display to itself reads the icon (see drv::RunSetting).
    if (drv::run_setting().own_display)
        CHECK((kind == Kind::error ? box.error_icon : box.information_icon));
    CHECK(box.owner == app.main_window());
    if (meanwhile)
        meanwhile();
    app.answer(box, button);
    return matched;
}

void expect_cancel_ending(drv::Program& app)
{
    expect_box(app, Kind::note, kNoteCaption, kCopyCancelled);
    CHECK(ends_without_box(app));
}

bool ends_without_box(drv::Program& app)
{
    return app.wait_idle() && app.wait_messages_handled() && app.idle() && app.dialogs().empty();
}

bool set_custom_size(drv::Program& app, uint32_t bytes)
{
    return drv::set_capacity(app, bytes);
}

bool job(drv::Program& app, UINT command)
{
    if (drv::start_job(app, command))
        return true;
    FAIL_CHECK("the job command " << command << " brought no chooser");
    return false;
}

bool choose_over_existing(drv::Program& app, const std::string& chooser_title,
                          const std::string& path)
{
    HWND chooser = app.wait_dialog(chooser_title);
    if (!chooser)
        return false;
    SetDlgItemTextA(chooser, 1148, path.c_str());
    PostMessageA(chooser, WM_COMMAND, IDOK, 0);
    drv::Box question;
    if (!app.wait_box(question))
        return false;
    app.answer(question, IDYES);  // waits until it is gone
    return drv::wait_until([&] { return !IsWindow(chooser) || !IsWindowVisible(chooser); });
}

bool start_split(drv::Program& app, const std::string& source, const std::string& destination)
{
    if (!job(app, IDM_COPY_TO_FLOPPIES))
        return false;
    return app.choose_file(kSplitSource, source) && app.choose_file(kSplitDestination, destination);
}

bool start_reassemble(drv::Program& app, const std::string& first_piece,
                      const std::string& destination)
{
    if (!job(app, IDM_REASSEMBLE))
        return false;
    return app.choose_file(kJoinSource, first_piece) &&
           app.choose_file(kJoinDestination, destination);
}

}  // namespace eng
