// What the Qt window does with the user's input and with the core's requests: commands from
// keys and buttons, hiding, message boxes, the tray icon and its menu, the viewer, the version
// box, the timer and the synchronous repaint; and a check from the window against a real
// Dovecot over [::1].
#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>
#include <QTimer>
#include <cstdlib>
#include <functional>
#include <string>

#include "DovecotServer.h"
#include "RecordingHandlers.h"
#include "ScriptedPop3Server.h"
#include "TestApplication.h"
#include "TestMaildir.h"
#include "app/KelvorDlg.h"
#include "platform/qt/KelvorDlgHandlers.h"
#include "platform/qt/QtWindow.h"
#include "platform/qt/TrayMenu.h"
#include "res/resource.h"

namespace {

using Events = std::vector<std::string>;

// Runs act on the widget that find returns as soon as it exists, from inside the modal loop
// that the test is about to enter. If it never appears, the test fails and every modal
// window and popup is closed, so that no loop waits forever.
void WhenOpen(std::function<QWidget*()> find, std::function<void(QWidget*)> act) {
    auto* timer = new QTimer;
    auto tries = std::make_shared<int>(0);
    timer->setInterval(5);
    QObject::connect(timer, &QTimer::timeout, [timer, tries, find, act] {
        if (QWidget* widget = find()) {
            timer->stop();
            timer->deleteLater();
            act(widget);
            return;
        }
        if (++*tries > 400) {
            timer->stop();
            timer->deleteLater();
            ADD_FAILURE() << "the awaited window did not open";
            while (QWidget* popup = QApplication::activePopupWidget()) popup->close();
            while (QWidget* modal = QApplication::activeModalWidget()) modal->close();
        }
    });
    timer->start();
}

QWidget* OpenModal() {
    return QApplication::activeModalWidget();
}

QWidget* OpenPopup() {
    return QApplication::activePopupWidget();
}

// Counts the pixels of an image that are clearly red.
int RedPixels(const QImage& image) {
    int red = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            QColor color = image.pixelColor(x, y);
            if (color.alpha() > 128 && color.red() > 100 && color.green() < 60 && color.blue() < 60) ++red;
        }
    return red;
}

class QtWindowBehaviour : public ::testing::Test {
protected:
    void SetUp() override {
        TestApplication();
        window.Attach(&handlers);
    }
    void ShowAndActivate() {
        window.Dialog().show();
        window.Dialog().activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&window.Dialog()));
    }

    QApplication& application = TestApplication();  // before any widget
    bool trayAvailable = true;
    QtWindow window{[this] { return trayAvailable; }};
    RecordingHandlers handlers;
};

TEST_F(QtWindowBehaviour, EnterEscapeAndCloseRequestIssueTheHideCommandAndLeaveHidingToIt) {
    ShowAndActivate();
    window.SetFocus(IDC_SERVER);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
    window.Dialog().close();
    DrainEvents();
    EXPECT_EQ(handlers.events, (Events{"command 2", "command 2", "command 2"}));
    EXPECT_TRUE(window.Dialog().isVisible());
}

TEST_F(QtWindowBehaviour, ButtonsIssueTheirCommands) {
    ShowAndActivate();
    auto& controls = window.Dialog().Controls();
    for (QPushButton* button : {controls.exitButton, controls.hideButton, controls.checkButton, controls.showListButton})
        QTest::mouseClick(button, Qt::LeftButton);
    EXPECT_EQ(handlers.events, (Events{"command 1", "command 2", "command 3", "command 4"}));
}

TEST_F(QtWindowBehaviour, DoubleClickInTheListIsReportedAfterTheClickSelectedTheEntry) {
    ShowAndActivate();
    window.ListAppend("first");
    window.ListAppend("second");
    QListWidget* list = window.Dialog().Controls().mailList;
    QPoint second = list->visualItemRect(list->item(1)).center();
    handlers.onCommand = nullptr;
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, Qt::NoModifier, second);
    EXPECT_TRUE(handlers.events.empty());  // delivered once the list has handled the click
    DrainEvents();
    EXPECT_EQ(handlers.events, (Events{"list double-click"}));
    EXPECT_EQ(window.ListSelection(), 1);

    // Below the last entry the double-click is still reported; the selection stays.
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, Qt::NoModifier, QPoint(5, list->viewport()->height() - 5));
    DrainEvents();
    EXPECT_EQ(handlers.events, (Events{"list double-click", "list double-click"}));
}

