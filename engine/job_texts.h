// Every text the copy engine shows: box texts, captions, chooser titles and filter.
#ifndef SLIVERDISK_JOB_TEXTS_H
#define SLIVERDISK_JOB_TEXTS_H

// Chooser titles
constexpr char kSplitSourceTitle[] = "Copy To Floppies: Select Source File";
constexpr char kSplitDestinationTitle[] = "Copy To Floppies: Select Destination File";
constexpr char kJoinSourceTitle[] = "Copy From Floppies: Select Source File";
constexpr char kJoinDestinationTitle[] = "Copy From Floppies: Select Destination File";

// The choosers' one filter and the empty text that ends the list: display text, pattern,
// then NUL NUL.
constexpr char kFilterText[] = "All Files  *.*\0*.*\0";
static_assert(sizeof kFilterText == 20, "display text, NUL, pattern, NUL, NUL");

// Captions
constexpr char kNoteCaption[] = "Note...";
constexpr char kStandByCaption[] = "StandBy...";
constexpr char kWarningCaption[] = "Warning...";

// Endings and questions
constexpr char kCopyComplete[] = "Copy Complete!";
constexpr char kCopyCancelled[] = "Copy Cancelled By User!";
constexpr char kInsertNextDisk[] = "Insert Next Disk!";
constexpr char kDisksRequiredFormat[] = "Total Number Of Pre-Formatted Disks Required = %u";
constexpr char kNotEnoughFreeSpace[] = "Not Enough FreeSpace On Disk!\nTry Another.";
constexpr char kWrongDiskRetry[] =
    "Trouble Opening Source File...\nPossibly Wrong Disk Order! Try Another Disk.";
constexpr char kDiskFailedVerification[] = "Disk Failed Verification!\nInsert Another Disk.";
constexpr char kCheckInfoDamaged[] = "Disk Check Info Is Damaged!\nJoin Without Checking?";
constexpr char kDiskFailedCheckFormat[] = "Disk %u Failed Its Check!\nInsert A Good Copy.";

// Errors that end a job
constexpr char kTroubleOpeningSource[] = "Trouble Opening Source File... Copy Cancelled!";
constexpr char kTooManyDisks[] = "Too Many Disks Required... Copy Cancelled!";
constexpr char kPathsEqual[] = "Path And FileNames Are Equal... Copy Cancelled!";
constexpr char kFitsOnOneMedium[] = "File Will Fit On A Single Floppy... Copy Cancelled!";
constexpr char kTroubleCreating[] = "Trouble Creating File... Copy Cancelled!";
constexpr char kTroubleWritingCount[] =
    "Trouble Writing Total Number Of Disks File... Copy Cancelled!";
constexpr char kTroubleReadingSource[] = "Trouble Reading Source File... Copy Cancelled!";
constexpr char kTroubleWritingDestination[] =
    "Trouble Writing Destination File... Copy Cancelled!";
constexpr char kNotFirstPiece[] = "Source Is Not The First File In The Group... Copy Cancelled!";
constexpr char kNoCountInfo[] = "Cannot Find Total Number Of Disks Info... Copy Cancelled!";
constexpr char kSourceChanged[] = "Source File Changed During Copy... Copy Cancelled!";
constexpr char kJoinedFileFailed[] = "Joined File Failed Its Check... Copy Cancelled!";

// Status line prefixes of the progress window
constexpr char kWritingPrefix[] = "Writing: ";
constexpr char kReadingPrefix[] = "Reading: ";
constexpr char kCheckingPrefix[] = "Checking: ";
constexpr char kVerifyingPrefix[] = "Verifying: ";

#endif
