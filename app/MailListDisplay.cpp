// CKelvorDlg's list display: the received list of every message's sender and subject, and
// the viewer of the message whose line is double-clicked.
#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>

#include "app/AppTexts.h"
#include "app/KelvorDlg.h"
#include "pop3/Pop3Client.h"
#include "res/resource.h"

namespace {

// A listing repaints the window at most this often while its entries come, which is as often
// as an eye can follow them, and once at its end.
constexpr long long kRepaintPeriodMilliseconds = 40;

}  // namespace

int CKelvorDlg::OpenListConversation(std::unique_ptr<CPop3Client>& client, const char* emptyMailboxText)
{
    m_busy = 1;
    m_window.BeginWaitCursor();
    ExchangeFields(FieldDirection::Read);

    std::string failure;
    if (!LogIn(client, true, failure)) {
        ShowPlain(failure);
        AbandonListConversation(client);
        return 0;
    }
    // The listing takes the ids too where its server gives them (OnShowList); until then, and
    // after viewing a message, the next check compares with this count.
    m_lastCount = client->GetMessageCount();
    m_lastIds.Clear();
    if (m_lastCount == 0) {
        ShowPlain(emptyMailboxText);
        AbandonListConversation(client);
        return 0;
    }
    return 1;
}

void CKelvorDlg::AbandonListConversation(std::unique_ptr<CPop3Client>& client)
{
    m_window.EndWaitCursor();
    if (client)
        client->Quit();
    m_busy = 0;
}

void CKelvorDlg::OnShowList()
{
    if (m_busy) {
        ShowPlain(kTextBusyList);
        return;
    }
    std::unique_ptr<CPop3Client> client;
    if (!OpenListConversation(client, kTextNoMailInMailbox))
        return;

    // No more entries than the listing gave sizes for, whatever count STAT claimed.
    const int count = std::min(m_lastCount, client->GetListedCount());
    if (client->Capa() == 1) {
        // A server that names UIDL gives the ids that the next check compares with, so that
        // mail arriving after this listing is told by id even when others were removed.
        if (client->OffersUniqueIds())
            client->UniqueIds(m_lastIds);
        // A server that takes commands ahead of their replies gets the TOP commands in advance.
        client->PipelineSummaries(1, count);
    }
    m_window.ListReset();
    long long lastRepaint = m_clock();
    for (int number = 1; number <= count; ++number) {
        std::string entry;
        const int result = client->RetrieveSummary(number, entry);
        if (result < 1)
            entry = client->GetErrorText();
        m_window.ListAppend(entry);
        char progress[32];
        std::snprintf(progress, sizeof progress, "%d / %d", number, count);
        m_window.SetControlText(IDC_STATUS, progress);
        // The conversation blocks the thread, so the window is repainted from here; entries
        // that come faster than the eye can follow are shown together. The period counts
        // from the end of a repaint, so that slow painting cannot crowd out the listing.
        if (m_clock() - lastRepaint >= kRepaintPeriodMilliseconds) {
            m_window.RepaintNow();
            lastRepaint = m_clock();
        }
        // With commands sent ahead, the replies after a failed one cannot be trusted to
        // belong to their messages: the listing ends with this entry, and Quit reads the
        // replies still owed.
        if (result < 1 && client->SendsCommandsAhead())
            break;
    }
    m_window.SetControlText(IDC_STATUS, std::string());
    m_window.RepaintNow();
    client->Quit();
    m_window.EndWaitCursor();
    m_busy = 0;
}

void CKelvorDlg::OnListDblClk()
{
    if (m_busy) {
        ShowPlain(kTextBusy);
        return;
    }
    std::unique_ptr<CPop3Client> client;
    if (!OpenListConversation(client, kTextNoMail))
        return;

    // The entry at position k stands for message k + 1. With nothing selected, or with a
    // list longer than the mailbox is now, there is no such message: nothing is shown.
    const int selected = m_window.ListSelection();
    if (selected < 0 || selected >= m_lastCount) {
        AbandonListConversation(client);
        return;
    }
    std::string text;
    client->RetrieveMessage(selected + 1, text);

    CMailListDlg viewer;
    viewer.m_text = text;
    m_window.EndWaitCursor();
    // The conversation stays logged in while the viewer is open.
    viewer.DoModal(m_window);
    client->Quit();
    m_busy = 0;
}
