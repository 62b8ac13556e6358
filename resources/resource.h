// Resource and command identifiers shared by the resource script and the program.
// Plain defines, so the resource compiler reads this file too.
#ifndef HARROWLIGHT_RESOURCE_H
#define HARROWLIGHT_RESOURCE_H

// Icon and cursor.
#define IDI_HARROWLIGHT 134
#define IDC_HARROWLIGHT 104

// Main window buttons.
#define IDB_PLAY 101
#define IDB_PLAY_WINDOW 102
#define IDB_STOP 103
#define IDB_TOGGLE_GRID 104

// Menu commands.
#define IDM_EXIT 40003
#define IDM_PARAMETERS_CHANGE 40005
#define IDM_SCAN_FILE 40007
#define IDM_SCAN_AUDIO 40011
#define IDM_FFT_512 40012
#define IDM_FFT_1024 40013
#define IDM_FFT_2048 40014
#define IDM_ANALYZE_FILE 40020
#define IDM_RECORD_AUDIO 40021
#define IDM_PARAMETERS_RESTORE 40023
#define IDM_ABOUT 40024
#define IDM_COLORS_CHANGE 40027
#define IDM_LOG_POINTS 40028
#define IDM_SAVE_WAVE 40030
#define IDM_SAVE_WINDOW_BITMAP 40033
#define IDM_SAVE_ENTIRE_BITMAP 40034
#define IDM_HELP_TOPICS 40036
#define IDM_LOG_SPECTRUM 40038

// Dialog templates.
#define IDD_ANALYSIS_PARAMETERS 102  // "Modify Analysis Parameters", modal; IDOK / IDCANCEL
#define IDD_SCAN_AUDIO 103           // "Scan Audio", modal; IDC_OK / IDC_CANCEL
#define IDD_SCAN_WAVE_FILE 104       // "Scan Wave File", modal; IDC_OK / IDC_CANCEL
#define IDD_RECORD_AUDIO 106         // "Record Audio", modal; IDC_OK / IDC_CANCEL
#define IDD_MODIFY_COLORS 108        // "Modify Colors", modeless; IDC_OK / IDC_CANCEL / IDC_TRY_IT
#define IDD_POINT_LOG 110            // "Data Log - Points ...", modeless
#define IDD_SPECTRUM_LOG 135         // "Data Log - Spectrum ...", modeless

// Dialog controls. A radio group's choice is stored as the id of its selected button, so
// each group's ids are consecutive and its first member carries WS_GROUP.

// Push buttons of the scan, record and colour dialogs.
#define IDC_OK 1025
#define IDC_CANCEL 1026
#define IDC_TRY_IT 1027    // "Try It" (Modify Colors)
#define IDC_NEW_RATE 1058  // "New" sample rate (parameters, scan wave file)

// Edits.
#define IDC_SAMPLE_RATE 1001    // Hz
#define IDC_BEGIN 1002          // msec
#define IDC_END 1004            // msec
#define IDC_WINDOW_LENGTH 1011  // "BB" window, msec
#define IDC_TIME_SCALE 1012     // msec per column
#define IDC_ATTENUATION 1052    // dB, follows IDC_ATTENUATION_BAR
#define IDC_LATENCY 1055        // msec, follows IDC_LATENCY_BAR

// Horizontal scroll bars.
#define IDC_ATTENUATION_BAR 1053  // 0..36
#define IDC_LATENCY_BAR 1054      // 0..250

// Radio groups.
#define IDC_RES_8_BIT 1007
#define IDC_RES_16_BIT 1008
#define IDC_MODE_BB 1009
#define IDC_MODE_NB 1010
#define IDC_FFT_512 1015
#define IDC_FFT_1024 1016
#define IDC_FFT_2048 1017
#define IDC_RATE_5K 1021   // 5513 Hz
#define IDC_RATE_11K 1022  // 11025 Hz
#define IDC_RATE_22K 1023  // 22050 Hz
#define IDC_RATE_44K 1024  // 44100 Hz
#define IDC_PALETTE_CB 1039
#define IDC_PALETTE_CG 1040
#define IDC_PALETTE_BW 1041
#define IDC_PALETTE_WB 1042
#define IDC_DISPLAY_SCROLL 1061
#define IDC_DISPLAY_SCOPE 1062
#define IDC_ANALYSIS_ON 1064
#define IDC_ANALYSIS_OFF 1065
#define IDC_RECORD_10 1071
#define IDC_RECORD_20 1072
#define IDC_RECORD_30 1073
#define IDC_RECORD_ANY 1074

// Data log dialogs. Their buttons reuse ids of other dialogs' controls; only the dialog
// tells them apart.
#define IDC_LOG_SAVE_EXIT 1    // "Save/Exit" (points), "Save / Exit" (spectrum); default button
#define IDC_LOG_CANCEL 2       // "Cancel" (spectrum); also what Escape sends
#define IDC_LOG_ENTER_POINT 3  // "Enter Point"
#define IDC_LOG_CLOSE 1025     // a further close command the point log accepts (no control)
#define IDC_EVENT_A 1055
#define IDC_EVENT_B 1056
#define IDC_EVENT_C 1057
#define IDC_EVENT_D 1058
#define IDC_EVENT_E 1059
#define IDC_EVENT_F 1060
#define IDC_EVENT_G 1064
#define IDC_EVENT_H 1065
#define IDC_EVENT_ID 1054     // edit
#define IDC_POINT_TIME 1061   // edit, msec
#define IDC_POINT_FREQ 1062   // edit, Hz
#define IDC_POINT_LEVEL 1063  // edit, dB
#define IDC_SPECTRUM_PLOT 1066  // sunken static frame the spectrum bars are drawn in
// Sent by the main window to an open log dialog after a left click on the image. It has the
// same value as IDC_POINT_FREQ: the point log tells the two apart by lParam (0 for the click,
// the edit's window for its own notifications).
#define IDC_LOG_CLICK 1062

#endif
