#pragma once
// Single-byte code pages of dBASE tables. Field text is held in the table's
// code page on disk and as UTF-8 everywhere else; these conversions are the
// only place the two meet. Encoding refuses a character the code page cannot
// hold instead of storing a different one.

#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>

namespace store {

class CodePage {
public:
    // Windows-1252 unless another page is named. Unknown numbers fall back
    // to 1252 so that old files still open.
    explicit CodePage(int number = 1252);

    int Number() const { return m_number; }
    std::string Decode(std::string_view bytes) const;
    // Empty optional when a character has no byte in this code page; the
    // offending character is then stored into *bad (as UTF-8) when given.
    std::optional<std::string> Encode(std::string_view utf8, std::string* bad = nullptr) const;
    // Encodes into out, which has room for capacity bytes, without building
    // a string. Returns the length the encoded text has (which may exceed
    // capacity: then only what fits was written), or nullopt as Encode.
    std::optional<size_t> EncodeInto(std::string_view utf8, char* out, size_t capacity,
                                     std::string* bad = nullptr) const;

    // Whether text is all ASCII, the same in every code page and in UTF-8.
    // Looked at eight bytes at a time; inline, since it is asked of every
    // value written and read.
    static bool IsAscii(std::string_view text) {
        size_t i = 0;
        for (; i + 8 <= text.size(); i += 8) {
            uint64_t word;
            std::memcpy(&word, text.data() + i, 8);
            if (word & 0x8080808080808080ULL) return false;
        }
        for (; i < text.size(); ++i)
            if (static_cast<unsigned char>(text[i]) >= 0x80) return false;
        return true;
    }

    // Code page announced by a dBASE language-driver byte (header byte 29);
    // 0 when the byte names none.
    static int FromLanguageDriver(uint8_t driver);
    static uint8_t LanguageDriverFor(int codePage);

private:
    // The byte for a code point of 0x80 and above; -1 when there is none.
    int ByteFor(uint32_t cp) const;

    int m_number;
    const uint16_t* m_high;  // code points of bytes 0x80-0xFF
};

}  // namespace store
