#pragma once
// The check of an item table's attachments, for the command line and the
// tests: the manifest read as outside input, every link held against the
// table, every listed file against the hash of its content, and the folder
// for files no item lists. Nothing is changed.

#include <string>
#include <vector>

namespace store {
class Table;
}

namespace attachments {

struct CheckResult {
    std::vector<std::string> problems;  // one line each, for the user
    size_t items = 0;                   // items with attachments
    size_t files = 0;                   // attachments listed
    bool Clean() const { return problems.empty(); }
};

// The table must be open (reading is enough).
CheckResult CheckAttachments(const store::Table& table);

}  // namespace attachments
