#include "ImportEngine.h"

#include <algorithm>
#include <climits>
#include <optional>

#include "DbfFile.h"
#include "DelimitedText.h"
#include "EngineError.h"
#include "FieldText.h"

namespace exchange {

const char* const kNotDelimitedMessage =
    "The file selected does not appear to be an ASCII delimited text file.  "
    "An ASCII delimited file requires a unique format of each field being "
    "surrounded by double quotes and separated by a comma.  ";

namespace {

const char* const kTooLongText = "The selected file has a field that is greater than 255 characters.";
const char* const kUnmatchedText =
    "The selected file had an unexpected end of a line most likely due to an unmatched quote.";
const char* const kTooManyText =
    "The selected file has too many fields.  There are at least 10 more fields than are required by Halvenor.";
const char* const kBlankField = "<BLANK FIELD>";
constexpr size_t kNameLength = 20;
constexpr uint64_t kProgressRecords = 2048;
constexpr uint64_t kProgressBytes = 1024 * 1024;

// A value the item field cannot take; the message says why.
struct ValueError {
    std::string message;
};

bool Utf8Lead(char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; }

// The first n characters of UTF-8 text.
std::string_view FirstChars(std::string_view text, size_t n) {
    if (text.size() <= n) return text;  // never more characters than bytes
    size_t chars = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        if (!Utf8Lead(text[i])) continue;
        if (chars == n) return text.substr(0, i);
        ++chars;
    }
    return text;
}

// A number field filled with "*": GDAL (and the shapefile library under
// it) writes an empty number so, and other readers take it as empty.
bool StarsOnly(std::string_view raw) {
    bool star = false;
    for (char c : raw) {
        if (c == '*') star = true;
        else if (c != ' ') return false;
    }
    return star;
}

bool HasLetter(std::string_view text) {
    return std::any_of(text.begin(), text.end(), [](char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); });
}

std::string Upper(std::string s) {
    for (char& c : s)
        if (c >= 'a' && c <= 'z') c = char(c - 32);
    return s;
}

