// CKelvorDlg: the main window's behaviour over the Window seam. The settings and their
// field exchange, the one-minute check cycle, the tray icon, the received list and the
// viewer, the version box and the exit. Also the two small modal boxes it shows.
#include "app/KelvorDlg.h"

#include <algorithm>
#include <chrono>
#include <climits>
#include <cstdio>
#include <iterator>
#include <utility>

#include "app/AppTexts.h"
#include "app/ResourceStrings.h"
#include "pop3/Pop3Client.h"
#include "res/resource.h"

namespace {

// Values of the notification-area record.
constexpr std::uint32_t kTrayRecordSize = 88;
constexpr std::uint32_t kTrayFlagsAllValid = 7;
// "Kelvor : " and at most 54 bytes of status fill the 64-byte tooltip less its terminator.
constexpr std::size_t kTooltipStatusBytes = 54;

// The timer ticks once a minute; the interval setting counts ticks.
constexpr unsigned kTimerPeriodMilliseconds = 60000;

// A listing repaints the window at most this often while its entries come, which is as often
// as an eye can follow them, and once at its end.
constexpr long long kRepaintPeriodMilliseconds = 40;

// The interval field is read through a 32-byte area, like the platform's own integer
// exchange: at most 31 bytes of it count.
constexpr std::size_t kIntervalFieldBytes = 31;
constexpr int kIntervalMinimum = 1;
constexpr int kIntervalMaximum = 60;

const char kTooltipWithoutStatus[] = "Kelvor";
const char kTooltipPrefix[] = "Kelvor : ";

bool IsBlank(char c)
{
    return c == ' ' || c == '\t';
}

// A zero byte ends a text wherever it stands.
std::string UpToZeroByte(const std::string& text)
{
    return text.substr(0, text.find('\0'));
}

bool IsShiftJisLeadByte(unsigned char c)
{
    return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC);
}

// Reads a signed decimal integer surrounded by blanks and tabs. Returns 0 when anything
// else is in the text, or when it reads 0 without starting with the digit 0 (an empty
// field, a lone sign, "-0"). Numbers beyond 32 bits saturate.
int ParseIntervalText(const std::string& field, int& value)
{
    const std::string text = UpToZeroByte(field).substr(0, kIntervalFieldBytes);
    std::size_t position = 0;
    while (position < text.size() && IsBlank(text[position]))
        ++position;
    const std::size_t numberStart = position;

    bool negative = false;
    if (position < text.size() && (text[position] == '+' || text[position] == '-')) {
        negative = text[position] == '-';
        ++position;
    }
    long long magnitude = 0;
    while (position < text.size() && text[position] >= '0' && text[position] <= '9') {
        // Once past the 32-bit range the exact value no longer matters.
        if (magnitude <= static_cast<long long>(INT_MAX) + 1)
            magnitude = magnitude * 10 + (text[position] - '0');
        ++position;
    }
    while (position < text.size() && IsBlank(text[position]))
        ++position;
    if (position != text.size())
        return 0;

    long long number = negative ? -magnitude : magnitude;
    if (number > INT_MAX)
        number = INT_MAX;
    if (number < INT_MIN)
        number = INT_MIN;
    if (number == 0 && (numberStart >= text.size() || text[numberStart] != '0'))
        return 0;
    value = static_cast<int>(number);
    return 1;
}

bool IsIntervalInRange(int interval)
{
    return interval >= kIntervalMinimum && interval <= kIntervalMaximum;
}

// Puts the two arguments into a message of the form "%1 ... %2 ...".
std::string FormatTwoArguments(const std::string& pattern, const std::string& first,
                               const std::string& second)
{
    std::string result;
    for (std::size_t i = 0; i < pattern.size(); ++i) {
        if (pattern[i] == '%' && i + 1 < pattern.size() &&
            (pattern[i + 1] == '1' || pattern[i + 1] == '2')) {
            result += pattern[i + 1] == '1' ? first : second;
            ++i;
        } else {
            result += pattern[i];
        }
    }
    return result;
}

