// The Window operations over Qt Widgets, and the routing of the tray icon's events and the
// timer to the main window's handlers.
#include "platform/qt/QtWindow.h"

#include <QApplication>
#include <QCheckBox>
#include <QCursor>
#include <QDesktopServices>
#include <QDialogButtonBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTimer>
#include <QUrl>
#include <QVBoxLayout>
#include <cstring>

#include "app/ResourceStrings.h"
#include "platform/qt/IconResources.h"
#include "platform/qt/ShiftJisText.h"
#include "platform/qt/TrayMenu.h"
#include "res/resource.h"
#include "signin/SignInTexts.h"
#include "ui_AboutDialog.h"
#include "ui_MailViewerDialog.h"

namespace {

// The one button of the box that waits for the sign-in in the browser; its words are the
// core's (kSignInTextWaiting).
const char16_t* const kSignInCancelText = u"キャンセル";
// How often the box asks whether the browser has come back.
constexpr int kSignInPollMilliseconds = 100;

// The mouse events of the notification area that this tray reports besides the two the
// handlers act on.
constexpr int kTrayLeftButtonDown = 0x0201;
constexpr int kTrayMiddleButtonDown = 0x0207;

// The core ends its lines with CR LF; Qt's text widgets break lines at LF alone.
QString ForDisplay(const std::string& text) {
    QString shown = FromShiftJis(text);
    shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    return shown;
}

// While a box or menu of the window is open the pointer is the ordinary arrow, even when a
// POP3 conversation around it still shows the wait cursor.
class ArrowCursorWhileOpen {
public:
    ArrowCursorWhileOpen() : m_pushed(QApplication::overrideCursor() != nullptr) {
        if (m_pushed) QApplication::setOverrideCursor(Qt::ArrowCursor);
    }
    ~ArrowCursorWhileOpen() {
        if (m_pushed) QApplication::restoreOverrideCursor();
    }
    ArrowCursorWhileOpen(const ArrowCursorWhileOpen&) = delete;
    ArrowCursorWhileOpen& operator=(const ArrowCursorWhileOpen&) = delete;

private:
    bool m_pushed;
};

// The boxes of the window are owned by it: they stay above it (it is always on top) and
// block only it, so the timer and the tray icon keep working while one is open.
void MakeOwnedModal(QDialog& box) {
    box.setWindowModality(Qt::WindowModal);
    box.setWindowFlag(Qt::WindowStaysOnTopHint, true);
}

}  // namespace

QtWindow::QtWindow(std::function<bool()> trayAvailable) : m_trayAvailable(std::move(trayAvailable)) {
    connect(&m_dialog, &MainDialog::commandIssued, this, [this](int commandId) {
        if (WindowHandlers* handlers = LiveHandlers()) handlers->OnCommand(commandId);
    });
    connect(&m_dialog, &MainDialog::listDoubleClicked, this, [this] {
        if (WindowHandlers* handlers = LiveHandlers()) handlers->OnListDblClk();
    });
    connect(&m_dialog, &MainDialog::helpRequested, this, [this] {
        if (WindowHandlers* handlers = LiveHandlers()) handlers->OnHelp();
    });
    connect(&m_dialog, &MainDialog::paintRequested, this, [this] {
        if (m_handlers != nullptr)
            m_handlers->OnPaint();
        else
            m_dialog.PaintDefault();
    });
    // Queued, so that the menu a right-button press opens runs after the press has been handled.
    connect(&m_tray, &QSystemTrayIcon::activated, this, &QtWindow::OnTrayActivated, Qt::QueuedConnection);
}

QtWindow::~QtWindow() {
    while (m_waitCursors > 0) EndWaitCursor();
    m_tray.hide();
}

void QtWindow::Attach(WindowHandlers* handlers) {
    m_handlers = handlers;
}

WindowHandlers* QtWindow::LiveHandlers() const {
    return m_ended ? nullptr : m_handlers;
}

int QtWindow::RunUntilEnded() {
    if (!m_ended) m_loop.exec();
    return m_result;
}

void QtWindow::Destroy() {
    for (auto& [id, timer] : m_timers) delete timer;
    m_timers.clear();
    m_dialog.hide();
}

std::string QtWindow::GetControlText(int controlId) {
    QWidget* control = m_dialog.Control(controlId);
    QString text;
    if (auto* edit = qobject_cast<QLineEdit*>(control)) text = edit->text();
    else if (auto* label = qobject_cast<QLabel*>(control)) text = label->text();
    else if (auto* button = qobject_cast<QAbstractButton*>(control)) text = button->text();
    else if (auto* group = qobject_cast<QGroupBox*>(control)) text = group->title();
    return ToShiftJis(text);
}

