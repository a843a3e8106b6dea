// The main window as the user meets it: its controls with their ids and texts, the tab order,
// the first focus, the masked password, the list and the window's frame.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTest>
#include <vector>

#include "TestApplication.h"
#include "platform/qt/QtWindow.h"
#include "res/resource.h"

namespace {

struct ControlRow {
    int id;
    const char* kind;  // Qt class
    const char* text;  // UTF-8
};

// Every control of the main window, in creation order (which is the order of the layout).
const ControlRow kMainWindowControls[] = {
    {IDOK, "QPushButton", "終了"},
    {IDC_STATIC, "QGroupBox", "受信リスト"},
    {IDC_INTERVAL, "QLineEdit", ""},
    {IDC_SERVER, "QLineEdit", ""},
    {IDC_USER, "QLineEdit", ""},
    {IDC_PASSWORD, "QLineEdit", ""},
    {IDC_STATIC, "QLabel", "メール確認"},
    {IDC_STATIC, "QLabel", "POPサーバ"},
    {IDC_STATIC, "QLabel", "ユーザ名"},
    {IDC_STATIC, "QLabel", "パスワード"},
    {IDCANCEL, "QPushButton", "OK"},
    {IDC_CHECK, "QPushButton", "チェックする"},
    {IDC_SHOWLIST, "QPushButton", "リストを表示"},
    {IDC_MAILLIST, "QListWidget", ""},
    {IDC_POPUP, "QCheckBox", "ポップアップ"},
    {IDC_STATUS, "QLabel", ""},
    {IDC_STATIC, "QLabel", "分毎"},
};

QString TextOf(QWidget* control) {
    if (auto* edit = qobject_cast<QLineEdit*>(control)) return edit->text();
    if (auto* label = qobject_cast<QLabel*>(control)) return label->text();
    if (auto* button = qobject_cast<QAbstractButton*>(control)) return button->text();
    if (auto* group = qobject_cast<QGroupBox*>(control)) return group->title();
    return QString();
}

class MainWindowLayout : public ::testing::Test {
protected:
    void SetUp() override { TestApplication(); }
    void ShowAndActivate() {
        window.Dialog().show();
        window.Dialog().activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&window.Dialog()));
    }
    QApplication& application = TestApplication();  // before any widget
    QtWindow window{[] { return true; }};
};

TEST_F(MainWindowLayout, HasEveryControlWithItsIdKindAndTextInLayoutOrder) {
    std::vector<QWidget*> controls;
    for (QObject* child : window.Dialog().children()) {
        auto* widget = qobject_cast<QWidget*>(child);
        if (widget != nullptr && widget->property("controlId").isValid()) controls.push_back(widget);
    }
    ASSERT_EQ(controls.size(), std::size(kMainWindowControls));
    for (std::size_t i = 0; i < controls.size(); ++i) {
        const ControlRow& row = kMainWindowControls[i];
        SCOPED_TRACE(row.text);
        EXPECT_EQ(controls[i]->property("controlId").toInt(), row.id);
        EXPECT_STREQ(controls[i]->metaObject()->className(), row.kind);
        EXPECT_EQ(TextOf(controls[i]), QString::fromUtf8(row.text));
    }
    EXPECT_EQ(window.Dialog().windowTitle(), QStringLiteral("Kelvor"));
}

// The room a control leaves for its text, after frames and the check box's indicator.
int TextRoom(QWidget* control) {
    QStyle* style = control->style();
    if (qobject_cast<QCheckBox*>(control))
        return control->width() - style->pixelMetric(QStyle::PM_IndicatorWidth, nullptr, control) -
               style->pixelMetric(QStyle::PM_CheckBoxLabelSpacing, nullptr, control);
    if (qobject_cast<QPushButton*>(control))
        return control->width() - 2 * style->pixelMetric(QStyle::PM_ButtonMargin, nullptr, control);
    return control->width();
}

TEST_F(MainWindowLayout, EveryTextFitsItsControl) {
    for (QWidget* control : window.Dialog().findChildren<QWidget*>()) {
        QString text = TextOf(control);
        if (text.isEmpty() || qobject_cast<QLineEdit*>(control)) continue;
        SCOPED_TRACE(text.toStdString());
        EXPECT_LE(control->fontMetrics().horizontalAdvance(text), TextRoom(control));
    }
}

TEST_F(MainWindowLayout, ControlTextsReachTheCoreInShiftJis) {
    EXPECT_EQ(window.GetControlText(IDOK), "\x8F\x49\x97\xB9");
    EXPECT_EQ(window.GetControlText(IDC_CHECK), "\x83\x60\x83\x46\x83\x62\x83\x4E\x82\xB7\x82\xE9");
    EXPECT_EQ(window.GetControlText(IDC_POPUP), "\x83\x7C\x83\x62\x83\x76\x83\x41\x83\x62\x83\x76");
    window.SetControlText(IDC_SERVER, "\x83\x5C\x95\x5C.example");
    EXPECT_EQ(window.Dialog().Controls().serverEdit->text(), QString::fromUtf8("ソ表.example"));
    EXPECT_EQ(window.GetControlText(IDC_SERVER), "\x83\x5C\x95\x5C.example");
    window.SetControlText(IDC_SERVER, std::string(200, 'p') + ".example");
    EXPECT_EQ(window.Dialog().Controls().serverEdit->cursorPosition(), 0);  // shown from its start
    window.SetControlText(IDC_STATUS, "3 / 12");
    EXPECT_EQ(window.Dialog().Controls().statusLabel->text(), QStringLiteral("3 / 12"));
    EXPECT_TRUE(window.Dialog().Controls().statusLabel->alignment() & Qt::AlignHCenter);
    EXPECT_EQ(window.GetControlText(12345), "");  // no such control
}

