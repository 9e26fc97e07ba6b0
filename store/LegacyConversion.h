#pragma once
// Data files of the two earlier generations of the program: "H2LOG.DBF"
// (2.X, 19 fields) and "HLOG.DBF" (1.X, 15 fields, the purchase date kept as
// day, month name and year). Each begins with one field that is neither
// examined nor converted. The checks are silent; the conversions append
// every old record to the open item table and stop at the first value the
// item table refuses, with the records appended so far kept.

#include <string>

#include "Table.h"

namespace store {

inline constexpr const char* kVersion2File = "H2LOG.DBF";
inline constexpr const char* kVersion1File = "HLOG.DBF";

bool CheckDBaseFormatV2(Table& checkTable, const std::string& path);
bool CheckDBaseFormatV1(Table& checkTable, const std::string& path);

// Throw EngineError naming the old record that could not be converted.
void ConvertV2(Table& checkTable, Table& itemTable, const std::string& path);
void ConvertV1(Table& checkTable, Table& itemTable, const std::string& path);

// The date text of a 1.X record: month (its number when it is one of the
// month names "Jan" to "Dec"), day and year joined by "/", each part cut to
// four characters and the whole held to the lengths the old program used.
std::string VersionOneDateText(const std::string& day, const std::string& month, const std::string& year);

}  // namespace store
