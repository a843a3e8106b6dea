// The wire rules shared by the parts of CPop3Client: reply tests, where a multi-line response
// ends, numbers and commands, the sizes of the receives and the caps of the responses.
#ifndef KELVOR_POP3_POP3WIRE_H
#define KELVOR_POP3_POP3WIRE_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// A single-line reply is at most this long, its line end included.
inline constexpr std::size_t kReplyLimit = 512;
// Receives of single-line replies and of a listing ask for up to this much at a time.
inline constexpr std::size_t kReceiveArea = 16384;
inline constexpr char kTopFormat[] = "TOP %d 0\r\n";
inline constexpr std::size_t kNoEnd = std::string_view::npos;

// The caps of multi-line responses, far above what an honest server sends; a response that
// would pass its cap ends its step as a connection failure would, with its own text.
// A header (TOP n 0).
inline constexpr std::size_t kHeaderResponseCap = 1 << 20;
// The capabilities (CAPA).
inline constexpr std::size_t kCapabilityResponseCap = 64 << 10;
// A listing (LIST, UIDL): this much for each message the STAT count claims, and the status and
// end lines, at most kLargestListingCap.
inline constexpr std::size_t kListingLineCap = 512;
inline constexpr std::size_t kLargestListingCap = 64 << 20;
// A whole message (TOP n L, RETR): twice its listed size, as a server that counts a line end
// as one octet sends up to twice what it listed, and a margin for the status line and the
// dot-stuffing, at most kLargestMessageCap, which is also the cap of an unsized message.
inline constexpr std::size_t kMessageResponseMargin = 1 << 20;
inline constexpr std::size_t kLargestMessageCap = 256 << 20;

// The time a multi-line response may take: the time limit from its command, and one second
// more for every kEarnedSecondBytes it has delivered so far, so that one that keeps coming at
// that rate or faster is never cut and one that dribbles ends within about the limit. The
// time so earned never passes what its cap needs at kSlowestResponseBytesPerSecond.
inline constexpr long long kEarnedSecondBytes = 8 << 10;
inline constexpr long long kSlowestResponseBytesPerSecond = 64 << 10;

// The cap of a listing for a mailbox that claims count messages.
std::size_t ListingCap(int count);
// The cap of a whole message of the listed size (0 when it was not sized).
std::size_t MessageCap(int listedSize);
// The text as the argument of a command (a user name, a password, a login response): up to
// its first CR, LF or zero byte, so that it can never end its command early and add another.
std::string CommandArgument(const std::string& text);
// The command as shown in an error text: without its line end and the blanks before it.
std::string CommandLine(const std::string& command);

// The text that a run of received bytes stands for: it ends at the first zero byte.
std::string AsText(const std::string& bytes);
bool StartsWithIgnoringCase(const std::string& text, const char* prefix);
// A refusal is any reply beginning with "-ERR"; everything else, an empty reply included,
// counts as success.
bool IsErrorReply(const std::string& reply);
// The decimal number at position: white space skipped, an optional sign, then digits up to
// the first non-digit. No digits give 0; values beyond 32 bits stop at the nearest limit.
std::int32_t DecimalAt(const std::string& text, std::size_t position);
// A listing is complete when the text after its status line ends in its end line: at least
// three bytes, the third-last of which is ".". It is judged on all that has come, so it takes
// all of more or waits for more.
std::size_t ListingEnd(std::string_view gathered, std::string_view more);
// Any other multi-line response (TOP, RETR, UIDL, CAPA) ends with its first CR LF "." CR LF,
// which may begin with the line end of the status line. What follows is the next reply.
std::size_t TerminatedEnd(std::string_view gathered, std::string_view more);
// Steps through the lines of a multi-line response that follow its status line, without their
// line ends: position starts at 0 and moves on with each line. false at the end line.
bool NextBodyLine(std::string_view response, std::size_t& position, std::string_view& line);
// A command with one message number, formatted from format into at most 23 characters.
std::string FormatCommand(const char* format, int n);

#endif
