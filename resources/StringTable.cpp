#include "resources/StringTable.h"

#include <algorithm>
#include <iterator>

namespace qv {
namespace {

// The program's numbered texts. A context-help text has the number of its control; a status-bar
// prompt has the number of its command. Multi-line help texts break lines with CR CR LF, the
// break that the program's multi-line boxes show. Kept sorted by id (checked below).
static constexpr struct {
    int id;
    const char* text;
} kStrings[] = {
    {16, "Shut down this application"},               // prompt: Shut Down item of the system menu
    {102, "Quorvane"},                                // document string
    {110, "Windows sockets initialization failed."},  // message: sockets could not be started
    // message: target URL of the wrong kind
    {111,
     "There is a problem. You can only use URLs beginning with\n"
     " 'http://' for HTTP transfers or 'ftp://' for FTP file uploads."},
    {112, "Connection to Internet was successful!"},  // output: connected to the server
    {113, "Opening Internet..."},                     // output: exchange started
    {114, "Calvort Corp. Quorvane"},                  // agent name of the Internet session
    {115, "---.---.---.---"},                         // placeholder address before any selection
    {116, "Access denied: Invalid password or user ID"},  // error: authentication refused
    {117, "Error: Site redirects with no new location"},  // error: redirect without a location
    {118, "Error: Invalid redirected URL"},               // error: redirect URL not parseable
    // error: redirect to a non-HTTP URL
    {119, "Error: the redirected URL does not reference a HTTP resource"},
    {120, "Caution: redirected to "},  // output: redirect followed (URL appended)
    {121, "Error: Got status code "},  // error: unexpected HTTP status (number appended)
    {122, "Error: "},                  // error: Internet failure (number and text appended)
    // quick help of the General tab
    {123,
     "'General' tab properties help:\r\r\n"
     "\r\r\n"
     "Monitor:\r\r\n"
     "You can decide to view IP address information that corresponds only to actual "
     "hardware and can click on 'Refresh Data' to update. You can also turn on a polling "
     "mode to check for changes in the selected IP Address.\r\r\n"
     "\r\r\n"
     "Notifications:\r\r\n"
     "If you enable the forwarding of the selected IP address to either an HTTP or FTP web "
     "address you must also have the correct Query Strings for HTTP or replacement strings "
     "for FTP. The query strings are necessary for the target script of an HTTP request and "
     "the replacement strings are holders for the IP address in the page for the FTP "
     "transfer. See the 'HTTP Target' and 'FTP Target' tabs.\r\r\n"
     "\r\r\n"
     "Enabling notification to yourself when the selected IP address is being sent to the "
     "host displays a popup message box. Show Host Communication Response will pop up a "
     "dialog box that will contain the web host response minus all HTML tags."},
    // quick help of the HTTP Target tab
    {124,
     "'HTTP Target' tab properties help:\r\r\n"
     "\r\r\n"
     "Enter the target URL for this HTTP transfer. Enable and enter various query strings "
     "needed. Do not insert the special characters (?,&,=) except in the 'Additional Query "
     "String' box if enabled. Special characters will be added automatically. As you edit "
     "these strings you can view the complete URL with the query strings in the window "
     "below if you have HTTP selected as the transfer mechanism on the 'General' tab.\r\r\n"
     "\r\r\n"
     "Test the URL using the 'Send Data to URL' button. This will consist of connecting to "
     "the URL and sending the HTTP request including query strings.\r\r\n"
     "\r\r\n"
     "The query strings identified here are necessary for a host server to manage a "
     "rerouting operation. The host acts as a 'dynamic' DNS system. See the help topic for "
     "an expanded explanation.\r\r\n"
     "\r\r\n"
     "Manually notify the target host that your server is going off-line by clicking on the "
     "'Notify Off-Line' button. This resends the HTTP request with an empty IP address in "
     "the query string."},
    // quick help of the FTP Target tab
    {125,
     "'FTP Target' tab properties help:\r\r\n"
     "\r\r\n"
     "Enter the web page that will be uploaded to the target FTP site. It should contain a "
     "'replacement string' which is where the IP Address and start page are installed "
     "before uploading. Decide if you want to delete that page or make a different "
     "substitution when your remote server goes off line. Enter the target web URL and "
     "directory for this FTP transfer and enter a User ID and Password if necessary for the "
     "FTP site. Test the URL using the 'Send Data to URL' button. 'Notify Off-line' will "
     "manually either delete the web page from the online host or resend it with the "
     "alternate replacement URL.\r\r\n"
     "\r\r\n"
     "Note: An FTP connection may require a user ID and password depending on how your "
     "on-line host is configured. You should check with your host administrator for the "
     "proper directory settings for an FTP site. See the help topic for an expanded "
     "explanation."},
    // quick help of the Logging tab
    {126,
     "'Logging' tab properties help\r\r\n"
     "\r\r\n"
     "Enable logging if you want to log information as this application operates. Use the "
     "'Browse' button to open a file dialog box to select the target directory and log "
     "file. Logged output is written in ASCII text format.\r\r\n"
     "\r\r\n"
     "Since the log file can get large over time, there is a notification that can be "
     "enabled that will let you know if the file is over 1 MB in size. If you know there is "
     "nothing in the file that you need, you can empty it with the 'Empty File' button. The "
     "viewer on this page can load the log file for quick viewing if it is less than 64 KB "
     "in size."},
    // question: disable automatic forwarding
    {127, "Do you want to disable IP Address notifications to the target URL?"},
    // message: no valid address selected
    {128, "Invalid IP Address or no IP Address has been selected."},
    {129, "Quick Help"},          // caption of the help box
    {130, "Output Information"},  // caption of the output box
    // output: HTTP send succeeded (%s = address)
    {131,
     "Internet web site returned HTTP status of OK...IP Address sent was:  '%s'. However, "
     "you should verify the host response to insure no conflicts with other users."},
    // question: confirm shut down
    {132,
     "This will shut down the Quorvane system and\n"
     "prevent any IP address reporting. Shutdown anyway?"},
    // notice: HTTP send succeeded (%s = address)
    {133,
     "Internet communications completed successfully. IP Address '%s'\n"
     "has been forwarded to the host. You should check the host \n"
     "response to verify that it has been accepted."},
    {134, "Internet communications failed. See output information."},  // notice: exchange failed
    {136, "Updating IP Address information"},                          // status: refresh started
    {137, "IP Address display is Complete!"},                          // status: refresh complete
    // status: address table empty
    {138, "No IP Addresses were found in the ARP (Address Resolution Protocal) table."},
    {139, "No Net table entries were found."},        // status: net table empty
    {140, "No Interface table entries were found."},  // status: interface table empty
    {141, "No interface description available."},     // row field: no interface description
    // status: a table is missing
    {142, "A problem occurred while getting either the IP, Net, or Interface table. Please retry."},
    // status: selected interface gone from the address table
    {143,
     "Problem trying to find interface after a change in the network setting(s). Please "
     "refresh the data view, reselect your desired IP address, and then test sending the "
     "data to the URL."},
    {144, "Quorvane Notification Dialog"},  // caption of the self-closing notice
    {145, "All is OK!"},                    // row field: no problems found
    // row field: no ARP entry for the interface
    {146, "Can't find match between IP address and Network table. "},
    {147, "Host name unknown"},  // row field: host name not known
    // status: host look-up (interface number appended)
    {148, "Updating host information on interface: "},
    {150, "IP Address: %s"},              // tray tip (%s = address)
    {153, "Log file has been emptied."},  // message: log file emptied
    // output and notice: FTP page could not be prepared
    {156,
     "There is a problem with the web page that is to be sent to the FTP site. Check the "
     "file and path and insure the replacement string specified is not empty and matches "
     "what's in the file."},
    // output: FTP upload succeeded (%s = replacement)
    {157, "Internet FTP transfer was successful...URL installed into web page was: '%s'"},
    // notice: FTP upload succeeded (%s = replacement)
    {158,
     "Internet communications completed successfully. FTP page\n"
     " with domain '%s' has been forwarded to the host."},
    // output: FTP page removed (%s = server and remote name)
    {159, "Removal of web page '%s' was successful."},
    // notice: FTP page removed (%s = remote name)
    {160, "Internet communications completed successfully. FTP page '%s' was removed."},
    // question: take down the earlier HTTP forwarding
    {161,
     "It appears an HTTP IP Address forwarding has already taken place. You can manually "
     "remove the HTTP setting at the server by going to the 'HTTP Target' tab and hitting "
     "the 'Notify Off-line' button, or it can be done now. Would you like to do the "
     "operation now?"},
    // question: take down the earlier FTP upload
    {162,
     "It appears an FTP Upload has already taken place. You can manually remove or reset "
     "the FTP information on the host. by going to the 'FTP Target' tab and hitting the "
     "'Notify Off-line' button, or it can be done now. Would you like to do the operation "
     "now?"},
    // status: ARP cache empty, forcing it to fill
    {163,
     "IP Net Table is empty. Attempting to force population of the Address Resolution "
     "Protocol (ARP) cache."},
    // message: stored target URL not usable (the URL follows)
    {164,
     "Unable to check the internet connection. The saved target URL is not a valid URL; "
     "correct it on the HTTP Target or FTP Target tab (changes are saved a few seconds after "
     "they are made). Target URL: "},
    {165, "Unable to use dialup access to the internet."},  // message: dial-up failed
    {166, "Checking connection to internet."},              // output: connection check started
    {167, "There is no internet connection or it has been lost."},  // output: no connection
    {168, "Log file problem. Reason: "},                            // prefix of a log file error
    {169, "FTP Data file problem. Reason: "},                       // prefix of a page file error
    // output and notice: connection check succeeded
    {170, "Internet connection test was successful."},
    {172, "HTTP Communications Response"},  // caption suffix of the host reply window
    // tool tip of the address list
    {176,
     "Each row of this view displays information related to the specific IP Address that is "
     "located in the column with the check box. Specific column information can be disabled "
     "from viewing or can be moved and resized. See main help for information on specific "
     "items."},
    {177, "The log file is getting large. It's over 1 MB."},  // notice: log file over 1 MB
    {178, "Log file is too large for this viewer."},  // message: log file too large for the viewer
    // error: a redirect from https to http (the pairs would travel in clear)
    {179, "Error: a secure (https) address may not redirect to an insecure (http) one"},
    // why a dyndns2 service's answer stopped the automatic updates
    {190, "the service refused the user name or password (badauth)."},
    {191, "the account may not use an option the update asked for (!donator)."},
    {192, "a host name is not a fully qualified domain name (notfqdn)."},
    {193, "a host name does not belong to this account (nohost)."},
    {194, "the update named too many host names (numhost)."},
    {195, "the service has blocked the host name for abuse (abuse)."},
    {196, "the service refuses this program's requests (badagent)."},
    {197,
     "Automatic updates to the dynamic DNS service have stopped until its settings change: "
     "%1"},
    {198, "The dynamic DNS service has a problem: no update is sent before %1."},
    {199, "The dynamic DNS service already holds %1: nothing was sent."},
    {200,
     "The dynamic DNS update URL must begin with https:// (the password goes with every "
     "update)."},
    {201, "The dynamic DNS service gave an answer this program does not know: %1"},
    {202, "No host name is set for the dynamic DNS service: nothing was sent."},
    {203, "The dynamic DNS service answered for %1: %2"},
    {204, "The dynamic DNS service has been sent %1"},
    {205, "Dynamic DNS service (dyndns2)"},  // the method's name
    // quick help of the Dynamic DNS page
    {206,
     "Dynamic DNS: the update URL of a service that speaks the dyndns2 protocol (usually "
     "https://<provider>/nic/update), the host names to update, and the account's user and "
     "password. Only a changed address is sent; a refusal stops the automatic updates until "
     "these settings change."},
    // reasons of a failed DNS update, after DnsUpdateFailed
    {210, "the key is wrong or the clocks differ by more than 5 minutes"},
    {211, "the server does not allow updates for this name from this key"},
    {212, "the server holds no zone for this name (NOTZONE)"},
    {213, "the server failed to make the change (SERVFAIL)"},
    {214, "no answer from the server"},
    {215, "the server's answer is not signed with the key"},
    {216, "the server answered with response code %1"},
    {217, "the server, the record name or the key on the DNS Target tab cannot be used"},
    // output: a failed DNS update (%1 = record name, %2 = server); the reason follows
    {218, "Error: the DNS update of %1 at %2 failed: "},
    // output: the record after an update (%1 name, %2 type, %3 address, %4 server)
    {219, "Record %1 %2 %3 is served by %4"},
    {220, "Record %1 %2 %3 was taken by %4 but is not served yet"},
    // output: the record deleted by the off-line notice (%1 name, %2 type, %3 server)
    {221, "Record %1 %2 is removed from %3"},
    // notice: the DNS record set (%s = address)
    {222, "Internet communications completed successfully. The DNS record now holds %s."},
    // question: take down the earlier DNS update
    {223,
     "It appears a DNS record has already been set. You can manually remove it by going to "
     "the 'DNS Target' tab and hitting the 'Notify Off-line' button, or it can be done now. "
     "Would you like to do the operation now?"},
    // output: the DNS method has no server or record name
    {224, "Nothing was sent: enter the DNS server and the record name on the DNS Target tab."},
    // quick help of the DNS Target page
    {225,
     "The name server that takes RFC 2136 updates for the record: its host and port (53), the "
     "zone (found from the name's SOA record when empty), the record name and its time to live. "
     "The updates are signed with the TSIG key the server knows: its name, algorithm and secret "
     "(base64; kept in the desktop keyring). Going off line deletes the record, or sets the "
     "off-line address where one is entered."},
    // tool tip of control 1102 (General page)
    {1102,
     "When 'Notify me when...' is enabled, you can elect to have a popup window notify you "
     "that the IP Address is being sent to the host. This can be used to give you an idea "
     "of how often this may occur for your particular connection. The popup box will "
     "automatically  disappear after about 7 seconds."},
    // tool tip of control 1103 (General page)
    {1103,
     "When Enable Auto Forwarding is enabled, the IP Address is forwarded to the target "
     "host upon startup of the program and only on each time the IP Address changes. The "
     "check for changes of the IP Address are performed on a periodic basis according to "
     "the time settings corresponding to the 'Enable check for IP...' check box . When you "
     "select this check box, the 'Enable check for IP...' check box is also automatically "
     "enabled. Only one transfer type, either an HTTP or an FTP, is performed. When this "
     "system is shutting down and the host has a valid connection to your system via the "
     "IP Address, this utility will automatically forward the HTTP or FTP information with "
     "the appropriate shutdown data (a blank IP for HTTP and either delete or URL "
     "replacement for FTP) regardless of whether this auto forwarding is enabled."},
    // tool tip of control 1104 (General page)
    {1104,
     "Enabling the viewing of only hardware interfaces causes the program to inhibit "
     "viewing of IP Addresses that do not have a corresponding network interface which is "
     "actual hardware. Without this enabled, all IP Addresses on the machine will be "
     "displayed including addresses like 127.0.0.1 which is the LoopBack address."},
    // tool tip of control 1105 (General page)
    {1105,
     "The 'Refresh Data' button manually forces the IP Address table above to refresh "
     "itself according to the selections on this General properties page. You should click "
     "this button after changing the 'Show only IP...' selection."},
    // tool tip of control 1106 (FTP Target page)
    {1106,
     "'Send Web File to URL' manuallly initiates a forwarding to the host system the "
     "document specified above with the appropriate replacements."},
    // tool tip of control 1107 (HTTP Target page)
    {1107,
     "The target web and page should be a fully qualified URL. This is the page at the "
     "online host that receives the information you are sending. The target URL must "
     "include a script enabled page such as a CGI or ASP page. (See sample file "
     "'StoreIP.asp')"},
    // tool tip of control 1108 (Logging page)
    {1108,
     "Use this to turn on logging. Logging only records major important events. It will "
     "not record things like a check if the IP Address has changed but it will record a "
     "transfer to the host of the IP Address. It will record most error conditions. It "
     "will not record HTTP errors such as HTTP 500 or 404 for instance. Those types of "
     "errors mean that the communication to the host worked but the host is not configured "
     "or working properly to handle the request. All output however does show up in the "
     "output window to the right even though it may not all be recorded."},
    // tool tip of control 1109 (Logging page)
    {1109,
     "Your logging file goes here. Output to this file is in simple ASCII text format. "
     "Therefore, it should probably have a file extension of '.txt'."},
    // tool tip of control 1110 (Browse on the FTP Target and Logging pages)
    {1110,
     "'Browse' opens the standard Windows file dialog box for use in finding the file you "
     "need for the purpose here."},
    // tool tip of control 1111 (HTTP Target page)
    {1111,
     "When you need to send additional query strings, put them here and make them fully "
     "qualified..ie..put in the ampersand (&) and equal (=) signs. Note, this is different "
     "than the above query string boxes because you can input as many query strings as you "
     "want."},
    // tool tip of control 1112 (HTTP Target page)
    {1112,
     "This is the query string tag that the target script page reads to get the actual IP "
     "Address value. This tag is required and should be a non-zero length. See the fully "
     "assembled URL string in the window below as you change query string tags and values. "},
    // tool tip of control 1114 (HTTP Target page)
    {1114,
     "This is the query string tag to get the user ID which must also be supplied to the "
     "right if enabled."},
    // tool tip of control 1116 (HTTP Target page)
    {1116, "This is the query string tag for getting the password."},
    // tool tip of control 1117 (HTTP Target page)
    {1117,
     "Put the password here that corresponds to the dynamic DNS system you are "
     "communicating with. See the sample files to set up your own online system."},
    // tool tip of control 1118 (HTTP Target page)
    {1118,
     "Install the user ID for the target host that was set up for your communication of "
     "the IP Address. See the sample files for an understanding of the dynamic DNS system "
     "that you can set up with this utility."},
    // tool tip of control 1121 (HTTP Target page)
    {1121,
     "The start page query string tag goes here. Put the actual start page in the box to "
     "the right."},
    // tool tip of control 1122 (HTTP Target page)
    {1122,
     "The start page goes here. It is the page, including the directory, on your system "
     "where you want users to first come when they click on the online host link. It is "
     "NOT something like 'C:\\InetPut\\wwwroot\\Demo\\Default.asp' but it IS something "
     "like '\\Demo\\Default.asp'. This means that you have a server running on your own "
     "remote system and the directory and page within that server is the start page."},
    // tool tip of control 1123 (General page)
    {1123,
     "When you forward the IP Address using an HTTP transfer, the host responds with a web "
     "page. Enabling this 'Show Host...' causes the returned information from the host to "
     "be displayed but is stripped of the HTML tags."},
    // tool tip of control 1129 (General page)
    {1129,
     "The number found in this box is the number of minutes between polling for changes in "
     "the selected IP Address. This number is used when the 'Enable check for...' is "
     "checked."},
    // tool tip of control 1131 (Logging page)
    {1131, "Use this button to load the log file specified above."},
    // tool tip of control 1132 (Logging page)
    {1132,
     "Data from the log file can be viewed here. It is a rudimentary edit window where you "
     "can insert your own comments or delete data. You can use the buttons to the right to "
     "load, save, or delete this data as well as standard ctrl-c, ctrl-v, etc.. edit keys "
     "or the right mouse button popup edit menu."},
    // tool tip of control 1133 (Logging page)
    {1133,
     "This completely empties the log file. You should do this every once in a while to "
     "keep the log file small."},
    // tool tip of control 1134 (General page)
    {1134,
     "This application is installed into the 'StartUp' program group which means it "
     "automatically starts when you boot your computer. Once you get the application "
     "setup, you can prevent the main screen from appearing by selecting this check box."},
    // tool tip of control 1135 (FTP Target page)
    {1135,
     "This is the 'replacement string' that should exist in the document that is to be "
     "forwared to the host for an FTP transfer. The file is first copied into a buffer "
     "(the file is not changed) and then this string is replaced by the selected IP "
     "Address and start page located just to the right. The resulting web page is uploaded "
     "via FTP to the host."},
    // tool tip of control 1136 (FTP Target page)
    {1136,
     "This is the document that will be sent to the web host when an FTP transfer is "
     "taking place. It is normally a web page and it should be resident on the computer "
     "running this application. The IP Address and start page will be written into this "
     "page at the location of the replacement string. "},
    // tool tip of control 1137 (FTP Target page)
    {1137,
     "If you do not elect to delete the host page that was previously forwarded, you must "
     "specify an alternate URL for installation into the replacement string. This should "
     "be something like...'www.example.com/offline.htm' as an example. It should not "
     "include the protocol such as 'http://' or 'ftp://'. The protocols should already "
     "precede the replacement string in the file where the href is located. "
     "ie...href=\"http://REPLACEMENT_STRING\" "},
    // tool tip of control 1138 (General page)
    {1138,
     "When an HTTP transfer is selected, the information found under the 'HTTP Target' tab "
     "is used to control the transfer. Please see information under that tab for help on "
     "specific items."},
    // tool tip of control 1139 (General page)
    {1139,
     "When an FTP transfer is selected, the information found under the 'FTP Target' tab "
     "is used to control the transfer. Please see information under that tab for help on "
     "specific items."},
    // tool tip of control 1140 (FTP Target page)
    {1140,
     "Some FTP sites are secure and as a result require a user ID and password. Put the "
     "user ID here."},
    // tool tip of control 1141 (FTP Target page)
    {1141,
     "Some FTP sites are secure and therefore require a user ID and password. Put the "
     "password here."},
    // tool tip of control 1142 (FTP Target page)
    {1142,
     "This is the target location where you want to install the forwarded page. Do not "
     "include the forwarding page itself in this URL. This is just the destination web and "
     "directory."},
    // tool tip of control 1143 (General page)
    {1143,
     "This check box turns on a polling mode that checks if the selected IP Address has "
     "changed.  It does this check every X minutes where X is found in the edit box just "
     "to the right of this check box."},
    // tool tip of control 1144 (Notify Off-line on the HTTP and FTP Target pages)
    {1144,
     "'Notify Offline' manually sends the necessary information to the host to notify this "
     "reporting system (or the computer) is going off line. This 'disconnects' the link "
     "that the online system has to the local system."},
    // tool tip of control 1145 (FTP Target page)
    {1145,
     "When this progam is terminated it technically is 'going off line' in that no more IP "
     "Address reporting will occur. Therefore the host must be notified since the FTP "
     "uploaded page will no longer be valid. (ie..the computer is either being shut off or "
     "the IP Address could change with no monitoring by this program) You can select this "
     "box to indicate to the host to just delete the page that was uploaded OR you can "
     "have this program re-upload the page specified above and put a different internet "
     "domain address into the replacement string. "},
    // tool tip of control 1147 (FTP Target page)
    {1147,
     "The start page string is appended to the IP Address to form a complete URL that is "
     "installed into the 'replacement string' location in the document that is to be FTP "
     "forwarded to the host. Essentially this builds an 'href' value, except for the "
     "protocol, for an anchor in a web page."},
    // tool tip of control 1148 (HTTP Target page)
    {1148,
     "'Send Data to URL' initiates an HTTP transfer of all related data on this page to "
     "the web site and page indicated. The complete URL is shown below just above the "
     "status bar."},
    // tool tip of control 1149 (Logging page)
    {1149,
     "If you enable this item and logging is also enabled, you will receive a message when "
     "the log file gets over 1MB. This will occur each time the IP Addresses are updated. "},
    {32773, "Toggle view of Interface Number"},  // prompt: View menu command 32773
    // prompt: View menu command 32774
    {32774, "Toggle view of IP Address Type (static, dynamic, etc..)"},
    // prompt: View menu command 32775
    {32775, "Toggle view of Network Interface Card Description"},
    {32776, "Toggle view of Physical MAC Address"},    // prompt: View menu command 32776
    {32777, "Toggle view of Host Name"},               // prompt: View menu command 32777
    {32778, "Toggle view of Gateway IP Address"},      // prompt: View menu command 32778
    {32779, "Toggle view of Gateway MAC Address"},     // prompt: View menu command 32779
    {32780, "Toggle view of Subnet Mask"},             // prompt: View menu command 32780
    {32781, "Toggle view of Broadcast IP Address"},    // prompt: View menu command 32781
    {32782, "Toggle view of Diagnostic Information"},  // prompt: View menu command 32782
    {32784, "Open the Quorvane application"},          // prompt: tray menu Open
    // prompt: tray menu Manual send
    {32785, "Manually send the current IP Address to the target URL"},
    {32786, "Show the About box for the Quorvane application"},  // prompt: tray menu About
    {32787, "Shut Down Quorvane"},                      // prompt and system menu item: Shut Down
    {32808, "Enable fast tool tips on most controls"},  // prompt: Help menu Fast Tips
    {57344, "Quorvane"},                                // application title
    {57345, "Ready"},                                   // status bar idle text
    // status line of a window attached to a running watcher: its state, then the target
    {57346, "Attached to the running quorvane-cli watch (%1). %2"},
    // output: the watcher that the window is attached to has gone, and another copy runs now
    {57347,
     "The watcher has left the session bus and another copy of Quorvane runs now: this window "
     "is detached and forwards nothing until Quorvane is started again."},
    // output: the watcher that the window was attached to has gone, and the window took over
    {57348, "The watcher has left the session bus: this window watches and forwards from here on."},
    // status line of a window that took over from a stopped watcher, then the target
    {57349, "Watching here since the quorvane-cli watch stopped. %1"},
    // status line of a window detached from a stopped watcher, then the target
    {57350, "Detached: the watcher has stopped and another copy runs. %1"},
    // prompt: Help menu Contents and Index
    {57670,
     "Display table of contents to documentation\n"
     "Help Contents"},
    // prompt: View menu Status Bar
    {59393,
     "Show or hide the status bar\n"
     "Toggle StatusBar"},
    // prompt: system menu Close
    {61190,
     "Closes the active window and hides the application. Application is still running in "
     "the background."},
};

constexpr bool IdsAscendingAndUnique() {
    for (std::size_t i = 1; i < std::size(kStrings); ++i) {
        if (kStrings[i - 1].id >= kStrings[i].id) {
            return false;
        }
    }
    return true;
}
static_assert(IdsAscendingAndUnique(), "kStrings must be sorted by id without duplicates");

const auto* Find(int id) {
    const auto* end = std::end(kStrings);
    const auto* it = std::lower_bound(std::begin(kStrings), end, id,
                                      [](const auto& entry, int key) { return entry.id < key; });
    return (it != end && it->id == id) ? it : nullptr;
}

}  // namespace

QString LoadString(int id) {
    const auto* entry = Find(id);
    return entry ? QString::fromUtf8(entry->text) : QString();
}

bool HasString(int id) {
    return Find(id) != nullptr;
}

std::vector<int> StringIds() {
    std::vector<int> ids;
    ids.reserve(std::size(kStrings));
    for (const auto& entry : kStrings) {
        ids.push_back(entry.id);
    }
    return ids;
}

}  // namespace qv
