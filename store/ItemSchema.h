#pragma once
// The item table's 22 fields, the single table every part of the program
// indexes by position 1 to 22: field name, type code (1 string, 2 integer,
// 3 float, 4 date), width, kind letter, pick-list flag and default title.

#include <array>
#include <string_view>
#include <vector>

#include "FieldDef.h"

namespace store {

struct SchemaField {
    int position;               // 1 to 22
    std::string_view name;      // dBASE field name and settings key
    int typeCode;               // 1 string, 2 integer, 3 float, 4 date
    int width;                  // field size, or the typing limit of non-text fields
    char kind;                  // 'C', 'N' or 'D'
    bool pickList;
    std::string_view defaultTitle;
};

inline constexpr int kItemFieldCount = 22;

const std::array<SchemaField, kItemFieldCount>& ItemSchema();
// Position 1 to 22; anything else is a programming error.
const SchemaField& SchemaAt(int position);
// Position of a field name compared without regard to letter case; 0 if none.
int SchemaPosition(std::string_view name);
// The definitions a new item table is created from, in schema order.
std::vector<FieldDef> ItemTableFieldDefs();

}  // namespace store
