#pragma once
// The production index file beside a table (.MDX). Its layout is ours: a
// versioned header, the tag definitions, the state of the data file the
// orders describe, the deleted records and, per tag, the record numbers in
// key order. A file that is recognisably another program's index is
// reported as foreign and never written; an empty or unreadable file is
// what an interrupted write of ours leaves, and is rebuilt.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "DbfFile.h"

namespace store {

struct IndexFileTag {
    std::string name;
    std::string expression;
    std::vector<uint32_t> order;  // record numbers in key order
};

struct IndexFileContent {
    FileState state;                 // data file state the orders describe
    std::vector<uint32_t> deleted;   // records marked deleted, ascending
    std::vector<IndexFileTag> tags;
    bool ordersValid = false;        // false: only the definitions could be read
};

enum class IndexFileKind {
    Missing,
    Ours,
    Damaged,   // empty or not readable as anything: ours to rebuild
    Foreign,   // another program's index: left alone
    NotAFile,  // a folder, FIFO or device where the file should be
};

// What kind of file is at path (without reading it all, never blocking).
IndexFileKind ProbeIndexFile(const std::string& path);
// Reads one of our files. Definitions that cannot be read give nullopt
// (the file is treated as having no tags); orders that cannot be read
// (or were written by an earlier version) leave ordersValid false.
std::optional<IndexFileContent> ReadIndexFile(const std::string& path);
// Writes the file beside its final name, flushes it to the disk and
// renames it into place. Through a symbolic link the file it points to is
// replaced; an existing file's permissions are kept.
void WriteIndexFile(const std::string& path, const IndexFileContent& content);
// The index path of a data file: same name, extension .MDX in the letter
// case of the data file's extension.
std::string IndexPathFor(const std::string& dataPath);

}  // namespace store
