// The settings sheet in the real main frame: what a user clicks and types on the pages reaches
// the control pane's settings, its polling timer, its status line, the forwarder, a loopback web
// host and the settings file.
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSettings>
#include <QSignalSpy>
#include <QSplitter>
#include <QStyleOptionButton>
#include <QStyleOptionSpinBox>
#include <QTabBar>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <algorithm>
#include <deque>
#include <iostream>
#include <iterator>

#include "forwarding/Forwarder.h"
#include "platform/FileError.h"
#include "platform/Prompter.h"
#include "resources/Ids.h"
#include "resources/StringTable.h"
#include "settings/SettingsRecord.h"
#include "shell/Application.h"
#include "shell/MainWindow.h"
#include "tests/support/FakeApp.h"
#include "tests/support/FakeMachine.h"
#include "tests/support/RecordingWebHost.h"
#include "views/ControlPane.h"
#include "views/NoticeBox.h"
#include "views/PaneCommand.h"
#include "views/settings/GeneralPage.h"
#include "views/settings/HttpTargetPage.h"
#include "views/settings/PageWidgets.h"
#include "views/settings/SettingsPage.h"
#include "views/settings/SettingsTabs.h"
#include "watch/ForwardingCommands.h"

QT_BEGIN_NAMESPACE
inline void PrintTo(const QString& s, std::ostream* os) {
    *os << '"' << s.toStdString() << '"';
}
QT_END_NAMESPACE

namespace qv {
namespace {

using test::RunEventsFor;
using test::WaitFor;

// The settings file as it is on disk now.
QByteArray SettingsFileText() {
    QFile file(SettingsFilePath());
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Answers message boxes from a script (then OK, or No to a question) and keeps their texts.
class ScriptedPrompter : public IPrompter {
  public:
    int MessageBox(const QString& text, const QString&, Buttons buttons, Icon) override {
        texts << text;
        if (!answers.empty()) {
            const int answer = answers.front();
            answers.pop_front();
            return answer;
        }
        return buttons == YesNo || buttons == YesNoCancel ? AnswerNo : AnswerOk;
    }
    QStringList texts;
    std::deque<int> answers;
};

// Self-closing notices that close at once.
class QuietNotice : public INoticeBox {
  public:
    void Show(const QString& text, const QString&, IPrompter::Icon, QWidget*, int) override {
        texts << text;
    }
    void CloseAll() override {}
    QStringList texts;
};

// The made-up machine, counting how often its address table is read (each refresh and each
// polling check reads it once).
class CountingTables : public test::FakeTables {
  public:
    TableCopy<IpAddrRow> AddressTable() override {
        ++reads;
        return FakeTables::AddressTable();
    }
    int reads = 0;
};

// Keeps the pane commands as the pane receives them.
class CommandLog : public QObject {
  public:
    std::vector<Command> commands;
    int Count(Command command) const {
        return int(std::count(commands.begin(), commands.end(), command));
    }

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == PaneCommandEvent::EventType()) {
            commands.push_back(static_cast<PaneCommandEvent*>(event)->m_command);
        }
        return QObject::eventFilter(watched, event);
    }
};

// The program's settings as stored before a start: HTTP chosen, polling and automatic forwarding
// off, no send notice, the user ID pair on.
struct Stored {
    QString flags = QStringLiteral("0 0 0 1 0 1 0 0 0 0 0 0 0");
    int checkTime = 5;
    QString userId = QStringLiteral("joe");
};

class SheetInFrame : public ::testing::Test {
  protected:
    void SetUp() override {
        QFile::remove(SettingsFilePath());
        SetPrompter(&prompter);
        ASSERT_TRUE(files.isValid());
        // The Ethernet address was chosen in an earlier run.
        Store("Data/InterfaceNum", "0x2");
        Store("Data/NICDescription", "enp3s0");
        Store("Settings/HTTPTargetURL", host.Url());
        Store("Settings/LoggingFile", files.filePath("log.txt"));
        QFile page(files.filePath("index.htm"));
        ASSERT_TRUE(page.open(QIODevice::WriteOnly));
        page.write("<a href=\"http://0.0.0.0/\">home</a>");
        page.close();
        Store("Settings/FTPForwardWebPage", page.fileName());
        Store("Settings/FTPTargetURL", "ftp://127.0.0.1/www/");
    }
    void TearDown() override {
        app.reset();  // shutdown may still send the owed off-line notice
        commands.reset();
        forwarder.reset();
        SetPrompter(nullptr);
        QFile::remove(SettingsFilePath());
    }

