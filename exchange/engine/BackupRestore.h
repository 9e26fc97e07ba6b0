#pragma once
// Backup and restore of the program's own files: the open item table's data
// file, the five pick-list files, the report definition file and the
// settings file, copied
// byte for byte to a folder the user picks and back again. Nothing here
// opens a window: the Backup and Restore dialogs call these functions with a
// progress bar and message boxes, the command line with progress on stderr,
// and both show the message that comes back.
//
// Every copy is written to a temporary file beside its target, flushed to
// the disk and checked (its size, and for a table that it opens as an item
// table). Only when every copy of the command is complete do they replace
// their targets, all together through one journal (files::ReplacementSet):
// after a failure, a cancel, a kill or a power cut at any point the user
// finds the old set of files or the new one, never a mix. A command of
// several kinds (a full restore) is one such step too.
//
// A table's attachments folder ("MASTER.files/" beside "MASTER.DBF") goes
// with it. A restore never throws away the live attachments it replaces:
// the files the restored table still names stay, the others are kept in a
// dated folder inside the attachments folder and the message says where.
// Links inside the folder are never followed.
//
// The index file beside a table is not copied: it is derived from the data
// file and the engine rebuilds it when it does not describe the data file
// it lies beside.

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "ExchangeRun.h"

namespace exchange {

enum class CopyKind { Database, Lists, Reports, Settings };

inline constexpr const char* kSettingsFileName = "KELDOR.INI";

// The pick-list files, in the order they are copied.
inline constexpr std::array<const char*, 5> kListFileNames = {"BRAND.LST", "LOCATION.LST", "BOUGHT.LST",
                                                              "CATEGORY.LST", "OWNER.LST"};

// Bytes a new file may take in the file system holding the folder; nothing
// when that cannot be told (the copy itself then finds out).
using FreeSpaceFn = std::function<std::optional<uint64_t>(const std::string& folder)>;

enum class CopyStatus {
    Completed,
    Cancelled,      // through the progress callback; nothing was changed
    InUse,          // another program or copy of the program holds the table
    NoRoom,         // the room check refused
    SourceInvalid,  // the chosen file is not an item table / report definition / settings file
    SourceMissing,  // no report definition or settings file in the chosen folder
    SameFile,       // a backup would copy a file onto itself
    Failed,         // a copy failed; nothing was changed
};

struct CopyResult {
    CopyStatus status = CopyStatus::Completed;
    // What the user is told, for success as well as failure. Empty only
    // for a cancelled run.
    std::string message;
    // Why a copy failed, in the system's words (for the command line).
    std::string reason;
    // The kind that refused or failed, in a command of several kinds.
    std::optional<CopyKind> failedKind;
    // Restoring lists: one warning for each list file the folder lacks,
    // in list order; files of an attachments folder that were passed over
    // (links, files the backup lacks). Told before the message.
    std::vector<std::string> warnings;
    // Restoring a database: where the live attachments the restored table
    // does not name were kept; empty when none were.
    std::string keptAttachments;
    // Restoring a database: the data file that was restored, to be opened
    // as the current database.
    std::string restored;
    int files = 0;  // files copied
};

// Progress reports: records counts the files copied, done and total the
// bytes. Returning false cancels the run.

struct BackupRequest {
    CopyKind kind = CopyKind::Database;
    std::string folder;      // where the copies go
    // Database: the item table's data file. The caller has closed its own
    // handles on it; the backup holds it for sole use while it copies.
    std::string dataFile;
    std::string programDir;  // lists and report definitions
    FreeSpaceFn freeSpace;   // empty: files::FreeSpace
    std::string configDir;   // the settings file
};
// A settings file never written has nothing to back up: Completed with
// files 0. Lists of which no file was ever saved are refused
// (SourceMissing), so that nobody takes an empty backup for a copy of them.
CopyResult Backup(const BackupRequest& request, const ProgressFn& progress);
// Several kinds in one step: every kind is checked before anything is
// copied, and the copies replace their targets together or not at all.
CopyResult Backup(const BackupRequest& request, const std::vector<CopyKind>& kinds, const ProgressFn& progress);

struct RestoreRequest {
    CopyKind kind = CopyKind::Database;
    // The file the user picked. For lists and report definitions it only
    // names the folder the copies come from.
    std::string chosenFile;
    std::string programDir;  // where restored files go
    FreeSpaceFn freeSpace;   // empty: files::FreeSpace
    std::string configDir;   // where a restored settings file goes (created when missing)
};
// A database is restored into the program's folder under the chosen file's
// name. When a data file of that name is there already it must not be in
// use elsewhere; the caller closes its own handles on it first. The
// restored file carries no production-index mark unless an index file lies
// beside it, so it opens at once and its index is built afresh.
CopyResult Restore(const RestoreRequest& request, const ProgressFn& progress);
// Several kinds from one folder (the chosen file's) in one step, as Backup.
CopyResult Restore(const RestoreRequest& request, const std::vector<CopyKind>& kinds, const ProgressFn& progress);

// Finishes what a backup or restore that was killed midway left in its
// folders (the program's folder, a backup folder): every target gets its
// new file, as the command meant. Called at start-up and by every backup
// and restore before it touches a folder.
void FinishInterruptedCopies(const std::string& folder);

// Folder and name joined with exactly one "/" ("/" and "MASTER.DBF" give
// "/MASTER.DBF").
std::string JoinPath(const std::string& folder, const std::string& name);
// The name a table's backup copy takes: its file name up to the last point,
// then ".DBF".
std::string BackupFileName(const std::string& dataFile);
// True when the folder holds at least one pick-list file.
bool HasListFiles(const std::string& programDir);
// True when the file opens as an item table (the 22 item fields in order);
// otherwise false with the reason in *message. The file is only read.
bool IsItemTableFile(const std::string& path, std::string* message);

// Files beyond these sizes are no file of ours: they are refused whole,
// without copying them.
inline constexpr uint64_t kLargestSettingsFile = 4 << 20;
inline constexpr uint64_t kLargestListFile = 4 << 20;

// The messages, as the user reads them.
namespace messages {
inline constexpr const char* kBackupInUse =
    "Backing up the database requires exclusive use of the DBase File.  Make sure that the DBase File is not in use "
    "by another program  or that no other users are running the software or that no other copies of the software "
    "are in use.";
inline constexpr const char* kBackupNoRoom =
    "There is not enough room on the destination drive to perform a backup.  If you are already using blank empty "
    "media, then you will need to use the ASCII Delimited Import/Export functions for backup and restore purposes.";
inline constexpr const char* kBackupNoRoomReports =
    "There is not enough room on the destination drive to backup this file.  You will need to free up space on the "
    "destination drive or use an alternative method to backup the \"KELDOR.URP\" file.";
inline constexpr const char* kBackupFailed = "An error occurred during backup.  Backup not completed.";
inline constexpr const char* kBackupDone = "Backup completed successfully.";
inline constexpr const char* kNoListsToBackUp =
    "No pick list has been saved yet, so there are no lists to back up.";
inline constexpr const char* kBackupSameFile =
    "The chosen folder is where the files to back up are kept.  Please choose another folder for the backup.";
inline constexpr const char* kRestoreInUse =
    "Unable to restore the database.  Make sure the database is not in use by any other users or by another copy of "
    "the software.";
inline constexpr const char* kRestoreNoRoom =
    "There is not enough room on the destination drive to perform a restore.  You will need to free up hard drive "
    "space before completing the restore.";
inline constexpr const char* kRestoreFailed = "An error occurred during restore.  Restore not completed.";
inline constexpr const char* kRestoreDone = "Restore completed successfully.";
inline constexpr const char* kListsRestored = "ALL proper LST files restored successfully.";
inline constexpr const char* kListsMissing =
    "One or more files were not restored.  Restore may not have completed successfully.";
inline constexpr const char* kReportsMissing =
    "The Report Definitions file \"KELDOR.URP\" could not be  located on the specified source drive.";
// The warning for a list file the source folder lacks.
std::string ListMissing(const std::string& name);
// A report definition file whose length is not a whole number of definitions.
std::string NotReportFile(const std::string& path);
inline constexpr const char* kSettingsMissing =
    "The settings file \"KELDOR.INI\" could not be located on the specified source drive.";
// A file that does not read as a settings file (binary, huge, no section).
std::string NotSettingsFile(const std::string& path);
// A file far larger than any file of its kind.
std::string FileTooLarge(const std::string& path, uint64_t largest);
// Said after a restore that kept live attachments aside.
std::string KeptAttachments(const std::string& folder);
}  // namespace messages

}  // namespace exchange
