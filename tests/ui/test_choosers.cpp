// Where the choosers open and what they propose, as the user sees it. Wine's dialog shows
// the folder only as a display name, so a folder is proven by typing a bare name that exists
// in that folder alone: the chooser accepts it only when it stands there.
// Also the busy lock: while a job's chooser or box is up, the menu and closing do nothing.
#include <doctest.h>

#include "driver/engine_helpers.h"
#include "driver/ui_driver.h"

using eng::Kind;
using eng::win;

namespace {
const std::string kNote = "Note...";
const std::string kCancelled = "Copy Cancelled By User!";
const std::string kFloppyTitle = "Sliverdisk Utility - Media: Floppy";

// Types a bare name and confirms. True when the chooser took it; false when the platform
// said the file is not there (that box is answered and the chooser cancelled).
bool accepts_bare_name(drv::Program& app, const std::string& title, const std::string& name)
{
    HWND chooser = app.wait_dialog(title);
    REQUIRE(chooser);
    SetDlgItemTextA(chooser, 1148, name.c_str());
    PostMessageA(chooser, WM_COMMAND, IDOK, 0);
    HWND complaint = nullptr;
    drv::wait_until([&] {
        if (!IsWindow(chooser) || !IsWindowVisible(chooser))
            return true;
        for (HWND d : app.dialogs())
            if (d != chooser && GetDlgItem(d, 0xFFFF))
                complaint = d;
        return complaint != nullptr;
    });
    if (!complaint)
        return !IsWindow(chooser) || !IsWindowVisible(chooser);
    PostMessageA(complaint, WM_COMMAND, IDOK, 0);
    drv::wait_until([&] { return !IsWindow(complaint) || !IsWindowVisible(complaint); });
    PostMessageA(chooser, WM_COMMAND, IDCANCEL, 0);
    drv::wait_until([&] { return !IsWindow(chooser) || !IsWindowVisible(chooser); });
    return false;
}

std::string proposed_name(drv::Program& app, const std::string& title)
{
    HWND chooser = app.wait_dialog(title);
    REQUIRE(chooser);
    return app.chooser_file_name(chooser);
}
}  // namespace

TEST_CASE("the choosers follow the user from folder to folder and propose the right names")
{
    // C:\DATA\REPORT.DOC a little over one floppy, so it splits into two pieces.
    const std::string data = "C:\\DATA";
    CreateDirectoryA(data.c_str(), nullptr);
    DeleteFileA((data + "\\JOINED.DOC_1").c_str());  // a run that failed half-way
    REQUIRE(drv::write_file(data + "\\REPORT.DOC", drv::random_bytes(eng::kFloppyCapacity + 1, 5)));
    REQUIRE(drv::write_file("C:\\ONLY_IN_C.TXT", "x"));
    const std::string media_unix = drv::test_folder("choosers_a");
    REQUIRE(drv::set_drive('A', media_unix));
    const std::string media = win(media_unix);

    drv::Program app;
    REQUIRE(app.start());

    // The first split chooser of a run: C:\ and no name. A name that is not there is refused
    // (which the folder proofs below rely on).
    REQUIRE(eng::job(app, IDM_COPY_TO_FLOPPIES));
    CHECK(proposed_name(app, eng::kSplitSource).empty());
    CHECK_FALSE(accepts_bare_name(app, eng::kSplitSource, "NOT_IN_C.TXT"));
    REQUIRE(eng::job(app, IDM_COPY_TO_FLOPPIES));
    REQUIRE(accepts_bare_name(app, eng::kSplitSource, "ONLY_IN_C.TXT"));
    REQUIRE(app.cancel_chooser(eng::kSplitDestination));
    eng::expect_box(app, Kind::note, kNote, kCancelled);

    // After C:\DATA\REPORT.DOC: the destination chooser proposes REPORT.DOC in A:\.
    REQUIRE(eng::job(app, IDM_COPY_TO_FLOPPIES));
    REQUIRE(app.choose_file(eng::kSplitSource, data + "\\REPORT.DOC"));
    CHECK(proposed_name(app, eng::kSplitDestination) == "REPORT.DOC");
    REQUIRE(accepts_bare_name(app, eng::kSplitDestination, "REPORT.DOC"));
    eng::expect_box(app, Kind::question, "StandBy...",
                    "Total Number Of Pre-Formatted Disks Required = 2");
    eng::expect_box(app, Kind::question, "StandBy...", "Insert Next Disk!", IDCANCEL);
    eng::expect_box(app, Kind::note, kNote, kCancelled);
    CHECK(eng::files_in(media) == std::vector<std::string>{"REPORT.DOC_1", "REPORT.DOC_Total"});

    // The work folder is now C:\DATA\: the bare name is found there. A bare destination
    // name gets the source's extension, with one period.
    REQUIRE(eng::job(app, IDM_COPY_TO_FLOPPIES));
    CHECK(proposed_name(app, eng::kSplitSource) == "REPORT.DOC");
    REQUIRE(accepts_bare_name(app, eng::kSplitSource, "REPORT.DOC"));
    REQUIRE(accepts_bare_name(app, eng::kSplitDestination, "OUT"));
    eng::expect_box(app, Kind::question, "StandBy...",
                    "Total Number Of Pre-Formatted Disks Required = 2", IDCANCEL);
    eng::expect_box(app, Kind::note, kNote, kCancelled);
    CHECK(eng::files_in(media) == std::vector<std::string>{"REPORT.DOC_1", "REPORT.DOC_Total"});

    // Re-assemble from A:\REPORT.DOC_1: REPORT.DOC proposed in the work folder, C:\DATA\;
    // a bare name there gets ".DOC_1" as extension, never "..DOC_1".
    REQUIRE(eng::job(app, IDM_REASSEMBLE));
    CHECK(proposed_name(app, eng::kJoinSource) == "REPORT.DOC");
    REQUIRE(accepts_bare_name(app, eng::kJoinSource, "REPORT.DOC_1"));
    CHECK(proposed_name(app, eng::kJoinDestination) == "REPORT.DOC");
    REQUIRE(accepts_bare_name(app, eng::kJoinDestination, "JOINED"));
    eng::expect_box(app, Kind::question, "StandBy...", "Insert Next Disk!", IDCANCEL);
    eng::expect_box(app, Kind::note, kNote, kCancelled);
    CHECK(eng::file_size(data + "\\JOINED.DOC_1") == eng::kFloppyCapacity);

    // A cancelled open chooser keeps the remembered name.
    REQUIRE(eng::job(app, IDM_COPY_TO_FLOPPIES));
    CHECK(proposed_name(app, eng::kSplitSource) == "REPORT.DOC_1");
    REQUIRE(app.cancel_chooser(eng::kSplitSource));
    CHECK(eng::ends_without_box(app));
    REQUIRE(eng::job(app, IDM_REASSEMBLE));
    CHECK(proposed_name(app, eng::kJoinSource) == "REPORT.DOC_1");
    REQUIRE(app.cancel_chooser(eng::kJoinSource));
    CHECK(eng::ends_without_box(app));

    DeleteFileA((data + "\\JOINED.DOC_1").c_str());
    DeleteFileA((data + "\\REPORT.DOC").c_str());
    DeleteFileA("C:\\ONLY_IN_C.TXT");
}

