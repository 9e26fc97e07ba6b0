#include "RecordOrder.h"

#include <algorithm>
#include <utility>

namespace store {

void RecordOrder::Changed() {
    // Emptied, its memory kept: whoever still holds it reads nothing
    // rather than memory given back.
    m_flatValid = false;
    m_flat.clear();
}

void RecordOrder::clear() {
    Changed();
    m_blocks.clear();
    m_starts.clear();
    m_size = 0;
    m_finger = 0;
    m_names.clear();
    m_blockNamed.clear();
    m_freeNames.clear();
    m_nameOf.clear();
    m_mapped = false;
}

void RecordOrder::Place(uint32_t recno, uint32_t name) const {
    if (!m_mapped) return;
    if (recno >= m_nameOf.size()) m_nameOf.resize(size_t(recno) + 1, kNowhere);
    m_nameOf[recno] = name;
}

void RecordOrder::AddBlock(size_t b, std::vector<uint32_t> records, size_t start) {
    records.reserve(kMost);
    m_blocks.insert(m_blocks.begin() + long(b), std::move(records));
    m_starts.insert(m_starts.begin() + long(b), start);
    if (!m_locatable) return;
    uint32_t name = uint32_t(m_blockNamed.size());
    if (m_freeNames.empty()) {
        m_blockNamed.push_back(0);
    } else {
        name = m_freeNames.back();
        m_freeNames.pop_back();
    }
    m_names.insert(m_names.begin() + long(b), name);
    for (size_t i = b; i < m_names.size(); ++i) m_blockNamed[m_names[i]] = uint32_t(i);
    if (m_mapped)
        for (uint32_t r : m_blocks[b]) Place(r, name);
}

void RecordOrder::RemoveBlock(size_t b) {
    m_blocks.erase(m_blocks.begin() + long(b));
    m_starts.erase(m_starts.begin() + long(b));
    if (!m_locatable) return;
    m_freeNames.push_back(m_names[b]);
    m_names.erase(m_names.begin() + long(b));
    for (size_t i = b; i < m_names.size(); ++i) m_blockNamed[m_names[i]] = uint32_t(i);
}

void RecordOrder::Assign(const std::vector<uint32_t>& records) {
    clear();
    m_blocks.reserve(records.size() / kLaidOut + 1);
    m_starts.reserve(records.size() / kLaidOut + 1);
    for (size_t at = 0; at < records.size(); at += kLaidOut) {
        const size_t end = std::min(records.size(), at + kLaidOut);
        AddBlock(m_blocks.size(), std::vector<uint32_t>(records.begin() + long(at), records.begin() + long(end)), at);
    }
    m_size = records.size();
}

size_t RecordOrder::BlockOf(size_t pos) const {
    return size_t(std::upper_bound(m_starts.begin(), m_starts.end(), pos) - m_starts.begin()) - 1;
}

void RecordOrder::insert(size_t pos, uint32_t recno) {
    if (pos == m_size) {
        push_back(recno);
        return;
    }
    Changed();
    // Between two blocks it goes to the end of the first: a run of records
    // added in turn at the same place fills one block, not the next.
    const size_t b = pos > 0 ? BlockOf(pos - 1) : 0;
    std::vector<uint32_t>& block = m_blocks[b];
    block.insert(block.begin() + long(pos - m_starts[b]), recno);
    ++m_size;
    for (size_t i = b + 1; i < m_starts.size(); ++i) ++m_starts[i];
    if (m_locatable) Place(recno, m_names[b]);
    if (block.size() >= kMost) {
        const size_t half = block.size() / 2;
        std::vector<uint32_t> back(block.begin() + long(half), block.end());
        block.resize(half);
        AddBlock(b + 1, std::move(back), m_starts[b] + half);
    }
}

void RecordOrder::erase(size_t pos) {
    Changed();
    const size_t b = BlockOf(pos);
    std::vector<uint32_t>& block = m_blocks[b];
    const auto at = block.begin() + long(pos - m_starts[b]);
    if (m_mapped) m_nameOf[*at] = kNowhere;
    block.erase(at);
    --m_size;
    for (size_t i = b + 1; i < m_starts.size(); ++i) --m_starts[i];
    if (block.empty()) RemoveBlock(b);
}

void RecordOrder::push_back(uint32_t recno) {
    Changed();
    if (m_blocks.empty() || m_blocks.back().size() >= kLaidOut) AddBlock(m_blocks.size(), {}, m_size);
    m_blocks.back().push_back(recno);
    ++m_size;
    if (m_locatable) Place(recno, m_names.back());
}

size_t RecordOrder::LowerBound(uint32_t recno) const {
    // The first block whose last record is not below recno holds it.
    size_t lo = 0, hi = m_blocks.size();
    while (lo < hi) {
        const size_t mid = lo + (hi - lo) / 2;
        if (m_blocks[mid].back() < recno) lo = mid + 1;
        else hi = mid;
    }
    if (lo == m_blocks.size()) return m_size;
    const std::vector<uint32_t>& block = m_blocks[lo];
    return m_starts[lo] + size_t(std::lower_bound(block.begin(), block.end(), recno) - block.begin());
}

size_t RecordOrder::Find(uint32_t recno) const {
    size_t first = 0, last = m_blocks.size();
    if (m_locatable) {
        if (!m_mapped) MapRecords();
        if (recno >= m_nameOf.size() || m_nameOf[recno] == kNowhere) return m_size;
        first = m_blockNamed[m_nameOf[recno]];
        last = first + 1;
    }
    for (size_t b = first; b < last; ++b) {
        const auto it = std::find(m_blocks[b].begin(), m_blocks[b].end(), recno);
        if (it != m_blocks[b].end()) return m_starts[b] + size_t(it - m_blocks[b].begin());
    }
    return m_size;
}

void RecordOrder::MapRecords() const {
    uint32_t highest = 0;
    for (const auto& block : m_blocks)
        for (uint32_t r : block) highest = std::max(highest, r);
    m_nameOf.assign(m_blocks.empty() ? 0 : size_t(highest) + 1, kNowhere);
    m_mapped = true;
    for (size_t b = 0; b < m_blocks.size(); ++b)
        for (uint32_t r : m_blocks[b]) m_nameOf[r] = m_names[b];
}

const std::vector<uint32_t>& RecordOrder::Flat() const {
    if (!m_flatValid) {
        m_flat.clear();
        m_flat.reserve(m_size);
        for (const auto& block : m_blocks) m_flat.insert(m_flat.end(), block.begin(), block.end());
        m_flatValid = true;
    }
    return m_flat;
}

}  // namespace store
