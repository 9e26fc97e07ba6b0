#include "ExportEngine.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <optional>
#include <sys/file.h>
#include <unistd.h>
#include <xlsxwriter.h>

#include "DelimitedText.h"
#include "FieldText.h"
#include "ImportEngine.h"
#include "DbfFile.h"
#include "IndexFile.h"
#include "ItemSchema.h"
#include "ItemTable.h"
#include "FileSystem.h"
#include "ReplacingFile.h"
#include "Workbook.h"

namespace exchange {
namespace {

constexpr uint32_t kProgressEvery = 2048;
constexpr int kNewTablePage = 1252;  // the code page of every table the engine creates

RunResult Failed(std::string message, uint64_t records = 0) {
    return {Outcome::Failed, records, std::move(message)};
}

RunResult Cancelled() { return {Outcome::Cancelled, 0, "The export was cancelled; no file was written."}; }

// Table field of each position, or a refusal naming the missing field.
std::optional<std::string> ResolveFields(store::Table& items, const std::vector<int>& positions,
                                         std::vector<int>& fields) {
    fields.clear();
    std::vector<bool> seen(store::kItemFieldCount + 1, false);
    for (int p : positions) {
        if (p < 1 || p > store::kItemFieldCount) return "Field number " + std::to_string(p) + " is not an item field.";
        if (seen[size_t(p)]) return "The field " + std::string(store::SchemaAt(p).name) + " is chosen twice.";
        seen[size_t(p)] = true;
        const int index = items.FieldIndex(store::SchemaAt(p).name);
        if (index < 0) return "The item table has no field " + std::string(store::SchemaAt(p).name) + ".";
        fields.push_back(index);
    }
    if (fields.empty()) return std::string("No fields selected for export.");
    return std::nullopt;
}

// Replacing the open item table (or its index) would pull it from under the
// program; another program's table is not ours to replace either.
std::optional<std::string> RefuseTarget(store::Table& items, const std::string& path, bool table) {
    if (files::SameFile(path, items.DataFilePath()) || files::SameFile(path, items.IndexFilePath()))
        return "The export cannot replace the open item table \"" + path + "\".";
    if (!table) return std::nullopt;
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return std::nullopt;
    const bool busy = ::flock(fd, LOCK_EX | LOCK_NB) != 0;
    ::close(fd);
    if (busy) return "The table \"" + path + "\" is in use by another program and cannot be replaced.";
    return std::nullopt;
}

bool KeepGoing(const ProgressFn& progress, uint64_t done, uint64_t total) {
    return !progress || progress({done, done, total});
}

// Sets one field of the new table from the item field, keeping numbers and
// dates as values so that nothing passes through a lossy text form.
void CopyField(store::Table& out, int target, const store::RecordView& view, int source) {
    const store::FieldDef& from = view.Layout().Field(source);
    const store::FieldKind kind = out.Field(target).Kind();
    const bool numeric = kind == store::FieldKind::Integer || kind == store::FieldKind::Float;
    const bool fromNumeric = from.Kind() == store::FieldKind::Integer || from.Kind() == store::FieldKind::Float;
    if (numeric && fromNumeric) {
        if (view.IsBlank(source)) out.SetBlank(target);
        else out.SetNumber(target, view.Number(source));
    } else if (kind == store::FieldKind::Date && from.Kind() == store::FieldKind::Date) {
        out.SetDate(target, view.DateValue(source));
    } else {
        out.SetText(target, view.Text(source));
    }
}

// True when every chosen field is stored in the item table exactly as the
// new table stores it, in the same code page: the bytes can go over as
// they are. Tables this program creates always are.
bool SameStorage(const store::Table& items, const std::vector<int>& fields, const std::vector<store::FieldDef>& defs) {
    if (items.Layout().Page().Number() != kNewTablePage) return false;
    for (size_t i = 0; i < fields.size(); ++i) {
        const store::FieldDef& f = items.Field(fields[i]);
        if (f.type != defs[i].type || f.length != defs[i].length || f.decimals != defs[i].decimals) return false;
    }
    return true;
}

// Fills the new table (created, closed) record by record through the
// engine's setters. False when cancelled.
bool CopyValues(store::Table& out, store::Table& items, const std::vector<uint32_t>& records,
                const std::vector<int>& fields, const ProgressFn& progress, uint64_t& done) {
    out.SetExclusive(true);
    out.Open();
    out.BeginBulkAppend();
    for (uint32_t recno : records) {
        const store::RecordView view = items.ViewOf(recno);
        out.Append();
        for (size_t i = 0; i < fields.size(); ++i) CopyField(out, int(i), view, fields[i]);
        out.Post();
        if (++done % kProgressEvery == 0 && !KeepGoing(progress, done, records.size())) {
            out.Cancel();
            out.Close();
            return false;
        }
    }
    out.Close();
    return true;
}

// Fills the new table's file with the chosen fields' bytes, a block of
// records at a time. False when cancelled.
bool CopyBytes(const std::string& path, store::Table& items, const std::vector<uint32_t>& records,
               const std::vector<int>& fields, const ProgressFn& progress, uint64_t& done) {
    store::DbfFile out;
    out.Open(path, store::DbfFile::Access::Exclusive);
    const store::RecordLayout& layout = out.Layout();
    const size_t length = size_t(layout.RecordLength());
    std::vector<char> block(length * kProgressEvery);
    uint32_t filled = 0;
    bool foreign = false;
    for (uint32_t recno : records) {
        const store::RecordView view = items.ViewOf(recno);
        char* record = block.data() + filled * length;
        record[0] = ' ';
        for (size_t i = 0; i < fields.size(); ++i) {
            const std::string_view bytes = view.Raw(fields[i]);
            std::memcpy(record + layout.Offset(int(i)), bytes.data(), bytes.size());
        }
        if (++filled < kProgressEvery) continue;
        out.AppendRecords(block.data(), filled, &foreign);
        done += filled;  // written: a failed write stops at its block's first record
        filled = 0;
        if (!KeepGoing(progress, done, records.size())) return false;
    }
    if (filled > 0) out.AppendRecords(block.data(), filled, &foreign);
    done += filled;
    out.Close();
    return true;
}

// Removes our index file left beside a replaced table: it describes the old
// table, and the new one has no index.
void DropStaleIndex(const std::string& path) {
    const std::string index = store::IndexPathFor(path);
    if (store::ProbeIndexFile(index) == store::IndexFileKind::Ours) ::unlink(index.c_str());
}

}  // namespace

store::DateFormat ExportDateFormat() {
    const store::DateFormat& current = store::CurrentDateFormat();
    return store::DateFormat(current.Separator(), current.DateOrder(), true);
}

std::vector<store::FieldDef> ExportFieldDefs(const std::vector<int>& positions) {
    const std::vector<store::FieldDef> all = store::ItemTableFieldDefs();
    std::vector<store::FieldDef> defs;
    for (int p : positions) defs.push_back(all[size_t(p - 1)]);
    return defs;
}

namespace {

// Standard output, or any descriptor the caller owns: written as it goes,
// in blocks.
class StreamSink {
public:
    explicit StreamSink(int fd) : m_fd(fd) {}
    bool Write(std::string_view bytes, std::string* error) {
        m_buffer.append(bytes);
        return m_buffer.size() < kBlock || Flush(error);
    }
    bool Flush(std::string* error) {
        size_t done = 0;
        while (done < m_buffer.size()) {
            const ssize_t n = ::write(m_fd, m_buffer.data() + done, m_buffer.size() - done);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) {
                *error = std::string("The export could not be written: ") + std::strerror(errno) + ".";
                return false;
            }
            done += size_t(n);
        }
        m_buffer.clear();
        return true;
    }

private:
    static constexpr size_t kBlock = 1 << 16;
    int m_fd;
    std::string m_buffer;
};

// The records as delimited text into the sink; the sink is neither
// committed nor flushed here.
template <class Sink>
RunResult WriteText(store::Table& items, const ExportRequest& request, const std::vector<int>& fields, Sink& sink,
                    const ProgressFn& progress) {
    // The list is copied: the table's own view may be rebuilt while the
    // caller handles a progress report.
    const std::vector<uint32_t> records = items.DeliveredRecords();
    const uint64_t total = records.size();
    if (!KeepGoing(progress, 0, total)) return Cancelled();
    std::string error;
    std::string line;
    if (!request.titles.empty()) {
        for (size_t i = 0; i < fields.size(); ++i)
            AppendDelimitedValue(line, i < request.titles.size() ? request.titles[i] : std::string(), i == 0);
        line += "\r\n";
        if (!sink.Write(line, &error)) return Failed(error);
    }
    const store::DateFormat dates = ExportDateFormat();
    std::string value;
    uint64_t done = 0;
    try {
        for (uint32_t recno : records) {
            const store::RecordView view = items.ViewOf(recno);
            line.clear();
            for (size_t i = 0; i < fields.size(); ++i)
                AppendDelimitedValue(line, FieldText(view, fields[i], dates, value), i == 0);
            line += "\r\n";
            if (!sink.Write(line, &error)) return Failed(error);
            if (++done % kProgressEvery == 0 && !KeepGoing(progress, done, total)) return Cancelled();
        }
    } catch (const store::EngineError& e) {
        return Failed(e.what());
    }
    return {Outcome::Completed, done, {}};
}

}  // namespace

