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

size_t ChangeLog::Count() const { return (m_sealed ? m_undoRecnos.size() : m_recnos.size()) + m_appendedCount; }

void ChangeLog::Seal(const Table& table) {
    const size_t length = size_t(table.Layout().RecordLength());
    std::vector<size_t> order(m_recnos.size());
    for (size_t i = 0; i < order.size(); ++i) order[i] = i;
    std::sort(order.begin(), order.end(), [&](size_t a, size_t b) { return m_recnos[a] < m_recnos[b]; });
    m_undoRecnos.clear();
    m_restore.clear();
    m_undoRecnos.reserve(order.size());
    m_restore.reserve(order.size() * length);
    for (size_t i : order) {
        m_undoRecnos.push_back(m_recnos[i]);
        m_restore.insert(m_restore.end(), m_before.data() + i * length, m_before.data() + (i + 1) * length);
    }
    // The bytes are kept once, in record order.
    std::vector<char>().swap(m_before);
    std::vector<bool>().swap(m_seen);
    // Added records another program's pack took away are not there to
    // take back.
    if (m_appendedFirst >= table.PhysicalCount()) m_appendedCount = 0;
    else m_appendedCount = std::min(m_appendedCount, table.PhysicalCount() - m_appendedFirst);
    m_foreignMark = table.ForeignChanges();
    m_sealed = true;
}

}  // namespace store