void QtWindow::SetControlText(int controlId, const std::string& text) {
    QWidget* control = m_dialog.Control(controlId);
    QString shown = FromShiftJis(text);
    if (auto* edit = qobject_cast<QLineEdit*>(control)) {
        edit->setText(shown);
        edit->setCursorPosition(0);  // a new text shows from its start, as a fresh field does
    } else if (auto* label = qobject_cast<QLabel*>(control)) {
        label->setText(shown);
    } else if (auto* button = qobject_cast<QAbstractButton*>(control)) {
        button->setText(shown);
    } else if (auto* group = qobject_cast<QGroupBox*>(control)) {
        group->setTitle(shown);
    }
}

int QtWindow::GetCheck(int controlId) {
    auto* box = qobject_cast<QCheckBox*>(m_dialog.Control(controlId));
    if (box == nullptr) return 0;
    return box->isChecked() ? 1 : 0;
}

void QtWindow::SetCheck(int controlId, int state) {
    // A two-state box has no third state: any state but 0 shows as checked.
    auto* box = qobject_cast<QCheckBox*>(m_dialog.Control(controlId));
    if (box != nullptr) box->setChecked(state != 0);
}

void QtWindow::SetFocus(int controlId) {
    if (QWidget* control = m_dialog.Control(controlId)) control->setFocus(Qt::OtherFocusReason);
}

void QtWindow::FocusAndSelectAll(int controlId) {
    QWidget* control = m_dialog.Control(controlId);
    if (control == nullptr) return;
    control->setFocus(Qt::OtherFocusReason);
    if (auto* edit = qobject_cast<QLineEdit*>(control)) edit->selectAll();
}

MessageAnswer QtWindow::ShowMessage(const std::string& text, const std::string& caption,
                                    MessageStyle style) {
    if (m_ended) return style == MessageStyle::YesNoQuestion ? MessageAnswer::No : MessageAnswer::Ok;
    QMessageBox box(&m_dialog);
    MakeOwnedModal(box);
    box.setWindowTitle(FromShiftJis(caption));
    box.setText(ForDisplay(text));
    box.setTextFormat(Qt::PlainText);
    QAbstractButton* yes = nullptr;
    switch (style) {
    case MessageStyle::Plain:
        box.setIcon(QMessageBox::NoIcon);
        box.setStandardButtons(QMessageBox::Ok);
        break;
    case MessageStyle::Exclamation:
        box.setIcon(QMessageBox::Warning);
        box.setStandardButtons(QMessageBox::Ok);
        break;
    case MessageStyle::YesNoQuestion:
        box.setIcon(QMessageBox::Question);
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        yes = box.button(QMessageBox::Yes);
        yes->setText(QStringLiteral("はい(&Y)"));
        box.button(QMessageBox::No)->setText(QStringLiteral("いいえ(&N)"));
        box.setDefaultButton(QMessageBox::Yes);
        break;
    }
    // Plain buttons, as the platform's own message boxes have them.
    for (QAbstractButton* button : box.buttons()) button->setIcon(QIcon());
    ArrowCursorWhileOpen arrow;
    box.exec();
    if (style != MessageStyle::YesNoQuestion) return MessageAnswer::Ok;
    return box.clickedButton() == yes ? MessageAnswer::Yes : MessageAnswer::No;
}

void QtWindow::BeginWaitCursor() {
    QApplication::setOverrideCursor(Qt::WaitCursor);
    ++m_waitCursors;
}

void QtWindow::EndWaitCursor() {
    if (m_waitCursors == 0) return;
    QApplication::restoreOverrideCursor();
    --m_waitCursors;
}

void QtWindow::ListReset() {
    m_dialog.Controls().mailList->clear();
}

void QtWindow::ListAppend(const std::string& entry) {
    m_dialog.Controls().mailList->addItem(FromShiftJis(entry));
}

int QtWindow::ListSelection() {
    QListWidget* list = m_dialog.Controls().mailList;
    QList<QListWidgetItem*> selected = list->selectedItems();
    return selected.isEmpty() ? -1 : list->row(selected.first());
}

void QtWindow::RepaintNow() {
    // No event loop runs during a conversation: lay the list out and paint the whole window
    // now, so each new entry and the status line show at once.
    m_dialog.Controls().mailList->doItemsLayout();
    m_dialog.repaint();
}