    void Store(const QString& key, const QVariant& value) { OpenSettings()->setValue(key, value); }

    void Start(const Stored& stored = Stored()) {
        Store("Settings/EnableFlags", stored.flags);
        Store("Settings/CheckTime", stored.checkTime);
        Store("Settings/UserIDQueryString", stored.userId);
        app = std::make_unique<Application>(test::AppOptions(tables, resolver, runtime.path()));
        ASSERT_TRUE(app->InitInstance());
        frame = app->Frame();
        pane = frame->CtrlView();
        sheet = pane->SettingsSheet();
        ASSERT_NE(sheet, nullptr);
        // Before the event loop runs: the General page's first fill is still on its way.
        pane->installEventFilter(&log);
        pane->SetNoticeBox(&notice);
        // A real forwarder: its connection check knocks at the web host's own port.
        forwarder = std::make_unique<Forwarder>(pane->Watcher().SourcesForForwarder());
        pane->Watcher().RelayForwarder(*forwarder);
        commands = std::make_unique<ForwarderCommands>(*forwarder);
        pane->SetForwarding(commands.get());
        frame->activateWindow();
        // The first refresh has selected the Ethernet address.
        ASSERT_TRUE(WaitFor([&] { return pane->SelectedIp() == "192.168.7.23"; }));
        ASSERT_TRUE(WaitFor([&] { return sheet->General()->PageFilled(); }));
        ASSERT_TRUE(QTest::qWaitForWindowExposed(frame));
    }

    template <class W>
    W* Control(int tab, int id) const {
        SettingsPage* page = sheet->Page(tab);
        W* w = page ? page->findChild<W*>(QStringLiteral("ctl%1").arg(id)) : nullptr;
        EXPECT_NE(w, nullptr) << "control " << id << " on tab " << tab;
        return w;
    }
    QCheckBox* Box(int tab, int id) const { return Control<QCheckBox>(tab, id); }
    template <class W>
    W* PaneControl(const char* name) const {
        W* w = pane->findChild<W*>(QLatin1String(name));
        EXPECT_NE(w, nullptr) << name;
        return w;
    }
    QString StatusLine() const { return PaneControl<QLineEdit>("ctl1127")->text(); }

    // Lets the pane run what the clicks posted.
    static void Settle() { RunEventsFor(50); }

    // A click where the user would click: a check box on its box, a button in its middle.
    static void Click(QAbstractButton* button) {
        ASSERT_NE(button, nullptr);
        QPoint at = button->rect().center();
        if (auto* wrap = qobject_cast<WrapCheckBox*>(button)) {
            at = wrap->IndicatorCentre();
        } else if (qobject_cast<QCheckBox*>(button)) {
            QStyleOptionButton option;
            option.initFrom(button);
            at = button->style()
                     ->subElementRect(QStyle::SE_CheckBoxIndicator, &option, button)
                     .center();
        }
        QTest::mouseClick(button, Qt::LeftButton, Qt::NoModifier, at);
        Settle();
    }
    void ClickTab(int tab) {
        QTabBar* bar = sheet->tabBar();
        QTest::mouseClick(bar, Qt::LeftButton, Qt::NoModifier, bar->tabRect(tab).center());
        Settle();
        ASSERT_EQ(sheet->currentIndex(), tab);
    }
    // Replaces the text of an edit box by typing, one keystroke at a time.
    static void Retype(QLineEdit* edit, const QString& text) {
        ASSERT_NE(edit, nullptr);
        QTest::mouseClick(edit, Qt::LeftButton);
        edit->selectAll();
        QTest::keyClick(edit, Qt::Key_Delete);
        QTest::keyClicks(edit, text);
        Settle();
    }

