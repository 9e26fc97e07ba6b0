#include "SavedSearch.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>

#include "RecordLayout.h"

namespace find {

namespace {

const char* TestWord(int test) {
    switch (test) {
    case kTestEqual: return "eq";
    case kTestGreater: return "gt";
    case kTestLess: return "lt";
    default: return "has";
    }
}

std::optional<int> TestOf(std::string_view word) {
    if (word == "eq") return kTestEqual;
    if (word == "gt") return kTestGreater;
    if (word == "lt") return kTestLess;
    if (word == "has") return kTestContains;
    return std::nullopt;
}

std::string Escape(std::string_view text) {
    std::string out;
    for (unsigned char c : text) {
        if (c < 0x20 || c == 0x7F || c == '%' || c == ':' || c == ',' || c == '/') {
            char buf[4];
            std::snprintf(buf, sizeof buf, "%%%02X", c);
            out += buf;
        } else {
            out += char(c);
        }
    }
    return out;
}

std::optional<std::string> Unescape(std::string_view text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%') {
            out += text[i];
            continue;
        }
        if (i + 2 >= text.size()) return std::nullopt;
        auto hex = [](char c) -> int {
            if (c >= '0' && c <= '9') return c - '0';
            if (c >= 'A' && c <= 'F') return c - 'A' + 10;
            if (c >= 'a' && c <= 'f') return c - 'a' + 10;
            return -1;
        };
        const int hi = hex(text[i + 1]), lo = hex(text[i + 2]);
        if (hi < 0 || lo < 0) return std::nullopt;
        out += char(hi * 16 + lo);
        i += 2;
    }
    return out;
}

bool SameName(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::toupper(static_cast<unsigned char>(x)) == std::toupper(static_cast<unsigned char>(y));
           });
}

std::vector<std::string_view> Split(std::string_view text, char separator) {
    std::vector<std::string_view> parts;
    size_t start = 0;
    for (;;) {
        const size_t at = text.find(separator, start);
        parts.push_back(text.substr(start, at == std::string_view::npos ? std::string_view::npos : at - start));
        if (at == std::string_view::npos) return parts;
        start = at + 1;
    }
}

}  // namespace

std::string EncodeSearch(const std::vector<SearchCriterion>& criteria) {
    std::string out;
    bool levelStart = true;
    for (const SearchCriterion& c : criteria) {
        if (!out.empty()) out += levelStart ? '/' : ',';
        out += store::SchemaAt(c.position).name;
        out += ':';
        out += TestWord(c.test);
        out += ':';
        if (c.test == kTestContains) {
            out += Escape(c.text);
        } else if (c.dateFlag) {
            char buf[16];
            std::snprintf(buf, sizeof buf, "%04d-%02d-%02d", c.date.year, c.date.month, c.date.day);
            out += buf;
        } else {
            out += store::FormatNumber(c.number);
        }
        levelStart = c.levelEnd;
    }
    return out;
}

DecodedSearch DecodeSearch(const std::string& name, const std::string& text, const store::RecordLayout& layout) {
    DecodedSearch result;
    auto fail = [&](const std::string& why) {
        result.criteria.clear();
        result.problem = "The saved search \"" + name + "\" " + why;
        return result;
    };
    if (text.empty()) return fail("holds no criteria.");
    for (std::string_view level : Split(text, '/')) {
        for (std::string_view part : Split(level, ',')) {
            const std::vector<std::string_view> pieces = Split(part, ':');
            if (pieces.size() != 3) return fail("cannot be read: \"" + std::string(part) + "\" is not a criterion.");
            int position = 0;
            for (int p = 1; p <= store::kItemFieldCount; ++p)
                if (SameName(pieces[0], store::SchemaAt(p).name)) position = p;
            bool present = false;
            for (int f = 0; position > 0 && f < layout.FieldCount(); ++f)
                present = present || SameName(layout.Field(f).name, store::SchemaAt(position).name);
            if (!present)
                return fail("looks in the field " + std::string(pieces[0]) + ", which this database does not have.");
            const auto test = TestOf(pieces[1]);
            if (!test) return fail("cannot be read: \"" + std::string(pieces[1]) + "\" is not a test.");
            SearchCriterion c;
            c.position = position;
            c.test = *test;
            const std::string value(pieces[2]);
            const int kind = store::SchemaAt(position).typeCode;
            if (c.test == kTestContains) {
                const auto plain = Unescape(value);
                if (!plain || kind != 1) return fail("cannot be read: \"" + value + "\" is not a text to look for.");
                c.text = *plain;
            } else if (kind == 4) {
                int y = 0, m = 0, d = 0;
                char tail = 0;
                if (std::sscanf(value.c_str(), "%4d-%2d-%2d%c", &y, &m, &d, &tail) != 3 || !store::Date::IsValid(y, m, d))
                    return fail("cannot be read: \"" + value + "\" is not a date.");
                c.date = {y, m, d};
                c.dateFlag = true;
            } else if (kind == 2 || kind == 3) {
                char* end = nullptr;
                c.number = std::strtod(value.c_str(), &end);
                if (value.empty() || *end != '\0') return fail("cannot be read: \"" + value + "\" is not a number.");
            } else {
                return fail("cannot be read: \"" + std::string(part) + "\" is not a criterion.");
            }
            result.criteria.push_back(std::move(c));
            if (result.criteria.size() > size_t(kMaxCriteria)) return fail("has too many criteria.");
        }
        result.criteria.back().levelEnd = true;
    }
    return result;
}

std::string CheckSearchName(const std::string& name) {
    if (name.empty()) return "Please enter a name for the search.";
    if (name[0] == ';') return "A search's name cannot begin with \";\".";
    size_t characters = 0;
    for (unsigned char c : name) {
        if ((c & 0xC0) != 0x80) ++characters;
        if (c < 0x20 || c == 0x7F || c == '=' || c == '[' || c == ']')
            return "A search's name cannot hold \"=\", \"[\", \"]\" or control characters.";
    }
    if (characters > 40) return "A search's name can be at most 40 characters long.";
    return {};
}

}  // namespace find
