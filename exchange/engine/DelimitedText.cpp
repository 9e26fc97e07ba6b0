#include "DelimitedText.h"

#include "FileSystem.h"

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "CodePage.h"
#include "FileSystem.h"

namespace exchange {
namespace {

constexpr size_t kReadBlock = 256 * 1024;

bool NeedsCare(char c) { return c == '"' || static_cast<unsigned char>(c) < 32; }

bool Blankish(char c) { return c == ' ' || static_cast<unsigned char>(c) < 32; }

// How many bytes from the start are neither a double quote nor a control
// character, looked at eight at a time. The lowest byte a word flags is
// exact (a false flag can only follow a true one), so the run's end is
// found without stepping back over the word.
size_t PlainLength(const char* p, size_t n) {
    constexpr uint64_t kOnes = 0x0101010101010101ULL;
    constexpr uint64_t kHighs = 0x8080808080808080ULL;
    size_t i = 0;
    while (i + 8 <= n) {
        uint64_t word;
        std::memcpy(&word, p + i, 8);
        if constexpr (std::endian::native == std::endian::big) word = __builtin_bswap64(word);
        const uint64_t control = word & 0xE0E0E0E0E0E0E0E0ULL;  // zero for bytes below 32
        const uint64_t quote = word ^ 0x2222222222222222ULL;     // zero for '"'
        const uint64_t flags = ((control - kOnes) & ~control & kHighs) | ((quote - kOnes) & ~quote & kHighs);
        if (flags) return i + size_t(std::countr_zero(flags)) / 8;
        i += 8;
    }
    while (i < n && !NeedsCare(p[i])) ++i;
    return i;
}

// Characters in UTF-8 bytes: every byte that does not continue a sequence.
size_t CharCount(std::string_view text) {
    size_t count = 0;
    for (char c : text) count += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    return count;
}

std::string SystemError(const std::string& path) {
    return "The file \"" + path + "\" cannot be read: " + std::strerror(errno) + ".";
}

}  // namespace

void AppendDelimitedValue(std::string& line, std::string_view value, bool first) {
    size_t begin = 0, end = value.size();
    while (begin < end && Blankish(value[begin])) ++begin;
    while (end > begin && Blankish(value[end - 1])) --end;
    if (!first) line += ',';
    line += '"';
    for (size_t i = begin; i < end;) {
        const size_t plain = PlainLength(value.data() + i, end - i);
        line.append(value.data() + i, plain);
        i += plain;
        if (i == end) break;
        line += value[i] == '"' ? std::string_view("\"\"") : std::string_view(" ");
        ++i;
    }
    line += '"';
}

void Utf8Check::Feed(const char* data, size_t size) {
    if (!m_valid) return;
    size_t i = 0;
    while (i < size) {
        if (m_pending == 0) {
            // Plain ASCII eight bytes at a time.
            while (i + 8 <= size) {
                uint64_t word;
                std::memcpy(&word, data + i, 8);
                if (word & 0x8080808080808080ULL) break;
                i += 8;
            }
            if (i >= size) break;
        }
        const auto c = static_cast<unsigned char>(data[i++]);
        if (m_pending > 0) {
            if (c < m_low || c > m_high) {
                m_valid = false;
                return;
            }
            m_low = 0x80;
            m_high = 0xBF;
            --m_pending;
            continue;
        }
        if (c < 0x80) continue;
        if (c >= 0xC2 && c <= 0xDF) {
            m_pending = 1;
        } else if (c >= 0xE0 && c <= 0xEF) {
            m_pending = 2;
            if (c == 0xE0) m_low = 0xA0;       // no overlong forms
            if (c == 0xED) m_high = 0x9F;      // no surrogates
        } else if (c >= 0xF0 && c <= 0xF4) {
            m_pending = 3;
            if (c == 0xF0) m_low = 0x90;
            if (c == 0xF4) m_high = 0x8F;      // nothing beyond U+10FFFF
        } else {
            m_valid = false;
            return;
        }
    }
}

bool FileIsUtf8(const std::string& path) {
    const int fd = files::OpenRegularForReading(path);
    if (fd < 0) return false;
    std::vector<char> block(1024 * 1024);
    Utf8Check check;
    bool ok = true;
    for (;;) {
        const ssize_t n = ::read(fd, block.data(), block.size());
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            ok = false;
            break;
        }
        if (n == 0) break;
        check.Feed(block.data(), size_t(n));
        if (check.Broken()) break;
    }
    ::close(fd);
    return ok && check.Valid();
}

