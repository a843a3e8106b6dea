// Structured MIME field values: "type/subtype; name=value; ..." as Content-Type and
// Content-Disposition carry them (RFC 2045 section 5.1, RFC 2183), with the extended
// parameters of RFC 2231.
#ifndef KELVOR_MESSAGE_MIMEPARAMETERS_H
#define KELVOR_MESSAGE_MIMEPARAMETERS_H

#include <string>
#include <string_view>
#include <utility>
#include <vector>

struct MimeFieldValue {
    std::string token;  // in small letters: "text/plain", "attachment"
    // Names in small letters as written ("filename*0*"); values unquoted.
    std::vector<std::pair<std::string, std::string>> parameters;
};

// Parses an unfolded field value. Quoted values may hold ";" and backslash escapes; a value
// without quotes ends at ";" or a blank.
MimeFieldValue ParseMimeFieldValue(std::string_view value);

// The value of parameter `name` as bytes ("" when absent), for ASCII values such as charset
// and boundary; the RFC 2231 form counts when there is no plain one.
std::string Parameter(const MimeFieldValue& field, std::string_view name);

// The text of parameter `name` in Shift_JIS: its RFC 2231 form ("name*" or the sections
// "name*0", "name*1*", ... joined, percent escapes and charset undone) when present, else the
// plain value with any encoded words decoded. false when the parameter is absent.
bool ParameterText(const MimeFieldValue& field, std::string_view name, std::string& sjis);

#endif
