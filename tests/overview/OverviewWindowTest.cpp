// The Overview window in the program as it is linked: its figures and
// charts over the records the grid shows, a bar clicked narrowing the grid
// (within a search in force, and "Other"), the figures following an edit,
// the warranty list and its double-click, the charts saved as PNG (the bar
// colour present), SVG and PDF (read back by pdftotext), the figures as
// CSV, failures that leave nothing behind, the start-up notice, and the
// command line's JSON equal to the window's figures.

#include <QBarCategoryAxis>
#include <QChart>
#include <QCheckBox>
#include <QComboBox>
#include <QPushButton>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QProcess>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTreeWidget>
#include <QtTest>

#include "AppPaths.h"
#include "IniFile.h"
#include "MainWindow.h"
#include "OverviewWindow.h"
#include "ScriptedUiServices.h"
#include "Settings.h"
#include "TempHome.h"

using common::ScriptedUiServices;
using overview::Chart;
using overview::OverviewWindow;
using shell::MainWindow;

namespace {

const QSize kBigScreen(1600, 1200);

struct Item {
    std::string item, category, location, cost, value, quantity;
    int warrantyDays = 99999;  // from today; 99999 for none
    std::string bought;        // yyyy-mm-dd or empty
};

store::Date InDays(int days) { return store::Date::FromDayNumber(store::Date::Today().DayNumber() + days); }

void Add(MainWindow& w, const std::vector<Item>& items) {
    store::Table& t = w.ItemTable();
    for (const Item& i : items) {
        t.Append();
        t.SetText("Item", i.item);
        t.SetText("Category", i.category);
        t.SetText("Location", i.location);
        if (!i.cost.empty()) t.SetText("Cost", i.cost);
        if (!i.value.empty()) t.SetText("Value", i.value);
        if (!i.quantity.empty()) t.SetText("Quantity", i.quantity);
        if (i.warrantyDays != 99999) t.SetDate(t.FieldIndex("WarDate"), InDays(i.warrantyDays));
        if (!i.bought.empty())
            t.SetDate(t.FieldIndex("PurchDate"), store::Date{std::stoi(i.bought.substr(0, 4)),
                                                              std::stoi(i.bought.substr(5, 2)),
                                                              std::stoi(i.bought.substr(8, 2))});
        t.Post();
    }
    w.RefreshGrid();
    w.DisplayCount();
}

// 14 categories: the 11 largest get a bar, the other three one together.
std::vector<Item> Household() {
    std::vector<Item> items = {
        {"Sofa", "Furniture", "Living Room", "900", "700", "1", 0, "2020-02-29"},
        {"Chair", "Furniture", "Kitchen", "50", "40", "4", 30, "2020-06-01"},
        {"Lamp", "Lighting", "Living Room", "25.50", "", "2", 31, "2021-01-01"},
        {"Ring", "Jewelry", "", "", "", "", -1, ""},
        {"Radio", "Music", "Attic", "80", "30", "0", -30, "2021-03-03"},
        {"Old radio", "Music", "Attic", "10", "5", "1", -31, ""},
    };
    for (int i = 0; i < 10; ++i)
        items.push_back({"Thing " + std::to_string(i), "Group " + std::to_string(i), "Garage", "",
                         std::to_string(100 + i), "1", 99999, "2022-01-0" + std::to_string(i % 9 + 1)});
    return items;
}

// The household's items in the table, and the Overview open with their figures.
OverviewWindow& OpenOverHousehold(MainWindow& w) {
    Add(w, Household());
    w.DoOverview();
    w.Overview()->WaitForFigures();
    return *w.Overview();
}

QStringList Captions(OverviewWindow& o, Chart chart) {
    const auto axes = o.ChartOf(chart)->axes(Qt::Vertical);
    return axes.isEmpty() ? QStringList() : static_cast<QBarCategoryAxis*>(axes.first())->categories();
}

QStringList Rows(QTreeWidget* list) {
    QStringList rows;
    for (int r = 0; r < list->topLevelItemCount(); ++r) {
        QStringList cells;
        for (int c = 0; c < list->columnCount(); ++c) cells << list->topLevelItem(r)->text(c);
        rows << cells.join("|");
    }
    return rows;
}

QString DateText(int days) { return QString::fromStdString(store::CurrentDateFormat().Format(InDays(days))); }

}  // namespace

