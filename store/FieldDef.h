#pragma once
// One field of a dBASE table as the file describes it, and the four kinds
// the program creates: text of a width, integer (N 11,0), float (N 20,4)
// and date (D 8).

#include <string>

namespace store {

enum class FieldKind { String, Integer, Float, Date, Logical, Memo, Other };

struct FieldDef {
    std::string name;  // as stored in the file, at most 10 characters
    char type = 'C';   // dBASE type letter
    int length = 0;
    int decimals = 0;

    static FieldDef String(std::string name, int width) { return {std::move(name), 'C', width, 0}; }
    static FieldDef Integer(std::string name) { return {std::move(name), 'N', 11, 0}; }
    static FieldDef Float(std::string name) { return {std::move(name), 'N', 20, 4}; }
    static FieldDef DateField(std::string name) { return {std::move(name), 'D', 8, 0}; }

    FieldKind Kind() const {
        switch (type) {
        case 'C': return FieldKind::String;
        case 'N': return decimals == 0 ? FieldKind::Integer : FieldKind::Float;
        case 'F': case 'O': case 'Y': return FieldKind::Float;
        case 'B': return length == 8 ? FieldKind::Float : FieldKind::Memo;  // FoxPro double or dBASE binary memo
        case 'I': case '+': return FieldKind::Integer;
        case 'D': case 'T': case '@': return FieldKind::Date;
        case 'L': return FieldKind::Logical;
        case 'M': case 'G': case 'P': return FieldKind::Memo;
        default: return FieldKind::Other;
        }
    }
};

}  // namespace store
