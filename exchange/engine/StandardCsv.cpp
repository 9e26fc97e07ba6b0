#include "StandardCsv.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cerrno>
#include <cstring>
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
size_t RunLength(const char* p, const char* end, char separator, bool quoted) {
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
    if (dialect.encoding == CsvEncoding::Utf8 && Peek() == 0xEF) {
        if (m_end - m_next >= 3 && std::memcmp(m_buffer.data() + m_next, "\xEF\xBB\xBF", 3) == 0)
            for (int i = 0; i < 3; ++i) Take();
    }
    return true;
}

bool CsvReader::Fill() {
    if (m_eof || m_readFailed) return false;
    // What is left moves to the front, so that a look three bytes ahead
    // never falls off the block's end.
    std::memmove(m_buffer.data(), m_buffer.data() + m_next, m_end - m_next);
    m_end -= m_next;
    m_next = 0;
    while (m_end < m_buffer.size()) {
        const ssize_t n = ::read(m_fd, m_buffer.data() + m_end, m_buffer.size() - m_end);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            m_readFailed = true;
            m_error = Why(m_path);
            return m_end > 0;
        }
        if (n == 0) {
            m_eof = true;
            break;
        }
        m_end += size_t(n);
        break;
    }
    return m_end > m_next;
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

// Values go into the caller's strings in place, so that a file read record
// after record allocates next to nothing.
bool CsvReader::EndValue(std::vector<std::string>& values, std::string& value) {
    if (m_count >= kMaxCsvValues) {
        m_error = "Line " + std::to_string(m_recordLine) + " holds more than " + std::to_string(kMaxCsvValues) + " values.";
        return false;
    }
    if (m_count == values.size()) values.emplace_back();
    std::string& out = values[m_count];
    if (m_dialect.encoding == CsvEncoding::Windows1252) {
        static const store::CodePage page(1252);
        out = page.Decode(value);
    } else {
        Utf8Check check;
        check.Feed(value.data(), value.size());
        if (!check.Valid()) {
            m_error = ValuePlace(m_count) + " is not UTF-8 text; read the file as Windows-1252.";
            return false;
        }
        out.swap(value);
    }
    ++m_count;
    value.clear();
    return true;
}

CsvReader::Status CsvReader::Next(std::vector<std::string>& values) {
    m_count = 0;
    const Status status = Read(values);
    values.resize(status == Status::Record ? m_count : 0);
    return status;
}

CsvReader::Status CsvReader::Read(std::vector<std::string>& values) {
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
    enum class State { Start, Plain, Quoted, AfterQuote } state = State::Start;
    const char separator = m_dialect.separator;
    std::string& value = m_value;
    value.clear();
    for (;;) {
        // Runs of ordinary characters go over whole; the rules below take
        // the characters that mean something, one at a time.
        if (state != State::AfterQuote && m_next < m_end) {
            const char* from = m_buffer.data() + m_next;
            const char* const end = m_buffer.data() + m_end;
            const char* const p = from + RunLength(from, end, separator, state == State::Quoted);
            if (state != State::Quoted && p > from) state = State::Plain;
            value.append(from, size_t(p - from));
            m_next += size_t(p - from);
            m_consumed += uint64_t(p - from);
            if (value.size() > kMaxCsvValueBytes) return Fail(ValuePlace(m_count) + " is longer than 1 MB.");
            if (m_next >= m_end) continue;  // the block ran out: read the next
            // A quoted value closed and followed by the separator, as most
            // are, ends here; a doubled quote inside goes on.
            if (state == State::Quoted && p + 1 < end && *p == '"' && (p[1] == separator || p[1] == '"')) {
                m_next += 2;
                m_consumed += 2;
                if (p[1] == '"') {
                    value += '"';
                    continue;
                }
                if (!EndValue(values, value)) return Status::Failed;
                state = State::Start;
                continue;
            }
        }
        const int c = Take();
        if (c < 0) {
            if (m_readFailed) return Status::Failed;
            if (state == State::Quoted)
                return Fail("The quoted value " + std::to_string(m_count + 1) + " of line " +
                            std::to_string(m_recordLine) + " is not closed before the end of the file.");
            return EndValue(values, value) ? Status::Record : Status::Failed;
        }
        const bool lineEnd = c == '\r' || c == '\n';
        const bool crlf = c == '\r' && Peek() == '\n';
        if (crlf) Take();
        if (lineEnd) ++m_line;
        if (state == State::Quoted) {
            // Line breaks inside quotes are the value's own, kept as written.
            if (c == '"') state = State::AfterQuote;
            else if (crlf) value += "\r\n";
            else value += char(c);
        } else if (c == separator || lineEnd) {
            if (!EndValue(values, value)) return Status::Failed;
            if (lineEnd) return Status::Record;
            state = State::Start;
        } else if (c == '"' && state == State::Start) {
            state = State::Quoted;
        } else if (c == '"' && state == State::AfterQuote) {
            value += '"';  // a doubled quote inside quotes
            state = State::Quoted;
        } else {
            // Text after a closing quote, or a quote inside a value that did
            // not begin with one, is kept as it stands.
            value += char(c);
            state = State::Plain;
        }
        if (value.size() > kMaxCsvValueBytes)
            return Fail(ValuePlace(m_count) + " is longer than 1 MB.");
    }
}

}  // namespace exchange
