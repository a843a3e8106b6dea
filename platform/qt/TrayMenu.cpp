// The tray menu as a resource table: "Dummy" is the top-level entry that is never shown; its
// drop-down is the popup menu at the tray icon. A zero command stands for a separator.
#include "platform/qt/TrayMenu.h"

#include "res/resource.h"

namespace {

struct MenuEntry {
    int commandId;
    const char* text;  // UTF-8, with "&" before the mnemonic
};

constexpr MenuEntry kTrayMenuDropDown[] = {
    {ID_TRAY_CHECK, "チェックする(&C)"},
    {IDM_ABOUTBOX, "Kelvorについて(&A)..."},
    {0, nullptr},
    {ID_TRAY_EXIT, "終了(&Q)"},
};

}  // namespace

std::unique_ptr<QMenu> BuildTrayMenu(int menuResource, QWidget* parent) {
    if (menuResource != IDR_TRAYMENU) return nullptr;
    auto menu = std::make_unique<QMenu>(QStringLiteral("Dummy"), parent);
    for (const MenuEntry& entry : kTrayMenuDropDown) {
        if (entry.commandId == 0) {
            menu->addSeparator();
            continue;
        }
        QAction* action = menu->addAction(QString::fromUtf8(entry.text));
        action->setData(entry.commandId);
    }
    return menu;
}

int TrayMenuCommand(const QAction* chosen) {
    if (chosen == nullptr || chosen->isSeparator()) return 0;
    return chosen->data().toInt();
}