class OverviewWindowTest : public QObject {
    Q_OBJECT

private slots:
    void init() {
        m_home = std::make_unique<testsupport::TempHome>();
    }

    void figuresAndChartsFollowTheGridAndBarsNarrowIt() {
        ScriptedUiServices ui;
        MainWindow w(kBigScreen);
        OverviewWindow& o = OpenOverHousehold(w);
        QVERIFY(o.isVisible());
        QVERIFY(!o.Busy());
        // Value: 700 + 4 x 40 + 0 (quantity 0) + 5 + (100 + ... + 109).
        QCOMPARE(o.TotalsLabel->text(), QString("16 items (1 without any amount)\n"
                                                "Cost 1,161.00     Replacement Cost 0.00     Value 1,910.00"));
        const QStringList categories = Captions(o, Chart::Category);
        QCOMPARE(categories.size(), 12);
        QCOMPARE(categories.last(), QString("Furniture: 860.00 (2 items)"));  // the largest on top
        QCOMPARE(categories.first(), QString("Other: 5.00 (4 items)"));       // Music 5, Lighting, Jewelry 0
        QCOMPARE(o.ChartOf(Chart::Category)->title(), QString("Value by Category"));
        QCOMPARE(Captions(o, Chart::Years),
                 QStringList({"2022: 0.00 (10 items)", "2021: 51.00 (2 items)", "2020: 1,100.00 (2 items)"}));

        // A bar narrows the grid to its group; the Overview follows.
        o.ClickBar(Chart::Category, 0);
        QVERIFY(w.SearchOn());
        QCOMPARE(w.CountLabel()->text(), QString("2"));
        o.WaitForFigures();
        QCOMPARE(o.Shown()->items, 2u);
        QVERIFY(o.TotalsLabel->text().startsWith("2 items found by the search"));
        // Within that search, the Kitchen bar of the locations leaves one.
        const auto& locations = o.Shown()->byLocation;
        const auto kitchen = std::find_if(locations.begin(), locations.end(), [](auto& g) { return g.name == "Kitchen"; });
        o.ClickBar(Chart::Location, int(kitchen - locations.begin()));
        QCOMPARE(w.CountLabel()->text(), QString("1"));
        o.WaitForFigures();
        QCOMPARE(o.Shown()->byLocation.front().name, std::string("Kitchen"));

        // "Other" holds every category without a bar of its own.
        w.DoEndSearch();
        o.WaitForFigures();
        QCOMPARE(o.Shown()->items, 16u);
        o.ClickBar(Chart::Category, 11);
        QCOMPARE(w.CountLabel()->text(), QString("4"));
        w.DoEndSearch();
        o.WaitForFigures();
        o.ClickBar(Chart::Years, 0);  // 2020
        QCOMPARE(w.CountLabel()->text(), QString("2"));
        w.DoEndSearch();

        // Another amount regroups; an edit of the table is counted again.
        o.WaitForFigures();
        o.ChooseAmount(0);
        o.WaitForFigures();
        QCOMPARE(o.ChartOf(Chart::Category)->title(), QString("Cost by Category"));
        QCOMPARE(Captions(o, Chart::Category).last(), QString("Furniture: 1,100.00 (2 items)"));
        Add(w, {{"Piano", "Music", "Hall", "5000", "6000", "1"}});
        QVERIFY(o.Busy());
        o.WaitForFigures();
        QCOMPARE(o.Shown()->items, 17u);
        QCOMPARE(Captions(o, Chart::Category).last(), QString("Music: 5,010.00 (3 items)"));
        // Closed, it no longer counts.
        QTest::mouseClick(o.CloseButton, Qt::LeftButton);
        QVERIFY(!o.isVisible());
        Add(w, {{"Drum", "Music", "Hall", "1", "1", "1"}});
        QVERIFY(!o.Busy());
        QVERIFY2(ui.Verify(), qPrintable(ui.Failures().join("\n")));
    }

