#include "CodePage.h"

#include <array>
#include <cstring>
#include <map>

namespace store {
namespace {

struct PageTable {
    int number;
    std::array<uint16_t, 128> high;
};

const PageTable kPages[] = {
#include "CodePageTables.inc"
};

const PageTable& FindPage(int number) {
    for (const auto& p : kPages)
        if (p.number == number) return p;
    for (const auto& p : kPages)
        if (p.number == 1252) return p;
    return kPages[0];
}

void AppendUtf8(std::string& out, uint32_t cp) {
    if (cp < 0x80) {
        out += char(cp);
    } else if (cp < 0x800) {
        out += char(0xC0 | (cp >> 6));
        out += char(0x80 | (cp & 0x3F));
    } else {
        out += char(0xE0 | (cp >> 12));
        out += char(0x80 | ((cp >> 6) & 0x3F));
        out += char(0x80 | (cp & 0x3F));
    }
}

// Reads one UTF-8 character; returns false on malformed input.
bool NextUtf8(std::string_view s, size_t& i, uint32_t& cp, size_t& len) {
    const auto c = static_cast<unsigned char>(s[i]);
    if (c < 0x80) { cp = c; len = 1; }
    else if ((c & 0xE0) == 0xC0) { cp = c & 0x1F; len = 2; }
    else if ((c & 0xF0) == 0xE0) { cp = c & 0x0F; len = 3; }
    else if ((c & 0xF8) == 0xF0) { cp = c & 0x07; len = 4; }
    else return false;
    if (i + len > s.size()) return false;
    for (size_t k = 1; k < len; ++k) {
        const auto cc = static_cast<unsigned char>(s[i + k]);
        if ((cc & 0xC0) != 0x80) return false;
        cp = (cp << 6) | (cc & 0x3F);
    }
    return true;
}

}  // namespace

CodePage::CodePage(int number) {
    const PageTable& p = FindPage(number);
    m_number = p.number;
    m_high = p.high.data();
}

std::string CodePage::Decode(std::string_view bytes) const {
    // Most text is plain ASCII: its high bits are looked at eight bytes at
    // a time.
    uint64_t high = 0;
    size_t i = 0;
    for (; i + 8 <= bytes.size(); i += 8) {
        uint64_t word = 0;
        std::memcpy(&word, bytes.data() + i, 8);
        high |= word;
    }
    for (; i < bytes.size(); ++i) high |= static_cast<unsigned char>(bytes[i]);
    if (!(high & 0x8080808080808080ULL)) return std::string(bytes);
    std::string out;
    out.reserve(bytes.size());
    for (char ch : bytes) {
        const auto b = static_cast<unsigned char>(ch);
        if (b < 0x80) out += ch;
        else AppendUtf8(out, m_high[b - 0x80]);
    }
    return out;
}

int CodePage::ByteFor(uint32_t cp) const {
    // Most pages keep the Latin-1 letters where Latin-1 has them.
    if (cp >= 0x80 && cp <= 0xFF && m_high[cp - 0x80] == cp) return int(cp);
    for (int k = 0; k < 128; ++k)
        if (m_high[k] == cp) return 0x80 + k;
    return -1;
}

std::optional<size_t> CodePage::EncodeInto(std::string_view utf8, char* out, size_t capacity,
                                           std::string* bad) const {
    size_t n = 0;
    for (size_t i = 0; i < utf8.size();) {
        const char ch = utf8[i];
        if (static_cast<unsigned char>(ch) < 0x80) {
            if (n < capacity) out[n] = ch;
            ++n;
            ++i;
            continue;
        }
        uint32_t cp = 0;
        size_t len = 0;
        if (!NextUtf8(utf8, i, cp, len)) {
            if (bad) *bad = "a byte that is not UTF-8";
            return std::nullopt;
        }
        const int byte = cp < 0x80 ? int(cp) : ByteFor(cp);
        if (byte < 0) {
            if (bad) *bad = std::string(utf8.substr(i, len));
            return std::nullopt;
        }
        if (n < capacity) out[n] = char(byte);
        ++n;
        i += len;
    }
    return n;
}

std::optional<std::string> CodePage::Encode(std::string_view utf8, std::string* bad) const {
    if (IsAscii(utf8)) return std::string(utf8);
    // Never more bytes than the UTF-8 form has.
    std::string out(utf8.size(), '\0');
    const auto length = EncodeInto(utf8, out.data(), out.size(), bad);
    if (!length) return std::nullopt;
    out.resize(*length);
    return out;
}

int CodePage::FromLanguageDriver(uint8_t driver) {
    static const std::map<uint8_t, int> kDrivers = {
        {0x01, 437},  {0x02, 850},  {0x03, 1252}, {0x08, 865},  {0x09, 437},  {0x0A, 850},
        {0x0B, 437},  {0x0D, 437},  {0x0E, 850},  {0x0F, 437},  {0x10, 850},  {0x11, 437},
        {0x12, 850},  {0x14, 850},  {0x15, 437},  {0x16, 850},  {0x17, 865},  {0x18, 437},
        {0x19, 437},  {0x1A, 850},  {0x1B, 437},  {0x1C, 863},  {0x1D, 850},  {0x1F, 852},
        {0x22, 852},  {0x23, 852},  {0x24, 860},  {0x25, 850},  {0x26, 866},  {0x37, 850},
        {0x40, 852},  {0x50, 874},  {0x57, 1252}, {0x58, 1252}, {0x59, 1252}, {0x64, 852},
        {0x65, 866},  {0x66, 865},  {0x67, 861},  {0x69, 437},  {0x6A, 737},  {0x6B, 857},
        {0x6C, 863},  {0x7C, 874},  {0x86, 737},  {0x87, 852},  {0x88, 857},  {0xC8, 1250},
        {0xC9, 1251}, {0xCA, 1254}, {0xCB, 1253}, {0xCC, 1257},
    };
    const auto it = kDrivers.find(driver);
    return it == kDrivers.end() ? 0 : it->second;
}

uint8_t CodePage::LanguageDriverFor(int codePage) {
    switch (codePage) {
    case 437: return 0x01;
    case 850: return 0x02;
    case 852: return 0x64;
    case 866: return 0x65;
    case 1250: return 0xC8;
    case 1251: return 0xC9;
    default: return 0x03;
    }
}

}  // namespace store
