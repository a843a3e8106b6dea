// The test mailboxes and the Maildir writer. File names carry one timestamp and a growing
// sequence number, so a server that orders new mail by name keeps the order given here.
#include "TestMaildir.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <system_error>

std::vector<std::string> SampleMessages()
{
    std::vector<std::string> messages;
    // A Japanese sender and subject in ISO-2022-JP Base64 words.
    messages.push_back(
        "Return-Path: <yamada@example.jp>\n"
        "From: =?ISO-2022-JP?B?GyRCOzNFRBsoQg==?= <yamada@example.jp>\n"
        "To: kelvor@example.com\n"
        "Subject: =?ISO-2022-JP?B?GyRCRnxLXDhsJE4lYSE8JWsbKEI=?=\n"
        "MIME-Version: 1.0\n"
        "Content-Type: text/plain; charset=ISO-2022-JP\n"
        "\n"
        "\x1b$BF|K\\8l$N%a!<%k\x1b(B\n");
    // Two adjacent Japanese words with one space between them (dropped), in small letters.
    messages.push_back(
        "From: tanaka@example.jp\n"
        "Subject: =?iso-2022-jp?b?GyRCJUYlOSVIGyhC?= =?ISO-2022-JP?B?GyRCJWEhPCVrGyhC?=\n"
        "\n"
        "body\n");
    // An ISO-8859-1 quoted-printable subject.
    messages.push_back(
        "From: =?ISO-8859-1?Q?Fran=E7ois?= <francois@example.fr>\n"
        "Subject: =?ISO-8859-1?Q?Caf=E9_cr=E8me?=\n"
        "\n"
        "Bonjour\n");
    // A Resent-From field before the From field, which is another field.
    messages.push_back(
        "Resent-From: forwarder@example.org\n"
        "From: author@example.org\n"
        "Subject: forwarded\n"
        "\n"
        "text\n");
    // A folded subject, unfolded for the list.
    messages.push_back(
        "From: folder@example.com\n"
        "Subject: first part of a long subject\n"
        " continued on a second line\n"
        "\n"
        "text\n");
    // Lines beginning with "." travel dot-stuffed and come back as they were written.
    messages.push_back(
        "From: dots@example.com\n"
        "Subject: dots\n"
        "\n"
        ".a line beginning with a dot\n"
        "..two dots\n"
        ".\n"
        "last line\n");
    // No Subject field, then no From field.
    messages.push_back("From: nosubject@example.com\n\ntext\n");
    messages.push_back("Subject: no sender\n\ntext\n");
    // About 1 MB of plain text.
    std::string big = "From: big@example.com\nSubject: one megabyte\n\n";
    char line[80];
    for (int i = 0; big.size() < (1 << 20); ++i) {
        std::snprintf(line, sizeof line, "%06d the quick brown fox jumps over the lazy dog 0123456789\n", i);
        big += line;
    }
    messages.push_back(big);
    return messages;
}

std::vector<std::string> SmallMessages(int count)
{
    std::vector<std::string> messages;
    messages.reserve(static_cast<std::size_t>(count));
    for (int n = 1; n <= count; ++n) {
        std::string number = std::to_string(n);
        messages.push_back("From: sender" + number + "@example.com\nSubject: message " + number +
                           "\nDate: Mon, 7 Dec 2026 10:00:00 +0900\n\nbody of message " + number + "\n");
    }
    return messages;
}

int WriteMaildir(const std::string& maildir, const std::vector<std::string>& messages,
                 std::string& error)
{
    std::error_code failure;
    for (const char* folder : {"cur", "new", "tmp"}) {
        std::filesystem::create_directories(std::filesystem::path(maildir) / folder, failure);
        if (failure) {
            error = "cannot create " + maildir + "/" + folder + ": " + failure.message();
            return 0;
        }
    }
    char name[64];
    for (std::size_t i = 0; i < messages.size(); ++i) {
        std::snprintf(name, sizeof name, "1765000000.M%07zuP1.kelvor:2,S", i + 1);
        std::filesystem::path path = std::filesystem::path(maildir) / "cur" / name;
        std::ofstream file(path, std::ios::binary);
        file.write(messages[i].data(), static_cast<std::streamsize>(messages[i].size()));
        if (!file) {
            error = "cannot write " + path.string();
            return 0;
        }
    }
    return 1;
}

std::string WithCrLf(const std::string& message)
{
    std::string converted;
    converted.reserve(message.size() + message.size() / 16);
    for (char c : message) {
        if (c == '\n')
            converted += '\r';
        converted += c;
    }
    return converted;
}