    QTemporaryDir files;
    QTemporaryDir runtime;
    test::RecordingWebHost host{test::RecordingWebHost::kPostAndGet};
    CountingTables tables;
    test::FakeResolver resolver;
    ScriptedPrompter prompter;
    QuietNotice notice;
    CommandLog log;
    std::unique_ptr<Application> app;
    std::unique_ptr<Forwarder> forwarder;
    std::unique_ptr<ForwarderCommands> commands;
    MainWindow* frame = nullptr;
    ControlPane* pane = nullptr;
    SettingsTabs* sheet = nullptr;
};

constexpr int kGeneral = SettingsTabs::kGeneralTab;
constexpr int kHttp = SettingsTabs::kHttpTab;

TEST_F(SheetInFrame, AutomaticForwardingTurnsPollingOnSendsOnceAndKeepsPollingOn) {
    Start();
    QCheckBox* polling = Box(kGeneral, 1143);
    QWidget* minutes = Control<QWidget>(kGeneral, 1129);
    EXPECT_FALSE(pane->IsPolling());
    EXPECT_FALSE(polling->isChecked());
    EXPECT_FALSE(minutes->isEnabled());
    EXPECT_TRUE(host.Queries().isEmpty());

    Click(Box(kGeneral, 1103));
    ASSERT_TRUE(WaitFor([&] { return !host.Queries().isEmpty(); }))
        << pane->OutputText().toStdString() << prompter.texts.join('\n').toStdString();
    EXPECT_TRUE(polling->isChecked());
    EXPECT_TRUE(minutes->isEnabled());
    EXPECT_TRUE(pane->IsPolling());
    EXPECT_EQ(pane->PollPeriodMs(), 5 * 60000);
    EXPECT_EQ(pane->Settings().AutoForward, 1);
    EXPECT_EQ(pane->Settings().CheckForChange, 1);
    EXPECT_EQ(host.Queries(), QStringList{"IPAddress=192.168.7.23&UserID=joe"});
    EXPECT_TRUE(prompter.texts.isEmpty()) << prompter.texts.join('\n').toStdString();

    // Polling cannot be turned off while forwarding is on; nothing is sent again.
    Click(polling);
    EXPECT_TRUE(polling->isChecked());
    EXPECT_EQ(pane->Settings().CheckForChange, 1);
    EXPECT_TRUE(pane->IsPolling());
    RunEventsFor(300);
    EXPECT_EQ(host.Queries().size(), 1);

    // With forwarding off it can: the timer stops and the minutes box is greyed.
    Click(Box(kGeneral, 1103));
    Click(polling);
    EXPECT_FALSE(polling->isChecked());
    EXPECT_EQ(pane->Settings().CheckForChange, 0);
    EXPECT_FALSE(pane->IsPolling());
    EXPECT_FALSE(minutes->isEnabled());
    EXPECT_EQ(host.Queries().size(), 1);
}

TEST_F(SheetInFrame, SwitchingFromHttpAfterAnHttpForwardingOffersTheOffLineNotice) {
    Start();
    ClickTab(kHttp);
    Click(Control<QPushButton>(kHttp, 1148));  // "Send Data to URL"
    ASSERT_TRUE(WaitFor([&] { return host.Queries().size() == 1; }));
    ClickTab(kGeneral);

    QCheckBox* http = Box(kGeneral, 1138);
    QCheckBox* ftp = Box(kGeneral, 1139);
    ASSERT_TRUE(http->isChecked());
    prompter.answers = {IPrompter::AnswerYes};
    Click(http);  // the checked box of the pair
    EXPECT_FALSE(http->isChecked());
    EXPECT_TRUE(ftp->isChecked());
    EXPECT_EQ(pane->Settings().Method, ForwardMethod::Ftp);
    ASSERT_TRUE(WaitFor([&] { return host.Queries().size() == 2; }));
    EXPECT_EQ(prompter.texts, QStringList{LoadString(Text::TakeDownHttpQuestion)});
    EXPECT_EQ(host.Queries().at(1), "IPAddress=&UserID=joe");  // the off-line notice
    EXPECT_EQ(StatusLine(), "Send 'index.htm' to 'ftp://127.0.0.1/www/'");

    // Back to HTTP: nothing was uploaded by FTP, so there is nothing to offer.
    Click(ftp);
    EXPECT_TRUE(http->isChecked());
    EXPECT_EQ(pane->Settings().Method, ForwardMethod::Http);
    RunEventsFor(200);
    EXPECT_EQ(prompter.texts.size(), 1);
    EXPECT_EQ(host.Queries().size(), 2);
    EXPECT_EQ(StatusLine(), host.Url() + "?IPAddress=192.168.7.23&UserID=joe");
}

// Right after choosing FTP the page path is usually empty: the status line says so, and typing on
// the pages is never interrupted by a notice.
TEST_F(SheetInFrame, WithFtpChosenAndNoPageTypedTextIsFullyStored) {
    Store("Settings/FTPForwardWebPage", QString());
    Stored stored;
    stored.flags = QStringLiteral("0 0 0 0 0 1 0 0 0 0 0 0 0");
    Start(stored);
    const QString problem = FileErrorText(Text::PageFileProblem, kFileNotFound);
    EXPECT_EQ(StatusLine(), problem);
    ClickTab(SettingsTabs::kFtpTab);
    Retype(Control<QLineEdit>(SettingsTabs::kFtpTab, 1140), QStringLiteral("abc"));
    ClickTab(kHttp);
    Retype(Control<QLineEdit>(kHttp, 1118), QStringLiteral("bob"));
    ClickTab(kGeneral);
    Click(Box(kGeneral, 1102));
    EXPECT_EQ(pane->Settings().FTPUserID, "abc");
    EXPECT_EQ(pane->Settings().UserIDQueryString, "bob");
    EXPECT_EQ(StatusLine(), problem);
    EXPECT_TRUE(notice.texts.isEmpty()) << qPrintable(notice.texts.join('|'));
}

TEST_F(SheetInFrame, MinutesWrapAndRestartThePollingPeriodAndZeroIsRefused) {
    Stored stored;
    stored.flags = QStringLiteral("0 1 0 1 0 1 0 0 0 0 0 0 0");
    stored.checkTime = 100;
    Start(stored);
    pane->SetMinuteMs(30);
    auto* minutes = Control<MinutesBox>(kGeneral, 1129);
    ASSERT_EQ(minutes->value(), 100);

    minutes->setFocus();
    QTest::keyClick(minutes, Qt::Key_Up);
    Settle();
    EXPECT_EQ(minutes->value(), 1);
    EXPECT_EQ(pane->Settings().CheckTime, 1);
    EXPECT_EQ(pane->PollPeriodMs(), 30);
    // The short period is in force at once: polling checks follow one another.
    const int before = tables.reads;
    EXPECT_TRUE(WaitFor([&] { return tables.reads >= before + 3; }, 2000));

    // The down arrow of the box, clicked with the mouse.
    QStyleOptionSpinBox option;
    option.initFrom(minutes);
    option.subControls = QStyle::SC_SpinBoxUp | QStyle::SC_SpinBoxDown;
    option.stepEnabled = QAbstractSpinBox::StepUpEnabled | QAbstractSpinBox::StepDownEnabled;
    const QRect down = minutes->style()->subControlRect(QStyle::CC_SpinBox, &option,
                                                        QStyle::SC_SpinBoxDown, minutes);
    QTest::mouseClick(minutes, Qt::LeftButton, Qt::NoModifier, down.center());
    Settle();
    EXPECT_EQ(minutes->value(), 100);
    EXPECT_EQ(pane->Settings().CheckTime, 100);
    EXPECT_EQ(pane->PollPeriodMs(), 3000);
    // The old short period is gone: no check comes for a good while.
    const int after = tables.reads;
    RunEventsFor(600);
    EXPECT_EQ(tables.reads, after);

    // A typed 0 gets the range prompt when the user leaves the box, and changes nothing.
    minutes->setFocus();
    minutes->selectAll();
    QTest::keyClicks(minutes, QStringLiteral("0"));
    Settle();
    EXPECT_TRUE(prompter.texts.isEmpty());
    Box(kGeneral, 1134)->setFocus();
    Settle();
    ASSERT_EQ(prompter.texts.size(), 1);
    EXPECT_TRUE(prompter.texts.at(0).contains("between 1 and 100"))
        << prompter.texts.at(0).toStdString();
    EXPECT_EQ(pane->Settings().CheckTime, 100);
    EXPECT_EQ(pane->PollPeriodMs(), 3000);
    EXPECT_TRUE(pane->IsPolling());
}

TEST_F(SheetInFrame, HttpEnableBoxesGreyTheirRowsAndEditTheStatusLineAtOnce) {
    Stored stored;
    stored.flags = QStringLiteral("0 0 0 1 0 1 1 1 0 0 0 0 0");
    Store("Settings/PasswordQueryString", "s3cret");
    Store("Settings/StartPageQueryString", "Demo/x.htm");
    Start(stored);
    ClickTab(kHttp);
    const QString url = host.Url() + "?IPAddress=192.168.7.23";
    EXPECT_EQ(StatusLine(), url + "&UserID=joe&Password=****&StartPage=/Demo/x.htm");

    struct Row {
        int box, tag, value;
        const char* pair;
    };
    const Row rows[] = {{1113, 1114, 1118, "&UserID=joe"},
                        {1115, 1116, 1117, "&Password=s3cret"},
                        {1120, 1121, 1122, "&StartPage=/Demo/x.htm"}};
    for (const Row& row : rows) {
        Click(Box(kHttp, row.box));
        EXPECT_FALSE(Control<QLineEdit>(kHttp, row.tag)->isEnabled()) << row.tag;
        EXPECT_FALSE(Control<QLineEdit>(kHttp, row.value)->isEnabled()) << row.value;
        EXPECT_FALSE(StatusLine().contains(QLatin1String(row.pair))) << row.pair;
    }
    EXPECT_EQ(StatusLine(), url);
    EXPECT_FALSE(sheet->Http()->findChild<QCheckBox*>("revealPassword")->isEnabled());
    EXPECT_EQ(pane->Settings().SendUserID + pane->Settings().SendPassword +
                  pane->Settings().SendStartPage,
              0);

    // Back on: the row is editable again and each keystroke shows in the status line.
    Click(Box(kHttp, 1113));
    QLineEdit* userId = Control<QLineEdit>(kHttp, 1118);
    EXPECT_TRUE(userId->isEnabled());
    QTest::mouseClick(userId, Qt::LeftButton);
    userId->end(false);
    QTest::keyClick(userId, Qt::Key_X);
    Settle();
    EXPECT_EQ(StatusLine(), url + "&UserID=joex");
    EXPECT_EQ(pane->Settings().UserIDQueryString, "joex");
}

TEST_F(SheetInFrame, FillingPostsNoTakeAndEachTabShowsItsQuickHelp) {
    // Values that differ from the pages' blank start, so that every fill changes the controls.
    Stored stored;
    stored.flags = QStringLiteral("0 1 1 1 1 1 1 1 1 1 0 1 1");
    stored.checkTime = 7;
    Store("Settings/HideOnStartup", 0);
    Store("Settings/PasswordQueryString", "s3cret");
    Store("Settings/AdditionalQueryString", "&x=1");
    Store("Settings/FTPReplacementString", "0.0.0.0");
    Store("Settings/FTPUserID", "web");
    Store("Settings/FTPPassword", "pw");
    Store("Settings/OffLineDomain", "offline.example.org");
    Start(stored);
    // Automatic forwarding was on: the start sent the address once.
    ASSERT_TRUE(WaitFor([&] { return host.Queries().size() == 1; }));
    const SettingsRecord loaded = pane->Settings();

    QGroupBox* group = PaneControl<QGroupBox>("ctl1126");
    QPlainTextEdit* box = PaneControl<QPlainTextEdit>("ctl1125");
    const auto expectHelp = [&](int stringId) {
        EXPECT_EQ(group->title(), "Quick Help");
        EXPECT_EQ(pane->OutputText(), LoadString(stringId));
        EXPECT_TRUE(box->toPlainText().startsWith(
            LoadString(stringId).section(QStringLiteral("\r\r\n"), 0, 0)))
            << box->toPlainText().left(60).toStdString();
    };
    for (int tab : {1, 2, 3, 0, 2, 1}) {
        // Output in the box first, as after "Test Internet".
        Click(PaneControl<QPushButton>("ctl1146"));
        ASSERT_NE(pane->OutputText(), LoadString(Text::GeneralHelp + sheet->currentIndex()));
        ClickTab(tab);
        expectHelp(123 + tab);
    }

    for (Command fill :
         {Command::GeneralFill, Command::HttpFill, Command::FtpFill, Command::LogFill}) {
        EXPECT_EQ(log.Count(fill), 1) << static_cast<int>(fill);
    }
    for (Command take :
         {Command::GeneralTake, Command::HttpTake, Command::FtpTake, Command::LogTake}) {
        EXPECT_EQ(log.Count(take), 0) << static_cast<int>(take);
    }
    EXPECT_FALSE(pane->Saver().IsPending());
    EXPECT_EQ(pane->Settings().FlagsText(), loaded.FlagsText());
    EXPECT_EQ(pane->Settings().CheckTime, 7);
    EXPECT_EQ(Control<QLineEdit>(kHttp, 1111)->text(), "&x=1");
    EXPECT_EQ(Control<QLineEdit>(kHttp, 1117)->text(), "s3cret");
    EXPECT_EQ(Control<MinutesBox>(kGeneral, 1129)->value(), 7);
    EXPECT_EQ(host.Queries().size(), 1);
}

TEST_F(SheetInFrame, AnEditReachesTheSettingsFileShortlyAfterTheLastKeystroke) {
    Start();
    QSignalSpy saved(&pane->Saver(), &SettingsSaver::Saved);
    ClickTab(kHttp);
    Retype(Control<QLineEdit>(kHttp, 1118), QStringLiteral("bob"));
    EXPECT_EQ(pane->Settings().UserIDQueryString, "bob");
    EXPECT_EQ(saved.count(), 0);  // not on every keystroke

    ASSERT_TRUE(WaitFor([&] { return saved.count() == 1; }, 5000));
    EXPECT_TRUE(saved.at(0).at(0).toBool());
    const QByteArray text = SettingsFileText();
    EXPECT_TRUE(text.contains("UserIDQueryString=bob\n")) << text.toStdString();
    EXPECT_TRUE(text.contains("EnableFlags=0 0 0 1 0 1 0 0 0 0 0 0 0\n")) << text.toStdString();
    EXPECT_FALSE(frame->IsShutDown());

    // A General change goes the same way; one write for the burst.
    ClickTab(kGeneral);
    Click(Box(kGeneral, 1134));
    ASSERT_TRUE(WaitFor([&] { return saved.count() == 2; }, 5000));
    RunEventsFor(200);
    EXPECT_EQ(saved.count(), 2);
    EXPECT_TRUE(SettingsFileText().contains("HideOnStartup=1\n"));
}

TEST_F(SheetInFrame, EveryTabFitsTheFrameAndIsPhotographed) {
    Start();
    ASSERT_EQ(frame->size(), QSize(MainWindow::kWidth, MainWindow::kHeight));
    const QDir dir(QStringLiteral(QV_TEST_OUTPUT_DIR));
    const char* const names[] = {"general", "http-target", "ftp-target",
                                 "logging", "dyndns",      "dns-target"};
    static_assert(std::size(names) == SettingsTabs::kTabCount);
    auto* group = PaneControl<QWidget>("ctl1126");
    auto* status = PaneControl<QWidget>("ctl1127");
    for (int tab = 0; tab < SettingsTabs::kTabCount; ++tab) {
        ClickTab(tab);
        // The sheet gets the room it asks for, beside the help box and above the status line.
        EXPECT_GE(sheet->width(), sheet->minimumSizeHint().width()) << names[tab];
        EXPECT_GE(sheet->height(), sheet->minimumSizeHint().height()) << names[tab];
        const QRect sheetRect(sheet->mapTo(pane, QPoint(0, 0)), sheet->size());
        EXPECT_TRUE(pane->rect().contains(sheetRect)) << names[tab];
        EXPECT_FALSE(sheetRect.intersects(group->geometry())) << names[tab];
        EXPECT_LE(sheetRect.bottom(), status->geometry().top()) << names[tab];
        EXPECT_TRUE(pane->rect().contains(status->geometry()));
        SettingsPage* page = sheet->Page(tab);
        for (QWidget* child : page->findChildren<QWidget*>()) {
            if (child->parentWidget() == page && child->isVisibleTo(page)) {
                EXPECT_TRUE(page->rect().contains(child->geometry()))
                    << names[tab] << ": " << child->objectName().toStdString();
            }
        }
        const QString path = dir.filePath(QStringLiteral("frame-%1.png").arg(names[tab]));
        ASSERT_TRUE(frame->grab().save(path)) << path.toStdString();
        std::cout << "screenshot: " << path.toStdString() << std::endl;
    }
}

}  // namespace
}  // namespace qv
