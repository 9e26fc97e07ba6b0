#pragma once
// Changes of many items at once, each one change of the table: every
// record written or none (see store::Table::Rewrite). The new bytes of
// every record are made before the first is written, so a value a field
// cannot hold is refused with nothing changed.

#include <cstdint>
#include <string>
#include <vector>

namespace store {
class ChangeLog;
class Table;
}

namespace find {

struct FieldValue {
    int field = 0;     // the table's field index
    std::string text;  // the value's text form, as the item editor takes it
};

// Sets the fields to their values on the records (record numbers, in any
// order). Returns how many records changed.
size_t SetFields(store::Table& table, std::vector<uint32_t> recnos, const std::vector<FieldValue>& values);

// Marks the records deleted. Returns how many were live.
size_t DeleteRecords(store::Table& table, std::vector<uint32_t> recnos);

// Puts back what the logged command changed: edited and deleted records
// get their bytes back, added ones are marked deleted. When another program
// changed one of them since, nothing is written and EngineError says so.
void Undo(store::Table& table, const store::ChangeLog& log);

}  // namespace find