RunResult ExportText(store::Table& items, const ExportRequest& request, const ProgressFn& progress) {
    std::vector<int> fields;
    if (auto refusal = ResolveFields(items, request.positions, fields)) return Failed(*refusal);
    if (auto refusal = RefuseTarget(items, request.path, false)) return Failed(*refusal);
    files::ReplacingFile file;
    std::string error;
    if (!file.Reserve(request.path, "", &error)) return Failed(error);
    RunResult result = WriteText(items, request, fields, file, progress);
    if (result.outcome != Outcome::Completed) return result;
    if (!file.Commit(&error)) return Failed(error);
    KeepGoing(progress, result.records, result.records);
    return result;
}

RunResult ExportTextTo(int fd, store::Table& items, const ExportRequest& request, const ProgressFn& progress) {
    std::vector<int> fields;
    if (auto refusal = ResolveFields(items, request.positions, fields)) return Failed(*refusal);
    StreamSink sink(fd);
    RunResult result = WriteText(items, request, fields, sink, progress);
    std::string error;
    if (result.outcome == Outcome::Completed && !sink.Flush(&error)) return Failed(error, result.records);
    return result;
}

RunResult ExportDbf(store::Table& items, const ExportRequest& request, const ProgressFn& progress) {
    std::vector<int> fields;
    if (auto refusal = ResolveFields(items, request.positions, fields)) return Failed(*refusal);
    if (auto refusal = RefuseTarget(items, request.path, true)) return Failed(*refusal);
    const std::vector<uint32_t> records = items.DeliveredRecords();
    const uint64_t total = records.size();
    if (!KeepGoing(progress, 0, total)) return Cancelled();

    files::ReplacingFile file;
    std::string error;
    if (!file.Reserve(request.path, ".DBF", &error)) return Failed(error);
    const std::vector<store::FieldDef> defs = ExportFieldDefs(request.positions);
    uint64_t done = 0;
    bool completed = false;
    try {
        store::Table created;
        store::PointAt(created, file.TempPath());
        created.Create(defs);
        completed = SameStorage(items, fields, defs)
                        ? CopyBytes(file.TempPath(), items, records, fields, progress, done)
                        : CopyValues(created, items, records, fields, progress, done);
    } catch (const store::EngineError& e) {
        return Failed("The export stopped at record " + std::to_string(done + 1) + ": " + e.what());
    }
    if (!completed) return Cancelled();
    if (!file.Commit(&error)) return Failed(error);
    DropStaleIndex(request.path);
    KeepGoing(progress, done, total);
    return {Outcome::Completed, done, {}};
}

