// What goes wrong in real use: a piece that is a folder or held by another program, a
// medium pulled out between pieces, a disk that gives back other bytes than it took, a
// source changed while it is split, a disk full before the next piece on drives of either
// sector size, with and without the free-space call of later Windows, and floods of job
// commands.
#include <doctest.h>

#include "driver/engine_helpers.h"
#include "driver/fault_injection.h"
#include "driver/ui_driver.h"

using eng::Kind;
using eng::win;

namespace {

const std::string kStandBy = "StandBy...";
const std::string kNote = "Note...";
const std::string kNext = "Insert Next Disk!";
const std::string kComplete = "Copy Complete!";
const std::string kRetry = "Trouble Opening Source File...\nPossibly Wrong Disk Order! Try Another Disk.";
constexpr uint32_t kPiece = 200000;

// A three-piece set written by split -b in one folder, with its count file.
struct Set {
    std::string unix_dir, dir, base, source;
};

Set make_set(const std::string& name)
{
    Set set;
    set.unix_dir = drv::test_folder(name);
    set.dir = win(set.unix_dir);
    set.base = set.dir + "\\DATA.BIN";
    set.source = drv::random_bytes(2 * kPiece + 999, 77);
    REQUIRE(drv::write_file(set.dir + "\\source", set.source));
    REQUIRE(drv::host_command("cd '" + set.unix_dir + "' && split -b " + std::to_string(kPiece) +
                              " -d -a 1 source piece_ && mv piece_0 DATA.BIN_1 && "
                              "mv piece_1 DATA.BIN_2 && mv piece_2 DATA.BIN_3 && rm source"));
    REQUIRE(drv::write_file(set.base + "_Total", eng::count_bytes(3)));
    return set;
}

// A Media command changes the title only once the job has ended and the menu works again.
bool wait_menu_unlocked(drv::Program& app)
{
    const std::string zip = "Sliverdisk Utility - Media: Zip";
    const bool unlocked = drv::wait_until([&] {
        app.command(IDM_MEDIA_ZIP);
        return app.wait_title(zip, 100);
    }, 10000);
    app.command(IDM_MEDIA_FLOPPY);
    return unlocked && app.wait_title("Sliverdisk Utility - Media: Floppy");
}

} // namespace