TEST_F(QtWindowBehaviour, F1AsksForHelpOnlyWithoutShiftControlOrAlt) {
    ShowAndActivate();
    QTest::keyClick(&window.Dialog(), Qt::Key_F1, Qt::ShiftModifier);
    QTest::keyClick(&window.Dialog(), Qt::Key_F1, Qt::ControlModifier);
    QTest::keyClick(&window.Dialog(), Qt::Key_F1);
    EXPECT_EQ(handlers.events, (Events{"help"}));
}

TEST_F(QtWindowBehaviour, HideTakesTheWindowToTheTray) {
    ShowAndActivate();
    window.Hide();
    EXPECT_FALSE(window.Dialog().isVisible());
    window.ShowNormal();
    EXPECT_TRUE(window.Dialog().isVisible());
    EXPECT_FALSE(window.Dialog().isMinimized());
}

TEST_F(QtWindowBehaviour, HideMinimisesInsteadWhenThereIsNoTray) {
    trayAvailable = false;
    ShowAndActivate();
    window.Hide();
    EXPECT_TRUE(window.Dialog().isVisible());
    EXPECT_TRUE(window.IsMinimized());
    window.ShowNormal();
    EXPECT_FALSE(window.IsMinimized());
}

struct MessageRow {
    MessageStyle style;
    QMessageBox::Icon icon;
    std::vector<QString> buttons;  // texts, in the box's order
    const char* press;             // the button's text to press, or "" for Enter
    MessageAnswer expected;
};

TEST_F(QtWindowBehaviour, MessageBoxesHaveTheirButtonsIconCaptionAndAnswer) {
    const MessageRow rows[] = {
        {MessageStyle::Plain, QMessageBox::NoIcon, {QStringLiteral("OK")}, "", MessageAnswer::Ok},
        {MessageStyle::Exclamation, QMessageBox::Warning, {QStringLiteral("OK")}, "", MessageAnswer::Ok},
        {MessageStyle::YesNoQuestion, QMessageBox::Question,
         {QStringLiteral("はい(&Y)"), QStringLiteral("いいえ(&N)")}, "", MessageAnswer::Yes},
        {MessageStyle::YesNoQuestion, QMessageBox::Question,
         {QStringLiteral("はい(&Y)"), QStringLiteral("いいえ(&N)")}, "いいえ(&N)", MessageAnswer::No},
    };
    ShowAndActivate();
    for (const MessageRow& row : rows) {
        SCOPED_TRACE(static_cast<int>(row.style));
        WhenOpen(OpenModal, [&row](QWidget* opened) {
            auto* box = qobject_cast<QMessageBox*>(opened);
            ASSERT_NE(box, nullptr);
            EXPECT_EQ(box->windowTitle(), QStringLiteral("Kelvor"));
            EXPECT_EQ(box->text(), QString::fromUtf8("メールボックスの中に 5 通\n\n（うち 2 通）"));
            EXPECT_EQ(box->icon(), row.icon);
            std::vector<QString> texts;
            for (QAbstractButton* button : box->buttons()) texts.push_back(button->text());
            std::sort(texts.begin(), texts.end());
            std::vector<QString> expected = row.buttons;
            std::sort(expected.begin(), expected.end());
            EXPECT_EQ(texts, expected);
            QString press = QString::fromUtf8(row.press);
            for (QAbstractButton* button : box->buttons())
                if (button->text() == press) {
                    button->click();
                    return;
                }
            QTest::keyClick(box, Qt::Key_Return);
        });
        // "メールボックスの中に 5 通\r\n\r\n（うち 2 通）" in Shift_JIS, with the core's CR LF.
        MessageAnswer answer = window.ShowMessage(
            "\x83\x81\x81\x5B\x83\x8B\x83\x7B\x83\x62\x83\x4E\x83\x58\x82\xCC\x92\x86\x82\xC9 5 \x92\xCA\r\n\r\n"
            "\x81\x69\x82\xA4\x82\xBF 2 \x92\xCA\x81\x6A",
            "Kelvor", row.style);
        EXPECT_EQ(answer, row.expected);
    }
}

