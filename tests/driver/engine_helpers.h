// Helpers for the copy engine's UI tests: media, files, the jobs' boxes and choosers.
//   Folders: every test gets fresh Unix folders under the build folder; win() is their
//   Windows name on Z:. Media are tmpfs folders (floppy() has a real floppy's capacity)
//   that a drive letter points at; swap_out/swap_in move one disk's files to and from
//   its stash folder, as a user changes the disk in the drive.
//   expect_box waits for the next message box, checks kind, caption and text, answers it;
//   expect_cancel_ending the closing note of a stopped job and nothing after it.
//   The jobs' texts that several tests wait for are named here once.
#ifndef SLIVERDISK_ENGINE_HELPERS_H
#define SLIVERDISK_ENGINE_HELPERS_H

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "driver/ui_driver.h"
#include "resources/resource.h"

namespace eng {

constexpr uint32_t kFloppyCapacity = 1400000;
constexpr uint64_t kFloppyMedium = 1474560;
constexpr DWORD kBoxTimeout = 30000;

extern const char kNoteCaption[];
extern const char kStandByCaption[];
extern const char kWarningCaption[];
extern const char kCopyComplete[];
extern const char kCopyCancelled[];
extern const char kNotEnoughFreeSpace[];
std::string disks_required(uint32_t n);  // the question before a split writes

extern const char kSplitSource[];
extern const char kSplitDestination[];
extern const char kJoinSource[];
extern const char kJoinDestination[];

std::string win(const std::string& unix_path);

// Files by Windows path.
std::vector<std::string> files_in(const std::string& windows_dir);  // names, sorted
bool move_all(const std::string& from_windows_dir, const std::string& to_windows_dir);
std::string file_bytes(const std::string& windows_file);
uint64_t file_size(const std::string& windows_file);
std::string count_bytes(uint32_t n);  // the 4-byte little-endian count
// CRC-32 as zip and zlib compute it, bit by bit: nothing shared with the program's own.
uint32_t crc32_of(const std::string& bytes);
// The count file a split of `source` at `capacity` writes when the set gets a check block;
// reseal puts a count file's own CRC (its last 4 bytes) right after a change.
std::string checked_count_file(const std::string& source, uint32_t capacity);
void reseal(std::string& count_file);
// A sparse host file of the given size.
bool make_sparse(const std::string& unix_file, uint64_t size);
// The pieces `split -b capacity` makes of the source, in order.
std::vector<std::string> reference_pieces(const std::string& unix_source, uint32_t capacity);

enum class Kind { error, question, note };
// Waits for the next box, checks it, presses `button`; true when kind, caption and text matched.
bool expect_box(drv::Program& app, Kind kind, const std::string& caption,
                const std::string& text, int button = IDOK, DWORD timeout_ms = kBoxTimeout);
// The same, running `meanwhile` (a disk swap, say) while the box is up, before answering.
bool expect_box_then(drv::Program& app, Kind kind, const std::string& caption,
                     const std::string& text, const std::function<void()>& meanwhile,
                     int button = IDOK);
// "Copy Cancelled By User!", then nothing.
void expect_cancel_ending(drv::Program& app);
// True when the job ends with nothing after it: the worker goes idle, every command posted
// before has been handled, and then no dialog shows and no job runs. A worker that has
// suspended itself shows nothing more; only a command taken late could start another job.
bool ends_without_box(drv::Program& app);

// Media menu: custom size through the input box.
bool set_custom_size(drv::Program& app, uint32_t bytes);

// Waits until the previous job has wound down, gives a job command once and waits for the
// job's first chooser; a command that brings none fails the test.
bool job(drv::Program& app, UINT command);

// Types an existing file's path into a save chooser, confirms, and answers the platform's
// overwrite question with Yes.
bool choose_over_existing(drv::Program& app, const std::string& chooser_title,
                          const std::string& path);

// Starts a job and gets through both choosers.
bool start_split(drv::Program& app, const std::string& source, const std::string& destination);
bool start_reassemble(drv::Program& app, const std::string& first_piece,
                      const std::string& destination);

}  // namespace eng

#endif
