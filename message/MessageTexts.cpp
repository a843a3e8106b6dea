// The words the readable text of a message adds. Written in UTF-8 here and compiled into
// Shift_JIS. This file must stay free of <chrono>, which does not compile under that flag.
#include "message/MessageTexts.h"

const char* const kMessageTextAttachment = "[添付ファイル]";
const char* const kMessageTextBytes = "バイト";
