// Re-assembling sets that `split -b` made, with count files the test writes: the normal
// set, every refusal, odd count files, a missing and an empty piece, failing destinations,
// Esc during a piece, and checked joins: pieces that fail their check, a damaged block, a
// piece with an unreadable sector.
#include <doctest.h>

#include <cstdio>
#include <functional>

#include "driver/bad_disk.h"
#include "driver/engine_helpers.h"
#include "driver/fault_injection.h"
#include "driver/job_runner.h"
#include "driver/ui_driver.h"

using eng::Kind;
using eng::win;

namespace {
const uint32_t kPiece = 100000;
const std::string kStandBy = "StandBy...";
const std::string kNote = "Note...";
const std::string kError = "Error";
const std::string kNext = "Insert Next Disk!";
const std::string kComplete = "Copy Complete!";
const std::string kCancelled = "Copy Cancelled By User!";
const std::string kNoCount = "Cannot Find Total Number Of Disks Info... Copy Cancelled!";
const std::string kRetry =
    "Trouble Opening Source File...\nPossibly Wrong Disk Order! Try Another Disk.";
const std::string kFailed2 = "Disk 2 Failed Its Check!\nInsert A Good Copy.";

struct Set {
    std::string dir;       // Windows folder holding the set
    std::string base;      // Windows base path
    std::string source;    // the bytes the set came from
    std::string unix_dir;  // the folder on the host
};

// `split -b` makes the pieces; they are renamed base_1, base_2, ... as the program names them.
Set make_set(const std::string& name, const std::string& base_name, uint32_t size)
{
    const std::string dir = drv::test_folder("join_" + name);
    Set set{win(dir), win(dir) + "\\" + base_name, drv::random_bytes(size, size), dir};
    REQUIRE(drv::write_file(win(dir) + "\\source.tmp", set.source));
    REQUIRE(drv::host_command("cd '" + dir + "' && split -b " + std::to_string(kPiece) +
                              " -d -a 4 source.tmp p_ && rm source.tmp && for f in p_*; do " +
                              "mv \"$f\" '" + base_name + "'_$(expr \"${f#p_}\" + 1); done"));
    return set;
}

void expect_cancel_ending(drv::Program& app)
{
    eng::expect_box(app, Kind::note, kNote, kCancelled);
    CHECK(eng::ends_without_box(app));
}

// One sector of piece 2 that cannot be read.
constexpr uint64_t kBadFrom = 50176, kBadTo = kBadFrom + 512;

// The set's disks as folders of `root`, with a second copy of disk 2 that is to go bad.
void make_disks(const Set& set, const std::string& root)
{
    const std::string r = drv::shell_quote(root) + "/", from = drv::shell_quote(set.unix_dir) + "/";
    REQUIRE(drv::host_command("mkdir " + r + "disk1 " + r + "disk2 " + r + "disk2_bad " + r +
                              "disk3 && cp " + from + "SET.BIN_1 " + r + "disk1 && cp " + from +
                              "SET.BIN_2 " + r + "disk2 && cp " + from + "SET.BIN_2 " + r +
                              "disk2_bad && cp " + from + "SET.BIN_3 " + r + "disk3"));
    REQUIRE(drv::write_file(win(root) + "\\disk1\\SET.BIN_Total",
                            eng::checked_count_file(set.source, kPiece)));
}

// The join from drive G:, where `insert` puts a disk (a folder of make_disks): the bad copy
// of disk 2 fails its check, the good one is read again from its start after OK. Every read
// of piece 2 that touched the bad sector failed as Wine fails one on a FUSE drive.
void join_over_bad_sector(drv::Program& app, const drv::FaultControlBlock& faults,
                          const Set& set, const std::function<void(const std::string&)>& insert)
{
    const std::string joined = win(drv::test_folder("join_out")) + "\\JOINED.BIN";
    insert("disk1");
    REQUIRE(eng::start_reassemble(app, "G:\\SET.BIN_1", joined));
    eng::expect_box_then(app, Kind::question, kStandBy, kNext, [&] { insert("disk2_bad"); });
    LONG swapped = 0;
    eng::expect_box_then(app, Kind::question, "Warning...", kFailed2, [&] {
        swapped = faults.logged();
        insert("disk2");
    });
    eng::expect_box_then(app, Kind::question, kStandBy, kNext, [&] { insert("disk3"); });
    eng::expect_box(app, Kind::note, kNote, kComplete);
    CHECK(eng::file_bytes(joined) == set.source);
    const std::vector<LoggedCall> log = faults.log();
    int met = 0;
    for (LONG i = 0; i < swapped && i < LONG(log.size()); ++i) {
        const LoggedCall& c = log[i];
        if (c.function == kReadFile && std::string(c.file) == "G:\\SET.BIN_2" &&
            c.offset < kBadTo && c.offset + c.asked > kBadFrom) {
            CAPTURE(c.offset);
            CHECK(c.error == ERROR_NOT_READY);
            ++met;
        }
    }
    CHECK(met > 0);
}
}  // namespace

