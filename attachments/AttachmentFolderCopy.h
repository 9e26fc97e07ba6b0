#pragma once
// Copies of an attachments folder for backup, restore and export: filled
// under a hidden temporary name beside the target, every file flushed to
// the disk, and only then put in the target's place, together with the
// data file they belong to (files::ReplacementSet), so that a failed,
// cancelled or killed copy leaves the target folder as it was.
//
// Only regular files are copied: a link inside the folder, or anything that
// is not a file, is never followed; it is skipped and told.
//
// A restore never throws away the live attachments it replaces. The files
// the restored table still names stay; every other file of the live folder
// is kept in a dated folder inside the new one ("replaced-2026-12-09/",
// with the live list of attachments, so that they can be given back to
// their items), and so are the dated folders of earlier restores.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "Manifest.h"

namespace files {
class ReplacementSet;
}

namespace store {
class DbfFile;
class RecordLayout;
class RecordView;
}

namespace attachments {

class AttachmentStore;

// Told the bytes copied so far; false cancels.
using CopyProgress = std::function<bool(uint64_t bytes)>;

// The dated folders inside an attachments folder that hold the files a
// restore replaced: "replaced-" and the date, then "-2", "-3" ... when a
// folder of that name is there already.
inline constexpr const char* kReplacedPrefix = "replaced-";
bool IsReplacedFolderName(const std::string& name);

class AttachmentFolderCopy {
public:
    AttachmentFolderCopy() = default;
    // Removes a staged folder not put in place.
    ~AttachmentFolderCopy();
    AttachmentFolderCopy(const AttachmentFolderCopy&) = delete;
    AttachmentFolderCopy& operator=(const AttachmentFolderCopy&) = delete;

    // The bytes a copy of the folder takes (its lists, stored files and the
    // files of its dated folders).
    static uint64_t SizeOf(const std::string& folder);

    // Backup: the whole folder as it is, its lists, stored files and dated
    // folders; thumbnails and temporary files are left out. A missing
    // source stages "no folder": the target folder then goes.
    bool StageFolder(const std::string& source, const std::string& target, const CopyProgress& progress,
                     std::string* reason);

    // Restore: the backup's folder (source, which may be missing) for the
    // restored data file, taking the place of the live folder target.
    // restoredTable is the restored data file as it will be, open. When the
    // backup holds no list of attachments, the live items found again in
    // the restored table by their fingerprints keep their files. A backup
    // whose list names a file that neither the backup nor the live folder
    // holds is refused: false, with Refused() set and the reason.
    bool StageRestore(const std::string& source, const std::string& target, const store::DbfFile& restoredTable,
                      const CopyProgress& progress, std::string* reason);

    // Export: the attachments of some records of a table: record k of the
    // new file is records[k] of the store's table.
    bool StageRecords(const AttachmentStore& store, const std::vector<uint32_t>& records, const std::string& target,
                      const CopyProgress& progress, std::string* reason);

    // Adds the staged folder to a set of replacements; it belongs to the
    // set from then on.
    void AddTo(files::ReplacementSet& set);
    // Puts the staged folder in the target's place on its own.
    bool Commit(std::string* reason);

    // Whether the last stage was cancelled through the progress callback.
    bool Cancelled() const { return m_cancelled; }
    // Whether the last stage refused the source (a backup that lacks files).
    bool Refused() const { return m_refused; }
    int Files() const { return m_files; }
    // Links and other things that are not files, skipped; one line each.
    const std::vector<std::string>& Skipped() const { return m_skipped; }
    // The dated folder (inside the target, once in place) that keeps the
    // live files a restore replaced; empty when none was needed.
    const std::string& KeptFolder() const { return m_kept; }

private:
    bool Prepare(const std::string& target, std::string* reason);
    void Reset(const std::string& target);
    // Copies one regular file into the staged folder under name (a path
    // inside it); a link or other non-file is skipped and told. False on a
    // failure or cancel.
    bool CopyOne(const std::string& from, const std::string& name, const CopyProgress& progress, std::string* reason,
                 bool* copied = nullptr);
    // A second name in the staged folder for a file of the live folder
    // (copied where the file system has no hard links).
    bool LinkOne(const std::string& from, const std::string& name, std::string* reason);
    // Copies the dated folders of source (copy) or links those of the live
    // folder (link) into the staged folder.
    bool CarryReplacedFolders(const std::string& source, bool link, const CopyProgress& progress, std::string* reason);
    // Keeps the live folder's files that the staged folder lacks in a new
    // dated folder.
    bool KeepReplaced(const std::string& live, std::string* reason);
    void Discard();

    std::string m_target;
    std::string m_staged;  // empty: nothing staged (a missing source: the target goes)
    bool m_staging = false;
    bool m_cancelled = false;
    bool m_refused = false;
    uint64_t m_copied = 0;
    int m_files = 0;
    std::vector<std::string> m_skipped;
    std::string m_kept;
};

// The items of a list of attachments found again among records by their
// fingerprints (each in exactly one live record, and listed once),
// renumbered to their records there; the others in *left.
Manifest RelinkToRecords(const Manifest& manifest, const store::RecordLayout& layout, uint32_t count,
                         const std::function<store::RecordView(uint32_t)>& viewOf, std::vector<ItemEntry>* left);
Manifest RelinkToTable(const Manifest& manifest, const store::DbfFile& table, std::vector<ItemEntry>* left);

}  // namespace attachments
