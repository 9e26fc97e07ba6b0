// Any bytes as a spreadsheet's comma-separated values, read with the
// dialect guessed for them and with every other one: the reader ends
// with records, the end or a message, never reads past what it was given,
// and never keeps a value or a line longer than its limits. Every value is
// read as a date, an amount and a warranty word as well.

#include <fuzzer/FuzzedDataProvider.h>

#include <cmath>

#include "FuzzSupport.h"
#include "SheetValues.h"
#include "StandardCsv.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzzsupport::Clear();
    const std::string path = fuzzsupport::ScratchPath("source.csv");
    fuzzsupport::WriteFile(path, data, size);
    std::string error;
    const auto guessed = exchange::GuessCsvDialect(path, &error);
    fuzzsupport::Require(guessed.has_value(), "a readable file was refused");
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
