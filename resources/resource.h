// Resource ids of Quillmark, grouped by kind; read by both the resource compiler and C++.
// Only preprocessor definitions belong here: the resource compiler parses nothing else.
#ifndef QUILLMARK_RESOURCES_RESOURCE_H
#define QUILLMARK_RESOURCES_RESOURCE_H

// Dialog templates (100-127).
#define IDD_ABOUTBOX                    100
#define IDD_CONSOLE_DIALOG              102

// Strings (100-127).
#define IDS_ABOUTBOX                    101

// Icons, bitmaps, cursors and menus (128-255). Each kind has its own name space,
// but one number per resource keeps a resource listing unambiguous.
#define IDR_MAINFRAME                   128
#define IDB_BANNER                      129
#define IDC_LINK_HAND                   130
#define IDR_SERVICE_MENU                131

// Controls of the console and About templates (1000-1999); IDC_STATIC marks the
// labels that no code addresses.
#ifndef IDC_STATIC
#define IDC_STATIC                      (-1)
#endif
#define IDC_RUN                         1000
#define IDC_SERVICE_LIST                1001
#define IDC_REMOTE_COMPUTER             1002
#define IDC_BANNER                      1003
#define IDC_PROMO_TITLE                 1004
#define IDC_PROMO_TEXT                  1005
#define IDC_DOWNLOAD                    1006
#define IDC_USER_NAME                   1007
#define IDC_PASSWORD                    1008
#define IDC_USER_NAME_LABEL             1009
#define IDC_PASSWORD_LABEL              1010
#define IDC_CURRENT_CREDENTIAL          1011
#define IDC_ADMIN_CREDENTIAL            1012
#define IDC_ABOUT_NOTICE                1013
#define IDC_ABOUT_WEB                   1014

// The banner's place in the console template: x, y, width, height in dialog units. The
// console fits the picture to it at every display scale.
#define IDC_BANNER_PLACE                7, 7, 409, 67

// Commands of the service list's context menu (32768 and up, clear of the controls,
// since both arrive at the console as WM_COMMAND ids).
#define ID_SERVICE_START                32771
#define ID_SERVICE_STOP                 32772

// System-menu commands: the low four bits are the system's own, and the value must
// stay below the SC_ commands (0xF000).
#define IDM_ABOUTBOX                    0x0010

#endif  // QUILLMARK_RESOURCES_RESOURCE_H
