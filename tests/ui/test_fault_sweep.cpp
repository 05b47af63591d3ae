// Every file call of a job made to fail in turn: one run per call and per way of failing,
// on the real program with the fault injector loaded (tests/faults/). A clean run of each
// job counts its calls first. Each run must then report the fault (an error box and the
// cancel ending, or a retry question that goes on once answered), never say "Copy
// Complete!" over wrong bytes, leave the source and every piece finished before the fault
// intact, neither crash nor hang, and leave the menu working. One program process serves
// run after run; after a refused close, which leaves a file open in it for good, it is
// ended through Exit and started afresh. Prints the fault points tried and a table of
// outcomes per job.
#include <doctest.h>

#include <cstdio>
#include <map>

#include "driver/engine_helpers.h"
#include "driver/fault_injection.h"
#include "driver/job_runner.h"

using eng::win;

namespace {

constexpr uint32_t kCapacity = 140000;  // pieces of two blocks: 131,072 and 8,928 bytes
constexpr size_t kSourceSize = 2 * kCapacity + 999;
constexpr uint32_t kPieces = 3;
constexpr DWORD kBoxTimeout = 30000;
constexpr int kMaxRetryQuestions = 3;

const std::string kComplete = "Copy Complete!";
const std::string kCancelled = "Copy Cancelled By User!";
const std::string kNext = "Insert Next Disk!";
const std::string kFreeSpace = "Not Enough FreeSpace On Disk!\nTry Another.";
const std::string kRetry =
    "Trouble Opening Source File...\nPossibly Wrong Disk Order! Try Another Disk.";
const std::string kOpenFailed = "Trouble Opening Source File... Copy Cancelled!";
const std::string kVerification = "Disk Failed Verification!\nInsert Another Disk.";

enum class Job { split, reassemble };

enum Ending { kCompleteEnding, kRetriedEnding, kCancelEnding, kEarlyEnd, kWrongEnding, kEndings };
const char* const kEndingHeads[kEndings] = {"complete", "retried+complete", "error+cancel",
                                            "error, ends", "WRONG"};

struct RunResult {
    Ending ending = kWrongEnding;
    std::string error;          // the error box's text, if one came
    LONG calls[kFaultFunctionCount] = {};
};

struct Row {
    int points = 0;
    int endings[kEndings] = {};
};

struct Sweep {
    Job job = Job::split;
    drv::Program app;
    drv::FaultControlBlock faults;
    std::string source;               // the original bytes
    std::string source_path;          // the split's source, or the first piece
    std::string pieces_dir;           // where the pieces are (read or written)
    std::string destination;
    std::string output_dir;
    int restarts = 0;

