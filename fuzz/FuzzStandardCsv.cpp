// Any bytes as a spreadsheet's comma-separated values, read with the
// dialect guessed for them and with every other one: the reader ends
// with records, the end or a message, never reads past what it was given,
// and never keeps a value or a line longer than its limits. Every value is
// read as a date, an amount and a warranty word as well. The same bytes
// read once more behind a line that ends just before the reader's buffer
// does give the same records.

#include <fuzzer/FuzzedDataProvider.h>

#include <cmath>

#include "FuzzSupport.h"
#include "SheetValues.h"
#include "StandardCsv.h"

namespace {

// Every record of a file as its line and values, and how reading ended.
struct Reading {
    std::vector<std::pair<uint64_t, std::vector<std::string>>> records;
    exchange::CsvReader::Status end = exchange::CsvReader::Status::EndOfFile;
};

Reading ReadAll(const std::string& path, const exchange::CsvDialect& dialect) {
    Reading r;
    exchange::CsvReader reader;
    std::string error;
    fuzzsupport::Require(reader.Open(path, dialect, &error), "a readable file did not open");
    std::vector<std::string_view> values;
    for (;;) {
        r.end = reader.Next(values);
        if (r.end != exchange::CsvReader::Status::Record) return r;
        r.records.emplace_back(reader.RecordLine(), std::vector<std::string>(values.begin(), values.end()));
    }
}

// The same bytes behind one line that fills the reader's first buffer but
// for a few bytes (after a byte-order mark, which only the file's start
// has): every record reads the same across the buffer's end, a line later.
void SameAcrossTheBufferEnd(const uint8_t* data, size_t size, const exchange::CsvDialect& dialect) {
    const std::string plain = fuzzsupport::ScratchPath("source.csv");
    std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const bool bom = bytes.substr(0, 3) == "\xEF\xBB\xBF";
    const size_t shift = size > 0 ? size_t(data[size - 1]) % 64 : 0;
    std::string padded = bom ? "\xEF\xBB\xBF" : "";
    padded.append(256 * 1024 - 1 - shift, 'f');
    padded += '\n';
    padded.append(bytes.substr(bom ? 3 : 0));
    const std::string shifted = fuzzsupport::ScratchPath("shifted.csv");
    fuzzsupport::WriteFile(shifted, padded);
    const Reading once = ReadAll(plain, dialect), again = ReadAll(shifted, dialect);
    fuzzsupport::Require(once.end == again.end, "the buffer's end changed how reading ended");
    fuzzsupport::Require(again.records.size() == once.records.size() + 1, "the buffer's end changed the records");
    for (size_t i = 0; i < once.records.size(); ++i) {
        fuzzsupport::Require(again.records[i + 1].first == once.records[i].first + 1, "the buffer's end changed a line");
        fuzzsupport::Require(again.records[i + 1].second == once.records[i].second, "the buffer's end changed a value");
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzzsupport::Clear();
    const std::string path = fuzzsupport::ScratchPath("source.csv");
    fuzzsupport::WriteFile(path, data, size);
    std::string error;
    const auto guessed = exchange::GuessCsvDialect(path, &error);
    fuzzsupport::Require(guessed.has_value(), "a readable file was refused");
    SameAcrossTheBufferEnd(data, size, *guessed);
    for (const exchange::CsvDialect dialect : {*guessed, exchange::CsvDialect{';', exchange::CsvEncoding::Windows1252},
                                               exchange::CsvDialect{'\t', exchange::CsvEncoding::Utf8}}) {
        exchange::CsvReader reader;
        fuzzsupport::Require(reader.Open(path, dialect, &error), "a readable file did not open");
        std::vector<std::string> values;
        uint64_t records = 0;
        for (;;) {
            const exchange::CsvReader::Status status = reader.Next(values);
            if (status == exchange::CsvReader::Status::EndOfFile) {
                fuzzsupport::Require(reader.BytesRead() == size, "the end came before the last byte");
                break;
            }
            if (status == exchange::CsvReader::Status::Failed) {
                fuzzsupport::Require(!reader.Error().empty(), "a read failed without a message");
                break;
            }
            ++records;
            fuzzsupport::Require(!values.empty() && values.size() <= exchange::kMaxCsvValues, "a record of too many values");
            for (const std::string& v : values) {
                fuzzsupport::Require(v.size() <= 4 * exchange::kMaxCsvValueBytes, "a value past its limit");
                if (const auto d = exchange::ReadSheetDate(v, store::CurrentDateFormat()))
                    fuzzsupport::Require(store::Date::IsValid(d->year, d->month, d->day), "a date that is no day");
                for (const auto mark : {exchange::DecimalMark::Point, exchange::DecimalMark::Comma})
                    if (const auto a = exchange::ReadAmount(v, mark))
                        fuzzsupport::Require(std::isfinite(*a), "an amount that is no number");
                (void)exchange::ReadYesNo(v);
            }
            (void)exchange::GuessDecimalMark(values);
            fuzzsupport::Require(records <= size, "more records than bytes");
        }
    }
    return 0;
}