TEST_CASE("re-assemble: a piece that cannot be opened brings the retry box until it is repaired")
{
    drv::Program app;
    REQUIRE(app.start());
    const std::string out = win(drv::test_folder("fault_join_out")) + "\\DATA.BIN";

    SUBCASE("the piece is a folder of the same name")
    {
        const Set set = make_set("fault_folder_piece");
        const std::string piece2 = eng::file_bytes(set.base + "_2");
        REQUIRE(DeleteFileA((set.base + "_2").c_str()));
        REQUIRE(CreateDirectoryA((set.base + "_2").c_str(), nullptr));
        REQUIRE(eng::start_reassemble(app, set.base + "_1", out));
        eng::expect_box(app, Kind::question, kStandBy, kNext);
        eng::expect_box(app, Kind::question, "Error", kRetry);
        eng::expect_box_then(app, Kind::question, "Error", kRetry, [&] {
            REQUIRE(RemoveDirectoryA((set.base + "_2").c_str()));
            REQUIRE(drv::write_file(set.base + "_2", piece2));
        });
        eng::expect_box(app, Kind::question, kStandBy, kNext);
        eng::expect_box(app, Kind::note, kNote, kComplete);
        CHECK(eng::file_bytes(out) == set.source);
    }
    SUBCASE("the piece is held open by another program without sharing")
    {
        const Set set = make_set("fault_locked_piece");
        HANDLE lock = CreateFileA((set.base + "_3").c_str(), GENERIC_READ, 0, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        REQUIRE(lock != INVALID_HANDLE_VALUE);
        REQUIRE(eng::start_reassemble(app, set.base + "_1", out));
        eng::expect_box(app, Kind::question, kStandBy, kNext);
        eng::expect_box(app, Kind::question, kStandBy, kNext);
        eng::expect_box_then(app, Kind::question, "Error", kRetry, [&] { CloseHandle(lock); });
        eng::expect_box(app, Kind::note, kNote, kComplete);
        CHECK(eng::file_bytes(out) == set.source);
    }
}

TEST_CASE("split: the medium is pulled out after \"Insert Next Disk!\"; nothing written is lost")
{
    const std::string root = drv::test_folder("fault_pulled_medium");
    const std::string drive = root + "/drive";
    drv::Medium medium(drive, 600000);
    REQUIRE(medium.mounted());
    REQUIRE(drv::set_drive('A', drive));
    const std::string source = drv::random_bytes(2 * kPiece + 5, 91);
    REQUIRE(drv::write_file(win(root) + "\\S.BIN", source));

    drv::Program app;
    REQUIRE(app.start());
    REQUIRE(eng::set_custom_size(app, kPiece));
    REQUIRE(eng::start_split(app, win(root) + "\\S.BIN", "A:\\S.BIN"));
    eng::expect_box(app, Kind::question, kStandBy,
                    "Total Number Of Pre-Formatted Disks Required = 3");
    // The user takes disk 1 out and confirms with the drive empty.
    eng::expect_box_then(app, Kind::question, kStandBy, kNext, [&] {
        REQUIRE(eng::move_all("A:", win(root + "/disk1")));
        REQUIRE(drv::remove_drive('A'));
    });
    // An empty drive reports no free space: the question repeats, with no system dialog.
    eng::expect_box(app, Kind::question, "Warning...", "Not Enough FreeSpace On Disk!\nTry Another.");
    eng::expect_box_then(app, Kind::question, "Warning...",
                         "Not Enough FreeSpace On Disk!\nTry Another.",
                         [&] { REQUIRE(drv::set_drive('A', drive)); });
    eng::expect_box_then(app, Kind::question, kStandBy, kNext,
                         [&] { REQUIRE(eng::move_all("A:", win(root + "/disk2"))); });
    eng::expect_box(app, Kind::note, kNote, kComplete);
    REQUIRE(eng::move_all("A:", win(root + "/disk3")));

    CHECK(eng::file_bytes(win(root + "/disk1") + "\\S.BIN_Total") ==
          eng::checked_count_file(source, kPiece));
    CHECK(eng::file_bytes(win(root + "/disk1") + "\\S.BIN_1") == source.substr(0, kPiece));
    CHECK(eng::file_bytes(win(root + "/disk2") + "\\S.BIN_2") == source.substr(kPiece, kPiece));
    CHECK(eng::file_bytes(win(root + "/disk3") + "\\S.BIN_3") == source.substr(2 * kPiece));
}

TEST_CASE("split: a disk that gives back other bytes fails verification; another takes its part")
{
    const std::string root = drv::test_folder("fault_verification");
    const std::string drive = root + "/drive";
    drv::Medium medium(drive, 600000);
    REQUIRE(medium.mounted());
    REQUIRE(drv::set_drive('A', drive));
    const std::string source = drv::random_bytes(2 * kPiece + 5, 92);
    REQUIRE(drv::write_file(win(root) + "\\S.BIN", source));
    auto disk = [&](const std::string& name) { return win(root + "/" + name); };
    const std::vector<std::string> disk_1 = {"S.BIN_1", "S.BIN_Total"};

    // The check reads pieces 1 and 2 in two blocks each and piece 3 in one; then the count
    // file is read back in one read, and piece 1 is copied in two: the 6th read is the count
    // file's from disk 1, the 9th the first of piece 1's.
    struct Case {
        LONG read;
        std::vector<std::string> left_on_failed_disk;
    };
    for (const Case& t : {Case{6, {"S.BIN_Total"}}, Case{9, disk_1}}) {
        CAPTURE(t.read);
        for (const char* name : {"failed", "disk1", "disk2", "disk3"})
            drv::test_folder(std::string("fault_verification/") + name);
        drv::Program app;
        drv::FaultControlBlock faults;
        REQUIRE(drv::start_with_injector(app, faults));
        REQUIRE(eng::set_custom_size(app, kPiece));
        faults.arm(kChangedRead, t.read);
        REQUIRE(eng::start_split(app, win(root) + "\\S.BIN", "A:\\S.BIN"));
        eng::expect_box(app, Kind::question, kStandBy,
                        "Total Number Of Pre-Formatted Disks Required = 3");
        // The user puts in another disk; the count file goes with piece 1 onto it.
        eng::expect_box_then(app, Kind::question, "Warning...",
                             "Disk Failed Verification!\nInsert Another Disk.",
                             [&] { REQUIRE(eng::move_all("A:", disk("failed"))); });
        eng::expect_box_then(app, Kind::question, kStandBy, kNext,
                             [&] { REQUIRE(eng::move_all("A:", disk("disk1"))); });
        eng::expect_box_then(app, Kind::question, kStandBy, kNext,
                             [&] { REQUIRE(eng::move_all("A:", disk("disk2"))); });
        eng::expect_box(app, Kind::note, kNote, kComplete);
        REQUIRE(eng::move_all("A:", disk("disk3")));
        CHECK(faults.fired());

        // The failed disk keeps what was written to it, as every file stays.
        CHECK(eng::files_in(disk("failed")) == t.left_on_failed_disk);
        CHECK(eng::files_in(disk("disk1")) == disk_1);
        CHECK(eng::file_bytes(disk("disk1") + "\\S.BIN_Total") ==
              eng::checked_count_file(source, kPiece));
        CHECK(eng::file_bytes(disk("disk1") + "\\S.BIN_1") == source.substr(0, kPiece));
        CHECK(eng::file_bytes(disk("disk2") + "\\S.BIN_2") == source.substr(kPiece, kPiece));
        CHECK(eng::file_bytes(disk("disk3") + "\\S.BIN_3") == source.substr(2 * kPiece));
    }
}

TEST_CASE("split: a source changed or cut short while it is split stops it; the set stays as far as it got")
{
    const std::string root = drv::test_folder("fault_source_changes");
    const std::string out = win(root) + "\\out";
    REQUIRE(CreateDirectoryA(out.c_str(), nullptr));
    const std::string source = drv::random_bytes(2 * kPiece + 5, 93);
    struct Case {
        const char* change;  // run on the host at the first "Insert Next Disk!"
        std::string error;
    };
    // Another program writes or cuts the file behind the program's back: the host's own
    // calls know nothing of the handle's sharing.
    for (const Case& t : {Case{"printf x | dd of=S.BIN bs=1 seek=250000 conv=notrunc status=none",
                               "Source File Changed During Copy... Copy Cancelled!"},
                          Case{"truncate -s 250000 S.BIN",
                               "Trouble Reading Source File... Copy Cancelled!"}}) {
        CAPTURE(t.change);
        REQUIRE(drv::write_file(win(root) + "\\S.BIN", source));
        drv::Program app;
        REQUIRE(app.start());
        REQUIRE(eng::set_custom_size(app, kPiece));
        REQUIRE(eng::start_split(app, win(root) + "\\S.BIN", out + "\\S.BIN"));
        eng::expect_box(app, Kind::question, kStandBy,
                        "Total Number Of Pre-Formatted Disks Required = 3");
        eng::expect_box_then(app, Kind::question, kStandBy, kNext, [&] {
            REQUIRE(drv::host_command("cd '" + root + "' && " + t.change));
        });
        eng::expect_box(app, Kind::error, "Error", t.error);
        eng::expect_box(app, Kind::note, kNote, "Copy Cancelled By User!");
        CHECK(eng::ends_without_box(app));
        CHECK(eng::file_bytes(out + "\\S.BIN_1") == source.substr(0, kPiece));
        CHECK_FALSE(drv::file_exists(out + "\\S.BIN_3"));
    }
}

TEST_CASE("split: read-backs keep to the sector size; free space with or without the Ex call")
{
    for (const DWORD sector : {512u, 4096u}) {
        CAPTURE(sector);
        const bool hide_ex = sector == 4096;  // as on the first Windows 95
        const std::string root = drv::test_folder("fault_sector_" + std::to_string(sector));
        const std::string drive = root + "/drive";
        // Piece 1 and the count file leave less room than piece 2 takes.
        drv::Medium medium(drive, 300000);
        REQUIRE(medium.mounted());
        REQUIRE(drv::set_drive('A', drive));
        const std::string source = drv::random_bytes(2 * kPiece + 5, 93);
        REQUIRE(drv::write_file(win(root) + "\\S.BIN", source));
        auto disk = [&](const std::string& name) { return win(root + "/" + name); };

        drv::Program app;
        drv::FaultControlBlock faults;
        REQUIRE(drv::start_with_injector(app, faults));
        faults.sector_size(sector);
        faults.hide_free_space_ex(hide_ex);
        REQUIRE(eng::set_custom_size(app, kPiece));
        REQUIRE(eng::start_split(app, win(root) + "\\S.BIN", "A:\\S.BIN"));
        eng::expect_box(app, Kind::question, kStandBy,
                        "Total Number Of Pre-Formatted Disks Required = 3");
        // The user forgets to change the disk, then does.
        eng::expect_box(app, Kind::question, kStandBy, kNext);
        eng::expect_box_then(app, Kind::question, "Warning...",
                             "Not Enough FreeSpace On Disk!\nTry Another.",
                             [&] { REQUIRE(eng::move_all("A:", disk("disk1"))); });
        eng::expect_box_then(app, Kind::question, kStandBy, kNext,
                             [&] { REQUIRE(eng::move_all("A:", disk("disk2"))); });
        eng::expect_box(app, Kind::note, kNote, kComplete);
        REQUIRE(eng::move_all("A:", disk("disk3")));

        CHECK(eng::file_bytes(disk("disk1") + "\\S.BIN_Total") ==
              eng::checked_count_file(source, kPiece));
        CHECK(eng::file_bytes(disk("disk1") + "\\S.BIN_1") == source.substr(0, kPiece));
        CHECK(eng::file_bytes(disk("disk2") + "\\S.BIN_2") == source.substr(kPiece, kPiece));
        CHECK(eng::file_bytes(disk("disk3") + "\\S.BIN_3") == source.substr(2 * kPiece));
        int unbuffered = 0;
        for (const LoggedCall& c : faults.log())
            unbuffered += c.function == kCreateFileA && (c.flags & kNoBuffering);
        CHECK(unbuffered >= 3);
        CHECK(faults.unbuffered_violations() == 0);
        CHECK((faults.calls(kGetDiskFreeSpaceExA) > 0) == !hide_ex);
    }
}

TEST_CASE("job commands: dropped while a job runs and never replayed; between jobs each runs once")
{
    drv::Program app;
    REQUIRE(app.start());

    SUBCASE("a flood during a job")
    {
        app.command(IDM_COPY_TO_FLOPPIES);
        HWND chooser = app.wait_dialog(eng::kSplitSource);
        REQUIRE(chooser != nullptr);
        for (int i = 0; i < 25; ++i) {
            app.command(IDM_COPY_TO_FLOPPIES);
            app.command(IDM_REASSEMBLE);
        }
        REQUIRE(app.wait_messages_handled());
        CHECK(app.dialogs().size() == 1u);
        REQUIRE(app.cancel_chooser(eng::kSplitSource));
        // The dropped commands are gone: no job starts afterwards.
        CHECK(eng::ends_without_box(app));
    }
    SUBCASE("commands one after another, each as soon as the last job ended")
    {
        for (int i = 0; i < 8; ++i) {
            const bool split = i % 2 == 0;
            CAPTURE(i);
            app.command(split ? IDM_COPY_TO_FLOPPIES : IDM_REASSEMBLE);
            REQUIRE(app.cancel_chooser(split ? eng::kSplitSource : eng::kJoinSource));
            // The chooser is gone a moment before its job has returned and the menu unlocks;
            // a command in that moment is dropped like any other during a job.
            REQUIRE(wait_menu_unlocked(app));
        }
        CHECK(eng::ends_without_box(app));
    }
}
