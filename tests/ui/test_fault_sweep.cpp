// Every file call of a job made to fail, on the real program with the fault injector loaded
// (tests/faults/): one run per call and per way of failing; then the calls that only error
// and retry paths make, each after a first fault that leads there; then one fault per
// function that persists, as a disk that stays bad. A clean run logs the calls with the
// file each concerns. From that log and the design alone the test works out what each
// failure must bring: the boxes, their texts and their order. Every run must also leave
// the source intact and in the set's folder only what the set may hold, neither crash nor
// hang, and leave the menu working. One program process serves every run: the handles a
// refused close left open are closed in it after the run. The fast clock takes out the
// program's fixed pauses, which are not this test's affair. Prints per job a table of the
// calls really failed and the endings, per function and fault kind.
#include <doctest.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstring>
#include <map>

#include "driver/engine_helpers.h"
#include "driver/fault_injection.h"
#include "driver/job_runner.h"

using eng::win;

namespace {

constexpr uint32_t kCapacity = 140000;  // pieces of two blocks (131,072 and 8,928 bytes) and
constexpr size_t kSourceSize = 2 * kCapacity + 999;  // a last one of one block
constexpr uint32_t kPieces = 3;
constexpr size_t kBlock = 131072;
constexpr int kRetriesAnswered = 3;  // a question that comes again after that is cancelled

const std::string kComplete = "Copy Complete!";
const std::string kCancelled = "Copy Cancelled By User!";
const std::string kNext = "Insert Next Disk!";
const std::string kTotal = "Total Number Of Pre-Formatted Disks Required = 3";
const std::string kFreeSpace = "Not Enough FreeSpace On Disk!\nTry Another.";
const std::string kWrongDisk =
    "Trouble Opening Source File...\nPossibly Wrong Disk Order! Try Another Disk.";
const std::string kVerification = "Disk Failed Verification!\nInsert Another Disk.";
const std::string kOpenFailed = "Trouble Opening Source File... Copy Cancelled!";
const std::string kCreating = "Trouble Creating File... Copy Cancelled!";
const std::string kReading = "Trouble Reading Source File... Copy Cancelled!";
const std::string kWritingCount = "Trouble Writing Total Number Of Disks File... Copy Cancelled!";
const std::string kWritingDestination = "Trouble Writing Destination File... Copy Cancelled!";
const std::string kNoCountInfo = "Cannot Find Total Number Of Disks Info... Copy Cancelled!";
const std::string kJoinedFailed = "Joined File Failed Its Check... Copy Cancelled!";

enum class Job { split, reassemble };

// The file a call concerns: piece k is k.
constexpr int kNoFile = 0, kSourceFile = -1, kCountFile = -2, kJoinedFile = -3, kAnyFile = -4;

struct Shown {
    std::string text;
    bool error;  // an error box: caption "Error", OK only
    LONG at;     // calls made before it came
};

struct Run {
    std::vector<Shown> boxes;
    std::vector<LoggedCall> log;
    LONG failed = 0;  // calls the swept fault made fail
};

enum Ending { kCompleted, kAskedCompleted, kErrorCancel, kAskedCancel, kErrorEnds, kEndings };
const char* const kEndingHeads[kEndings] = {"complete", "asked, complete", "error, cancel",
                                            "asked, Cancel", "error, ends"};

struct Row {
    int runs = 0;
    LONG failed = 0;
    int endings[kEndings] = {};
};

struct Sweep {
    Job job = Job::split;
    drv::Program app;
    drv::FaultControlBlock faults;
    std::string source;       // the original bytes
    std::string source_path;  // the split's source, or the first piece
    std::string pieces_dir;   // where the pieces are (read or written)
    std::string destination;
    std::string output_dir;
    std::map<FaultKind, Row> rows;
    int runs[3] = {};  // single faults, on retry paths, persistent