TEST_CASE("media commands move the media-side chooser: Zip to the first removable drive, Floppy to A:")
{
    const std::string a_unix = drv::test_folder("choosers_media_a");
    const std::string d_unix = drv::test_folder("choosers_media_d");
    REQUIRE(drv::write_file(win(a_unix) + "\\IN_A_1", "a"));
    REQUIRE(drv::write_file(win(d_unix) + "\\IN_D_1", "d"));
    REQUIRE(drv::set_drive('A', a_unix));
    // D: comes before every other removable drive of the prefix; it goes again at the end.
    struct DriveD {
        ~DriveD() { drv::undefine_drive('D'); }
    } drive_d;
    REQUIRE(drv::define_removable_drive('D', d_unix));
    const std::string no_count = "Cannot Find Total Number Of Disks Info... Copy Cancelled!";

    drv::Program app;
    REQUIRE(app.start());
    app.command(IDM_MEDIA_ZIP);
    REQUIRE(app.wait_title("Sliverdisk Utility - Media: Zip"));
    REQUIRE(eng::job(app, IDM_REASSEMBLE));
    REQUIRE(accepts_bare_name(app, eng::kJoinSource, "IN_D_1"));
    eng::expect_box(app, Kind::error, "Error", no_count);
    eng::expect_box(app, Kind::note, kNote, kCancelled);

    app.command(IDM_MEDIA_FLOPPY);
    REQUIRE(app.wait_title(kFloppyTitle));
    REQUIRE(eng::job(app, IDM_REASSEMBLE));
    REQUIRE(accepts_bare_name(app, eng::kJoinSource, "IN_A_1"));
    eng::expect_box(app, Kind::error, "Error", no_count);
    eng::expect_box(app, Kind::note, kNote, kCancelled);
}

TEST_CASE("busy lock: while a job's chooser or box is up, Media, Exit and close change nothing")
{
    drv::Program app;
    REQUIRE(app.start());
    auto try_everything = [&] {
        app.command(IDM_MEDIA_ZIP);
        app.command(IDM_EXIT);
        app.close();
        PostMessageA(app.main_window(), WM_SYSCOMMAND, SC_CLOSE, 0);
        CHECK(app.wait_messages_handled());
        CHECK(app.running());
        CHECK(app.title() == kFloppyTitle);
    };

    REQUIRE(eng::job(app, IDM_COPY_TO_FLOPPIES));
    REQUIRE(app.wait_dialog(eng::kSplitSource));
    try_everything();
    REQUIRE(app.choose_file(eng::kSplitSource, win(drv::build_dir() + "/sliverdisk.exe")));
    REQUIRE(app.cancel_chooser(eng::kSplitDestination));
    drv::Box box;
    REQUIRE(app.wait_box(box));
    try_everything();
    app.answer(box, IDOK);
    CHECK(box.text == kCancelled);
    CHECK(app.wait_no_dialog());

    // Afterwards the menu works again.
    REQUIRE(app.wait_idle());
    app.command(IDM_MEDIA_ZIP);
    CHECK(app.wait_title("Sliverdisk Utility - Media: Zip"));
    app.command(IDM_EXIT);
    CHECK(app.wait_exit() == 0u);
}
