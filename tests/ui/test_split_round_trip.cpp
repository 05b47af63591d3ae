// Round trips through the real program: split onto media, re-assemble, compare byte for byte
// with the source and the pieces with what `split -b` makes, and the count file's check block
// with CRCs worked out here; the exact boxes of both jobs, also for a disk damaged in between.
#include <doctest.h>

#include <cstdio>

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

std::string disks_required(uint32_t n)
{
    return "Total Number Of Pre-Formatted Disks Required = " + std::to_string(n);
}

std::string piece_suffix(uint32_t k)
{
    return "_" + std::to_string(k);
}

// Whether the main window shows its gradient again where the progress window stood: no
// black pixels in a strip at the left end of where it was (320 x 100, centred in the main
// window's client area), beside the box that follows it. The screen is read until it does.
bool gradient_where_progress_stood(const drv::Program& app)
{
    const std::vector<HWND> boxes = app.dialogs();
    REQUIRE(boxes.size() == 1);
    RECT client;
    GetClientRect(app.main_window(), &client);
    POINT origin = {0, 0};
    ClientToScreen(app.main_window(), &origin);
    const int left = origin.x + (client.right - 320) / 2;
    const int top = origin.y + (client.bottom - 100) / 2;
    RECT beside;
    GetWindowRect(boxes.front(), &beside);
    const int width = 8;
    REQUIRE(left + width < beside.left);
    return drv::wait_until([&] {
        drv::ScreenArea area;
        if (!drv::read_screen("split_next_disk_screen.png", left, top, width, 100, area))
            return false;
        for (int y = top; y < top + 100; ++y)
            for (int x = left; x < left + width; ++x)
                if (area.black(x, y))
                    return false;
        return true;
    });
}
}  // namespace

TEST_CASE("ten floppies of real capacity: split and re-assemble byte for byte, every box in order")
{
    const uint32_t c = eng::kFloppyCapacity;
    const uint32_t n = 10;
    const uint32_t size = 9 * c + 12345;
    const std::string root = drv::test_folder("ten_floppies");
    const std::string drive = root + "/drive_a";
    drv::Medium medium(drive, eng::kFloppyMedium);
    REQUIRE(medium.mounted());
    REQUIRE(drv::set_drive('A', drive));
    const std::string source_unix = root + "/BIG.BIN";
    const std::string source = drv::random_bytes(size, 10);
    REQUIRE(drv::write_file(win(source_unix), source));
    const std::string out_dir = win(root + "/out");
    REQUIRE(CreateDirectoryA(out_dir.c_str(), nullptr));
    auto stash = [&](uint32_t k) { return win(root + "/disk_" + std::to_string(k)); };

    drv::Program app;
    REQUIRE(app.start());

    // Split: the user swaps the disk at every "Insert Next Disk!".
    REQUIRE(eng::start_split(app, win(source_unix), "A:\\BIG.BIN"));
    eng::expect_box(app, Kind::question, kStandBy, disks_required(n));
    for (uint32_t k = 1; k < n; ++k)
        eng::expect_box_then(app, Kind::question, kStandBy, kNext, [&] {
            // The main window shows its gradient again where the progress window was.
            if (k == 1)
                CHECK(gradient_where_progress_stood(app));
            REQUIRE(eng::move_all("A:", stash(k)));
        });
    eng::expect_box(app, Kind::note, kNote, kComplete);
    REQUIRE(eng::move_all("A:", stash(n)));

    const auto reference = eng::reference_pieces(source_unix, c);
    REQUIRE(reference.size() == n);
    CHECK(eng::files_in(stash(1)) == std::vector<std::string>{"BIG.BIN_1", "BIG.BIN_Total"});
    CHECK(eng::file_bytes(stash(1) + "\\BIG.BIN_Total") == eng::checked_count_file(source, c));
    for (uint32_t k = 1; k <= n; ++k) {
        CAPTURE(k);
        if (k > 1)
            CHECK(eng::files_in(stash(k)) == std::vector<std::string>{"BIG.BIN" + piece_suffix(k)});
        CHECK(eng::file_bytes(stash(k) + "\\BIG.BIN" + piece_suffix(k)) == reference[k - 1]);
    }

    // Re-assemble: disk 1 goes back in, then each next disk when asked. One byte of piece 2
    // went bad on its disk: the job names the disk, and a good copy of it goes on.
    std::string damaged = reference[1];
    damaged[700000] ^= 0x01;
    REQUIRE(drv::write_file(stash(2) + "\\BIG.BIN_2", damaged));
    REQUIRE(eng::move_all(stash(1), "A:"));
    REQUIRE(eng::job(app, IDM_REASSEMBLE));
    REQUIRE(app.choose_file(eng::kJoinSource, "A:\\BIG.BIN_1"));
    HWND chooser = app.wait_dialog(eng::kJoinDestination);
    REQUIRE(chooser);
    CHECK(app.chooser_file_name(chooser) == "BIG.BIN");
    REQUIRE(app.choose_file(eng::kJoinDestination, out_dir + "\\BIG.BIN"));
    for (uint32_t k = 2; k <= n; ++k) {
        eng::expect_box_then(app, Kind::question, kStandBy, kNext, [&] {
            REQUIRE(eng::move_all("A:", stash(k - 1)));
            REQUIRE(eng::move_all(stash(k), "A:"));
        });
        if (k == 2)
            eng::expect_box_then(app, Kind::question, "Warning...",
                                 "Disk 2 Failed Its Check!\nInsert A Good Copy.",
                                 [&] { REQUIRE(drv::write_file("A:\\BIG.BIN_2", reference[1])); });
    }
    eng::expect_box(app, Kind::note, kNote, kComplete);
    CHECK(eng::file_size(out_dir + "\\BIG.BIN") == size);
    CHECK(eng::file_bytes(out_dir + "\\BIG.BIN") == source);
    CHECK(app.box_log().size() == 1 + (n - 1) + 1 + (n - 1) + 1 + 1);
}

