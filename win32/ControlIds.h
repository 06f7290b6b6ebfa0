#pragma once
// The Windows window's control identifiers, shared by the program and by the
// test driver that finds its controls with GetDlgCtrlID. Plain numbers: this
// header includes nothing, so that the resource compiler can read it too.

// The main window's class name (FindWindowW) and caption.
#define KESTRINE_WINDOW_CLASS L"TForm1"
#define KESTRINE_WINDOW_CAPTION L"Kestrine "

// The controls, in the order of TControl (Source/Window/FormView.h): id = 1000 + TControl.
#define IDC_TeSEdit1 1000
#define IDC_TeSEdit2 1001
#define IDC_TeSEdit3 1002
#define IDC_TeButton1 1003
#define IDC_TeButton2 1004
#define IDC_ckNistServer 1005
#define IDC_ckCustomServer 1006
#define IDC_edtServer 1007
#define IDC_cbSeverType 1008
#define IDC_labCurServer 1009
#define IDC_ckSyncTime 1010
#define IDC_edtSyncTime 1011
#define IDC_ckRunStartup 1012
#define IDC_ckSyncOnStart 1013
#define IDC_ckTimeLocaFormat 1014
#define IDC_ckUTCFormat 1015
#define IDC_ckRunTimeServer 1016
#define IDC_TeLabel1 1017
#define IDC_TeLabel2 1018
#define IDC_TeLabel3 1019
#define IDC_TePageControl1 1020
#define IDC_TeTabSheet1 1021
#define IDC_TeTabSheet2 1022
#define IDC_TeTabSheet4 1023
#define IDC_TeScrollingLabel1 1024
#define IDC_TeScrollingLabel2 1025
#define IDC_TeLabel4 1026
#define IDC_TeGroupBox1 1027
#define IDC_TeGroupBox2 1028

// The frame's own buttons on the caption bar, when the program draws its own.
#define IDC_TrayButton 1200
#define IDC_RollupButton 1201
#define IDC_MinimizeButton 1202
#define IDC_CloseButton 1203

// System-menu commands (multiples of 16 below 0xF000, as the system menu requires).
#define IDM_RESTORE 0x0100
#define IDM_MINIMIZE 0x0110
#define IDM_ROLLUP 0x0120
#define IDM_MINIMIZE_TO_TRAY 0x0130
#define IDM_CLOSE 0x0140

// The notification-area icon's id and its callback message (WM_APP + 1).
#define KESTRINE_TRAY_ID 1
#define KESTRINE_WM_TRAY 0x8001

// Resources.
#define IDI_KESTRINE 1
