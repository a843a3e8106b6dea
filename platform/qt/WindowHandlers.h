// The events of the main window that the Qt shell hands on: the handlers of the main window's
// behaviour, as the shell sees them. The application routes them to CKelvorDlg; tests record them.
#ifndef KELVOR_PLATFORM_QT_WINDOWHANDLERS_H
#define KELVOR_PLATFORM_QT_WINDOWHANDLERS_H

class WindowHandlers {
public:
    virtual ~WindowHandlers() = default;
    // Buttons, Enter, Esc, the close request and the tray menu's entries.
    virtual void OnCommand(int commandId) = 0;
    virtual void OnTimer(unsigned timerId) = 0;
    virtual void OnTrayNotify(unsigned iconId, int mouseEvent) = 0;
    // A double-click anywhere in the received list.
    virtual void OnListDblClk() = 0;
    virtual void OnPaint() = 0;
    // F1 without Shift, Ctrl or Alt.
    virtual void OnHelp() = 0;
};

#endif