DelimitedReader::~DelimitedReader() {
    if (m_fd >= 0) ::close(m_fd);
}

bool DelimitedReader::Open(const std::string& path, std::string* error) {
    // Only a regular file: a pipe or a device would block the reader for
    // good, or never end.
    m_fd = files::OpenRegularForReading(path);
    struct stat st{};
    if (m_fd < 0 || ::fstat(m_fd, &st) != 0) {
        if (errno == EINVAL && ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) errno = EISDIR;
        if (error) *error = errno == EINVAL ? "The file \"" + path + "\" is not a regular file and cannot be read."
                                            : SystemError(path);
        return false;
    }
    m_size = uint64_t(st.st_size);
    m_buffer.resize(kReadBlock);
    if (Peek() == 0xEF) {
        Fill();
        if (m_end - m_next >= 3 && std::memcmp(m_buffer.data() + m_next, "\xEF\xBB\xBF", 3) == 0) {
            Take();
            Take();
            Take();
        }
    }
    if (!m_error.empty()) {
        if (error) *error = m_error;
        return false;
    }
    return true;
}

bool DelimitedReader::Fill() {
    if (m_eof) return false;
    // Keep what is not read yet at the front (at most a few bytes).
    const size_t left = m_end - m_next;
    if (left > 0 && m_next > 0) std::memmove(m_buffer.data(), m_buffer.data() + m_next, left);
    m_next = 0;
    m_end = left;
    while (m_end < m_buffer.size()) {
        const ssize_t n = ::read(m_fd, m_buffer.data() + m_end, m_buffer.size() - m_end);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            m_error = std::string("The file cannot be read: ") + std::strerror(errno) + ".";
            m_eof = true;
            break;
        }
        if (n == 0) {
            m_eof = true;
            break;
        }
        m_end += size_t(n);
        if (m_end - left >= 4096) break;  // enough for now; a pipe or slow disk need not fill the block
    }
    return m_end > m_next;
}

int DelimitedReader::Peek() {
    if (m_next >= m_end && !Fill()) return -1;
    return static_cast<unsigned char>(m_buffer[m_next]);
}

bool DelimitedReader::AtEnd() { return Peek() < 0; }

void DelimitedReader::TakeLineEnd() {
    const int c = Peek();
    if (c != '\r' && c != '\n') return;
    Take();
    if (c == '\r' && Peek() == '\n') Take();
    ++m_line;
}

std::string DelimitedReader::Decoded(const std::string& raw) const {
    if (m_encoding == Encoding::Utf8) return raw;
    static const store::CodePage kWindows1252(1252);
    return kWindows1252.Decode(raw);
}

