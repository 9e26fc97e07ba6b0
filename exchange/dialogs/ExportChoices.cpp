#include "ExportChoices.h"

#include <algorithm>

#include "ItemSchema.h"
#include "Settings.h"
#include "Table.h"

namespace exchange {

std::vector<ExportRow> ExportRows(const common::Settings& s) {
    constexpr int kFields = store::kItemFieldCount;
    std::vector<int> rowOf(kFields + 1, -1);
    std::vector<bool> taken(kFields, false);
    for (int p = 1; p <= kFields; ++p) {
        const int row = s.Field(p).exportOrder - 1;
        if (row < 0 || row >= kFields || taken[size_t(row)]) continue;
        taken[size_t(row)] = true;
        rowOf[size_t(p)] = row;
    }
    for (int p = 1; p <= kFields; ++p) {
        if (rowOf[size_t(p)] >= 0) continue;
        const auto free = std::find(taken.begin(), taken.end(), false);
        *free = true;
        rowOf[size_t(p)] = int(free - taken.begin());
    }
    std::vector<ExportRow> rows(kFields);
    for (int p = 1; p <= kFields; ++p) rows[size_t(rowOf[size_t(p)])] = {p, s.Field(p).exported};
    return rows;
}

std::vector<int> ExportedPositions(const std::vector<ExportRow>& rows) {
    std::vector<int> positions;
    for (const ExportRow& r : rows)
        if (r.exported) positions.push_back(r.position);
    return positions;
}

std::vector<std::string> ExportTitles(const common::Settings& s, const store::Table& items,
                                      const std::vector<int>& positions) {
    std::vector<std::string> titles;
    for (int p : positions) {
        const int index = items.FieldIndex(store::SchemaAt(p).name);
        titles.push_back(s.Field(p).display || index < 0 ? s.Field(p).title.toStdString() : items.Field(index).name);
    }
    return titles;
}

std::array<std::string, store::kItemFieldCount> ImportTitles(const common::Settings& settings) {
    std::array<std::string, store::kItemFieldCount> titles;
    for (int p = 1; p <= store::kItemFieldCount; ++p) titles[size_t(p - 1)] = settings.Field(p).title.toStdString();
    return titles;
}

}  // namespace exchange
