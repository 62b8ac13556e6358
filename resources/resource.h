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

#endif
