// CUniqueIdSet: one string of id bytes, their start positions, and a hash table over them.
// 50,000 ids of 70 bytes take about 4 MB; filling the set and comparing two sets take time in
// proportion to their bytes.
#include "pop3/UniqueIdSet.h"

#include <chrono>
#include <limits>
#include <random>

namespace {

const std::size_t kSmallestTable = 16;
// The id bytes are addressed by 32-bit positions.
const std::size_t kLargestByteCount = std::numeric_limits<std::uint32_t>::max();

// The key of the hash, drawn once per process: the ids come from the server, and with a hash
// it could predict, it could send ids that all fall on one slot and make every look-up walk
// the whole table.
struct HashKey {
    std::uint64_t k0;
    std::uint64_t k1;
};

HashKey DrawHashKey()
{
    std::random_device device;
    std::uint64_t clock = static_cast<std::uint64_t>(
        std::chrono::steady_clock::now().time_since_epoch().count());
    HashKey key;
    key.k0 = (static_cast<std::uint64_t>(device()) << 32 | device()) ^ clock;
    key.k1 = (static_cast<std::uint64_t>(device()) << 32 | device()) ^ (clock * 0x9E3779B97F4A7C15ULL);
    return key;
}

const HashKey& ProcessHashKey()
{
    static const HashKey key = DrawHashKey();
    return key;
}

std::uint64_t RotateLeft(std::uint64_t value, int bits)
{
    return (value << bits) | (value >> (64 - bits));
}

void SipRound(std::uint64_t v[4])
{
    v[0] += v[1]; v[1] = RotateLeft(v[1], 13); v[1] ^= v[0]; v[0] = RotateLeft(v[0], 32);
    v[2] += v[3]; v[3] = RotateLeft(v[3], 16); v[3] ^= v[2];
    v[0] += v[3]; v[3] = RotateLeft(v[3], 21); v[3] ^= v[0];
    v[2] += v[1]; v[1] = RotateLeft(v[1], 17); v[1] ^= v[2]; v[2] = RotateLeft(v[2], 32);
}

// SipHash-1-3 of the id under the process's key: a keyed hash that no one without the key
// can steer into collisions.
std::size_t HashOf(std::string_view id)
{
    const HashKey& key = ProcessHashKey();
    std::uint64_t v[4] = {key.k0 ^ 0x736f6d6570736575ULL, key.k1 ^ 0x646f72616e646f6dULL,
                          key.k0 ^ 0x6c7967656e657261ULL, key.k1 ^ 0x7465646279746573ULL};
    const std::size_t whole = id.size() / 8 * 8;
    for (std::size_t at = 0; at < whole; at += 8) {
        std::uint64_t word = 0;
        for (int i = 7; i >= 0; --i)
            word = word << 8 | static_cast<unsigned char>(id[at + static_cast<std::size_t>(i)]);
        v[3] ^= word;
        SipRound(v);
        v[0] ^= word;
    }
    std::uint64_t last = static_cast<std::uint64_t>(id.size() & 0xFF) << 56;
    for (std::size_t i = whole; i < id.size(); ++i)
        last |= static_cast<std::uint64_t>(static_cast<unsigned char>(id[i])) << (8 * (i - whole));
    v[3] ^= last;
    SipRound(v);
    v[0] ^= last;
    v[2] ^= 0xFF;
    SipRound(v);
    SipRound(v);
    SipRound(v);
    return static_cast<std::size_t>(v[0] ^ v[1] ^ v[2] ^ v[3]);
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