TEST_F(QtWindowBehaviour, MessageBoxShowsTheArrowWhileAConversationShowsTheWaitCursor) {
    window.BeginWaitCursor();
    ASSERT_NE(QApplication::overrideCursor(), nullptr);
    EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
    Qt::CursorShape whileOpen = Qt::BlankCursor;
    WhenOpen(OpenModal, [&whileOpen](QWidget* box) {
        whileOpen = QApplication::overrideCursor()->shape();
        box->close();
    });
    window.ShowMessage("x", "Kelvor", MessageStyle::Plain);
    EXPECT_EQ(whileOpen, Qt::ArrowCursor);
    EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
    window.EndWaitCursor();
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    window.EndWaitCursor();  // an unmatched end changes nothing
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

TEST(TrayMenu, OffersCheckVersionBoxSeparatorAndExitWithTheirCommands) {
    TestApplication();
    std::unique_ptr<QMenu> menu = BuildTrayMenu(IDR_TRAYMENU, nullptr);
    ASSERT_TRUE(menu);
    QList<QAction*> actions = menu->actions();
    ASSERT_EQ(actions.size(), 4);
    EXPECT_EQ(actions[0]->text(), QString::fromUtf8("チェックする(&C)"));
    EXPECT_EQ(TrayMenuCommand(actions[0]), ID_TRAY_CHECK);
    EXPECT_EQ(actions[1]->text(), QString::fromUtf8("Kelvorについて(&A)..."));
    EXPECT_EQ(TrayMenuCommand(actions[1]), IDM_ABOUTBOX);
    EXPECT_TRUE(actions[2]->isSeparator());
    EXPECT_EQ(TrayMenuCommand(actions[2]), 0);
    EXPECT_EQ(actions[3]->text(), QString::fromUtf8("終了(&Q)"));
    EXPECT_EQ(TrayMenuCommand(actions[3]), ID_TRAY_EXIT);
    EXPECT_FALSE(BuildTrayMenu(IDR_TRAYMENU + 1, nullptr));
}

TEST_F(QtWindowBehaviour, TrayMenuCommandArrivesAfterTheMenuHasClosed) {
    bool menuOpenAtCommand = true;
    handlers.onCommand = [&menuOpenAtCommand](int) { menuOpenAtCommand = QApplication::activePopupWidget() != nullptr; };
    WhenOpen(OpenPopup, [](QWidget* menu) { QTest::keyClick(menu, Qt::Key_Q); });  // "終了(&Q)"
    window.ShowTrayMenu(IDR_TRAYMENU);
    EXPECT_TRUE(handlers.events.empty());
    DrainEvents();
    EXPECT_EQ(handlers.events, (Events{"command 32771"}));
    EXPECT_FALSE(menuOpenAtCommand);

    // A menu closed without a choice issues nothing.
    WhenOpen(OpenPopup, [](QWidget* menu) { QTest::keyClick(menu, Qt::Key_Escape); });
    window.ShowTrayMenu(IDR_TRAYMENU);
    DrainEvents();
    EXPECT_EQ(handlers.events, (Events{"command 32771"}));
}

TEST_F(QtWindowBehaviour, TrayMenuOpensAboveTheCursorAndItsCheckEntryIssuesTheTrayCheck) {
    QCursor::setPos(300, 400);
    QRect menuGeometry;
    WhenOpen(OpenPopup, [&menuGeometry](QWidget* menu) {
        menuGeometry = menu->geometry();
        QTest::keyClick(menu, Qt::Key_C);
    });
    window.ShowTrayMenu(IDR_TRAYMENU);
    DrainEvents();
    EXPECT_EQ(handlers.events, (Events{"command 32772"}));
    // The menu's bottom-left corner lies at the cursor.
    EXPECT_EQ(menuGeometry.left(), 300);
    EXPECT_NEAR(menuGeometry.bottom(), 400, 1);
}

TEST_F(QtWindowBehaviour, TrayIconTakesTheSixteenPixelPictureAndTheTooltip) {
    TrayRecord record;
    record.iconResource = IDI_NEWMAIL;
    std::snprintf(record.tooltip, sizeof record.tooltip, "Kelvor");
    window.TrayRequest(TrayAction::Modify, record);  // nothing to modify before the add
    EXPECT_FALSE(window.TrayIconAdded());

    record.iconResource = IDI_NOMAIL;
    window.TrayRequest(TrayAction::Add, record);
    EXPECT_TRUE(window.TrayIconAdded());
    EXPECT_EQ(window.TrayIcon().toolTip(), QStringLiteral("Kelvor"));
    QList<QSize> sizes = window.TrayIcon().icon().availableSizes();
    ASSERT_EQ(sizes.size(), 1);
    EXPECT_EQ(sizes[0], QSize(16, 16));
    int redWhenGrey = RedPixels(window.TrayIcon().icon().pixmap(16, 16).toImage());

    record.iconResource = IDI_NEWMAIL;
    window.TrayRequest(TrayAction::Modify, record);
    int redWhenRed = RedPixels(window.TrayIcon().icon().pixmap(16, 16).toImage());
    EXPECT_GT(redWhenRed, redWhenGrey + 30);  // the whole face turns red, not just the stamp

    window.TrayRequest(TrayAction::Delete, record);
    EXPECT_FALSE(window.TrayIconAdded());
}

TEST_F(QtWindowBehaviour, TrayTooltipNeverReadsPastItsField) {
    TrayRecord record;
    record.iconResource = IDI_NOMAIL;
    std::memset(record.tooltip, 'x', sizeof record.tooltip);  // no terminator at all
    window.TrayRequest(TrayAction::Add, record);
    EXPECT_EQ(window.TrayIcon().toolTip(), QString(64, QLatin1Char('x')));
}

TEST_F(QtWindowBehaviour, TrayEventsReachTheHandlersAsTheirMouseEvents) {
    emit window.TrayIcon().activated(QSystemTrayIcon::Context);
    emit window.TrayIcon().activated(QSystemTrayIcon::DoubleClick);
    EXPECT_TRUE(handlers.events.empty());  // queued behind the click itself
    DrainEvents();
    EXPECT_EQ(handlers.events, (Events{"tray 1 516", "tray 1 515"}));
}

TEST_F(QtWindowBehaviour, ViewerShowsTheMessageUnwrappedInAFixedPitchFontAndClosesWithEnter) {
    std::string longLine(600, 'w');
    std::string message = "Subject: \x83\x5C\x95\x5C\r\n\r\n" + longLine + "\r\nend\r\n";
    std::string original = message;
    ShowAndActivate();
    WhenOpen(OpenModal, [&longLine](QWidget* viewer) {
        EXPECT_EQ(viewer->windowTitle(), QStringLiteral("Kelvor"));
        auto* text = viewer->findChild<QPlainTextEdit*>();
        ASSERT_NE(text, nullptr);
        EXPECT_EQ(text->property("controlId").toInt(), IDC_MAILTEXT);
        EXPECT_TRUE(text->isReadOnly());
        EXPECT_EQ(text->lineWrapMode(), QPlainTextEdit::NoWrap);
        EXPECT_EQ(text->toPlainText(),
                  QString::fromUtf8("Subject: ソ表\n\n") + QString::fromStdString(longLine) + QStringLiteral("\nend\n"));
        EXPECT_GT(text->horizontalScrollBar()->maximum(), 0);
        EXPECT_EQ(text->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
        // Fixed pitch: every half-width character as wide as every other.
        QFontMetrics metrics(text->font());
        EXPECT_EQ(metrics.horizontalAdvance(QLatin1Char('i')), metrics.horizontalAdvance(QLatin1Char('W')));
        auto* ok = viewer->findChild<QPushButton*>();
        ASSERT_NE(ok, nullptr);
        EXPECT_EQ(ok->property("controlId").toInt(), IDOK);
        EXPECT_EQ(viewer->focusWidget(), ok);
        EXPECT_FALSE(viewer->windowFlags() & Qt::WindowCloseButtonHint);
        QTest::keyClick(viewer, Qt::Key_Return);
    });
    window.ShowViewer(message);
    EXPECT_EQ(message, original);
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
}

TEST_F(QtWindowBehaviour, ViewerAndVersionBoxCloseWithEscape) {
    ShowAndActivate();
    std::string message = "body";
    WhenOpen(OpenModal, [](QWidget* viewer) { QTest::keyClick(viewer, Qt::Key_Escape); });
    window.ShowViewer(message);
    WhenOpen(OpenModal, [](QWidget* about) { QTest::keyClick(about, Qt::Key_Escape); });
    window.ShowAboutBox();
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
    EXPECT_TRUE(handlers.events.empty());
}

TEST_F(QtWindowBehaviour, VersionBoxShowsTheProgramIconNameVersionNoticeAndOk) {
    ShowAndActivate();
    WhenOpen(OpenModal, [](QWidget* about) {
        EXPECT_EQ(about->windowTitle(), QString::fromUtf8("ﾊﾞｰｼﾞｮﾝ情報"));
        EXPECT_TRUE(about->windowFlags() & Qt::WindowCloseButtonHint);
        QStringList texts;
        bool hasIcon = false;
        for (QLabel* label : about->findChildren<QLabel*>()) {
            if (!label->pixmap().isNull()) hasIcon = label->pixmap().width() == 32;
            if (label->text().isEmpty()) continue;
            texts << label->text();
            EXPECT_LE(label->fontMetrics().horizontalAdvance(label->text()), label->width()) << label->text().toStdString();
        }
        EXPECT_TRUE(hasIcon);
        ASSERT_EQ(texts.size(), 2);
        EXPECT_EQ(texts[0], QStringLiteral("Kelvor Version 0.1"));
        auto* ok = about->findChild<QPushButton*>();
        ASSERT_NE(ok, nullptr);
        EXPECT_EQ(ok->text(), QStringLiteral("OK"));
        EXPECT_TRUE(ok->isDefault());
        ok->click();
    });
    window.ShowAboutBox();
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
}

TEST_F(QtWindowBehaviour, TimerTicksReachTheHandlersWithTheirId) {
    window.StartTimer(IDT_CHECK, 60000);
    window.StartTimer(IDT_CHECK, 5);  // the same id again replaces the first timer
    QTest::qWait(60);
    ASSERT_FALSE(handlers.events.empty());
    for (const std::string& event : handlers.events) EXPECT_EQ(event, "timer 1");
    window.Destroy();  // the window's end stops its timers
    handlers.events.clear();
    QTest::qWait(30);
    EXPECT_TRUE(handlers.events.empty());
}

TEST_F(QtWindowBehaviour, SignInBoxPollsWhileTicksArriveAndClosesOnTheReturnOrTheCancelButton) {
    ShowAndActivate();
    window.StartTimer(IDT_CHECK, 5);
    int polls = 0;
    // The browser comes back at the fifth poll: the box closes by itself.
    EXPECT_TRUE(window.WaitForSignIn([&polls] { return ++polls == 5; }));
    EXPECT_EQ(polls, 5);
    EXPECT_FALSE(handlers.events.empty()) << "no tick reached the window while the box was open";
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
    WhenOpen(OpenModal, [](QWidget* box) {
        for (QPushButton* button : box->findChildren<QPushButton*>())
            if (button->text() == QStringLiteral("キャンセル")) button->click();
    });
    EXPECT_FALSE(window.WaitForSignIn([] { return false; }));
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
}

TEST_F(QtWindowBehaviour, RepaintNowPaintsNewEntriesWithoutWaitingForTheEventLoop) {
    ShowAndActivate();
    DrainEvents();
    int paintsBefore = handlers.paints;
    window.ListAppend("message 1");
    window.SetControlText(IDC_STATUS, "1 / 1");
    window.RepaintNow();
    EXPECT_GT(handlers.paints, paintsBefore);
    QListWidget* list = window.Dialog().Controls().mailList;
    EXPECT_FALSE(list->visualItemRect(list->item(0)).isEmpty());
}

TEST_F(QtWindowBehaviour, EndDialogEndsTheRunWithItsResult) {
    ShowAndActivate();
    QTimer::singleShot(0, [this] { window.EndDialog(1); });
    EXPECT_EQ(window.RunUntilEnded(), 1);
    EXPECT_FALSE(window.Dialog().isVisible());
}

TEST_F(QtWindowBehaviour, EndDialogWhileABoxIsOpenClosesItAndNothingOpensOrArrivesAfterIt) {
    // The system ends the program while the exit confirmation is up.
    ShowAndActivate();
    window.StartTimer(IDT_CHECK, 5);
    // A box left open, or one that opens after the end, is a failure: close it rather than wait.
    QTimer closer;
    closer.setInterval(100);
    QObject::connect(&closer, &QTimer::timeout, [] {
        if (QWidget* modal = QApplication::activeModalWidget()) {
            ADD_FAILURE() << "a box is open after the end";
            modal->close();
        }
    });
    WhenOpen(OpenModal, [this, &closer](QWidget*) {
        window.EndDialog(1);
        closer.start();
    });
    EXPECT_EQ(window.ShowMessage("end?", "Kelvor", MessageStyle::YesNoQuestion), MessageAnswer::No);
    EXPECT_EQ(window.ShowMessage("report", "kelvor", MessageStyle::Plain), MessageAnswer::Ok);
    std::string text = "message";
    window.ShowViewer(text);
    window.ShowAboutBox();
    window.ShowTrayMenu(IDR_TRAYMENU);
    EXPECT_FALSE(window.WaitForSignIn([] { return false; }));
    EXPECT_EQ(window.RunUntilEnded(), 1);
    handlers.events.clear();
    QTest::qWait(150);
    EXPECT_TRUE(handlers.events.empty());
}

// The shell under the real main window behaviour: the keys that hide the window.
class ShellWithCore : public ::testing::Test {
protected:
    void SetUp() override {
        TestApplication();
        dialog.m_interval = 10;
        dialog.m_server = "127.0.0.1:1";
        window.Attach(&handlers);
        dialog.OnInitDialog();
        window.Dialog().activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&window.Dialog()));
    }
    void TearDown() override {
        window.Destroy();
        dialog.OnDestroy();
        window.Attach(nullptr);
    }

    QApplication& application = TestApplication();  // before any widget
    QtWindow window{[] { return true; }};
    CKelvorDlg dialog{window, "Kelvor"};
    KelvorDlgHandlers handlers{dialog};
};

