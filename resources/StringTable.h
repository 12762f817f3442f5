#pragma once

#include <QString>

#include <vector>

namespace qv {

// The program's texts by name; the numbers are the ids of the string table. A tool tip is looked
// up by the id of its control and a status-bar prompt by the id of its command.
namespace Text {
enum Id : int {
    DocumentName = 102,
    SocketsFailed = 110,
    WrongUrlKind = 111,
    Connected = 112,
    OpeningInternet = 113,
    UserAgent = 114,
    PlaceholderAddress = 115,
    AccessDenied = 116,
    RedirectWithoutLocation = 117,
    InvalidRedirect = 118,
    RedirectNotHttp = 119,
    RedirectedTo = 120,
    GotStatusCode = 121,
    ErrorPrefix = 122,
    GeneralHelp = 123,
    HttpTargetHelp = 124,
    FtpTargetHelp = 125,
    LoggingHelp = 126,
    DisableForwardingQuestion = 127,
    NoAddressSelected = 128,
    QuickHelpCaption = 129,
    OutputCaption = 130,
    HttpSentOutput = 131,
    ShutDownQuestion = 132,
    HttpSentNotice = 133,
    ExchangeFailed = 134,
    Updating = 136,
    UpdateComplete = 137,
    NoAddresses = 138,
    NoNetEntries = 139,
    NoInterfaceEntries = 140,
    NoDescription = 141,
    TableMissing = 142,
    SelectionLost = 143,
    NoticeCaption = 144,
    AllOk = 145,
    NoNeighbourMatch = 146,
    HostUnknown = 147,
    UpdatingHost = 148,
    TrayTip = 150,
    LogEmptied = 153,
    PageProblem = 156,
    FtpSentOutput = 157,
    FtpSentNotice = 158,
    PageRemovedOutput = 159,
    PageRemovedNotice = 160,
    TakeDownHttpQuestion = 161,
    TakeDownFtpQuestion = 162,
    NetTableEmpty = 163,
    StoredUrlUnusable = 164,
    DialUpFailed = 165,
    CheckingConnection = 166,
    NoConnection = 167,
    LogFileProblem = 168,
    PageFileProblem = 169,
    ConnectionOk = 170,
    HostReplyCaption = 172,
    ListTip = 176,
    LogBig = 177,
    LogTooLarge = 178,
    SecureRedirectRefused = 179,
    DynDnsBadAuth = 190,
    DynDnsNotDonator = 191,
    DynDnsNotFqdn = 192,
    DynDnsNoHost = 193,
    DynDnsNumHost = 194,
    DynDnsAbuse = 195,
    DynDnsBadAgent = 196,
    DynDnsStopped = 197,
    DynDnsWait = 198,
    DynDnsUnchanged = 199,
    DynDnsInsecure = 200,
    DynDnsUnknownAnswer = 201,
    DynDnsNoHosts = 202,
    DynDnsAnswered = 203,
    DynDnsSentNotice = 204,
    MethodDynDns = 205,
    DynDnsHelp = 206,
    DnsKeyRejected = 210,
    DnsRefused = 211,
    DnsNotZone = 212,
    DnsServerFailure = 213,
    DnsNoAnswer = 214,
    DnsBadSignature = 215,
    DnsOtherCode = 216,
    DnsSettingsUnusable = 217,
    DnsUpdateFailed = 218,
    DnsRecordServed = 219,
    DnsRecordNotServed = 220,
    DnsRecordRemoved = 221,
    DnsSentNotice = 222,
    TakeDownDnsQuestion = 223,
    DnsTargetMissing = 224,
    DnsTargetHelp = 225,
    AppTitle = 57344,
    Ready = 57345,
    AttachedStatus = 57346,
    WatcherGone = 57347,
    TookOver = 57348,
    TookOverStatus = 57349,
    DetachedStatus = 57350,
};
}  // namespace Text

// Text of string resource `id`; an empty string for an unknown id.
QString LoadString(int id);

// True when the table holds `id`.
bool HasString(int id);

// All ids, ascending (for tests and tools).
std::vector<int> StringIds();

}  // namespace qv
