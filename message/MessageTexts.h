// The words the readable text of a message adds of its own, as Shift_JIS bytes.
#ifndef KELVOR_MESSAGE_MESSAGETEXTS_H
#define KELVOR_MESSAGE_MESSAGETEXTS_H

// Leads the line that stands for an attachment: "[添付ファイル] NAME (N バイト)".
extern const char* const kMessageTextAttachment;
// Follows the attachment's size in bytes.
extern const char* const kMessageTextBytes;

#endif
