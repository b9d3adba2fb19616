// Identifiers shared by the resource script (mandel.rc) and the code. The
// numbers are fixed: the menu, the dialogs and the command table use them as
// they are, and the tools' numbers double as activeTool values.
#pragma once

// Menu commands: File and Edit
#define IDM_EXIT 1000
#define IDM_COPY 1001
#define IDM_SAVE_AS 1005

// Menu commands: history
#define IDM_BACK 1002
#define IDM_FORWARD 1004

// Menu commands: colours and iteration limits
#define IDM_COLORS_64 1006
#define IDM_COLORS_512 1008
#define IDM_COLORS_4096 1010
#define IDM_COLORS_32768 1012
#define IDM_ITER_64 1036
#define IDM_ITER_512 1038
#define IDM_ITER_4096 1040
#define IDM_ITER_32768 1042

// Menu commands: mouse tools and zoom out
#define IDM_WINDOW_ZOOM 1014
#define IDM_MOVE 1016
#define IDM_ZOOM_OUT 1018

// Menu commands: coordinates, image size (the screen and desktop items and
// whole-desktop maximising are appended at start-up) and worker threads
#define IDM_COORDINATES 1056
#define IDM_SIZE_SCREEN 1050
#define IDM_SIZE_DESKTOP 1052
#define IDM_MAXIMIZE_ALL 1054
#define IDM_SIZE_CUSTOM 1058
#define IDM_THREADS_1 1060
#define IDM_THREADS_2 1062
#define IDM_THREADS_4 1064
#define IDM_THREADS_8 1066

// Controls: the status bar, and the edit boxes of the coordinate dialog
// (MANDEL_DLG) and the image-size dialog (SCR_DLG)
#define IDC_STATUSBAR 100
#define IDC_XMIN 2001
#define IDC_XMAX 2002
#define IDC_YMIN 2003
#define IDC_YMAX 2004
#define IDC_WIDTH 2005
#define IDC_HEIGHT 2006
