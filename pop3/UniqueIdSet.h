// CUniqueIdSet: the unique ids of a mailbox's messages, as the server's UIDL listing gives
// them, held compactly: every id's bytes in one string and a hash table of their positions.
#ifndef KELVOR_POP3_UNIQUEIDSET_H
#define KELVOR_POP3_UNIQUEIDSET_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

class CUniqueIdSet {
public:
    // Makes room for count ids of byteCount bytes in all, so that filling the set needs no
    // rehashing and no copying.
    void Reserve(std::size_t count, std::size_t byteCount);
    // Adds an id, compared byte for byte. False when the set holds it already, or when the
    // set cannot take more bytes; the set is then unchanged.
    bool Add(std::string_view id);
    bool Contains(std::string_view id) const;
    std::size_t Size() const { return m_starts.size(); }
    bool Empty() const { return m_starts.empty(); }
    // The ids of this set that other does not hold.
    std::size_t CountNotIn(const CUniqueIdSet& other) const;
    void Clear();
    // The bytes that the set has room for: its id bytes, their positions and its table.
    std::size_t MemoryBytes() const;

private:
    std::string_view IdAt(std::uint32_t index) const;
    // The slot where id is, or the empty slot where it would go.
    std::size_t SlotOf(std::string_view id) const;
    void Rehash(std::size_t slotCount);

    // Every id, one after the other; id i starts at m_starts[i] and ends where the next begins.
    std::string m_bytes;
    std::vector<std::uint32_t> m_starts;
    // Open addressing with linear probing: 0 is an empty slot, else the index of an id plus 1.
    // The table is kept at most half full, so a look-up touches few slots.
    std::vector<std::uint32_t> m_slots;
};

#endif
