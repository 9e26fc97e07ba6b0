#include "TableCheck.h"

#include <cstdio>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

#include "DbfFile.h"
#include "EngineError.h"
#include "IndexFile.h"
#include "IndexKey.h"
#include "ItemSchema.h"
#include "ItemTable.h"

namespace store {
namespace {

constexpr size_t kListedPerKind = 10;
constexpr uint32_t kProgressEvery = 1 << 16;

// Problems of one kind: the first few are listed, all are counted.
class ProblemList {
public:
    explicit ProblemList(TableCheckReport& report) : m_report(report) {}
    void Add(const std::string& text, size_t& ofThisKind) {
        ++m_report.problemCount;
        if (++ofThisKind <= kListedPerKind) m_report.problems.push_back(text);
    }
    void AddOne(const std::string& text) {
        size_t once = 0;
        Add(text, once);
    }
    void TellUnlisted(size_t ofThisKind, const std::string& what) {
        if (ofThisKind > kListedPerKind)
            m_report.problems.push_back("... and " + std::to_string(ofThisKind - kListedPerKind) + " more " + what + ".");
    }

private:
    TableCheckReport& m_report;
};

std::string Hex(unsigned char c) {
    char buf[8];
    std::snprintf(buf, sizeof buf, "0x%02X", c);
    return buf;
}

bool IsItemLayout(const RecordLayout& layout) {
    if (layout.FieldCount() != kItemFieldCount) return false;
    for (int i = 0; i < kItemFieldCount; ++i)
        if (SchemaPosition(layout.Field(i).name) != i + 1) return false;
    return true;
}

// Bytes after the last counted record: the end mark, nothing (other
// programs' files), or what an interrupted append left past the mark.
void CheckEnd(const DbfFile& file, TableCheckReport& report) {
    struct stat st {};
    if (::stat(file.Path().c_str(), &st) != 0) return;
    const uint64_t end = uint64_t(file.HeaderLength()) + uint64_t(file.RecordCount()) * file.Layout().RecordLength();
    const uint64_t size = uint64_t(st.st_size);
    if (size <= end) {
        report.notes.push_back("The file has no end-of-file mark after its last record (as some other programs "
                               "write it).");
        return;
    }
    unsigned char mark = 0;
    if (FILE* f = std::fopen(file.Path().c_str(), "rb")) {
        if (std::fseek(f, long(end), SEEK_SET) != 0 || std::fread(&mark, 1, 1, f) != 1) mark = 0;
        std::fclose(f);
    }
    if (mark != 0x1A) {
        report.notes.push_back("The byte after the last record is " + Hex(mark) +
                               ", not the end-of-file mark; the table engine ignores it.");
    } else if (size > end + 1) {
        report.notes.push_back(std::to_string(size - end - 1) +
                               " bytes follow the end-of-file mark (what an interrupted append leaves; they are not "
                               "records).");
    }
}

// Flags and values of every record; false when the check was stopped.
bool CheckRecords(const DbfFile& file, TableCheckReport& report, ProblemList& problems,
                  std::vector<uint8_t>& notDelivered, const CheckProgressFn& progress) {
    const RecordLayout& layout = file.Layout();
    const uint32_t count = file.RecordCount();
    std::vector<int> numeric, dates;
    for (int i = 0; i < layout.FieldCount(); ++i) {
        const FieldKind kind = layout.Field(i).Kind();
        if (kind == FieldKind::Integer || kind == FieldKind::Float) numeric.push_back(i);
        if (kind == FieldKind::Date) dates.push_back(i);
    }
    notDelivered.assign(count, 0);
    size_t oddFlags = 0, unreadable = 0, interrupted = 0;
    for (uint32_t r = 0; r < count; ++r) {
        if (progress && r % kProgressEvery == 0 && r > 0 && !progress(r, count)) return false;
        const char* bytes = file.Record(r);
        const auto flag = static_cast<unsigned char>(bytes[0]);
        if (flag != ' ') {
            notDelivered[r] = 1;
            ++report.deleted;
            if (flag == 0x1A) {
                if (++interrupted == 1)
                    report.notes.push_back("Record " + std::to_string(r + 1) +
                                           " is the remains of an interrupted append; the table engine marks it "
                                           "deleted when it next opens the table for writing.");
            } else if (flag != '*') {
                problems.Add("Record " + std::to_string(r + 1) + " has the deletion flag " + Hex(flag) +
                                 " instead of a blank or \"*\": it is not shown.",
                             oddFlags);
            }
            continue;
        }
        const RecordView view(bytes, layout);
        auto unreadableValue = [&](const EngineError& e) {
            problems.Add("Record " + std::to_string(r + 1) + ": " + e.what(), unreadable);
        };
        for (int i : numeric) {
            try {
                (void)view.Number(i);
            } catch (const EngineError& e) {
                unreadableValue(e);
            }
        }
        for (int i : dates) {
            try {
                (void)view.DateValue(i);
            } catch (const EngineError& e) {
                unreadableValue(e);
            }
        }
    }
    problems.TellUnlisted(oddFlags, "records with odd deletion flags");
    problems.TellUnlisted(unreadable, "values that cannot be read");
    return true;
}

// One tag's order against the records: every record once, keys ascending
// (equal keys by record number). Returns the first disagreement, or "".
std::string CheckTagOrder(const DbfFile& file, const IndexFileTag& tag) {
    std::unique_ptr<Expression> expr;
    try {
        expr = std::make_unique<Expression>(tag.expression, file.Layout());
    } catch (const EngineError& e) {
        return std::string("its expression does not fit the table: ") + e.what();
    }
    return CheckKeyOrder(file, *expr, tag.order);
}

void CheckIndex(const DbfFile& file, const std::vector<uint8_t>& notDelivered, TableCheckReport& report,
                ProblemList& problems) {
    const std::string& path = report.indexFile;
    const std::string shown = "The index file \"" + FileNameOf(path) + "\"";
    const char* rebuilt = " (the table engine builds it afresh when it next opens the table for writing)";
    switch (ProbeIndexFile(path)) {
    case IndexFileKind::Missing:
        report.index = file.UsesIndexFlag() && file.ProductionIndexFlag() ? IndexState::Missing : IndexState::None;
        if (report.index == IndexState::Missing)
            problems.AddOne("The table announces an index file, but \"" + FileNameOf(path) + "\" is missing.");
        return;
    case IndexFileKind::NotAFile:
        report.index = IndexState::NotAFile;
        problems.AddOne("\"" + path + "\" is not a file; the table cannot be opened while it is there.");
        return;
    case IndexFileKind::Foreign:
        report.index = IndexState::Foreign;
        report.notes.push_back(shown + " belongs to another program and was not examined.");
        return;
    case IndexFileKind::Damaged:
        report.index = IndexState::Damaged;
        problems.AddOne(shown + " cannot be read" + rebuilt + ".");
        return;
    case IndexFileKind::Ours:
        break;
    }
    const auto content = ReadIndexFile(path);
    if (!content) {
        report.index = IndexState::Damaged;
        problems.AddOne(shown + " cannot be read" + rebuilt + ".");
        return;
    }
    for (const IndexFileTag& t : content->tags) report.tags.push_back(t.name);
    std::vector<uint32_t> deleted;
    for (uint32_t r = 0; r < notDelivered.size(); ++r)
        if (notDelivered[r]) deleted.push_back(r);
    if (!content->ordersValid || !(content->state == file.State())) {
        // Written for another state of the same records (a copy of the
        // table has a time of its own): up to date when it still describes
        // them, as the engine finds at its next open.
        bool describes = content->ordersValid && content->state.recordCount == file.RecordCount() &&
                         content->state.size == file.State().size && deleted == content->deleted;
        for (const IndexFileTag& t : content->tags) describes = describes && CheckTagOrder(file, t).empty();
        if (!describes) {
            report.index = IndexState::Stale;
            problems.AddOne(shown + " was written for an earlier state of the table and does not describe its records" +
                            rebuilt + ".");
            return;
        }
    }
    report.index = IndexState::UpToDate;
    if (deleted != content->deleted) {
        report.index = IndexState::Damaged;
        problems.AddOne(shown + " lists other records as deleted than the table marks" + rebuilt + ".");
    }
    for (const IndexFileTag& t : content->tags) {
        const std::string why = CheckTagOrder(file, t);
        if (why.empty()) continue;
        report.index = IndexState::Damaged;
        problems.AddOne(shown + ", tag " + t.name + ": " + why);
    }
}

}  // namespace

const char* IndexStateText(IndexState state) {
    switch (state) {
    case IndexState::None: return "none";
    case IndexState::UpToDate: return "up to date";
    case IndexState::Stale: return "stale";
    case IndexState::Damaged: return "damaged";
    case IndexState::Foreign: return "another program's";
    case IndexState::Missing: return "missing";
    case IndexState::NotAFile: return "not a file";
    }
    return "";
}

TableCheckReport CheckTableFiles(const std::string& path, const CheckProgressFn& progress) {
    TableCheckReport report;
    report.dataFile = path;
    report.indexFile = IndexPathFor(path);
    ProblemList problems(report);
    DbfFile file;
    try {
        file.Open(path, DbfFile::Access::ReadOnly);
    } catch (const EngineError& e) {
        problems.AddOne(e.what());
        return report;
    }
    report.opened = true;
    report.records = file.RecordCount();
    report.itemTable = IsItemLayout(file.Layout());
    if (!report.itemTable) problems.AddOne(kNotItemTableMessage);
    CheckEnd(file, report);
    std::vector<uint8_t> notDelivered;
    if (!CheckRecords(file, report, problems, notDelivered, progress)) {
        problems.AddOne("The check was stopped before its end.");
        return report;
    }
    CheckIndex(file, notDelivered, report, problems);
    if (progress) progress(report.records, report.records);
    return report;
}

}  // namespace store