// The first bytes of a Shift_JIS text, at most maximumBytes of them, never ending in the
// first byte of a two-byte character whose second byte was cut off.
std::string ShiftJisPrefix(const std::string& text, std::size_t maximumBytes)
{
    std::size_t kept = 0;
    while (kept < text.size()) {
        const std::size_t width = IsShiftJisLeadByte(static_cast<unsigned char>(text[kept])) ? 2 : 1;
        if (kept + width > maximumBytes || kept + width > text.size())
            break;
        kept += width;
    }
    return text.substr(0, kept);
}

long long SteadyMilliseconds()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

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

CKelvorDlg::CKelvorDlg(Window& window, std::string applicationTitle, SettingsStore* store)
    : m_hIcon(IDI_NOMAIL),
      m_window(window),
      m_applicationTitle(std::move(applicationTitle)),
      m_store(store),
      m_clock(SteadyMilliseconds)
{
}

void CKelvorDlg::SetClock(std::function<long long()> milliseconds)
{
    m_clock = std::move(milliseconds);
}

void CKelvorDlg::ShowPlain(const std::string& text)
{
    m_window.ShowMessage(text, m_applicationTitle, MessageStyle::Plain);
}

std::string CKelvorDlg::LoadStringOrOwn(int stringId)
{
    std::string text = m_window.LoadString(stringId);
    if (text.empty())
        text = ResourceString(stringId);
    return text;
}

int CKelvorDlg::FailIntervalField(const std::string& message)
{
    m_window.ShowMessage(message, m_applicationTitle, MessageStyle::Exclamation);
    m_window.FocusAndSelectAll(IDC_INTERVAL);
    return 0;
}

int CKelvorDlg::ExchangeFields(FieldDirection direction)
{
    if (direction == FieldDirection::Show) {
        m_window.SetControlText(IDC_INTERVAL, std::to_string(m_interval));
        m_window.SetControlText(IDC_PASSWORD, m_password);
        m_window.SetControlText(IDC_SERVER, m_server);
        m_window.SetControlText(IDC_USER, m_user);
        if (m_popup < 0 || m_popup > 2)
            m_popup = 0;
        m_window.SetCheck(IDC_POPUP, m_popup);
        return 1;
    }

    int interval = 0;
    if (!ParseIntervalText(m_window.GetControlText(IDC_INTERVAL), interval))
        return FailIntervalField(LoadStringOrOwn(IDP_PARSE_INT));
    m_interval = interval;
    if (!IsIntervalInRange(m_interval)) {
        return FailIntervalField(FormatTwoArguments(LoadStringOrOwn(IDP_PARSE_INT_RANGE),
                                                    std::to_string(kIntervalMinimum),
                                                    std::to_string(kIntervalMaximum)));
    }
    TakeLaterFields();
    return 1;
}

void CKelvorDlg::TakeLaterFields()
{
    m_password = m_window.GetControlText(IDC_PASSWORD);
    m_server = m_window.GetControlText(IDC_SERVER);
    m_user = m_window.GetControlText(IDC_USER);
    m_popup = m_window.GetCheck(IDC_POPUP);
}

int CKelvorDlg::TakeFieldsQuietly()
{
    int interval = 0;
    if (!ParseIntervalText(m_window.GetControlText(IDC_INTERVAL), interval) ||
        !IsIntervalInRange(interval))
        return 0;
    m_interval = interval;
    TakeLaterFields();
    return 1;
}

void CKelvorDlg::StoreSettings()
{
    if (m_store != nullptr)
        m_store->StoreSettings(*this);
}

void CKelvorDlg::OnInitDialog()
{
    ExchangeFields(FieldDirection::Show);

    if (m_window.HasSystemMenu()) {
        const std::string aboutEntry = m_window.LoadString(IDS_ABOUTBOX);
        if (!aboutEntry.empty()) {
            m_window.AppendSystemMenuSeparator();
            m_window.AppendSystemMenuItem(IDM_ABOUTBOX, aboutEntry);
        }
    }

    m_window.SetWindowIcons(m_hIcon);
    AddTrayIcon();
    m_window.StartTimer(IDT_CHECK, kTimerPeriodMilliseconds);
    m_ticks = 0;
    m_lastCount = 0;
    m_lastIds.Clear();
    m_busy = 0;

    m_window.SetFocus(IDC_INTERVAL);
    m_window.ShowNormal();
}

