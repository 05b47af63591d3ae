// Free space on the medium before a split writes: room for the count file and piece 1, in
// whole clusters, is asked for before anything is written, so both land on the medium that
// takes piece 1; a medium too full even for the count file, and an empty drive, are asked
// about the same way. These cases also run under every older Windows (drv::RunSetting):
// under 95 the program also meets a system without GetDiskFreeSpaceExA, as the first
// release was, and under 98, whose GetDiskFreeSpaceA tells of 2 GiB at most, a disk of
// 2 GiB goes onto a larger medium.
#include <doctest.h>

#include "driver/engine_helpers.h"
#include "driver/fault_injection.h"
#include "driver/job_runner.h"
#include "driver/ui_driver.h"

using eng::Kind;
using eng::win;

namespace {

constexpr uint64_t kCluster = 4096;  // a tmpfs's page

std::string on_drive(const std::string& name)
{
    return std::string(1, drv::run_setting().drive) + ":\\" + name;
}

bool first_windows_95()
{
    return drv::run_setting().windows == "win95";
}

uint64_t cluster_size(const std::string& windows_dir)
{
    DWORD sectors = 0, bytes = 0, free_clusters = 0, clusters = 0;
    if (!GetDiskFreeSpaceA((windows_dir + "\\").c_str(), &sectors, &bytes, &free_clusters,
                           &clusters))
        return 0;
    return uint64_t(sectors) * bytes;
}

}  // namespace

TEST_CASE("free space: the count file and piece 1 need whole clusters, asked for before anything is written")
{
    // One piece of 200,000 bytes takes 49 clusters, its count file one more: the short
    // medium has room for their bytes but lacks a cluster, the exact one has just enough.
    const uint32_t c = 200000;
    const std::string root = drv::test_folder("free_space");
    const std::string short_dir = root + "/short", exact_dir = root + "/exact";
    const std::string full_dir = root + "/full";  // not even the count file's cluster free
    const char letter = drv::run_setting().drive;
    drv::Cleanup drive([=] { drv::remove_drive(letter); });
    drv::Medium short_medium(short_dir, 49 * kCluster);
    drv::Medium exact_medium(exact_dir, 50 * kCluster);
    drv::Medium full_medium(full_dir, kCluster);
    REQUIRE(short_medium.mounted());
    REQUIRE(exact_medium.mounted());
    REQUIRE(full_medium.mounted());
    REQUIRE(cluster_size(win(exact_dir)) == kCluster);
    REQUIRE(drv::write_file(win(full_dir) + "\\FILLER", std::string(kCluster, 'f')));
    const std::string source = drv::random_bytes(c, 3);
    REQUIRE(drv::write_file(win(root + "/DATA.BIN"), source));
    REQUIRE(drv::set_drive(letter, short_dir));

    drv::Program app;
    drv::FaultControlBlock faults;
    REQUIRE(drv::start_as_run_has_it(app, faults));
    REQUIRE(eng::set_custom_size(app, c));
    REQUIRE(eng::start_split(app, win(root + "/DATA.BIN"), on_drive("DATA.BIN")));

    SUBCASE("OK asks again on the same medium; one with just enough room then takes both files")
    {
        eng::expect_box(app, Kind::question, eng::kStandByCaption, eng::disks_required(1));
        eng::expect_box(app, Kind::question, eng::kWarningCaption, eng::kNotEnoughFreeSpace);
        eng::expect_box_then(app, Kind::question, eng::kWarningCaption, eng::kNotEnoughFreeSpace,
                             [&] { REQUIRE(drv::set_drive(letter, exact_dir)); });
        eng::expect_box(app, Kind::note, eng::kNoteCaption, eng::kCopyComplete);
        CHECK(eng::files_in(win(short_dir)).empty());
        CHECK(eng::files_in(win(exact_dir)) ==
              std::vector<std::string>{"DATA.BIN_1", "DATA.BIN_Total"});
        CHECK(eng::file_bytes(win(exact_dir) + "\\DATA.BIN_1") == source);
        CHECK(eng::file_bytes(win(exact_dir) + "\\DATA.BIN_Total") ==
              eng::checked_count_file(source, c));
        // Without the later call, the cluster counts alone told the free bytes.
        CHECK((faults.calls(kGetDiskFreeSpaceExA) == 0) == first_windows_95());
    }
    SUBCASE("Cancel at the question writes nothing")
    {
        eng::expect_box(app, Kind::question, eng::kStandByCaption, eng::disks_required(1));
        eng::expect_box(app, Kind::question, eng::kWarningCaption, eng::kNotEnoughFreeSpace,
                        IDCANCEL);
        eng::expect_cancel_ending(app);
        CHECK(eng::files_in(win(short_dir)).empty());
    }
    SUBCASE("a medium too full for the count file, and an empty drive, are asked about too")
    {
        // The disk is changed while the disk count is asked, as a user does.
        eng::expect_box_then(app, Kind::question, eng::kStandByCaption, eng::disks_required(1),
                             [&] { REQUIRE(drv::set_drive(letter, full_dir)); });
        eng::expect_box(app, Kind::question, eng::kWarningCaption, eng::kNotEnoughFreeSpace,
                        IDCANCEL);
        eng::expect_cancel_ending(app);
        // The disk taken out: no folder behind the letter.
        REQUIRE(drv::set_drive(letter, short_dir));
        REQUIRE(eng::start_split(app, win(root + "/DATA.BIN"), on_drive("DATA.BIN")));
        eng::expect_box_then(app, Kind::question, eng::kStandByCaption, eng::disks_required(1),
                             [&] { REQUIRE(drv::remove_drive(letter)); });
        eng::expect_box(app, Kind::question, eng::kWarningCaption, eng::kNotEnoughFreeSpace,
                        IDCANCEL);
        eng::expect_cancel_ending(app);
        CHECK(eng::files_in(win(full_dir)) == std::vector<std::string>{"FILLER"});
        CHECK(eng::files_in(win(short_dir)).empty());
    }
}

