#pragma once

// Dialog templates
#define IDD_SETTING_PANEL    137
#define IDD_INSTALL_GUIDE    139
#define IDD_STATUS_PANEL     142
#define IDD_SUCCESS_PANEL    149
#define IDD_CLIENT_VALIDATOR 172

// Icon
#define IDI_INSTALLER        101
