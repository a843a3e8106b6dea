// The summary line and the viewer text of a message, and the message inside a POP3 response.
#include "message/MessageText.h"

#include "message/HeaderFields.h"
#include "message/HeaderText.h"
#include "message/MimeBody.h"

std::string UnstuffedMessage(std::string_view response)
{
    std::string message;
    std::size_t start = response.find('\n');
    if (start == std::string_view::npos) {
        return message;
    }
    ++start;
    message.reserve(response.size() - start);
    while (start < response.size()) {
        std::size_t end = response.find('\n', start);
        end = end == std::string_view::npos ? response.size() : end + 1;
        std::string_view line = response.substr(start, end - start);
        if (line == ".\r\n" || line == ".\n" || line == ".") {
            break;  // the end line
        }
        if (line[0] == '.') {
            line.remove_prefix(1);  // a line sent as "..x" is ".x"
        }
        message.append(line);
        start = end;
    }
    return message;
}

std::string SummaryLine(std::string_view message)
{
    const MessageEntity entity = ParseEntity(message);
    const HeaderField* from = FindField(entity, "From");
    const HeaderField* subject = FindField(entity, "Subject");
    std::string line = from ? DecodedFieldValue(from->value) : std::string("<unknown>");
    line += " : ";
    line += subject ? DecodedFieldValue(subject->value) : std::string("(No Subject)");
    return line;
}

std::string ViewerText(std::string_view message)
{
    const MessageEntity entity = ParseEntity(message);
    std::string text;
    text.reserve(message.size() + 64);
    for (const HeaderField& field : entity.fields) {
        text.append(field.name);
        text += ": ";
        text += DecodedFieldValue(field.value);
        text += "\r\n";
    }
    if (entity.fields.empty() && entity.body.empty()) {
        return text;
    }
    text += "\r\n";
    AppendReadableBody(entity, text);
    return text;
}
