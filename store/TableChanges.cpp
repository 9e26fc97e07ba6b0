// Changes to the table's records: new records one at a time or in bulk,
// edits posted with their tags kept in step, deletion, field values written
// in the bytes dBASE stores, and the pack.
#include "Table.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "FileSystem.h"
#include "IndexFile.h"
#include "IndexKey.h"
#include "TableNames.h"

namespace store {
namespace {

// New records collected in a bulk append are written about this many bytes
// at a time.
constexpr size_t kBatchBytes = size_t(256) << 10;
// Bytes a merge of new records into a tag may hold at once.
constexpr size_t kMergeBytes = size_t(32) << 20;

// Writes v into the field's bytes at dst, right-aligned with the field's
// decimals, as dBASE stores numbers. Nothing is written when it does not fit.
void WriteFixed(double v, const FieldDef& f, char* dst) {
    if (!std::isfinite(v)) throw EngineError("The value for field " + f.name + " is not a number.");
    if (v == 0) v = 0.0;
    char buf[512];
    if (f.decimals <= 15) {
        // Most values scale to a whole number far from any halfway point:
        // its digits are what the exact rounding below would give, without
        // its cost. (Scaling errs by at most 1/16 below 2^50.)
        static constexpr double kPowers[] = {1e0, 1e1, 1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                             1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};
        const double scaled = v * kPowers[f.decimals];
        const double whole = std::nearbyint(scaled);
        if (std::fabs(scaled) < 1125899906842624.0 && std::fabs(scaled - whole) <= 0.25) {
            uint64_t n = uint64_t(std::fabs(whole));
            char* const end = buf + sizeof buf;
            char* p = end;
            for (int d = 0; d < f.decimals; ++d, n /= 10) *--p = char('0' + n % 10);
            if (f.decimals > 0) *--p = '.';
            do {
                *--p = char('0' + n % 10);
                n /= 10;
            } while (n > 0);
            if (whole < 0) *--p = '-';
            const size_t size = size_t(end - p);
            if (size > size_t(f.length))
                throw EngineError("The number " + ShortNumberText(v) + " is too large for field " + f.name + ".");
            std::memset(dst, ' ', size_t(f.length) - size);
            std::memcpy(dst + (size_t(f.length) - size), p, size);
            return;
        }
    }
    const auto res = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed, f.decimals);
    if (res.ec != std::errc()) throw EngineError("The number for field " + f.name + " cannot be stored.");
    const char* begin = buf;
    // A negative value that rounds to zero is stored without its sign.
    const char* const last = res.ptr;
    if (*begin == '-' && std::all_of(begin + 1, last, [](char c) { return c == '0' || c == '.'; })) ++begin;
    const size_t size = size_t(res.ptr - begin);
    if (size > size_t(f.length))
        throw EngineError("The number " + ShortNumberText(v) + " is too large for field " + f.name + ".");
    std::memset(dst, ' ', size_t(f.length) - size);
    std::memcpy(dst + (size_t(f.length) - size), begin, size);
}

std::string_view TrimBlanks(std::string_view t) {
    while (!t.empty() && t.front() == ' ') t.remove_prefix(1);
    while (!t.empty() && t.back() == ' ') t.remove_suffix(1);
    return t;
}

// The open checked every field's size against its type; this keeps a
// write inside its field whatever a caller did.
void NeedSize(const FieldDef& f, int bytes) {
    if (f.length < bytes)
        throw EngineError("Field " + f.name + " is " + std::to_string(f.length) + " bytes long; its type needs " +
                          std::to_string(bytes) + ".");
}

bool IsBinaryNumeric(const FieldDef& f) {
    return f.type == 'I' || f.type == '+' || f.type == 'Y' || f.type == 'O' || (f.type == 'B' && f.length == 8);
}

}  // namespace

