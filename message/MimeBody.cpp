// The MIME walk: multiparts split at their boundaries, one alternative chosen, text parts
// decoded and converted, attached messages summed up, other parts named in one line each.
#include "message/MimeBody.h"

#include <vector>

#include "decode/EncodedWord.h"
#include "decode/JisToSjis.h"
#include "message/FlowedText.h"
#include "message/HeaderText.h"
#include "message/HtmlText.h"
#include "message/MessageTexts.h"
#include "message/MimeParameters.h"
#include "message/TextCharset.h"
#include "message/TransferEncoding.h"

namespace {

// Deeper nesting than this is no mail a person wrote; its parts are named, not opened.
constexpr int kDeepestNesting = 32;

bool IsMime(const MessageEntity& entity)
{
    return FindField(entity, "MIME-Version") || FindField(entity, "Content-Type");
}

// What a part is and how it is sent.
struct Part {
    MessageEntity entity;
    MimeFieldValue contentType;
    MimeFieldValue disposition;
    std::string type;     // "text"
    std::string subtype;  // "plain"
    std::string encoding;
};

// RFC 2045 section 5.2: without a valid Content-Type a part is text/plain, or message/rfc822
// inside a multipart/digest (RFC 2046 section 5.1.5).
Part DescribePart(const MessageEntity& entity, std::string_view defaultType)
{
    Part part;
    part.entity = entity;
    part.contentType = ParseMimeFieldValue(FieldValue(entity, "Content-Type"));
    std::size_t slash = part.contentType.token.find('/');
    if (slash == std::string::npos || slash == 0 || slash + 1 == part.contentType.token.size()) {
        part.contentType.token = std::string(defaultType);
        slash = part.contentType.token.find('/');
    }
    part.type = part.contentType.token.substr(0, slash);
    part.subtype = part.contentType.token.substr(slash + 1);
    part.disposition = ParseMimeFieldValue(FieldValue(entity, "Content-Disposition"));
    part.encoding = FieldValue(entity, "Content-Transfer-Encoding");
    return part;
}

bool IsAttachmentDisposition(const Part& part)
{
    return part.disposition.token == "attachment";
}

// The parts of a multipart body between its delimiter lines (RFC 2046 section 5.1.1): the line
// end before a delimiter belongs to it; the preamble and the epilogue are not parts. A body
// whose closing delimiter is missing ends its last part at the end of the text. A delimiter
// stands at the start of a line, so only line starts are compared with it, each at most up to
// its line end: a search of the whole body for a long boundary would compare it again at every
// byte. A boundary with a line end in it (only the RFC 2231 form can carry one) is never found.
std::vector<std::string_view> SplitMultipart(std::string_view body, std::string_view boundary)
{
    std::vector<std::string_view> parts;
    const std::string delimiter = "--" + std::string(boundary);
    if (delimiter.find('\n') != std::string::npos) {
        return parts;
    }
    std::size_t partStart = std::string_view::npos;
    for (std::size_t found = 0; found < body.size();) {
        const std::size_t lineEnd = body.find('\n', found);
        const std::size_t nextLine = lineEnd == std::string_view::npos ? body.size() : lineEnd + 1;
        if (body.compare(found, delimiter.size(), delimiter) != 0) {
            found = nextLine;
            continue;
        }
        std::size_t after = found + delimiter.size();
        const bool closing = body.substr(after, 2) == "--";
        if (closing) after += 2;
        const std::string_view rest = body.substr(after, lineEnd == std::string_view::npos ? lineEnd : lineEnd - after);
        if (rest.find_first_not_of(" \t\r") != std::string_view::npos) {
            found = nextLine;
            continue;  // a longer boundary that begins with this one
        }
        if (partStart != std::string_view::npos) {
            std::size_t end = found;
            if (end > partStart && body[end - 1] == '\n') --end;
            if (end > partStart && body[end - 1] == '\r') --end;
            // Two delimiters in a row enclose no part, not an empty one.
            if (end > partStart) {
                parts.push_back(body.substr(partStart, end - partStart));
            }
        }
        if (closing) {
            return parts;
        }
        partStart = found = nextLine;
    }
    if (partStart != std::string_view::npos) {
        parts.push_back(body.substr(partStart));
    }
    return parts;
}

// RFC 2046 section 5.1.4 puts the richest alternative last; this viewer shows text, so the
// text/plain one is preferred, then the HTML one, then one that is itself a multipart.
std::size_t PreferredAlternative(const std::vector<Part>& parts)
{
    for (const char* wanted : {"plain", "html"}) {
        for (std::size_t n = 0; n < parts.size(); ++n) {
            if (parts[n].type == "text" && parts[n].subtype == wanted && !IsAttachmentDisposition(parts[n])) {
                return n;
            }
        }
    }
    for (std::size_t n = 0; n < parts.size(); ++n) {
        if (parts[n].type == "multipart") {
            return n;
        }
    }
    return 0;
}

// The name an attachment goes by: the filename of its Content-Disposition, the name of its
// Content-Type (both RFC 2231 or with encoded words), or else its type.
std::string AttachmentName(const Part& part)
{
    std::string name;
    if ((ParameterText(part.disposition, "filename", name) || ParameterText(part.contentType, "name", name)) &&
        !name.empty()) {
        return name;
    }
    return part.contentType.token;
}

// Whether a part inside a multipart is shown as text rather than named as an attachment.
bool IsInlineText(const Part& part)
{
    if (part.type != "text" || IsAttachmentDisposition(part)) {
        return false;
    }
    std::string name;
    return part.subtype == "plain" || part.subtype == "html" ||
           !(ParameterText(part.contentType, "name", name) || ParameterText(part.disposition, "filename", name));
}


class BodyWriter {
public:
    explicit BodyWriter(std::string& text) : text_(text) {}

