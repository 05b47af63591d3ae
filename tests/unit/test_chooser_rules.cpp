// Path rules around the choosers: trailing backslash, default extension, copy-back,
// folder of a confirmed path, destination name, drive root.
#include <doctest.h>

#include <cstring>
#include <string>

#include "engine/chooser_rules.h"
#include "engine/job_steps.h"

namespace {
std::string with_backslash(const char* text)
{
    char buffer[64];
    std::strcpy(buffer, text);
    apply_trailing_backslash(buffer, sizeof buffer);
    return buffer;
}

std::string default_extension(const char* filter)
{
    char out[64];
    std::memset(out, '#', sizeof out);
    make_default_extension(filter, out, sizeof out);
    return out;
}
} // namespace

TEST_CASE("trailing backslash rule")
{
    CHECK(with_backslash("A:\\") == "A:\\");
    CHECK(with_backslash("A:\\SUB") == "A:\\SUB\\");
    CHECK(with_backslash("C:\\DATA") == "C:\\DATA\\");
    CHECK(with_backslash("") == "");

    // At the limit of its text a folder keeps its length instead of running past the end.
    char full[8] = "C:\\ABCD";
    full[7] = '\0';
    apply_trailing_backslash(full, sizeof full);
    CHECK(std::string(full) == "C:\\ABCD");
    char room[9] = "C:\\ABCD";
    apply_trailing_backslash(room, sizeof room);
    CHECK(std::string(room) == "C:\\ABCD\\");
}

TEST_CASE("default extension: without its period, and none for a wildcard")
{
    CHECK(default_extension("*.*") == "");
    CHECK(default_extension(".DOC") == "DOC");
    CHECK(default_extension(".DOC_1") == "DOC_1");
    CHECK(default_extension("") == "");
    CHECK(default_extension(".*") == "");
    CHECK(default_extension("?x") == "");
    CHECK(default_extension("TXT") == "TXT");
}

TEST_CASE("copy-back takes the name and the period with the extension at the returned offsets")
{
    char name[64];
    char filter[64];
    // C:\DATA\REPORT.DOC: name at 8, extension at 15
    copy_back("C:\\DATA\\REPORT.DOC", 8, 15, name, filter, sizeof name);
    CHECK(std::string(name) == "REPORT.DOC");
    CHECK(std::string(filter) == ".DOC");

    copy_back("A:\\REPORT.DOC_1", 3, 10, name, filter, sizeof name);
    CHECK(std::string(name) == "REPORT.DOC_1");
    CHECK(std::string(filter) == ".DOC_1");

    SUBCASE("a name without extension empties the type filter, whichever way it is reported")
    {
        // Wine reports no extension as offset 0, Windows as the offset of the terminating zero.
        for (unsigned none : {0u, 14u, 15u}) {
            CAPTURE(none);
            copy_back("C:\\DATA\\BACKUP", 8, none, name, filter, sizeof name);
            CHECK(std::string(name) == "BACKUP");
            CHECK(std::string(filter) == "");
        }
        copy_back("C:\\DATA\\BACKUP.", 8, 15, name, filter, sizeof name);
        CHECK(std::string(filter) == "");
    }
    SUBCASE("a cancelled chooser (both offsets 0) keeps the initial name, empties the filter")
    {
        copy_back("REPORT.DOC", 0, 0, name, filter, sizeof name);
        CHECK(std::string(name) == "REPORT.DOC");
        CHECK(std::string(filter) == "");
    }
    SUBCASE("offsets past the text read nothing behind it")
    {
        copy_back("AB", 40, 50, name, filter, sizeof name);
        CHECK(std::string(name) == "");
        CHECK(std::string(filter) == "");
    }
    SUBCASE("the copy-back may read its own result as input")
    {
        std::strcpy(name, "REPORT.DOC");
        copy_back(name, 0, 0, name, filter, sizeof name);
        CHECK(std::string(name) == "REPORT.DOC");
    }
}

TEST_CASE("folder of a confirmed path is the text before the name, ending in a backslash")
{
    char out[64];
    REQUIRE(folder_of_chosen_path("C:\\DATA\\REPORT.DOC", 8, out, sizeof out));
    CHECK(std::string(out) == "C:\\DATA\\");
    REQUIRE(folder_of_chosen_path("A:\\REPORT.DOC_1", 3, out, sizeof out));
    CHECK(std::string(out) == "A:\\");
    CHECK_FALSE(folder_of_chosen_path("REPORT.DOC", 0, out, sizeof out));
    CHECK_FALSE(folder_of_chosen_path("AB", 9, out, sizeof out));
}

TEST_CASE("destination name and drive root")
{
    char out[64];
    drop_last_two("REPORT.DOC_1", out, sizeof out);
    CHECK(std::string(out) == "REPORT.DOC");
    drop_last_two("X", out, sizeof out);
    CHECK(std::string(out) == "");

    char root[4];
    drive_root("A:\\REPORT.DOC", root);
    CHECK(std::string(root) == "A:\\");
    CHECK(has_drive_letter("A:\\REPORT.DOC"));
    CHECK(has_drive_letter("z:x"));
    CHECK_FALSE(has_drive_letter("\\\\server\\share\\x"));  // its root comes from the platform
    CHECK_FALSE(has_drive_letter("1:\\x"));
    CHECK_FALSE(has_drive_letter("A"));

    // A network path's root comes from the platform where it has the call, and otherwise
    // is formed as before, a root the platform refuses.
    const VolumePathFinder share_root = [](LPCSTR, LPSTR out, DWORD) WINAPI -> BOOL {
        lstrcpyA(out, "\\\\server\\share\\");
        return TRUE;
    };
    char found[MAX_PATH];
    REQUIRE(free_space_root("\\\\server\\share\\x", share_root, found, sizeof found));
    CHECK(std::string(found) == "\\\\server\\share\\");
    REQUIRE(free_space_root("\\\\server\\share\\x", nullptr, found, sizeof found));
    CHECK(std::string(found) == "\\:\\");
    REQUIRE(free_space_root("b:\\x", share_root, found, sizeof found));
    CHECK(std::string(found) == "b:\\");

    // Such a path's root comes from the platform; it once counted as no room at all.
    char here[MAX_PATH];
    REQUIRE(GetCurrentDirectoryA(sizeof here, here) > 0);
    const DiskRoom room = disk_room(("\\\\?\\" + std::string(here) + "\\x.bin").c_str());
    CHECK(room.free > 0);
    CHECK(room.cluster > 0);
}