void Table::Pack(const PackSteps* steps) {
    NeedWritable();
    if (m_file.Mode() != DbfFile::Access::Exclusive)
        throw EngineError("Packing requires exclusive use of the table " + m_tableName + ".");
    Cancel();
    // The file's own flags decide: another copy may have posted a record
    // this handle still takes for deleted.
    m_file.Pack([this](uint32_t r) {
        const char flag = m_file.Record(r)[0];
        return flag != '*' && flag != 0x1A;
    }, steps);
    RebuildAll();
    m_indexDirty = true;
    SaveIndex();
    m_current.reset();
    First();
}

void Table::Append() {
    NeedWritable();
    if (m_state != State::Browse) Post();
    const RecordLayout& layout = m_file.Layout();
    if (m_blank.size() != size_t(layout.RecordLength())) {
        m_blank.assign(size_t(layout.RecordLength()), ' ');
        for (int i = 0; i < layout.FieldCount(); ++i)
            if (IsBinaryNumeric(layout.Field(i)) || layout.Field(i).type == 'T')
                std::memset(m_blank.data() + layout.Offset(i), 0, size_t(layout.Field(i).length));
    }
    if (m_bulk) {
        // Filled where it will be written from, after the records collected.
        m_pending.insert(m_pending.end(), m_blank.begin(), m_blank.end());
        m_inPending = true;
    } else {
        m_buffer = m_blank;
    }
    m_state = State::Insert;
}

char* Table::EditBytes() {
    if (m_inPending) return m_pending.data() + size_t(m_pendingCount) * size_t(m_file.Layout().RecordLength());
    return m_buffer.data();
}

const char* Table::EditBytes() const { return const_cast<Table*>(this)->EditBytes(); }

void Table::TakeEditOutOfPending() {
    if (!m_inPending) return;
    const char* rec = EditBytes();
    m_buffer.assign(rec, rec + m_file.Layout().RecordLength());
    m_pending.resize(size_t(m_pendingCount) * size_t(m_file.Layout().RecordLength()));
    m_inPending = false;
}

void Table::DropCollected() {
    // The record being filled, if any, stays and moves to the front.
    const size_t written = size_t(m_pendingCount) * size_t(m_file.Layout().RecordLength());
    m_pending.erase(m_pending.begin(), m_pending.begin() + long(written));
    m_pendingCount = 0;
}

void Table::Edit() {
    NeedWritable();
    FlushPending();
    if (m_state == State::Edit) return;
    if (m_state == State::Insert) throw EngineError("A new record is being inserted.");
    if (!m_current) throw EngineError("Cannot edit: the table has no current record.");
    const char* rec = m_file.Record(*m_current);
    m_buffer.assign(rec, rec + m_file.Layout().RecordLength());
    m_state = State::Edit;
}

void Table::Cancel() {
    if (m_inPending) {
        m_pending.resize(size_t(m_pendingCount) * size_t(m_file.Layout().RecordLength()));
        m_inPending = false;
    }
    m_state = State::Browse;
    m_buffer.clear();
}

