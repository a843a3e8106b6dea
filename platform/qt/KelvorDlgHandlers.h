// Routes the Qt main window's events to the handlers of CKelvorDlg.
#ifndef KELVOR_PLATFORM_QT_KELVORDLGHANDLERS_H
#define KELVOR_PLATFORM_QT_KELVORDLGHANDLERS_H

#include "app/KelvorDlg.h"
#include "platform/qt/WindowHandlers.h"

class KelvorDlgHandlers : public WindowHandlers {
public:
    explicit KelvorDlgHandlers(CKelvorDlg& dialog) : m_dialog(dialog) {}

    void OnCommand(int commandId) override;
    void OnTimer(unsigned timerId) override;
    void OnTrayNotify(unsigned iconId, int mouseEvent) override;
    void OnListDblClk() override;
    void OnPaint() override;
    void OnHelp() override;

private:
    CKelvorDlg& m_dialog;
};

#endif
