// The main window's Qt widget (layout IDD_MAIN from res/MainDialog.ui). It turns the window's
// own events into commands: every button click, Enter, Esc and a close request, the list's
// double-click, F1 and painting; it never hides or closes itself.
#ifndef KELVOR_PLATFORM_QT_MAINDIALOG_H
#define KELVOR_PLATFORM_QT_MAINDIALOG_H

#include <QDialog>
#include <QPixmap>
#include <map>

#include "ui_MainDialog.h"

class MainDialog : public QDialog {
    Q_OBJECT
public:
    MainDialog();

    Ui::MainDialog& Controls() { return m_controls; }
    // The control with this id; null when there is none.
    QWidget* Control(int controlId) const;

    // Painting that the paint handler asks for; only valid while paintRequested is handled.
    void EraseAndDrawIcon(const QPixmap& icon, int x, int y);
    void PaintDefault();

signals:
    void commandIssued(int commandId);
    void listDoubleClicked();
    void helpRequested();
    void paintRequested();

public slots:
    // Esc reaches the dialog as a rejection: it issues the hide command instead of closing.
    void reject() override;

protected:
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    Ui::MainDialog m_controls;
    QPaintEvent* m_paintEvent = nullptr;
    std::map<int, QWidget*> m_controlsById;
};

#endif