void Table::Post() {
    NeedEditing();
    const uint32_t before = m_file.RecordCount();
    uint32_t recno = 0;
    bool edited = false;
    if (m_state == State::Insert && m_bulk) {
        if (!m_inPending) m_pending.insert(m_pending.end(), m_buffer.begin(), m_buffer.end());
        m_pending[size_t(m_pendingCount) * size_t(m_file.Layout().RecordLength())] = ' ';
        m_inPending = false;
        ++m_pendingCount;
        ++m_bulkAccepted;
        m_state = State::Browse;
        m_buffer.clear();
        // A batch small enough to stay in the processor's cache until the
        // kernel copies it costs less than one large one.
        const uint32_t batch = std::max<uint32_t>(1, uint32_t(kBatchBytes / size_t(m_file.Layout().RecordLength())));
        if (m_pendingCount >= batch && m_bulkWhole) {
            StagePending();
        } else if (m_pendingCount >= batch) {
            WritePending();
            // The tags take the new records in long runs: each merge reads
            // the keys of the whole order once. A merge holds the run's keys
            // and a few numbers per record, so the run is bounded; the last
            // record's keys tell how wide they are.
            if (!m_tags.empty() && m_tagged < m_file.RecordCount()) {
                std::string key;
                const RecordView last(m_file.Record(m_file.RecordCount() - 1), m_file.Layout());
                for (const auto& t : m_tags) {
                    KeyOf(*t.expr, last, key);
                    m_widestKey = std::max(m_widestKey, key.size());
                }
                const size_t lag = m_file.RecordCount() - m_tagged;
                if (lag * (m_widestKey + 16) >= kMergeBytes) CatchUpTags();
            }
        }
        return;
    }
    bool appended = false;
    if (m_state == State::Insert) {
        bool foreign = false;
        TakeEditOutOfPending();
        m_buffer[0] = ' ';
        recno = m_file.AppendRecord(m_buffer.data(), &foreign);
        if (m_changeLog) m_changeLog->Appended(recno, 1);
        if (foreign) {
            OnForeignChange(before);
        } else {
            m_deleted.resize(m_file.RecordCount(), 0);
            CatchUpTags();
            appended = true;
        }
    } else {
        recno = *m_current;
        std::vector<char> old;
        if (m_changeLog) {
            const char* rec = m_file.Record(recno);
            old.assign(rec, rec + m_file.Layout().RecordLength());
        }
        if (m_editObserver) m_editObserver(recno, m_file.Record(recno), m_buffer.data());
        const bool foreign = m_file.WriteRecord(recno, m_buffer.data());
        if (m_changeLog) m_changeLog->Edited(recno, old.data(), old.size());
        if (foreign) {
            OnForeignChange(before);
        } else {
            for (auto& t : m_tags) {
                TagErase(t, recno);
                TagInsert(t, recno);
            }
            m_deleted[recno] = m_buffer[0] == ' ' ? 0 : 1;
            edited = true;
        }
    }
    m_state = State::Browse;
    m_buffer.clear();
    m_indexDirty = true;
    m_current = recno;
    // One edited or added record takes its place in the view instead of the
    // view being built again: a run over every record stays linear, and
    // one change costs the same however many records there are.
    if (appended && m_viewValid) {
        m_pos = PositionOf(recno);
        if (Delivered(recno)) m_view.insert(m_pos, recno);
    } else if (!edited || !MoveInView(recno)) {
        InvalidateView();
    }
    m_bof = m_eof = false;
}

void Table::BeginBulkAppend(bool whole) {
    NeedWritable();
    if (m_state != State::Browse) Post();
    m_bulk = true;
    m_bulkWhole = whole;
    m_bulkAccepted = 0;
    m_bulkWritten = 0;
}

uint32_t Table::EndBulkAppend() {
    m_bulk = false;
    m_bulkWhole = false;
    if (IsOpen()) TakeEditOutOfPending();  // a record being filled is posted on its own
    if (IsOpen()) FlushPending();
    return m_bulkWritten;
}

void Table::DiscardBulkAppend() {
    Cancel();
    m_pending.clear();
    m_pendingCount = 0;
    DropStaged();
    m_bulk = false;
    m_bulkWhole = false;
}

// The collected records of a run that is one change, out of memory into a
// file of their own beside the table: a nameless one where the file system
// allows, so that nothing is left behind whatever ends the program.
void Table::StagePending() {
    const std::string folder = m_directory.empty() ? std::string(".") : m_directory;
    if (m_stageFd < 0) {
        m_stageFd = ::open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
        if (m_stageFd < 0) {
            std::string name = folder + "/.halvenor-staged-XXXXXX";
            m_stageFd = ::mkostemp(name.data(), O_CLOEXEC);
            if (m_stageFd >= 0) ::unlink(name.c_str());
        }
    }
    const char* data = m_pending.data();
    size_t bytes = size_t(m_pendingCount) * size_t(m_file.Layout().RecordLength());
    while (m_stageFd >= 0 && bytes > 0) {
        const ssize_t n = ::write(m_stageFd, data, bytes);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            if (n == 0) errno = ENOSPC;
            break;
        }
        data += n;
        bytes -= size_t(n);
    }
    if (bytes > 0)
        throw EngineError("Cannot keep the new records beside \"" + DataFilePath() + "\": " + std::strerror(errno) + ".");
    m_staged += m_pendingCount;
    DropCollected();
}

