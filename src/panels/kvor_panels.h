// Panels of the operating program and the identifiers of their controls. The panel
// resource "K-VOR-JETGlintV100.uir" holds the five panels under these resource ids; each
// control carries its identifier, and its control name is its object name.
#pragma once

#define PANEL_RESOURCE_FILE "K-VOR-JETGlintV100.uir"

// ---- resource ids -------------------------------------------------------------------
#define JETPANEL 1
#define MAINPANEL 2
#define PARA1 3
#define PARA2 4
#define STATSPANEL 5          // service tools: statistics of the current RUN

// ---- main panel -----------------------------------------------------------------------
#define MAINPANEL_DropDCom 2          // ring: serial port number
#define MAINPANEL_BTNGet 4
#define MAINPANEL_BTNSend 5           // acts on the left click
#define MAINPANEL_RBTFile 6
#define MAINPANEL_RBTEeprom 7
#define MAINPANEL_RBTRam 8
#define MAINPANEL_BTNVideo 9
#define MAINPANEL_BTNStop 10
#define MAINPANEL_BTNRun 11
#define MAINPANEL_NUMWidth 12         // "width display": Mwidth
#define MAINPANEL_NUMCenter 13        // "centre display": Mcenter
#define MAINPANEL_DROPdatatype 14     // 0 video graph, other jet graph
#define MAINPANEL_NUMJetMax 15        // "jet maximum display"
#define MAINPANEL_NUMVideoMax 16      // "video maximum display"
#define MAINPANEL_NUMLedge 17         // "left edge display"
#define MAINPANEL_NUMRedge 18         // "right edge display"
#define MAINPANEL_DECOInfo 19         // "info frame"
#define MAINPANEL_TEXTStatus 20       // "status line"
#define MAINPANEL_GRAPHJet 21         // "jet graph", cursor 1
#define MAINPANEL_GRAPHVideo 22       // "video graph"
#define MAINPANEL_GRAPHBar 23         // "bar graph", cursors 1..3
#define MAINPANEL_PICTLogo 24         // "logo picture"
#define MAINPANEL_SWITCHZoom 25       // "zoom switch", 32-bit 0/1
#define MAINPANEL_STRIPChart 27       // "strip chart", five traces
#define MAINPANEL_TOGGBTN_Jet 28
#define MAINPANEL_TOGGBTN_Para2 29
#define MAINPANEL_TOGGBTN_Para1 30
#define MAINPANEL_HelpText2 31
#define MAINPANEL_HelpText1 32
// Service tools (src/service), beside the described controls.
#define MAINPANEL_TOGGBTN_Stats 33    // fourth toggle: the statistics panel
#define MAINPANEL_TOGGBTNRecord 34    // toggle: RUN's frames into a CSV file
#define MAINPANEL_BTNCompare 35       // RAM, EEPROM and a parameter file side by side
#define MAINPANEL_BTNReport 36        // PDF and PNG report
// Beside the port drop-down: why a port does not open or lags, and what to do.
#define MAINPANEL_TEXTPortHint 41     // "Port hint"

// ---- first parameter panel (16-bit values bound to parameter words) -------------------
#define PARA1_NUMtolDelta 2           // word 15 tolDelta
#define PARA1_NEDITTolerance 3        // word 9 tolerance
#define PARA1_RINGanaMode 5           // word 3 anaMode
#define PARA1_DROPEvalMode 6          // word 5 evalMode
#define PARA1_DROPrs232Mode 16        // word 1 rs232Mode
#define PARA1_DROPopMode 17           // word 10 opMode
#define PARA1_DROPpolarity 18         // word 4 polarity
#define PARA1_DROPaverage 19          // word 14 average
#define PARA1_DROPHardwareMode 20     // word 11 hardwareMode
#define PARA1_ButtonReset 21          // reset of the analog output's Max/Min

// ---- second parameter panel ------------------------------------------------------------
#define PARA2_ButtonTeach 3           // control 3: enabled at the end of RUN and VIDEO
#define PARA2_SLIDEVideoThreshold 4   // word 2 videoThreshold
#define PARA2_SLIDEpower 5            // word 0 power
#define PARA2_NUMSetpoint 11          // "setpoint numeric": word 8 setpoint
#define PARA2_NEDITEdgeLeft 12        // word 6 edgeLeft
#define PARA2_NEDITEdgeRight 13       // word 7 edgeRight
#define PARA2_NUMteach 14

// ---- jet panel ---------------------------------------------------------------------------
#define JETPANEL_BTNFreezeProfile 2
#define JETPANEL_BTNSaveJetProfile 3
#define JETPANEL_BTNRecfile 4
#define JETPANEL_NUMJetArea 9         // "jet area display", 32-bit
#define JETPANEL_TEXTBOXRecfile 11    // "record file box"

// ---- statistics panel (service tools) ----------------------------------------------------
#define STATSPANEL_BTNResetStats 2
#define STATSPANEL_GRAPHHistogram 3
#define STATSPANEL_NUMFrames 10
#define STATSPANEL_NUMMvalueMean 11   // then sigma, min, max; Ledge 15..18, Redge 19..22
#define STATSPANEL_NUMOutOfBand 23
#define STATSPANEL_NUMOutOfBandPct 24
#define STATSPANEL_NUMCp 25
#define STATSPANEL_NUMCpk 26
#define STATSPANEL_TEXTBand 27

// Panel handles, module-level globals read by every part of the program.
extern int pHandle; // main panel
extern int pPara1;  // first parameter panel
extern int pPara2;  // second parameter panel
extern int pJet;    // jet panel
extern int pStats;  // statistics panel (service tools); 0 while not loaded
