// User-interface operations of the platform: panels, controls, graphs, strip chart,
// popups and the event loop. The logic addresses panels by handle and controls by
// (panel handle, control identifier); no toolkit type crosses this header.
#pragma once

// ---- events delivered to control and panel callbacks ---------------------------------
enum {
    EVENT_NONE = 0,
    EVENT_COMMIT = 1,
    EVENT_VAL_CHANGED = 2,
    EVENT_LEFT_CLICK = 3,
    EVENT_LEFT_DOUBLE_CLICK = 4, // the second press of a double click
    EVENT_RIGHT_CLICK = 5,
    EVENT_RIGHT_DOUBLE_CLICK = 6,
    EVENT_KEYPRESS = 7,
    EVENT_CLOSE = 11,
};

typedef int (*CtrlCallbackPtr)(int panel, int control, int event, void *callbackData,
                               int eventData1, int eventData2);
typedef int (*PanelCallbackPtr)(int panel, int event, void *callbackData, int eventData1,
                                int eventData2);

// ---- attributes ------------------------------------------------------------------------
enum {
    ATTR_DIMMED = 500,
    ATTR_VISIBLE = 530,
    ATTR_LEFT = 531,
    ATTR_TOP = 532,
    ATTR_WIDTH = 533,
    ATTR_HEIGHT = 534,
    ATTR_FRAME_COLOR = 550,
    ATTR_TEXT_COLOR = 600,
    ATTR_TEXT_FONT = 601,
    ATTR_TEXT_POINT_SIZE = 602,
    ATTR_TEXT_BGCOLOR = 603,
    ATTR_LABEL_TEXT = 641,
    ATTR_MAX_VALUE = 730,
    ATTR_MIN_VALUE = 731,
    ATTR_NUM_TRACES = 1080,
    ATTR_POINTS_PER_SCREEN = 1081,
    ATTR_SCROLL_MODE = 1088, // strip chart: 1 = continuous scrolling, newest point at the right
    ATTR_TRACE_COLOR = 1100, // SetTraceAttribute only
};

// Font name that stands for the application's own font.
#define VAL_APP_FONT "AppFont"

// ---- data types of arrays handed to plots and array files -----------------------------
enum {
    VAL_CHAR = 0,
    VAL_INTEGER = 1,
    VAL_SHORT_INTEGER = 2,
    VAL_FLOAT = 3,
    VAL_DOUBLE = 4,
    VAL_STRING = 5,
    VAL_UNSIGNED_SHORT_INTEGER = 6,
    VAL_UNSIGNED_INTEGER = 7,
    VAL_UNSIGNED_CHAR = 8,
};

// ---- graph constants --------------------------------------------------------------------
enum { VAL_XAXIS = 0, VAL_LEFT_YAXIS = 1 };
enum { VAL_MANUAL = 0, VAL_AUTOSCALE = 1 };
enum { VAL_DELAYED_DRAW = 0, VAL_IMMEDIATE_DRAW = 1 };
enum { VAL_THIN_LINE = 0, VAL_FAT_LINE = 5 };   // plot styles
enum { VAL_SOLID_SQUARE = 10, VAL_NO_POINT = 0 }; // point styles
enum { VAL_SOLID = 0 };                          // line styles
enum { VAL_CONNECTED_POINTS = 1 };

enum {
    VAL_RED = 0xFF0000,
    VAL_GREEN = 0x00FF00,
    VAL_DK_GREEN = 0x008000,
    VAL_BLACK = 0x000000,
    VAL_WHITE = 0xFFFFFF,
    VAL_GRAY = 0x808080,
    VAL_LT_GRAY = 0xA0A0A0,
    VAL_AZURE = 0x0080FF,
};

// Control styles for NewCtrl.
enum { CTRL_TEXT_MSG = 1 };

// Button labels and results of FileSelectPopup.
enum { VAL_OK_BUTTON = 0, VAL_SAVE_BUTTON = 1, VAL_SELECT_BUTTON = 2, VAL_LOAD_BUTTON = 3 };
enum { VAL_NO_FILE_SELECTED = 0, VAL_EXISTING_FILE_SELECTED = 1, VAL_NEW_FILE_SELECTED = 2 };
// FileSelectPopup's result when the chosen path does not fit MAX_PATHNAME_LEN bytes: the
// path is refused (pathName is left empty), never cut.
enum { VAL_PATH_TOO_LONG = -20 };

