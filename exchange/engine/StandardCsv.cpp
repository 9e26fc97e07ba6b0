#include "StandardCsv.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cerrno>
#include <cstring>
#include <span>
#include <sys/stat.h>
#include <unistd.h>

#include "CodePage.h"
#include "DelimitedText.h"
#include "FileSystem.h"

namespace exchange {

namespace {

constexpr size_t kBlock = 256 * 1024;
constexpr size_t kSampleBytes = 64 * 1024;
constexpr int kSampleLines = 20;
constexpr std::array<char, 3> kSeparators = {',', ';', '\t'};
using SeparatorCounts = std::array<int, kSeparators.size()>;

// Bytes equal to b in word, flagged in their high bit. The lowest flag is
// exact (a false flag can only follow a true one).
inline uint64_t Equal(uint64_t word, unsigned char b) {
    constexpr uint64_t kOnes = 0x0101010101010101ULL;
    const uint64_t x = word ^ (kOnes * b);
    return (x - kOnes) & ~x & 0x8080808080808080ULL;
}

// How many bytes from p on go into a value as they stand: none is a double
// quote, a control character or (outside quotes) the separator. Looked at
// eight at a time; a control character other than a line break only ends
// the run early, the rules one character at a time take it.
[[gnu::always_inline]] inline size_t RunLength(const char* p, const char* end, char separator, bool quoted) {
    const char* const from = p;
    while (end - p >= 8) {
        uint64_t word;
        std::memcpy(&word, p, 8);
        if constexpr (std::endian::native == std::endian::big) word = __builtin_bswap64(word);
        const uint64_t control = word & 0xE0E0E0E0E0E0E0E0ULL;  // zero for bytes below 32
        uint64_t flags = ((control - 0x0101010101010101ULL) & ~control & 0x8080808080808080ULL) | Equal(word, '"');
        if (!quoted) flags |= Equal(word, static_cast<unsigned char>(separator));
        if (flags) return size_t(p - from) + size_t(std::countr_zero(flags)) / 8;
        p += 8;
    }
    if (quoted)
        while (p < end && *p != '"' && *p != '\r' && *p != '\n') ++p;
    else
        while (p < end && *p != separator && *p != '"' && *p != '\r' && *p != '\n') ++p;
    return size_t(p - from);
}

std::string Why(const std::string& path) {
    return "The file \"" + path + "\" cannot be read: " + std::strerror(errno) + ".";
}

}  // namespace

char GuessCsvSeparator(std::string_view sample) {
    // Separators outside quotes on each of the first lines.
    std::vector<SeparatorCounts> lines;
    SeparatorCounts counts{};
    bool quoted = false, any = false;
    for (size_t i = 0; i < sample.size() && int(lines.size()) < kSampleLines; ++i) {
        const char c = sample[i];
        if (c == '"') quoted = !quoted;
        if (quoted) continue;
        if (c == '\r' || c == '\n') {
            if (c == '\r' && i + 1 < sample.size() && sample[i + 1] == '\n') ++i;
            if (any) lines.push_back(counts);
            counts = {};
            any = false;
            continue;
        }
        any = true;
        for (size_t s = 0; s < kSeparators.size(); ++s)
            if (c == kSeparators[s]) ++counts[s];
    }
    if (any && int(lines.size()) < kSampleLines) lines.push_back(counts);
    if (lines.empty()) return ',';
    int best = -1, bestAgreeing = 0;
    for (size_t s = 0; s < kSeparators.size(); ++s) {
        const int first = lines.front()[s];
        if (first == 0) continue;
        const int agreeing = int(std::count_if(lines.begin(), lines.end(),
                                               [&](const SeparatorCounts& l) { return l[s] == first; }));
        if (best < 0 || agreeing > bestAgreeing ||
            (agreeing == bestAgreeing && first > lines.front()[size_t(best)])) {
            best = int(s);
            bestAgreeing = agreeing;
        }
    }
    return best < 0 ? ',' : kSeparators[size_t(best)];
}

std::optional<CsvDialect> GuessCsvDialect(const std::string& path, std::string* error) {
    const int fd = files::OpenRegularForReading(path);
    if (fd < 0) {
        if (error) *error = errno == EINVAL ? "The file \"" + path + "\" is not a regular file and cannot be read." : Why(path);
        return std::nullopt;
    }
    std::string sample(kSampleBytes, '\0');
    size_t got = 0;
    while (got < sample.size()) {
        const ssize_t n = ::read(fd, sample.data() + got, sample.size() - got);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            if (error) *error = Why(path);
            ::close(fd);
            return std::nullopt;
        }
        if (n == 0) break;
        got += size_t(n);
    }
    ::close(fd);
    sample.resize(got);
    CsvDialect dialect;
    const bool bom = sample.rfind("\xEF\xBB\xBF", 0) == 0;
    dialect.encoding = bom || FileIsUtf8(path) ? CsvEncoding::Utf8 : CsvEncoding::Windows1252;
    dialect.separator = GuessCsvSeparator(std::string_view(sample).substr(bom ? 3 : 0));
    return dialect;
}

