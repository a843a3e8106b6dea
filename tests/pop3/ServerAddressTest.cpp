// The server text of the settings: which host, port and kind of connection each form asks for
// (IPv6 addresses in brackets among them), and the texts that name no server.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "pop3/ServerAddress.h"

namespace {

struct AddressRow {
    const char* behaviour;
    std::string text;
    std::string host;
    int port;
    ConnectionKind kind;
};

TEST(ServerAddress, EachFormGivesItsHostPortAndKind)
{
    const std::vector<AddressRow> rows = {
        {"a host alone is cleartext on 110", "mail.example.com", "mail.example.com", 110, ConnectionKind::Cleartext},
        {"a port is taken as given", "127.0.0.1:2110", "127.0.0.1", 2110, ConnectionKind::Cleartext},
        {"a plain text with an empty host is left to the connect", "", "", 110, ConnectionKind::Cleartext},
        {"port 995 speaks only TLS", "mail.example.com:995", "mail.example.com", 995, ConnectionKind::Tls},
        {"leading zeros still name 995", "mail.example.com:0995", "mail.example.com", 995, ConnectionKind::Tls},
        {"pop3s defaults to 995", "pop3s://mail.example.com", "mail.example.com", 995, ConnectionKind::Tls},
        {"pop3s with a port and a trailing slash", "pop3s://127.0.0.2:2995/", "127.0.0.2", 2995, ConnectionKind::Tls},
        {"pop3s on port 110 is still TLS", "pop3s://mail.example.com:110", "mail.example.com", 110, ConnectionKind::Tls},
        {"the scheme in any letter case", "POP3S://Mail.Example.com", "Mail.Example.com", 995, ConnectionKind::Tls},
        {"STLS defaults to 110", "pop3+starttls://mail.example.com", "mail.example.com", 110, ConnectionKind::StartTls},
        {"STLS on port 995 as given", "Pop3+StartTLS://mail.example.com:995/", "mail.example.com", 995,
         ConnectionKind::StartTls},
        {"an IPv6 address in brackets", "[2001:db8::1]", "2001:db8::1", 110, ConnectionKind::Cleartext},
        {"an IPv6 address with a port", "[2001:db8::1]:1110", "2001:db8::1", 1110, ConnectionKind::Cleartext},
        {"an IPv6 address on 995 speaks TLS", "[::1]:995", "::1", 995, ConnectionKind::Tls},
        {"an IPv6 address with an IPv4 tail", "[::ffff:127.0.0.1]:2110", "::ffff:127.0.0.1", 2110,
         ConnectionKind::Cleartext},
        {"pop3s with an IPv6 address", "pop3s://[2001:DB8::1]", "2001:DB8::1", 995, ConnectionKind::Tls},
        {"STLS with an IPv6 address, a port and a slash", "pop3+starttls://[::1]:1110/", "::1", 1110,
         ConnectionKind::StartTls},
    };
    for (const AddressRow& row : rows) {
        SCOPED_TRACE(row.behaviour);
        ServerAddress address;
        ASSERT_EQ(ParseServerText(row.text, address), 1);
        EXPECT_EQ(address.host, row.host);
        EXPECT_EQ(address.port, row.port);
        EXPECT_EQ(address.kind, row.kind);
    }
}

TEST(ServerAddress, TextsThatNameNoServerAreRefused)
{
    const std::vector<std::string> texts = {
        "127.0.0.1:",        "127.0.0.1:0",        "127.0.0.1:65536",         "127.0.0.1:pop3",
        "127.0.0.1:-1",      "pop3s://",           "pop3s://:995",            "pop3s:///",
        "pop3s://host:",     "pop3s://host:99999", "pop3s://host//",          "pop3s://host/inbox",
        "pop3s://user@host", "pop3://host",        "imaps://host",            "://host",
        "pop3+starttls://",  "pop3+tls://host",    "pop3+starttls://host:x/",
        // IPv6: written bare, a bracket not closed or followed by more than a port, a zone,
        // brackets around what is no IPv6 address.
        "::1",               "2001:db8::1",        "2001:db8::1:110",         "pop3s://::1",
        "[2001:db8::1",      "pop3s://[::1",       "2001:db8::1]",            "[::1]x",
        "[::1]1110",         "[::1]:",             "[::1]:99999",             "pop3s://[::1]x/",
        "[::1]:110:110",     "[[::1]]",            "[fe80::1%25eth0]",        "[fe80::1%eth0]:110",
        "[]",                "pop3s://[]:995",     "[127.0.0.1]",             "[mail.example.com]",
        "mail[.example.com", "pop3s://[::1]/inbox",
    };
    for (const std::string& text : texts) {
        SCOPED_TRACE(text);
        ServerAddress address;
        EXPECT_EQ(ParseServerText(text, address), 0);
    }
}

}  // namespace
