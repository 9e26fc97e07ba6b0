#pragma once
// How index keys compare and how a record's key is made, shared by the
// tags the engine keeps and by the check that compares an index file with
// the data it describes.

#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "Expression.h"

namespace store {

// Compares two keys as dBASE does: by bytes, the shorter one padded with
// blanks. Negative, zero or positive.
int CompareKeys(std::string_view a, std::string_view b);

// The record's key under the expression; a malformed value gives the empty
// key, which sorts first, instead of breaking the index.
void KeyOf(const Expression& e, const RecordView& v, std::string& out);

class DbfFile;

// Offsets within a record of the cache lines holding the expression's key
// fields: what a pass over records in an order of their own asks for a few
// records ahead, since the processor's prefetching stops at every page.
std::vector<size_t> KeyFieldLines(const Expression& e, const RecordLayout& layout);

// Asks for the cache lines at record + each of lines. A loop of nothing but
// prefetches is one the compiler may take for having no effect and drop
// whole, so each address is also handed to an empty statement it must keep.
inline void AskForLines(const char* record, const std::vector<size_t>& lines) {
    for (size_t at : lines) {
        __builtin_prefetch(record + at);
        asm volatile("" : : "r"(record + at));
    }
}

// The keys of records from..to-1 in file order, side by side: what a
// build sorts and what a check compares in an index's order.
struct KeyRun {
    std::unique_ptr<char[]> block;  // keys all width bytes long
    std::string text;               // keys of differing lengths, at offsets
    std::vector<uint32_t> offsets;  // one more than the records; empty for a block
    size_t width = 0;
    size_t longest = 0;
    bool SameLength() const { return offsets.empty(); }
    const char* Base() const { return block ? block.get() : text.data(); }
    std::string_view At(uint32_t i) const {
        if (offsets.empty()) return {Base() + size_t(i) * width, width};
        return {text.data() + offsets[i], offsets[i + 1] - offsets[i]};
    }
    // Whether the a-th key of the run comes before the b-th: by key, equal
    // keys in record order.
    bool Before(uint32_t a, uint32_t b) const {
        const int c = offsets.empty() ? std::memcmp(Base() + size_t(a) * width, Base() + size_t(b) * width, width)
                                      : CompareKeys(At(a), At(b));
        return c < 0 || (c == 0 && a < b);
    }
};
// firstBytes, when given, receives each record's first byte (its deletion
// flag), one a record, in the same pass.
KeyRun KeysInFileOrder(const Expression& e, const DbfFile& file, uint32_t from, uint32_t to,
                       char* firstBytes = nullptr);

// An order of the file's records against the keys: every record once, keys
// ascending (equal keys by record number). Returns the first disagreement,
// or "".
// firstBytes, when given, receives every record's first byte once the keys
// were made (it stays empty when the order is refused before).
std::string CheckKeyOrder(const DbfFile& file, const Expression& e, const std::vector<uint32_t>& order,
                          std::vector<char>* firstBytes = nullptr);

}  // namespace store
