#pragma once
// A search kept under a name: its criteria as one line of text for the
// settings file, and read back against the table it is to run on. Each
// criterion is "FIELD:TEST:VALUE" with the field's dBASE name, the test
// ("eq", "gt", "lt", "has") and the value (text with "%", ":", ",", "/"
// and control characters as %XX; a date as YYYY-MM-DD; a number in its
// shortest form); criteria of one level are joined by ",", levels by "/".
//
//     Location:has:ATTIC,Cost:gt:100/Brand:has:SON

#include <optional>
#include <string>
#include <vector>

#include "SearchCriteria.h"

namespace store {
class RecordLayout;
}

namespace find {

std::string EncodeSearch(const std::vector<SearchCriterion>& criteria);

struct DecodedSearch {
    std::vector<SearchCriterion> criteria;
    std::string problem;  // empty when the search can run
};
// The criteria of a saved search for a table of this layout. A field the
// table does not have, or text that is not a saved search, gives a problem
// naming the search.
DecodedSearch DecodeSearch(const std::string& name, const std::string& text, const store::RecordLayout& layout);

// Why a name cannot be a saved search's ("" when it can): empty, longer
// than 40 characters, or holding "=", "[", "]" or a control character.
std::string CheckSearchName(const std::string& name);

}  // namespace find
