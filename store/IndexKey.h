#pragma once
// How index keys compare and how a record's key is made, shared by the
// tags the engine keeps and by the check that compares an index file with
// the data it describes.

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

// An order of the file's records against the keys: every record once, keys
// ascending (equal keys by record number). Returns the first disagreement,
// or "".
std::string CheckKeyOrder(const DbfFile& file, const Expression& e, const std::vector<uint32_t>& order);

}  // namespace store