    std::string piece(uint32_t k) const
    {
        return pieces_dir + "\\DATA.BIN_" + std::to_string(k);
    }
    std::string piece_bytes(uint32_t k) const
    {
        return source.substr(size_t(k - 1) * kCapacity, kCapacity);
    }
    std::string count_file() const { return pieces_dir + "\\DATA.BIN_Total"; }
};

bool is_error_box(const drv::Box& box)
{
    return box.caption == "Error" && box.buttons.size() == 1;
}

bool is_retry_question(const drv::Box& box)
{
    return box.text == kFreeSpace || box.text == kRetry || box.text == kVerification;
}

// Exactly one error box, at once followed by the cancel ending; or the early end after the
// first open; or a completion, with or without retry questions before it.
Ending classify(const drv::JobRun& run, std::string& error)
{
    int errors = 0, retries = 0;
    for (const drv::Box& box : run.boxes) {
        if (is_error_box(box)) {
            ++errors;
            error = box.text;
        }
        retries += is_retry_question(box);
    }
    const size_t n = run.boxes.size();
    if (run.completed)
        return errors ? kWrongEnding : retries ? kRetriedEnding : kCompleteEnding;
    if (errors == 1 && run.closing_note && n >= 2 && is_error_box(run.boxes[n - 2]))
        return kCancelEnding;
    if (errors == 1 && !run.closing_note && n == 1 && error == kOpenFailed)
        return kEarlyEnd;
    return kWrongEnding;
}

std::string describe(const drv::JobRun& run)
{
    std::string out;
    for (const drv::Box& box : run.boxes)
        out += "\n  " + box.describe();
    return out.empty() ? "\n  (no box)" : out;
}

bool start(Sweep& s)
{
    return drv::start_with_injector(s.app, s.faults) && drv::set_capacity(s.app, kCapacity);
}

// Exit, as the user ends the program; a crashed or hung program fails here.
void stop(Sweep& s)
{
    if (!s.app.running()) {
        s.app.kill();
        return;
    }
    CHECK(s.app.wait_idle());
    s.app.command(IDM_EXIT);
    CHECK_MESSAGE(s.app.wait_exit() == 0u, "the program did not end normally on Exit");
    s.app.kill();
}

void clear_output(const Sweep& s)
{
    for (const std::string& name : eng::files_in(s.output_dir))
        REQUIRE(DeleteFileA((s.output_dir + "\\" + name).c_str()));
}

bool is_prefix(const std::string& part, const std::string& whole)
{
    return part.size() <= whole.size() && whole.compare(0, part.size(), part) == 0;
}

// The pieces finished before the fault are those the user was asked to swap out.
void check_split_files(const Sweep& s, const drv::JobRun& run)
{
    CHECK_MESSAGE(eng::file_bytes(s.source_path) == s.source, "the source changed");
    uint32_t finished = 0;
    for (const drv::Box& box : run.boxes)
        finished += box.text == kNext;
    if (run.completed) {
        finished = kPieces;
        CHECK(eng::files_in(s.output_dir) == std::vector<std::string>{
                                                 "DATA.BIN_1", "DATA.BIN_2", "DATA.BIN_3",
                                                 "DATA.BIN_Total"});
    }
    if (finished > 0)
        CHECK(eng::file_bytes(s.count_file()) == eng::checked_count_file(s.source, kCapacity));
    for (uint32_t k = 1; k <= finished; ++k) {
        CAPTURE(k);
        CHECK_MESSAGE(eng::file_bytes(s.piece(k)) == s.piece_bytes(k), "a finished piece is damaged");
    }
    // What was written of the piece the fault stopped holds nothing but the source's bytes.
    if (finished < kPieces && drv::file_exists(s.piece(finished + 1)))
        CHECK(is_prefix(eng::file_bytes(s.piece(finished + 1)), s.piece_bytes(finished + 1)));
}

void check_reassemble_files(const Sweep& s, const drv::JobRun& run)
{
    CHECK_MESSAGE(eng::file_bytes(s.count_file()) == eng::count_bytes(kPieces), "the count changed");
    for (uint32_t k = 1; k <= kPieces; ++k) {
        CAPTURE(k);
        CHECK_MESSAGE(eng::file_bytes(s.piece(k)) == s.piece_bytes(k), "a piece changed");
    }
    if (run.completed)
        CHECK_MESSAGE(eng::file_bytes(s.destination) == s.source, "\"Copy Complete!\" over wrong bytes");
    else if (drv::file_exists(s.destination))
        CHECK(is_prefix(eng::file_bytes(s.destination), s.source));
}

RunResult run_once(Sweep& s, FaultKind kind, LONG call)
{
    RunResult result;
    if (!s.app.running()) {
        REQUIRE(start(s));
        ++s.restarts;
    }
    clear_output(s);
    s.faults.arm(kind, call);
    int retries = 0;
    const drv::BoxHook hook = [&](const drv::Box& box) {
        // Each fault fires once: a retry question must not come back again and again.
        return is_retry_question(box) && ++retries > kMaxRetryQuestions ? IDCANCEL : IDOK;
    };
    drv::JobRun run;
    const bool ended = s.job == Job::split
                           ? drv::run_split(s.app, s.source_path, s.destination, hook, run, kBoxTimeout)
                           : drv::run_reassemble(s.app, s.source_path, s.destination, hook, run,
                                                 kBoxTimeout);
    INFO("boxes:" << describe(run));
    CHECK_MESSAGE(ended, "the job did not end (a hang, a crash or a missing chooser)");
    CHECK_MESSAGE(s.app.running(), "the program is gone");
    const bool idle = s.app.wait_idle();
    CHECK_MESSAGE(idle, "the menu stays locked");
    CHECK(s.app.wait_no_dialog(2000));
    if (kind != kNoFault)
        CHECK_MESSAGE(s.faults.fired(), "the fault point was not reached");
    for (int f = 0; f < kFaultFunctionCount; ++f)
        result.calls[f] = s.faults.calls(FaultFunction(f));
    result.ending = classify(run, result.error);
    CHECK_MESSAGE(result.ending != kWrongEnding, "not an ending the design allows");
    // A hung program is of no use for the next run. A refused close leaves the file open
    // in the program, without sharing: end the program before the files are read, and
    // start a new one for the next run.
    if (!ended || !idle)
        s.app.kill();
    else if (kind == kCloseFails)
        stop(s);
    if (s.job == Job::split)
        check_split_files(s, run);
    else
        check_reassemble_files(s, run);
    return result;
}

void print_table(const char* job, const std::map<FaultKind, Row>& rows,
                 const std::map<std::string, int>& errors, int restarts, DWORD took)
{
    int points = 0;
    for (const auto& [kind, row] : rows)
        points += row.points;
    std::printf("\nFault sweep of the %s job: %d fault points tried, %d program starts, %lu s\n",
                job, points, restarts, static_cast<unsigned long>(took / 1000));
    std::printf("%-18s %-14s %6s", "function", "fault", "points");
    for (const char* head : kEndingHeads)
        std::printf(" %16s", head);
    std::printf("\n");
    for (const auto& [kind, row] : rows) {
        const FaultKindInfo& info = drv::fault_kind_info(kind);
        std::printf("%-18s %-14s %6d", info.function_name, info.name, row.points);
        for (int count : row.endings)
            std::printf(" %16d", count);
        std::printf("\n");
    }
    std::printf("error boxes:");
    for (const auto& [text, count] : errors)
        std::printf("\n  %3d x \"%s\"", count, text.c_str());
    std::printf("\n");
    std::fflush(stdout);
}

void sweep(Sweep& s, const char* name)
{
    const DWORD began = GetTickCount();
    REQUIRE(start(s));
    s.restarts = 1;
    const RunResult clean = run_once(s, kNoFault, 0);
    REQUIRE(clean.ending == kCompleteEnding);
    for (int f = 0; f < kFaultFunctionCount; ++f) {
        // The re-assemble measures no free space; every other function serves both jobs.
        if (s.job == Job::split || f != kGetDiskFreeSpaceA)
            CHECK(clean.calls[f] > 0);
    }

    std::map<FaultKind, Row> rows;
    std::map<std::string, int> errors;
    for (const FaultKindInfo& info : kFaultKinds) {
        Row& row = rows[info.kind];
        for (LONG call = 1; call <= clean.calls[info.function]; ++call) {
            INFO(std::string(name) << ": " << std::string(info.function_name) << " "
                                   << std::string(info.name) << " at call " << call << " of "
                                   << clean.calls[info.function]);
            const RunResult r = run_once(s, info.kind, call);
            ++row.points;
            ++row.endings[r.ending];
            if (!r.error.empty())
                ++errors[r.error];
            // Only the open of the job's own source may end it without the cancel ending.
            if (r.ending == kEarlyEnd)
                CHECK((info.function == kCreateFileA && call == 1));
        }
    }
    stop(s);
    print_table(name, rows, errors, s.restarts, GetTickCount() - began);
}

} // namespace

