#pragma once
// Which item field each column of a spreadsheet goes to, judged by the
// column's header: a field's name or its title (the user's own titles as
// well as the program's), or a header that other inventory programs and
// spreadsheets use for it ("Manufacturer", "Purchase Price", "Room" ...).
// Letter case and blanks do not count.

#include <string>
#include <string_view>
#include <vector>

namespace exchange {

// The field's position (1 to 22) for each header, 0 for none. A field goes
// to the first column that names it; a later column naming it again gets
// none. titles: the user's titles by position (index 0 for field 1); fewer
// or empty ones are passed over.
std::vector<int> MapByHeader(const std::vector<std::string>& headers, const std::vector<std::string>& titles = {});

// The header as it is compared: ASCII letters in upper case, blanks gone.
std::string HeaderKey(std::string_view header);

}  // namespace exchange
