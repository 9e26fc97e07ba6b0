#include "ItemSchema.h"

#include <cassert>
#include <string>

namespace store {

const std::array<SchemaField, kItemFieldCount>& ItemSchema() {
    static const std::array<SchemaField, kItemFieldCount> kSchema = {{
        {1, "Item", 1, 40, 'C', false, "Item"},
        {2, "Brand", 1, 20, 'C', true, "Brand"},
        {3, "Model", 1, 20, 'C', false, "Model"},
        {4, "Serial", 1, 20, 'C', false, "Serial Number"},
        {5, "Location", 1, 30, 'C', true, "Location"},
        {6, "Descriptio", 1, 110, 'C', false, "Description"},
        {7, "BoughtFrom", 1, 40, 'C', true, "Purchased From"},
        {8, "IDMarks", 1, 60, 'C', false, "ID Marks"},
        {9, "Quantity", 2, 4, 'N', false, "Quantity"},
        {10, "PurchDate", 4, 8, 'D', false, "Purchase Date"},
        {11, "Cost", 3, 12, 'N', false, "Cost"},
        {12, "Category", 1, 20, 'C', true, "Category"},
        {13, "RepCost", 3, 12, 'N', false, "Replacement Cost"},
        {14, "Warranty", 1, 3, 'C', false, "Warranty"},
        {15, "WarDate", 4, 8, 'D', false, "Warranty Date"},
        {16, "WarNotes", 1, 30, 'C', false, "Warranty Notes"},
        {17, "Owner", 1, 30, 'C', true, "Owner"},
        {18, "Value", 3, 12, 'N', false, "Value"},
        {19, "UserDef1", 1, 40, 'C', false, "User Defined 1"},
        {20, "UserDef2", 1, 40, 'C', false, "User Defined 2"},
        {21, "UserDef3", 1, 40, 'C', false, "User Defined 3"},
        {22, "UserDef4", 1, 40, 'C', false, "User Defined 4"},
    }};
    return kSchema;
}

const SchemaField& SchemaAt(int position) {
    assert(position >= 1 && position <= kItemFieldCount);
    return ItemSchema()[position - 1];
}

int SchemaPosition(std::string_view name) {
    auto upper = [](std::string_view s) {
        std::string r(s);
        for (char& c : r)
            if (c >= 'a' && c <= 'z') c = char(c - 'a' + 'A');
        return r;
    };
    const std::string wanted = upper(name);
    for (const auto& f : ItemSchema())
        if (upper(f.name) == wanted) return f.position;
    return 0;
}

std::vector<FieldDef> ItemTableFieldDefs() {
    std::vector<FieldDef> defs;
    for (const auto& f : ItemSchema()) {
        const std::string name(f.name);
        switch (f.typeCode) {
        case 1: defs.push_back(FieldDef::String(name, f.width)); break;
        case 2: defs.push_back(FieldDef::Integer(name)); break;
        case 3: defs.push_back(FieldDef::Float(name)); break;
        case 4: defs.push_back(FieldDef::DateField(name)); break;
        default: break;
        }
    }
    return defs;
}

}  // namespace store