    void warrantiesListedByDateAndOpenedInTheEditor() {
        ScriptedUiServices ui;
        MainWindow w(kBigScreen);
        OverviewWindow& o = OpenOverHousehold(w);
        QCOMPARE(Rows(o.WarrantyList),
                 QStringList({DateText(-30) + "|Radio||Attic|ended 30 days ago", DateText(-1) + "|Ring|||ended yesterday",
                              DateText(0) + "|Sofa||Living Room|today",
                              DateText(30) + "|Chair||Kitchen|in 30 days", DateText(31) + "|Lamp||Living Room|in 31 days"}));
        o.ChooseDays(30);
        o.WaitForFigures();
        QCOMPARE(o.WarrantyList->topLevelItemCount(), 4);  // 31 days ahead is out
        QCOMPARE(o.DaysBox->value(), 30);

        ui.ExpectModal("Edit", QDialog::Rejected);
        o.OpenWarranty(o.WarrantyList->topLevelItem(3));  // the chair
        QCOMPARE(w.ItemTable().GetText("Item"), std::string("Chair"));
        QCOMPARE(w.EditorMode(), 2);
        QCOMPARE(ui.Calls().size(), size_t(1));
        QVERIFY2(ui.Verify(), qPrintable(ui.Failures().join("\n")));
    }

    void chartsAndFiguresSavedOrNothingLeft() {
        ScriptedUiServices ui;
        MainWindow w(kBigScreen);
        OverviewWindow& o = OpenOverHousehold(w);
        QTemporaryDir out;
        const QString png = out.filePath("chart.png"), svg = out.filePath("chart.svg"), pdf = out.filePath("chart.pdf");
        ui.ExpectSaveFile("Save Chart", png).ExpectSaveFile("Save Chart", svg).ExpectSaveFile("Save Chart", pdf);
        QTest::mouseClick(o.SaveChartButton, Qt::LeftButton);
        o.Tabs->setCurrentIndex(int(Chart::Location));
        o.SaveChart();
        o.SaveChart();

        QImage image(png);
        QCOMPARE(image.size(), QSize(overview::kSavedWidth, overview::kSavedHeight));
        int bar = 0;
        for (int y = 0; y < image.height(); y += 2)
            for (int x = 0; x < image.width(); x += 2) bar += image.pixelColor(x, y) == overview::kBarColor;
        QVERIFY2(bar > 2000, qPrintable(QString::number(bar)));

        QFile svgFile(svg);
        QVERIFY(svgFile.open(QIODevice::ReadOnly));
        const QByteArray drawing = svgFile.readAll();
        QVERIFY(drawing.contains("<svg"));
        QVERIFY(drawing.contains("Value by Location"));

        QProcess toText;
        toText.start("pdftotext", {"-layout", pdf, "-"});
        QVERIFY(toText.waitForFinished(60000));
        const QString text = QString::fromUtf8(toText.readAllStandardOutput());
        QVERIFY2(text.contains("Value by Location") && text.contains("Garage: 1,045.00 (10 items)"), qPrintable(text));

        // The figures as CSV, as the core writes them.
        ui.ExpectSaveFile("Save Figures", out.filePath("figures.csv"));
        o.SaveFigures();
        QFile csv(out.filePath("figures.csv"));
        QVERIFY(csv.open(QIODevice::ReadOnly));
        QCOMPARE(csv.readAll().toStdString(), overview::FiguresCsv(*o.Shown()));

        // A name of another kind, a folder that cannot be written: one
        // message, no file.
        ui.ExpectSaveFile("Save Chart", out.filePath("chart.jpg"))
            .ExpectMessage("Error", "Choose a name ending in .png, .svg or .pdf for the chart.");
        o.SaveChart();
        const QString missing = out.filePath("gone/chart.png");
        ui.ExpectSaveFile("Save Chart", missing).ExpectMessage("Error");
        o.SaveChart();
        QVERIFY(ui.Messages().last().startsWith("Error|The chart cannot be saved as \"" + missing + "\": "));
        QCOMPARE(QDir(out.path()).entryList(QDir::Files | QDir::Hidden).size(), 4);
        // The buttons stand in a row: the saves on the left, Help and Close on the right.
        QVERIFY(o.SaveChartButton->x() < o.SaveFiguresButton->x() && o.SaveFiguresButton->x() < o.HelpButton->x() &&
                o.HelpButton->x() < o.CloseButton->x());
        QCOMPARE(o.HelpButton->y(), o.CloseButton->y());
        // The warranty tab has no chart to save.
        o.Tabs->setCurrentIndex(4);
        QVERIFY(!o.SaveChartButton->isEnabled());
        QVERIFY2(ui.Verify(), qPrintable(ui.Failures().join("\n")));
    }

