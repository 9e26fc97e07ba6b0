#pragma once
// The dBASE key expression of the program-wide sort order: one component
// per chosen field (text by its first 20 characters in upper case, numbers
// by STR, dates by DTOS), joined by "+". It is the key of the index tag
// "NewIndex" that orders the grid, reports and exports.

#include <array>
#include <string>

namespace find {

inline constexpr const char* kSortTagName = "NewIndex";

// Positions 1 to 22, 0 for none, primary first. An empty result means
// physical record order.
std::string BuildSortString(const std::array<int, 4>& positions);

}  // namespace find