    void AppendMessageBody(const MessageEntity& message, int depth)
    {
        if (!IsMime(message)) {
            // The reading mail has always had here: words decoded, JIS converted, no charset.
            StartPiece(Piece::Text);
            AppendCrLfLines(ConvertJisToSjis(DecodeEncodedWords(std::string(message.body))), text_);
            return;
        }
        AppendPart(DescribePart(message, "text/plain"), true, depth);
    }

private:
    enum class Piece { None, Text, Attachment };

    // Pieces of the body are set apart by an empty line, except attachment lines in a row.
    void StartPiece(Piece piece)
    {
        if (last_ != Piece::None && !(last_ == Piece::Attachment && piece == Piece::Attachment)) {
            text_ += "\r\n";
        }
        last_ = piece;
    }

    void AppendPart(const Part& part, bool shownAsText, int depth)
    {
        if (depth > kDeepestNesting) {
            AppendAttachmentLine(part);
        } else if (part.type == "multipart") {
            AppendMultipart(part, depth);
        } else if (part.type == "message" && (part.subtype == "rfc822" || part.subtype == "global")) {
            AppendAttachedMessage(part, depth);
        } else if (part.type == "text" && (shownAsText || IsInlineText(part))) {
            AppendTextPart(part);
        } else {
            AppendAttachmentLine(part);
        }
    }

    void AppendMultipart(const Part& part, int depth)
    {
        const std::string boundary = Parameter(part.contentType, "boundary");
        const std::vector<std::string_view> texts =
            boundary.empty() ? std::vector<std::string_view>() : SplitMultipart(part.entity.body, boundary);
        if (texts.empty()) {
            // No boundary or none found: the body is shown as the text it is.
            Part plain = part;
            plain.type = "text";
            plain.subtype = "plain";
            AppendTextPart(plain);
            return;
        }
        const std::string_view defaultType = part.subtype == "digest" ? "message/rfc822" : "text/plain";
        std::vector<Part> parts;
        parts.reserve(texts.size());
        for (std::string_view text : texts) {
            parts.push_back(DescribePart(ParseEntity(text), defaultType));
        }
        if (part.subtype == "alternative") {
            AppendPart(parts[PreferredAlternative(parts)], true, depth + 1);
            return;
        }
        // multipart/mixed and every subtype not known here (RFC 2046 section 5.1.7).
        for (const Part& child : parts) {
            AppendPart(child, false, depth + 1);
        }
    }

    void AppendTextPart(const Part& part)
    {
        const std::string bytes = DecodeTransferEncoding(part.encoding, part.entity.body);
        std::string charset = Parameter(part.contentType, "charset");
        const bool html = part.subtype == "html";
        if (html && charset.empty()) {
            charset = HtmlMetaCharset(bytes);
        }
        std::string sjis = TextToSjis(charset, bytes);
        if (html) {
            sjis = HtmlToText(sjis);
        } else if (LowerCase(Parameter(part.contentType, "format")) == "flowed") {
            sjis = JoinFlowedLines(sjis, LowerCase(Parameter(part.contentType, "delsp")) == "yes");
        }
        StartPiece(Piece::Text);
        AppendCrLfLines(sjis, text_);
    }

    // An attached message shows its sender, subject and date, then its own body.
    void AppendAttachedMessage(const Part& part, int depth)
    {
        const std::string bytes = DecodeTransferEncoding(part.encoding, part.entity.body);
        const MessageEntity message = ParseEntity(bytes);
        StartPiece(Piece::Text);
        for (const char* name : {"From", "Subject", "Date"}) {
            if (const HeaderField* field = FindField(message, name)) {
                text_ += name;
                text_ += ": ";
                text_ += DecodedFieldValue(field->value);
                text_ += "\r\n";
            }
        }
        AppendMessageBody(message, depth + 1);
    }

    void AppendAttachmentLine(const Part& part)
    {
        StartPiece(Piece::Attachment);
        text_ += kMessageTextAttachment;
        text_ += ' ';
        text_ += OnOneLine(AttachmentName(part));
        text_ += " (";
        text_ += std::to_string(DecodedSize(part.encoding, part.entity.body));
        text_ += ' ';
        text_ += kMessageTextBytes;
        text_ += ")\r\n";
    }

    std::string& text_;
    Piece last_ = Piece::None;
};

}  // namespace

void AppendCrLfLines(std::string_view lines, std::string& text)
{
    text.reserve(text.size() + lines.size() + lines.size() / 32 + 2);
    std::size_t at = 0;
    while (at < lines.size()) {
        const std::string_view line = NextLine(lines, at);
        if (line.find('\0') == std::string_view::npos) {
            text.append(line);
        } else {
            for (char c : line) {
                if (c != '\0') text += c;
            }
        }
        text += "\r\n";
    }
}

void AppendReadableBody(const MessageEntity& message, std::string& text)
{
    BodyWriter(text).AppendMessageBody(message, 0);
}
