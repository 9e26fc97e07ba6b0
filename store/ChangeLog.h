#pragma once
// What one command changed in a table, kept so that the command can be
// undone: for every record it edited or deleted, the bytes the record held
// before the command; for the records it added, their numbers (an import's
// million records cost nothing more). Sealed once the command is over, it
// also holds how many changes of other programs the table had seen: an
// undo is refused once another program changed the table.

#include <cstdint>
#include <string>
#include <vector>

namespace store {

class Table;

class ChangeLog {
public:
    // The table tells these while the log is attached (Table::SetChangeLog).
    // An edited record keeps the bytes it had before its first change.
    void Edited(uint32_t recno, const char* before, size_t length);
    void Appended(uint32_t first, uint32_t count);

    bool Empty() const { return m_recnos.empty() && m_appendedCount == 0; }
    // Records the command changed or added.
    size_t Count() const;

    // Once the command is over: puts the edited records in record order and
    // notes the table's count of other programs' changes.
    void Seal(const Table& table);

    // For an undo of the edited records, once sealed, in ascending record
    // order: the records and the bytes to write back (one after the other).
    const std::vector<uint32_t>& Records() const { return m_undoRecnos; }
    const std::vector<char>& Restore() const { return m_restore; }
    // The added records, which an undo marks deleted.
    uint32_t AppendedFirst() const { return m_appendedFirst; }
    uint32_t AppendedCount() const { return m_appendedCount; }
    // Table::ForeignChanges() when sealed.
    uint64_t ForeignMark() const { return m_foreignMark; }

private:
    std::vector<uint32_t> m_recnos;
    std::vector<char> m_before;
    std::vector<bool> m_seen;  // by record number
    uint32_t m_appendedFirst = 0;
    uint32_t m_appendedCount = 0;
    bool m_sealed = false;
    uint64_t m_foreignMark = 0;
    std::vector<uint32_t> m_undoRecnos;
    std::vector<char> m_restore;
};

}  // namespace store
