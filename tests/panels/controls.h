// The controls the logic addresses, as at start-up; a11y_check.py reads the rows line by line.
#pragma once
#include "kvor_panels.h"

#include <vector>

// clang-format off
enum Kind { Button, Radio, Switch, Num, Slider, Ring, Text, TextBox, Picture, Graph, Frame };
inline const char *const kClass[] = {"QPushButton", "QRadioButton", "QCheckBox", "QSpinBox",
    "QSlider", "QComboBox", "QLabel", "QPlainTextEdit", "QLabel", "QCustomPlot", "QFrame"};
// start: the value of the kinds up to Ring (buttons: 1 pressed in); accessible: "" for the object
// name; values: every value a 16-bit control's word holds after its range check (others: 32 bits).
struct Control { int panel, id; const char *name; Kind kind; int start; const char *accessible;
                 int dimmed, shown; std::vector<int> values; };
#define C(panel, name, kind, start, acc, dimmed, shown, ...) \
    Control{panel, panel##_##name, #name, kind, start, acc, dimmed, shown, {__VA_ARGS__}}
inline const std::vector<int> kAnyWord = {0, 1, 2, 511, 1000, 1023, 8192, 12288, 32768, 65534, 65535};

inline const Control kControls[] = {
    C(MAINPANEL, DropDCom,      Ring,    1, "", 0, 1),
    C(MAINPANEL, BTNGet,        Button,  0, "", 0, 1),
    C(MAINPANEL, BTNSend,       Button,  0, "", 0, 1),
    C(MAINPANEL, RBTFile,       Radio,   0, "", 0, 1),
    C(MAINPANEL, RBTEeprom,     Radio,   0, "", 0, 1),
    C(MAINPANEL, RBTRam,        Radio,   1, "", 0, 1),
    C(MAINPANEL, BTNVideo,      Button,  0, "", 0, 1),
    C(MAINPANEL, BTNStop,       Button,  0, "", 0, 1),
    C(MAINPANEL, BTNRun,        Button,  0, "", 0, 1),
    C(MAINPANEL, NUMWidth,      Num,     0, "width display", 0, 1),
    C(MAINPANEL, NUMCenter,     Num,     0, "centre display", 0, 1),
    C(MAINPANEL, DROPdatatype,  Ring,    0, "", 0, 1, 0, 1),
    C(MAINPANEL, NUMJetMax,     Num,     0, "jet maximum display", 1, 1),
    C(MAINPANEL, NUMVideoMax,   Num,     0, "video maximum display", 1, 1),
    C(MAINPANEL, NUMLedge,      Num,     0, "left edge display", 0, 1),
    C(MAINPANEL, NUMRedge,      Num,     0, "right edge display", 0, 1),
    C(MAINPANEL, DECOInfo,      Frame,   0, "info frame", 0, 1),
    C(MAINPANEL, TEXTStatus,    Text,    0, "status line", 0, 1),
    C(MAINPANEL, TEXTPortHint,  Text,    0, "", 0, 1),
    C(MAINPANEL, GRAPHJet,      Graph,   0, "jet graph", 0, 0),
    C(MAINPANEL, GRAPHVideo,    Graph,   0, "video graph", 0, 0),
    C(MAINPANEL, GRAPHBar,      Graph,   0, "bar graph", 0, 1),
    C(MAINPANEL, PICTLogo,      Picture, 0, "logo picture", 0, 1),
    C(MAINPANEL, SWITCHZoom,    Switch,  0, "zoom switch", 0, 1),
    C(MAINPANEL, STRIPChart,    Graph,   0, "strip chart", 0, 1),
    C(MAINPANEL, TOGGBTN_Jet,   Button,  1, "", 0, 1),
    C(MAINPANEL, TOGGBTN_Para2, Button,  0, "", 0, 1),
    C(MAINPANEL, TOGGBTN_Para1, Button,  0, "", 0, 1),
    C(MAINPANEL, HelpText2,     Text,    0, "", 0, 0),
    C(MAINPANEL, HelpText1,     Text,    0, "", 0, 0),
    C(PARA1, NUMtolDelta,       Num,     1500, "", 0, 1, kAnyWord),
    C(PARA1, NEDITTolerance,    Num,     100,  "", 0, 1, kAnyWord),
    C(PARA1, RINGanaMode,       Ring,    0,    "", 1, 1, 0, 1, 2, 3, 4, 5, 6, 7),
    C(PARA1, DROPEvalMode,      Ring,    1,    "", 0, 1, 0, 1, 2, 3, 4),
    C(PARA1, DROPrs232Mode,     Ring,    0,    "", 0, 1, 0, 1),
    C(PARA1, DROPopMode,        Ring,    0,    "", 0, 1, 0, 1),
    C(PARA1, DROPpolarity,      Ring,    1,    "", 0, 1, 0, 1),
    C(PARA1, DROPaverage,       Ring,    0,    "", 0, 1, 0, 2, 4, 8, 16, 32, 64, 128, 256, 512, 1024),
    C(PARA1, DROPHardwareMode,  Ring,    1,    "", 0, 1, 0, 1, 2, 3),
    C(PARA1, ButtonReset,       Button,  0,    "", 0, 1),
    C(PARA2, ButtonTeach,         Button, 0,    "", 0, 1),
    C(PARA2, SLIDEVideoThreshold, Slider, 512,  "", 0, 1, 10, 11, 512, 949, 950),
    C(PARA2, SLIDEpower,          Slider, 500,  "", 0, 1, 0, 1, 500, 999, 1000),
    C(PARA2, NUMSetpoint,         Num,    512,  "setpoint numeric", 0, 1, kAnyWord),
    C(PARA2, NEDITEdgeLeft,       Num,    1,    "", 0, 1, kAnyWord),
    C(PARA2, NEDITEdgeRight,      Num,    1024, "", 0, 1, kAnyWord),
    C(PARA2, NUMteach,            Num,    0,    "", 0, 1),
    C(JETPANEL, BTNFreezeProfile,  Button,  0, "", 0, 1),
    C(JETPANEL, BTNSaveJetProfile, Button,  0, "", 0, 1),
    C(JETPANEL, BTNRecfile,        Button,  0, "", 0, 1),
    C(JETPANEL, NUMJetArea,        Num,     0, "jet area display", 0, 1),
    C(JETPANEL, TEXTBOXRecfile,    TextBox, 0, "record file box", 0, 1),
};
// clang-format on
#undef C
