// Text sent as format=flowed (RFC 3676) with its soft line breaks joined.
#ifndef KELVOR_MESSAGE_FLOWEDTEXT_H
#define KELVOR_MESSAGE_FLOWEDTEXT_H

#include <string>
#include <string_view>

// Joins each line that ends in a blank with the line after it when both are quoted to the same
// depth; with delSp (delsp=yes) that blank is deleted. Space-stuffing is undone, the signature
// separator "-- " stays a line of its own. Lines end in LF in the result.
std::string JoinFlowedLines(std::string_view text, bool delSp);

#endif