TEST_CASE("custom piece sizes: one piece, a 1-byte last piece, no empty extra piece, whole blocks")
{
    // 262,144 is two transfer blocks: every full piece ends on a block boundary.
    const uint32_t c = 262144;
    struct Case {
        const char* name;
        uint32_t size;
        uint32_t pieces;
    };
    const Case cases[] = {
        {"ONE.BIN", c, 1},
        {"TWOPLUS.BIN", 2 * c + 1, 3},
        {"THREE.BIN", 3 * c, 3},
    };
    const std::string root = drv::test_folder("custom_sizes");
    const std::string media = win(root + "/media");
    const std::string out = win(root + "/out");
    REQUIRE(CreateDirectoryA(media.c_str(), nullptr));
    REQUIRE(CreateDirectoryA(out.c_str(), nullptr));

    // Also run under the older Windows (drv::RunSetting), as that run has the program.
    drv::Program app;
    drv::FaultControlBlock faults;
    REQUIRE(drv::start_as_run_has_it(app, faults));
    REQUIRE(eng::set_custom_size(app, c));

    for (const Case& t : cases) {
        CAPTURE(t.name);
        app.clear_box_log();
        const std::string source_unix = root + "/" + t.name;
        const std::string source = drv::random_bytes(t.size, t.size);
        REQUIRE(drv::write_file(win(source_unix), source));
        const std::string base = media + "\\" + t.name;

        // A fixed disk: every piece goes to the one folder, OK without a swap.
        REQUIRE(eng::start_split(app, win(source_unix), base));
        eng::expect_box(app, Kind::question, kStandBy, disks_required(t.pieces));
        for (uint32_t k = 1; k < t.pieces; ++k)
            eng::expect_box(app, Kind::question, kStandBy, kNext);
        eng::expect_box(app, Kind::note, kNote, kComplete);
        CHECK(app.box_log().size() == t.pieces + 1);

        const auto reference = eng::reference_pieces(source_unix, c);
        REQUIRE(reference.size() == t.pieces);
        CHECK(eng::file_bytes(base + "_Total") == eng::checked_count_file(source, c));
        for (uint32_t k = 1; k <= t.pieces; ++k)
            CHECK(eng::file_bytes(base + piece_suffix(k)) == reference[k - 1]);
        CHECK_FALSE(drv::file_exists(base + piece_suffix(t.pieces + 1)));

        app.clear_box_log();
        REQUIRE(eng::start_reassemble(app, base + "_1", out + "\\" + t.name));
        for (uint32_t k = 1; k < t.pieces; ++k)
            eng::expect_box(app, Kind::question, kStandBy, kNext);
        eng::expect_box(app, Kind::note, kNote, kComplete);
        CHECK(app.box_log().size() == t.pieces);
        CHECK(eng::file_bytes(out + "\\" + t.name) == source);
    }
}