void Table::DropStaged() {
    if (m_stageFd >= 0) ::close(m_stageFd);
    m_stageFd = -1;
    m_staged = 0;
}

void Table::FlushPending() {
    if (m_bulkWhole) return;  // written by EndBulkAppend alone
    try {
        WritePending();
    } catch (...) {
        CatchUpTags();  // the batches written before stay, and in order
        throw;
    }
    CatchUpTags();
}

void Table::WritePending() {
    if (m_pendingCount == 0 && m_staged == 0) return;
    const uint32_t before = m_file.RecordCount();
    bool foreign = false;
    uint32_t first = 0;
    uint32_t count = m_pendingCount;
    try {
        if (m_stageFd >= 0) {
            // A run that was one change: what is left joins the staged
            // records, and all of them go in with one append.
            if (m_pendingCount > 0) StagePending();
            count = m_staged;
            first = m_file.AppendStaged(m_stageFd, count, &foreign);
        } else {
            first = m_file.AppendRecords(m_pending.data(), count, &foreign);
        }
    } catch (const EngineError& e) {
        // None of these reached the file (it is as it was); the caller
        // learns how many of the run did.
        DropCollected();
        DropStaged();
        throw EngineError(std::string(e.what()) + "  Only " + std::to_string(m_bulkWritten) + " of the " +
                          std::to_string(m_bulkAccepted) + " new records were written; the others were not saved.");
    }
    m_bulkWritten += count;
    if (m_changeLog) m_changeLog->Appended(first, count);
    DropCollected();
    DropStaged();
    if (foreign) {
        OnForeignChange(before);
    } else {
        m_deleted.resize(m_file.RecordCount(), 0);
    }
    m_indexDirty = true;
    m_current = first + count - 1;
    InvalidateView();
}

void Table::Delete() {
    NeedWritable();
    FlushPending();
    if (m_state == State::Insert) {
        Cancel();
        return;
    }
    Cancel();
    EnsureView();
    if (!m_current || m_view.empty()) throw EngineError("Cannot perform this operation on an empty table.");
    const uint32_t recno = *m_current;
    const uint32_t before = m_file.RecordCount();
    std::vector<char> marked;
    CopyRecord(recno, marked);
    marked[0] = '*';
    const bool foreign = m_file.WriteRecord(recno, marked.data());
    if (m_changeLog) {
        marked[0] = ' ';  // it was delivered, so live
        m_changeLog->Edited(recno, marked.data(), marked.size());
    }
    if (foreign) OnForeignChange(before);
    m_deleted[recno] = 1;
    m_indexDirty = true;
    if (!foreign && m_viewValid && m_pos < m_view.size() && m_view[m_pos] == recno) {
        // Only this record leaves the view; the rest keeps its order.
        m_view.erase(m_pos);
    } else {
        InvalidateView();
        EnsureView();
    }
    if (m_view.empty()) {
        m_current.reset();
        m_bof = m_eof = true;
    } else {
        SetCurrentAt(std::min(m_pos, m_view.size() - 1));
    }
}

