// The viewer configuration: what the dialog shows on opening, the list
// behaviours, and what closing it stores and hands to the grid.

#include <QCheckBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTableView>
#include <QTableWidget>
#include <QtTest>

#include "AppPaths.h"
#include "AppearanceTestSupport.h"
#include "ItemGridModel.h"
#include "ViewerConfigDialog.h"
#include "ViewerRules.h"

using appearance::ViewerConfigDialog;
using appearance::ViewerRules;
using common::AppSettings;
using common::ScriptedUiServices;

namespace {

QStringList OrderRows(const ViewerConfigDialog& dialog) {
    QStringList rows;
    for (int k = 0; k < dialog.OrderList->count(); ++k) rows << dialog.OrderList->item(k)->text();
    return rows;
}

QStringList GridTitles(shell::MainWindow& main) {
    QStringList titles;
    auto* model = main.GridModel();
    for (int c = 0; c < model->columnCount(); ++c) titles << model->headerData(c, Qt::Horizontal, Qt::DisplayRole).toString();
    return titles;
}

}  // namespace

class ViewConfigTest : public QObject {
    Q_OBJECT

    appearance_test::MainWindowFixture m_fixture;
    shell::MainWindow& Main() { return m_fixture.Main(); }

private slots:
    void initTestCase() { m_fixture.Start(); }
    void init() { m_fixture.Reset(); }
    void cleanupTestCase() { m_fixture.Finish(); }

