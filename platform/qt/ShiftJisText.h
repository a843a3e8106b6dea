// The one crossing between the core's Shift_JIS text (code page 932) and Qt's Unicode strings.
// Every text the Qt shell shows and every field it reads passes through these two functions.
#ifndef KELVOR_PLATFORM_QT_SHIFTJISTEXT_H
#define KELVOR_PLATFORM_QT_SHIFTJISTEXT_H

#include <QString>
#include <string>

// Shift_JIS bytes to Unicode. A zero byte ends the text, as it does for the platform's
// window texts. A byte sequence that is no code page 932 character shows as U+FFFD and the
// conversion goes on with the next byte, so damaged text never stops a display.
QString FromShiftJis(const std::string& text);

// Unicode to Shift_JIS bytes. A character that code page 932 cannot hold becomes "?", as the
// platform's own conversion does; a zero character ends the text.
std::string ToShiftJis(const QString& text);

#endif
