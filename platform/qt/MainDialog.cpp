// The main window's widget: window flags, the routing of its events to commands, and painting.
#include "platform/qt/MainDialog.h"

#include <QCloseEvent>
#include <QKeyEvent>
#include <QPainter>
#include <QPushButton>

#include "res/resource.h"

MainDialog::MainDialog() {
    m_controls.setupUi(this);
    // A caption without close, minimise or maximise buttons, always above other windows, and
    // of the size the layout gives.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowStaysOnTopHint);
    setFixedSize(size());

    // The controls by their ids, gathered once: a listing sets the status line's text for
    // every entry, and a search through all the window's widgets each time would cost more
    // than the text itself. The labels that share IDC_STATIC are none of them.
    for (QWidget* child : findChildren<QWidget*>()) {
        QVariant id = child->property("controlId");
        if (id.isValid() && id.toInt() != IDC_STATIC) m_controlsById.emplace(id.toInt(), child);
    }

    for (QPushButton* button : findChildren<QPushButton*>()) {
        int commandId = button->property("controlId").toInt();
        connect(button, &QPushButton::clicked, this, [this, commandId] { emit commandIssued(commandId); });
    }
    // The list reports every double-click in its area, on an entry or not; the command runs
    // after the list has finished with the click.
    m_controls.mailList->viewport()->installEventFilter(this);

    // The window opens with the focus on its first tab stop, the interval field.
    for (QWidget* next = nextInFocusChain(); next != this; next = next->nextInFocusChain()) {
        if ((next->focusPolicy() & Qt::TabFocus) && next->isEnabled()) {
            next->setFocus(Qt::TabFocusReason);
            break;
        }
    }
}

QWidget* MainDialog::Control(int controlId) const {
    auto found = m_controlsById.find(controlId);
    return found == m_controlsById.end() ? nullptr : found->second;
}

void MainDialog::reject() {
    emit commandIssued(IDCANCEL);
}

void MainDialog::closeEvent(QCloseEvent* event) {
    event->ignore();
    emit commandIssued(IDCANCEL);
}

void MainDialog::keyPressEvent(QKeyEvent* event) {
    Qt::KeyboardModifiers held = event->modifiers() & (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier);
    if (event->key() == Qt::Key_F1 && held == Qt::NoModifier) {
        emit helpRequested();
        return;
    }
    QDialog::keyPressEvent(event);
}

void MainDialog::paintEvent(QPaintEvent* event) {
    m_paintEvent = event;
    emit paintRequested();
    m_paintEvent = nullptr;
}

bool MainDialog::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_controls.mailList->viewport() && event->type() == QEvent::MouseButtonDblClick &&
        static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
        QMetaObject::invokeMethod(this, [this] { emit listDoubleClicked(); }, Qt::QueuedConnection);
    }
    return QDialog::eventFilter(watched, event);
}

void MainDialog::EraseAndDrawIcon(const QPixmap& icon, int x, int y) {
    if (m_paintEvent == nullptr) return;
    QPainter painter(this);
    painter.fillRect(QRect(QPoint(x, y), icon.size()), palette().window());
    painter.drawPixmap(x, y, icon);
}

void MainDialog::PaintDefault() {
    if (m_paintEvent != nullptr) QDialog::paintEvent(m_paintEvent);
}
