#pragma once
// Import: adds records to the item table from a delimited text file (the
// export's format) or from another dBASE table. A source is examined first:
// its field names come back for the user to line up against the item
// fields, or the reason it cannot be imported. The run then appends in bulk,
// one item record per source record, each source value stored into the item
// field the map names by the conversion rules of that field's kind.
//
// A value that cannot be stored (a malformed number or date, a character
// the item table's code page lacks, an over-long or surplus value) stops the
// run with a message naming the line (or source record) and the field; the
// records imported before it stay. Text is read as UTF-8 when the whole
// file is valid UTF-8, else as Windows-1252.

#include <array>
#include <string>
#include <vector>

#include "ExchangeRun.h"
#include "ItemSchema.h"
#include "Table.h"

namespace exchange {

struct Examination {
    bool accepted = false;
    std::string message;             // why the source is refused
    std::vector<std::string> names;  // source field names, at most 20 characters each
};

// The first line's values as field names ("<BLANK FIELD>" for an empty
// one), or the refusal: the three-part explanation of the format followed
// by what was wrong.
Examination ExamineTextSource(const std::string& path);
// The table's field names. Refused: a name not ending in ".DBF" ("Invalid
// file type selected."), a file the engine cannot read, more than 32 fields.
Examination ExamineDbfSource(const std::string& path);

struct ImportRequest {
    std::string path;
    // One entry per source field: the item field (schema position 1 to 22)
    // that receives it, or 0 when it is not used. For a text source its size
    // is the source field count.
    std::vector<int> map;
    bool skipFirst = true;  // text sources: the first line is not imported
    // Item field titles for messages (index = position - 1); an empty entry
    // names the field by its default title.
    std::array<std::string, store::kItemFieldCount> titles;
};

// Precondition for both: the item table is open for writing.
RunResult ImportText(store::Table& items, const ImportRequest& request, const ProgressFn& progress);
RunResult ImportDbf(store::Table& items, const ImportRequest& request, const ProgressFn& progress);

// A map that sends each source field to the item field of the same name
// (letter case ignored), 0 where no item field has that name.
std::vector<int> MapByName(const std::vector<std::string>& names);

// Quantity values: leading blanks skipped, an optional sign (or "$" for
// hexadecimal digits); a whole number throughout gives its value, otherwise
// the digits before the first other character give the number without its
// sign; no leading digits give 0.
int ReadLeadingInteger(std::string_view text);

// "mm/dd/yyyy" and the like, with the format's own separator.
std::string DateFormatName(const store::DateFormat& format);

// The first part of every refusal of a text source.
extern const char* const kNotDelimitedMessage;

}  // namespace exchange
