#include "RecordBytes.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <stdexcept>

#include "CodePage.h"

namespace reports::detail {
namespace {

const store::CodePage& FileCodePage() {
    static const store::CodePage page(1252);
    return page;
}

void CheckRange(size_t total, size_t offset, size_t size) {
    if (offset > total || size > total - offset) throw std::out_of_range("report record field beyond the record");
}

// Length of the UTF-8 sequence starting with this byte (1 for a stray byte).
size_t SequenceLength(unsigned char lead) {
    if (lead >= 0xF0 && lead < 0xF8) return 4;
    if (lead >= 0xE0) return lead < 0xF0 ? 3 : 1;
    if (lead >= 0xC0) return 2;
    return 1;
}

}  // namespace

uint8_t RecordReader::Byte(size_t offset) const {
    CheckRange(m_bytes.size(), offset, 1);
    return m_bytes[offset];
}

int16_t RecordReader::Int16(size_t offset) const {
    CheckRange(m_bytes.size(), offset, 2);
    return int16_t(uint16_t(m_bytes[offset] | (m_bytes[offset + 1] << 8)));
}

uint32_t RecordReader::UInt32(size_t offset) const {
    CheckRange(m_bytes.size(), offset, 4);
    uint32_t v = 0;
    for (int i = 3; i >= 0; --i) v = (v << 8) | m_bytes[offset + size_t(i)];
    return v;
}

double RecordReader::Real(size_t offset) const {
    CheckRange(m_bytes.size(), offset, 8);
    uint64_t v = 0;
    for (int i = 7; i >= 0; --i) v = (v << 8) | m_bytes[offset + size_t(i)];
    return std::bit_cast<double>(v);
}

std::string RecordReader::ShortText(size_t offset, size_t capacity, bool* cut) const {
    CheckRange(m_bytes.size(), offset, capacity + 1);
    size_t length = m_bytes[offset];
    if (length > capacity) {
        length = capacity;
        if (cut) *cut = true;
    }
    const auto* start = reinterpret_cast<const char*>(m_bytes.data() + offset + 1);
    return FromFileText(std::string_view(start, length));
}

void RecordWriter::Check(size_t offset, size_t size) const { CheckRange(m_bytes.size(), offset, size); }

void RecordWriter::Byte(size_t offset, uint8_t value) {
    Check(offset, 1);
    m_bytes[offset] = value;
}

void RecordWriter::Int16(size_t offset, int value) {
    Check(offset, 2);
    const auto v = uint16_t(int16_t(std::clamp(value, -32768, 32767)));
    m_bytes[offset] = uint8_t(v & 0xFF);
    m_bytes[offset + 1] = uint8_t(v >> 8);
}

void RecordWriter::UInt32(size_t offset, uint32_t value) {
    Check(offset, 4);
    for (size_t i = 0; i < 4; ++i) m_bytes[offset + i] = uint8_t(value >> (8 * i));
}

void RecordWriter::Real(size_t offset, double value) {
    Check(offset, 8);
    const auto v = std::bit_cast<uint64_t>(value);
    for (size_t i = 0; i < 8; ++i) m_bytes[offset + i] = uint8_t(v >> (8 * i));
}

void RecordWriter::ShortText(size_t offset, size_t capacity, std::string_view utf8) {
    Check(offset, capacity + 1);
    std::string bytes = ToFileText(utf8);
    if (bytes.size() > capacity) bytes.resize(capacity);
    m_bytes[offset] = uint8_t(bytes.size());
    std::memcpy(m_bytes.data() + offset + 1, bytes.data(), bytes.size());
}

std::string ToFileText(std::string_view utf8) {
    if (auto whole = FileCodePage().Encode(utf8)) return *whole;
    std::string out;
    for (size_t i = 0; i < utf8.size();) {
        const size_t len = std::min(SequenceLength(static_cast<unsigned char>(utf8[i])), utf8.size() - i);
        auto one = FileCodePage().Encode(utf8.substr(i, len));
        out += one ? *one : std::string("?");
        i += len;
    }
    return out;
}

std::string FromFileText(std::string_view bytes) { return FileCodePage().Decode(bytes); }

}  // namespace reports::detail
