// ISO-2022-JP (RFC 1468, with the extensions Japanese mailers send) into Shift_JIS, for the
// charset conversion. The older ConvertJisToSjis keeps its own coarser rules.
#ifndef KELVOR_DECODE_ISO2022JP_H
#define KELVOR_DECODE_ISO2022JP_H

#include <string>
#include <string_view>

// Escape sequences are read whole: ESC ( B and ESC ( J select ASCII, ESC ( I half-width
// katakana, ESC $ @ and ESC $ B (also ESC $ ( B, ESC $ ( Q) JIS X 0208, whose pairs go through
// JisPairToSjis; other two-byte sets (JIS X 0212, GB 2312, KS C 5601) give "〓" per pair. SO and
// SI shift into and out of half-width katakana. A line end returns to ASCII, so a missing
// escape spoils one line at most. Bytes from 0x80 up pass as they are (Shift_JIS sent under
// this label). Appends to `sjis`.
void AppendIso2022JpAsSjis(std::string_view jis, std::string& sjis);

#endif
