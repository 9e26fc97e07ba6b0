#include "Table.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include "IndexFile.h"
#include "IndexKey.h"

namespace store {
namespace {

std::string Lower(std::string s) {
    for (char& c : s)
        if (c >= 'A' && c <= 'Z') c = char(c + 32);
    return s;
}

bool SameName(const std::string& a, const std::string& b) { return Lower(a) == Lower(b); }

bool Exists(const std::string& path) {
    struct stat st{};
    return ::stat(path.c_str(), &st) == 0;
}

std::string Join(const std::string& dir, const std::string& name) {
    if (dir.empty()) return name;
    if (dir.back() == '/') return dir + name;
    return dir + "/" + name;
}

// New records collected in a bulk append are written about this many bytes
// at a time.
constexpr size_t kBatchBytes = size_t(256) << 10;
// Bytes a merge of new records into a tag may hold at once.
constexpr size_t kMergeBytes = size_t(32) << 20;

bool HasDbfExtension(const std::string& name) {
    return name.size() > 4 && Lower(name.substr(name.size() - 4)) == ".dbf";
}

// Records from..to-1 sorted by their keys under e, equal keys by record
// number, appended to out. widest learns the longest key.
void SortedKeys(const Expression& e, const DbfFile& file, uint32_t from, uint32_t to, std::vector<uint32_t>& out,
                size_t& widest) {
    const uint32_t count = to > from ? to - from : 0;
    const RecordLayout& layout = file.Layout();
    std::string keys;
    std::vector<uint32_t> offsets(size_t(count) + 1, 0);
    std::string key;
    bool sameLength = true;
    size_t firstLength = 0, longest = 0;
    for (uint32_t i = 0; i < count; ++i) {
        KeyOf(e, RecordView(file.Record(from + i), layout), key);
        if (i == 0) {
            firstLength = key.size();
            keys.reserve(firstLength * count);
        } else if (key.size() != firstLength) {
            sameLength = false;
        }
        longest = std::max(longest, key.size());
        keys += key;
        offsets[i + 1] = uint32_t(keys.size());
    }
    widest = std::max(widest, longest);
    std::vector<uint32_t> order(count);
    for (uint32_t i = 0; i < count; ++i) order[i] = i;
    const char* base = keys.data();
    if (sameLength) {
        const size_t len = firstLength;
        std::sort(order.begin(), order.end(), [&](uint32_t a, uint32_t b) {
            const int c = std::memcmp(base + size_t(a) * len, base + size_t(b) * len, len);
            return c < 0 || (c == 0 && a < b);
        });
    } else {
        std::sort(order.begin(), order.end(), [&](uint32_t a, uint32_t b) {
            const int c = CompareKeys(std::string_view(base + offsets[a], offsets[a + 1] - offsets[a]),
                                      std::string_view(base + offsets[b], offsets[b + 1] - offsets[b]));
            return c < 0 || (c == 0 && a < b);
        });
    }
    out.reserve(out.size() + count);
    for (uint32_t i : order) out.push_back(from + i);
}

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
    const std::string exact = Join(m_directory, file);
    if (Exists(exact)) return exact;
    if (DIR* d = ::opendir(m_directory.c_str())) {
        std::string found;
        const std::string wanted = Lower(file);
        while (dirent* e = ::readdir(d)) {
            if (Lower(e->d_name) == wanted) {
                found = e->d_name;
                break;
            }
        }
        ::closedir(d);
        if (!found.empty()) return Join(m_directory, found);
    }
    return exact;
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
            RemoveStaleTemporaryFiles(p);
            const std::string target = ResolvedPath(p);
            if (target != p) RemoveStaleTemporaryFiles(target);
        }
    }
    try {
        LoadIndex();
        m_tagged = m_file.RecordCount();
        RestoreTagsKeptInMemory();
        if (!m_activeName.empty()) {
            m_active = FindTag(m_activeName);
            if (!m_active) throw EngineError("The index tag " + m_activeName + " does not exist for table " + m_tableName + ".");
        }
        if (m_indexDirty) SaveIndex();
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

std::optional<Table::Tag> Table::TagFrom(const std::string& name, const std::string& source) const {
    Tag tag;
    tag.name = name;
    tag.source = source;
    try {
        tag.expr = std::make_unique<Expression>(source, m_file.Layout());
    } catch (const EngineError&) {
        return std::nullopt;
    }
    return tag;
}

void Table::RestoreTagsKeptInMemory() {
    // Tags that could not be saved last time live on for as long as this
    // handle names the same table.
    for (const auto& [name, source] : m_memoryTags) {
        if (FindTag(name)) continue;
        auto tag = TagFrom(name, source);
        if (!tag) continue;
        BuildTag(*tag);
        m_tags.push_back(std::move(*tag));
        m_tagsAdded.push_back(name);
        m_indexDirty = true;
    }
    m_memoryTags.clear();
}

void Table::LoadIndex() {
    m_tags.clear();
    m_active = nullptr;
    m_foreignIndex = false;
    m_indexDirty = false;
    m_tagsAtSync.clear();
    m_tagsAdded.clear();
    m_tagsDeleted.clear();
    const std::string path = IndexPathFor(m_file.Path());
    switch (ProbeIndexFile(path)) {
    case IndexFileKind::Missing:
        // A handle that only reads can do without it; one that writes
        // would otherwise leave the header announcing a file that is gone.
        if (m_file.ProductionIndexFlag() && m_file.Mode() != DbfFile::Access::ReadOnly)
            throw EngineError("The index file \"" + path + "\" that the table announces is missing.");
        ScanDeleted(0);
        return;
    case IndexFileKind::NotAFile:
        throw EngineError("\"" + path + "\" is not an index file; the table cannot be opened while it is there.");
    case IndexFileKind::Foreign:
        m_foreignIndex = true;
        if (m_file.Mode() != DbfFile::Access::ReadOnly && m_notice.empty())
            m_notice = "The index file \"" + path +
                       "\" belongs to another program and is left as it is.  The sort order of this table is kept "
                       "in memory only.";
        ScanDeleted(0);
        return;
    case IndexFileKind::Damaged:
        // What an interrupted write leaves: written anew.
        m_indexDirty = true;
        ScanDeleted(0);
        return;
    case IndexFileKind::Ours:
        break;
    }
    auto content = ReadIndexFile(path);
    if (!content) {
        // Our file, but its definitions are unreadable: start without tags.
        m_indexDirty = true;
        ScanDeleted(0);
        return;
    }
    const uint32_t count = m_file.RecordCount();
    bool valid = content->ordersValid && content->state == m_file.State();
    for (auto& t : content->tags) {
        m_tagsAtSync.push_back(t.name);
        auto made = TagFrom(t.name, t.expression);
        if (!made) {
            m_indexDirty = true;  // the tag does not fit this table any more
            m_tagsDeleted.push_back(t.name);
            continue;
        }
        Tag& tag = *made;
        if (valid) {
            if (t.order.size() != count) valid = false;
            std::vector<uint8_t> seen(count, 0);
            for (uint32_t r : t.order) {
                if (!valid) break;
                if (r >= count || seen[r]) valid = false;
                else seen[r] = 1;
            }
        }
        tag.order = std::move(t.order);
        m_tags.push_back(std::move(tag));
    }
    if (valid) {
        m_deleted.assign(count, 0);
        for (uint32_t r : content->deleted) {
            if (r >= count) { valid = false; break; }
            m_deleted[r] = 1;
        }
    }
    if (!valid) {
        RebuildAll();
        m_indexDirty = true;
    }
}

void Table::ScanDeleted(uint32_t from) {
    const uint32_t count = m_file.RecordCount();
    m_deleted.resize(count);
    // Only a blank flag marks a live record; '*' and anything else are not delivered.
    for (uint32_t r = from; r < count; ++r) {
        const char flag = m_file.Record(r)[0];
        m_deleted[r] = flag == ' ' ? 0 : 1;
        // An append killed before its last byte: readers going by the end
        // mark would stop here, and the append would keep only some of the
        // records its count took in.
        if (flag == 0x1A && m_file.Mode() != DbfFile::Access::ReadOnly && m_file.RepairInterruptedAppend(r))
            m_deleted[r] = 0;
    }
}

void Table::BuildTag(Tag& tag) {
    const uint32_t count = m_file.RecordCount();
    tag.order.clear();
    SortedKeys(*tag.expr, m_file, 0, count, tag.order, m_widestKey);
}

void Table::MergeIntoTag(Tag& tag, uint32_t from, uint32_t to) {
    std::vector<uint32_t> added;
    SortedKeys(*tag.expr, m_file, from, to, added, m_widestKey);
    std::vector<uint32_t>& order = tag.order;
    const size_t n = order.size(), k = added.size();
    if (k == 0) return;
    if (n == 0) {
        order = std::move(added);
        return;
    }
    // Every record of the order comes before the new ones: of equal keys,
    // the old record stays first.
    const RecordLayout& layout = m_file.Layout();
    std::string key, other;
    auto keyOf = [&](uint32_t r, std::string& out) { KeyOf(*tag.expr, RecordView(m_file.Record(r), layout), out); };
    size_t log = 1;
    while ((size_t(1) << log) <= n) ++log;
    if (k * log < n) {
        // A few new records: each finds its place by halving (its key
        // against log n others), then one move from the back places all.
        std::vector<size_t> at(k);
        size_t lo = 0;
        for (size_t j = 0; j < k; ++j) {
            keyOf(added[j], key);
            size_t hi = n;
            while (lo < hi) {
                const size_t mid = lo + (hi - lo) / 2;
                keyOf(order[mid], other);
                if (CompareKeys(other, key) <= 0) lo = mid + 1;
                else hi = mid;
            }
            at[j] = lo;
        }
        order.resize(n + k);
        size_t end = n;
        for (size_t j = k; j-- > 0;) {
            const auto moved = order.begin() + long(at[j]);
            std::move_backward(moved, order.begin() + long(end), order.begin() + long(end + j + 1));
            order[at[j] + j] = added[j];
            end = at[j];
        }
        return;
    }
    // Many: one walk over both orders, every key read once. The old records
    // come in key order, scattered over the file: the bytes of their key
    // fields are asked for a few records ahead.
    std::vector<size_t> lines;
    for (int field : tag.expr->Fields()) {
        const size_t first = size_t(layout.Offset(field)), last = first + size_t(layout.Field(field).length) - 1;
        for (size_t at = first; at < last; at += 64) lines.push_back(at);
        lines.push_back(last);
    }
    constexpr size_t kAhead = 24;
    std::vector<uint32_t> merged;
    merged.reserve(n + k);
    size_t j = 0;
    bool haveKey = false;
    for (size_t i = 0; i < n; ++i) {
        if (i + kAhead < n) {
            const char* ahead = m_file.Record(order[i + kAhead]);
            for (size_t at : lines) __builtin_prefetch(ahead + at);
        }
        const uint32_t r = order[i];
        keyOf(r, other);
        while (j < k) {
            if (!haveKey) keyOf(added[j], key);
            haveKey = true;
            if (CompareKeys(key, other) >= 0) break;
            merged.push_back(added[j++]);
            haveKey = false;
        }
        merged.push_back(r);
    }
    merged.insert(merged.end(), added.begin() + long(j), added.end());
    order = std::move(merged);
}

void Table::CatchUpTags() {
    const uint32_t count = m_file.RecordCount();
    if (m_tagged < count)
        for (auto& t : m_tags) MergeIntoTag(t, m_tagged, count);
    m_tagged = count;
}

void Table::RebuildAll() {
    ScanDeleted(0);
    for (auto& t : m_tags) BuildTag(t);
    m_tagged = m_file.RecordCount();
    m_active = m_activeName.empty() ? nullptr : FindTag(m_activeName);
    InvalidateView();
}

void Table::SaveIndex() {
    if (!IsOpen() || m_foreignIndex || m_file.Mode() == DbfFile::Access::ReadOnly) return;
    CatchUpTags();
    const std::string path = IndexPathFor(m_file.Path());
    // Another copy of the program may write the file too: its tags are
    // read again and kept, under a lock both copies take.
    try {
        m_file.LockIndex();
    } catch (const EngineError& e) {
        KeepIndexInMemory(e.what());
        return;
    }
    try {
        const uint32_t before = m_file.RecordCount();
        if (m_file.Sync()) OnForeignChange(before);
        MergeTagsFromFile(path);
    } catch (...) {
        m_file.UnlockIndex();
        throw;
    }
    try {
        if (m_tags.empty()) {
            // The header stops announcing the file before it goes.
            m_file.SetProductionIndexFlag(false);
            const IndexFileKind kind = ProbeIndexFile(path);
            // Through a link the file goes and the link stays.
            if (kind == IndexFileKind::Ours || kind == IndexFileKind::Damaged) ::unlink(ResolvedPath(path).c_str());
        } else {
            // The file first, then the header's announcement of it.
            WriteIndexContent(path);
            if (!m_file.ProductionIndexFlag()) {
                m_file.SetProductionIndexFlag(true);
                WriteIndexContent(path);  // the flag changed the file's time
            }
        }
    } catch (const EngineError& e) {
        m_file.UnlockIndex();
        KeepIndexInMemory(e.what());
        return;
    }
    m_file.UnlockIndex();
    m_indexDirty = false;
    m_tagsAtSync.clear();
    for (const auto& t : m_tags) m_tagsAtSync.push_back(t.name);
    m_tagsAdded.clear();
    m_tagsDeleted.clear();
}

void Table::WriteIndexContent(const std::string& path) {
    IndexFileContent content;
    content.state = m_file.State();
    for (uint32_t r = 0; r < m_deleted.size(); ++r)
        if (m_deleted[r]) content.deleted.push_back(r);
    for (const auto& t : m_tags) content.tags.push_back({t.name, t.source, t.order});
    content.ordersValid = true;
    WriteIndexFile(path, content);
}

void Table::MergeTagsFromFile(const std::string& path) {
    if (ProbeIndexFile(path) != IndexFileKind::Ours) return;
    const auto content = ReadIndexFile(path);
    if (!content) return;
    auto listed = [](const std::vector<std::string>& names, const std::string& name) {
        return std::any_of(names.begin(), names.end(), [&](const std::string& n) { return SameName(n, name); });
    };
    auto inFile = [&](const std::string& name) {
        return std::any_of(content->tags.begin(), content->tags.end(),
                           [&](const IndexFileTag& t) { return SameName(t.name, name); });
    };
    // Tags another copy removed since this one last read the file go
    // here too, unless this copy made them again or orders by them.
    bool changed = false;
    for (auto it = m_tags.begin(); it != m_tags.end();) {
        if (listed(m_tagsAtSync, it->name) && !listed(m_tagsAdded, it->name) && !inFile(it->name) &&
            !SameName(it->name, m_activeName)) {
            it = m_tags.erase(it);
            changed = true;
        } else {
            ++it;
        }
    }
    // Tags another copy added are built here and kept.
    for (const auto& t : content->tags) {
        if (FindTag(t.name) || listed(m_tagsDeleted, t.name) || listed(m_tagsAtSync, t.name)) continue;
        auto tag = TagFrom(t.name, t.expression);
        if (!tag) continue;
        BuildTag(*tag);
        m_tags.push_back(std::move(*tag));
        changed = true;
    }
    if (changed) {
        m_active = m_activeName.empty() ? nullptr : FindTag(m_activeName);
        InvalidateView();
    }
}

void Table::KeepIndexInMemory(const std::string& why) {
    // The records stay as they are on the disk; the order lives on here.
    m_file.DropWriteAccess();
    m_indexDirty = false;
    if (m_notice.empty())
        m_notice = why + "  The table is open for reading only; its sort order is kept in memory.";
}

void Table::OnForeignChange(uint32_t) {
    // Another program changed the file: what it changed is unknown, so the
    // tags are rebuilt from the records.
    RebuildAll();
    m_indexDirty = true;
}

void Table::Close() {
    if (!IsOpen()) return;
    Cancel();
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

Table::Tag* Table::FindTag(const std::string& name) {
    for (auto& t : m_tags)
        if (SameName(t.name, name)) return &t;
    return nullptr;
}

const Table::Tag* Table::FindTag(const std::string& name) const {
    for (const auto& t : m_tags)
        if (SameName(t.name, name)) return &t;
    return nullptr;
}

void Table::AddIndex(const std::string& name, const std::string& expression) {
    if (!IsOpen()) {
        const std::string active = m_activeName;
        m_activeName.clear();
        try {
            Open();
            AddIndex(name, expression);
        } catch (...) {
            Close();
            m_activeName = active;
            throw;
        }
        Close();
        m_activeName = active;
        return;
    }
    if (name.empty() || name.size() > 10) throw EngineError("An index tag name must be 1 to 10 characters long.");
    if (FindTag(name)) throw EngineError("An index tag named " + name + " already exists.");
    if (m_state != State::Browse) Post();
    CatchUpTags();  // the new tag covers the whole file
    Tag tag;
    tag.name = name;
    tag.source = expression;
    tag.expr = std::make_unique<Expression>(expression, m_file.Layout());
    BuildTag(tag);
    m_tags.push_back(std::move(tag));
    m_tagsAdded.push_back(name);
    m_active = m_activeName.empty() ? nullptr : FindTag(m_activeName);
    m_indexDirty = true;
    SaveIndex();
}

void Table::DeleteIndex(const std::string& name) {
    if (!IsOpen()) {
        const std::string active = m_activeName;
        m_activeName.clear();
        try {
            Open();
            DeleteIndex(name);
        } catch (...) {
            Close();
            m_activeName = SameName(active, name) ? std::string() : active;
            throw;
        }
        Close();
        m_activeName = SameName(active, name) ? std::string() : active;
        return;
    }
    const auto it = std::find_if(m_tags.begin(), m_tags.end(), [&](const Tag& t) { return SameName(t.name, name); });
    if (it == m_tags.end()) throw EngineError("The index tag " + name + " does not exist.");
    if (SameName(m_activeName, name)) m_activeName.clear();
    m_tagsDeleted.push_back(it->name);
    m_tagsAdded.erase(std::remove_if(m_tagsAdded.begin(), m_tagsAdded.end(),
                                     [&](const std::string& n) { return SameName(n, name); }),
                      m_tagsAdded.end());
    m_tags.erase(it);
    m_active = m_activeName.empty() ? nullptr : FindTag(m_activeName);
    InvalidateView();
    m_indexDirty = true;
    SaveIndex();
}

std::vector<std::string> Table::IndexNames() const {
    NeedOpen();
    std::vector<std::string> names;
    for (const auto& t : m_tags) names.push_back(t.name);
    return names;
}

std::string Table::IndexExpression(const std::string& name) const {
    NeedOpen();
    const Tag* t = FindTag(name);
    if (!t) throw EngineError("The index tag " + name + " does not exist.");
    return t->source;
}

void Table::SetActiveIndex(const std::string& name) {
    if (!IsOpen()) {
        m_activeName = name;
        return;
    }
    if (m_state != State::Browse) Post();
    if (name.empty()) {
        m_activeName.clear();
        m_active = nullptr;
    } else {
        Tag* t = FindTag(name);
        if (!t) throw EngineError("The index tag " + name + " does not exist.");
        m_activeName = t->name;
        m_active = t;
    }
    InvalidateView();
}

void Table::RegenerateIndexes() {
    NeedWritable();
    if (m_state != State::Browse) Post();
    m_file.Sync();
    RebuildAll();
    m_indexDirty = true;
    SaveIndex();
    if (m_current && (*m_current >= m_file.RecordCount() || m_deleted[*m_current])) m_current.reset();
}

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

void Table::SetFilter(Filter filter) {
    m_filter = std::move(filter);
    InvalidateView();
}

void Table::SetFiltered(bool on) {
    m_filtered = on;
    InvalidateView();
}

bool Table::Delivered(uint32_t recno) const {
    if (recno >= m_deleted.size() || m_deleted[recno]) return false;
    if (m_filtered && m_filter) return m_filter(RecordView(m_file.Record(recno), m_file.Layout()));
    return true;
}

void Table::EnsureView() {
    FlushPending();
    if (m_viewValid) return;
    m_view.clear();
    const uint32_t count = m_file.RecordCount();
    m_view.reserve(count);
    const RecordLayout& layout = m_file.Layout();
    const bool filtering = m_filtered && bool(m_filter);
    auto consider = [&](uint32_t r) {
        if (m_deleted[r]) return;
        if (filtering && !m_filter(RecordView(m_file.Record(r), layout))) return;
        m_view.push_back(r);
    };
    if (m_active && filtering) {
        // Asking the filter in file order reads the records front to back;
        // in key order every record would be a jump across the file.
        std::vector<uint8_t> accepted(count, 0);
        for (uint32_t r = 0; r < count; ++r)
            accepted[r] = !m_deleted[r] && m_filter(RecordView(m_file.Record(r), layout));
        for (uint32_t r : m_active->order)
            if (accepted[r]) m_view.push_back(r);
    } else if (m_active) {
        for (uint32_t r : m_active->order) consider(r);
    } else {
        for (uint32_t r = 0; r < count; ++r) consider(r);
    }
    m_viewValid = true;
    if (m_current) m_pos = PositionOf(*m_current);
}

size_t Table::PositionOf(uint32_t recno) {
    if (!m_active) return size_t(std::lower_bound(m_view.begin(), m_view.end(), recno) - m_view.begin());
    const RecordLayout& layout = m_file.Layout();
    std::string key, other;
    KeyOf(*m_active->expr, RecordView(m_file.Record(recno), layout), key);
    size_t lo = 0, hi = m_view.size();
    while (lo < hi) {
        const size_t mid = (lo + hi) / 2;
        const uint32_t r = m_view[mid];
        KeyOf(*m_active->expr, RecordView(m_file.Record(r), layout), other);
        const int c = CompareKeys(other, key);
        if (c < 0 || (c == 0 && r < recno)) lo = mid + 1;
        else hi = mid;
    }
    return lo;
}

size_t Table::TagLowerBound(const Tag& tag, const std::string& key, uint32_t recno) const {
    const RecordLayout& layout = m_file.Layout();
    std::string other;
    size_t lo = 0, hi = tag.order.size();
    while (lo < hi) {
        const size_t mid = (lo + hi) / 2;
        const uint32_t r = tag.order[mid];
        KeyOf(*tag.expr, RecordView(m_file.Record(r), layout), other);
        const int c = CompareKeys(other, key);
        if (c < 0 || (c == 0 && r < recno)) lo = mid + 1;
        else hi = mid;
    }
    return lo;
}

void Table::TagInsert(Tag& tag, uint32_t recno) {
    std::string key;
    KeyOf(*tag.expr, RecordView(m_file.Record(recno), m_file.Layout()), key);
    const size_t pos = TagLowerBound(tag, key, recno);
    tag.order.insert(tag.order.begin() + long(pos), recno);
}

void Table::TagErase(Tag& tag, uint32_t recno, const char* oldRecord) {
    std::string key;
    KeyOf(*tag.expr, RecordView(oldRecord, m_file.Layout()), key);
    size_t pos = TagLowerBound(tag, key, recno);
    if (pos >= tag.order.size() || tag.order[pos] != recno) {
        const auto it = std::find(tag.order.begin(), tag.order.end(), recno);
        if (it == tag.order.end()) return;
        pos = size_t(it - tag.order.begin());
    }
    tag.order.erase(tag.order.begin() + long(pos));
}

uint32_t Table::RecordCount() {
    NeedOpen();
    EnsureView();
    return uint32_t(m_view.size());
}

const std::vector<uint32_t>& Table::DeliveredRecords() {
    NeedOpen();
    EnsureView();
    return m_view;
}

void Table::Refresh() {
    NeedOpen();
    if (m_state != State::Browse) Post();
    const uint32_t before = m_file.RecordCount();
    if (m_file.Sync()) OnForeignChange(before);
    InvalidateView();
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
        if (m_pendingCount >= batch) {
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
    if (m_state == State::Insert) {
        bool foreign = false;
        TakeEditOutOfPending();
        m_buffer[0] = ' ';
        recno = m_file.AppendRecord(m_buffer.data(), &foreign);
        if (foreign) {
            OnForeignChange(before);
        } else {
            m_deleted.resize(m_file.RecordCount(), 0);
            CatchUpTags();
        }
    } else {
        recno = *m_current;
        std::vector<char> old;
        if (!m_tags.empty()) {
            const char* rec = m_file.Record(recno);
            old.assign(rec, rec + m_file.Layout().RecordLength());
        }
        if (m_editObserver) m_editObserver(recno, m_file.Record(recno), m_buffer.data());
        const bool foreign = m_file.WriteRecord(recno, m_buffer.data());
        if (foreign) {
            OnForeignChange(before);
        } else {
            for (auto& t : m_tags) {
                TagErase(t, recno, old.data());
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
    // One edited record moves within the view instead of the view being
    // built again: a run over every record stays linear.
    if (!edited || !MoveInView(recno)) InvalidateView();
    m_bof = m_eof = false;
}

bool Table::MoveInView(uint32_t recno) {
    if (!m_viewValid) return false;
    size_t at = m_view.size();
    if (m_pos < m_view.size() && m_view[m_pos] == recno) {
        at = m_pos;
    } else if (!m_active) {
        const auto it = std::lower_bound(m_view.begin(), m_view.end(), recno);
        if (it != m_view.end() && *it == recno) at = size_t(it - m_view.begin());
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
    m_view.erase(m_view.begin() + long(at));
    const size_t pos = PositionOf(recno);
    if (wanted) m_view.insert(m_view.begin() + long(pos), recno);
    m_pos = pos;
    return true;
}

void Table::BeginBulkAppend() {
    NeedWritable();
    if (m_state != State::Browse) Post();
    m_bulk = true;
    m_bulkAccepted = 0;
    m_bulkWritten = 0;
}

uint32_t Table::EndBulkAppend() {
    m_bulk = false;
    if (IsOpen()) TakeEditOutOfPending();  // a record being filled is posted on its own
    if (IsOpen()) FlushPending();
    return m_bulkWritten;
}

void Table::FlushPending() {
    try {
        WritePending();
    } catch (...) {
        CatchUpTags();  // the batches written before stay, and in order
        throw;
    }
    CatchUpTags();
}

void Table::WritePending() {
    if (m_pendingCount == 0) return;
    const uint32_t before = m_file.RecordCount();
    const uint32_t count = m_pendingCount;
    bool foreign = false;
    uint32_t first = 0;
    try {
        first = m_file.AppendRecords(m_pending.data(), count, &foreign);
    } catch (const EngineError& e) {
        // None of these reached the file (it is as it was); the caller
        // learns how many of the run did.
        DropCollected();
        throw EngineError(std::string(e.what()) + "  Only " + std::to_string(m_bulkWritten) + " of the " +
                          std::to_string(m_bulkAccepted) + " new records were written; the others were not saved.");
    }
    m_bulkWritten += count;
    DropCollected();
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
    const char* rec = m_file.Record(recno);
    std::vector<char> marked(rec, rec + m_file.Layout().RecordLength());
    marked[0] = '*';
    const bool foreign = m_file.WriteRecord(recno, marked.data());
    if (foreign) OnForeignChange(before);
    m_deleted[recno] = 1;
    m_indexDirty = true;
    if (!foreign && m_viewValid && m_pos < m_view.size() && m_view[m_pos] == recno) {
        // Only this record leaves the view; the rest keeps its order.
        m_view.erase(m_view.begin() + long(m_pos));
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
        if (ascii) std::memcpy(dst, text.data(), length);
        else page.EncodeInto(text, dst, length);
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
