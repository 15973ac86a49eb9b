#pragma once
// The Windows window's resource numbers, shared by the resource script and the code. The
// controls carry the same numbers as the Qt window's (app/qt/UpgradeDialog.cpp).

#define IDD_UPGRADE 100
#define IDI_APP 101
#define IDD_ABOUT 102

#define IDC_EXIT 2
#define IDC_UPGRADE 1000
#define IDC_PORT 1001
#define IDC_REFRESH 1002
#define IDC_STATUS_TEXT 1004
#define IDC_MAIN_PROGRESS 1006
#define IDC_HEX_FILE 1007
#define IDC_HEX_FILE_TEXT 1008
#define IDC_SECOND_PROGRESS 1009
#define IDC_STATUS_LIST 1011
#define IDC_WARNING 1012
#define IDC_CHIP_ONLY 1015
#define IDC_VOCODER 1016
#define IDC_FIRMWARE_ONLY 1017
#define IDC_UPDATE_CHIP 1018
#define IDC_READ_WAV 1021
#define IDC_WRITE_WAV 1022
#define IDC_WAV_FILE_TEXT 1023
#define IDC_OPEN_WAV 1024
// The port list's label and the frame, hidden with the single port's controls on the bench.
#define IDC_PORT_LABEL 1030
#define IDC_FRAME 1031

// The About box's texts (the Qt About box's numbers).
#define IDC_ABOUT_VERSION 1019
#define IDC_ABOUT_COMPANY 1020
#define IDC_ABOUT_SMALL_MCU 1021

// The History dialog and the port question of its "Write back" (numbers of their own).
#define IDD_HISTORY 1100
#define IDD_WRITE_BACK_PORT 1101
#define IDC_HISTORY_FILTER_LABEL 1102
#define IDC_HISTORY_FILTER 1103
#define IDC_HISTORY_SINCE_CHECK 1104
#define IDC_HISTORY_SINCE 1105
#define IDC_HISTORY_NOTE 1106
#define IDC_HISTORY_LIST 1107
#define IDC_HISTORY_DETAILS 1108
#define IDC_HISTORY_EXPORT 1109
#define IDC_HISTORY_WRITE_BACK 1110
#define IDC_WRITE_BACK_QUESTION 1111
#define IDC_WRITE_BACK_PORT 1112

// The text progress bar's window class (registered before the dialog is created).
#define FW_TEXT_PROGRESS_CLASS "FlashwrightTextProgress"
