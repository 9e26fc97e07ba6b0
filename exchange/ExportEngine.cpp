#include "ExportEngine.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <optional>
#include <sys/file.h>
#include <unistd.h>

#include "DelimitedText.h"
#include "IndexFile.h"
#include "ItemSchema.h"
#include "ItemTable.h"
#include "ReplacingFile.h"

namespace exchange {
namespace {

constexpr uint64_t kProgressEvery = 2048;

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
    if (SameFile(path, items.DataFilePath()) || SameFile(path, items.IndexFilePath()))
        return "The export cannot replace the open item table \"" + path + "\".";
    if (!table) return std::nullopt;
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return std::nullopt;
    const bool busy = ::flock(fd, LOCK_EX | LOCK_NB) != 0;
    ::close(fd);
    if (busy) return "The table \"" + path + "\" is in use by another program and cannot be replaced.";
    return std::nullopt;
}

// One field's text for the delimited file. A stored value the engine cannot
// read as its kind goes out as the stored characters rather than stopping
// the export: nothing is lost and the file says what the table holds.
void FieldText(const store::RecordView& view, int field, const store::DateFormat& dates, std::string& out) {
    out.clear();
    const store::FieldDef& f = view.Layout().Field(field);
    try {
        if (f.Kind() == store::FieldKind::Date) {
            if (const auto d = view.DateValue(field)) out = dates.Format(*d);
            return;
        }
        if (f.Kind() == store::FieldKind::String) {
            const std::string_view raw = view.Raw(field);
            bool ascii = true;
            size_t end = raw.size();
            while (end > 0 && (raw[end - 1] == ' ' || raw[end - 1] == '\0')) --end;
            for (size_t i = 0; i < end && ascii; ++i) ascii = static_cast<unsigned char>(raw[i]) < 0x80;
            if (ascii) {
                out.assign(raw.data(), end);
                return;
            }
        }
        out = view.Text(field);
    } catch (const store::EngineError&) {
        out = view.DisplayText(field);
    }
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

RunResult ExportText(store::Table& items, const ExportRequest& request, const ProgressFn& progress) {
    std::vector<int> fields;
    if (auto refusal = ResolveFields(items, request.positions, fields)) return Failed(*refusal);
    if (auto refusal = RefuseTarget(items, request.path, false)) return Failed(*refusal);
    // The list is copied: the table's own view may be rebuilt while the
    // caller handles a progress report.
    const std::vector<uint32_t> records = items.DeliveredRecords();
    const uint64_t total = records.size();
    if (!KeepGoing(progress, 0, total)) return Cancelled();

    ReplacingFile file;
    std::string error;
    if (!file.Reserve(request.path, "", &error)) return Failed(error);
    std::string line;
    if (!request.titles.empty()) {
        for (size_t i = 0; i < fields.size(); ++i)
            AppendDelimitedValue(line, i < request.titles.size() ? request.titles[i] : std::string(), i == 0);
        line += "\r\n";
        if (!file.Write(line, &error)) return Failed(error);
    }
    const store::DateFormat dates = ExportDateFormat();
    std::string value;
    uint64_t done = 0;
    try {
        for (uint32_t recno : records) {
            const store::RecordView view = items.ViewOf(recno);
            line.clear();
            for (size_t i = 0; i < fields.size(); ++i) {
                FieldText(view, fields[i], dates, value);
                AppendDelimitedValue(line, value, i == 0);
            }
            line += "\r\n";
            if (!file.Write(line, &error)) return Failed(error);
            if (++done % kProgressEvery == 0 && !KeepGoing(progress, done, total)) return Cancelled();
        }
    } catch (const store::EngineError& e) {
        return Failed(e.what());
    }
    if (!file.Commit(&error)) return Failed(error);
    KeepGoing(progress, done, total);
    return {Outcome::Completed, done, {}};
}

RunResult ExportDbf(store::Table& items, const ExportRequest& request, const ProgressFn& progress) {
    std::vector<int> fields;
    if (auto refusal = ResolveFields(items, request.positions, fields)) return Failed(*refusal);
    if (auto refusal = RefuseTarget(items, request.path, true)) return Failed(*refusal);
    const std::vector<uint32_t> records = items.DeliveredRecords();
    const uint64_t total = records.size();
    if (!KeepGoing(progress, 0, total)) return Cancelled();

    ReplacingFile file;
    std::string error;
    if (!file.Reserve(request.path, ".DBF", &error)) return Failed(error);
    store::Table out;
    uint64_t done = 0;
    bool cancelled = false;
    try {
        store::PointAt(out, file.TempPath());
        out.Create(ExportFieldDefs(request.positions));
        out.SetExclusive(true);
        out.Open();
        out.BeginBulkAppend();
        for (uint32_t recno : records) {
            const store::RecordView view = items.ViewOf(recno);
            out.Append();
            for (size_t i = 0; i < fields.size(); ++i) CopyField(out, int(i), view, fields[i]);
            out.Post();
            if (++done % kProgressEvery == 0 && !KeepGoing(progress, done, total)) {
                cancelled = true;
                break;
            }
        }
        out.EndBulkAppend();
        out.Close();
    } catch (const store::EngineError& e) {
        try {
            out.Close();
        } catch (const store::EngineError&) {
            // The temporary table goes with the file below.
        }
        return Failed("The export stopped at record " + std::to_string(done + 1) + ": " + e.what());
    }
    if (cancelled) return Cancelled();
    if (!file.Commit(&error)) return Failed(error);
    DropStaleIndex(request.path);
    KeepGoing(progress, done, total);
    return {Outcome::Completed, done, {}};
}

}  // namespace exchange
