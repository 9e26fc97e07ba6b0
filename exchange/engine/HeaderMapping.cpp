#include "HeaderMapping.h"

#include <utility>

#include "ItemSchema.h"

namespace exchange {

namespace {

// Headers other programs write, by the field they mean.
constexpr std::pair<const char*, int> kCommonHeaders[] = {
    {"Name", 1},           {"Item Name", 1},         {"Manufacturer", 2},      {"Make", 2},
    {"Model Number", 3},   {"Model No", 3},          {"Serial No", 4},         {"Room", 5},
    {"Notes", 6},          {"Purchased At", 7},      {"Store", 7},             {"Vendor", 7},
    {"Qty", 9},            {"Date Purchased", 10},   {"Purchase Price", 11},   {"Price", 11},
    {"Replacement Value", 13}, {"Warranty Expires", 15}, {"Warranty Expiration", 15},
    {"Current Value", 18}, {"Estimated Value", 18},
};

}  // namespace

std::string HeaderKey(std::string_view header) {
    std::string key;
    key.reserve(header.size());
    for (char c : header) {
        if (c == ' ' || c == '\t' || c == '\r' || c == '\n') continue;
        key += c >= 'a' && c <= 'z' ? char(c - 'a' + 'A') : c;
    }
    return key;
}

std::vector<int> MapByHeader(const std::vector<std::string>& headers, const std::vector<std::string>& titles) {
    auto fieldOf = [&](const std::string& key) {
        if (key.empty()) return 0;
        for (size_t i = 0; i < titles.size() && i < size_t(store::kItemFieldCount); ++i)
            if (HeaderKey(titles[i]) == key) return int(i) + 1;
        for (const store::SchemaField& f : store::ItemSchema())
            if (HeaderKey(f.name) == key || HeaderKey(f.defaultTitle) == key) return f.position;
        for (const auto& [header, position] : kCommonHeaders)
            if (HeaderKey(header) == key) return position;
        return 0;
    };
    std::vector<int> map;
    std::vector<bool> taken(store::kItemFieldCount + 1, false);
    for (const std::string& header : headers) {
        const int field = fieldOf(HeaderKey(header));
        const bool free = field > 0 && !taken[size_t(field)];
        if (free) taken[size_t(field)] = true;
        map.push_back(free ? field : 0);
    }
    return map;
}

}  // namespace exchange
