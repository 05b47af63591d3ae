// The headless demo behind tools/demo: the main job of the real program, start to end.
// Splits a sample file across three floppies in drive A: (a tmpfs of a real floppy's
// capacity), swapping the disks as a user would, re-assembles it, checks it byte for byte,
// and leaves a screenshot of each stage in the build folder.
#include <cstdio>
#include <string>
#include <thread>

#include "driver/job_runner.h"
#include "resources/resource.h"

namespace {

constexpr uint64_t kFloppyBytes = 1474560;
constexpr size_t kSampleBytes = 3500000;  // three floppies at 1,400,000 bytes each

struct Demo {
    std::string root, drive, work;
    std::string disk[4];  // stash folders of disks 1..3
    std::vector<std::string> shots;
};
Demo g_demo;

void shoot(const std::string& name)
{
    drv::screenshot(name);
    g_demo.shots.push_back(drv::build_dir() + "/" + name);
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

void shoot_progress_window_when_shown(HWND main_window)
{
    const bool shown = drv::wait_until([&] {
        HWND progress = FindWindowExA(main_window, nullptr, "SLIVERDISKMSG", nullptr);
        return progress && IsWindowVisible(progress);
    }, 10000);
    // The flush (400 ms) and the pause after the piece (300 ms) keep it up long enough for
    // the bar to be seen filling.
    if (shown) {
        Sleep(450);
        shoot("demo-3-progress-window.png");
    }
}

bool prepare()
{
    g_demo.root = drv::test_folder("demo");
    g_demo.drive = g_demo.root + "/floppy-drive";
    g_demo.work = g_demo.root + "/work";
    bool ok = drv::mount_medium(g_demo.drive, kFloppyBytes) && drv::set_drive('A', g_demo.drive) &&
              drv::host_command("mkdir -p " + g_demo.work);
    for (int d = 1; d <= 3; ++d) {
        g_demo.disk[d] = g_demo.root + "/disk-" + std::to_string(d);
        ok = ok && drv::host_command("mkdir -p " + g_demo.disk[d]);
    }
    return ok && drv::write_file(drv::windows_path(g_demo.work + "/sample.bin"),
                                 drv::random_bytes(kSampleBytes, 2026));
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
    std::printf("Split of sample.bin onto A:\\sample.bin:\n");
    const bool ok = drv::run_split(
        app, drv::windows_path(g_demo.work + "/sample.bin"), "A:\\sample.bin",
        [&](const drv::Box& box) {
            tell(box);
            if (box.text.rfind("Total Number Of Pre-Formatted Disks Required", 0) == 0) {
                shoot("demo-2-disk-count-question.png");
                progress_shot = std::thread(shoot_progress_window_when_shown, app.main_window());
            } else if (box.text == "Insert Next Disk!") {
                if (disk == 1)
                    shoot("demo-4-insert-next-disk.png");
                eject_to(disk++);
            } else if (box.text == "Copy Complete!") {
                shoot("demo-5-split-complete.png");
                eject_to(disk);
            }
            return IDOK;
        },
        run);
    if (progress_shot.joinable())
        progress_shot.join();
    std::printf("Split: %s, %d disks\n", run.completed ? "Copy Complete!" : "did not complete", disk);
    return ok && run.completed && disk == 3;
}

bool reassemble(drv::Program& app)
{
    int disk = 1;
    insert(1);
    drv::JobRun run;
    std::printf("Re-assemble of A:\\sample.bin_1 into joined.bin:\n");
    const bool ok = drv::run_reassemble(
        app, "A:\\sample.bin_1", drv::windows_path(g_demo.work + "/joined.bin"),
        [&](const drv::Box& box) {
            tell(box);
            if (box.text == "Insert Next Disk!") {
                eject_to(disk);
                insert(++disk);
            } else if (box.text == "Copy Complete!") {
                shoot("demo-6-reassemble-complete.png");
            }
            return IDOK;
        },
        run);
    std::printf("Re-assemble: %s, %d disks\n", run.completed ? "Copy Complete!" : "did not complete",
                disk);
    return ok && run.completed && disk == 3;
}

} // namespace

int main()
{
    drv::Cleanup unmount([] { drv::unmount_medium(g_demo.drive); });
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
    shoot("demo-1-main-window.png");
    bool ok = split(app) && reassemble(app);
    std::string sample, joined;
    ok = ok && drv::read_file(drv::windows_path(g_demo.work + "/sample.bin"), sample) &&
         drv::read_file(drv::windows_path(g_demo.work + "/joined.bin"), joined) && sample == joined;
    std::printf("Round trip of %zu bytes across three floppies: %s\n", sample.size(),
                ok ? "identical" : "FAILED");
    app.command(IDM_EXIT);
    app.wait_exit(10000);
    std::printf("Screenshots:\n");
    for (const auto& shot : g_demo.shots)
        std::printf("  %s\n", shot.c_str());
    return ok ? 0 : 1;
}
