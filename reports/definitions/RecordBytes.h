#pragma once
// Field-by-field access to a fixed-size record of the report files: little-
// endian integers, doubles and short texts (a length byte followed by the
// characters, Windows-1252 on disk). Every access is checked against the
// record's size, so a record can never be read or written past its end.

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace reports::detail {

class RecordReader {
public:
    explicit RecordReader(std::span<const uint8_t> bytes) : m_bytes(bytes) {}

    uint8_t Byte(size_t offset) const;
    bool Flag(size_t offset) const { return Byte(offset) != 0; }
    int16_t Int16(size_t offset) const;
    uint32_t UInt32(size_t offset) const;
    double Real(size_t offset) const;
    // A short text of the given capacity at offset; a length byte above the
    // capacity is taken as the capacity and reported through *cut.
    std::string ShortText(size_t offset, size_t capacity, bool* cut = nullptr) const;

private:
    std::span<const uint8_t> m_bytes;
};

class RecordWriter {
public:
    explicit RecordWriter(size_t size) : m_bytes(size, 0) {}

    void Byte(size_t offset, uint8_t value);
    void Flag(size_t offset, bool value) { Byte(offset, value ? 1 : 0); }
    void Int16(size_t offset, int value);  // clamped to the int16 range
    void UInt32(size_t offset, uint32_t value);
    void Real(size_t offset, double value);
    // Cut to the capacity; the bytes after the text stay zero.
    void ShortText(size_t offset, size_t capacity, std::string_view utf8);

    std::vector<uint8_t>& Bytes() { return m_bytes; }

private:
    void Check(size_t offset, size_t size) const;
    std::vector<uint8_t> m_bytes;
};

// Windows-1252 bytes of a UTF-8 text, a character the code page lacks
// becoming "?".
std::string ToFileText(std::string_view utf8);
std::string FromFileText(std::string_view bytes);

}  // namespace reports::detail