TEST_F(MainWindowLayout, IntervalFieldHasTheFocusWhenTheWindowOpens) {
    ShowAndActivate();
    EXPECT_EQ(QApplication::focusWidget(), window.Dialog().Control(IDC_INTERVAL));
}

TEST_F(MainWindowLayout, TabVisitsFieldsOkListAndPopupBoxSkippingTheCommandButtons) {
    ShowAndActivate();
    window.SetFocus(IDC_INTERVAL);
    std::vector<int> visited;
    for (int step = 0; step < 8; ++step) {
        QWidget* focus = QApplication::focusWidget();
        ASSERT_NE(focus, nullptr);
        visited.push_back(focus->property("controlId").toInt());
        QTest::keyClick(focus, Qt::Key_Tab);
    }
    EXPECT_EQ(visited, (std::vector<int>{IDC_INTERVAL, IDC_SERVER, IDC_USER, IDC_PASSWORD, IDCANCEL,
                                         IDC_MAILLIST, IDC_POPUP, IDC_INTERVAL}));
}

TEST_F(MainWindowLayout, OkIsTheDefaultButton) {
    auto& controls = window.Dialog().Controls();
    EXPECT_TRUE(controls.hideButton->isDefault());
    EXPECT_FALSE(controls.exitButton->isDefault());
}

TEST_F(MainWindowLayout, PasswordIsShownMaskedAndReadBackAsTyped) {
    ShowAndActivate();
    QLineEdit* password = window.Dialog().Controls().passwordEdit;
    window.SetFocus(IDC_PASSWORD);
    QTest::keyClicks(password, QStringLiteral("s3cret"));
    EXPECT_EQ(password->echoMode(), QLineEdit::Password);
    EXPECT_FALSE(password->displayText().contains(QStringLiteral("s3cret")));
    EXPECT_EQ(password->displayText().size(), 6);
    EXPECT_EQ(window.GetControlText(IDC_PASSWORD), "s3cret");
}

TEST_F(MainWindowLayout, FocusAndSelectAllSelectsTheWholeInterval) {
    ShowAndActivate();
    window.SetControlText(IDC_INTERVAL, "abc");
    window.SetFocus(IDC_SERVER);
    window.FocusAndSelectAll(IDC_INTERVAL);
    EXPECT_EQ(QApplication::focusWidget(), window.Dialog().Control(IDC_INTERVAL));
    EXPECT_EQ(window.Dialog().Controls().intervalEdit->selectedText(), QStringLiteral("abc"));
}

TEST_F(MainWindowLayout, PopupBoxHasTwoStates) {
    window.SetCheck(IDC_POPUP, 1);
    EXPECT_EQ(window.GetCheck(IDC_POPUP), 1);
    window.SetCheck(IDC_POPUP, 0);
    EXPECT_EQ(window.GetCheck(IDC_POPUP), 0);
    window.SetCheck(IDC_POPUP, 2);  // a two-state box shows a third state as checked
    EXPECT_EQ(window.GetCheck(IDC_POPUP), 1);
    EXPECT_FALSE(window.Dialog().Controls().popupCheck->isTristate());
}

TEST_F(MainWindowLayout, ListKeepsEntriesInArrivalOrderAndCutsLongOnesAtTheRightEdge) {
    window.ListAppend("b");
    window.ListAppend("a");
    window.ListAppend("\x83\x5C");
    QListWidget* list = window.Dialog().Controls().mailList;
    ASSERT_EQ(list->count(), 3);
    EXPECT_EQ(list->item(0)->text(), QStringLiteral("b"));
    EXPECT_EQ(list->item(1)->text(), QStringLiteral("a"));
    EXPECT_EQ(list->item(2)->text(), QString::fromUtf8("ソ"));
    EXPECT_EQ(window.ListSelection(), -1);
    list->setCurrentRow(1);
    EXPECT_EQ(window.ListSelection(), 1);
    EXPECT_EQ(list->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
    EXPECT_EQ(list->textElideMode(), Qt::ElideNone);
    window.ListReset();
    EXPECT_EQ(list->count(), 0);
    EXPECT_EQ(window.ListSelection(), -1);
}

TEST_F(MainWindowLayout, WindowStaysOnTopWithoutCloseMinimiseOrMaximiseButtons) {
    Qt::WindowFlags flags = window.Dialog().windowFlags();
    EXPECT_TRUE(flags & Qt::WindowStaysOnTopHint);
    EXPECT_TRUE(flags & Qt::WindowTitleHint);
    EXPECT_FALSE(flags & Qt::WindowCloseButtonHint);
    EXPECT_FALSE(flags & Qt::WindowMinimizeButtonHint);
    EXPECT_FALSE(flags & Qt::WindowMaximizeButtonHint);
    EXPECT_FALSE(window.HasSystemMenu());
}

}  // namespace