CsvReader::~CsvReader() {
    if (m_fd >= 0) ::close(m_fd);
}

bool CsvReader::Open(const std::string& path, const CsvDialect& dialect, std::string* error) {
    m_path = path;
    m_dialect = dialect;
    m_fd = files::OpenRegularForReading(path);
    struct stat st{};
    if (m_fd < 0 || ::fstat(m_fd, &st) != 0) {
        if (error) *error = errno == EINVAL ? "The file \"" + path + "\" is not a regular file and cannot be read." : Why(path);
        return false;
    }
    m_size = uint64_t(st.st_size);
    m_buffer.resize(kBlock);
    m_pieces.resize(kMaxCsvValues);
    if (dialect.encoding == CsvEncoding::Utf8 && Peek() == 0xEF) {
        if (m_end - m_next >= 3 && std::memcmp(m_buffer.data() + m_next, "\xEF\xBB\xBF", 3) == 0)
            for (int i = 0; i < 3; ++i) Take();
    }
    return true;
}

bool CsvReader::Fill() {
    if (m_eof || m_readFailed) return false;
    ReadMore();
    return m_end > m_next;
}

// What is left of the buffer from m_next on moves to the front (a record
// that fills the whole buffer makes it grow), and the file is read on.
bool CsvReader::ReadMore() {
    if (m_next > 0) {
        std::memmove(m_buffer.data(), m_buffer.data() + m_next, m_end - m_next);
        m_end -= m_next;
        m_next = 0;
    } else if (m_end == m_buffer.size()) {
        m_buffer.resize(m_buffer.size() * 2);
    }
    for (;;) {
        const ssize_t n = ::read(m_fd, m_buffer.data() + m_end, m_buffer.size() - m_end);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            m_readFailed = true;
            m_error = Why(m_path);
            return false;
        }
        if (n == 0) m_eof = true;
        m_end += size_t(n);
        return true;
    }
}

int CsvReader::Peek() {
    if (m_next >= m_end && !Fill()) return -1;
    return static_cast<unsigned char>(m_buffer[m_next]);
}

int CsvReader::Take() {
    const int c = Peek();
    if (c >= 0) {
        ++m_next;
        ++m_consumed;
    }
    return c;
}

CsvReader::Status CsvReader::Fail(const std::string& why) {
    m_error = why;
    return Status::Failed;
}

// Where the value after the given number of them stands, for a message;
// made only when one is needed, never for every value read.
std::string CsvReader::ValuePlace(size_t before) const {
    return "Value " + std::to_string(before + 1) + " of line " + std::to_string(m_recordLine);
}

// A value ends: [from, to) of the buffer, or of m_made when made. Checked
// and, for Windows-1252, decoded. False, with the error set, when the
// record cannot be read.
bool CsvReader::EndValue(size_t from, size_t to, bool made) {
    if (m_count < kMaxCsvValues && to - from <= kMaxCsvValueBytes &&
        store::CodePage::IsAscii({(made ? m_made.data() : m_buffer.data()) + from, to - from})) [[likely]] {
        m_pieces[m_count++] = {from, to - from, made};
        return true;
    }
    return EndOddValue(from, to, made);
}

// A value that is not plain ASCII within the limits.
bool CsvReader::EndOddValue(size_t from, size_t to, bool made) {
    if (m_count >= kMaxCsvValues) {
        m_error = "Line " + std::to_string(m_recordLine) + " holds more than " + std::to_string(kMaxCsvValues) + " values.";
        return false;
    }
    if (to - from > kMaxCsvValueBytes) {
        m_error = ValuePlace(m_count) + " is longer than 1 MB.";
        return false;
    }
    const char* const bytes = (made ? m_made.data() : m_buffer.data()) + from;
    if (!store::CodePage::IsAscii({bytes, to - from})) {
        if (m_dialect.encoding == CsvEncoding::Windows1252) {
            static const store::CodePage page(1252);
            std::string decoded = page.Decode(std::string_view(bytes, to - from));
            if (made) m_made.resize(from);
            from = m_made.size();
            m_made += decoded;
            to = m_made.size();
            made = true;
        } else {
            Utf8Check check;
            check.Feed(bytes, to - from);
            if (!check.Valid()) {
                m_error = ValuePlace(m_count) + " is not UTF-8 text; read the file as Windows-1252.";
                return false;
            }
        }
    }
    m_pieces[m_count++] = {from, to - from, made};
    return true;
}

