#include "RecordLayout.h"

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "EngineError.h"

namespace store {
namespace {

std::string_view TrimBoth(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\0')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\0')) s.remove_suffix(1);
    return s;
}

std::string_view TrimRight(std::string_view s) {
    // Wide text fields are mostly blanks: skip them eight at a time.
    constexpr uint64_t kBlanks = 0x2020202020202020ULL;
    while (s.size() >= 8) {
        uint64_t tail = 0;
        std::memcpy(&tail, s.data() + s.size() - 8, 8);
        if (tail != kBlanks) break;
        s.remove_suffix(8);
    }
    while (!s.empty() && (s.back() == ' ' || s.back() == '\0')) s.remove_suffix(1);
    return s;
}

// The text form of a number stored as decimal text, without going through
// a double: with at most 15 significant digits the shortest text that reads
// back as the same double is the stored digits without the zeros that add
// nothing. Anything else (an exponent, more digits) gives nullopt.
std::optional<std::string> PlainDecimalText(std::string_view raw) {
    std::string_view t = TrimBoth(raw);
    if (t.empty() || t.size() > 40) return std::nullopt;
    bool negative = false;
    if (t.front() == '-' || t.front() == '+') {
        negative = t.front() == '-';
        t.remove_prefix(1);
    }
    const size_t dot = t.find('.');
    std::string_view whole = t.substr(0, dot);
    std::string_view fraction = dot == std::string_view::npos ? std::string_view() : t.substr(dot + 1);
    if (whole.empty() && fraction.empty()) return std::nullopt;
    for (char c : whole)
        if (c < '0' || c > '9') return std::nullopt;
    for (char c : fraction)
        if (c < '0' || c > '9') return std::nullopt;
    while (!whole.empty() && whole.front() == '0') whole.remove_prefix(1);
    while (!fraction.empty() && fraction.back() == '0') fraction.remove_suffix(1);
    size_t significant = whole.size() + fraction.size();
    if (whole.empty()) {
        size_t lead = 0;
        while (lead < fraction.size() && fraction[lead] == '0') ++lead;
        significant = fraction.size() - lead;
    }
    if (significant > 15) return std::nullopt;
    if (significant == 0) return std::string("0");
    std::string out;
    out.reserve(whole.size() + fraction.size() + 3);
    if (negative) out += '-';
    if (whole.empty()) out += '0';
    else out.append(whole);
    if (!fraction.empty()) {
        out += '.';
        out.append(fraction);
    }
    return out;
}

int32_t ReadLE32(const char* p) {
    uint32_t v = 0;
    std::memcpy(&v, p, 4);
    return static_cast<int32_t>(v);
}

int64_t ReadLE64(const char* p) {
    uint64_t v = 0;
    std::memcpy(&v, p, 8);
    return static_cast<int64_t>(v);
}

[[noreturn]] void Malformed(const RecordView& view, int field, std::string_view what) {
    const FieldDef& f = view.Layout().Field(field);
    throw EngineError("Field " + f.name + " holds \"" + view.Layout().Page().Decode(TrimBoth(view.Raw(field))) +
                      "\", which is not a valid " + std::string(what) + ".");
}

std::optional<double> NumberFromText(std::string_view raw) {
    const std::string_view t = TrimBoth(raw);
    if (t.empty()) return 0.0;
    return ParseNumber(t);
}

std::string IntegerText(double v) {
    if (std::fabs(v) < 9007199254740992.0 && v == std::floor(v))
        return std::to_string(static_cast<long long>(v));
    return FormatNumber(v);
}

}  // namespace

RecordLayout::RecordLayout(std::vector<FieldDef> fields, int codePage)
    : m_fields(std::move(fields)), m_page(codePage) {
    int offset = 1;
    for (const auto& f : m_fields) {
        m_offsets.push_back(offset);
        offset += f.length;
    }
    m_recordLength = offset;
}

int RecordLayout::FieldIndex(std::string_view name) const {
    for (size_t i = 0; i < m_fields.size(); ++i) {
        const std::string& n = m_fields[i].name;
        if (n.size() != name.size()) continue;
        bool same = true;
        for (size_t k = 0; k < n.size() && same; ++k) {
            char a = n[k], b = name[k];
            if (a >= 'a' && a <= 'z') a = char(a - 32);
            if (b >= 'a' && b <= 'z') b = char(b - 32);
            same = a == b;
        }
        if (same) return int(i);
    }
    return -1;
}

std::string_view RecordView::Raw(int field) const {
    const FieldDef& f = m_layout->Field(field);
    return std::string_view(m_record + m_layout->Offset(field), size_t(f.length));
}

bool RecordView::IsBlank(int field) const {
    const FieldDef& f = m_layout->Field(field);
    switch (f.Kind()) {
    case FieldKind::Memo: return true;
    case FieldKind::Logical: {
        const char c = Raw(field)[0];
        return c == ' ' || c == '?' || c == '\0';
    }
    default: break;
    }
    if (f.type == 'I' || f.type == 'Y' || f.type == 'O' || (f.type == 'B' && f.length == 8) || f.type == '+')
        return false;
    if (f.type == 'T' || f.type == '@') {
        const std::string_view r = Raw(field);
        return r.size() < 4 || ReadLE32(r.data()) == 0;
    }
    return TrimBoth(Raw(field)).empty();
}

