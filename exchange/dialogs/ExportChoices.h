#pragma once
// What the settings say an export writes: the fields in their export order
// with their Yes or No, and the labels of the title line. The export window
// shows and stores them; the command line exports with them when it is
// given no fields of its own.

#include <array>
#include <string>
#include <vector>

#include "ItemSchema.h"

namespace common {
class Settings;
}

namespace store {
class Table;
}

namespace exchange {

struct ExportRow {
    int position = 0;  // item field 1 to 22
    bool exported = true;
};

// The 22 fields in export order. Positions that the settings give twice or
// out of range would leave a row empty and hide a field: such a field takes
// the first free row instead.
std::vector<ExportRow> ExportRows(const common::Settings& settings);
// The positions of the rows marked Yes, in order.
std::vector<int> ExportedPositions(const std::vector<ExportRow>& rows);
// The title line: the title the viewer shows, or the stored name of a field
// it hides.
std::vector<std::string> ExportTitles(const common::Settings& settings, const store::Table& items,
                                      const std::vector<int>& positions);
// The titles an import names fields by in its messages, by position.
std::array<std::string, store::kItemFieldCount> ImportTitles(const common::Settings& settings);

}  // namespace exchange