void Table::Rewrite(const std::vector<uint32_t>& recnos, const char* expected, const char* records) {
    NeedWritable();
    if (m_state != State::Browse) throw EngineError("A record is being edited.");
    FlushPending();
    if (recnos.empty()) return;
    const size_t length = size_t(m_file.Layout().RecordLength());
    const uint32_t count = m_file.RecordCount();
    // What the change log keeps: the records as this handle knows them,
    // which are what was expected when it was (or nothing is written).
    std::vector<char> copied;
    if (!expected && m_changeLog) {
        copied.resize(recnos.size() * length);
        for (size_t i = 0; i < recnos.size(); ++i)
            if (recnos[i] < count) std::memcpy(copied.data() + i * length, m_file.Record(recnos[i]), length);
    }
    const char* old = expected ? expected : copied.data();
    if (m_editObserver)
        for (size_t i = 0; i < recnos.size(); ++i)
            if (recnos[i] < count) m_editObserver(recnos[i], m_file.Record(recnos[i]), records + i * length);
    const bool foreign = m_file.WriteRecords(recnos, expected, records);
    if (m_changeLog)
        for (size_t i = 0; i < recnos.size(); ++i) m_changeLog->Edited(recnos[i], old + i * length, length);
    m_indexDirty = true;
    if (foreign) {
        OnForeignChange(count);
    } else {
        for (size_t i = 0; i < recnos.size(); ++i) m_deleted[recnos[i]] = records[i * length] == ' ' ? 0 : 1;
        // A few records move within each order; many rebuild it, which
        // reads every key once instead of halving for each.
        size_t log = 1;
        while ((size_t(1) << log) <= m_file.RecordCount()) ++log;
        for (auto& t : m_tags) {
            if (recnos.size() * log * 4 < m_file.RecordCount()) {
                for (size_t i = 0; i < recnos.size(); ++i) {
                    TagErase(t, recnos[i]);
                    TagInsert(t, recnos[i]);
                }
            } else {
                BuildTag(t);
            }
        }
    }
    InvalidateView();
    KeepCurrent();
}

void Table::FormatField(int field, std::string_view text, char* record) const {
    const FieldDef& f = Field(field);
    if (IsBinaryNumeric(f) || f.type == 'T' || f.type == '@')
        throw EngineError("Field " + f.name + " cannot be set to text.");
    WriteText(field, text, record + m_file.Layout().Offset(field));
}

void Table::WriteText(int field, std::string_view text, char* dst) const {
    // Everything is checked before the first byte is written: a refused
    // value leaves the field as it was.
    const FieldDef& f = m_file.Layout().Field(field);
    const std::string_view trimmed = TrimBlanks(text);
    switch (f.Kind()) {
    case FieldKind::String: {
        const CodePage& page = m_file.Layout().Page();
        size_t length = text.size();
        const bool ascii = CodePage::IsAscii(text);
        if (!ascii) {
            std::string bad;
            const auto encoded = page.EncodeInto(text, nullptr, 0, &bad);
            if (!encoded)
                throw EngineError("The character \"" + bad + "\" in field " + f.name +
                                  " cannot be stored in this table (code page " + std::to_string(page.Number()) + ").");
            length = *encoded;
        }
        if (length > size_t(f.length))
            throw EngineError("The text for field " + f.name + " is " + std::to_string(length) +
                              " characters long; the field holds at most " + std::to_string(f.length) + ".");
        if (!ascii) page.EncodeInto(text, dst, length);
        else if (length > 0) std::memcpy(dst, text.data(), length);  // an empty view may point nowhere
        std::memset(dst + length, ' ', size_t(f.length) - length);
        return;
    }
    case FieldKind::Integer:
    case FieldKind::Float: {
        if (trimmed.empty()) {
            std::memset(dst, ' ', size_t(f.length));
            return;
        }
        const auto v = ParseNumber(trimmed);
        if (!v) throw EngineError("\"" + std::string(text) + "\" is not a valid number for field " + f.name + ".");
        WriteFixed(*v, f, dst);
        return;
    }
    case FieldKind::Date: {
        NeedSize(f, 8);
        if (trimmed.empty()) {
            std::memset(dst, ' ', size_t(f.length));
            return;
        }
        const auto d = CurrentDateFormat().Parse(trimmed);
        if (!d) throw EngineError("\"" + std::string(text) + "\" is not a valid date for field " + f.name + ".");
        d->ToStorage(dst);
        return;
    }
    case FieldKind::Logical: {
        char c = trimmed.size() == 1 ? trimmed[0] : '\0';
        if (trimmed.empty()) c = ' ';
        else if (c == 't' || c == 'Y' || c == 'y') c = 'T';
        else if (c == 'f' || c == 'N' || c == 'n') c = 'F';
        else if (c != 'T' && c != 'F')
            throw EngineError("\"" + std::string(text) + "\" is not a logical value for field " + f.name + ".");
        dst[0] = c;
        return;
    }
    default:
        throw EngineError("Field " + f.name + " cannot be written by this program.");
    }
}