TEST_F(ShellWithCore, WindowOpensWithTheSettingsTheTrayIconAndTheIntervalFocused) {
    EXPECT_TRUE(window.Dialog().isVisible());
    EXPECT_EQ(window.Dialog().Controls().intervalEdit->text(), QStringLiteral("10"));
    EXPECT_EQ(window.Dialog().Controls().serverEdit->text(), QStringLiteral("127.0.0.1:1"));
    EXPECT_EQ(QApplication::focusWidget(), window.Dialog().Control(IDC_INTERVAL));
    EXPECT_TRUE(window.TrayIconAdded());
    EXPECT_EQ(window.TrayIcon().toolTip(), QStringLiteral("Kelvor"));
}

TEST_F(ShellWithCore, EnterHidesTheWindowAndTakesTheFieldsOver) {
    window.Dialog().Controls().serverEdit->setText(QStringLiteral("pop.example"));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    DrainEvents();
    EXPECT_FALSE(window.Dialog().isVisible());
    EXPECT_EQ(dialog.m_server, "pop.example");
}

TEST_F(ShellWithCore, EscapeHidesTheWindowAndTrayDoubleClickBringsItBack) {
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
    DrainEvents();
    EXPECT_FALSE(window.Dialog().isVisible());
    emit window.TrayIcon().activated(QSystemTrayIcon::DoubleClick);
    DrainEvents();
    EXPECT_TRUE(window.Dialog().isVisible());
}

