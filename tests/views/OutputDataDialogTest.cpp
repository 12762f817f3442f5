#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

#include "forwarding/LongLines.h"
#include "views/OutputDataDialog.h"

namespace qv {
namespace {

class WidgetsEnvironment : public ::testing::Environment {
  public:
    void SetUp() override {
        static int argc = 1;
        static char name[] = "output_data_tests";
        static char* argv[] = {name, nullptr};
        m_app = std::make_unique<QApplication>(argc, argv);
    }
    void TearDown() override { m_app.reset(); }

  private:
    std::unique_ptr<QApplication> m_app;
};

::testing::Environment* const g_widgets =
    ::testing::AddGlobalTestEnvironment(new WidgetsEnvironment);

class OutputDataDialogTest : public ::testing::Test {
  protected:
    QVariant Stored() { return settings.value("Settings/OutputAutoClose"); }

    QTemporaryDir dir;
    QSettings settings{dir.path() + "/Quorvane.conf", QSettings::IniFormat};
};

QCheckBox* Box(OutputDataDialog& dlg) {
    return dlg.findChild<QCheckBox*>();
}

QPushButton* OkButton(OutputDataDialog& dlg) {
    return dlg.findChild<QPushButton*>();
}

TEST_F(OutputDataDialogTest, FirstUseClosesByItselfAndStoresTheChoice) {
    OutputDataDialog dlg(nullptr, "Quorvane - HTTP Communications Response", &settings);
    dlg.SetAutoClosePeriod(50);
    dlg.m_outputText = "OK\r\r\n\r\r\nSaved";
    bool checkedWhenShown = false;
    QString shown;
    QMetaObject::invokeMethod(
        &dlg,
        [&] {
            checkedWhenShown = Box(dlg)->isChecked() && dlg.IsAutoCloseArmed();
            shown = dlg.findChild<QPlainTextEdit*>()->toPlainText();
        },
        Qt::QueuedConnection);
    EXPECT_EQ(dlg.exec(), QDialog::Accepted);  // returns when the timer has closed it
    EXPECT_TRUE(checkedWhenShown);
    EXPECT_EQ(shown, "OK\n\nSaved");
    EXPECT_EQ(dlg.windowTitle(), "Quorvane - HTTP Communications Response");
    EXPECT_EQ(Stored().toInt(), 1);
}

TEST_F(OutputDataDialogTest, ClearingTheBoxAndOkStoresZeroAndTheNextShowingStaysOpen) {
    {
        OutputDataDialog dlg(nullptr, QString(), &settings);
        dlg.SetAutoClosePeriod(50);
        dlg.show();
        EXPECT_EQ(dlg.windowTitle(), "Output Data");
        QTest::mouseClick(Box(dlg), Qt::LeftButton);
        EXPECT_FALSE(dlg.IsAutoCloseArmed());
        QTest::mouseClick(OkButton(dlg), Qt::LeftButton);
        EXPECT_EQ(dlg.result(), QDialog::Accepted);
        EXPECT_EQ(Stored().toInt(), 0);
    }
    OutputDataDialog next(nullptr, QString(), &settings);
    next.show();
    EXPECT_FALSE(Box(next)->isChecked());
    EXPECT_FALSE(next.IsAutoCloseArmed());
}

TEST_F(OutputDataDialogTest, TickingAgainRestartsTheFullPeriod) {
    OutputDataDialog dlg(nullptr, QString(), &settings);
    dlg.SetAutoClosePeriod(60000);
    dlg.show();
    ASSERT_TRUE(dlg.IsAutoCloseArmed());
    QTest::mouseClick(Box(dlg), Qt::LeftButton);
    EXPECT_FALSE(dlg.IsAutoCloseArmed());
    dlg.SetAutoClosePeriod(50);
    QTest::mouseClick(Box(dlg), Qt::LeftButton);
    EXPECT_TRUE(dlg.IsAutoCloseArmed());
    // The new period counts from the tick: the dialog now closes by itself.
    QTRY_VERIFY_WITH_TIMEOUT(!dlg.isVisible(), 5000);
    EXPECT_EQ(dlg.result(), QDialog::Accepted);
}

TEST(LongLines, BrokenAtABlankWhereThereIsOneElseAtTheLength) {
    EXPECT_EQ(BreakLongLines("short\nlines", 6), "short\nlines");
    EXPECT_EQ(BreakLongLines("abcd efgh ijk\nxy", 6), "abcd \nefgh \nijk\nxy");
    EXPECT_EQ(BreakLongLines("abcdefghijklm", 5), "abcde\nfghij\nklm");
    // A character outside the basic plane stays whole.
    const QString wide = QString::fromUtf8("abcd\xF0\x9F\x8C\x8D");
    EXPECT_EQ(BreakLongLines(wide, 5), QString::fromUtf8("abcd\n\xF0\x9F\x8C\x8D"));
}

// A reply of the full 1 MiB cap on one line, with no blank in it, is shown in pieces; the timing
// is in bench/long_line_bench.cpp.
TEST_F(OutputDataDialogTest, AOneMebibyteReplyOnOneLineIsShown) {
    QString reply(1 << 20, QLatin1Char('x'));
    OutputDataDialog dlg(nullptr, QString(), &settings);
    dlg.SetAutoClosePeriod(10);
    dlg.m_outputText = reply;
    EXPECT_EQ(dlg.exec(), QDialog::Accepted);
    const QString shown = dlg.findChild<QPlainTextEdit*>()->toPlainText();
    EXPECT_EQ(QString(shown).remove(QLatin1Char('\n')), reply);
    EXPECT_EQ(shown.indexOf(QLatin1Char('\n')), kLongLineMax);
}

// An unreadable value reads as the default (on); Escape leaves it as it was.
TEST_F(OutputDataDialogTest, EscapeLeavesTheStoredChoiceAlone) {
    settings.setValue("Settings/OutputAutoClose", "yes");
    OutputDataDialog dlg(nullptr, QString(), &settings);
    dlg.show();
    EXPECT_TRUE(Box(dlg)->isChecked());
    QTest::mouseClick(Box(dlg), Qt::LeftButton);
    QTest::keyClick(&dlg, Qt::Key_Escape);
    EXPECT_EQ(dlg.result(), QDialog::Rejected);
    EXPECT_EQ(Stored().toString(), "yes");
}

}  // namespace
}  // namespace qv