// Reads the record that begins at from, if the buffer holds all of it:
// NeedMore when it runs past the buffer's end before the file's. Nothing
// is taken from the buffer here; a record read again from its start once
// more of the file is in gives the same values.
CsvReader::Scan CsvReader::ScanRecord(size_t from) {
    m_count = 0;
    m_made.clear();
    m_scannedLines = 0;
    const char* const b = m_buffer.data();
    const char* const end = b + m_end;
    const char separator = m_dialect.separator;
    // More of the file is needed, unless the value read so far is too long already.
    auto more = [&](size_t sofar) {
        if (sofar <= kMaxCsvValueBytes) return Scan::NeedMore;
        m_error = ValuePlace(m_count) + " is longer than 1 MB.";
        return Scan::Failed;
    };
    // Passes over an unquoted value's characters (a quote among them is
    // kept as it stands) up to the separator, a line end or the buffer's end.
    auto plain = [&](const char* p) {
        for (;;) {
            p += RunLength(p, end, separator, false);
            if (p == end || *p == separator || *p == '\r' || *p == '\n') return p;
            ++p;
        }
    };
    const char* p = b + from;
    for (;;) {
        if (p < end && *p == '"') {
            // Line breaks inside quotes are the value's own, kept as written;
            // a doubled quote is one, so such a value is put together in m_made.
            const char* start = ++p;
            bool made = false;
            size_t madeFrom = 0;
            auto sofar = [&] { return (made ? m_made.size() - madeFrom : 0) + size_t(p - start); };
            for (;;) {
                p += RunLength(p, end, separator, true);
                if (p == end) {
                    if (!m_eof) return more(sofar());
                    m_error = "The quoted value " + std::to_string(m_count + 1) + " of line " +
                              std::to_string(m_recordLine) + " is not closed before the end of the file.";
                    return Scan::Failed;
                }
                if (*p == '"') {
                    // (At the buffer's end this closes the value for now;
                    // what follows, read in, decides.)
                    if (p + 1 == end || p[1] != '"') break;
                    if (!made) {
                        made = true;
                        madeFrom = m_made.size();
                    }
                    m_made.append(start, size_t(p + 1 - start));
                    p += 2;
                    start = p;
                    continue;
                }
                if (*p == '\r' || *p == '\n') {
                    if (*p == '\r' && p + 1 == end && !m_eof) return more(sofar());
                    p += *p == '\r' && p + 1 < end && p[1] == '\n' ? 2 : 1;
                    ++m_scannedLines;
                    continue;
                }
                ++p;  // another control character
            }
            // Text after the closing quote is kept with the value.
            const char* const closing = p;
            const char* const after = p + 1;
            p = after == end || *after == separator || *after == '\r' || *after == '\n' ? after : plain(after);
            if (p == end && !m_eof) return more(sofar() - 1);  // the closing quote aside
            if (made || p > after) {
                if (!made) madeFrom = m_made.size();
                m_made.append(start, size_t(closing - start));
                m_made.append(after, size_t(p - after));
                if (!EndValue(madeFrom, m_made.size(), true)) return Scan::Failed;
            } else if (!EndValue(size_t(start - b), size_t(closing - b), false)) {
                return Scan::Failed;
            }
        } else {
            const char* const start = p;
            p = plain(p);
            if (p == end && !m_eof) return more(size_t(p - start));
            if (!EndValue(size_t(start - b), size_t(p - b), false)) return Scan::Failed;
        }
        if (p == end) {
            m_scanned = m_end;
            return Scan::Record;
        }
        if (*p == separator) {
            ++p;
            continue;
        }
        if (*p == '\r' && p + 1 == end && !m_eof) return more(0);
        p += *p == '\r' && p + 1 < end && p[1] == '\n' ? 2 : 1;
        ++m_scannedLines;
        m_scanned = size_t(p - b);
        return Scan::Record;
    }
}

CsvReader::Status CsvReader::Next(std::vector<std::string>& values) {
    const Status status = Next(m_views);
    values.resize(m_views.size());
    for (size_t i = 0; i < m_views.size(); ++i) values[i].assign(m_views[i]);
    return status;
}

CsvReader::Status CsvReader::Next(std::vector<std::string_view>& values) {
    values.clear();
    if (m_fd < 0) return Fail("No file is open.");
    if (!m_error.empty()) return Status::Failed;
    // Lines with nothing on them hold no record.
    for (int c = Peek(); c == '\r' || c == '\n'; c = Peek()) {
        Take();
        if (c == '\r' && Peek() == '\n') Take();
        ++m_line;
    }
    if (Peek() < 0) return m_readFailed ? Status::Failed : Status::EndOfFile;
    m_recordLine = m_line;
    for (;;) {
        const Scan scan = ScanRecord(m_next);
        if (scan == Scan::Failed) return Status::Failed;
        if (scan == Scan::Record) break;
        if (!ReadMore()) return Status::Failed;
    }
    m_consumed += m_scanned - m_next;
    m_next = m_scanned;
    m_line += m_scannedLines;
    values.reserve(m_count);
    for (const Piece& piece : std::span(m_pieces.data(), m_count))
        values.emplace_back((piece.made ? m_made.data() : m_buffer.data()) + piece.at, piece.size);
    return Status::Record;
}

}  // namespace exchange