TEST_CASE("under Windows 98: a disk of 2 GiB goes onto a medium with more room than that; Esc ends it")
{
    // 98's GetDiskFreeSpaceA tells of 2,147,450,880 bytes free at most, less than one disk
    // here: a program that believed it would ask for another medium for ever.
    REQUIRE(drv::run_setting().windows == "win98");
    const uint32_t c = 2147483648u;
    const std::string root = drv::test_folder("free_space_2gib");
    const std::string medium_dir = root + "/medium";
    const char letter = drv::run_setting().drive;
    drv::Cleanup remove_all([=] {
        drv::remove_drive(letter);
        drv::test_folder("free_space_2gib");
    });
    drv::Medium medium(medium_dir, 3 * uint64_t(c) / 2);
    REQUIRE(medium.mounted());
    REQUIRE(eng::make_sparse(root + "/BIG.BIN", c + 1000000ull));
    REQUIRE(drv::set_drive(letter, medium_dir));

    drv::Program app;
    drv::FaultControlBlock faults;
    REQUIRE(drv::start_as_run_has_it(app, faults));
    REQUIRE(eng::set_custom_size(app, c));
    REQUIRE(eng::start_split(app, win(root + "/BIG.BIN"), on_drive("BIG.BIN")));
    eng::expect_box(app, Kind::question, eng::kStandByCaption, eng::disks_required(2));
    // The check of the source comes first; then piece 1 must start, not a question.
    HWND progress = nullptr;
    drv::Box box;
    REQUIRE_MESSAGE(drv::wait_until(
                        [&] {
                            progress = drv::wait_transfer_started(app, on_drive("BIG.BIN_1"), 0);
                            return progress || app.wait_box(box, 0, false);
                        },
                        300000),
                    "piece 1 did not start");
    REQUIRE_MESSAGE(progress, "a box came instead of piece 1: " << box.describe());
    REQUIRE(app.post_key(progress, VK_ESCAPE));
    eng::expect_cancel_ending(app);
    CHECK(eng::files_in(win(medium_dir)) ==
          std::vector<std::string>{"BIG.BIN_1", "BIG.BIN_Total"});
}