TEST_CASE("re-assemble sets made by split -b")
{
    const Set set = make_set("sets", "SET.BIN", 2 * kPiece + kPiece / 2);
    const std::string out = win(drv::test_folder("join_out"));
    drv::Program app;
    REQUIRE(app.start());

    SUBCASE("a normal set, and a count file longer than 4 bytes")
    {
        for (const std::string& count : {eng::count_bytes(3), eng::count_bytes(3) + "\xff\xff"}) {
            CAPTURE(count.size());
            app.clear_box_log();
            REQUIRE(drv::write_file(set.base + "_Total", count));
            const std::string joined = out + "\\SET" + std::to_string(count.size()) + ".BIN";
            REQUIRE(eng::start_reassemble(app, set.base + "_1", joined));
            eng::expect_box(app, Kind::question, kStandBy, kNext);
            eng::expect_box(app, Kind::question, kStandBy, kNext);
            eng::expect_box(app, Kind::note, kNote, kComplete);
            CHECK(app.box_log().size() == 3);
            CHECK(eng::file_bytes(joined) == set.source);
        }
    }
    SUBCASE("a count of 0 joins piece 1 only")
    {
        REQUIRE(drv::write_file(set.base + "_Total", eng::count_bytes(0)));
        REQUIRE(eng::start_reassemble(app, set.base + "_1", out + "\\SET.BIN"));
        eng::expect_box(app, Kind::note, kNote, kComplete);
        CHECK(eng::file_bytes(out + "\\SET.BIN") == set.source.substr(0, kPiece));
    }
    SUBCASE("no count file, or one of 2 bytes, is refused")
    {
        for (bool short_file : {false, true}) {
            CAPTURE(short_file);
            DeleteFileA((set.base + "_Total").c_str());
            if (short_file)
                REQUIRE(drv::write_file(set.base + "_Total", std::string("\x03\x00", 2)));
            REQUIRE(eng::job(app, IDM_REASSEMBLE));
            REQUIRE(app.choose_file(eng::kJoinSource, set.base + "_1"));
            eng::expect_box(app, Kind::error, kError, kNoCount);
            expect_cancel_ending(app);
        }
        CHECK(eng::files_in(out).empty());
    }
    SUBCASE("only a name ending in _1 starts a re-assemble")
    {
        REQUIRE(drv::write_file(set.base + "_Total", eng::count_bytes(3)));
        REQUIRE(CopyFileA((set.base + "_1").c_str(), (set.base + "_11").c_str(), FALSE));
        REQUIRE(CopyFileA((set.base + "_1").c_str(), (set.base + "_21").c_str(), FALSE));
        for (const char* suffix : {"_2", "_11", "_21"}) {
            CAPTURE(suffix);
            REQUIRE(eng::job(app, IDM_REASSEMBLE));
            REQUIRE(app.choose_file(eng::kJoinSource, set.base + suffix));
            eng::expect_box(app, Kind::error, kError,
                            "Source Is Not The First File In The Group... Copy Cancelled!");
            expect_cancel_ending(app);
        }
        CHECK(eng::files_in(out).empty());
    }
    SUBCASE("a missing piece brings the retry box until it is there")
    {
        REQUIRE(drv::write_file(set.base + "_Total", eng::count_bytes(3)));
        const std::string stash = out + "\\SET.BIN_2";
        REQUIRE(MoveFileA((set.base + "_2").c_str(), stash.c_str()));
        REQUIRE(eng::start_reassemble(app, set.base + "_1", out + "\\JOINED.BIN"));
        eng::expect_box(app, Kind::question, kStandBy, kNext);
        eng::expect_box(app, Kind::question, kError, kRetry);
        eng::expect_box_then(app, Kind::question, kError, kRetry, [&] {
            REQUIRE(MoveFileA(stash.c_str(), (set.base + "_2").c_str()));
        });
        eng::expect_box(app, Kind::question, kStandBy, kNext);
        eng::expect_box(app, Kind::note, kNote, kComplete);
        CHECK(eng::file_bytes(out + "\\JOINED.BIN") == set.source);
    }
    SUBCASE("Cancel in the retry box ends the job, the joined part stays")
    {
        REQUIRE(drv::write_file(set.base + "_Total", eng::count_bytes(4)));
        REQUIRE(eng::start_reassemble(app, set.base + "_1", out + "\\JOINED.BIN"));
        eng::expect_box(app, Kind::question, kStandBy, kNext);
        eng::expect_box(app, Kind::question, kStandBy, kNext);
        eng::expect_box(app, Kind::question, kStandBy, kNext);
        eng::expect_box(app, Kind::question, kError, kRetry, IDCANCEL);
        expect_cancel_ending(app);
        CHECK(eng::file_bytes(out + "\\JOINED.BIN") == set.source);
    }
    SUBCASE("a file of the set itself as destination: refused, and the set stays whole")
    {
        REQUIRE(drv::write_file(set.base + "_Total", eng::count_bytes(3)));
        const std::string equal = "Path And FileNames Are Equal... Copy Cancelled!";
        struct Target {
            std::string path, error;
        };
        // F: leads to the set's folder under another name: only the files' identity tells.
        drv::Cleanup drive_f([] { drv::remove_drive('F'); });
        REQUIRE(drv::set_drive('F', set.unix_dir));
        // Piece 1 is held open by the job, so creating it fails on its own.
        for (const Target& t : {Target{set.base + "_Total", equal}, Target{set.base + "_3", equal},
                                Target{set.dir + "\\set.bin_2", equal}, Target{"F:\\SET.BIN_2", equal},
                                Target{"F:\\SET.BIN_Total", equal},
                                Target{set.base + "_1", "Trouble Creating File... Copy Cancelled!"}}) {
            CAPTURE(t.path);
            REQUIRE(eng::job(app, IDM_REASSEMBLE));
            REQUIRE(app.choose_file(eng::kJoinSource, set.base + "_1"));
            REQUIRE(eng::choose_over_existing(app, eng::kJoinDestination, t.path));
            eng::expect_box(app, Kind::error, kError, t.error);
            expect_cancel_ending(app);
            CHECK(eng::file_bytes(set.base + "_Total") == eng::count_bytes(3));
            for (uint32_t k = 1; k <= 3; ++k)
                CHECK(eng::file_bytes(set.base + "_" + std::to_string(k)) ==
                      set.source.substr((k - 1) * kPiece, kPiece));
        }
    }
}

