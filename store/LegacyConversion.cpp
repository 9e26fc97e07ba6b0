#include "LegacyConversion.h"

#include <array>
#include <sys/stat.h>

#include "ItemTable.h"

namespace store {
namespace {

const std::array<const char*, 18> kVersion2Fields = {
    "Item",       "Brand",    "Model",     "Serial", "Location", "Descriptio", "BoughtFrom", "IDMarks", "Quantity",
    "PurchDate",  "Cost",     "Category",  "RepCost", "Warranty", "WarDate",   "WarNotes",   "Owner",   "Value"};

const std::array<const char*, 14> kVersion1Fields = {"Item",     "Brand",    "Model",      "Serial",    "Room",
                                                     "Descriptio", "BoughtFrom", "IDMarks", "Quantity", "PurchDay",
                                                     "PurchMonth", "PurchYear",  "Cost",    "Category"};

std::string Upper(std::string s) {
    for (char& c : s)
        if (c >= 'a' && c <= 'z') c = char(c - 32);
    return s;
}

template <size_t N>
bool CheckLayout(Table& check, const std::string& path, const std::array<const char*, N>& names) {
    struct stat st{};
    if (::stat(path.c_str(), &st) != 0) return false;
    try {
        PointAt(check, path);
        check.SetExclusive(false);
        check.SetReadOnly(true);
        check.SetActiveIndex("");
        check.Open();
        bool ok = check.FieldCount() == int(N) + 1;
        for (size_t i = 0; ok && i < N; ++i) ok = Upper(check.Field(int(i) + 1).name) == Upper(names[i]);
        const std::string dataPath = check.DataFilePath();
        const bool indexGone = ::stat(check.IndexFilePath().c_str(), &st) != 0;
        check.Close();
        check.SetReadOnly(false);
        // Written into only once it is known to be the old data file.
        if (ok && indexGone) RemoveMDXByte(dataPath);
        return ok;
    } catch (const EngineError&) {
        check.Close();
        check.SetReadOnly(false);
        return false;
    }
}

// Walks the old file and appends one item per record; fill() copies the
// fields. An error names the record it stopped at.
template <class Fill>
void Convert(Table& check, Table& items, const std::string& path, Fill fill) {
    PointAt(check, path);
    check.SetReadOnly(true);
    check.SetActiveIndex("");
    check.Open();
    uint32_t number = 0;
    try {
        for (check.First(); !check.Eof() && check.HasCurrent(); check.Next()) {
            number = check.RecNo() + 1;
            items.Append();
            fill();
            items.Post();
        }
    } catch (const EngineError& e) {
        items.Cancel();
        check.Close();
        check.SetReadOnly(false);
        throw EngineError("Record " + std::to_string(number) + " of " + FileNameOf(path) +
                          " could not be converted: " + e.what());
    }
    check.Close();
    check.SetReadOnly(false);
}

// Values pass as text, except dates between date fields: they pass as
// dates, never through a two-digit year of the current format.
void CopyText(Table& check, Table& items, const char* from, const char* to) {
    const int source = check.NeedField(from), target = items.NeedField(to);
    if (check.Field(source).Kind() == FieldKind::Date && items.Field(target).Kind() == FieldKind::Date) {
        items.SetDate(target, check.GetDate(source));
        return;
    }
    items.SetText(target, check.GetText(source));
}

}  // namespace

bool CheckDBaseFormatV2(Table& checkTable, const std::string& path) {
    return CheckLayout(checkTable, path, kVersion2Fields);
}

bool CheckDBaseFormatV1(Table& checkTable, const std::string& path) {
    return CheckLayout(checkTable, path, kVersion1Fields);
}

void ConvertV2(Table& checkTable, Table& itemTable, const std::string& path) {
    Convert(checkTable, itemTable, path, [&] {
        for (const char* name : kVersion2Fields) CopyText(checkTable, itemTable, name, name);
    });
}

std::string VersionOneDateText(const std::string& day, const std::string& month, const std::string& year) {
    static const char* const kMonths[12] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                           "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    const std::string d = day.substr(0, 4), y = year.substr(0, 4);
    std::string m = month.substr(0, 4);
    for (int i = 0; i < 12; ++i)
        if (m == kMonths[i]) m = std::to_string(i + 1);
    // Each part is at most four characters: the text fits 14.
    return m + "/" + d + "/" + y;
}

void ConvertV1(Table& checkTable, Table& itemTable, const std::string& path) {
    const DateFormat saved = CurrentDateFormat();
    const int purchDate = itemTable.NeedField("PurchDate");
    try {
        Convert(checkTable, itemTable, path, [&] {
            // Text fields read in the program's format; the date is built
            // in month/day/year order whatever the menu says.
            SetCurrentDateFormat(saved);
            for (const char* name : {"Item", "Brand", "Model", "Serial", "Descriptio", "BoughtFrom", "IDMarks",
                                     "Quantity", "Cost", "Category"})
                CopyText(checkTable, itemTable, name, name);
            CopyText(checkTable, itemTable, "Room", "Location");
            const std::string text = VersionOneDateText(checkTable.GetText("PurchDay"),
                                                        checkTable.GetText("PurchMonth"),
                                                        checkTable.GetText("PurchYear"));
            SetCurrentDateFormat(DateFormat('/', DateFormat::Order::MonthDayYear, false));
            const auto date = CurrentDateFormat().Parse(text);
            if (!date) throw EngineError("\"" + text + "\" is not a valid date.");
            itemTable.SetDate(purchDate, date);
        });
    } catch (...) {
        SetCurrentDateFormat(saved);
        throw;
    }
    SetCurrentDateFormat(saved);
}

}  // namespace store
