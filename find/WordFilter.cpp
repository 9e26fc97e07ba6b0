#include "WordFilter.h"

#include <algorithm>
#include <cstring>

namespace find {
namespace {

// The letters of U+00C0 to U+00FF and U+0100 to U+017F without accents; '*'
// where the character folds to its own lower case, '=' where it stays.
constexpr std::string_view kLatin1 =
    "aaaaaa*ceeeeiiii*nooooo=ouuuuy*="   // C0-DF
    "aaaaaa=ceeeeiiii=nooooo=ouuuuy=y";  // E0-FF
constexpr std::string_view kLatinA =
    "aaaaaaccccccccddddeeeeeeeeeegggggggghhhhiiiiiiiiii*=jjkkkllllllllllnnnnnnn*=oooooo*=rrrrrrssssssss"
    "ttttttuuuuuuuuuuuuwwyyyzzzzzzs";

std::u32string Decode(std::string_view utf8) {
    std::u32string out;
    for (size_t i = 0; i < utf8.size();) {
        const unsigned char c = static_cast<unsigned char>(utf8[i]);
        const int extra = c < 0x80 ? 0 : c >= 0xF0 ? 3 : c >= 0xE0 ? 2 : c >= 0xC0 ? 1 : 0;
        char32_t cp = extra == 0 ? c : c & (0x3F >> extra);
        size_t n = 1;
        for (; n <= size_t(extra) && i + n < utf8.size(); ++n) cp = (cp << 6) | (static_cast<unsigned char>(utf8[i + n]) & 0x3F);
        out += cp;
        i += n;
    }
    return out;
}

void AppendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += char(c);
    } else if (c < 0x800) {
        out += char(0xC0 | (c >> 6));
        out += char(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += char(0xE0 | (c >> 12));
        out += char(0x80 | ((c >> 6) & 0x3F));
        out += char(0x80 | (c & 0x3F));
    } else {
        out += char(0xF0 | (c >> 18));
        out += char(0x80 | ((c >> 12) & 0x3F));
        out += char(0x80 | ((c >> 6) & 0x3F));
        out += char(0x80 | (c & 0x3F));
    }
}

}  // namespace

char32_t FoldCharacter(char32_t c) {
    if (c < 0x80) return c >= 'A' && c <= 'Z' ? c + 32 : c;
    if (c >= 0xC0 && c <= 0xFF) {
        const char f = kLatin1[c - 0xC0];
        return f == '=' ? c : f == '*' ? c + 0x20 : char32_t(f);
    }
    if (c >= 0x100 && c <= 0x17F) {
        const char f = kLatinA[c - 0x100];
        return f == '=' ? c : f == '*' ? c + 1 : char32_t(f);
    }
    if (c >= 0x410 && c <= 0x42F) return c + 0x20;  // Cyrillic capitals
    if (c >= 0x400 && c <= 0x40F) return c + 0x50;
    if (c >= 0x391 && c <= 0x3AB && c != 0x3A2) return c + 0x20;  // Greek capitals
    return c;
}

std::array<unsigned char, 256> FoldTable(const store::CodePage& page) {
    std::array<unsigned char, 256> table{};
    for (int b = 0; b < 256; ++b) {
        table[size_t(b)] = static_cast<unsigned char>(b);
        const std::u32string decoded = Decode(page.Decode(std::string(1, char(b))));
        if (decoded.size() != 1) continue;
        std::string folded;
        AppendUtf8(folded, FoldCharacter(decoded[0]));
        if (const auto encoded = page.Encode(folded); encoded && encoded->size() == 1)
            table[size_t(b)] = static_cast<unsigned char>((*encoded)[0]);
    }
    return table;
}

WordFilter::WordFilter(const store::RecordLayout& layout, std::string_view typed) : m_fold(FoldTable(layout.Page())) {
    for (int f = 0; f < layout.FieldCount(); ++f)
        if (layout.Field(f).type == 'C') m_fields.push_back(f);
    size_t i = 0;
    while (i < typed.size()) {
        while (i < typed.size() && (typed[i] == ' ' || typed[i] == '\t')) ++i;
        size_t end = i;
        while (end < typed.size() && typed[end] != ' ' && typed[end] != '\t') ++end;
        if (end == i) break;
        std::string folded;
        for (char32_t c : Decode(typed.substr(i, end - i))) AppendUtf8(folded, FoldCharacter(c));
        const auto encoded = layout.Page().Encode(folded);
        if (!encoded) {
            m_impossible = true;  // no field can hold it
        } else {
            std::string word = *encoded;
            for (char& c : word) c = char(m_fold[static_cast<unsigned char>(c)]);
            if (std::find(m_words.begin(), m_words.end(), word) == m_words.end()) m_words.push_back(std::move(word));
        }
        i = end;
    }
    // The longest word first: the one least likely to be found ends most records soonest.
    std::sort(m_words.begin(), m_words.end(), [](const std::string& a, const std::string& b) { return a.size() > b.size(); });
}

bool WordFilter::Matches(const store::RecordView& record) const {
    if (m_impossible) return false;
    if (m_words.empty()) return true;
    // The folded fields one after the other, a zero byte between them, so
    // that no word runs from one field into the next.
    thread_local std::string folded;
    folded.clear();
    for (int f : m_fields) {
        const std::string_view raw = record.Raw(f);
        const size_t start = folded.size();
        folded.resize(start + raw.size() + 1);
        char* out = folded.data() + start;
        for (size_t k = 0; k < raw.size(); ++k) out[k] = char(m_fold[static_cast<unsigned char>(raw[k])]);
        out[raw.size()] = '\0';
    }
    const std::string_view all(folded);
    for (const std::string& w : m_words)
        if (all.find(w) == std::string_view::npos) return false;
    return true;
}

}  // namespace find