    // Past the first stretch of records the count goes on to the end.
    void aLargeTableIsCountedWhole() {
        ScriptedUiServices ui;
        MainWindow w(kBigScreen);
        store::Table& t = w.ItemTable();
        t.BeginBulkAppend();
        for (int i = 0; i < 70000; ++i) {
            t.Append();
            t.SetText("Item", "Box");
            t.SetText("Value", "2");
            t.SetText("Quantity", "1");
            t.Post();
        }
        t.EndBulkAppend();
        w.RefreshGrid();
        w.DoOverview();
        w.Overview()->WaitForFigures();
        QVERIFY(w.Overview()->Shown());
        QCOMPARE(w.Overview()->Shown()->items, 70000u);
        QCOMPARE(w.Overview()->Shown()->value, 140000.0);
    }

    void startUpNoticeCountsWarrantiesWhenAsked() {
        {
            ScriptedUiServices ui;
            MainWindow w(kBigScreen);
            Add(w, Household());  // today, 30 and 31 days ahead: two within 30
            w.ShowTipsOnFirstActivation();  // off by default: no message
            QCOMPARE(ui.Messages(), QStringList());
            w.DoOverview();
            QVERIFY(!w.Overview()->NoticeCheck->isChecked());
            w.Overview()->NoticeCheck->setChecked(true);
            w.show();
            w.close();
        }
        const common::IniFile ini = common::IniFile::Load(common::AppPaths::SettingsFile());
        QCOMPARE(ini.Value("Halvenor", "Warranty Notice").value_or(""), QString("Yes"));
        common::AppSettings() = common::Settings();
        ScriptedUiServices ui;
        ui.ExpectModal("Tip of the Day", QDialog::Rejected);  // the tips come first
        ui.ExpectMessage("Warranties", "2 warranties end within 30 days.  The Overview (Ctrl+Shift+O) lists them.");
        MainWindow w(kBigScreen);
        w.ShowTipsOnFirstActivation();
        QCOMPARE(ui.Messages().size(), 1);
        QVERIFY2(ui.Verify(), qPrintable(ui.Failures().join("\n")));
        QCOMPARE(overview::WarrantyNotice(1, 30), QString("1 warranty ends within 30 days.  The Overview (Ctrl+Shift+O) lists it."));
    }

    // The command line and the window give the same figures for one table.
    void commandLineJsonEqualsTheWindow() {
        ScriptedUiServices ui;
        MainWindow w(kBigScreen);
        OverviewWindow& o = OpenOverHousehold(w);
        const overview::Figures& f = *o.Shown();
        QString expected = QString("%1 %2 %3 %4\n").arg(f.items).arg(f.withoutAmount).arg(
            QString::fromStdString(overview::TwoDecimals(f.cost)), QString::fromStdString(overview::TwoDecimals(f.value)));
        for (const auto& g : f.byCategory)
            expected += QString("%1 %2 %3\n").arg(g.other ? "Other" : QString::fromStdString(g.name)).arg(g.items).arg(
                QString::fromStdString(overview::TwoDecimals(g.amount)));
        for (const auto& y : f.byYear) expected += QString("%1 %2\n").arg(y.year).arg(y.items);
        for (const auto& e : f.endingSoon) expected += QString::fromStdString(e.item + " " + e.date.IsoText()) + "\n";

        QProcess cli;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove("DISPLAY");
        cli.setProcessEnvironment(env);
        cli.start(HALVENOR_PROGRAM, {"overview", "--json", "--table", QString::fromStdString(w.ItemTable().DataFilePath())});
        QVERIFY(cli.waitForFinished(60000));
        QCOMPARE(cli.exitCode(), 0);
        QProcess python;
        python.start("python3", {"-c", R"(
import json, sys
f = json.load(sys.stdin)
print(f["items"], f["withoutAmount"], "%.2f" % f["cost"], "%.2f" % f["value"])
for g in f["byCategory"]: print(g["name"], g["items"], "%.2f" % g["amount"])
for y in f["byYear"]: print(y["year"], y["items"])
for e in f["endingSoon"]: print(e["item"], e["date"])
)"});
        python.write(cli.readAllStandardOutput());
        python.closeWriteChannel();
        QVERIFY(python.waitForFinished(60000));
        QCOMPARE(QString::fromUtf8(python.readAllStandardOutput()), expected);
    }

private:
    std::unique_ptr<testsupport::TempHome> m_home;
};

QTEST_MAIN(OverviewWindowTest)
#include "OverviewWindowTest.moc"
