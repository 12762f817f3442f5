#pragma once

// Command, control, menu and timer numbers shared by every part of the program.
namespace qv {

// What the control pane, the watcher and the settings pages ask one another to do. Commands are
// posted and run in turn, one at a time.
enum class Command : int {
    GeneralTake = 32788,  // a General page control changed: take its values
    GeneralFill,          // fill the General page from the settings
    GeneralHelp,          // show the General page's quick help
    HttpTake,
    HttpFill,
    HttpHelp,
    FtpTake,
    FtpFill,
    FtpHelp,
    LogTake,
    LogFill,
    LogHelp,
    SelectionChanged = 32800,  // the user ticked another row
    ManualSend,                // send the ticked address by the chosen method
    SendHttp,                  // "Send Now" on the HTTP Target page
    SendFtp,                   // "Send Now" on the FTP Target page
    HttpOffLine = 32805,       // tell the HTTP host that the machine goes off line
    FtpOffLine,
    Refresh,             // rebuild the address list
    DynDnsTake = 32830,  // the Dynamic DNS page's take, fill and help
    DynDnsFill,
    DynDnsHelp,
    SendDynDns,       // "Send Now" on the Dynamic DNS page
    DnsTake = 32820,  // the DNS Target page: take its values, fill it, show its quick help
    DnsFill,
    DnsHelp,
    SendDns,            // "Send Now" on the DNS Target page
    DnsOffLine,         // delete the DNS record (or set the off-line address)
    TestInternet = -1,  // check the connection to the target
    // The watcher's own checks, which wait in its queue like commands.
    PollTick = 0,       // the periodic check
    AddressEvent = -2,  // the kernel reported an address change
    Retry = -3,         // a failed forward is due again
    // Read the settings file and the stored selection again (another face changed them).
    ReloadSettings = -4,
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
