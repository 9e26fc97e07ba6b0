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

// Chosen items as they were when the user chose them: the live records
// among the numbers given (in any order), ascending, and their bytes. A
// change finds them so or writes nothing: another program may have changed
// one since.
struct Selection {
    std::vector<uint32_t> recnos;
    std::vector<char> bytes;
    size_t Size() const { return recnos.size(); }
};
Selection Select(const store::Table& table, std::vector<uint32_t> recnos);

// Sets the fields to their values on the selected records. Returns how many
// records changed (those holding the values already are left alone).
size_t SetFields(store::Table& table, const Selection& selection, const std::vector<FieldValue>& values);

// Marks the selected records deleted.
void DeleteRecords(store::Table& table, const Selection& selection);

// Puts back what the logged command changed: edited and deleted records
// get their bytes back, added ones are marked deleted. When another program
// changed the table since, nothing is written and EngineError says so
// (kChangedSinceMessage).
void Undo(store::Table& table, const store::ChangeLog& log);
extern const char* const kChangedSinceMessage;

}  // namespace find
