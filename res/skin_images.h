#pragma once
// Ids of the skin's pictures ("PNG" resources) and of the program icon. Each
// picture comes in four sizes, one id per display DPI range: below 120, 120-143,
// 144-191, 192 and above, in that order.

#ifndef IDI_INSTALLER
#define IDI_INSTALLER              101
#endif

#define IDB_CLOSE_FIRST            106
#define IDB_MINIMIZE_FIRST         110
#define IDB_MAXIMIZE_FIRST         114
#define IDB_RESTORE_FIRST          118
#define IDB_LOGO_FIRST             129
#define IDB_CHECK_ON_FIRST         153
#define IDB_CHECK_OFF_FIRST        157
#define IDB_ARROW_DOWN_FIRST       161
#define IDB_ARROW_UP_FIRST         165
