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

// The text progress bar's window class (registered before the dialog is created).
#define FW_TEXT_PROGRESS_CLASS "FlashwrightTextProgress"
