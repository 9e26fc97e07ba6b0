#pragma once
// Comma-separated values as spreadsheets and other programs write them
// (RFC 4180 and its everyday variants), beside the quoted format that export
// writes: a value may be quoted or not, a quote inside quotes is doubled, a
// quoted value may hold separators and line breaks, lines end in CR LF, LF
// or CR, and the separator is a comma, a semicolon or a tab. A value's place
// is decided by the separators alone, so a number without quotes between
// quoted texts stays in its own column.
//
// The reader streams the file through a buffer that holds one record at
// least; a value longer than 1 MB or a line of more than 1024 values is
// refused with its line, so that a damaged file costs neither memory nor
// time.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace exchange {

enum class CsvEncoding { Utf8, Windows1252 };

struct CsvDialect {
    char separator = ',';
    CsvEncoding encoding = CsvEncoding::Utf8;
    bool operator==(const CsvDialect&) const = default;
};

inline constexpr size_t kMaxCsvValueBytes = size_t(1) << 20;
inline constexpr size_t kMaxCsvValues = 1024;

// The separator a sample of a file's first lines most likely uses: of
// comma, semicolon and tab, the one found outside quotes on the most lines
// the same number of times (and at least once on the first), the comma
// when none is.
char GuessCsvSeparator(std::string_view sample);

// Separator and encoding of a file: UTF-8 when it starts with a byte-order
// mark or is well-formed UTF-8 throughout, Windows-1252 otherwise. Empty,
// with *error set, when the file cannot be read.
std::optional<CsvDialect> GuessCsvDialect(const std::string& path, std::string* error);

class CsvReader {
public:
    enum class Status { Record, EndOfFile, Failed };

    CsvReader() = default;
    ~CsvReader();
    CsvReader(const CsvReader&) = delete;
    CsvReader& operator=(const CsvReader&) = delete;

    // Only a regular file is read; false with *error set otherwise.
    bool Open(const std::string& path, const CsvDialect& dialect, std::string* error);

    // The next record's values in UTF-8. Lines with nothing on them yield
    // no record. Failed: the file cannot be read on, Error() says why and
    // where.
    Status Next(std::vector<std::string>& values);
    // The same, the values left where the reader holds them: valid until
    // the next call. A value as the file writes it is not copied at all.
    Status Next(std::vector<std::string_view>& values);

    const std::string& Error() const { return m_error; }
    // The line of the file on which the last record began, from 1.
    uint64_t RecordLine() const { return m_recordLine; }
    uint64_t BytesRead() const { return m_consumed; }
    uint64_t Size() const { return m_size; }

private:
    // Where a value of the record being read lies: in the buffer, or in
    // m_made when it had to be unquoted or decoded.
    struct Piece {
        size_t at = 0, size = 0;
        bool made = false;
    };
    enum class Scan { Record, NeedMore, Failed };

    int Peek();
    int Take();
    bool Fill();
    bool ReadMore();
    Status Fail(const std::string& why);
    Scan ScanRecord(size_t from);
    bool EndValue(size_t from, size_t to, bool made);
    bool EndOddValue(size_t from, size_t to, bool made);
    std::string ValuePlace(size_t before) const;

    int m_fd = -1;
    CsvDialect m_dialect;
    std::vector<char> m_buffer;
    size_t m_next = 0, m_end = 0;
    bool m_eof = false;
    bool m_readFailed = false;
    uint64_t m_consumed = 0, m_size = 0;
    uint64_t m_line = 1, m_recordLine = 1;
    std::string m_path, m_error;
    std::vector<Piece> m_pieces;   // the record being read, m_count of them
    size_t m_count = 0;
    std::string m_made;            // values unquoted or decoded
    std::vector<std::string_view> m_views;  // for the copying Next
    size_t m_scanned = 0;          // where the record ended in the buffer
    uint64_t m_scannedLines = 0;   // the line ends it holds
};

}  // namespace exchange