bool CKelvorDlg::OnCommand(int commandId)
{
    switch (commandId) {
    case ID_EXIT:
    case ID_TRAY_EXIT:
        OnExit();
        return true;
    case ID_HIDE:
        OnHide();
        return true;
    case IDC_CHECK:
        OnCheck();
        return true;
    case IDC_SHOWLIST:
        OnShowList();
        return true;
    case IDM_ABOUTBOX:
        OnAppAbout();
        return true;
    case ID_TRAY_CHECK:
        OnTrayCheck();
        return true;
    default:
        return false;
    }
}

void CKelvorDlg::OnHide()
{
    // A setting confirmed here is on disk at once, whatever ends the program later.
    if (ExchangeFields(FieldDirection::Read))
        StoreSettings();
    m_window.Hide();
}

void CKelvorDlg::OnExit()
{
    if (m_window.ShowMessage(kTextConfirmExit, kTextExitCaption, MessageStyle::YesNoQuestion) !=
        MessageAnswer::Yes)
        return;
    if (!ExchangeFields(FieldDirection::Read))
        return;
    m_window.EndDialog(1);
}

int CKelvorDlg::OnQueryEndSession()
{
    // Nothing needs asking: the settings are written when the session really ends.
    return 1;
}

void CKelvorDlg::OnEndSession(int ending)
{
    if (!ending)
        return;
    // No box now: nobody is left to answer it. Fields that would fail the exchange leave the
    // members as the last successful read made them.
    TakeFieldsQuietly();
    StoreSettings();
}

void CKelvorDlg::OnSystemQuit()
{
    TakeFieldsQuietly();
    m_window.EndDialog(1);
}

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

    CPop3Client client;
    if (!client.Login(m_server, m_user, m_password)) {
        ShowPlain(client.GetErrorText());
        m_window.EndWaitCursor();
        return;
    }
    const int count = client.GetMessageCount();
    // The ids tell new messages where the count cannot: when another program has removed
    // some and others have come, the count may stay or even fall.
    CUniqueIdSet ids;
    client.UniqueIds(ids);
    client.Quit();
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

void CKelvorDlg::AddTrayIcon()
{
    m_trayIcon = TrayRecord{};
    m_trayIcon.size = kTrayRecordSize;
    m_trayIcon.iconId = ID_TRAYICON;
    m_trayIcon.flags = kTrayFlagsAllValid;
    m_trayIcon.callbackMessage = WM_TRAYNOTIFY;
    m_trayIcon.iconResource = IDI_NOMAIL;
    m_window.TrayRequest(TrayAction::Add, m_trayIcon);
    SetTrayTip(std::string());
}

void CKelvorDlg::SetTrayIcon(int newMail)
{
    m_trayIcon.iconResource = newMail == 1 ? IDI_NEWMAIL : IDI_NOMAIL;
    m_window.TrayRequest(TrayAction::Modify, m_trayIcon);
}

void CKelvorDlg::SetTrayTip(const std::string& status)
{
    const std::string shownStatus = UpToZeroByte(status);
    std::string tooltip = kTooltipWithoutStatus;
    if (!shownStatus.empty())
        tooltip = kTooltipPrefix + ShiftJisPrefix(shownStatus, kTooltipStatusBytes);
    tooltip = tooltip.substr(0, sizeof m_trayIcon.tooltip - 1);
    std::fill(std::begin(m_trayIcon.tooltip), std::end(m_trayIcon.tooltip), '\0');
    tooltip.copy(m_trayIcon.tooltip, tooltip.size());
    m_window.TrayRequest(TrayAction::Modify, m_trayIcon);
}

long CKelvorDlg::OnTrayNotify(unsigned /*iconId*/, int mouseEvent)
{
    if (mouseEvent == kTrayRightButtonDown)
        m_window.ShowTrayMenu(IDR_TRAYMENU);
    else if (mouseEvent == kTrayLeftButtonDoubleClick)
        m_window.ShowNormal();
    return 0;
}

void CKelvorDlg::OnDestroy()
{
    m_window.TrayRequest(TrayAction::Delete, m_trayIcon);
}

