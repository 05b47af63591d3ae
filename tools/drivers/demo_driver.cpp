// The headless demo behind tools/demo: the main job of the real program, start to end.
// Splits a sample file, C:\Documents\REPORT.DOC, across three floppies in drive A: (a
// tmpfs of a real floppy's capacity), swapping the disks as a user would, re-assembles it
// into C:\Restored (putting in a wrong disk once, as users do, and a disk 3 with one byte
// gone bad, then a good copy of it), checks it byte for byte, and leaves a picture of each
// stage in the build folder. With `--docs FOLDER` it also writes each picture the README shows there,
// cut to the window that matters and reduced to few colours.
#include <algorithm>
#include <cstdio>
#include <mutex>
#include <string>
#include <thread>

#include "driver/job_runner.h"
#include "resources/resource.h"

namespace {

constexpr uint64_t kFloppyBytes = 1474560;
constexpr size_t kSampleBytes = 3500000;  // three floppies at 1,400,000 bytes each
constexpr int kMargin = 6;                 // around a box cut out for the README
constexpr int kChooserNameField = 1148;    // the file-name field of the platform's choosers
const std::string kWrongDisk =
    "Trouble Opening Source File...\nPossibly Wrong Disk Order! Try Another Disk.";
const std::string kDisk3Failed = "Disk 3 Failed Its Check!\nInsert A Good Copy.";

struct Demo {
    std::string root, drive;
    std::string documents, restored;  // C:\Documents and C:\Restored in the Wine prefix
    std::string disk[4];  // stash folders of disks 1..3
    std::string docs;     // Unix folder of the README's pictures; empty without --docs
    std::vector<std::string> shots;
    std::mutex shots_lock;  // the progress window is taken from a second thread
};
Demo g_demo;

// A picture of the whole display into the build folder, numbered in order; with --docs
// also `area` of it, with a margin, into the README's folder.
void picture(const std::string& name, RECT area, bool for_docs = true, int margin = kMargin)
{
    std::lock_guard<std::mutex> hold(g_demo.shots_lock);
    char number[8];
    std::snprintf(number, sizeof number, "%02zu", g_demo.shots.size() + 1);
    const std::string shot = drv::build_dir() + "/demo-" + number + "-" + name + ".png";
    drv::screenshot("demo-" + std::string(number) + "-" + name + ".png");
    g_demo.shots.push_back(shot);
    if (g_demo.docs.empty() || !for_docs)
        return;
    const int left = std::max(0, int(area.left) - margin), top = std::max(0, int(area.top) - margin);
    const std::string crop = std::to_string(area.right + margin - left) + "x" +
                             std::to_string(area.bottom + margin - top) + "+" +
                             std::to_string(left) + "+" + std::to_string(top);
    drv::host_command("convert '" + shot + "' -crop " + crop +
                      " +repage -colors 32 -strip -define png:compression-level=9 PNG8:'" +
                      g_demo.docs + "/" + name + ".png'");
}

RECT window_area(HWND window)
{
    RECT r = {};
    GetWindowRect(window, &r);
    return r;
}

// The drive holds exactly one disk at a time: its files live in A: while it is inserted.
bool eject_to(int disk)
{
    return drv::host_command("mv " + g_demo.drive + "/* " + g_demo.disk[disk] + "/");
}

bool insert(int disk)
{
    return drv::host_command("mv " + g_demo.disk[disk] + "/* " + g_demo.drive + "/");
}

// The visible drop-down menu of a process, if one is open.
HWND open_menu(DWORD process_id)
{
    struct Search {
        DWORD pid;
        HWND found;
    } search = {process_id, nullptr};
    EnumWindows(
        [](HWND w, LPARAM p) CALLBACK -> BOOL {
            auto* s = reinterpret_cast<Search*>(p);
            DWORD pid = 0;
            GetWindowThreadProcessId(w, &pid);
            if (pid == s->pid && IsWindowVisible(w) && drv::class_name(w) == "#32768") {
                s->found = w;
                return FALSE;
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

// Opens a menu of the menu bar as Alt and its letter do, takes its picture from the
// window's corner down to the menu, and closes it again.
bool picture_menu(drv::Program& app, char letter, const std::string& name)
{
    PostMessageA(app.main_window(), WM_SYSCOMMAND, SC_KEYMENU, letter);
    HWND menu = nullptr;
    if (!drv::wait_until([&] { return (menu = open_menu(app.process_id())) != nullptr; }, 5000))
        return false;
    Sleep(400);
    const RECT drop = window_area(menu);
    picture(name, RECT{0, 0, std::max(drop.right + 40, LONG(300)), drop.bottom});
    for (int i = 0; i < 2; ++i) {
        PostMessageA(app.main_window(), WM_KEYDOWN, VK_ESCAPE, 1);
        PostMessageA(app.main_window(), WM_KEYUP, VK_ESCAPE, 0xC0000001);
    }
    return drv::wait_until([&] { return open_menu(app.process_id()) == nullptr; }, 5000);
}

HWND picture_progress_window_when_shown(HWND main_window, const std::string& name)
{
    HWND progress = nullptr;
    const bool shown = drv::wait_until([&] {
        progress = FindWindowExA(main_window, nullptr, "SLIVERDISKMSG", nullptr);
        return progress && IsWindowVisible(progress);
    }, 10000);
    // The flush (400 ms) and the pause after the piece (300 ms) keep it up long enough for
    // the bar to be seen filling.
    if (!shown)
        return nullptr;
    Sleep(450);
    picture(name, window_area(progress));
    return progress;
}

// The split's first window checks the source; the next one writes piece 1.
void picture_check_and_first_piece(HWND main_window)
{
    HWND check = picture_progress_window_when_shown(main_window, "split-checking");
    if (check && drv::wait_until([&] { return !IsWindow(check) || !IsWindowVisible(check); }, 10000))
        picture_progress_window_when_shown(main_window, "split-progress");
}

// Pictures of a job's two choosers as a user fills them: the folder opened, its file
// listed, the bare name typed. The full path goes back in before the runner confirms.
drv::ChooserHook picture_chooser(const std::string& first, const std::string& second)
{
    return [first, second, n = 0](HWND chooser) mutable {
        const std::string path = drv::window_text(GetDlgItem(chooser, kChooserNameField));
        const size_t cut = path.rfind('\\') + 1;
        SetDlgItemTextA(chooser, kChooserNameField, path.substr(0, cut).c_str());
        PostMessageA(chooser, WM_COMMAND, IDOK, 0);
        Sleep(800);
        SetDlgItemTextA(chooser, kChooserNameField, path.substr(cut).c_str());
        Sleep(600);  // let it draw the typed name
        picture(n++ == 0 ? first : second, window_area(chooser), true, 0);
        SetDlgItemTextA(chooser, kChooserNameField, path.c_str());
    };
}

bool prepare()
{
    g_demo.root = drv::test_folder("demo");
    g_demo.drive = g_demo.root + "/floppy-drive";
    const std::string drive_c = drv::build_dir() + "/wineprefix/drive_c";
    g_demo.documents = drive_c + "/Documents";
    g_demo.restored = drive_c + "/Restored";
    bool ok = drv::mount_medium(g_demo.drive, kFloppyBytes) && drv::set_drive('A', g_demo.drive) &&
              drv::host_command("rm -rf '" + g_demo.documents + "' '" + g_demo.restored +
                                "' && mkdir -p '" + g_demo.documents + "' '" + g_demo.restored + "'");
    for (int d = 1; d <= 3; ++d) {
        g_demo.disk[d] = g_demo.root + "/disk-" + std::to_string(d);
        ok = ok && drv::host_command("mkdir -p " + g_demo.disk[d]);
    }
    if (!g_demo.docs.empty())
        ok = ok && drv::host_command("mkdir -p '" + g_demo.docs + "'");
    return ok && drv::write_file("C:\\Documents\\REPORT.DOC", drv::random_bytes(kSampleBytes, 2026));
}

// Says on the terminal what each box said and how it was answered.
void tell(const drv::Box& box)
{
    std::string text = box.text;
    for (size_t at = text.find('\n'); at != std::string::npos; at = text.find('\n'))
        text.replace(at, 1, " / ");
    std::printf("  [%s] %s -> OK\n", box.caption.c_str(), text.c_str());
}

bool split(drv::Program& app)
{
    int disk = 1;
    std::thread progress_shot;
    drv::JobRun run;
    std::printf("Split of C:\\Documents\\REPORT.DOC onto A:\\REPORT.DOC:\n");
    const bool ok = drv::run_split(
        app, "C:\\Documents\\REPORT.DOC", "A:\\REPORT.DOC",
        [&](const drv::Box& box) {
            tell(box);
            if (box.text.rfind("Total Number Of Pre-Formatted Disks Required", 0) == 0) {
                picture("split-disk-count", window_area(box.window));
                progress_shot = std::thread(picture_check_and_first_piece, app.main_window());
            } else if (box.text == "Insert Next Disk!") {
                if (progress_shot.joinable())
                    progress_shot.join();
                if (disk == 1)
                    picture("split-insert-next-disk", window_area(box.window));
                eject_to(disk++);
            } else if (box.text == "Copy Complete!") {
                picture("split-complete", window_area(box.window));
                eject_to(disk);
            }
            return IDOK;
        },
        run, drv::kJobBoxTimeout, picture_chooser("split-source-chooser", "split-destination-chooser"));
    if (progress_shot.joinable())
        progress_shot.join();
    std::printf("Split: %s, %d disks\n", run.completed ? "Copy Complete!" : "did not complete", disk);
    return ok && run.completed && disk == 3;
}

// Disk 3 goes in where disk 2 is due; the retry box tells, and disk 2 follows. Then disk 3
// with one byte gone bad: the check names it, and a good copy goes in.
bool reassemble(drv::Program& app)
{
    int disk = 1;
    bool wrong_disk_shown = false;
    bool failed_check_shown = false;
    std::string good_piece_3;
    const std::string piece_3 = "A:\\REPORT.DOC_3";
    auto insert_damaged_3 = [&] {
        insert(3);
        drv::read_file(piece_3, good_piece_3);
        std::string damaged = good_piece_3;
        damaged[damaged.size() / 2] ^= 0x01;
        drv::write_file(piece_3, damaged);
    };
    insert(1);
    drv::JobRun run;
    std::printf("Re-assemble of A:\\REPORT.DOC_1 into C:\\Restored\\REPORT.DOC:\n");
    const bool ok = drv::run_reassemble(
        app, "A:\\REPORT.DOC_1", "C:\\Restored\\REPORT.DOC",
        [&](const drv::Box& box) {
            tell(box);
            if (box.text == "Insert Next Disk!") {
                eject_to(disk);
                if (disk == 1 && !wrong_disk_shown)
                    insert(3);
                else if (++disk == 3)
                    insert_damaged_3();
                else
                    insert(disk);
            } else if (box.text == kDisk3Failed) {
                picture("join-failed-check", window_area(box.window));
                failed_check_shown = true;
                drv::write_file(piece_3, good_piece_3);
            } else if (box.text == kWrongDisk) {
                picture("join-wrong-disk", window_area(box.window));
                wrong_disk_shown = true;
                eject_to(3);
                insert(++disk);
            } else if (box.text == "Copy Complete!") {
                picture("join-complete", window_area(box.window), false);
            }
            return IDOK;
        },
        run, drv::kJobBoxTimeout, picture_chooser("join-source-chooser", "join-destination-chooser"));
    std::printf("Re-assemble: %s, %d disks\n", run.completed ? "Copy Complete!" : "did not complete",
                disk);
    return ok && run.completed && disk == 3 && wrong_disk_shown && failed_check_shown;
}

} // namespace

int main(int argc, char** argv)
{
    drv::Cleanup unmount([] { drv::unmount_medium(g_demo.drive); });
    if (argc == 3 && std::string(argv[1]) == "--docs")
        g_demo.docs = argv[2];
    if (!prepare()) {
        std::fprintf(stderr, "demo: could not prepare the floppy drive and the sample\n");
        return 1;
    }
    drv::Program app;
    if (!app.start()) {
        std::fprintf(stderr, "demo: the program did not start\n");
        return 1;
    }
    Sleep(500);
    picture("main-window", window_area(app.main_window()), false);
    bool ok = picture_menu(app, 'm', "media-menu") && picture_menu(app, 'f', "file-menu");
    if (!ok)
        std::fprintf(stderr, "demo: a menu did not open or close\n");
    ok = ok && split(app) && reassemble(app);
    std::string sample, joined;
    ok = ok && drv::read_file("C:\\Documents\\REPORT.DOC", sample) &&
         drv::read_file("C:\\Restored\\REPORT.DOC", joined) && sample == joined;
    std::printf("Round trip of %zu bytes across three floppies: %s\n", sample.size(),
                ok ? "identical" : "FAILED");
    app.command(IDM_EXIT);
    app.wait_exit(10000);
    std::printf("Pictures:\n");
    for (const auto& shot : g_demo.shots)
        std::printf("  %s\n", shot.c_str());
    if (!g_demo.docs.empty())
        std::printf("README pictures refreshed in %s\n", g_demo.docs.c_str());
    return ok ? 0 : 1;
}
