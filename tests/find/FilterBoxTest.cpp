// The filter box in the main window as the program links it: the words
// narrow the grid within the search in force, the count reads "n of N", a
// newer text replaces an older run, an edit is looked at again, Escape
// gives every item back, and its keys.

#include <QAction>
#include <QLabel>
#include <QTemporaryDir>
#include <QtTest>

#include "FilterBox.h"
#include "ItemGridModel.h"
#include "MainWindow.h"
#include "ScriptedUiServices.h"
#include "Settings.h"
#include "TempHome.h"

using shell::MainWindow;

namespace {

void Add(MainWindow& w, const std::vector<std::array<std::string, 3>>& items) {
    store::Table& t = w.ItemTable();
    for (const auto& [item, brand, location] : items) {
        t.Append();
        t.SetText("Item", item);
        t.SetText("Brand", brand);
        t.SetText("Location", location);
        t.Post();
    }
    w.RefreshGrid();
    w.DisplayCount();
}

QStringList GridItems(MainWindow& w) {
    QStringList items;
    for (int r = 0; r < w.GridModel()->rowCount(); ++r)
        items << QString::fromStdString(w.ItemTable().ViewOf(w.GridModel()->RecordOfRow(r)).Text(0));
    items.sort();
    return items;
}

}  // namespace

class FilterBoxTest : public QObject {
    Q_OBJECT

private slots:
    void init() {
        m_home = std::make_unique<testsupport::TempHome>();
    }

    void wordsNarrowTheGridWithinTheSearch() {
        common::ScriptedUiServices ui;
        MainWindow w(QSize(1600, 1200));
        Add(w, {{"Blue lamp", "Lumo", "Attic"},
                {"Lamp", "Bleu", "Café corner"},
                {"Red chair", "Lumo", "Kitchen"},
                {"Desk LAMP", "Blue Co", "Cafe"},
                {"Sofa", "", ""}});
        find::FilterBox& box = *w.Filter();
        box.setText("lamp  BLUE");
        QVERIFY(box.Busy());
        box.WaitForFilter();
        QCOMPARE(GridItems(w), QStringList({"Blue lamp", "Desk LAMP"}));
        QCOMPARE(w.CountLabel()->text(), QString("2 of 5"));
        // Accents aside, and a newer text replaces the run of an older one.
        box.setText("cafe");
        box.setText("café lamp");
        box.WaitForFilter();
        QCOMPARE(GridItems(w), QStringList({"Desk LAMP", "Lamp"}));

        // Within a search: the count is of the items the search delivers.
        const int location = w.ItemTable().FieldIndex("Location");
        w.SetSearchTest([location](const store::RecordView& v) { return v.Text(location) != "Cafe"; });
        w.EnableEndSearch();
        w.RefreshGrid();
        box.WaitForFilter();
        QCOMPARE(GridItems(w), QStringList({"Lamp"}));
        QCOMPARE(w.CountLabel()->text(), QString("1 of 4"));
        w.DoEndSearch();
        box.WaitForFilter();
        QCOMPARE(w.CountLabel()->text(), QString("2 of 5"));

        // An item added is looked at again: shown when its words match.
        Add(w, {{"Café lamp", "", ""}, {"Chair", "", ""}});
        QVERIFY(box.Busy());
        box.WaitForFilter();
        QCOMPARE(GridItems(w), QStringList({"Café lamp", "Desk LAMP", "Lamp"}));
        QCOMPARE(w.CountLabel()->text(), QString("3 of 7"));

        // Escape gives every item back at once; blanks alone filter nothing.
        QTest::keyClick(&box, Qt::Key_Escape);
        QCOMPARE(box.text(), QString());
        box.WaitForFilter();
        QCOMPARE(w.GridModel()->rowCount(), 7);
        QCOMPARE(w.CountLabel()->text(), QString("7"));
        box.setText("   ");
        box.WaitForFilter();
        QCOMPARE(w.CountLabel()->text(), QString("7"));
        // A word no item holds.
        box.setText("zebra");
        box.WaitForFilter();
        QCOMPARE(w.GridModel()->rowCount(), 0);
        QCOMPARE(w.CountLabel()->text(), QString("0 of 7"));
        QVERIFY2(ui.Verify(), qPrintable(ui.Failures().join("\n")));
    }

    // The run looks at its stop flag every few thousand items: a table
    // longer than that is filtered to its last item.
    void aLongTableIsFilteredToItsEnd() {
        common::ScriptedUiServices ui;
        MainWindow w(QSize(1600, 1200));
        store::Table& t = w.ItemTable();
        t.BeginBulkAppend();
        for (int i = 0; i < 10000; ++i) {
            t.Append();
            t.SetText("Item", i % 1000 == 999 ? "Zebra rug" : "Lamp");
            t.Post();
        }
        t.EndBulkAppend();
        w.RefreshGrid();
        w.DisplayCount();
        find::FilterBox& box = *w.Filter();
        box.setText("zebra");
        box.WaitForFilter();
        QCOMPARE(w.CountLabel()->text(), QString("10 of 10000"));
        // Words typed while a run goes: that run is stopped and replaced.
        box.setText("lamp");
        QCoreApplication::processEvents();  // the run starts
        box.setText("zebra rug");
        box.WaitForFilter();
        QCOMPARE(w.CountLabel()->text(), QString("10 of 10000"));
        QVERIFY2(ui.Verify(), qPrintable(ui.Failures().join("\n")));
    }

    void keysPutTheCursorInTheBox() {
        common::ScriptedUiServices ui;
        MainWindow w(QSize(1600, 1200));
        QAction* filter = w.Action("&Filter Items");
        QVERIFY(filter);
        QCOMPARE(filter->shortcuts(), QList<QKeySequence>({QKeySequence("Ctrl+K"), QKeySequence("/")}));
        QCOMPARE(w.Action("&Search and Replace")->shortcut(), QKeySequence("Ctrl+F"));
        w.Filter()->setText("lamp");
        w.Filter()->deselect();
        filter->trigger();
        QCOMPARE(w.Filter()->selectedText(), QString("lamp"));
    }

private:
    std::unique_ptr<testsupport::TempHome> m_home;
};

QTEST_MAIN(FilterBoxTest)
#include "FilterBoxTest.moc"
