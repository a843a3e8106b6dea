// CKelvorDlg: the main window's start, its command routing, hiding, exit and the end of the
// session, the version box and painting; also the two small modal boxes it shows. The field
// exchange, the check cycle, the tray icon and the list display have files of their own.
#include "app/KelvorDlg.h"

#include <chrono>
#include <utility>

#include "app/AppTexts.h"
#include "res/resource.h"

namespace {

// The timer ticks once a minute; the interval setting counts ticks.
constexpr unsigned kTimerPeriodMilliseconds = 60000;

long long SteadyMilliseconds()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
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
