// format=flowed: soft line breaks, quote depth and space-stuffing (RFC 3676 section 4).
#include "message/FlowedText.h"

#include <string>

#include "message/HeaderFields.h"

std::string JoinFlowedLines(std::string_view text, bool delSp)
{
    std::string joined;
    joined.reserve(text.size());
    std::size_t openDepth = 0;  // quote depth of the paragraph being joined
    bool open = false;          // the last line written ended in a soft break
    std::size_t at = 0;
    while (at < text.size()) {
        const std::string_view line = NextLine(text, at);
        std::size_t depth = 0;
        while (depth < line.size() && line[depth] == '>') ++depth;
        std::string_view content = line.substr(depth);
        if (!content.empty() && content[0] == ' ') content.remove_prefix(1);  // space-stuffing
        const bool signature = content == "-- ";
        const bool soft = !signature && !content.empty() && content.back() == ' ';

        if (open && (depth != openDepth || signature)) {
            // A change of depth or a signature ends the paragraph however it was sent.
            joined += '\n';
            open = false;
        }
        if (!open && depth > 0) {
            joined.append(depth, '>');
            joined += ' ';
        }
        if (soft && delSp) content.remove_suffix(1);
        joined.append(content);
        if (soft) {
            open = true;
            openDepth = depth;
        } else {
            joined += '\n';
            open = false;
        }
    }
    if (open) joined += '\n';
    return joined;
}
