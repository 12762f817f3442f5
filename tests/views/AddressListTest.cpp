#include <gtest/gtest.h>

#include <QAction>
#include <QHeaderView>
#include <QSettings>
#include <QTest>

#include "ViewsTestSupport.h"
#include "resources/Ids.h"
#include "settings/SettingsRecord.h"
#include "views/AddressListView.h"
#include "views/ColumnLayout.h"

namespace qv {
namespace {

constexpr int kHostName = 5;
constexpr int kCmdHostName = 32777;

TEST(ColumnLayout, StoredStringsAreRepaired) {
    ColumnLayout layout;
    layout.Parse("1 1 1 1 1 0 1 1 1 1 1", "0 1 2 3 4 5 6 7 8 9 11",
                 "0 1500 1 1000 100 100 100 100 100 100 100");
    EXPECT_EQ(layout.OrderText(), "0 1 2 3 4 5 6 7 8 9 10");
    EXPECT_EQ(layout.WidthsText(), "100 100 1 1000 100 100 100 100 100 100 100");
    EXPECT_EQ(layout.VisibilityText(), "1 1 1 1 1 0 1 1 1 1 1");

    // Short, empty and broken strings keep the values they do not give.
    ColumnLayout partial;
    partial.Parse("0 0 x 0", "", "50 60");
    EXPECT_EQ(partial.VisibilityText(), "1 0 1 1 1 1 1 1 1 1 1");  // column 0 is always shown
    EXPECT_EQ(partial.OrderText(), "0 1 2 3 4 5 6 7 8 9 10");
    EXPECT_EQ(partial.WidthsText(), "50 60 100 100 100 100 100 100 100 100 100");

    // An order that repeats or skips a column cannot be applied: back to column order.
    ColumnLayout repeated;
    repeated.Parse("", "1 1 2 3 4 5 6 7 8 9 10", "");
    EXPECT_EQ(repeated.OrderText(), "0 1 2 3 4 5 6 7 8 9 10");
    repeated.Parse("", "10 9 8 7 6 5 4 3 2 1 0", "");
    EXPECT_EQ(repeated.OrderText(), "10 9 8 7 6 5 4 3 2 1 0");
    repeated.Parse("", "-1 9 8 7 6 5 4 3 2 1 0", "");
    EXPECT_EQ(repeated.OrderText(), "0 1 2 3 4 5 6 7 8 9 10");
}

class AddressListTest : public ::testing::Test {
  protected:
    void SetUp() override {
        test::RemoveSettingsFile();
        for (int r = 0; r < 3; ++r) {
            QStringList row;
            for (int c = 0; c < kListColumns; ++c) {
                row << QStringLiteral("r%1c%2").arg(r).arg(c);
            }
            doc.rows.push_back(row);
        }
    }
    std::unique_ptr<AddressListView> NewView() {
        auto view = std::make_unique<AddressListView>();
        view->SetDocument(&doc);
        view->resize(800, 200);
        view->OnInitialUpdate();
        view->show();
        return view;
    }
    static QAction* Action(AddressListView& view, int command) {
        for (QAction* a : view.ColumnActions()) {
            if (a->data().toInt() == command) {
                return a;
            }
        }
        return nullptr;
    }
    static bool Ticked(AddressListView& view, int row) {
        return view.model()->index(row, 0).data(Qt::CheckStateRole).toInt() == Qt::Checked;
    }
    static void ClickRow(AddressListView& view, int row, int column = 3) {
        const QRect cell = view.visualRect(view.model()->index(row, column));
        QTest::mouseClick(view.viewport(), Qt::LeftButton, {}, cell.center());
    }

