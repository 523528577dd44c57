#pragma once

// The application's resources: the ids that code and templates share, and the one call that
// registers the dialog templates, strings and icons before any window is made. Every host builds
// its windows from these same tables.

#include "platform/base/Win32Types.h"

// Dialogs.
inline constexpr UINT IDD_ABOUTBOX = 100;
inline constexpr UINT IDD_STAVEL_OV_DIALOG = 102;

// Strings.
inline constexpr UINT IDS_ABOUTBOX = 101;
inline constexpr UINT IDP_SOCKETS_INIT_FAILED = 103;

// Icons.
inline constexpr int IDR_MAINFRAME = 128;
inline constexpr int IDI_LAMP_RED = 130;
inline constexpr int IDI_LAMP_GREEN = 131;

// Controls of the main dialog.
inline constexpr int IDC_BTN_START = 1000;
inline constexpr int IDC_LOG = 1001;
inline constexpr int IDC_COMBO_PORT = 1002;
inline constexpr int IDC_EDIT_PATH = 1003;
inline constexpr int IDC_BTN_BROWSE = 1004;
inline constexpr int IDC_LAMP_GREEN = 1007;
inline constexpr int IDC_LAMP_RED = 1008;
inline constexpr int IDC_PROGRESS = 1009;
inline constexpr int IDC_CHK_DEBUG = 1010;
inline constexpr int IDC_STATIC = -1;

// The window-menu command that opens the About box.
inline constexpr UINT IDM_ABOUTBOX = 0x0010;

// Registers templates 100 and 102, strings 101 and 103 and icons 128, 130 and 131. Idempotent.
void RegisterResources();