double RecordView::Number(int field) const {
    const FieldDef& f = m_layout->Field(field);
    const std::string_view r = Raw(field);
    switch (f.type) {
    case 'I': case '+': return r.size() >= 4 ? ReadLE32(r.data()) : 0;
    case 'Y': return r.size() >= 8 ? double(ReadLE64(r.data())) / 10000.0 : 0;
    case 'O': case 'B': {
        if (r.size() < 8) return 0;
        double d = 0;
        std::memcpy(&d, r.data(), 8);
        return d;
    }
    default: break;
    }
    const auto v = NumberFromText(r);
    if (!v) Malformed(*this, field, "number");
    return *v;
}

std::optional<Date> RecordView::DateValue(int field) const {
    const FieldDef& f = m_layout->Field(field);
    const std::string_view r = Raw(field);
    if (f.type == 'T' || f.type == '@') {
        if (r.size() < 4) return std::nullopt;
        const int32_t julian = ReadLE32(r.data());
        if (julian == 0) return std::nullopt;
        // Julian day number 2440588 is 1970-01-01.
        return Date::FromDayNumber(long(julian) - 2440588L);
    }
    const std::string_view t = TrimBoth(r);
    if (t.empty()) return std::nullopt;
    const auto d = Date::FromStorage(t);
    if (!d) Malformed(*this, field, "date");
    return d;
}

std::string RecordView::Text(int field) const {
    const FieldDef& f = m_layout->Field(field);
    switch (f.Kind()) {
    case FieldKind::String:
    case FieldKind::Other:
        return m_layout->Page().Decode(TrimRight(Raw(field)));
    case FieldKind::Memo:
        return {};
    case FieldKind::Logical: {
        const char c = Raw(field)[0];
        if (c == 'T' || c == 't' || c == 'Y' || c == 'y') return "T";
        if (c == 'F' || c == 'f' || c == 'N' || c == 'n') return "F";
        return {};
    }
    case FieldKind::Integer:
    case FieldKind::Float: {
        if (IsBlank(field)) return {};
        if (f.type == 'N' || f.type == 'F') {
            if (auto text = PlainDecimalText(Raw(field))) return std::move(*text);
        }
        return f.Kind() == FieldKind::Integer ? IntegerText(Number(field)) : FormatNumber(Number(field));
    }
    case FieldKind::Date: {
        const auto d = DateValue(field);
        return d ? CurrentDateFormat().Format(*d) : std::string();
    }
    }
    return {};
}

std::string RecordView::DisplayText(int field) const {
    try {
        return Text(field);
    } catch (const EngineError&) {
        return m_layout->Page().Decode(TrimBoth(Raw(field)));
    }
}

std::string FormatNumber(double value) {
    if (!std::isfinite(value)) return "0";
    if (value == 0) return "0";
    char buf[400];
    if (std::fabs(value) < 1e15 && value == std::floor(value)) {
        const auto res = std::to_chars(buf, buf + sizeof buf, static_cast<long long>(value));
        return std::string(buf, res.ptr);
    }
    const auto res = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::fixed);
    if (res.ec != std::errc()) return "0";
    return std::string(buf, res.ptr);
}

std::string ShortNumberText(double value) {
    std::string text = FormatNumber(value);
    if (text.size() <= 20) return text;
    char buf[64];
    const auto res = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::general, 6);
    return res.ec == std::errc() ? std::string(buf, res.ptr) : text;
}

std::optional<double> ParseNumber(std::string_view text) {
    std::string_view t = text;
    while (!t.empty() && t.front() == ' ') t.remove_prefix(1);
    while (!t.empty() && t.back() == ' ') t.remove_suffix(1);
    if (t.empty()) return std::nullopt;
    size_t i = 0;
    if (t[i] == '+' || t[i] == '-') ++i;
    size_t digits = 0;
    while (i < t.size() && t[i] >= '0' && t[i] <= '9') { ++i; ++digits; }
    if (i < t.size() && t[i] == '.') {
        ++i;
        while (i < t.size() && t[i] >= '0' && t[i] <= '9') { ++i; ++digits; }
    }
    if (digits == 0) return std::nullopt;
    const bool exponent = i < t.size() && (t[i] == 'e' || t[i] == 'E');
    if (exponent) {
        ++i;
        if (i < t.size() && (t[i] == '+' || t[i] == '-')) ++i;
        size_t expDigits = 0;
        while (i < t.size() && t[i] >= '0' && t[i] <= '9') { ++i; ++expDigits; }
        if (expDigits == 0) return std::nullopt;
    }
    if (i != t.size()) return std::nullopt;
    if (t.front() == '+') t.remove_prefix(1);
    // Plain decimals of up to 15 digits: the digits as a whole number and a
    // power of ten are both exact doubles, so one division rounds exactly
    // as the full conversion would.
    if (digits <= 15 && !exponent) {
        static constexpr double kPowers[] = {1e0, 1e1, 1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                             1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};
        int64_t whole = 0;
        int fraction = -1;
        for (char c : t) {
            if (c == '.') fraction = 0;
            else if (c >= '0' && c <= '9') {
                whole = whole * 10 + (c - '0');
                if (fraction >= 0) ++fraction;
            }
        }
        const double v = double(whole) / kPowers[fraction < 0 ? 0 : fraction];
        return t.front() == '-' ? -v : v;
    }
    double v = 0;
    const auto res = std::from_chars(t.data(), t.data() + t.size(), v);
    if (res.ec != std::errc() || res.ptr != t.data() + t.size() || !std::isfinite(v)) return std::nullopt;
    return v;
}

}  // namespace store
