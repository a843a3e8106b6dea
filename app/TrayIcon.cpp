// CKelvorDlg's tray icon: the notification-area record, its two pictures, its tooltip and
// the mouse on the icon.
#include <algorithm>
#include <cstdint>
#include <iterator>
#include <string>

#include "app/KelvorDlg.h"
#include "res/resource.h"

namespace {

// Values of the notification-area record.
constexpr std::uint32_t kTrayRecordSize = 88;
constexpr std::uint32_t kTrayFlagsAllValid = 7;
// "Kelvor : " and at most 54 bytes of status fill the 64-byte tooltip less its terminator.
constexpr std::size_t kTooltipStatusBytes = 54;

const char kTooltipWithoutStatus[] = "Kelvor";
const char kTooltipPrefix[] = "Kelvor : ";

// A zero byte ends a text wherever it stands.
std::string UpToZeroByte(const std::string& text)
{
    return text.substr(0, text.find('\0'));
}

bool IsShiftJisLeadByte(unsigned char c)
{
    return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC);
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

}  // namespace

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
