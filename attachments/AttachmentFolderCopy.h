#pragma once
// Copies of an attachments folder for backup, restore and export: filled
// under a hidden temporary name beside the target, every file flushed to
// the disk, and only then put in the target's place in one step (the old
// folder is exchanged with the new one and removed afterwards), so that a
// failed or cancelled copy leaves the target folder as it was.
//
// Used together with the copy of the data file: stage both, put the folder
// in place, then the file; should the file fail, the folder goes back.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "Manifest.h"

namespace store {
class Table;
}

namespace attachments {

class AttachmentStore;

// Told the bytes copied so far; false cancels.
using CopyProgress = std::function<bool(uint64_t bytes)>;

class AttachmentFolderCopy {
public:
    AttachmentFolderCopy() = default;
    // Removes a staged folder not put in place, and an old folder kept for
    // a rollback.
    ~AttachmentFolderCopy();
    AttachmentFolderCopy(const AttachmentFolderCopy&) = delete;
    AttachmentFolderCopy& operator=(const AttachmentFolderCopy&) = delete;

    // The bytes a copy of the folder takes (its stored files and manifest).
    static uint64_t SizeOf(const std::string& folder);

    // The whole folder as it is (backup and restore): its manifest and
    // stored files; thumbnails and temporary files are left out. A missing
    // source stages "no folder": the target folder then goes.
    bool StageFolder(const std::string& source, const std::string& target, const CopyProgress& progress,
                     std::string* reason);
    // The attachments of some records of a table (export): record k of the
    // new file is records[k] of the store's table.
    bool StageRecords(const AttachmentStore& store, const std::vector<uint32_t>& records, const std::string& target,
                      const CopyProgress& progress, std::string* reason);

    // Puts the staged folder in the target's place; the old one is kept
    // until Finish (or put back by Rollback).
    bool Commit(std::string* reason);
    void Rollback();
    void Finish();
    // Whether the last stage was cancelled through the progress callback.
    bool Cancelled() const { return m_cancelled; }
    int Files() const { return m_files; }

private:
    bool Prepare(const std::string& target, std::string* reason);
    bool CopyOne(const std::string& from, const std::string& name, const CopyProgress& progress, std::string* reason);
    void Discard();

    std::string m_target;
    std::string m_staged;  // empty: nothing staged (a missing source: the target goes)
    std::string m_old;     // the target's old folder after a commit
    bool m_staging = false;
    bool m_committed = false;
    bool m_cancelled = false;
    uint64_t m_copied = 0;
    int m_files = 0;
};

// Removes a folder of ours and what it holds (two levels at most, no links
// followed).
void RemoveFolderTree(const std::string& folder);

}  // namespace attachments
