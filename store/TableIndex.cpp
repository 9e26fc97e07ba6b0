// The table's tags: loading, building and saving the index file, the tags
// kept in step with every change, and the indexes a user adds or removes.
#include "Table.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

#include "FileSystem.h"
#include "InTwoHalves.h"
#include "IndexFile.h"
#include "IndexKey.h"
#include "TableNames.h"

namespace store {
namespace {

// Records from..to-1 sorted by their keys under e, equal keys by record
// number, appended to out. widest learns the longest key.
void SortedKeys(const Expression& e, const DbfFile& file, uint32_t from, uint32_t to, std::vector<uint32_t>& out,
                size_t& widest) {
    const uint32_t count = to > from ? to - from : 0;
    const KeyRun keys = KeysInFileOrder(e, file, from, to);
    widest = std::max(widest, keys.longest);
    std::vector<uint32_t> order(count);
    for (uint32_t i = 0; i < count; ++i) order[i] = i;
    std::sort(order.begin(), order.end(), [&](uint32_t a, uint32_t b) { return keys.Before(a, b); });
    out.reserve(out.size() + count);
    for (uint32_t i : order) out.push_back(from + i);
}

}  // namespace

std::optional<Table::Tag> Table::TagFrom(const std::string& name, const std::string& source) const {
    Tag tag;
    tag.name = name;
    tag.source = source;
    try {
        tag.expr = std::make_unique<Expression>(source, m_file.Layout());
    } catch (const EngineError&) {
        return std::nullopt;
    }
    tag.lines = KeyFieldLines(*tag.expr, m_file.Layout());
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

bool Table::LoadIndex() {
    m_sortedAtOpen = false;
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
        return false;
    case IndexFileKind::NotAFile:
        throw EngineError("\"" + path + "\" is not an index file; the table cannot be opened while it is there.");
    case IndexFileKind::Foreign:
        m_foreignIndex = true;
        if (m_file.Mode() != DbfFile::Access::ReadOnly && m_notice.empty())
            m_notice = "The index file \"" + path +
                       "\" belongs to another program and is left as it is.  The sort order of this table is kept "
                       "in memory only.";
        ScanDeleted(0);
        return false;
    case IndexFileKind::Damaged:
        // What an interrupted write leaves: written anew.
        m_indexDirty = true;
        ScanDeleted(0);
        return false;
    case IndexFileKind::Ours:
        break;
    }
    auto content = ReadIndexFile(path);
    if (!content) {
        // Our file, but its definitions are unreadable: start without tags.
        m_indexDirty = true;
        ScanDeleted(0);
        return false;
    }
    const uint32_t count = m_file.RecordCount();
    const FileState now = m_file.State();
    bool valid = content->ordersValid && content->state == now;
    // Written for another state of the same records (a copy of the table
    // has a time of its own): worth checking against the records, which
    // costs one pass over the keys instead of a sort.
    const bool worthChecking = !valid && content->ordersValid && content->state.recordCount == now.recordCount &&
                               content->state.size == now.size;
    bool agrees = worthChecking;
    bool restamp = false;
    std::vector<char> firstBytes;  // of every record, when a check read them
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
        // The first check also reads the deletion flags, in the same pass.
        std::vector<char>* flags = firstBytes.empty() ? &firstBytes : nullptr;
        if (agrees) agrees = CheckKeyOrder(m_file, *tag.expr, t.order, flags).empty();
        tag.order.Assign(t.order);
        m_tags.push_back(std::move(tag));
    }
    if (worthChecking) {
        // Flags no check read mean an order refused before its keys were
        // made or a tag that no longer fits: the records are ordered afresh
        // below, which reads the flags itself.
        valid = false;
        if (firstBytes.size() == count) {
            TakeDeletionFlags(firstBytes);
            std::vector<uint32_t> deleted;
            for (uint32_t r = 0; r < count; ++r)
                if (m_deleted[r]) deleted.push_back(r);
            valid = agrees && deleted == content->deleted && m_tags.size() == content->tags.size();
        }
        // It describes the records: written again with their state when
        // the index is next saved.
        restamp = valid;
    } else if (valid) {
        m_deleted.assign(count, 0);
        for (uint32_t r : content->deleted) {
            if (r >= count) { valid = false; break; }
            m_deleted[r] = 1;
        }
    }
    if (!valid) {
        RebuildAll();
        m_indexDirty = true;
        m_sortedAtOpen = true;
    }
    return restamp;
}

namespace {

// A record's first byte: only a blank marks a live record; '*' and anything
// else are not delivered, and an end mark (kEndFlag) is looked at later.
constexpr uint8_t kEndFlag = 2;
uint8_t DeletionFlag(char first) { return first == ' ' ? 0 : first == 0x1A ? kEndFlag : 1; }

}  // namespace

void Table::ScanDeleted(uint32_t from) {
    const uint32_t count = m_file.RecordCount();
    m_deleted.resize(count);
    if (from >= count) return;
    // The flags are read in two halves at once; the end marks afterwards,
    // here alone.
    InTwoHalves(count - from, [&](uint32_t first, uint32_t last) {
        m_file.ForEachRecord(from + first, from + last,
                             [&](uint32_t r, const char* record) { m_deleted[r] = DeletionFlag(record[0]); });
    });
    RepairEndMarks(from);
}

