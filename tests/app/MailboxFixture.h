// MailboxFixture: a started main window over a recording fake window, whose fields point at
// a scripted POP3 server on 127.0.0.1 that serves a mailbox.
#ifndef KELVOR_TESTS_APP_MAILBOXFIXTURE_H
#define KELVOR_TESTS_APP_MAILBOXFIXTURE_H

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "RecordingWindow.h"
#include "ScriptedPop3Server.h"
#include "app/KelvorDlg.h"
#include "pop3/Pop3Client.h"
#include "res/resource.h"

class MailboxFixture : public ::testing::Test {
protected:
    CScriptedPop3Server server;
    RecordingWindow window;
    CKelvorDlg dialog{window, "kelvor"};

    // Messages "From: sender<i>@example", "Subject: Message <i>" for i = 1 to count.
    static std::vector<std::string> Mailbox(int count)
    {
        std::vector<std::string> messages;
        for (int i = 1; i <= count; ++i) {
            messages.push_back("From: sender" + std::to_string(i) + "@example\r\nSubject: Message " +
                               std::to_string(i) + "\r\n\r\nBody of message " + std::to_string(i) + "\r\n");
        }
        return messages;
    }

    // Starts the window with the settings taken from the server and the given interval, as if
    // loaded from the profile and already in the fields.
    void StartWindow(int interval, int popup)
    {
        dialog.m_interval = interval;
        dialog.m_server = server.Address();
        dialog.m_user = "user";
        dialog.m_password = "secret";
        dialog.m_popup = popup;
        dialog.OnInitDialog();
        window.ClearRecords();
    }

    // What a client of our own gets to see of the same server: the text the handlers must
    // show unchanged.
    std::string FailedLoginText()
    {
        CPop3Client client;
        EXPECT_EQ(client.Login(server.Address(), "user", "secret"), 0);
        return client.GetErrorText();
    }

    // Command lines as the server received them, less the blank that QUIT, STAT and LIST
    // carry before their line end.
    static std::string WithoutTrailingBlank(std::string line)
    {
        while (!line.empty() && line.back() == ' ')
            line.pop_back();
        return line;
    }

    int CountCommands(const std::string& command) const
    {
        int count = 0;
        for (const std::string& line : server.Commands())
            count += WithoutTrailingBlank(line) == command ? 1 : 0;
        return count;
    }

    std::string LastCommand() const
    {
        const std::vector<std::string> commands = server.Commands();
        return commands.empty() ? std::string() : WithoutTrailingBlank(commands.back());
    }
};

#endif