void QtWindow::ShowNormal() {
    m_dialog.showNormal();
    m_dialog.raise();
    m_dialog.activateWindow();
}

void QtWindow::Hide() {
    if (m_trayAvailable && m_trayAvailable())
        m_dialog.hide();
    else
        m_dialog.showMinimized();
}

void QtWindow::SetWindowIcons(int iconResource) {
    m_dialog.setWindowIcon(IconResource(iconResource));
}

void QtWindow::TrayRequest(TrayAction action, const TrayRecord& record) {
    // The tooltip field holds at most 63 bytes and its terminator; never read past it.
    std::string tooltip(record.tooltip, strnlen(record.tooltip, sizeof record.tooltip));
    switch (action) {
    case TrayAction::Add:
        if (m_trayAdded) return;  // the area refuses a second icon of the same id
        m_tray.setIcon(QIcon(IconImage(record.iconResource, 16)));
        m_tray.setToolTip(FromShiftJis(tooltip));
        m_tray.show();
        m_trayAdded = true;
        return;
    case TrayAction::Modify:
        if (!m_trayAdded) return;  // nothing to modify: the request is refused
        m_tray.setIcon(QIcon(IconImage(record.iconResource, 16)));
        m_tray.setToolTip(FromShiftJis(tooltip));
        return;
    case TrayAction::Delete:
        m_tray.hide();
        m_trayAdded = false;
        return;
    }
}

void QtWindow::ShowTrayMenu(int menuResource) {
    if (m_ended) return;
    std::unique_ptr<QMenu> menu = BuildTrayMenu(menuResource, &m_dialog);
    if (!menu) return;
    QPoint cursor = QCursor::pos();
    // The menu's bottom-left corner lies at the cursor.
    QPoint topLeft(cursor.x(), cursor.y() - menu->sizeHint().height());
    int commandId = 0;
    {
        ArrowCursorWhileOpen arrow;
        commandId = TrayMenuCommand(menu->exec(topLeft));
    }
    menu.reset();
    if (commandId == 0) return;
    // The chosen command reaches the window after the menu has closed and the handler that
    // opened it has returned.
    QMetaObject::invokeMethod(this, [this, commandId] {
        if (WindowHandlers* handlers = LiveHandlers()) handlers->OnCommand(commandId);
    }, Qt::QueuedConnection);
}

void QtWindow::ShowViewer(std::string& text) {
    if (m_ended) return;
    QDialog viewer(&m_dialog);
    Ui::MailViewerDialog layout;
    layout.setupUi(&viewer);
    viewer.setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    MakeOwnedModal(viewer);
    viewer.setFixedSize(viewer.size());
    connect(layout.okButton, &QPushButton::clicked, &viewer, &QDialog::accept);
    layout.mailText->setPlainText(ForDisplay(text));
    layout.okButton->setFocus(Qt::OtherFocusReason);
    ArrowCursorWhileOpen arrow;
    viewer.exec();
    // The text is read-only, so it comes back as it went in: text keeps its exact bytes
    // rather than a second conversion of what was shown.
}

void QtWindow::ShowAboutBox() {
    if (m_ended) return;
    QDialog about(&m_dialog);
    Ui::AboutDialog layout;
    layout.setupUi(&about);
    about.setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                         Qt::WindowCloseButtonHint);
    MakeOwnedModal(about);
    about.setFixedSize(about.size());
    about.setWindowIcon(IconResource(IDI_NOMAIL));
    layout.iconLabel->setPixmap(IconImage(IDI_NOMAIL, 32));
    connect(layout.okButton, &QPushButton::clicked, &about, &QDialog::accept);
    ArrowCursorWhileOpen arrow;
    about.exec();
}

std::string QtWindow::LoadString(int stringId) {
    return ResourceString(stringId);
}

bool QtWindow::HasSystemMenu() {
    // The window has no system-menu box, and this window system gives programs no window menu
    // to extend; the version box is reached through the tray menu.
    return false;
}

void QtWindow::AppendSystemMenuSeparator() {
    // No system menu exists (HasSystemMenu), so there is nothing to append to.
}

void QtWindow::AppendSystemMenuItem(int, const std::string&) {
    // No system menu exists (HasSystemMenu), so there is nothing to append to.
}

void QtWindow::DefaultSystemCommand(unsigned, long) {
    // System commands never arrive here: moving and closing are the window manager's own.
}

