#pragma once
// Item tables for the search and locate tests: a fresh table in a
// temporary folder, records given as field/value pairs, and the Item texts
// of what the table delivers.

#include <QTemporaryDir>
#include <QTest>
#include <initializer_list>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "ItemSchema.h"
#include "SearchCriteria.h"
#include "Table.h"

namespace findtest {

using Values = std::vector<std::pair<std::string, std::string>>;

inline void CreateItemTable(store::Table& t, const QString& dir) {
    t.Close();
    t.SetDirectory(dir.toStdString());
    t.SetTableName("MASTER");
    t.Create(store::ItemTableFieldDefs());
    t.Open();
}

inline uint32_t AddItem(store::Table& t, const Values& values) {
    t.Append();
    for (const auto& [field, text] : values) t.SetText(field, text);
    t.Post();
    return t.RecNo();
}

inline std::string Joined(const std::vector<std::string>& items) {
    std::string out;
    for (const auto& s : items) out += (out.empty() ? "" : ",") + s;
    return out;
}

// The Item field of every record the table delivers, in its order.
inline std::string DeliveredItems(store::Table& t) {
    std::vector<std::string> out;
    const int item = t.FieldIndex("Item");
    for (uint32_t r : t.DeliveredRecords()) out.push_back(t.ViewOf(r).Text(item));
    return Joined(out);
}

// Cells by field name; every other cell empty.
inline find::CellTexts Cells(const std::map<std::string, std::string>& byName) {
    find::CellTexts cells;
    for (const auto& [name, text] : byName) cells[size_t(store::SchemaPosition(name) - 1)] = text;
    return cells;
}

inline find::OperatorChoices Choices(const std::map<std::string, int>& byName = {}) {
    find::OperatorChoices choices;
    choices.fill(find::kChoiceEqual);
    for (const auto& [name, choice] : byName) choices[size_t(store::SchemaPosition(name) - 1)] = choice;
    return choices;
}

}  // namespace findtest
