#pragma once
// Several files and folders replaced together, so that whoever looks
// afterwards (this program after a crash, a kill or a power cut, or the
// user) finds either every old one or every new one, never a mix.
//
// The caller writes each new file or folder completely under a name of its
// own beside its target and flushes it to the disk. Commit then writes a
// journal naming every step (the commit point), puts each new one in its
// target's place (the old ones are kept aside), and removes the old ones
// and the journal. A step that fails undoes the steps before it. A process
// killed between the journal and its removal leaves the journal behind;
// FinishInterruptedReplacements, run before the folder is next used,
// completes what the journal names.
//
// Journals are named ".halvenor-journal-<pid>-<n>" and held locked while
// their process runs, so that no other process touches a replacement in
// progress.

#include <string>
#include <vector>

#include "FileSystem.h"

namespace files {

class ReplacementSet {
public:
    // The journal is written in journalFolder (where the targets lie, or
    // the first of them).
    explicit ReplacementSet(std::string journalFolder);
    // What was staged for a set that was never committed is removed.
    ~ReplacementSet();
    ReplacementSet(const ReplacementSet&) = delete;
    ReplacementSet& operator=(const ReplacementSet&) = delete;

    // staged takes target's place. Both in one file system (staged beside
    // target); staged complete and flushed to the disk.
    void ReplaceFile(const std::string& staged, const std::string& target);
    // The folder staged takes the place of the folder target (which need
    // not exist); the old folder is removed once the new one is in place.
    void ReplaceFolder(const std::string& staged, const std::string& target);
    // The folder target goes, with the rest.
    void RemoveFolder(const std::string& target);
    bool Empty() const { return m_steps.empty(); }

    // Puts every staged file and folder in place. False with the reason
    // when that could not be done; every target is then as it was and the
    // staged ones are gone.
    bool Commit(std::string* reason);

    // One step of a replacement; public for the journal's reader.
    struct Step {
        bool folder = false;
        std::string staged, target, aside;  // staged empty: the target folder goes
        bool hadTarget = false;
    };

private:
    std::string m_folder;
    std::vector<Step> m_steps;
    bool m_done = false;
};

// Completes the replacements that processes no longer running left
// unfinished in folder: each target takes its staged file or folder (or, for
// a replacement that was being undone, its old one back). Leftovers of
// replacements that never reached their journal are removed. Safe to call
// any time; does nothing while the process that wrote a journal still runs.
void FinishInterruptedReplacements(const std::string& folder);

}  // namespace files
