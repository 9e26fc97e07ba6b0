#pragma once
// The dBASE key expression of the program-wide sort order: one component
// per chosen field (text by its first 20 characters in upper case, numbers
// by STR, dates by DTOS), joined by "+". It is the key of the index tag
// "NewIndex" that orders the grid, reports and exports.

#include <array>
#include <string>

namespace store {
class Table;
}

namespace find {

inline constexpr const char* kSortTagName = "NewIndex";

// Positions 1 to 22, 0 for none, primary first. An empty result means
// physical record order.
std::string BuildSortString(const std::array<int, 4>& positions);

// Whether the open table's index file holds the sort tag (letter case of
// the tag name ignored).
bool HasSortTag(const store::Table& table);

// Builds the sort tag afresh from the expression and makes it the active
// index; an empty expression only makes no index active and leaves any tag
// in the file. A table without the tag is no error: there is nothing to
// delete. Needs the table open for writing; engine errors are thrown.
void RebuildSortTag(store::Table& table, const std::string& expression);

// Makes the sort tag the active index, rebuilding it only when it is
// missing or was built from another expression (no index for "").
void ActivateSortTag(store::Table& table, const std::string& expression);

// Opens the named, closed table shared as the program works on it (read-only
// when the user may not write it; see Table::Notice) with the sort tag
// active: activated as above, or built afresh when rebuildSortTag is set.
void OpenInSortOrder(store::Table& table, const std::string& expression, bool rebuildSortTag = false);

}  // namespace find
