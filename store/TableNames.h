#pragma once
// Table and tag names compared as dBASE compares them: ASCII letters in any
// case.

#include <string>

namespace store {

inline std::string LowerAscii(std::string s) {
    for (char& c : s)
        if (c >= 'A' && c <= 'Z') c = char(c + 32);
    return s;
}

inline bool SameName(const std::string& a, const std::string& b) { return LowerAscii(a) == LowerAscii(b); }

}  // namespace store