TEST_CASE("checked joins: each piece against the count file's check block")
{
    const Set set = make_set("checked", "SET.BIN", 2 * kPiece + kPiece / 2);
    const std::string out = win(drv::test_folder("join_out"));
    const std::string joined = out + "\\JOINED.BIN";
    const std::string good_piece_2 = eng::file_bytes(set.base + "_2");
    const std::string other_piece_2 = drv::random_bytes(kPiece, 4242);  // another set's
    const std::string damaged = "Disk Check Info Is Damaged!\nJoin Without Checking?";
    std::string count_file = eng::checked_count_file(set.source, kPiece);
    drv::Program app;
    drv::FaultControlBlock faults;
    REQUIRE(drv::start_with_injector(app, faults));

    SUBCASE("a bad piece 1, another set's piece 2, a longer and a shorter one fail; Cancel")
    {
        const std::string good_piece_1 = eng::file_bytes(set.base + "_1");
        std::string bad_piece_1 = good_piece_1;
        bad_piece_1[kPiece / 2] ^= 0x40;
        REQUIRE(drv::write_file(set.base + "_Total", count_file));
        REQUIRE(drv::write_file(set.base + "_1", bad_piece_1));
        REQUIRE(drv::write_file(set.base + "_2", other_piece_2));
        REQUIRE(eng::start_reassemble(app, set.base + "_1", joined));
        eng::expect_box_then(app, Kind::question, "Warning...",
                             "Disk 1 Failed Its Check!\nInsert A Good Copy.", [&] {
                                 CHECK(eng::file_size(joined) == 0);
                                 REQUIRE(drv::write_file(set.base + "_1", good_piece_1));
                             });
        eng::expect_box(app, Kind::question, kStandBy, kNext);
        eng::expect_box_then(app, Kind::question, "Warning...", kFailed2, [&] {
            REQUIRE(drv::write_file(set.base + "_2", good_piece_2 + "x"));
        });
        eng::expect_box_then(app, Kind::question, "Warning...", kFailed2, [&] {
            REQUIRE(drv::write_file(set.base + "_2", good_piece_2.substr(1)));
        });
        eng::expect_box(app, Kind::question, "Warning...", kFailed2, IDCANCEL);
        expect_cancel_ending(app);
        CHECK(eng::file_bytes(joined) == set.source.substr(0, kPiece));
    }
    SUBCASE("a damaged block, even its signature: Cancel ends the job, OK joins unchecked")
    {
        // One bit gone in the signature and the count cut to 1: still a block, by the
        // signature's likeness, and its length still shows three pieces.
        count_file[6] ^= 0x04;
        count_file[0] = 1;
        REQUIRE(drv::write_file(set.base + "_Total", count_file));
        REQUIRE(eng::job(app, IDM_REASSEMBLE));
        REQUIRE(app.choose_file(eng::kJoinSource, set.base + "_1"));
        eng::expect_box(app, Kind::question, "Warning...", damaged, IDCANCEL);
        expect_cancel_ending(app);
        CHECK(eng::files_in(out).empty());

        // Unchecked, as a set of another writer: a wrong piece goes in without a word.
        REQUIRE(drv::write_file(set.base + "_2", other_piece_2));
        REQUIRE(eng::job(app, IDM_REASSEMBLE));
        REQUIRE(app.choose_file(eng::kJoinSource, set.base + "_1"));
        eng::expect_box(app, Kind::question, "Warning...", damaged);
        REQUIRE(app.choose_file(eng::kJoinDestination, joined));
        eng::expect_box(app, Kind::question, kStandBy, kNext);
        eng::expect_box(app, Kind::question, kStandBy, kNext);
        eng::expect_box(app, Kind::note, kNote, kComplete);
        CHECK(eng::file_bytes(joined) ==
              set.source.substr(0, kPiece) + other_piece_2 + set.source.substr(2 * kPiece));
    }
    SUBCASE("a block whose whole-file CRC disagrees with its pieces: the end is refused")
    {
        count_file[24] ^= 0x01;
        eng::reseal(count_file);
        REQUIRE(drv::write_file(set.base + "_Total", count_file));
        REQUIRE(eng::start_reassemble(app, set.base + "_1", joined));
        eng::expect_box(app, Kind::question, kStandBy, kNext);
        eng::expect_box(app, Kind::question, kStandBy, kNext);
        eng::expect_box(app, Kind::error, kError,
                        "Joined File Failed Its Check... Copy Cancelled!");
        expect_cancel_ending(app);
    }
    SUBCASE("piece 2 on a drive with a bad sector; a good copy of disk 2 is read from its start")
    {
        const std::string why = drv::bad_disk_unavailable();
        if (!why.empty()) {
            std::printf("skipped: the join over a real bad sector: %s\n", why.c_str());
            return;
        }
        const std::string root = drv::test_folder("join_bad_disk");
        make_disks(set, root);
        // The drive serves a link that a disk change re-points.
        auto insert = [&](const std::string& disk) {
            REQUIRE(drv::host_command("ln -sfn " + drv::shell_quote(root + "/" + disk) + " " +
                                      drv::shell_quote(root + "/drive")));
        };
        insert("disk1");
        drv::BadDisk disk(root + "/mount", root + "/drive",
                          {{root + "/disk2_bad/SET.BIN_2", kBadFrom, kBadTo}});
        REQUIRE(disk.mounted());
        // The program lets go of the drive's files before it is unmounted.
        drv::Cleanup drive_g([&] {
            app.kill();
            drv::remove_drive('G');
        });
        REQUIRE(drv::set_drive('G', root + "/mount"));
        join_over_bad_sector(app, faults, set, insert);
    }
    SUBCASE("the same with the injector's bad sector, on every machine")
    {
        const std::string root = drv::test_folder("join_bad_range");
        make_disks(set, root);
        drv::Cleanup drive_g([] { drv::remove_drive('G'); });
        join_over_bad_sector(app, faults, set, [&](const std::string& disk) {
            faults.clear_bad_ranges();
            if (disk == "disk2_bad")
                faults.bad_range(0, "SET.BIN_2", kBadFrom, kBadTo);
            REQUIRE(drv::set_drive('G', root + "/" + disk));
        });
    }
}

