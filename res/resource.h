// Identifiers of Kelvor's resources, commands and messages, shared by the code and by the
// resource script. It holds only #defines so that the resource compiler can read it.
#ifndef KELVOR_RES_RESOURCE_H
#define KELVOR_RES_RESOURCE_H

// Dialog layouts.
#define IDD_ABOUTBOX                    100
#define IDD_MAIN                        102
#define IDD_MAILLIST                    129
#define IDD_SIGNINWAIT                  132

// Strings.
#define IDS_ABOUTBOX                    101
#define IDP_SOCKETS_INIT_FAILED         103
#define IDS_APP_TITLE                   57344
#define IDP_PARSE_INT                   61712
#define IDP_PARSE_INT_RANGE             61714

// Icons and the tray menu.
#define IDI_NOMAIL                      128
#define IDR_TRAYMENU                    130
#define IDI_NEWMAIL                     131

// Controls.
#define IDC_STATIC                      (-1)
#define IDC_INTERVAL                    1000
#define IDC_SERVER                      1001
#define IDC_USER                        1002
#define IDC_PASSWORD                    1003
#define IDC_MAILLIST                    1004
#define IDC_MAILTEXT                    1005
#define IDC_POPUP                       1006
#define IDC_STATUS                      1007
#define IDC_SIGNINTEXT                  1008

// Commands. The button captioned "終了" carries the platform's accept command 1 and the
// button captioned "OK" its cancel command 2, so Enter and Esc both hide the window.
#ifndef IDOK
#define IDOK                            1
#endif
#ifndef IDCANCEL
#define IDCANCEL                        2
#endif
#define ID_EXIT                         IDOK
#define ID_HIDE                         IDCANCEL
#define IDC_CHECK                       3
#define IDC_SHOWLIST                    4
#define IDM_ABOUTBOX                    0x0010
#define ID_TRAY_EXIT                    32771
#define ID_TRAY_CHECK                   32772
#define ID_HELP                         57670

// The main window's timer and the tray icon.
#define IDT_CHECK                       1
#define ID_TRAYICON                     1
#define WM_TRAYNOTIFY                   0x807B

// Help topics of a dialog are numbered from this base plus the layout number.
#define HELP_TOPIC_BASE                 0x20000

#endif