namespace {

// A workbook in the making; freed unwritten unless closed.
class WorkbookWriter {
public:
    explicit WorkbookWriter(const std::string& path) {
        lxw_workbook_options options{};
        options.constant_memory = LXW_TRUE;  // rows go to a temporary file as they are written
        m_book = workbook_new_opt(path.c_str(), &options);
    }
    ~WorkbookWriter() {
        if (m_book) lxw_workbook_free(m_book);
    }
    WorkbookWriter(const WorkbookWriter&) = delete;
    WorkbookWriter& operator=(const WorkbookWriter&) = delete;

    lxw_workbook* Book() const { return m_book; }
    // Writes the file; an empty text when it was written.
    std::string Close() {
        const lxw_error error = workbook_close(m_book);
        m_book = nullptr;  // closed or not, the library has freed it
        if (error == LXW_NO_ERROR) return {};
        return std::string("The workbook could not be written: ") + lxw_strerror(error) + ".";
    }

private:
    lxw_workbook* m_book = nullptr;
};

// Columns about as wide as their widest value can be, within reason.
double ColumnWidth(int position, const std::string& title) {
    const store::SchemaField& f = store::SchemaAt(position);
    size_t chars = f.typeCode == 1 ? size_t(f.width) : f.typeCode == 4 ? 10 : f.typeCode == 2 ? 6 : 14;
    chars = std::max(chars, title.size());
    return double(std::min<size_t>(chars, 60)) + 2;
}

// Why the workbook written at path does not hold rows whole rows, or empty.
std::string CheckWorkbook(const std::string& path, uint64_t rows) {
    std::string error;
    const std::optional<uint64_t> count = CountSheetRows(path, &error);
    if (!count) return error;
    if (*count != rows) return "it holds " + std::to_string(*count) + " rows of " + std::to_string(rows) + ".";
    return {};
}

std::string WriteFailure(lxw_error error, uint64_t row) {
    return "The export stopped at item " + std::to_string(row) + ": " + lxw_strerror(error) + ".";
}

}  // namespace

