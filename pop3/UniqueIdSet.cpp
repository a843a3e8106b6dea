// CUniqueIdSet: one string of id bytes, their start positions, and a hash table over them.
// 50,000 ids of 70 bytes take about 4 MB; filling the set and comparing two sets take time in
// proportion to their bytes.
#include "pop3/UniqueIdSet.h"

#include <functional>
#include <limits>

namespace {

const std::size_t kSmallestTable = 16;
// The id bytes are addressed by 32-bit positions.
const std::size_t kLargestByteCount = std::numeric_limits<std::uint32_t>::max();

std::size_t HashOf(std::string_view id)
{
    return std::hash<std::string_view>()(id);
}

}  // namespace

void CUniqueIdSet::Reserve(std::size_t count, std::size_t byteCount)
{
    m_bytes.reserve(byteCount);
    m_starts.reserve(count);
    std::size_t slots = kSmallestTable;
    while (slots < count * 2)
        slots *= 2;
    if (slots > m_slots.size())
        Rehash(slots);
}

bool CUniqueIdSet::Add(std::string_view id)
{
    if (m_bytes.size() + id.size() > kLargestByteCount || m_starts.size() >= kLargestByteCount - 1)
        return false;
    if ((m_starts.size() + 1) * 2 > m_slots.size())
        Rehash(m_slots.empty() ? kSmallestTable : m_slots.size() * 2);
    std::size_t slot = SlotOf(id);
    if (m_slots[slot] != 0)
        return false;
    m_starts.push_back(static_cast<std::uint32_t>(m_bytes.size()));
    m_bytes.append(id);
    m_slots[slot] = static_cast<std::uint32_t>(m_starts.size());
    return true;
}

bool CUniqueIdSet::Contains(std::string_view id) const
{
    return !m_slots.empty() && m_slots[SlotOf(id)] != 0;
}

std::size_t CUniqueIdSet::CountNotIn(const CUniqueIdSet& other) const
{
    std::size_t count = 0;
    for (std::uint32_t i = 0; i < m_starts.size(); ++i)
        count += other.Contains(IdAt(i)) ? 0 : 1;
    return count;
}

void CUniqueIdSet::Clear()
{
    // Swapped with empty ones, so that the memory goes back at once.
    std::string().swap(m_bytes);
    std::vector<std::uint32_t>().swap(m_starts);
    std::vector<std::uint32_t>().swap(m_slots);
}

std::size_t CUniqueIdSet::MemoryBytes() const
{
    return m_bytes.capacity() + m_starts.capacity() * sizeof(std::uint32_t) +
           m_slots.capacity() * sizeof(std::uint32_t);
}

std::string_view CUniqueIdSet::IdAt(std::uint32_t index) const
{
    std::size_t start = m_starts[index];
    std::size_t end = index + 1 < m_starts.size() ? m_starts[index + 1] : m_bytes.size();
    return std::string_view(m_bytes).substr(start, end - start);
}

std::size_t CUniqueIdSet::SlotOf(std::string_view id) const
{
    const std::size_t mask = m_slots.size() - 1;
    std::size_t slot = HashOf(id) & mask;
    while (m_slots[slot] != 0 && IdAt(m_slots[slot] - 1) != id)
        slot = (slot + 1) & mask;
    return slot;
}

void CUniqueIdSet::Rehash(std::size_t slotCount)
{
    m_slots.assign(slotCount, 0);
    const std::size_t mask = slotCount - 1;
    for (std::uint32_t i = 0; i < m_starts.size(); ++i) {
        std::size_t slot = HashOf(IdAt(i)) & mask;
        while (m_slots[slot] != 0)
            slot = (slot + 1) & mask;
        m_slots[slot] = i + 1;
    }
}