DelimitedReader::Result DelimitedReader::ReadRecord(size_t maxValues, std::vector<std::string>& values) {
    Result result;
    if (Peek() < 0) {
        values.clear();
        result.status = m_error.empty() ? Status::EndOfFile : Status::ReadError;
        return result;
    }
    m_recordLine = m_line;
    const bool utf8 = m_encoding == Encoding::Utf8;
    // The strings of the previous record are written over, keeping their room.
    size_t used = 0;
    auto stop = [&](Status status, int field) {
        values.resize(used);
        result.status = status;
        result.field = field;
        return result;
    };
    for (;;) {
        if (used >= maxValues) return stop(Status::TooMany, int(maxValues) + 1);
        if (used == values.size()) values.emplace_back();
        std::string& raw = utf8 ? values[used] : m_raw;
        raw.clear();
        ++used;
        const int field = int(used);
        // Never more characters than bytes: they are counted only when the
        // bytes pass the limit.
        auto tooLong = [&](std::string_view more) {
            const size_t bytes = raw.size() + more.size();
            return bytes > kMaxValueLength && (!utf8 || CharCount(raw) + CharCount(more) > kMaxValueLength);
        };
        bool open = false;
        bool lineEnded = false;
        bool afterQuote = false;
        bool beforeQuote = false;  // characters came before the opening quote
        // Most values are a quote, plain characters, a quote and a comma or
        // the line end, all in the buffer: they are taken in one step.
        // Anything else (a doubled quote, a control character, blanks after
        // the closing quote, a value or line end cut by the buffer's end, a
        // value of more bytes than the limit) goes the long way below,
        // from the value's first byte.
        if (const size_t ahead = m_end - m_next; ahead >= 3 && m_buffer[m_next] == '"') {
            const char* text = m_buffer.data() + m_next + 1;
            // A run past the limit is cut there: it goes the long way anyway.
            const size_t plain = PlainLength(text, std::min(ahead - 1, kMaxValueLength + 1));
            // text[plain] is the closing quote; the byte after it must be
            // in the buffer, and with CR the one after that too.
            if (plain <= kMaxValueLength && plain + 2 < ahead && text[plain] == '"') {
                const char after = text[plain + 1];
                size_t taken = 0;
                if (after == ',' || after == '\n') {
                    taken = plain + 3;
                } else if (after == '\r' && plain + 3 < ahead) {
                    taken = text[plain + 2] == '\n' ? plain + 4 : plain + 3;
                }
                if (taken > 0) {
                    raw.assign(text, plain);
                    m_next += taken;
                    m_consumed += taken;
                    if (!utf8) values[used - 1] = Decoded(m_raw);
                    if (after == ',') continue;
                    ++m_line;
                    result.endedAfterQuote = true;
                    break;
                }
            }
        }
        for (;;) {
            if (m_next >= m_end && !Fill()) {
                lineEnded = true;
                break;
            }
            // Ordinary characters go over in one piece.
            const char* run = m_buffer.data() + m_next;
            const size_t plain = PlainLength(run, m_end - m_next);
            if (plain > 0) {
                beforeQuote = beforeQuote || !open;
                if (tooLong(std::string_view(run, plain))) return stop(Status::TooLong, field);
                raw.append(run, plain);
                m_next += plain;
                m_consumed += plain;
                continue;
            }
            const int c = static_cast<unsigned char>(*run);
            if (c == '\n' || c == '\r') {
                TakeLineEnd();
                lineEnded = true;
                break;
            }
            Take();
            if (c != '"') continue;  // other control characters are dropped
            if (!open) {
                open = true;
                continue;
            }
            if (Peek() == '"') {  // a doubled quote stands for one
                Take();
                if (tooLong("\"")) return stop(Status::TooLong, field);
                raw += '"';
                continue;
            }
            // The closing quote. Blanks and control characters between it
            // and the comma or line end belong to no value.
            int n = Peek();
            while (n >= 0 && n != '\n' && n != '\r' && Blankish(char(n))) {
                Take();
                n = Peek();
            }
            afterQuote = true;
            if (n == ',') {
                Take();
            } else if (n < 0 || n == '\n' || n == '\r') {
                TakeLineEnd();
                lineEnded = true;
            } else {
                return stop(Status::StrayQuote, field);
            }
            break;
        }
        if (!m_error.empty()) return stop(Status::ReadError, 0);
        // A value is in the format when it opened with its first character
        // and closed before the comma or the line end.
        if (beforeQuote || !afterQuote) result.offFormat = true;
        if (!utf8) values[used - 1] = Decoded(m_raw);
        if (lineEnded) {
            result.endedAfterQuote = afterQuote;
            break;
        }
    }
    values.resize(used);
    result.status = used == 1 && values[0].empty() ? Status::NoRecord : Status::Record;
    // An empty line is no record, not a fault.
    if (result.status == Status::NoRecord && !result.endedAfterQuote) result.offFormat = false;
    return result;
}

}  // namespace exchange
