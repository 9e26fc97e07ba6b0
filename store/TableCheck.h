#pragma once
// A look at a table's files that changes nothing: the header against the
// file, every record's deletion flag and values, the end of the file, and
// the index file against the data it claims to describe. What an open
// quietly repairs (a stale index is rebuilt, an interrupted append is
// marked deleted) is reported here, so that a user or a script can see the
// state the files are in before anything touches them.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace store {

enum class IndexState {
    None,      // no index file, none announced
    UpToDate,  // ours, describing the data file as it is
    Stale,     // ours, written for another state of the data file
    Damaged,   // ours but unreadable, or its orders disagree with the data
    Foreign,   // another program's index: not examined
    Missing,   // announced by the table's header but not there
    NotAFile,  // a folder or device where the index file should be
};

struct TableCheckReport {
    std::string dataFile;
    std::string indexFile;
    bool opened = false;     // false: the header could not be read (see problems)
    bool itemTable = false;  // the 22 item fields in order
    uint32_t records = 0;    // records the header counts
    uint32_t deleted = 0;    // of them, not delivered (flagged deleted or otherwise)
    IndexState index = IndexState::None;
    std::vector<std::string> tags;
    // What is wrong, one sentence each; only the first few of one kind are
    // listed, problemCount counts all of them.
    std::vector<std::string> problems;
    uint64_t problemCount = 0;
    // Worth knowing but not wrong (no end-of-file mark, another program's index).
    std::vector<std::string> notes;

    bool Ok() const { return problemCount == 0; }
};

// Short words for the index state ("up to date", "stale" ...).
const char* IndexStateText(IndexState state);

// Called every few thousand records with records done and the total;
// returning false stops the check (the report then says it was stopped).
using CheckProgressFn = std::function<bool(uint64_t done, uint64_t total)>;

// Checks the data file at path and the index file beside it. The file is
// opened for reading only, under a shared lock: a table another program
// holds for sole use cannot be checked (a problem says so).
TableCheckReport CheckTableFiles(const std::string& path, const CheckProgressFn& progress = {});

}  // namespace store
