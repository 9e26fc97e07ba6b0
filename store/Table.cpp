#include "Table.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

#include "FileSystem.h"
#include "IndexFile.h"
#include "IndexKey.h"
#include "TableNames.h"

namespace store {

using files::Join;

namespace {

bool Exists(const std::string& path) {
    struct stat st{};
    return ::stat(path.c_str(), &st) == 0;
}

bool HasDbfExtension(const std::string& name) {
    return name.size() > 4 && LowerAscii(name.substr(name.size() - 4)) == ".dbf";
}

}  // namespace

Table::Table() = default;
Table::~Table() {
    try {
        Close();
    } catch (...) {
    }
}

void Table::SetDirectory(std::string directory) {
    NeedClosed("change the folder of");
    while (directory.size() > 1 && directory.back() == '/') directory.pop_back();
    if (directory.empty()) directory = ".";
    if (directory != m_directory) m_memoryTags.clear();
    m_directory = directory;
}

void Table::SetTableName(std::string name) {
    NeedClosed("rename");
    if (name != m_tableName) m_memoryTags.clear();
    m_tableName = std::move(name);
}

std::string Table::DataFilePath() const {
    const std::string file = HasDbfExtension(m_tableName) ? m_tableName : m_tableName + ".DBF";
    return files::FindInAnyCase(m_directory, file);
}

std::string Table::IndexFilePath() const { return IndexPathFor(DataFilePath()); }

void Table::SetExclusive(bool exclusive) {
    NeedClosed("change the sharing of");
    m_exclusive = exclusive;
}

void Table::SetReadOnly(bool readOnly) {
    NeedClosed("change the access of");
    m_readOnly = readOnly;
}

void Table::NeedOpen() const {
    if (!IsOpen()) throw EngineError("The table " + m_tableName + " is not open.");
}

void Table::NeedClosed(const char* what) const {
    if (IsOpen()) throw EngineError(std::string("Cannot ") + what + " an open table.");
}

void Table::NeedWritable() const {
    NeedOpen();
    if (m_file.Mode() == DbfFile::Access::ReadOnly)
        throw EngineError("The table " + m_tableName + " is open read-only.");
}

void Table::NeedEditing() const {
    NeedOpen();
    if (m_state == State::Browse) throw EngineError("The table is not in edit or insert mode.");
}

void Table::Open() {
    NeedClosed("open");
    if (m_tableName.empty()) throw EngineError("No table name has been given.");
    const auto access = m_readOnly ? DbfFile::Access::ReadOnly
                                   : (m_exclusive ? DbfFile::Access::Exclusive : DbfFile::Access::Shared);
    m_notice.clear();
    const std::string path = DataFilePath();
    try {
        m_file.Open(path, access, m_exclusive);
    } catch (const NotWritableError& e) {
        // A file the user may only read is shown; sole use is refused.
        if (access != DbfFile::Access::Shared) throw;
        m_file.Open(path, DbfFile::Access::ReadOnly);
        m_notice = std::string(e.what()) + "  The table is open for reading only: changes cannot be saved.";
    }
    if (m_file.Mode() == DbfFile::Access::Exclusive) {
        // Nobody else has the table: whatever our temporary files a killed
        // pack or index write left beside it are stale.
        for (const std::string& p : {m_file.Path(), IndexPathFor(m_file.Path())}) {
            files::RemoveStaleTemporariesBeside(p);
            const std::string target = files::ResolvedPath(p);
            if (target != p) files::RemoveStaleTemporariesBeside(target);
        }
    }
    try {
        const bool restamp = LoadIndex();
        m_tagged = m_file.RecordCount();
        RestoreTagsKeptInMemory();
        if (!m_activeName.empty()) {
            m_active = FindTag(m_activeName);
            if (!m_active) throw EngineError("The index tag " + m_activeName + " does not exist for table " + m_tableName + ".");
        }
        // A copy's index is written with the copy's state at the next save
        // (Close at the latest): written now, it would hold up the open.
        if (m_indexDirty) SaveIndex();
        else if (restamp) m_indexDirty = true;
    } catch (...) {
        m_tags.clear();
        m_active = nullptr;
        m_file.Close();
        throw;
    }
    m_state = State::Browse;
    m_current.reset();
    InvalidateView();
    First();
}

void Table::OnForeignChange(uint32_t) {
    // Another program changed the file: what it changed is unknown, so the
    // tags are rebuilt from the records.
    ++m_foreignChanges;
    RebuildAll();
    m_indexDirty = true;
}

void Table::Close() {
    m_recordSet.reset();  // record numbers mean nothing in the next file
    if (!IsOpen()) return;
    Cancel();
    if (m_bulkWhole) DiscardBulkAppend();  // a run not ended is not written
    try {
        FlushPending();
    } catch (const EngineError&) {
        m_bulk = false;
        m_pending.clear();
        m_pendingCount = 0;
        throw;
    }
    m_bulk = false;
    if (m_indexDirty) {
        try {
            SaveIndex();
        } catch (const EngineError&) {
            // The index is derived data: a stale file is rebuilt at the next open.
        }
    }
    m_memoryTags.clear();
    if (!m_notice.empty())
        for (const auto& t : m_tags) m_memoryTags.emplace_back(t.name, t.source);
    m_file.Close();
    m_tags.clear();
    m_active = nullptr;
    m_foreignIndex = false;
    m_indexDirty = false;
    m_deleted.clear();
    m_widestKey = 0;
    m_blank.clear();
    m_view.clear();
    m_viewValid = false;
    m_current.reset();
    m_bof = m_eof = true;
}

void Table::Create(const std::vector<FieldDef>& fields) {
    NeedClosed("create");
    if (m_tableName.empty()) throw EngineError("No table name has been given.");
    const std::string file = HasDbfExtension(m_tableName) ? m_tableName : m_tableName + ".DBF";
    const std::string existing = DataFilePath();
    const std::string path = Exists(existing) ? existing : Join(m_directory, file);
    DbfFile::Create(path, fields, 1252);
    const std::string index = IndexPathFor(path);
    if (ProbeIndexFile(index) == IndexFileKind::Ours) ::unlink(index.c_str());
}

int Table::FieldCount() const {
    NeedOpen();
    return m_file.Layout().FieldCount();
}

const FieldDef& Table::Field(int index) const {
    NeedOpen();
    if (index < 0 || index >= m_file.Layout().FieldCount())
        throw EngineError("Field number " + std::to_string(index + 1) + " does not exist.");
    return m_file.Layout().Field(index);
}

int Table::FieldIndex(std::string_view name) const {
    NeedOpen();
    return m_file.Layout().FieldIndex(name);
}

int Table::NeedField(std::string_view name) const {
    const int i = FieldIndex(name);
    if (i < 0) throw EngineError("Field " + std::string(name) + " not found.");
    return i;
}

const RecordLayout& Table::Layout() const {
    NeedOpen();
    return m_file.Layout();
}

void Table::SetFilter(Filter filter) {
    m_filter = std::move(filter);
    InvalidateView();
}

void Table::SetFiltered(bool on) {
    m_filtered = on;
    InvalidateView();
}

void Table::SetRecordSet(RecordSet set) {
    m_recordSet = std::move(set);
    InvalidateView();
}

bool Table::Delivered(uint32_t recno) const {
    if (recno >= m_deleted.size() || m_deleted[recno]) return false;
    if (m_recordSet && recno < m_recordSet->size() && !(*m_recordSet)[recno]) return false;
    if (m_filtered && m_filter) return m_filter(RecordView(m_file.Record(recno), m_file.Layout()));
    return true;
}

namespace {
constexpr uint32_t kFilterAhead = 8;
}

void Table::EnsureView() {
    // Asked at every step of a walk: nothing to do is found out first.
    if (m_viewValid && m_pendingCount == 0 && m_staged == 0 && m_tagged >= m_file.RecordCount()) return;
    FlushPending();
    if (m_viewValid) return;
    m_view.clear();
    const uint32_t count = m_file.RecordCount();
    const RecordLayout& layout = m_file.Layout();
    const bool filtering = m_filtered && bool(m_filter);
    const std::vector<uint8_t>* chosen = m_recordSet.get();
    auto left = [&](uint32_t r) { return m_deleted[r] || (chosen && r < chosen->size() && !(*chosen)[r]); };
    auto consider = [&](uint32_t r) {
        if (left(r)) return;
        if (filtering && !m_filter(RecordView(m_file.Record(r), layout))) return;
        m_view.push_back(r);
    };
    if (m_active && filtering) {
        // Asking the filter in file order reads the records front to back;
        // in key order every record would be a jump across the file.
        std::vector<uint8_t> accepted(count, 0);
        for (uint32_t r = 0; r < count; ++r) {
            // The next records' first bytes are asked for ahead: the
            // processor's own prefetching stops at every page.
            if (r + kFilterAhead < count) __builtin_prefetch(m_file.Record(r + kFilterAhead));
            accepted[r] = !left(r) && m_filter(RecordView(m_file.Record(r), layout));
        }
        for (uint32_t r : m_active->order)
            if (accepted[r]) m_view.push_back(r);
    } else if (m_active) {
        for (uint32_t r : m_active->order) consider(r);
    } else {
        for (uint32_t r = 0; r < count; ++r) {
            if (filtering && r + kFilterAhead < count) __builtin_prefetch(m_file.Record(r + kFilterAhead));
            consider(r);
        }
    }
    m_viewValid = true;
    if (m_current) m_pos = PositionOf(*m_current);
}

size_t Table::PositionOf(uint32_t recno) {
    if (!m_active) return m_view.LowerBound(recno);
    const size_t found = m_view.Find(recno);
    if (found < m_view.size()) return found;
    // Not delivered: it stands after the nearest record before it in the
    // active order that is, found without reading a key.
    constexpr size_t kNeighbours = 64;
    const size_t inOrder = m_active->order.Find(recno);
    if (inOrder < m_active->order.size()) {
        for (size_t i = inOrder, looked = 0; looked < kNeighbours; ++looked) {
            if (i == 0) return 0;
            const size_t at = m_view.Find(m_active->order[--i]);
            if (at < m_view.size()) return at + 1;
        }
    }
    // Far from any delivered record, or not in the order yet: by its key.
    std::string key;
    KeyOf(*m_active->expr, RecordView(m_file.Record(recno), m_file.Layout()), key);
    return KeyLowerBound(*m_active, m_view, key, recno, 0, m_view.size());
}

uint32_t Table::RecordCount() {
    NeedOpen();
    EnsureView();
    return uint32_t(m_view.size());
}

const std::vector<uint32_t>& Table::DeliveredRecords() {
    NeedOpen();
    EnsureView();
    return m_view.Flat();
}

void Table::Refresh() {
    NeedOpen();
    if (m_state != State::Browse) Post();
    const uint32_t before = m_file.RecordCount();
    if (m_file.Sync()) OnForeignChange(before);
    InvalidateView();
    KeepCurrent();
}

void Table::KeepCurrent() {
    EnsureView();
    if (m_current && (*m_current >= m_deleted.size() || !Delivered(*m_current))) {
        if (m_view.empty()) {
            m_current.reset();
            m_bof = m_eof = true;
        } else {
            SetCurrentAt(std::min(m_pos, m_view.size() - 1));
        }
    } else if (!m_current && !m_view.empty()) {
        First();
    }
}

void Table::SetCurrentAt(size_t pos) {
    m_pos = pos;
    m_current = m_view[pos];
    m_bof = m_eof = false;
}

bool Table::StartMove() {
    NeedOpen();
    if (m_state != State::Browse) Post();
    EnsureView();
    if (!m_view.empty()) return true;
    m_current.reset();
    m_bof = m_eof = true;
    return false;
}

void Table::First() {
    if (!StartMove()) return;
    SetCurrentAt(0);
    m_bof = true;
}

void Table::Last() {
    if (!StartMove()) return;
    SetCurrentAt(m_view.size() - 1);
    m_eof = true;
}

void Table::Next() {
    if (!StartMove()) return;
    if (!m_current) {
        First();
        return;
    }
    const bool inView = m_pos < m_view.size() && m_view[m_pos] == *m_current;
    const size_t next = inView ? m_pos + 1 : m_pos;
    if (next < m_view.size()) SetCurrentAt(next);
    else m_eof = true;
}

void Table::Prior() {
    if (!StartMove()) return;
    if (!m_current) {
        First();
        return;
    }
    if (m_pos > 0) SetCurrentAt(std::min(m_pos, m_view.size()) - 1);
    else m_bof = true;
}

uint32_t Table::RecNo() const {
    NeedOpen();
    if (!m_current) throw EngineError("There is no current record.");
    return *m_current;
}

void Table::GoTo(uint32_t recno) {
    NeedOpen();
    if (m_state != State::Browse) Post();
    if (recno >= m_file.RecordCount() || m_deleted[recno])
        throw EngineError("Record " + std::to_string(recno + 1) + " was not found.");
    EnsureView();
    m_current = recno;
    m_pos = PositionOf(recno);
    m_bof = m_eof = false;
}

const char* Table::CurrentRecordBytes() const {
    if (m_state != State::Browse) return EditBytes();
    if (!m_current) return nullptr;
    return m_file.Record(*m_current);
}

RecordView Table::ViewOf(uint32_t recno) const {
    NeedOpen();
    if (m_pendingCount > 0) const_cast<Table*>(this)->FlushPending();
    if (recno >= m_file.RecordCount()) throw EngineError("Record " + std::to_string(recno + 1) + " does not exist.");
    return RecordView(m_file.Record(recno), m_file.Layout());
}

std::string Table::GetText(int field) const {
    // The common case, a field of the current record while browsing, goes
    // straight to its bytes: reports and exports ask for every field of
    // every record.
    const RecordLayout& layout = m_file.Layout();
    if (m_state == State::Browse && m_current && field >= 0 && field < layout.FieldCount() && IsOpen())
        return RecordView(m_file.Record(*m_current), layout).Text(field);
    Field(field);
    const char* rec = CurrentRecordBytes();
    if (!rec) return {};
    return RecordView(rec, m_file.Layout()).Text(field);
}

double Table::GetNumber(int field) const {
    Field(field);
    const char* rec = CurrentRecordBytes();
    if (!rec) return 0;
    return RecordView(rec, m_file.Layout()).Number(field);
}

std::optional<Date> Table::GetDate(int field) const {
    Field(field);
    const char* rec = CurrentRecordBytes();
    if (!rec) return std::nullopt;
    return RecordView(rec, m_file.Layout()).DateValue(field);
}

bool Table::IsBlank(int field) const {
    Field(field);
    const char* rec = CurrentRecordBytes();
    if (!rec) return true;
    return RecordView(rec, m_file.Layout()).IsBlank(field);
}

bool Table::MoveInView(uint32_t recno) {
    if (!m_viewValid) return false;
    size_t at = m_view.size();
    if (m_pos < m_view.size() && m_view[m_pos] == recno) {
        at = m_pos;
    } else if (!m_active) {
        const size_t found = m_view.LowerBound(recno);
        if (found < m_view.size() && m_view[found] == recno) at = found;
    } else {
        return false;
    }
    const RecordLayout& layout = m_file.Layout();
    const bool filtering = m_filtered && bool(m_filter);
    const bool wanted = !m_deleted[recno] && (!filtering || m_filter(RecordView(m_file.Record(recno), layout)));
    if (at == m_view.size()) {
        if (wanted) return false;
        m_pos = PositionOf(recno);
        return true;
    }
    if (wanted) {
        // Still between its neighbours: nothing moves.
        bool fits = true;
        if (m_active) {
            std::string key, other;
            KeyOf(*m_active->expr, RecordView(m_file.Record(recno), layout), key);
            if (at > 0) {
                const uint32_t r = m_view[at - 1];
                KeyOf(*m_active->expr, RecordView(m_file.Record(r), layout), other);
                const int c = CompareKeys(other, key);
                fits = c < 0 || (c == 0 && r < recno);
            }
            if (fits && at + 1 < m_view.size()) {
                const uint32_t r = m_view[at + 1];
                KeyOf(*m_active->expr, RecordView(m_file.Record(r), layout), other);
                const int c = CompareKeys(key, other);
                fits = c < 0 || (c == 0 && recno < r);
            }
        }
        if (fits) {
            m_pos = at;
            return true;
        }
    }
    m_view.erase(at);
    const size_t pos = PositionOf(recno);
    if (wanted) m_view.insert(pos, recno);
    m_pos = pos;
    return true;
}

}  // namespace store
