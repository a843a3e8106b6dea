// CKelvorDlg's mail check cycle: the one-minute timer, the checks the user asks for, and the
// decision whether the mailbox holds new mail.
#include <climits>
#include <memory>
#include <string>
#include <utility>

#include "app/AppTexts.h"
#include "app/KelvorDlg.h"
#include "pop3/Pop3Client.h"

namespace {

// What a check finds new against the last one: whether there is new mail, and the second
// number of the user's report.
struct NewMail {
    bool found;
    long long reportedCount;
};

// With the ids of both checks, the new messages are those whose id is new. Without them the
// count decides: a grown mailbox has new mail, and the report gives by how much the count
// moved. An empty id set on either side means no ids; for an empty mailbox both rules agree.
NewMail CompareWithLastCheck(int count, const CUniqueIdSet& ids, int lastCount,
                             const CUniqueIdSet& lastIds)
{
    if (!ids.Empty() && !lastIds.Empty()) {
        const long long fresh = static_cast<long long>(ids.CountNotIn(lastIds));
        return {fresh > 0, fresh};
    }
    const long long difference = static_cast<long long>(lastCount) - count;
    return {count > lastCount, difference < 0 ? -difference : difference};
}

}  // namespace

void CKelvorDlg::OnTimer(unsigned /*timerId*/)
{
    // A tick waits while a conversation is under way; the count must not wrap meanwhile.
    if (m_ticks < INT_MAX)
        ++m_ticks;
    if (m_ticks >= m_interval && !m_busy) {
        m_busy = 1;
        CheckMail(0);
        m_ticks = 0;
        m_busy = 0;
    }
}

void CKelvorDlg::OnCheck()
{
    if (m_busy) {
        ShowPlain(kTextBusy);
        return;
    }
    // A check that the user asked for leaves m_ticks alone, so the timer keeps its rhythm.
    m_busy = 1;
    CheckMail(1);
    m_busy = 0;
}

void CKelvorDlg::OnTrayCheck()
{
    OnCheck();
}

void CKelvorDlg::CheckMail(int manual)
{
    m_window.BeginWaitCursor();
    const std::string serverBefore = m_server;
    ExchangeFields(FieldDirection::Read);
    // Against another server every message counts as new.
    if (serverBefore != m_server) {
        m_lastCount = 0;
        m_lastIds.Clear();
    }

    // Only a check that the user asked for may open the browser to sign in.
    std::unique_ptr<CPop3Client> client;
    std::string failure;
    if (!LogIn(client, manual != 0, failure)) {
        ShowPlain(failure);
        m_window.EndWaitCursor();
        return;
    }
    const int count = client->GetMessageCount();
    // The ids tell new messages where the count cannot: when another program has removed
    // some and others have come, the count may stay or even fall.
    CUniqueIdSet ids;
    client->UniqueIds(ids);
    client->Quit();
    const NewMail newMail = CompareWithLastCheck(count, ids, m_lastCount, m_lastIds);

    if (m_popup != 0 && manual == 0) {
        if (newMail.found) {
            SetTrayIcon(1);
            ShowPlain(kTextNewMail);
        } else {
            SetTrayIcon(0);
        }
    } else {
        std::string report;
        if (count > 0) {
            SetTrayIcon(newMail.found ? 1 : 0);
            report = FormatMailCountReport(count, newMail.reportedCount);
        } else {
            SetTrayIcon(0);
            report = kTextNoMailInMailbox;
        }
        if (manual != 0)
            ShowPlain(report);
    }
    // Only now, after any box has been closed, do the new count and ids become the baseline.
    m_lastCount = count;
    m_lastIds = std::move(ids);
    m_window.EndWaitCursor();
}
