// The Qt main window's events, handed to CKelvorDlg one to one.
#include "platform/qt/KelvorDlgHandlers.h"

void KelvorDlgHandlers::OnCommand(int commandId) {
    m_dialog.OnCommand(commandId);
}

void KelvorDlgHandlers::OnTimer(unsigned timerId) {
    m_dialog.OnTimer(timerId);
}

void KelvorDlgHandlers::OnTrayNotify(unsigned iconId, int mouseEvent) {
    m_dialog.OnTrayNotify(iconId, mouseEvent);
}

void KelvorDlgHandlers::OnListDblClk() {
    m_dialog.OnListDblClk();
}

void KelvorDlgHandlers::OnPaint() {
    m_dialog.OnPaint();
}

void KelvorDlgHandlers::OnHelp() {
    m_dialog.OnHelp();
}