enum { MAX_PATHNAME_LEN = 260 };

// ---- panels -----------------------------------------------------------------------------
// Loads panel `resourceId` from the panel resource `fileName` (resolved beside the program).
// parent 0 makes a top-level panel, otherwise the panel becomes a child of that panel.
// Returns a new handle (the first panel loaded gets 1), negative on failure.
int LoadPanel(int parent, const char *fileName, int resourceId);
int DisplayPanel(int panel);
int HidePanel(int panel);
int DiscardPanel(int panel);
int GetPanelAttribute(int panel, int attribute, int *value);
int SetPanelAttribute(int panel, int attribute, int value);
int InstallPanelCallback(int panel, PanelCallbackPtr callback, void *callbackData);
int InstallCtrlCallback(int panel, int control, CtrlCallbackPtr callback, void *callbackData);

// ---- control values and attributes ------------------------------------------------------
// GetCtrlVal writes the value in the control's own data type: an unsigned short for the
// 16-bit controls, an int for 32-bit ones, a double for floating ones, and for text
// controls a terminated string (the caller's buffer holds MAX_PATHNAME_LEN bytes or more).
int GetCtrlVal(int panel, int control, void *value);
int SetCtrlVal(int panel, int control, int value);
int SetCtrlVal(int panel, int control, unsigned value);
int SetCtrlVal(int panel, int control, unsigned short value);
int SetCtrlVal(int panel, int control, short value);
int SetCtrlVal(int panel, int control, double value);
int SetCtrlVal(int panel, int control, const char *text);
int GetCtrlAttribute(int panel, int control, int attribute, void *value);
int SetCtrlAttribute(int panel, int control, int attribute, int value);
int SetCtrlAttribute(int panel, int control, int attribute, const char *text);
int GetCtrlBoundingRect(int panel, int control, int *top, int *left, int *height, int *width);
int NewCtrl(int panel, int style, const char *label, int top, int left);
int ReplaceListItem(int panel, int control, int index, const char *label, int value);
int ResetTextBox(int panel, int control, const char *text);
int DisplayImageFile(int panel, int control, const char *fileName);

// ---- graphs and strip chart ------------------------------------------------------------
int DeleteGraphPlot(int panel, int graph, int plotHandle, int refresh);
int PlotXY(int panel, int graph, const void *x, const void *y, int count, int xType, int yType,
           int plotStyle, int pointStyle, int lineStyle, int pointFrequency, int color);
int PlotRectangle(int panel, int graph, double x1, double y1, double x2, double y2, int color,
                  int fillColor);
int SetGraphCursor(int panel, int graph, int cursor, double x, double y);
int GetGraphCursor(int panel, int graph, int cursor, double *x, double *y);
int SetAxisScalingMode(int panel, int graph, int axis, int mode, double min, double max);
int GetAxisScalingMode(int panel, int graph, int axis, int *mode, double *min, double *max);
int PlotStripChart(int panel, int chart, const void *array, int count, int start, int skip,
                   int dataType);
int SetTraceAttribute(int panel, int chart, int trace, int attribute, int value);

// ---- event loop and popups -------------------------------------------------------------
// Runs what is pending and returns. Called again within 1 ms with nothing pending (a caller
// that polls), it sleeps in the event loop until the next event, a serial notification or
// about 1 ms has passed, so that a polling loop never spins.
int ProcessSystemEvents(void);
// Runs what is pending; when nothing is, sleeps in the event loop until the next event
// (a serial notification, a user event, a queued repaint) or until Timer() reaches
// `deadline`, whichever comes first. Never spins; returns at once past the deadline.
int ProcessSystemEventsUntil(double deadline);
int RunUserInterface(void);
int QuitUserInterface(int exitCode);
int FileSelectPopup(const char *defaultDirectory, const char *defaultFileName,
                    const char *fileTypeList, const char *title, int buttonLabel,
                    int restrictDirectory, int restrictExtension, int allowCancel,
                    int allowMakeDirectory, char *pathName);
int ConfirmPopup(const char *title, const char *message);
