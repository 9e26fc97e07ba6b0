#pragma once
// A sequence of record numbers: an index tag's order, or the records a table
// delivers. It is kept in blocks of a few thousand, so that one record goes
// in or out anywhere by moving the rest of its block and the blocks'
// starting places, not everything behind it: a single change costs about
// the same at a million records as at ten thousand. Reading by position
// remembers the block it last read, so that walking the sequence costs no
// search per step. A sequence made locatable also knows which block holds
// each record, from the first time a record is looked for on (building,
// opening and filtering pay nothing for it), so that the place of a record
// is found by looking through one block instead of comparing keys across
// the file. Each record appears
// at most once in a locatable sequence. Not for use from two threads at
// once.

#include <cstddef>
#include <cstdint>
#include <iterator>
#include <vector>

namespace store {

class RecordOrder {
public:
    explicit RecordOrder(bool locatable = false) : m_locatable(locatable) {}

    void Assign(const std::vector<uint32_t>& records);
    size_t size() const { return m_size; }
    bool empty() const { return m_size == 0; }
    void clear();

    uint32_t operator[](size_t pos) const {
        size_t b = m_finger;
        if (b >= m_blocks.size() || pos < m_starts[b] || pos - m_starts[b] >= m_blocks[b].size()) b = BlockOf(pos);
        m_finger = b;
        return m_blocks[b][pos - m_starts[b]];
    }
    void insert(size_t pos, uint32_t recno);
    void erase(size_t pos);
    void push_back(uint32_t recno);

    // The place of the first record not below recno, for a sequence in
    // ascending record numbers (a table's records in file order).
    size_t LowerBound(uint32_t recno) const;
    // The place of recno, size() when it is not there: through the blocks'
    // records when locatable, else by looking at every record.
    size_t Find(uint32_t recno) const;
    // The whole sequence in one piece, made when first asked for after a
    // change and kept until the next, which empties it.
    const std::vector<uint32_t>& Flat() const;

    class Iterator {
    public:
        using iterator_category = std::forward_iterator_tag;
        using value_type = uint32_t;
        using difference_type = std::ptrdiff_t;
        using pointer = const uint32_t*;
        using reference = uint32_t;

        Iterator(const RecordOrder* order, size_t block, size_t at) : m_order(order), m_block(block), m_at(at) {}
        uint32_t operator*() const { return m_order->m_blocks[m_block][m_at]; }
        Iterator& operator++() {
            if (++m_at == m_order->m_blocks[m_block].size()) {
                ++m_block;
                m_at = 0;
            }
            return *this;
        }
        bool operator==(const Iterator& o) const { return m_block == o.m_block && m_at == o.m_at; }
        bool operator!=(const Iterator& o) const { return !(*this == o); }

    private:
        const RecordOrder* m_order;
        size_t m_block;
        size_t m_at;
    };
    Iterator begin() const { return Iterator(this, 0, 0); }
    Iterator end() const { return Iterator(this, m_blocks.size(), 0); }

private:
    // The most a block holds; a full one is split in two. Sequences are
    // laid out three quarters full, leaving room to grow in place.
    static constexpr size_t kMost = 4096;
    static constexpr size_t kLaidOut = kMost * 3 / 4;
    static constexpr uint32_t kNowhere = UINT32_MAX;

    size_t BlockOf(size_t pos) const;
    void Changed();
    // A new block at index b, holding records; the blocks' places and
    // names from b on are brought up to date.
    void AddBlock(size_t b, std::vector<uint32_t> records, size_t start);
    void RemoveBlock(size_t b);
    void Place(uint32_t recno, uint32_t name) const;
    // Notes the block of every record: done when a record is first looked for.
    void MapRecords() const;

    bool m_locatable;
    std::vector<std::vector<uint32_t>> m_blocks;  // never an empty one
    std::vector<size_t> m_starts;                 // the place of each block's first record
    size_t m_size = 0;
    mutable size_t m_finger = 0;
    mutable std::vector<uint32_t> m_flat;
    mutable bool m_flatValid = false;
    // Locatable only. A block keeps its name while blocks come and go
    // before it: each record knows its block's name, each name its block.
    std::vector<uint32_t> m_names;      // by block
    std::vector<uint32_t> m_blockNamed; // by name
    std::vector<uint32_t> m_freeNames;
    mutable std::vector<uint32_t> m_nameOf;  // by record number; kNowhere when absent
    mutable bool m_mapped = false;           // m_nameOf is made
};

}  // namespace store
