// CPop3Client: CAPA, the capabilities taken from it, and UIDL, the unique id of every message.
#include "pop3/Pop3Client.h"

#include <algorithm>

#include "message/HeaderFields.h"
#include "pop3/Pop3Wire.h"
#include "pop3/UniqueIdSet.h"

namespace {

// Whether a CAPA response names the capability (the first word of a line, in any case).
bool NamesCapability(std::string_view response, const char* name)
{
    std::size_t position = 0;
    std::string_view line;
    while (NextBodyLine(response, position, line)) {
        if (EqualsIgnoringCase(line.substr(0, line.find(' ')), name))
            return true;
    }
    return false;
}

// Takes the ids of a UIDL listing, one line "number id" per message. The listing must give
// the messages 1 to count in this order, each a non-empty id of its own; the id is the rest of
// the line after the blanks that follow the number, byte for byte. false for anything else.
bool ReadUniqueIdListing(std::string_view response, int count, CUniqueIdSet& ids)
{
    if (count < 0)
        return false;
    // The ids are part of the response, so its size is room enough for their bytes; a line
    // takes at least four of them, which bounds the room for a count that the reply belies.
    std::size_t lines = std::min(static_cast<std::size_t>(count), response.size() / 4);
    ids.Reserve(lines, response.size());
    long long expected = 1;
    std::size_t cursor = 0;
    std::string_view line;
    while (NextBodyLine(response, cursor, line)) {
        std::size_t position = 0;
        long long number = 0;
        while (position < line.size() && line[position] >= '0' && line[position] <= '9' &&
               number <= expected)
            number = number * 10 + (line[position++] - '0');
        std::size_t digitsEnd = position;
        while (position < line.size() && (line[position] == ' ' || line[position] == '\t'))
            ++position;
        if (digitsEnd == 0 || number != expected || expected > count || position == digitsEnd ||
            position == line.size() || !ids.Add(line.substr(position)))
            return false;
        ++expected;
    }
    return expected == static_cast<long long>(count) + 1;
}

}  // namespace

int CPop3Client::UniqueIds(CUniqueIdSet& ids)
{
    ids.Clear();
    int result = AtConversationEdge(0, [&] {
        SendUnlessSentAhead("UIDL\r\n");
        std::string response;
        if (ReadResponse(response, kReceiveArea, ListingCap(m_nMessageCount)) != ResponseOutcome::Complete)
            return 0;
        return ReadUniqueIdListing(response, m_nMessageCount, ids) ? 1 : 0;
    });
    if (!result)
        ids.Clear();
    return result;
}

int CPop3Client::Capa()
{
    return AtConversationEdge(0, [&] {
        SendUnlessSentAhead("CAPA\r\n");
        std::string response;
        if (ReadResponse(response, kReceiveArea, kCapabilityResponseCap) != ResponseOutcome::Complete)
            return 0;
        m_bPipelining = NamesCapability(response, "PIPELINING") ? 1 : 0;
        m_bUniqueIds = NamesCapability(response, "UIDL") ? 1 : 0;
        return 1;
    });
}

bool CPop3Client::OffersUniqueIds() const
{
    return m_bUniqueIds != 0;
}