    void widthRule_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<int>("stored");
        QTest::newRow("zero becomes 10") << "0" << 10;
        QTest::newRow("300 becomes 10") << "300" << 10;
        QTest::newRow("256 becomes 10") << "256" << 10;
        QTest::newRow("255 is kept") << "255" << 255;
        QTest::newRow("a word becomes 10") << "wide" << 10;
        QTest::newRow("empty becomes 10") << "" << 10;
        QTest::newRow("negative becomes 10") << "-5" << 10;
        QTest::newRow("blanks around are ignored") << "  25  " << 25;
        QTest::newRow("leading digits count") << "12abc" << 12;
        QTest::newRow("one is kept") << "1" << 1;
    }
    void widthRule() {
        QFETCH(QString, typed);
        QFETCH(int, stored);
        QCOMPARE(ViewerRules::ReadWidth(typed), stored);

        {
            ViewerConfigDialog dialog(Main());
            dialog.WidthGrid->item(8, 1)->setText(typed);  // Quantity
            dialog.StoreOnClose();
            QCOMPARE(AppSettings().Field(9).width, stored);
        }
        // Opened again, the dialog shows what was stored.
        ViewerConfigDialog again(Main());
        QCOMPARE(again.WidthGrid->item(8, 1)->text(), QString::number(stored));
    }

    void titleRule_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("stored");
        QTest::newRow("short title kept") << "Thing" << "Thing";
        QTest::newRow("exactly 20 kept") << "12345678901234567890" << "12345678901234567890";
        QTest::newRow("longer cut to 20") << "A very long title for the item field" << "A very long title fo";
    }
    void titleRule() {
        QFETCH(QString, typed);
        QFETCH(QString, stored);
        ViewerConfigDialog dialog(Main());
        dialog.NameGrid->item(0, 1)->setText(typed);
        dialog.StoreOnClose();
        QCOMPARE(AppSettings().Field(1).title, stored);
        QCOMPARE(AppSettings().Field(1).order, 1);  // renaming does not move the field
        QCOMPARE(GridTitles(Main()).value(0), stored);
    }

    void openingShowsTheSettings() {
        common::Settings& s = AppSettings();
        s.Field(2).display = false;
        s.Field(3).width = 33;
        s.Field(4).title = "Serial No";
        s.Field(1).order = 2;
        s.Field(2).order = 1;
        s.gridTitleAlignment = 3;
        s.gridShowTitles = false;
        s.gridFieldEditing = true;
        s.gridRowLines = false;
        ViewerConfigDialog dialog(Main());
        QCOMPARE(dialog.windowTitle(), QString("Viewer Configuration"));
        const QStringList tabs = {"&Title", "&Look and Feel", "Fields to &Show", "Field &Widths", "Field &Order",
                                  "Field &Names"};
        for (int i = 0; i < tabs.size(); ++i) QCOMPARE(dialog.Notebook->tabText(i), tabs[i]);
        QCOMPARE(dialog.ShowGrid->rowCount(), 22);
        QCOMPARE(dialog.ShowGrid->horizontalHeaderItem(0)->text(), QString("FIELD"));
        QCOMPARE(dialog.ShowGrid->horizontalHeaderItem(1)->text(), QString("DISPLAY IT"));
        QCOMPARE(dialog.WidthGrid->horizontalHeaderItem(1)->text(), QString("WIDTH"));
        QCOMPARE(dialog.NameGrid->horizontalHeaderItem(1)->text(), QString("NAME TO USE"));
        QCOMPARE(dialog.ShowGrid->item(1, 1)->text(), QString("No"));
        QCOMPARE(dialog.ShowGrid->item(0, 1)->text(), QString("Yes"));
        QCOMPARE(dialog.WidthGrid->item(2, 1)->text(), QString("33"));
        QCOMPARE(dialog.NameGrid->item(3, 0)->text(), QString("Serial"));
        QCOMPARE(dialog.NameGrid->item(3, 1)->text(), QString("Serial No"));
        QCOMPARE(dialog.NameGrid->item(5, 0)->text(), QString("Descriptio"));
        QCOMPARE(OrderRows(dialog).mid(0, 3), (QStringList{"Brand", "Item", "Model"}));
        QVERIFY(dialog.AlignmentRadios[2]->isChecked());
        QVERIFY(!dialog.ShowTitlesCheck->isChecked());
        QVERIFY(dialog.FieldEditingCheck->isChecked());
        QVERIFY(!dialog.RowLinesCheck->isChecked());
        QVERIFY(dialog.ColumnLinesCheck->isChecked());
        QCOMPARE(dialog.TitleFontEdit->text(), QString("12pt Arial"));
        QCOMPARE(dialog.CellFontEdit->text(), QString("10pt Arial"));
    }

    void doubleClickTogglesDisplay_data() {
        QTest::addColumn<QString>("before");
        QTest::addColumn<int>("column");
        QTest::addColumn<QString>("after");
        QTest::newRow("Yes becomes No") << "Yes" << 1 << "No";
        QTest::newRow("No becomes Yes") << "No" << 1 << "Yes";
        QTest::newRow("anything else becomes Yes") << "maybe" << 1 << "Yes";
        QTest::newRow("title column does nothing") << "Yes" << 0 << "Yes";
    }
    void doubleClickTogglesDisplay() {
        QFETCH(QString, before);
        QFETCH(int, column);
        QFETCH(QString, after);
        ViewerConfigDialog dialog(Main());
        dialog.ShowGrid->item(4, 1)->setText(before);
        dialog.ToggleFieldShown(4, column);
        QCOMPARE(dialog.ShowGrid->item(4, 1)->text(), after);
    }

    void hidingEveryFieldLeavesNoColumnsButTheRecords() {
        m_fixture.AddItem("Lamp");
        m_fixture.AddItem("Chair");
        QCOMPARE(Main().GridModel()->columnCount(), 22);
        ViewerConfigDialog dialog(Main());
        for (int row = 0; row < 22; ++row) dialog.ToggleFieldShown(row, 1);
        dialog.StoreOnClose();
        QCOMPARE(Main().GridModel()->columnCount(), 0);
        QCOMPARE(Main().GridModel()->rowCount(), 2);
        QCOMPARE(Main().ItemTable().RecordCount(), 2u);
        for (int p = 1; p <= 22; ++p) QVERIFY(!AppSettings().Field(p).display);

        ViewerConfigDialog again(Main());
        again.ToggleFieldShown(6, 1);  // Purchased From back
        again.StoreOnClose();
        QCOMPARE(GridTitles(Main()), QStringList{"Purchased From"});
    }

    void orderListRoundTrip() {
        ViewerConfigDialog dialog(Main());
        dialog.OrderList->setCurrentRow(0);
        dialog.MoveFieldDown();  // Item to the second row
        QCOMPARE(dialog.OrderList->currentRow(), 1);
        dialog.MoveFieldDown();  // and the third
        dialog.OrderList->setCurrentRow(21);
        dialog.MoveFieldDown();  // nothing below the last row
        QCOMPARE(dialog.OrderList->currentRow(), 21);
        dialog.MoveFieldUp();
        QCOMPARE(dialog.OrderList->currentRow(), 20);
        dialog.OrderList->setCurrentRow(0);
        dialog.MoveFieldUp();  // nothing above the first row
        QCOMPARE(dialog.OrderList->currentRow(), 0);
        const QStringList shown = OrderRows(dialog);
        QCOMPARE(shown.mid(0, 3), (QStringList{"Brand", "Model", "Item"}));
        QCOMPARE(shown.mid(20, 2), (QStringList{"User Defined 4", "User Defined 3"}));
        dialog.StoreOnClose();

        QCOMPARE(AppSettings().Field(1).order, 3);
        QCOMPARE(AppSettings().Field(2).order, 1);
        QCOMPARE(AppSettings().Field(3).order, 2);
        QCOMPARE(AppSettings().Field(21).order, 22);
        QCOMPARE(AppSettings().Field(22).order, 21);
        QCOMPARE(GridTitles(Main()).mid(0, 3), (QStringList{"Brand", "Model", "Item"}));

        ViewerConfigDialog again(Main());
        QCOMPARE(OrderRows(again), shown);
    }

    void defaultsAsksBeforeReordering_data() {
        QTest::addColumn<int>("answer");
        QTest::addColumn<bool>("restored");
        QTest::newRow("yes restores schema order") << int(common::Answer::Yes) << true;
        QTest::newRow("no keeps the order") << int(common::Answer::No) << false;
    }
    void defaultsAsksBeforeReordering() {
        QFETCH(int, answer);
        QFETCH(bool, restored);
        for (int p = 1; p <= 22; ++p) AppSettings().Field(p).order = 23 - p;  // reversed
        ScriptedUiServices ui;
        ui.ExpectAsk("Re-Order", "This will set the order of fields to the program defaults.  Continue?",
                     common::Answer(answer));
        ViewerConfigDialog dialog(Main());
        QCOMPARE(OrderRows(dialog).first(), QString("User Defined 4"));
        dialog.RestoreDefaultOrder();
        dialog.StoreOnClose();
        HALVENOR_VERIFY_UI(ui);
        QCOMPARE(OrderRows(dialog).first(), restored ? QString("Item") : QString("User Defined 4"));
        QCOMPARE(AppSettings().Field(1).order, restored ? 1 : 22);
    }

    void titleInNoRowKeepsItsPosition() {
        AppSettings().Field(5).order = 7;  // Location at 7, Bought From at 5
        AppSettings().Field(7).order = 5;
        ViewerConfigDialog dialog(Main());
        dialog.OrderList->item(6)->setText("Nothing like it");  // Location's row
        dialog.OrderList->setCurrentRow(0);
        dialog.MoveFieldDown();
        dialog.StoreOnClose();
        QCOMPARE(AppSettings().Field(5).order, 7);
        QCOMPARE(AppSettings().Field(7).order, 5);
        QCOMPARE(AppSettings().Field(1).order, 2);
        QCOMPARE(AppSettings().Field(2).order, 1);
    }

    // A field renamed and moved in one visit must land where it was moved,
    // not stay behind on a position another field now holds.
    void renamedAndMovedFieldKeepsEveryColumn() {
        ViewerConfigDialog dialog(Main());
        dialog.NameGrid->item(0, 1)->setText("Thing");
        QCOMPARE(dialog.OrderList->item(0)->text(), QString("Thing"));
        QCOMPARE(dialog.ShowGrid->item(0, 0)->text(), QString("Thing"));
        dialog.OrderList->setCurrentRow(0);
        dialog.MoveFieldDown();
        dialog.StoreOnClose();
        QCOMPARE(AppSettings().Field(1).order, 2);
        QCOMPARE(AppSettings().Field(2).order, 1);
        QCOMPARE(GridTitles(Main()).mid(0, 3), (QStringList{"Brand", "Thing", "Model"}));
        QCOMPARE(Main().GridModel()->columnCount(), 22);
    }

    // Two fields under one title must still get a position each.
    void equalTitlesKeepEveryColumn() {
        ViewerConfigDialog dialog(Main());
        dialog.NameGrid->item(18, 1)->setText("Notes");
        dialog.NameGrid->item(19, 1)->setText("Notes");
        dialog.StoreOnClose();
        QCOMPARE(AppSettings().Field(19).order, 19);
        QCOMPARE(AppSettings().Field(20).order, 20);
        QCOMPARE(Main().GridModel()->columnCount(), 22);
        QCOMPARE(Main().GridModel()->Columns(), [] {
            std::vector<int> all;
            for (int p = 1; p <= 22; ++p) all.push_back(p);
            return all;
        }());
    }

    void helpFollowsThePage_data() {
        QTest::addColumn<int>("page");
        QTest::addColumn<QString>("keyword");
        QTest::newRow("title") << 0 << "Viewer Configuration Title";
        QTest::newRow("look and feel") << 1 << "Viewer Configuration Look";
        QTest::newRow("show") << 2 << "Viewer Configuration Show";
        QTest::newRow("widths") << 3 << "Viewer Configuration Widths";
        QTest::newRow("order") << 4 << "Viewer Configuration Order";
        QTest::newRow("names") << 5 << "Viewer Configuration Names";
    }
    void helpFollowsThePage() {
        QFETCH(int, page);
        QFETCH(QString, keyword);
        ScriptedUiServices ui;
        ui.ExpectHelp(keyword);
        ViewerConfigDialog dialog(Main());
        dialog.Notebook->setCurrentIndex(page);
        dialog.ShowHelp();
        HALVENOR_VERIFY_UI(ui);
    }

    // Everything the user set in the dialog, shown through the main window's
    // command, is what the settings file holds afterwards.
    void settingsWrittenAtCloseMatchTheDialog() {
        ScriptedUiServices ui;
        QFont titleFont("Courier New", 14);
        titleFont.setBold(true);
        QFont cellFont("Times New Roman", 9);
        cellFont.setItalic(true);
        QStringList shownWidths, shownNames, shownDisplay, shownOrder;
        ui.ExpectModal("Viewer Configuration", [&](QDialog& d) {
            auto& dialog = static_cast<ViewerConfigDialog&>(d);
            QVERIFY(dialog.isVisible());
            dialog.AlignmentRadios[0]->click();
            dialog.ShowTitlesCheck->setChecked(false);
            dialog.ColumnLinesCheck->setChecked(false);
            dialog.RowIndicatorCheck->setChecked(false);
            dialog.FieldEditingCheck->setChecked(true);
            dialog.ChooseTitleColor();
            dialog.ChooseCellColor();
            dialog.ChooseTitleFont();
            dialog.ChooseCellFont();
            QCOMPARE(dialog.TitleFontEdit->text(), QString("14pt Courier New"));
            QCOMPARE(dialog.CellFontEdit->text(), QString("9pt Times New Roman"));
            dialog.ToggleFieldShown(3, 1);
            dialog.WidthGrid->item(0, 1)->setText("30");
            dialog.WidthGrid->item(1, 1)->setText("999");
            dialog.NameGrid->item(10, 1)->setText("Price Paid");
            dialog.OrderList->setCurrentRow(10);
            dialog.MoveFieldUp();
            QTest::mouseClick(dialog.ExitButton, Qt::LeftButton);
            for (int row = 0; row < 22; ++row) {
                shownDisplay << dialog.ShowGrid->item(row, 1)->text();
                shownWidths << dialog.WidthGrid->item(row, 1)->text();
                shownNames << dialog.NameGrid->item(row, 1)->text();
            }
            shownOrder = OrderRows(dialog);
        });
        ui.ExpectChooseColor(QColor(10, 20, 30));
        ui.ExpectChooseColor(QColor(200, 210, 220));
        ui.ExpectChooseFont(common::FontChoice{titleFont, QColor(0, 0, 128)});
        ui.ExpectChooseFont(common::FontChoice{cellFont, QColor(128, 0, 0)});
        Main().DoViewer();
        HALVENOR_VERIFY_UI(ui);
        QCOMPARE(shownWidths[1], QString("10"));  // the list shows the replacement too

        QVERIFY(common::SaveAppSettings());
        common::Settings file;
        file.Load(common::AppPaths::SettingsFile());
        QCOMPARE(file.gridTitleAlignment, 1);
        QCOMPARE(file.gridShowTitles, false);
        QCOMPARE(file.gridColumnLines, false);
        QCOMPARE(file.gridRowLines, true);
        QCOMPARE(file.gridRowIndicator, false);
        QCOMPARE(file.gridFieldEditing, true);
        QCOMPARE(file.gridTitleBackground, QColor(10, 20, 30));
        QCOMPARE(file.gridCellColor, QColor(200, 210, 220));
        QCOMPARE(file.scheme.gridTitleFont.family(), QString("Courier New"));
        QCOMPARE(file.scheme.gridTitleFont.pointSize(), 14);
        QVERIFY(file.scheme.gridTitleFont.bold());
        QCOMPARE(file.scheme.gridTitleFontColor, QColor(0, 0, 128));
        QCOMPARE(file.scheme.gridFont.family(), QString("Times New Roman"));
        QVERIFY(file.scheme.gridFont.italic());
        QCOMPARE(file.scheme.gridFontColor, QColor(128, 0, 0));
        for (int p = 1; p <= 22; ++p) {
            const common::FieldSettings& f = file.Field(p);
            QCOMPARE(f.display ? QString("Yes") : QString("No"), shownDisplay[p - 1]);
            QCOMPARE(QString::number(f.width), shownWidths[p - 1]);
            QCOMPARE(f.title, shownNames[p - 1]);
            QCOMPARE(shownOrder[f.order - 1], f.title);
        }
        QCOMPARE(file.Field(11).title, QString("Price Paid"));
        QCOMPARE(file.Field(11).order, 10);

        // And the grid took it all.
        QVERIFY(!Main().Grid()->horizontalHeader()->isVisible());
        QVERIFY(!Main().Grid()->verticalHeader()->isVisible());
        QCOMPARE(Main().Grid()->selectionBehavior(), QAbstractItemView::SelectItems);
        QVERIFY(!GridTitles(Main()).contains("Serial Number"));
        QCOMPARE(GridTitles(Main()).value(8), QString("Price Paid"));  // Serial Number is hidden
        QCOMPARE(GridTitles(Main()).value(9), QString("Purchase Date"));
    }

    void cancelledChoicesChangeNothing() {
        ScriptedUiServices ui;
        ui.ExpectChooseColor(std::nullopt);
        ui.ExpectChooseFont(std::nullopt);
        const common::Settings before = AppSettings();
        ViewerConfigDialog dialog(Main());
        dialog.ChooseCellColor();
        dialog.ChooseTitleFont();
        HALVENOR_VERIFY_UI(ui);
        QCOMPARE(AppSettings().gridCellColor, before.gridCellColor);
        QCOMPARE(AppSettings().scheme.gridTitleFont, before.scheme.gridTitleFont);
        QCOMPARE(dialog.TitleFontEdit->text(), QString("12pt Arial"));
    }

    void listsAreAsWideAsTheirColumns() {
        ScriptedUiServices ui;
        ui.ExpectModal("Viewer Configuration", [](QDialog& d) {
            auto& dialog = static_cast<ViewerConfigDialog&>(d);
            QCOMPARE(dialog.ShowGrid->width(), 320);
            QCOMPARE(dialog.WidthGrid->width(), 320);
            QCOMPARE(dialog.OrderList->width(), 220);
            QCOMPARE(dialog.NameGrid->width(), 420);
            QCOMPARE(dialog.NameGrid->columnWidth(1), 200);
        });
        Main().DoViewer();
        HALVENOR_VERIFY_UI(ui);
    }
};

QTEST_MAIN(ViewConfigTest)
#include "ViewConfigTest.moc"