    test::FakeDoc doc;
};

TEST_F(AddressListTest, FirstStartShowsEveryColumnAtOneHundredPixels) {
    auto view = NewView();
    for (int c = 0; c < kListColumns; ++c) {
        EXPECT_FALSE(view->isColumnHidden(c));
        EXPECT_EQ(view->columnWidth(c), 100);
        EXPECT_EQ(view->horizontalHeader()->visualIndex(c), c);
    }
    EXPECT_EQ(view->ColumnActions().size(), 10);
    for (QAction* a : view->ColumnActions()) {
        EXPECT_TRUE(a->isChecked());
        EXPECT_TRUE(a->statusTip().startsWith("Toggle view of"));
    }
    EXPECT_EQ(view->model()->headerData(0, Qt::Horizontal).toString(), "NIC IP Address");
    EXPECT_EQ(view->model()->headerData(10, Qt::Horizontal).toString(), "Diagnostic Information");
}

TEST_F(AddressListTest, LayoutSurvivesARestartAndHiddenColumnsComeBackInPlace) {
    {
        auto view = NewView();
        view->horizontalHeader()->moveSection(7, 1);  // Gateway MAC Address second
        view->setColumnWidth(3, 240);
        view->setColumnWidth(kHostName, 170);
        Action(*view, kCmdHostName)->trigger();
        EXPECT_TRUE(view->isColumnHidden(kHostName));
        view->OnDestroy();
    }
    auto st = OpenSettings();
    EXPECT_EQ(st->value("Settings/ColumnVisibility").toString(), "1 1 1 1 1 0 1 1 1 1 1");
    EXPECT_EQ(st->value("Settings/ColumnOrder").toString(), "0 7 1 2 3 4 5 6 8 9 10");
    EXPECT_EQ(st->value("Settings/ColumnWidths").toString(),
              "100 100 100 240 100 170 100 100 100 100 100");

    auto view = NewView();
    EXPECT_TRUE(view->isColumnHidden(kHostName));
    EXPECT_FALSE(Action(*view, kCmdHostName)->isChecked());
    EXPECT_EQ(view->horizontalHeader()->visualIndex(7), 1);
    EXPECT_EQ(view->columnWidth(3), 240);

    // Shown again, Host Name returns to its own place with its own width.
    Action(*view, kCmdHostName)->trigger();
    EXPECT_FALSE(view->isColumnHidden(kHostName));
    EXPECT_TRUE(Action(*view, kCmdHostName)->isChecked());
    EXPECT_EQ(view->columnWidth(kHostName), 170);
    EXPECT_EQ(view->horizontalHeader()->visualIndex(kHostName), 6);
    EXPECT_EQ(view->horizontalHeader()->visualIndex(7), 1);

    // A wider list shares its width among the columns in proportion to their own widths, which
    // they have back in a narrower one and which are what is stored.
    const auto shownWidth = [&] {
        int sum = 0;
        for (int c = 0; c < kListColumns; ++c) {
            sum += view->columnWidth(c);
        }
        return sum;
    };
    view->resize(2000, 200);
    ASSERT_TRUE(test::WaitFor([&] { return shownWidth() == view->viewport()->width(); }));
    EXPECT_NEAR(view->columnWidth(3), 2.4 * view->columnWidth(0), 2);
    view->resize(800, 200);
    ASSERT_TRUE(test::WaitFor([&] { return view->columnWidth(3) == 240; }));
    EXPECT_EQ(view->columnWidth(0), 100);
    view->OnDestroy();
    EXPECT_EQ(OpenSettings()->value("Settings/ColumnWidths").toString(),
              "100 100 100 240 100 170 100 100 100 100 100");
}

TEST_F(AddressListTest, StoredLayoutRepairsApplyOnLoad) {
    {
        auto st = OpenSettings();
        st->setValue("Settings/ColumnWidths", "0 1500 abc");
        st->setValue("Settings/ColumnOrder", "0 1 2 3 4 5 6 7 8 9 11");
        st->setValue("Settings/ColumnVisibility", "0 0");
    }
    auto view = NewView();
    EXPECT_EQ(view->columnWidth(0), 100);
    EXPECT_EQ(view->Layout().width[1], 100);  // hidden, kept for when it is shown
    EXPECT_EQ(view->horizontalHeader()->visualIndex(10), 10);
    EXPECT_FALSE(view->isColumnHidden(0));
    EXPECT_TRUE(view->isColumnHidden(1));
    EXPECT_FALSE(view->isColumnHidden(2));
}

TEST_F(AddressListTest, RefillTicksTheDocumentsSelection) {
    auto view = NewView();
    doc.selected = 1;
    view->RefillList();
    ASSERT_EQ(view->model()->rowCount(), 3);
    EXPECT_EQ(view->model()->index(2, 4).data().toString(), "r2c4");
    EXPECT_TRUE(Ticked(*view, 1));
    EXPECT_FALSE(Ticked(*view, 0));
    EXPECT_EQ(view->CheckedItem(), 1);

    doc.selected = -1;
    doc.rows.pop_back();
    view->RefillList();
    EXPECT_EQ(view->model()->rowCount(), 2);
    EXPECT_EQ(view->CheckedItem(), -1);
    EXPECT_FALSE(Ticked(*view, 0));
    EXPECT_FALSE(Ticked(*view, 1));
    EXPECT_TRUE(doc.selectCalls.empty());
}

TEST_F(AddressListTest, AClickMovesTheTickAndSelectsTheRow) {
    auto view = NewView();
    doc.selected = 0;
    view->RefillList();

    ClickRow(*view, 2);
    EXPECT_EQ(doc.selectCalls, std::vector<int>{2});
    EXPECT_TRUE(Ticked(*view, 2));
    EXPECT_FALSE(Ticked(*view, 0));
    view->RefillList();  // the lines shown again keep the selected one
    EXPECT_TRUE(view->selectionModel()->isRowSelected(2, {}));

    // The ticked line again, or the empty area below the lines: nothing changes.
    ClickRow(*view, 2);
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, QPoint(50, 190));
    EXPECT_EQ(doc.selectCalls, std::vector<int>{2});
    EXPECT_TRUE(Ticked(*view, 2));
}

TEST_F(AddressListTest, CheckBoxesAndTheSpaceBarFollowTheSameRule) {
    auto view = NewView();
    doc.selected = 0;
    view->RefillList();

    // Clicking the box of the ticked line does not take the tick away.
    const QRect box = view->visualRect(view->model()->index(0, 0));
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {},
                      QPoint(box.left() + 8, box.center().y()));
    EXPECT_TRUE(Ticked(*view, 0));
    EXPECT_TRUE(doc.selectCalls.empty());

    // Ticking another line's box selects that line, once.
    view->model()->setData(view->model()->index(1, 0), Qt::Checked, Qt::CheckStateRole);
    EXPECT_EQ(doc.selectCalls, std::vector<int>{1});
    EXPECT_FALSE(Ticked(*view, 0));

    // The space bar ticks the current line.
    view->setFocus();
    view->setCurrentIndex(view->model()->index(2, 3));
    QTest::keyClick(view.get(), Qt::Key_Space);
    EXPECT_EQ(doc.selectCalls, (std::vector<int>{1, 2}));
    EXPECT_TRUE(Ticked(*view, 2));
    EXPECT_FALSE(Ticked(*view, 1));
    QTest::keyClick(view.get(), Qt::Key_Space);
    EXPECT_EQ(doc.selectCalls.size(), 2u);
    EXPECT_TRUE(Ticked(*view, 2));
}

}  // namespace
}  // namespace qv