TEST_CASE("re-assemble: base X_1, an empty piece, a destination medium that fills up, Esc")
{
    drv::Program app;
    REQUIRE(app.start());

    SUBCASE("a base ending in _1")
    {
        const Set set = make_set("x1", "X_1", kPiece + 7);
        REQUIRE(drv::write_file(set.dir + "\\X_1_Total", eng::count_bytes(2)));
        const std::string out = win(drv::test_folder("join_out"));
        REQUIRE(eng::start_reassemble(app, set.dir + "\\X_1_1", out + "\\X_1"));
        eng::expect_box(app, Kind::question, kStandBy, kNext);
        eng::expect_box(app, Kind::note, kNote, kComplete);
        CHECK(eng::file_bytes(out + "\\X_1") == set.source);
    }
    SUBCASE("an empty piece joins as nothing")
    {
        const Set set = make_set("empty_piece", "E.BIN", 2 * kPiece);
        REQUIRE(drv::write_file(set.base + "_3", set.source.substr(kPiece)));
        REQUIRE(drv::write_file(set.base + "_2", ""));
        REQUIRE(drv::write_file(set.base + "_Total", eng::count_bytes(3)));
        const std::string out = win(drv::test_folder("join_out"));
        REQUIRE(eng::start_reassemble(app, set.base + "_1", out + "\\E.BIN"));
        eng::expect_box(app, Kind::question, kStandBy, kNext);
        eng::expect_box(app, Kind::question, kStandBy, kNext);
        eng::expect_box(app, Kind::note, kNote, kComplete);
        CHECK(eng::file_bytes(out + "\\E.BIN") == set.source);
    }
    SUBCASE("a destination medium too small for the result")
    {
        const Set set = make_set("too_small", "T.BIN", 3 * kPiece);
        REQUIRE(drv::write_file(set.base + "_Total", eng::count_bytes(3)));
        const std::string medium = drv::build_dir() + "/test-data/join_small_medium";
        // The program may hold the destination open when a check fails: it goes first.
        drv::Cleanup unmount([&] {
            app.kill();
            drv::remove_drive('B');
            drv::unmount_medium(medium);
        });
        REQUIRE(drv::mount_medium(medium, 131072));
        REQUIRE(drv::set_drive('B', medium));
        REQUIRE(eng::start_reassemble(app, set.base + "_1", "B:\\T.BIN"));
        // The first piece fits; the medium fills during the second.
        eng::expect_box(app, Kind::question, kStandBy, kNext);
        eng::expect_box(app, Kind::error, kError,
                        "Trouble Writing Destination File... Copy Cancelled!");
        expect_cancel_ending(app);
        const std::string partial = eng::file_bytes("B:\\T.BIN");
        CHECK(partial.size() >= kPiece);
        CHECK(partial.size() < 2 * kPiece);
        CHECK(partial == set.source.substr(0, partial.size()));
    }
    SUBCASE("Esc during a piece: only the cancel ending; the joined part stays, all closed")
    {
        // Esc is pressed once blocks are moving, so it never lands in the keyboard flush;
        // the sparse first piece is far larger than any copy gets through before it arrives.
        const uint64_t size = 3000000000ull;
        const std::string dir = drv::test_folder("join_escape");
        REQUIRE(eng::make_sparse(dir + "/BIG.BIN_1", size));
        REQUIRE(drv::write_file(win(dir) + "\\BIG.BIN_2", "2"));
        REQUIRE(drv::write_file(win(dir) + "\\BIG.BIN_Total", eng::count_bytes(2)));
        const std::string joined = win(drv::test_folder("join_out")) + "\\BIG.BIN";
        REQUIRE(eng::start_reassemble(app, win(dir) + "\\BIG.BIN_1", joined));
        REQUIRE_MESSAGE(drv::wait_transfer_started(app, joined), "no piece got under way");
        REQUIRE(app.press_key(VK_ESCAPE));
        expect_cancel_ending(app);
        CHECK(app.box_log().size() == 1);
        const uint64_t partial = eng::file_size(joined);
        CHECK(partial > 0);
        CHECK(partial < size);
        CHECK(partial % 131072 == 0);
        // Closed: handles without sharing open.
        for (const std::string& file : {win(dir) + "\\BIG.BIN_1", joined}) {
            CAPTURE(file);
            HANDLE handle = CreateFileA(file.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                        FILE_ATTRIBUTE_NORMAL, nullptr);
            CHECK(handle != INVALID_HANDLE_VALUE);
            CloseHandle(handle);
        }
        drv::test_folder("join_out");
        drv::test_folder("join_escape");
    }
}