int DigitValue(char c, bool hex) {
    if (c >= '0' && c <= '9') return c - '0';
    if (hex && c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (hex && c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

std::string Imported(uint64_t records, const char* when) {
    if (records == 0) return "  No records were imported.";
    if (records == 1) return std::string("  1 record was imported") + when + ".";
    return "  " + std::to_string(records) + " records were imported" + when + ".";
}

// Stores source values into the item fields by the rules of each field's kind.
class ItemFieldWriter {
public:
    ItemFieldWriter(store::Table& items, const std::array<std::string, store::kItemFieldCount>& titles)
        : m_items(items) {
        for (int p = 1; p <= store::kItemFieldCount; ++p) {
            const store::SchemaField& s = store::SchemaAt(p);
            Target& t = m_targets[size_t(p - 1)];
            t.field = items.FieldIndex(s.name);
            t.typeCode = s.typeCode;
            t.width = t.field >= 0 ? items.Field(t.field).length : 0;
            t.title = titles[size_t(p - 1)].empty() ? std::string(s.defaultTitle) : titles[size_t(p - 1)];
        }
    }

    // A refusal when the map names a field the item table lacks.
    std::optional<std::string> CheckMap(const std::vector<int>& map) const {
        for (int p : map) {
            if (p == 0) continue;
            if (p < 0 || p > store::kItemFieldCount) return "Field number " + std::to_string(p) + " is not an item field.";
            if (m_targets[size_t(p - 1)].field < 0)
                return "The item table has no field " + std::string(store::SchemaAt(p).name) + ".";
        }
        return std::nullopt;
    }

    const std::string& Title(int position) const { return m_targets[size_t(position - 1)].title; }

    // Throws ValueError, or EngineError for what the engine refuses.
    // Starts a new item record.
    void Append() {
        m_items.Append();
        m_written = 0;
    }

    void Store(int position, std::string_view value) {
        const Target& t = m_targets[size_t(position - 1)];
        const uint32_t bit = 1u << position;
        // A new record's text fields are blank already; an empty value need
        // not be written unless it replaces one of this record.
        const bool blank = (m_written & bit) == 0;
        m_written |= bit;
        switch (t.typeCode) {
        case 1:
            if (value.empty() && blank) return;
            m_items.SetText(t.field, FirstChars(value, size_t(t.width)));
            return;
        case 2:
            m_items.SetNumber(t.field, ReadLeadingInteger(value));
            return;
        case 3: {
            if (value.find_first_not_of(' ') == std::string_view::npos) {
                m_items.SetNumber(t.field, 0);
                return;
            }
            const auto number = store::ParseNumber(value);
            if (!number) throw ValueError{"\"" + std::string(value) + "\" is not a number."};
            m_items.SetNumber(t.field, *number);
            return;
        }
        case 4: {
            const store::DateFormat& format = store::CurrentDateFormat();
            if (value.find(format.Separator()) == std::string_view::npos || HasLetter(value)) return;
            const auto date = format.Parse(value);
            if (!date)
                throw ValueError{"\"" + std::string(value) + "\" is not a valid date in the format " +
                                 DateFormatName(format) + "."};
            m_items.SetDate(t.field, date);
            return;
        }
        default:
            return;
        }
    }

    // A source table's field into an item field. Dates and numbers go over
    // as values where both sides hold them (a date's text could lose its
    // century); everything else, and a stored value that is malformed, as
    // its text by the rules above.
    void StoreField(int position, const store::RecordView& view, int field, std::string& scratch) {
        const Target& t = m_targets[size_t(position - 1)];
        const store::FieldKind kind = view.Layout().Field(field).Kind();
        const uint32_t bit = 1u << position;
        const char type = view.Layout().Field(field).type;
        if ((type == 'N' || type == 'F') && StarsOnly(view.Raw(field))) {
            Store(position, {});
            return;
        }
        if (t.typeCode == 4 && kind == store::FieldKind::Date) {
            if (const auto date = Read([&] { return view.DateValue(field); })) {
                if (*date || (m_written & bit)) m_items.SetDate(t.field, *date);
                m_written |= bit;
                return;
            }
        } else if (t.typeCode == 3 && (kind == store::FieldKind::Float || kind == store::FieldKind::Integer)) {
            if (const auto number = Read([&] { return view.Number(field); })) {
                m_items.SetNumber(t.field, *number);
                m_written |= bit;
                return;
            }
        }
        Store(position, FieldText(view, field, store::CurrentDateFormat(), scratch));
    }

private:
    template <class F>
    static auto Read(F read) -> std::optional<decltype(read())> {
        try {
            return read();
        } catch (const store::EngineError&) {
            return std::nullopt;
        }
    }

    struct Target {
        int field = -1;
        int typeCode = 1;
        int width = 0;
        std::string title;
    };
    store::Table& m_items;
    std::array<Target, store::kItemFieldCount> m_targets;
    uint32_t m_written = 0;  // positions set in the current record, one bit each
};

// One run's bookkeeping once the bulk append has begun: the count,
// progress, the message that ends a run early, and the end of the bulk.
class ImportRun {
public:
    ImportRun(store::Table& items, const ProgressFn& progress, const char* unit)
        : m_items(items), m_progress(progress), m_unit(unit), m_before(items.PhysicalCount()) {}

    // Where a fault lies: "line 12, field 3 (Cost)".
    std::string Where(uint64_t number, int field, int position, const ItemFieldWriter& writer) const {
        std::string s = std::string(m_unit) + " " + std::to_string(number);
        if (field > 0) s += ", field " + std::to_string(field);
        if (position > 0) s += " (" + writer.Title(position) + ")";
        return s;
    }
    void Stop(const std::string& where, const std::string& why) {
        if (m_items.CurrentState() == store::Table::State::Insert) m_items.Cancel();
        m_failure = "The import stopped at " + where + ": " + why;
    }
    bool Stopped() const { return !m_failure.empty() || m_cancelled; }

    void Posted() { ++m_count; }
    // Reports now and then; false once the caller asked to stop.
    bool Report(uint64_t done, uint64_t total) {
        if (m_count - m_reportedCount < kProgressRecords && done - m_reportedDone < kProgressBytes) return true;
        m_reportedCount = m_count;
        m_reportedDone = done;
        if (!m_progress || m_progress({m_count, done, total})) return true;
        if (m_items.CurrentState() == store::Table::State::Insert) m_items.Cancel();
        m_cancelled = true;
        return false;
    }

    // notice: what the user is told besides, however the run ended.
    RunResult Finish(const std::string& notice = {}) {
        try {
            m_items.EndBulkAppend();
        } catch (const store::EngineError& e) {
            if (m_failure.empty()) m_failure = std::string("The import stopped: ") + e.what();
        }
        // What reached the file, should the last records not have.
        const uint64_t physical = m_items.PhysicalCount();
        const uint64_t written = std::min<uint64_t>(m_count, physical > m_before ? physical - m_before : 0);
        const std::string besides = notice.empty() ? std::string() : "  " + notice;
        if (!m_failure.empty())
            return {Outcome::Failed, written, m_failure + Imported(written, " before it") + besides};
        if (m_cancelled)
            return {Outcome::Cancelled, written, "The import was cancelled." + Imported(written, "") + besides};
        return {Outcome::Completed, m_count, {}, notice};
    }

private:
    store::Table& m_items;
    const ProgressFn& m_progress;
    const char* m_unit;
    uint64_t m_before;
    uint64_t m_count = 0;
    uint64_t m_reportedCount = 0;
    uint64_t m_reportedDone = 0;
    std::string m_failure;
    bool m_cancelled = false;
};

// The lines of a text source that did not follow the format, for the end
// of the run: the reading rules still take them, so their values may stand
// in other fields than meant.
class OffFormatLines {
public:
    explicit OffFormatLines(size_t values) : m_values(values) {}

    void Check(const DelimitedReader::Result& r, size_t values, uint64_t line) {
        const bool record = r.status == DelimitedReader::Status::Record;
        if (!r.offFormat && !(record && values != m_values)) return;
        if (m_first.size() < kListed) m_first.push_back(line);
        ++m_count;
    }

    // "2 lines did not follow the format ...: lines 3 and 7."; empty when all did.
    std::string Notice() const {
        if (m_count == 0) return {};
        std::string lines;
        for (size_t i = 0; i < m_first.size(); ++i) {
            if (i > 0) lines += i + 1 == m_first.size() && m_count == m_first.size() ? " and " : ", ";
            lines += std::to_string(m_first[i]);
        }
        if (m_count > m_first.size()) lines += " and " + std::to_string(m_count - m_first.size()) + " more";
        const bool one = m_count == 1;
        return std::to_string(m_count) + (one ? " line does" : " lines do") +
               " not follow the format (every value in double quotes, separated by commas, as many values as "
               "the first line), so " + (one ? "its" : "their") + " values may be in the wrong fields: " +
               (one ? "line " : "lines ") + lines + ".";
    }

private:
    static constexpr size_t kListed = 5;
    size_t m_values;
    uint64_t m_count = 0;
    std::vector<uint64_t> m_first;
};

Examination Refused(std::string message) { return {false, std::move(message), {}}; }

// A table open read-only (or not at all) is refused before anything is read.
std::optional<std::string> BeginBulk(store::Table& items) {
    try {
        items.BeginBulkAppend();
    } catch (const store::EngineError& e) {
        return std::string(e.what());
    }
    return std::nullopt;
}

}  // namespace

std::string DateFormatName(const store::DateFormat& format) {
    const std::string y = format.FourDigitYear() ? "yyyy" : "yy";
    const char sep = format.Separator();
    switch (format.DateOrder()) {
    case store::DateFormat::Order::DayMonthYear: return "dd" + std::string(1, sep) + "mm" + sep + y;
    case store::DateFormat::Order::YearMonthDay: return y + sep + "mm" + sep + "dd";
    case store::DateFormat::Order::MonthDayYear: break;
    }
    return "mm" + std::string(1, sep) + "dd" + sep + y;
}

int ReadLeadingInteger(std::string_view text) {
    size_t i = 0;
    while (i < text.size() && text[i] == ' ') ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
    const bool hex = i < text.size() && text[i] == '$';
    if (hex) ++i;
    const uint64_t base = hex ? 16 : 10;
    // A digit that would overflow ends the number like a stray character.
    const uint64_t limit = hex ? 0xFFFFFFFFull : uint64_t(INT_MAX) + (negative ? 1 : 0);
    uint64_t value = 0;
    size_t digits = 0;
    for (; i < text.size(); ++i, ++digits) {
        const int d = DigitValue(text[i], hex);
        if (d < 0 || value * base + uint64_t(d) > limit) break;
        value = value * base + uint64_t(d);
    }
    if (digits == 0) return 0;
    const bool whole = i == text.size();
    const int64_t magnitude = hex ? int64_t(int32_t(uint32_t(value))) : int64_t(value);
    if (whole && negative) return int(-magnitude);
    return int(std::min<int64_t>(magnitude, INT_MAX));
}

std::vector<int> MapByName(const std::vector<std::string>& names) {
    std::vector<int> map;
    for (const auto& name : names) map.push_back(store::SchemaPosition(name));
    return map;
}

Examination ExamineTextSource(const std::string& path) {
    DelimitedReader reader;
    std::string error;
    if (!reader.Open(path, &error)) return Refused(error);
    reader.SetEncoding(FileIsUtf8(path) ? DelimitedReader::Encoding::Utf8 : DelimitedReader::Encoding::Windows1252);
    std::vector<std::string> values;
    const auto result = reader.ReadRecord(kMaxSourceFields, values);
    const std::string prefix = kNotDelimitedMessage;
    switch (result.status) {
    case DelimitedReader::Status::TooLong: return Refused(prefix + kTooLongText);
    case DelimitedReader::Status::TooMany: return Refused(prefix + kTooManyText);
    case DelimitedReader::Status::StrayQuote:
    case DelimitedReader::Status::EndOfFile: return Refused(prefix + kUnmatchedText);
    case DelimitedReader::Status::ReadError: return Refused(reader.ErrorText());
    case DelimitedReader::Status::Record:
    case DelimitedReader::Status::NoRecord: break;
    }
    if (!result.endedAfterQuote) return Refused(prefix + kUnmatchedText);
    Examination ex;
    ex.accepted = true;
    for (const auto& v : values) ex.names.push_back(v.empty() ? kBlankField : std::string(FirstChars(v, kNameLength)));
    return ex;
}

Examination ExamineDbfSource(const std::string& path) {
    if (path.size() < 4 || Upper(path.substr(path.size() - 4)) != ".DBF") return Refused("Invalid file type selected.");
    store::DbfFile file;
    try {
        file.Open(path, store::DbfFile::Access::ReadOnly);
    } catch (const store::EngineError& e) {
        return Refused(e.what());
    }
    const store::RecordLayout& layout = file.Layout();
    if (size_t(layout.FieldCount()) > kMaxSourceFields)
        return Refused("The selected DBase file has " + std::to_string(layout.FieldCount()) +
                       " fields.  A DBase file can be imported only when it has at most " +
                       std::to_string(kMaxSourceFields) + " fields.");
    Examination ex;
    ex.accepted = true;
    for (const auto& f : layout.Fields()) {
        Utf8Check check;
        check.Feed(f.name.data(), f.name.size());
        const std::string name = check.Valid() ? f.name : layout.Page().Decode(f.name);
        ex.names.push_back(std::string(FirstChars(name, kNameLength)));
    }
    return ex;
}

RunResult ImportText(store::Table& items, const ImportRequest& request, const ProgressFn& progress) {
    ItemFieldWriter writer(items, request.titles);
    if (auto refusal = writer.CheckMap(request.map)) return {Outcome::Failed, 0, *refusal};
    if (request.map.empty() || request.map.size() > kMaxSourceFields)
        return {Outcome::Failed, 0, "An import needs 1 to 32 source fields."};
    DelimitedReader reader;
    std::string error;
    if (!reader.Open(request.path, &error)) return {Outcome::Failed, 0, error};
    reader.SetEncoding(FileIsUtf8(request.path) ? DelimitedReader::Encoding::Utf8
                                                : DelimitedReader::Encoding::Windows1252);
    const size_t count = request.map.size();
    const uint64_t size = reader.Size();
    std::vector<std::string> values;
    if (auto refusal = BeginBulk(items)) return {Outcome::Failed, 0, *refusal};
    ImportRun run(items, progress, "line");
    auto fault = [&](const DelimitedReader::Result& r) {
        const int field = r.field;
        const int position = field > 0 && size_t(field) <= count ? request.map[size_t(field - 1)] : 0;
        switch (r.status) {
        case DelimitedReader::Status::TooLong:
            run.Stop(run.Where(reader.Line(), field, position, writer), "the value is longer than 255 characters.");
            return true;
        case DelimitedReader::Status::TooMany:
            run.Stop(run.Where(reader.Line(), 0, 0, writer),
                     "it holds more than the " + std::to_string(count) + " values of the first line.");
            return true;
        case DelimitedReader::Status::StrayQuote:
            run.Stop(run.Where(reader.Line(), field, position, writer),
                     "a double quote inside the value is not doubled.");
            return true;
        case DelimitedReader::Status::ReadError:
            run.Stop(run.Where(reader.Line(), 0, 0, writer), reader.ErrorText());
            return true;
        default: return false;
        }
    };
    OffFormatLines offFormat(count);
    // The value being stored, for naming it when the engine refuses it.
    std::optional<size_t> storing;
    try {
        if (request.skipFirst) {
            const auto first = reader.ReadRecord(count, values);
            if (!fault(first)) offFormat.Check(first, values.size(), reader.Line());
        }
        while (!run.Stopped() && !reader.AtEnd()) {
            const auto result = reader.ReadRecord(count, values);
            if (fault(result)) break;
            offFormat.Check(result, values.size(), reader.Line());
            if (result.status == DelimitedReader::Status::Record) {
                writer.Append();
                for (size_t i = 0; i < values.size(); ++i) {
                    storing = i;
                    if (request.map[i] != 0) writer.Store(request.map[i], values[i]);
                }
                storing.reset();
                items.Post();
                run.Posted();
            }
            if (!run.Report(reader.Position(), size)) break;
        }
    } catch (const ValueError& e) {
        run.Stop(run.Where(reader.Line(), int(*storing) + 1, request.map[*storing], writer), e.message);
    } catch (const store::EngineError& e) {
        run.Stop(storing ? run.Where(reader.Line(), int(*storing) + 1, request.map[*storing], writer)
                         : run.Where(reader.Line(), 0, 0, writer),
                 e.what());
    }
    return run.Finish(offFormat.Notice());
}

RunResult ImportDbf(store::Table& items, const ImportRequest& request, const ProgressFn& progress) {
    ItemFieldWriter writer(items, request.titles);
    if (auto refusal = writer.CheckMap(request.map)) return {Outcome::Failed, 0, *refusal};
    const Examination ex = ExamineDbfSource(request.path);
    if (!ex.accepted) return {Outcome::Failed, 0, ex.message};
    store::DbfFile source;
    try {
        source.Open(request.path, store::DbfFile::Access::ReadOnly);
    } catch (const store::EngineError& e) {
        return {Outcome::Failed, 0, e.what()};
    }
    const store::RecordLayout& layout = source.Layout();
    const size_t count = std::min(request.map.size(), size_t(layout.FieldCount()));
    const uint32_t records = source.RecordCount();
    if (auto refusal = BeginBulk(items)) return {Outcome::Failed, 0, *refusal};
    ImportRun run(items, progress, "record");
    uint32_t recno = 0;
    std::string scratch;
    std::optional<size_t> storing;
    try {
        for (; recno < records && !run.Stopped(); ++recno) {
            const char* bytes = source.Record(recno);
            if (bytes[0] == ' ') {  // deleted records (and any other flag) stay behind
                const store::RecordView view(bytes, layout);
                writer.Append();
                for (size_t field = 0; field < count; ++field) {
                    storing = field;
                    if (request.map[field] != 0) writer.StoreField(request.map[field], view, int(field), scratch);
                }
                storing.reset();
                items.Post();
                run.Posted();
            }
            if (!run.Report(recno + 1, records)) break;
        }
    } catch (const ValueError& e) {
        run.Stop(run.Where(recno + 1, int(*storing) + 1, request.map[*storing], writer), e.message);
    } catch (const store::EngineError& e) {
        run.Stop(storing ? run.Where(recno + 1, int(*storing) + 1, request.map[*storing], writer)
                         : run.Where(recno + 1, 0, 0, writer),
                 e.what());
    }
    return run.Finish();
}

}  // namespace exchange