void QtWindow::StartTimer(int timerId, unsigned periodMilliseconds) {
    // A timer started again under the same id replaces the old one.
    auto found = m_timers.find(timerId);
    if (found != m_timers.end()) delete found->second;
    auto* timer = new QTimer(this);
    // The minutes are counted tick by tick, so each tick keeps to its period.
    timer->setTimerType(Qt::PreciseTimer);
    timer->setInterval(static_cast<int>(periodMilliseconds));
    connect(timer, &QTimer::timeout, this, [this, timerId] {
        if (WindowHandlers* handlers = LiveHandlers()) handlers->OnTimer(static_cast<unsigned>(timerId));
    });
    timer->start();
    m_timers[timerId] = timer;
}

void QtWindow::EndDialog(int result) {
    m_result = result;
    m_ended = true;
    m_dialog.hide();
    // When the system ends the program, a box or the tray menu may still be open, each with a
    // handler waiting under it: close them, so that those handlers return and the run ends.
    // Boxes asked for from now on are not shown (m_ended).
    if (QWidget* popup = QApplication::activePopupWidget()) popup->close();
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        auto* box = qobject_cast<QDialog*>(widget);
        if (box != nullptr && box != &m_dialog && box->isVisible()) box->reject();
    }
    m_loop.exit(result);
}

bool QtWindow::IsMinimized() {
    return m_dialog.isMinimized();
}

void QtWindow::GetClientSize(int& width, int& height) {
    width = m_dialog.width();
    height = m_dialog.height();
}

void QtWindow::GetStandardIconSize(int& width, int& height) {
    width = 32;
    height = 32;
}

void QtWindow::DrawIconAt(int iconResource, int x, int y) {
    m_dialog.EraseAndDrawIcon(IconImage(iconResource, 32), x, y);
}

void QtWindow::DefaultPaint() {
    m_dialog.PaintDefault();
}

void QtWindow::ShowHelp(unsigned) {
    // No help file belongs to the program, so the help request shows nothing.
}

bool QtWindow::OpenWebAddress(const std::string& address) {
    // The desktop's way of opening a web address: Qt runs xdg-open, which honours $BROWSER
    // (and Qt looks at $BROWSER itself where xdg-open is missing).
    QUrl url = QUrl::fromEncoded(QByteArray::fromStdString(address), QUrl::StrictMode);
    if (!url.isValid() || (url.scheme() != QStringLiteral("https") && url.scheme() != QStringLiteral("http")))
        return false;
    return QDesktopServices::openUrl(url);
}

bool QtWindow::WaitForSignIn(const std::function<bool()>& poll) {
    if (m_ended) return false;
    QDialog box(&m_dialog);
    box.setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    MakeOwnedModal(box);
    box.setWindowTitle(m_dialog.windowTitle());
    auto* layout = new QVBoxLayout(&box);
    auto* text = new QLabel(FromShiftJis(kSignInTextWaiting), &box);
    text->setWordWrap(true);
    text->setMinimumWidth(320);
    layout->addWidget(text);
    auto* buttons = new QDialogButtonBox(&box);
    buttons->addButton(QString::fromUtf16(kSignInCancelText), QDialogButtonBox::RejectRole);
    buttons->setCenterButtons(true);
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::rejected, &box, &QDialog::reject);
    box.setFixedSize(box.sizeHint());

    // The box closes with the window when the program ends (EndDialog rejects open boxes).
    bool signedIn = false;
    bool polling = false;
    QTimer timer;
    timer.setInterval(kSignInPollMilliseconds);
    connect(&timer, &QTimer::timeout, &box, [&] {
        if (polling || !box.isVisible()) return;
        polling = true;
        signedIn = poll();
        polling = false;
        if (signedIn) box.accept();
    });
    timer.start();
    ArrowCursorWhileOpen arrow;
    box.exec();
    timer.stop();
    return signedIn && !m_ended;
}

void QtWindow::OnTrayActivated(QSystemTrayIcon::ActivationReason reason) {
    WindowHandlers* handlers = LiveHandlers();
    if (handlers == nullptr) return;
    switch (reason) {
    case QSystemTrayIcon::Context: handlers->OnTrayNotify(ID_TRAYICON, kTrayRightButtonDown); break;
    case QSystemTrayIcon::DoubleClick: handlers->OnTrayNotify(ID_TRAYICON, kTrayLeftButtonDoubleClick); break;
    case QSystemTrayIcon::Trigger: handlers->OnTrayNotify(ID_TRAYICON, kTrayLeftButtonDown); break;
    case QSystemTrayIcon::MiddleClick: handlers->OnTrayNotify(ID_TRAYICON, kTrayMiddleButtonDown); break;
    default: break;
    }
}