RunResult ExportXlsx(store::Table& items, const ExportRequest& request, const ProgressFn& progress) {
    std::vector<int> fields;
    if (auto refusal = ResolveFields(items, request.positions, fields)) return Failed(*refusal);
    if (auto refusal = RefuseTarget(items, request.path, false)) return Failed(*refusal);
    const std::vector<uint32_t> records = items.DeliveredRecords();
    const uint64_t total = records.size();
    if (total + 1 > uint64_t(LXW_ROW_MAX))
        return Failed("A sheet holds at most " + std::to_string(LXW_ROW_MAX - 1) + " items besides its titles; there are " +
                      std::to_string(total) + ".");
    if (!KeepGoing(progress, 0, total)) return Cancelled();

    files::ReplacingFile file;
    std::string error;
    if (!file.Reserve(request.path, ".xlsx", &error)) return Failed(error);
    WorkbookWriter writer(file.TempPath());
    lxw_workbook* book = writer.Book();
    if (!book) return Failed("The workbook \"" + file.TempPath() + "\" could not be made.");
    lxw_worksheet* sheet = workbook_add_worksheet(book, "Items");
    lxw_format* header = workbook_add_format(book);
    format_set_bold(header);
    lxw_format* money = workbook_add_format(book);
    format_set_num_format(money, "#,##0.00");
    lxw_format* whole = workbook_add_format(book);
    format_set_num_format(whole, "0");
    lxw_format* day = workbook_add_format(book);
    const store::DateFormat dates = ExportDateFormat();
    format_set_num_format(day, DateFormatName(dates).c_str());
    lxw_format* wrapped = workbook_add_format(book);
    format_set_text_wrap(wrapped);

    for (size_t i = 0; i < fields.size(); ++i) {
        const int p = request.positions[i];
        const std::string title = i < request.titles.size() && !request.titles[i].empty()
                                      ? request.titles[i]
                                      : std::string(store::SchemaAt(p).defaultTitle);
        worksheet_set_column(sheet, lxw_col_t(i), lxw_col_t(i), ColumnWidth(p, title), nullptr);
        if (const lxw_error e = worksheet_write_string(sheet, 0, lxw_col_t(i), title.c_str(), header); e != LXW_NO_ERROR)
            return Failed(WriteFailure(e, 0));
    }
    worksheet_freeze_panes(sheet, 1, 0);

    std::string scratch;
    // A malformed number or date goes on as the stored characters, as the
    // text export writes it: nothing is lost and the sheet shows what the
    // table holds.
    auto writeText = [&](lxw_row_t row, lxw_col_t col, const store::RecordView& view, int field) {
        const std::string text(FieldText(view, field, dates, scratch));
        if (text.empty()) return LXW_NO_ERROR;
        const bool lines = text.find('\n') != std::string::npos;
        return worksheet_write_string(sheet, row, col, text.c_str(), lines ? wrapped : nullptr);
    };
    auto writeCell = [&](lxw_row_t row, lxw_col_t col, const store::RecordView& view, int field, int position) {
        if (view.IsBlank(field)) return LXW_NO_ERROR;
        try {
            switch (store::SchemaAt(position).typeCode) {
            case 2: return worksheet_write_number(sheet, row, col, view.Number(field), whole);
            case 3: return worksheet_write_number(sheet, row, col, view.Number(field), money);
            case 4: {
                const std::optional<store::Date> d = view.DateValue(field);
                if (!d) break;
                lxw_datetime when{d->year, uint8_t(d->month), uint8_t(d->day), 0, 0, 0};
                return worksheet_write_datetime(sheet, row, col, &when, day);
            }
            default: break;
            }
        } catch (const store::EngineError&) {
        }
        return writeText(row, col, view, field);
    };
    uint64_t done = 0;
    try {
        for (uint32_t recno : records) {
            const store::RecordView view = items.ViewOf(recno);
            const lxw_row_t row = lxw_row_t(done + 1);
            for (size_t i = 0; i < fields.size(); ++i)
                if (const lxw_error e = writeCell(row, lxw_col_t(i), view, fields[i], request.positions[i]); e != LXW_NO_ERROR)
                    return Failed(WriteFailure(e, done + 1));
            if (++done % kProgressEvery == 0 && !KeepGoing(progress, done, total)) return Cancelled();
        }
    } catch (const store::EngineError& e) {
        return Failed("The export stopped at item " + std::to_string(done + 1) + ": " + e.what());
    }
    if (std::string why = writer.Close(); !why.empty()) return Failed(why);
    // The library does not notice a failed write of its temporary files (a
    // full disk): what it wrote is read back before it replaces anything.
    if (std::string why = CheckWorkbook(file.TempPath(), done + 1); !why.empty())
        return Failed("The workbook came out damaged, perhaps for a full disk, and was not saved: " + why);
    if (!file.Finish(&error) || !file.Commit(&error)) return Failed(error);
    KeepGoing(progress, done, total);
    return {Outcome::Completed, done, {}};
}

}  // namespace exchange
