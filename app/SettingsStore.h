// Where the main window's five settings go when it has them confirmed: the application object
// keeps them in the profile file, so a setting taken over at "OK" survives whatever ends the
// program afterwards.
#ifndef KELVOR_APP_SETTINGSSTORE_H
#define KELVOR_APP_SETTINGSSTORE_H

class CKelvorDlg;

class SettingsStore {
public:
    virtual ~SettingsStore() = default;
    // Writes the dialog's five settings; a failed write is not reported.
    virtual void StoreSettings(const CKelvorDlg& dialog) = 0;
};

#endif
