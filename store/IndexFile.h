#pragma once
// The production index file beside a table (.MDX). Its layout is ours: a
// versioned header, the tag definitions, the state of the data file the
// orders describe, the deleted records and, per tag, the record numbers in
// key order. A file without our header is another program's index: it is
// reported as foreign and never written.

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

enum class IndexFileKind { Missing, Ours, Foreign };

// What kind of file is at path (without reading it all).
IndexFileKind ProbeIndexFile(const std::string& path);
// Reads one of our files. Definitions that cannot be read give nullopt
// (the file is treated as having no tags); orders that cannot be read
// leave ordersValid false.
std::optional<IndexFileContent> ReadIndexFile(const std::string& path);
// Writes the file beside its final name and renames it into place.
void WriteIndexFile(const std::string& path, const IndexFileContent& content);
// The index path of a data file: same name, extension .MDX in the letter
// case of the data file's extension.
std::string IndexPathFor(const std::string& dataPath);

}  // namespace store
