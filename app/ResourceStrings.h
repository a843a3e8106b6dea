// The program's string resources for platforms without a resource string table.
#ifndef KELVOR_APP_RESOURCESTRINGS_H
#define KELVOR_APP_RESOURCESTRINGS_H

#include <string>

// The Shift_JIS text of string 101, 103, 61712 or 61714; empty for any other id, as a
// missing string resource loads empty.
std::string ResourceString(int stringId);

#endif
