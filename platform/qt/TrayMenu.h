// The tray icon's popup menu (menu resource 130): its entries and the commands they carry.
#ifndef KELVOR_PLATFORM_QT_TRAYMENU_H
#define KELVOR_PLATFORM_QT_TRAYMENU_H

#include <QMenu>
#include <memory>

// The drop-down of the menu resource's first top-level entry, which is what the tray shows.
// Each action carries its command id as its data. Null for a menu resource the program lacks.
std::unique_ptr<QMenu> BuildTrayMenu(int menuResource, QWidget* parent);

// The command id of a chosen action; 0 when none was chosen.
int TrayMenuCommand(const QAction* chosen);

#endif
