#include <gtest/gtest.h>

#include <QDir>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLayout>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QSplitter>
#include <QStatusBar>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "resources/StringTable.h"
#include "tests/views/settings/FakePane.h"
#include "views/settings/SettingsPage.h"

namespace qv::test {
namespace {

// The control pane's arrangement around the sheet: the sheet at the top-left, the quick-help box
// to its right, the status line below, all under the address list in an 825 x 540 frame.
struct MockFrame {
    QMainWindow window;
    FakePane pane;
    SettingsTabs* sheet = nullptr;
    QWidget* paneWidget = nullptr;

    MockFrame() {
        window.menuBar()->addMenu(QStringLiteral("&View"));
        window.menuBar()->addMenu(QStringLiteral("&Help"));
        window.statusBar()->showMessage(QStringLiteral("Ready"));
        auto* splitter = new QSplitter(Qt::Vertical, &window);
        auto* list = new QTreeWidget(splitter);
        list->setHeaderLabels({QStringLiteral("IP Address"), QStringLiteral("Interface")});
        paneWidget = new QWidget(splitter);
        sheet = new SettingsTabs(pane, paneWidget);
        pane.sheet = sheet;
        auto* help = new QGroupBox(LoadString(Text::QuickHelpCaption), paneWidget);
        auto* helpText = new QPlainTextEdit(help);
        helpText->setReadOnly(true);
        helpText->setPlainText(
            LoadString(Text::GeneralHelp).replace(QStringLiteral("\r\r\n"), QStringLiteral("\n")));
        (new QVBoxLayout(help))->addWidget(helpText);
        auto* top = new QHBoxLayout;
        top->addWidget(sheet, 0, Qt::AlignTop | Qt::AlignLeft);
        top->addWidget(help, 1);
        auto* column = new QVBoxLayout(paneWidget);
        column->setContentsMargins(0, 0, 0, 4);
        column->addLayout(top, 1);
        auto* status = new QLineEdit(paneWidget);
        status->setReadOnly(true);
        column->addWidget(status);
        splitter->setSizes({150, 10000});
        splitter->setStretchFactor(1, 1);
        window.setCentralWidget(splitter);
        window.resize(825, 540);
    }
};

// Every control of the page lies inside the page (nothing cut off) and the page's layout gets
// at least the room it asks for.
void ExpectPageFits(SettingsPage* page, const char* name) {
    const QSize size = page->size();
    QLayout* layout = page->layout();
    EXPECT_LE(layout->minimumSize().width(), size.width()) << name;
    if (layout->hasHeightForWidth()) {
        EXPECT_LE(layout->minimumHeightForWidth(size.width()), size.height()) << name;
    } else {
        EXPECT_LE(layout->minimumSize().height(), size.height()) << name;
    }
    for (QWidget* child : page->findChildren<QWidget*>()) {
        if (!child->isVisibleTo(page) || child->parentWidget() != page) {
            continue;
        }
        EXPECT_TRUE(page->rect().contains(child->geometry()))
            << name << ": " << child->metaObject()->className() << " "
            << child->objectName().toStdString() << " at " << child->geometry().x() << ","
            << child->geometry().y() << " " << child->width() << "x" << child->height();
    }
}

TEST(SheetLayout, EveryTabFitsBesideTheHelpBoxAndScreenshotsAreSaved) {
    EnsureApplication();
    MockFrame frame;
    frame.window.show();
    Drain();

    const QString dir = QCoreApplication::applicationDirPath() + QStringLiteral("/screenshots");
    QDir().mkpath(dir);
    const char* const names[] = {"general", "http-target", "ftp-target",
                                 "logging", "dynamic-dns", "dns-target"};
    for (int tab = 0; tab < SettingsTabs::kTabCount; ++tab) {
        frame.sheet->setCurrentIndex(tab);
        Drain();
        // The pane never squeezes the sheet below what it asks for.
        EXPECT_GE(frame.sheet->width(), frame.sheet->minimumSizeHint().width());
        EXPECT_GE(frame.sheet->height(), frame.sheet->minimumSizeHint().height());
        EXPECT_TRUE(frame.paneWidget->rect().contains(frame.sheet->geometry()));
        ExpectPageFits(frame.sheet->Page(tab), names[tab]);
        frame.window.grab().save(dir +
                                 QStringLiteral("/frame-%1.png").arg(QLatin1String(names[tab])));
        frame.sheet->grab().save(dir +
                                 QStringLiteral("/sheet-%1.png").arg(QLatin1String(names[tab])));
    }
    // Room for a quick-help box of a useful width.
    EXPECT_GE(frame.window.width() - frame.sheet->width(), 250);
}

TEST(SheetLayout, PagesGrowWithTheFont) {
    EnsureApplication();
    for (int points : {8, 11, 14}) {
        FakePane pane;
        SettingsTabs sheet(pane);
        pane.sheet = &sheet;
        QFont font = sheet.font();
        font.setPointSize(points);
        sheet.setFont(font);
        for (int tab = 0; tab < SettingsTabs::kTabCount; ++tab) {
            sheet.setCurrentIndex(tab);
        }
        sheet.resize(sheet.minimumSizeHint());
        sheet.show();
        Drain();
        for (int tab = 0; tab < SettingsTabs::kTabCount; ++tab) {
            sheet.setCurrentIndex(tab);
            Drain();
            ExpectPageFits(sheet.Page(tab),
                           qPrintable(QStringLiteral("%1 pt tab %2").arg(points).arg(tab)));
        }
    }
}

}  // namespace
}  // namespace qv::test