// The user's check through the window's fields and button, over [::1] in cleartext, over TLS
// and with STLS, against a real server whose certificate names ::1.
TEST_F(ShellWithCore, CheckButtonReportsTheMailboxOverIpv6InCleartextTlsAndStartTls) {
    if (CScriptedPop3Server(0, Loopback::Ipv6).Port() == 0) GTEST_SKIP() << "this machine's loopback has no ::1";
    CDovecotServer server;
    std::string error;
    ASSERT_TRUE(server.Start(KELVOR_DOVECOT_SCRIPT, {{"kelvor", "pass word", SmallMessages(3)}}, error, true)) << error;
    // The server's certificate comes from a test CA: the one root the client trusts here.
    setenv("SSL_CERT_FILE", server.CertificateAuthorityFile().c_str(), 1);
    const std::string servers[] = {
        "[::1]:" + std::to_string(server.Port()),
        "pop3s://[::1]:" + std::to_string(server.TlsPort()),
        "pop3+starttls://[::1]:" + std::to_string(server.Port()),
    };
    auto& controls = window.Dialog().Controls();
    controls.userEdit->setText(QStringLiteral("kelvor"));
    controls.passwordEdit->setText(QStringLiteral("pass word"));
    for (const std::string& address : servers) {
        SCOPED_TRACE(address);
        controls.serverEdit->setText(QString::fromStdString(address));
        std::string shown;
        WhenOpen(OpenModal, [&shown](QWidget* box) {
            if (auto* message = qobject_cast<QMessageBox*>(box)) shown = message->text().toStdString();
            QTest::keyClick(box, Qt::Key_Return);
        });
        QTest::mouseClick(controls.checkButton, Qt::LeftButton);
        // Each server text is another server to the window, so every message counts as new.
        EXPECT_EQ(shown, "メールボックスの中に 3 通のメールがあります\n\n（うち新規メール 3 通）");
    }
    unsetenv("SSL_CERT_FILE");
}

}  // namespace