void Table::TakeDeletionFlags(const std::vector<char>& firstBytes) {
    m_deleted.resize(firstBytes.size());
    for (size_t r = 0; r < firstBytes.size(); ++r) m_deleted[r] = DeletionFlag(firstBytes[r]);
    RepairEndMarks(0);
}

void Table::RepairEndMarks(uint32_t from) {
    for (uint32_t r = from; r < m_deleted.size(); ++r) {
        if (m_deleted[r] != kEndFlag) continue;
        m_deleted[r] = 1;
        // An append killed before its last byte: readers going by the end
        // mark would stop here, and the append would keep only some of the
        // records its count took in.
        if (m_file.Mode() != DbfFile::Access::ReadOnly && m_file.RepairInterruptedAppend(r)) m_deleted[r] = 0;
    }
}

void Table::BuildTag(Tag& tag) {
    const uint32_t count = m_file.RecordCount();
    std::vector<uint32_t> order;
    SortedKeys(*tag.expr, m_file, 0, count, order, m_widestKey);
    tag.order.Assign(order);
    tag.probed.clear();
}

void Table::MergeIntoTag(Tag& tag, uint32_t from, uint32_t to) {
    std::vector<uint32_t> added;
    SortedKeys(*tag.expr, m_file, from, to, added, m_widestKey);
    RecordOrder& order = tag.order;
    const size_t n = order.size(), k = added.size();
    if (k == 0) return;
    if (n == 0) {
        order.Assign(added);
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
        // against log n others) and goes in there; a user's one or few new
        // items each search alone.
        constexpr size_t kFewAlone = 16;
        size_t lo = 0;
        for (size_t j = 0; j < k; ++j) {
            keyOf(added[j], key);
            lo = KeyLowerBound(tag, order, key, added[j], lo, n + j, k <= kFewAlone);
            order.insert(lo, added[j]);
            ++lo;
        }
        return;
    }
    // Many: one walk over both orders, every key read once. The old records
    // come in key order, scattered over the file: the bytes of their key
    // fields are asked for a few records ahead.
    const std::vector<size_t>& lines = tag.lines;
    constexpr size_t kAhead = 24;
    const std::vector<uint32_t> old(order.begin(), order.end());
    std::vector<uint32_t> merged;
    merged.reserve(n + k);
    size_t j = 0;
    bool haveKey = false;
    for (size_t i = 0; i < n; ++i) {
        if (i + kAhead < n) {
            AskForLines(m_file.Record(old[i + kAhead]), lines);
        }
        const uint32_t r = old[i];
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
    order.Assign(merged);
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
            if (kind == IndexFileKind::Ours || kind == IndexFileKind::Damaged) ::unlink(files::ResolvedPath(path).c_str());
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
    for (const auto& t : m_tags)
        content.tags.push_back({t.name, t.source, std::vector<uint32_t>(t.order.begin(), t.order.end())});
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

size_t Table::KeyLowerBound(const Tag& tag, const RecordOrder& order, const std::string& key, uint32_t recno,
                            size_t lo, size_t hi, bool alone) const {
    const RecordLayout& layout = m_file.Layout();
    std::string other;
    // Each step reads a record far from the last: in a run, the two records
    // the next step may read are asked for while this one's key is made.
    auto ask = [&](size_t at) { AskForLines(m_file.Record(order[at]), tag.lines); };
    while (lo < hi) {
        const size_t mid = lo + (hi - lo) / 2;
        const uint32_t r = order[mid];
        const std::string* theirs = &other;
        if (alone) {
            theirs = &ProbedKey(tag, r);
        } else {
            if (mid > lo) ask(lo + (mid - lo) / 2);
            if (mid + 1 < hi) ask(mid + 1 + (hi - mid - 1) / 2);
            KeyOf(*tag.expr, RecordView(m_file.Record(r), layout), other);
        }
        const int c = CompareKeys(*theirs, key);
        if (c < 0 || (c == 0 && r < recno)) lo = mid + 1;
        else hi = mid;
    }
    return lo;
}

const std::string& Table::ProbedKey(const Tag& tag, uint32_t recno) const {
    if (const auto it = tag.probed.find(recno); it != tag.probed.end()) return it->second;
    // Bounded: a table's worth of keys is not kept for the searches.
    constexpr size_t kMostProbed = size_t(1) << 16;
    if (tag.probed.size() >= kMostProbed) tag.probed.clear();
    CopyRecord(recno, m_probeRecord);
    std::string& key = tag.probed[recno];
    KeyOf(*tag.expr, RecordView(m_probeRecord.data(), m_file.Layout()), key);
    return key;
}

void Table::CopyRecord(uint32_t recno, std::vector<char>& out) const {
    const size_t len = size_t(m_file.Layout().RecordLength());
    out.resize(len);
    // What the file no longer holds is read as the mapping shows it.
    if (!m_file.CopyRecord(recno, out.data())) std::memcpy(out.data(), m_file.Record(recno), len);
}

void Table::TagInsert(Tag& tag, uint32_t recno) {
    std::string key;
    KeyOf(*tag.expr, RecordView(m_file.Record(recno), m_file.Layout()), key);
    const size_t pos = KeyLowerBound(tag, tag.order, key, recno, 0, tag.order.size());
    tag.order.insert(pos, recno);
}

void Table::TagErase(Tag& tag, uint32_t recno) {
    tag.probed.erase(recno);
    const size_t pos = tag.order.Find(recno);
    if (pos < tag.order.size()) tag.order.erase(pos);
}

}  // namespace store
