#include "IndexKey.h"

#include <algorithm>
#include <cstring>

#include "EngineError.h"

namespace store {

int CompareKeys(std::string_view a, std::string_view b) {
    const size_t n = std::min(a.size(), b.size());
    if (const int c = std::memcmp(a.data(), b.data(), n)) return c;
    const std::string_view rest = a.size() > n ? a.substr(n) : b.substr(n);
    const int sign = a.size() > n ? 1 : -1;
    for (char ch : rest) {
        const auto u = static_cast<unsigned char>(ch);
        if (u != ' ') return u > ' ' ? sign : -sign;
    }
    return 0;
}

void KeyOf(const Expression& e, const RecordView& v, std::string& out) {
    try {
        e.Key(v, out);
    } catch (const EngineError&) {
        out.clear();
    }
}

}  // namespace store
