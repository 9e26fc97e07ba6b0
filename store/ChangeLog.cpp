#include "ChangeLog.h"

#include <algorithm>
#include <cstring>

#include "Table.h"

namespace store {

void ChangeLog::Edited(uint32_t recno, const char* before, size_t length) {
    if (m_appendedCount > 0 && recno >= m_appendedFirst && recno - m_appendedFirst < m_appendedCount) return;
    if (recno >= m_seen.size()) m_seen.resize(std::max<size_t>(size_t(recno) + 1, m_seen.size() * 2));
    if (m_seen[recno]) return;
    m_seen[recno] = true;
    m_recnos.push_back(recno);
    m_before.insert(m_before.end(), before, before + length);
}

void ChangeLog::Appended(uint32_t first, uint32_t count) {
    if (count == 0) return;
    if (m_appendedCount == 0) {
        m_appendedFirst = first;
        m_appendedCount = count;
        return;
    }
    // Runs of one command follow each other; another program's records
    // between them are taken in (an undo finds them and asks first).
    const uint32_t end = std::max(m_appendedFirst + m_appendedCount, first + count);
    m_appendedFirst = std::min(m_appendedFirst, first);
    m_appendedCount = end - m_appendedFirst;
}

size_t ChangeLog::Count() const { return m_recnos.size() + m_appendedCount; }

void ChangeLog::Seal(const Table& table) {
    const size_t length = size_t(table.Layout().RecordLength());
    // Every record once, in ascending order; an added record has nothing
    // to go back to.
    std::vector<std::pair<uint32_t, const char*>> all;
    all.reserve(Count());
    for (size_t i = 0; i < m_recnos.size(); ++i) all.emplace_back(m_recnos[i], m_before.data() + i * length);
    for (uint32_t r = m_appendedFirst; r < m_appendedFirst + m_appendedCount && r < table.PhysicalCount(); ++r)
        all.emplace_back(r, nullptr);
    std::sort(all.begin(), all.end());
    m_undoRecnos.clear();
    m_expected.clear();
    m_restore.clear();
    m_undoRecnos.reserve(all.size());
    m_expected.reserve(all.size() * length);
    m_restore.reserve(all.size() * length);
    for (const auto& [recno, restore] : all) {
        const char* now = table.ViewOf(recno).Data();
        m_undoRecnos.push_back(recno);
        m_expected.insert(m_expected.end(), now, now + length);
        m_restore.insert(m_restore.end(), restore ? restore : now, (restore ? restore : now) + length);
        if (!restore) m_restore[m_restore.size() - length] = '*';
    }
    m_sealed = true;
}

}  // namespace store