void Table::SetText(int field, std::string_view text) {
    NeedEditing();
    const FieldDef& f = Field(field);
    if (IsBinaryNumeric(f)) {
        const std::string_view t = TrimBlanks(text);
        if (t.empty()) return SetBlank(field);
        const auto v = ParseNumber(t);
        if (!v) throw EngineError("\"" + std::string(text) + "\" is not a valid number for field " + f.name + ".");
        return SetNumber(field, *v);
    }
    if (f.type == 'T' || f.type == '@') {
        const std::string_view t = TrimBlanks(text);
        if (t.empty()) return SetBlank(field);
        const auto d = CurrentDateFormat().Parse(t);
        if (!d) throw EngineError("\"" + std::string(text) + "\" is not a valid date for field " + f.name + ".");
        return SetDate(field, d);
    }
    WriteText(field, text, EditBytes() + m_file.Layout().Offset(field));
}

void Table::SetNumber(int field, double value) {
    NeedEditing();
    const FieldDef& f = Field(field);
    char* dst = EditBytes() + m_file.Layout().Offset(field);
    switch (f.type) {
    case 'N':
    case 'F':
        WriteFixed(value, f, dst);
        return;
    case 'I':
    case '+': {
        NeedSize(f, 4);
        if (!(value >= -2147483648.0 && value <= 2147483647.0))
            throw EngineError("The number " + ShortNumberText(value) + " is too large for field " + f.name + ".");
        const int32_t v = int32_t(std::llround(value));
        std::memcpy(dst, &v, 4);
        return;
    }
    case 'Y': {
        NeedSize(f, 8);
        if (!(std::fabs(value) < 9.2e14))
            throw EngineError("The number " + ShortNumberText(value) + " is too large for field " + f.name + ".");
        const int64_t v = int64_t(std::llround(value * 10000.0));
        std::memcpy(dst, &v, 8);
        return;
    }
    case 'O':
    case 'B':
        if (f.length == 8) {
            std::memcpy(dst, &value, 8);
            return;
        }
        break;
    default:
        break;
    }
    throw EngineError("Field " + f.name + " does not hold numbers.");
}

void Table::SetDate(int field, std::optional<Date> date) {
    NeedEditing();
    const FieldDef& f = Field(field);
    char* dst = EditBytes() + m_file.Layout().Offset(field);
    if (f.type == 'D') {
        NeedSize(f, 8);
        if (date) date->ToStorage(dst);
        else std::memset(dst, ' ', 8);
        return;
    }
    if (f.type == 'T' || f.type == '@') {
        NeedSize(f, 4);
        int32_t julian = date ? int32_t(date->DayNumber() + 2440588L) : 0;
        std::memset(dst, 0, size_t(f.length));
        std::memcpy(dst, &julian, 4);
        return;
    }
    throw EngineError("Field " + f.name + " does not hold dates.");
}

void Table::SetBlank(int field) {
    NeedEditing();
    const FieldDef& f = Field(field);
    char* dst = EditBytes() + m_file.Layout().Offset(field);
    const bool binary = IsBinaryNumeric(f) || f.type == 'T' || f.type == '@';
    std::memset(dst, binary ? 0 : ' ', size_t(f.length));
}

}  // namespace store