int CKelvorDlg::OpenListConversation(CPop3Client& client, const char* emptyMailboxText)
{
    m_busy = 1;
    m_window.BeginWaitCursor();
    ExchangeFields(FieldDirection::Read);

    if (!client.Login(m_server, m_user, m_password)) {
        ShowPlain(client.GetErrorText());
        AbandonListConversation(client);
        return 0;
    }
    // The listing takes the ids too where its server gives them (OnShowList); until then, and
    // after viewing a message, the next check compares with this count.
    m_lastCount = client.GetMessageCount();
    m_lastIds.Clear();
    if (m_lastCount == 0) {
        ShowPlain(emptyMailboxText);
        AbandonListConversation(client);
        return 0;
    }
    return 1;
}

void CKelvorDlg::AbandonListConversation(CPop3Client& client)
{
    m_window.EndWaitCursor();
    client.Quit();
    m_busy = 0;
}

void CKelvorDlg::OnShowList()
{
    if (m_busy) {
        ShowPlain(kTextBusyList);
        return;
    }
    CPop3Client client;
    if (!OpenListConversation(client, kTextNoMailInMailbox))
        return;

    // No more entries than the listing gave sizes for, whatever count STAT claimed.
    const int count = std::min(m_lastCount, client.GetListedCount());
    if (client.Capa() == 1) {
        // A server that names UIDL gives the ids that the next check compares with, so that
        // mail arriving after this listing is told by id even when others were removed.
        if (client.OffersUniqueIds())
            client.UniqueIds(m_lastIds);
        // A server that takes commands ahead of their replies gets the TOP commands in advance.
        client.PipelineSummaries(1, count);
    }
    m_window.ListReset();
    long long lastRepaint = m_clock();
    for (int number = 1; number <= count; ++number) {
        std::string entry;
        const int result = client.RetrieveSummary(number, entry);
        if (result < 1)
            entry = client.GetErrorText();
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
        if (result < 1 && client.SendsCommandsAhead())
            break;
    }
    m_window.SetControlText(IDC_STATUS, std::string());
    m_window.RepaintNow();
    client.Quit();
    m_window.EndWaitCursor();
    m_busy = 0;
}

void CKelvorDlg::OnListDblClk()
{
    if (m_busy) {
        ShowPlain(kTextBusy);
        return;
    }
    CPop3Client client;
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
    client.RetrieveMessage(selected + 1, text);

    CMailListDlg viewer;
    viewer.m_text = text;
    m_window.EndWaitCursor();
    // The conversation stays logged in while the viewer is open.
    viewer.DoModal(m_window);
    client.Quit();
    m_busy = 0;
}

void CKelvorDlg::OnSysCommand(unsigned commandId, long position)
{
    if ((commandId & 0xFFF0) == IDM_ABOUTBOX) {
        CAboutDlg about;
        about.DoModal(m_window);
        return;
    }
    m_window.DefaultSystemCommand(commandId, position);
}

void CKelvorDlg::OnAppAbout()
{
    CAboutDlg about;
    about.DoModal(m_window);
}

void CKelvorDlg::OnPaint()
{
    if (!m_window.IsMinimized()) {
        m_window.DefaultPaint();
        return;
    }
    int clientWidth = 0;
    int clientHeight = 0;
    int iconWidth = 0;
    int iconHeight = 0;
    m_window.GetClientSize(clientWidth, clientHeight);
    m_window.GetStandardIconSize(iconWidth, iconHeight);
    const int x = (clientWidth - iconWidth + 1) / 2;
    const int y = (clientHeight - iconHeight + 1) / 2;
    m_window.DrawIconAt(m_hIcon, x, y);
}

int CKelvorDlg::OnQueryDragIcon() const
{
    return m_hIcon;
}

void CKelvorDlg::OnHelp()
{
    m_window.ShowHelp(HELP_TOPIC_BASE + IDD_MAIN);
}

int CMailListDlg::DoModal(Window& owner)
{
    owner.ShowViewer(m_text);
    return IDOK;
}

int CAboutDlg::DoModal(Window& owner)
{
    owner.ShowAboutBox();
    return IDOK;
}