TEST_CASE("fault sweep: every file call of a three-piece split fails in turn, each way")
{
    Sweep s;
    s.job = Job::split;
    const std::string root = drv::test_folder("fault_sweep_split");
    s.source = drv::random_bytes(kSourceSize, 2024);
    s.source_path = win(root) + "\\DATA.BIN";
    REQUIRE(drv::write_file(s.source_path, s.source));
    s.pieces_dir = s.output_dir = win(root) + "\\out";
    REQUIRE(CreateDirectoryA(s.output_dir.c_str(), nullptr));
    s.destination = s.output_dir + "\\DATA.BIN";
    sweep(s, "split");
}

TEST_CASE("fault sweep: every file call of a three-piece re-assemble fails in turn, each way")
{
    Sweep s;
    s.job = Job::reassemble;
    const std::string root = drv::test_folder("fault_sweep_reassemble");
    s.source = drv::random_bytes(kSourceSize, 2025);
    s.pieces_dir = win(root) + "\\set";
    REQUIRE(CreateDirectoryA(s.pieces_dir.c_str(), nullptr));
    for (uint32_t k = 1; k <= kPieces; ++k)
        REQUIRE(drv::write_file(s.piece(k), s.piece_bytes(k)));
    REQUIRE(drv::write_file(s.count_file(), eng::count_bytes(kPieces)));
    s.source_path = s.piece(1);
    s.output_dir = win(root) + "\\joined";
    REQUIRE(CreateDirectoryA(s.output_dir.c_str(), nullptr));
    s.destination = s.output_dir + "\\DATA.BIN";
    sweep(s, "re-assemble");
}
