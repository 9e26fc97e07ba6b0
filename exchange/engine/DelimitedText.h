#pragma once
// The comma-delimited text format that export writes and import reads: one
// line per record ended by CR LF, every value in double quotes, a double
// quote inside a value doubled, values separated by a single comma.
//
// The reader takes the file one character at a time by the import's rules:
// control characters are dropped, a comma ends a value only right after its
// closing quote, a value ends at the end of its line. It streams the file
// through a fixed buffer and keeps at most one record of at most 32 values
// of at most 255 characters, so neither a huge file nor a huge line costs
// memory.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace exchange {

inline constexpr size_t kMaxValueLength = 255;  // characters
inline constexpr size_t kMaxSourceFields = 32;

// Appends one value to a line: a comma first unless it is the line's first
// value, then the value in quotes with its quotes doubled and the blanks at
// both ends removed. Line breaks and other control characters inside the
// value become blanks, so that a value never splits its line.
void AppendDelimitedValue(std::string& line, std::string_view value, bool first);

// Checks bytes for well-formed UTF-8 as they arrive in pieces.
class Utf8Check {
public:
    void Feed(const char* data, size_t size);
    // True when everything fed so far is complete, well-formed UTF-8.
    bool Valid() const { return m_valid && m_pending == 0; }
    // True once a byte was seen that no further bytes can make right (a
    // sequence cut at the end of a piece is not broken yet).
    bool Broken() const { return !m_valid; }

private:
    bool m_valid = true;
    int m_pending = 0;          // continuation bytes still expected
    unsigned char m_low = 0x80;  // allowed range of the next continuation byte
    unsigned char m_high = 0xBF;
};

// True when the whole file is UTF-8 (a leading byte-order mark allowed);
// false when it is not or cannot be read.
bool FileIsUtf8(const std::string& path);

class DelimitedReader {
public:
    enum class Encoding { Utf8, Windows1252 };

    enum class Status {
        Record,      // values were read; the line yields a record
        NoRecord,    // an empty line, or one whose only value is empty
        EndOfFile,   // nothing was left to read
        TooLong,     // a value passed 255 characters
        TooMany,     // the line holds more values than allowed
        StrayQuote,  // a closing quote followed by something other than a comma or the line end
        ReadError,
    };

    struct Result {
        Status status = Status::EndOfFile;
        int field = 0;                  // 1-based value the error is in
        bool endedAfterQuote = false;   // the line ended right after a closing quote
        // A value of the line did not follow the format, though the rules
        // still read it: characters before its opening quote (a value
        // without quotes, a comma outside them), or the line ended while it
        // was open (a line break inside quotes). Its values may have moved
        // to other fields.
        bool offFormat = false;
    };

    DelimitedReader() = default;
    ~DelimitedReader();
    DelimitedReader(const DelimitedReader&) = delete;
    DelimitedReader& operator=(const DelimitedReader&) = delete;

    // Opens the file; false with *error set when it cannot be read. A
    // leading UTF-8 byte-order mark is skipped.
    bool Open(const std::string& path, std::string* error);
    void SetEncoding(Encoding encoding) { m_encoding = encoding; }

    // Reads the next record into values (as UTF-8), at most maxValues of
    // them. Reading starts where the previous record stopped.
    Result ReadRecord(size_t maxValues, std::vector<std::string>& values);

    bool AtEnd();
    // Line number (1-based) of the record read last.
    uint64_t Line() const { return m_recordLine; }
    uint64_t Position() const { return m_consumed; }
    uint64_t Size() const { return m_size; }
    const std::string& ErrorText() const { return m_error; }

private:
    // Next byte without taking it; -1 at the end of the file (or on an error).
    int Peek();
    void Take() {
        ++m_next;
        ++m_consumed;
    }
    bool Fill();
    // Takes a line end (CR LF, LF or a lone CR) at the reading position.
    void TakeLineEnd();
    std::string Decoded(const std::string& raw) const;

    int m_fd = -1;
    Encoding m_encoding = Encoding::Utf8;
    std::vector<char> m_buffer;
    size_t m_next = 0;
    size_t m_end = 0;
    bool m_eof = false;
    uint64_t m_consumed = 0;
    uint64_t m_size = 0;
    uint64_t m_line = 1;        // line the reading position is on
    uint64_t m_recordLine = 0;
    std::string m_raw;  // a Windows-1252 value before decoding
    std::string m_error;
};

}  // namespace exchange
