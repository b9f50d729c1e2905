#pragma once

// Dialog templates
#define IDD_SETTING_PANEL    137
#define IDD_INSTALL_GUIDE    139
#define IDD_STATUS_PANEL     142
#define IDD_SUCCESS_PANEL    149
#define IDD_CLIENT_VALIDATOR 172

// Icon
#define IDI_INSTALLER        101

// Settings panel (137)
#define IDC_INSTALL_BUTTON       133
#define IDC_ACCEPT_CHECK         134
#define IDC_ACCEPT_LABEL         135
#define IDC_SETTINGS_LABEL       136
#define IDC_EXPAND_BUTTON        138
#define IDC_FOLDER_LABEL         140
#define IDC_FOLDER_EDIT          143
#define IDC_BROWSE_BUTTON        148
#define IDC_LICENSE_LINK         152

// Status panel (142); the slide show (170) and the progress bar (105) are made at run time
#define IDC_STATUS_LABEL         122
#define IDC_PERCENT_LABEL        123
#define IDC_TIME_LABEL           173
#define IDC_PROGRESS_BAR         105
#define IDC_SLIDE_SHOW           170

// Success panel (149); the Start Now button is the dialog's OK identifier (1)
#define IDC_START_NOW            1
#define IDC_LAUNCH_CHECK         150
#define IDC_LAUNCH_LABEL         151

// Client update dialog (172)
#define IDC_CHECK_PROGRESS       171