    std::string piece(uint32_t k) const { return pieces_dir + "\\DATA.BIN_" + std::to_string(k); }
    std::string piece_bytes(uint32_t k) const
    {
        return source.substr(size_t(k - 1) * kCapacity, kCapacity);
    }
    size_t blocks(uint32_t k) const { return (piece_bytes(k).size() + kBlock - 1) / kBlock; }
    std::string count_file() const { return pieces_dir + "\\DATA.BIN_Total"; }
};

bool ends_with(const std::string& path, const char* end)
{
    const size_t n = std::strlen(end);
    return n && n <= path.size() && lstrcmpiA(path.c_str() + path.size() - n, end) == 0;
}

int file_of(const Sweep& s, const LoggedCall& c)
{
    if (ends_with(s.count_file(), c.file))
        return kCountFile;
    for (uint32_t k = 1; k <= kPieces; ++k)
        if (ends_with(s.piece(k), c.file))
            return int(k);
    if (ends_with(s.source_path, c.file))
        return kSourceFile;
    return ends_with(s.destination, c.file) ? kJoinedFile : kNoFile;
}

// A call of a function on a file, opened for writing or past the cache (flags) or any.
struct Site {
    FaultFunction function;
    int file;
    LONG flags;
};
constexpr LONG kAnyFlags = -1;

size_t find(const Sweep& s, const std::vector<LoggedCall>& log, const Site& site, size_t from)
{
    for (size_t i = from; i < log.size(); ++i) {
        const LoggedCall& c = log[i];
        if (c.function == site.function &&
            (site.file == kAnyFile || file_of(s, c) == site.file) &&
            (site.flags == kAnyFlags || (c.flags & (kWrites | kNoBuffering)) == site.flags))
            return i;
    }
    return log.size();
}

// What failing one call must bring: the boxes it adds, and whether the job ends with them
// (otherwise it goes on as it would have). From the design and the README's messages.
struct Effect {
    std::vector<std::string> boxes;
    bool ends;
};
const Effect kHarmless = {{}, false};
Effect ask(const std::string& question) { return {{question}, false}; }
Effect fail(const std::string& error) { return {{error, kCancelled}, true}; }

// The call after i that is not the free-space query's second half (the free bytes, from
// GetDiskFreeSpaceExA where there is one).
const LoggedCall* next_call(const std::vector<LoggedCall>& log, size_t i)
{
    for (size_t j = i + 1; j < log.size(); ++j)
        if (log[j].function != kGetDiskFreeSpaceA && log[j].function != kGetDiskFreeSpaceExA)
            return &log[j];
    return nullptr;
}

// A free-space query right before a file is created for writing is the free-space check;
// any other is the read-back's question for the sector size.
bool free_space_check(const std::vector<LoggedCall>& log, size_t i)
{
    const LoggedCall* next = next_call(log, i);
    return next && next->function == kCreateFileA && (next->flags & kWrites);
}

Effect effect(const Sweep& s, FaultKind kind, const std::vector<LoggedCall>& log, size_t i)
{
    const LoggedCall& c = log[i];
    const int file = file_of(s, c);
    const bool split = s.job == Job::split;
    const std::string failed_check = "Disk " + std::to_string(file) + " Failed Its Check!\nInsert A Good Copy.";
    switch (c.function) {
    case kCreateFileA:
        // The job's own source (the split's file, the first piece): nothing to cancel yet.
        if (i == 0)
            return {{kOpenFailed}, true};
        if (c.flags & kWrites)  // the count file, a piece, the joined file
            return fail(kCreating);
        // A read-back opens past the file cache where the drive allows it, through the
        // cache otherwise; failing that too, the disk failed. Before the joined file is
        // created, an open of it only asks for its identity, and finds none.
        if (c.flags & kNoBuffering)
            return kHarmless;
        if (split)
            return ask(kVerification);
        if (file == kJoinedFile)
            return find(s, log, {kCreateFileA, kJoinedFile, kWrites}, 0) < i ? fail(kJoinedFailed)
                                                                              : kHarmless;
        if (file == kCountFile)
            return fail(kNoCountInfo);
        // Piece 2 or 3 not found may be the wrong disk in the drive. The destination's
        // identity is asked only of a file that exists, and it does not.
        return file > 1 ? ask(kWrongDisk) : kHarmless;
    case kReadFile:
        // A read may deliver fewer bytes than asked: only a read of 0 bytes ends a file.
        if (kind == kShortRead)
            return kHarmless;
        if (split && file != kSourceFile)  // a piece or the count file read back
            return ask(kVerification);
        if (file == kJoinedFile)
            return fail(kJoinedFailed);
        if (file > 0)  // a piece of a checked set: a sector gone bad, mended by a good copy
            return ask(failed_check);
        return fail(kReading);  // the source, the count file
    case kWriteFile:  // a write is as good as the bytes it reports, and as its read-back
        if (kind == kChangedWrite)
            return split ? ask(kVerification) : fail(kJoinedFailed);
        return fail(file == kCountFile ? kWritingCount : kWritingDestination);
    case kSetFilePointer:
        if (file == kJoinedFile)  // the joined file cut back before a piece that failed
            return fail(kWritingDestination);
        // A piece to join is measured for its bar alone, then must be set to its start;
        // the split's source must be measured and set back.
        return !split && (c.flags & kFromEnd) ? kHarmless : fail(kReading);
    case kGetDiskFreeSpaceA:
        // The free-space check asks for another disk; a drive that cannot tell its sector
        // size is read back through the cache.
        return free_space_check(log, i) ? ask(kFreeSpace) : kHarmless;
    case kGetDiskFreeSpaceExA:  // only the free-space check asks for free bytes
        return ask(kFreeSpace);
    case kCloseHandle:
        if (!(c.flags & kWrites))  // a file only read: what it gave is had
            return kHarmless;
        if (file == kJoinedFile)
            return fail(kWritingDestination);
        // The count file or a piece just written: the disk failed. The refused close leaves
        // the file open in the program, without sharing, so after OK (the same disk) it
        // cannot be created again.
        return {{kVerification, kCreating, kCancelled}, true};
    case kFlushFileBuffers:  // the count file or a piece before its read-back; the joined file
        return split ? ask(kVerification) : fail(kWritingDestination);
    default:  // SetEndOfFile: the joined file cut back
        return fail(kWritingDestination);
    }
}

std::vector<std::string> texts(const std::vector<Shown>& boxes)
{
    std::vector<std::string> out;
    for (const Shown& box : boxes)
        out.push_back(box.text);
    return out;
}

std::string listed(const std::vector<std::string>& boxes)
{
    std::string out;
    for (const std::string& box : boxes)
        out += "\n  " + box;
    return out;
}

// The boxes of the base run up to call i, what failing it brings and, when the job goes on,
// the rest of the base run's. Once an error box has sealed the job's end, the closes of
// the cancel ending change nothing.
std::vector<std::string> expected(const Run& base, const Effect& e, size_t i)
{
    std::vector<std::string> out;
    size_t b = 0;
    for (; b < base.boxes.size() && base.boxes[b].at <= LONG(i); ++b) {
        if (base.boxes[b].error)
            return texts(base.boxes);
        out.push_back(base.boxes[b].text);
    }
    out.insert(out.end(), e.boxes.begin(), e.boxes.end());
    for (; !e.ends && b < base.boxes.size(); ++b)
        out.push_back(base.boxes[b].text);
    return out;
}

// The boxes when calls of the kind's function fail from call i on (only those on `file`,
// if one is given): the first that is not harmless decides. A question is asked again
// after every OK, since the disk stays bad, until the user gives up.
std::vector<std::string> expected_from(const Sweep& s, const Run& base, FaultKind kind,
                                       size_t from, int file = kAnyFile)
{
    for (size_t i = from; i < base.log.size(); ++i) {
        Effect e = effect(s, kind, base.log, i);
        if (base.log[i].function != fault_function(kind) || e.boxes.empty() ||
            (file != kAnyFile && file_of(s, base.log[i]) != file))
            continue;
        if (!e.ends) {
            e.boxes.assign(kRetriesAnswered + 1, e.boxes[0]);
            e.boxes.push_back(kCancelled);
            e.ends = true;
        }
        return expected(base, e, i);
    }
    return texts(base.boxes);
}

// A refused close leaves the file open in the program without sharing: opened again on
// the same disk (the runs answer OK without changing it), it cannot be.
std::vector<std::string> expected_single(const Sweep& s, const Run& base, FaultKind kind, size_t i)
{
    const Effect e = effect(s, kind, base.log, i);
    const int file = file_of(s, base.log[i]);
    const size_t again = find(s, base.log, {kCreateFileA, file, kAnyFlags}, i + 1);
    if (kind == kCloseFails && e.boxes.empty() && file != kNoFile && again < base.log.size())
        return expected_from(s, base, kOpenFails, again, file);
    // A byte the joined file stored changed shows when the whole file is read back.
    if (kind == kChangedWrite && file == kJoinedFile)
        return expected(base, e, find(s, base.log, {kReadFile, kJoinedFile, kAnyFlags}, i + 1));
    return expected(base, e, i);
}

Ending ending_of(const std::vector<Shown>& boxes)
{
    bool asked = false, error = false;
    for (const Shown& box : boxes) {
        error |= box.error;
        asked |= !box.error && box.text != kTotal && box.text != kNext && box.text != kComplete &&
                 box.text != kCancelled;
    }
    if (!boxes.empty() && boxes.back().text == kComplete)
        return asked ? kAskedCompleted : kCompleted;
    if (!boxes.empty() && boxes.back().text == kCancelled)
        return error ? kErrorCancel : kAskedCancel;
    return kErrorEnds;
}

bool start(Sweep& s)
{
    if (!drv::start_with_injector(s.app, s.faults) || !drv::set_capacity(s.app, kCapacity))
        return false;
    s.faults.fast_clock(true);
    return true;
}

bool is_prefix(const std::string& part, const std::string& whole)
{
    return part.size() <= whole.size() && whole.compare(0, part.size(), part) == 0;
}

// A file in the output folder came from a create the injector saw.
bool created(const std::vector<LoggedCall>& log, const std::string& path)
{
    for (const LoggedCall& c : log)
        if (c.function == kCreateFileA && (c.flags & kWrites) && !(c.flags & kFaulted) &&
            ends_with(path, c.file))
            return true;
    return false;
}

// Every file the set may hold, and nothing else: the count file (written before piece 1,
// so whole once a piece is done), the pieces the user was asked to swap out whole, the piece
// the job stopped in begun, none after it.
void check_split_files(const Sweep& s, const Run& r)
{
    CHECK_MESSAGE(eng::file_bytes(s.source_path) == s.source, "the source changed");
    uint32_t finished = 0;
    for (const Shown& box : r.boxes)
        finished += box.text == kNext;
    if (!r.boxes.empty() && r.boxes.back().text == kComplete)
        finished = kPieces;
    if (finished > 0)
        CHECK(eng::file_bytes(s.count_file()) == eng::checked_count_file(s.source, kCapacity));
    for (uint32_t k = 1; k <= finished; ++k)
        CHECK_MESSAGE(eng::file_bytes(s.piece(k)) == s.piece_bytes(k), "piece " << k << " damaged");
    for (const std::string& name : eng::files_in(s.output_dir)) {
        const std::string path = s.output_dir + "\\" + name;
        CHECK_MESSAGE(created(r.log, path), name << " made by a call the injector did not see");
        uint32_t k = 0;  // 0: the count file
        while (k <= kPieces && path != (k ? s.piece(k) : s.count_file()))
            ++k;
        CHECK_MESSAGE(k <= kPieces, name << " is no file of the set");
        CHECK_MESSAGE(k <= finished + 1, name << " comes after the piece the job stopped in");
        if (k <= kPieces)
            CHECK_MESSAGE(is_prefix(eng::file_bytes(path),
                                    k ? s.piece_bytes(k) : eng::checked_count_file(s.source, kCapacity)),
                          name << " holds other bytes");
    }
}

void check_reassemble_files(const Sweep& s, const Run& r)
{
    CHECK_MESSAGE(eng::file_bytes(s.count_file()) == eng::checked_count_file(s.source, kCapacity),
                  "the count file changed");
    for (uint32_t k = 1; k <= kPieces; ++k)
        CHECK_MESSAGE(eng::file_bytes(s.piece(k)) == s.piece_bytes(k), "piece " << k << " changed");
    // A piece that failed its check is cut off the joined file again; if that fails, the
    // joined file holds the source's bytes before it, then the failed piece's. A failed
    // write stored the bytes before its middle, and a changed one there.
    size_t good = s.source.size();
    int piece = 0;
    for (const LoggedCall& c : r.log) {
        const int file = file_of(s, c);
        piece = c.function == kReadFile && file > 0 ? file : piece;
        if ((c.flags & kFaulted) && file == kJoinedFile &&
            (c.function == kSetFilePointer || c.function == kSetEndOfFile))
            good = size_t(piece - 1) * kCapacity;
        if ((c.flags & kFaulted) && file == kJoinedFile && c.function == kWriteFile)
            good = std::min(good, size_t(c.offset + c.asked / 2));
    }
    const bool completed = !r.boxes.empty() && r.boxes.back().text == kComplete;
    for (const std::string& name : eng::files_in(s.output_dir)) {
        CHECK_MESSAGE(s.output_dir + "\\" + name == s.destination, name << " is not the joined file");
        const std::string joined = eng::file_bytes(s.destination).substr(0, good);
        CHECK_MESSAGE((completed ? joined == s.source : is_prefix(joined, s.source)),
                      "the joined file holds other bytes than the source's first");
    }
}

Run run(Sweep& s, const std::vector<drv::Fault>& faults)
{
    for (const std::string& name : eng::files_in(s.output_dir))
        REQUIRE(DeleteFileA((s.output_dir + "\\" + name).c_str()));
    s.faults.arm(faults);
    Run r;
    std::map<std::string, int> asked;
    const drv::BoxHook hook = [&](const drv::Box& box) {
        const bool error = box.caption == "Error" && box.buttons.size() == 1;
        r.boxes.push_back({box.text, error, s.faults.logged()});
        const bool retry = box.buttons.size() == 2 && box.text != kTotal && box.text != kNext;
        return retry && ++asked[box.text] > kRetriesAnswered ? IDCANCEL : IDOK;
    };
    drv::JobRun job;
    const bool ended =
        s.job == Job::split
            ? drv::run_split(s.app, s.source_path, s.destination, hook, job, eng::kBoxTimeout)
            : drv::run_reassemble(s.app, s.source_path, s.destination, hook, job, eng::kBoxTimeout);
    CHECK_MESSAGE(ended, "the job did not end (a hang, a crash or a missing chooser)");
    const bool idle = s.app.running() && s.app.wait_idle();
    CHECK_MESSAGE(idle, "the program is gone, or its menu stays locked");
    CHECK(s.app.wait_no_dialog(2000));
    CHECK_MESSAGE(s.faults.fired(), "a fault point was not reached");
    REQUIRE(s.faults.logged() <= kLogSize);
    r.log = s.faults.log();
    r.failed = faults.empty() ? 0 : s.faults.failed(int(faults.size()) - 1);
    if (ended && idle) {
        CHECK(s.faults.close_refused(s.app.process()));
    } else {
        s.app.kill();  // of no use for the next run
        REQUIRE(start(s));
    }
    if (s.job == Job::split)
        check_split_files(s, r);
    else
        check_reassemble_files(s, r);
    return r;
}

const FaultKindInfo& info_of(FaultKind kind)
{
    for (const FaultKindInfo& info : kFaultKinds)
        if (info.kind == kind)
            return info;
    return kFaultKinds[0];
}

enum RunType { kSingle, kOnRetryPath, kPersistent };

// Fails call i of the base run's log, and every later one for a persistent fault, with
// the faults the base run had, and checks the boxes against what the design asks.
Run try_fault(Sweep& s, const Run& base, size_t i, std::vector<drv::Fault> faults,
              FaultKind kind, RunType type)
{
    const LoggedCall& c = base.log[i];
    const FaultKindInfo& info = info_of(kind);
    const bool persistent = type == kPersistent;
    const std::string what = std::string(info.function_name) + " " + info.name + " at call " +
                             std::to_string(c.call) + " (" + c.file + ")" +
                             (persistent ? " and every later one" : "") +
                             (faults.empty() ? "" : ", after a first fault");
    INFO(what);
    faults.push_back({kind, c.call, persistent ? LONG_MAX : c.call});
    const std::vector<std::string> want =
        persistent ? expected_from(s, base, kind, i) : expected_single(s, base, kind, i);
    const Run r = run(s, faults);
    CHECK_MESSAGE(texts(r.boxes) == want, "boxes:" << listed(texts(r.boxes)) << "\nwanted:" << listed(want));
    Row& row = s.rows[kind];
    ++row.runs;
    row.failed += r.failed;
    ++row.endings[ending_of(r.boxes)];
    ++s.runs[type];
    return r;
}

// Calls only error and retry paths make: a first fault at `at` (its first call in the clean
// run) leads there; then every call from `from` through `through` (or the job's end) fails
// in turn, each way.
struct RetryPath {
    Job job;
    FaultKind first;
    Site at, from, through;
};
constexpr Site kEnd = {kFaultFunctionCount, kAnyFile, kAnyFlags};
const RetryPath kRetryPaths[] = {
    // The second free-space check.
    {Job::split, kFreeSpaceFails, {kGetDiskFreeSpaceA, kNoFile, 0}, {kGetDiskFreeSpaceA, kNoFile, 0},
     {kGetDiskFreeSpaceA, kNoFile, 0}},
    // After piece 1 failed its read-back: the close of the read-back, the source set back,
    // the count file written again, the free-space check, piece 1 created again.
    {Job::split, kReadFails, {kReadFile, 1, kAnyFlags}, {kCloseHandle, 1, kAnyFlags},
     {kCreateFileA, 1, kWrites}},
    // A read-back that cannot be opened past the cache is opened through it.
    {Job::split, kOpenFails, {kCreateFileA, 1, kNoBuffering}, {kCreateFileA, 1, 0},
     {kCreateFileA, 1, 0}},
    // The closes of the cancel ending after a failed write.
    {Job::split, kShortWrite, {kWriteFile, 1, kAnyFlags}, {kCloseHandle, kAnyFile, kAnyFlags}, kEnd},
    // A wrong disk: piece 2 opened again.
    {Job::reassemble, kOpenFails, {kCreateFileA, 2, 0}, {kCreateFileA, 2, 0}, {kCreateFileA, 2, 0}},
    // Piece 2 failed its check: its close, the joined file cut back, piece 2 opened again.
    {Job::reassemble, kChangedRead, {kReadFile, 2, kAnyFlags}, {kCloseHandle, 2, kAnyFlags},
     {kCreateFileA, 2, 0}},
    {Job::reassemble, kShortWrite, {kWriteFile, kJoinedFile, kAnyFlags},
     {kCloseHandle, kAnyFile, kAnyFlags}, kEnd},
};

// At least a read and a write per block of every piece (the split: in the check, the copy
// and the read-back; the re-assemble: the copy and one read past each piece), and every
// file created, flushed and closed as the design has it. A data path moved to a call the
// injector does not see fails here instead of shrinking the sweep.
void check_least_calls(const Sweep& s, const std::vector<LoggedCall>& log)
{
    auto n = [&](FaultFunction function, int file, LONG flags = kAnyFlags) {
        size_t count = 0;
        for (size_t i = find(s, log, {function, file, flags}, 0); i < log.size();
             i = find(s, log, {function, file, flags}, i + 1))
            ++count;
        return count;
    };
    size_t all_blocks = 0;
    for (uint32_t k = 1; k <= kPieces; ++k) {
        CAPTURE(k);
        all_blocks += s.blocks(k);
        if (s.job == Job::split) {
            CHECK(n(kWriteFile, int(k)) >= s.blocks(k));
            CHECK(n(kReadFile, int(k)) >= s.blocks(k));
            CHECK(n(kCreateFileA, int(k), kWrites) >= 1);
            CHECK(n(kFlushFileBuffers, int(k)) >= 1);
            CHECK(n(kCloseHandle, int(k), kWrites) >= 1);
        } else {
            CHECK(n(kReadFile, int(k)) >= s.blocks(k) + 1);
            CHECK(n(kSetFilePointer, int(k)) >= 1);
        }
        CHECK(n(kCreateFileA, int(k), 0) + n(kCreateFileA, int(k), kNoBuffering) >= 1);
    }
    if (s.job == Job::split) {
        size_t checks = 0;  // the free-space questions, not the read-backs' sector sizes
        for (size_t i = 0; i < log.size(); ++i)
            checks += log[i].function == kGetDiskFreeSpaceA && free_space_check(log, i);
        CHECK(checks >= kPieces);
        CHECK(n(kReadFile, kSourceFile) >= 2 * all_blocks);
        CHECK(n(kWriteFile, kCountFile) >= 1);
        CHECK(n(kFlushFileBuffers, kCountFile) >= 1);
        CHECK(n(kCloseHandle, kCountFile, kWrites) >= 1);
        CHECK(n(kReadFile, kCountFile) >= 1);
    } else {
        CHECK(n(kReadFile, kCountFile) >= 1);
        CHECK(n(kWriteFile, kJoinedFile) >= all_blocks);
        CHECK(n(kFlushFileBuffers, kJoinedFile) >= 1);
        CHECK(n(kCloseHandle, kJoinedFile, kWrites) >= 1);
        CHECK(n(kReadFile, kJoinedFile) >= (s.source.size() + kBlock - 1) / kBlock);
    }
}

void print_table(const Sweep& s, const char* name, DWORD took)
{
    std::printf("\nFault sweep of the %s job: %d runs (%d single faults, %d on retry paths, %d "
                "persistent), %lu s\n%-18s %-14s %5s %6s",
                name, s.runs[0] + s.runs[1] + s.runs[2], s.runs[0], s.runs[1], s.runs[2],
                static_cast<unsigned long>(took / 1000), "function", "fault", "runs", "failed");
    for (const char* head : kEndingHeads)
        std::printf(" %15s", head);
    for (const auto& [kind, row] : s.rows) {
        const FaultKindInfo& info = info_of(kind);
        std::printf("\n%-18s %-14s %5d %6ld", info.function_name, info.name, row.runs,
                    static_cast<long>(row.failed));
        for (int count : row.endings)
            std::printf(" %15d", count);
    }
    std::printf("\n");
    std::fflush(stdout);
}

void sweep(Sweep& s, const char* name, const std::vector<std::string>& clean_boxes)
{
    const DWORD began = GetTickCount();
    REQUIRE(start(s));
    const Run clean = run(s, {});
    REQUIRE(texts(clean.boxes) == clean_boxes);
    check_least_calls(s, clean.log);

    std::map<std::pair<FaultKind, size_t>, Run> single;  // by kind and call in the clean log
    for (size_t i = 0; i < clean.log.size(); ++i)
        for (const FaultKindInfo& info : kFaultKinds)
            if (info.function == clean.log[i].function && info.kind != kChangedRead)
                single[{info.kind, i}] = try_fault(s, clean, i, {}, info.kind, kSingle);

    for (const RetryPath& path : kRetryPaths) {
        if (path.job != s.job)
            continue;
        const size_t at = find(s, clean.log, path.at, 0);
        REQUIRE(at < clean.log.size());
        if (!single.count({path.first, at}))
            single[{path.first, at}] = try_fault(s, clean, at, {}, path.first, kOnRetryPath);
        // The calls before the first fault are the clean run's: it is at `at` here too.
        const Run& first = single[{path.first, at}];
        const drv::Fault fault = {path.first, clean.log[at].call, clean.log[at].call};
        const size_t from = find(s, first.log, path.from, at + 1);
        const size_t through = path.through.function == kFaultFunctionCount
                                   ? first.log.size() - 1
                                   : find(s, first.log, path.through, from);
        REQUIRE(through < first.log.size());
        for (size_t i = from; i <= through; ++i)
            for (const FaultKindInfo& info : kFaultKinds)
                if (info.function == first.log[i].function && info.kind != kChangedRead)
                    try_fault(s, first, i, {fault}, info.kind, kOnRetryPath);
    }

    // One fault per function, from its first call for the second disk on: the medium goes
    // bad under a job under way, where the retry loops after a finished disk meet it. From
    // an earlier call it ends the job where the single fault does; functions not called
    // for the second disk are left out.
    LONG second_disk = LONG(clean.log.size());
    for (const Shown& box : clean.boxes)
        if (box.text == kNext && second_disk == LONG(clean.log.size()))
            second_disk = box.at;
    for (int f = 0; f < kFaultFunctionCount; ++f) {
        const size_t i =
            find(s, clean.log, {FaultFunction(f), kAnyFile, kAnyFlags}, size_t(second_disk));
        for (const FaultKindInfo& info : kFaultKinds)
            if (i < clean.log.size() && info.function == f) {
                try_fault(s, clean, i, {}, info.kind, kPersistent);
                break;
            }
    }

    if (s.job == Job::reassemble)
        CHECK_MESSAGE(s.rows[kCutFails].runs > 0, "the cut-back was not swept");
    CHECK(s.app.wait_idle());
    s.app.command(IDM_EXIT);
    CHECK_MESSAGE(s.app.wait_exit() == 0u, "the program did not end normally on Exit");
    print_table(s, name, GetTickCount() - began);
}

} // namespace

TEST_CASE("fault sweep: a three-piece split, every file call failing in turn, each way")
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
    sweep(s, "split", {kTotal, kNext, kNext, kComplete});
}

TEST_CASE("fault sweep: a three-piece re-assemble with checking, every file call failing in turn")
{
    Sweep s;
    s.job = Job::reassemble;
    const std::string root = drv::test_folder("fault_sweep_reassemble");
    s.source = drv::random_bytes(kSourceSize, 2025);
    s.pieces_dir = win(root) + "\\set";
    REQUIRE(CreateDirectoryA(s.pieces_dir.c_str(), nullptr));
    for (uint32_t k = 1; k <= kPieces; ++k)
        REQUIRE(drv::write_file(s.piece(k), s.piece_bytes(k)));
    REQUIRE(drv::write_file(s.count_file(), eng::checked_count_file(s.source, kCapacity)));
    s.source_path = s.piece(1);
    s.output_dir = win(root) + "\\joined";
    REQUIRE(CreateDirectoryA(s.output_dir.c_str(), nullptr));
    s.destination = s.output_dir + "\\DATA.BIN";
    sweep(s, "re-assemble", {kNext, kNext, kComplete});
}
