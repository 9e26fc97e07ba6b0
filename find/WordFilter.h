#pragma once
// The filter box's rule: an item is shown when every word typed occurs in
// some text field of it, in any order, letter case and accents aside
// ("cafe" finds "Café", "LODZ" finds "Łódź"). Words are separated by
// blanks; a word never matches across two fields.
//
// Records are read as stored: the fields' bytes go through one table of
// the table's code page (a byte to its letter without accent, in lower
// case), and the words, typed in UTF-8, are folded the same way. No
// widgets: the window, the command line and the tests share it.

#include <array>
#include <string>
#include <string_view>
#include <vector>

#include "RecordLayout.h"

namespace find {

// A character without its accent and in lower case: "É" -> "e", "Ł" -> "l",
// "Ж" -> "ж". Letters written as two ("Æ", "Œ") keep one letter, in lower case.
char32_t FoldCharacter(char32_t c);

// FoldCharacter of each byte of a single-byte code page, as a byte of the
// same code page (a folded character the page cannot hold leaves the byte).
std::array<unsigned char, 256> FoldTable(const store::CodePage& page);

class WordFilter {
public:
    WordFilter(const store::RecordLayout& layout, std::string_view typed);

    // No words typed: every record matches.
    bool Empty() const { return m_words.empty() && !m_impossible; }
    bool Matches(const store::RecordView& record) const;
    // The words as they are looked for: folded, in the code page.
    const std::vector<std::string>& Words() const { return m_words; }

private:
    std::array<unsigned char, 256> m_fold{};
    std::vector<int> m_fields;  // the character fields
    std::vector<std::string> m_words;
    bool m_impossible = false;  // a word the code page cannot hold: no record matches
};

}  // namespace find
