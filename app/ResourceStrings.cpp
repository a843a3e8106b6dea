// The string table of res/resource.h's string ids, served from the texts of AppTexts.cpp.
#include "app/ResourceStrings.h"

#include "app/AppTexts.h"
#include "res/resource.h"

std::string ResourceString(int stringId)
{
    switch (stringId) {
    case IDS_ABOUTBOX:
        return kTextAboutMenuEntry;
    case IDP_SOCKETS_INIT_FAILED:
        return kTextSocketsInitFailed;
    case IDP_PARSE_INT:
        return kTextParseInt;
    case IDP_PARSE_INT_RANGE:
        return kTextParseIntRange;
    default:
        return std::string();
    }
}
