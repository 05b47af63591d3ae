// Split jobs that must end early: every refusal writes nothing and is followed by the cancel
// ending; a source that cannot be opened or a cancelled source chooser ends the job quietly.
// Also the free-space question, a medium too full for the count file, Esc during the check
// and during a piece, and chosen paths at the length limit.
#include <doctest.h>

#include "driver/engine_helpers.h"
#include "driver/fault_injection.h"
#include "driver/job_runner.h"
#include "driver/ui_driver.h"

using eng::Kind;
using eng::win;

namespace {
const std::string kCancelled = "Copy Cancelled By User!";
const std::string kNote = "Note...";
const std::string kStandBy = "StandBy...";
const std::string kError = "Error";  // the platform's caption for a box given none

void expect_cancel_ending(drv::Program& app)
{
    eng::expect_box(app, Kind::note, kNote, kCancelled);
    CHECK(eng::ends_without_box(app));
}

// Whether this platform creates a file whose full name has that many characters, in that
// folder: the program passes its names on as they are, so the platform decides.
bool platform_creates_name_of(const std::string& folder, size_t length)
{
    const std::string path = folder + std::string(length - folder.size(), 'p');
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    CloseHandle(file);
    DeleteFileA(path.c_str());
    return true;
}
}  // namespace

TEST_CASE("split refusals: nothing written, and the right box before the cancel ending")
{
    const uint32_t c = eng::kFloppyCapacity;
    const std::string root = drv::test_folder("split_refusals");
    const std::string media = win(root + "/media");
    REQUIRE(CreateDirectoryA(media.c_str(), nullptr));
    const std::string small = win(root + "/SMALL.BIN");
    const std::string empty = win(root + "/EMPTY.BIN");
    const std::string exact = win(root + "/Exact.Bin");
    REQUIRE(drv::write_file(small, drv::random_bytes(c - 1, 1)));
    REQUIRE(drv::write_file(empty, ""));
    REQUIRE(drv::write_file(exact, drv::random_bytes(c, 2)));
    const std::string huge_unix = root + "/HUGE.BIN";
    drv::Cleanup remove_huge([&] { drv::host_command("rm -f '" + huge_unix + "'"); });
    REQUIRE(eng::make_sparse(huge_unix, 4294967297ull));

    drv::Program app;
    REQUIRE(app.start());

    SUBCASE("one byte short of a medium, and an empty source, fit on one")
    {
        for (const std::string& source : {small, empty}) {
            CAPTURE(source);
            REQUIRE(eng::start_split(app, source, media + "\\OUT.BIN"));
            eng::expect_box(app, Kind::error, kError,
                            "File Will Fit On A Single Floppy... Copy Cancelled!");
            expect_cancel_ending(app);
        }
    }
    SUBCASE("the source itself as destination, in other letter case")
    {
        std::string lower = exact;
        CharLowerA(&lower[0]);
        REQUIRE(lower != exact);
        REQUIRE(eng::job(app, IDM_COPY_TO_FLOPPIES));
        REQUIRE(app.choose_file(eng::kSplitSource, exact));
        REQUIRE(eng::choose_over_existing(app, eng::kSplitDestination, lower));
        eng::expect_box(app, Kind::error, kError,
                        "Path And FileNames Are Equal... Copy Cancelled!");
        expect_cancel_ending(app);
        CHECK(eng::files_in(win(root)) ==
              std::vector<std::string>{"EMPTY.BIN", "Exact.Bin", "HUGE.BIN", "SMALL.BIN"});
    }
    SUBCASE("4 GiB + 1 bytes at 1 byte a medium needs more pieces than the count holds")
    {
        REQUIRE(eng::set_custom_size(app, 1));
        REQUIRE(eng::start_split(app, win(huge_unix), media + "\\HUGE.BIN"));
        eng::expect_box(app, Kind::error, kError, "Too Many Disks Required... Copy Cancelled!");
        expect_cancel_ending(app);
        CHECK(app.box_log().size() == 2);
    }
    SUBCASE("a source another program holds open is reported, and nothing follows")
    {
        HANDLE held = CreateFileA(exact.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
        REQUIRE(held != INVALID_HANDLE_VALUE);
        REQUIRE(eng::job(app, IDM_COPY_TO_FLOPPIES));
        REQUIRE(app.choose_file(eng::kSplitSource, exact));
        eng::expect_box(app, Kind::error, kError,
                        "Trouble Opening Source File... Copy Cancelled!");
        CHECK(eng::ends_without_box(app));
        CloseHandle(held);
    }
    SUBCASE("cancelling the source chooser shows nothing; the destination chooser, the ending")
    {
        REQUIRE(eng::job(app, IDM_COPY_TO_FLOPPIES));
        REQUIRE(app.cancel_chooser(eng::kSplitSource));
        CHECK(eng::ends_without_box(app));
        REQUIRE(eng::job(app, IDM_COPY_TO_FLOPPIES));
        REQUIRE(app.choose_file(eng::kSplitSource, exact));
        REQUIRE(app.cancel_chooser(eng::kSplitDestination));
        expect_cancel_ending(app);
        CHECK(app.box_log().size() == 1);
    }
    SUBCASE("Cancel at the disk count")
    {
        REQUIRE(eng::start_split(app, exact, media + "\\OUT.BIN"));
        eng::expect_box(app, Kind::question, kStandBy,
                        "Total Number Of Pre-Formatted Disks Required = 1", IDCANCEL);
        expect_cancel_ending(app);
    }
    CHECK(eng::files_in(media).empty());
}

TEST_CASE("free space: the question repeats on the same medium and a larger one goes on")
{
    const uint32_t c = 200000;
    const std::string root = drv::test_folder("free_space");
    const std::string tiny = root + "/tiny";     // room for the count file, not the piece
    const std::string roomy = root + "/roomy";
    drv::Cleanup drive_b([] { drv::remove_drive('B'); });
    drv::Medium tiny_medium(tiny, 131072);
    drv::Medium roomy_medium(roomy, 1048576);
    REQUIRE(tiny_medium.mounted());
    REQUIRE(roomy_medium.mounted());
    const std::string source = drv::random_bytes(c, 3);
    REQUIRE(drv::write_file(win(root + "/DATA.BIN"), source));
    REQUIRE(drv::set_drive('B', tiny));

    drv::Program app;
    REQUIRE(app.start());
    REQUIRE(eng::set_custom_size(app, c));
    const std::string warning = "Not Enough FreeSpace On Disk!\nTry Another.";

    SUBCASE("OK asks again; another medium then takes the piece")
    {
        REQUIRE(eng::start_split(app, win(root + "/DATA.BIN"), "B:\\DATA.BIN"));
        eng::expect_box(app, Kind::question, kStandBy,
                        "Total Number Of Pre-Formatted Disks Required = 1");
        eng::expect_box(app, Kind::question, "Warning...", warning);
        eng::expect_box_then(app, Kind::question, "Warning...", warning,
                             [&] { REQUIRE(drv::set_drive('B', roomy)); });
        eng::expect_box(app, Kind::note, kNote, "Copy Complete!");
        CHECK(eng::files_in(win(tiny)) == std::vector<std::string>{"DATA.BIN_Total"});
        CHECK(eng::files_in(win(roomy)) == std::vector<std::string>{"DATA.BIN_1"});
        CHECK(eng::file_bytes(win(roomy) + "\\DATA.BIN_1") == source);
    }
    SUBCASE("Cancel ends the job")
    {
        REQUIRE(eng::start_split(app, win(root + "/DATA.BIN"), "B:\\DATA.BIN"));
        eng::expect_box(app, Kind::question, kStandBy,
                        "Total Number Of Pre-Formatted Disks Required = 1");
        eng::expect_box(app, Kind::question, "Warning...", warning, IDCANCEL);
        expect_cancel_ending(app);
        CHECK(eng::files_in(win(tiny)) == std::vector<std::string>{"DATA.BIN_Total"});
    }
    SUBCASE("a full medium cannot take even the count")
    {
        const std::string full = root + "/full";
        drv::Cleanup unmount([&] {
            app.kill();
            drv::unmount_medium(full);
        });
        REQUIRE(drv::mount_medium(full, 4096));
        REQUIRE(drv::write_file(win(full) + "\\FILLER", std::string(4096, 'f')));
        REQUIRE(drv::set_drive('B', full));
        REQUIRE(eng::start_split(app, win(root + "/DATA.BIN"), "B:\\DATA.BIN"));
        eng::expect_box(app, Kind::question, kStandBy,
                        "Total Number Of Pre-Formatted Disks Required = 1");
        eng::expect_box(app, Kind::error, kError,
                        "Trouble Writing Total Number Of Disks File... Copy Cancelled!");
        expect_cancel_ending(app);
        CHECK_FALSE(drv::file_exists("B:\\DATA.BIN_1"));
    }
}

TEST_CASE("Esc during the check, a piece or its read-back: only the cancel ending; what was written stays")
{
    // Esc is pressed once blocks are moving, so it never lands in the keyboard flush, and
    // the source is far larger than any check or copy gets through before the key arrives.
    const uint32_t c = 2000000000;
    const std::string root = drv::test_folder("escape");
    const std::string media = win(root + "/media");
    REQUIRE(CreateDirectoryA(media.c_str(), nullptr));
    // The source and up to a gigabyte of piece go, however the test ends.
    drv::Cleanup remove_big([] { drv::test_folder("escape"); });
    REQUIRE(eng::make_sparse(root + "/LARGE.BIN", c + 1ull));

    // The injector fails nothing here; it counts the program's reads.
    drv::Program app;
    drv::FaultControlBlock faults;
    REQUIRE(drv::start_with_injector(app, faults));
    REQUIRE(eng::set_custom_size(app, c));
    const std::string disks_required = "Total Number Of Pre-Formatted Disks Required = 2";

    // While the source is checked, before anything is written.
    REQUIRE(eng::start_split(app, win(root + "/LARGE.BIN"), media + "\\LARGE.BIN"));
    eng::expect_box(app, Kind::question, kStandBy, disks_required);
    REQUIRE_MESSAGE(drv::wait_until([&] { return faults.calls(kReadFile) >= 2; }),
                    "the check did not get under way");
    REQUIRE(app.press_key(VK_ESCAPE));
    expect_cancel_ending(app);
    CHECK(eng::files_in(media).empty());

    // While piece 1 is written, after the whole source was checked.
    app.clear_box_log();
    REQUIRE(eng::start_split(app, win(root + "/LARGE.BIN"), media + "\\LARGE.BIN"));
    eng::expect_box(app, Kind::question, kStandBy, disks_required);
    REQUIRE_MESSAGE(drv::wait_transfer_started(app, media + "\\LARGE.BIN_1", 300000),
                    "no piece got under way");
    REQUIRE(app.press_key(VK_ESCAPE));
    eng::expect_box(app, Kind::note, kNote, kCancelled);
    CHECK(eng::ends_without_box(app));
    CHECK(app.box_log().size() == 2);

    CHECK(eng::files_in(media) == std::vector<std::string>{"LARGE.BIN_1", "LARGE.BIN_Total"});
    CHECK(eng::file_bytes(media + "\\LARGE.BIN_Total").substr(0, 12) ==
          eng::count_bytes(2) + "SLVRCHK1");
    const uint64_t partial = eng::file_size(media + "\\LARGE.BIN_1");
    CHECK(partial > 0);
    CHECK(partial < c);
    CHECK(partial % 131072 == 0);
    // Closed: a handle without sharing opens.
    HANDLE piece = CreateFileA((media + "\\LARGE.BIN_1").c_str(), GENERIC_WRITE, 0, nullptr,
                               OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    CHECK(piece != INVALID_HANDLE_VALUE);
    CloseHandle(piece);

    // While piece 1 is read back, once it is written whole: onto a medium in memory, so
    // that 2 GB are written quickly. The read-back opens after the second flush (the count
    // file's is the first).
    app.clear_box_log();
    faults.disarm();  // counts from 0
    drv::Medium fast(root + "/fast", c + (1ull << 20));
    REQUIRE(fast.mounted());
    REQUIRE(eng::start_split(app, win(root + "/LARGE.BIN"), win(root + "/fast") + "\\LARGE.BIN"));
    eng::expect_box(app, Kind::question, kStandBy, disks_required);
    LONG reads_before_read_back = 0;
    REQUIRE_MESSAGE(drv::wait_until([&] {
        reads_before_read_back = faults.calls(kReadFile);
        return faults.calls(kFlushFileBuffers) >= 2;
    }, 300000), "piece 1 was not written whole");
    REQUIRE(drv::wait_until([&] { return faults.calls(kReadFile) > reads_before_read_back + 1; }));
    REQUIRE(app.press_key(VK_ESCAPE));
    eng::expect_box(app, Kind::note, kNote, kCancelled);
    CHECK(eng::ends_without_box(app));
    CHECK(app.box_log().size() == 2);
    CHECK(faults.calls(kReadFile) < reads_before_read_back + LONG(c / 131072));
    CHECK(eng::file_size(win(root + "/fast") + "\\LARGE.BIN_1") == c);
}

// A chosen path of 253 characters makes names of up to 259 ("_Total"), within every
// platform's limit: the set must be made. At 254 the count file's name has 260 characters,
// which this Wine takes (Windows may not); at 255 it has 261, which none takes. The program
// must neither refuse a name the platform takes nor go on past one it refuses.
TEST_CASE("chosen paths of 253 to 255 characters: the set is made exactly when the platform takes the names")
{
    const std::string root = drv::test_folder("long_paths");
    // A folder whose Windows name is exactly 200 characters with its backslash.
    const std::string base_dir = win(root) + "\\";
    const std::string sub(200 - base_dir.size() - 1, 'd');
    const std::string folder = base_dir + sub + "\\";
    REQUIRE(folder.size() == 200);
    REQUIRE(CreateDirectoryA(folder.c_str(), nullptr));
    REQUIRE(platform_creates_name_of(folder, 253 + 6));
    REQUIRE_FALSE(platform_creates_name_of(folder, 255 + 6));
    const std::string source = drv::random_bytes(1000, 4);
    REQUIRE(drv::write_file(win(root + "/S.BIN"), source));

    drv::Program app;
    REQUIRE(app.start());
    REQUIRE(eng::set_custom_size(app, 1000));

    for (size_t length : {253u, 254u, 255u}) {
        CAPTURE(length);
        const bool platform_takes = platform_creates_name_of(folder, length + 6);
        CAPTURE(platform_takes);
        // With an extension of its own, so the chooser appends none.
        const std::string name(length - folder.size() - 2, static_cast<char>('a' + length % 26));
        const std::string destination = folder + name + ".Z";
        REQUIRE(destination.size() == length);
        REQUIRE(eng::start_split(app, win(root + "/S.BIN"), destination));
        eng::expect_box(app, Kind::question, kStandBy,
                        "Total Number Of Pre-Formatted Disks Required = 1");
        if (platform_takes) {
            eng::expect_box(app, Kind::note, kNote, "Copy Complete!");
            CHECK(eng::file_bytes(destination + "_1") == source);
            CHECK(eng::file_bytes(destination + "_Total") == eng::count_bytes(1));
        } else {
            eng::expect_box(app, Kind::error, kError, "Trouble Creating File... Copy Cancelled!");
            expect_cancel_ending(app);
            CHECK_FALSE(drv::file_exists(destination + "_Total"));
            CHECK_FALSE(drv::file_exists(destination + "_1"));
        }
    }
}