namespace {
constexpr uint64_t kGiB = 1ull << 30;
constexpr int kSkipped = 77;  // CTest's SKIP_RETURN_CODE for this test

// The big files go whatever the outcome, so that a failed run does not fill the disk.
struct RemoveAtEnd {
    std::string unix_dir;
    ~RemoveAtEnd() { drv::host_command("rm -rf '" + unix_dir + "'"); }
};

// cmp of a byte range of the source against a whole file, on the host.
bool same_range(const std::string& source, uint64_t offset, uint64_t length,
                const std::string& file)
{
    return drv::host_command("test \"$(stat -c %s '" + file + "')\" = " + std::to_string(length) +
                             " && cmp -i " + std::to_string(offset) + ":0 -n " +
                             std::to_string(length) + " '" + source + "' '" + file + "'", 600000);
}
}  // namespace

TEST_CASE("4 GiB + 1: split into 2 GiB, 2 GiB and 1 byte, and re-assembled byte for byte")
{
    const uint64_t size = 4 * kGiB + 1;
    const uint32_t c = 2147483648u;
    const std::string root = drv::test_folder("four_gib");
    RemoveAtEnd cleanup{root};
    ULARGE_INTEGER room = {};
    REQUIRE(GetDiskFreeSpaceExA(win(root).c_str(), &room, nullptr, nullptr));
    if (room.QuadPart < 2 * size + kGiB) {
        std::printf("skipped: the 4 GiB round trip needs 9 GiB free under %s, there are %llu GiB\n",
                    root.c_str(), static_cast<unsigned long long>(room.QuadPart / kGiB));
        std::fflush(stdout);
        ExitProcess(kSkipped);
    }
    // A sparse source with distinct random blocks at its start, across the first piece's
    // end and up to its last byte, so that any shifted or lost byte shows.
    const std::string source = root + "/IMAGE.ISO";
    const std::string media = root + "/media", out = root + "/out";
    auto random_block = [&](uint64_t at, uint64_t bytes) {
        return "head -c " + std::to_string(bytes) + " /dev/urandom | dd of='" + source +
               "' bs=1M oflag=seek_bytes conv=notrunc seek=" + std::to_string(at) + " status=none";
    };
    REQUIRE(eng::make_sparse(source, size));
    REQUIRE(drv::host_command(random_block(0, 1 << 20) + " && " +
                              random_block(2 * kGiB - (1 << 19), 1 << 20) + " && " +
                              random_block(size - (1 << 20) - 1, (1 << 20) + 1) + " && mkdir " +
                              media + " " + out));

    drv::Program app;
    REQUIRE(app.start());
    REQUIRE(eng::set_custom_size(app, c));
    const DWORD start = GetTickCount();
    const DWORD piece_time = 10 * 60 * 1000;
    REQUIRE(eng::start_split(app, win(source), win(media) + "\\IMAGE.ISO"));
    eng::expect_box(app, Kind::question, kStandBy, disks_required(3));
    eng::expect_box(app, Kind::question, kStandBy, kNext, IDOK, piece_time);
    eng::expect_box(app, Kind::question, kStandBy, kNext, IDOK, piece_time);
    eng::expect_box(app, Kind::note, kNote, kComplete, IDOK, piece_time);
    const DWORD split_ms = GetTickCount() - start;

    // The block's CRCs are checked by the smaller round trips; 4 GiB bit by bit would take long.
    const std::string count_file = eng::file_bytes(win(media) + "\\IMAGE.ISO_Total");
    CHECK(count_file.size() == 44u);
    CHECK(count_file.substr(0, 12) == eng::count_bytes(3) + "SLVRCHK1");
    CHECK(same_range(source, 0, c, media + "/IMAGE.ISO_1"));
    CHECK(same_range(source, c, c, media + "/IMAGE.ISO_2"));
    CHECK(same_range(source, 2ull * c, 1, media + "/IMAGE.ISO_3"));

    REQUIRE(eng::start_reassemble(app, win(media) + "\\IMAGE.ISO_1", win(out) + "\\IMAGE.ISO"));
    eng::expect_box(app, Kind::question, kStandBy, kNext, IDOK, piece_time);
    eng::expect_box(app, Kind::question, kStandBy, kNext, IDOK, piece_time);
    eng::expect_box(app, Kind::note, kNote, kComplete, IDOK, piece_time);
    CHECK(same_range(source, 0, size, out + "/IMAGE.ISO"));
    std::printf("4 GiB + 1 round trip: split %lu ms, split and re-assemble %lu ms\n",
                static_cast<unsigned long>(split_ms),
                static_cast<unsigned long>(GetTickCount() - start));
}
