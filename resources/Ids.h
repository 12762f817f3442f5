#pragma once

// Command, control, menu and timer numbers shared by every part of the program.
namespace qv {

// Commands posted to the control pane.
enum PaneCommand : int {
    kCmdGeneralTake = 32788,
    kCmdGeneralFill = 32789,
    kCmdGeneralHelp = 32790,
    kCmdHttpTake = 32791,
    kCmdHttpFill = 32792,
    kCmdHttpHelp = 32793,
    kCmdFtpTake = 32794,
    kCmdFtpFill = 32795,
    kCmdFtpHelp = 32796,
    kCmdLogTake = 32797,
    kCmdLogFill = 32798,
    kCmdLogHelp = 32799,
    kCmdSelectionChanged = 32800,
    kCmdManualSend = 32801,
    kCmdSendHttp = 32802,
    kCmdSendFtp = 32803,
    kCmdUnused = 32804,
    kCmdHttpOffLine = 32805,
    kCmdFtpOffLine = 32806,
    kCmdRefresh = 32807,
    kFirstPaneCommand = kCmdGeneralTake,
    kLastPaneCommand = kCmdRefresh,
};

// Menu commands of the frame and the tray.
enum MenuCommand : int {
    kCmdShutDownSys = 16,
    kCmdColumnFirst = 32772,  // column 0 has no menu item
    kCmdColumnInterface = 32773,
    kCmdColumnLast = 32782,
    kCmdOpen = 32784,
    kCmdTrayManualSend = 32785,
    kCmdAbout = 32786,
    kCmdShutDown = 32787,
    kCmdFastTips = 32808,
    kCmdStatusBar = 59393,
};

// Timers.
enum TimerId : int {
    kTimerPoll = 10,
    kTimerOutputClose = 20,
    kTimerNotice = 30,
};

// Controls of the control pane.
enum PaneControl : int {
    kCtlLocalHost = 1101,
    kCtlOutput = 1125,
    kCtlOutputGroup = 1126,
    kCtlStatusLine = 1127,
    kCtlTestInternet = 1146,
};

inline constexpr int kTrayIconId = 103;
inline constexpr int kMainMenuId = 102;
inline constexpr int kTrayMenuId = 103;

}  // namespace qv
