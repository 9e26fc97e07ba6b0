// The item editor and list maintenance reached from the real main window:
// Add, Edit and Copy show the editor, and afterwards the grid shows the item
// in its place in the sort order (and only when it meets a search); the
// grid's pick lists are filled at start and on first showing.

#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QtTest>

#include "AppPaths.h"
#include "ItemGridModel.h"
#include "PickListFile.h"
#include "ScriptedUiServices.h"
#include "MainWindow.h"
#include "ItemEditor.h"
#include "PickListDialog.h"

using common::PickList;
using common::ScriptedUiServices;
using items::PickListFile;

class MainWindowItemsTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_home;

    static void Add(ScriptedUiServices& ui, shell::MainWindow& main, const QString& item, const QString& category) {
        ui.ExpectModal("Edit", [&](QDialog& d) {
            auto& edit = static_cast<items::ItemEditor&>(d);
            QCOMPARE(main.EditorMode(), 1);
            edit.Item->setText(item);
            edit.Category->setEditText(category);
            edit.SaveItemAndClose();
        });
        main.DoAdd();
    }

    static QStringList GridItems(shell::MainWindow& main) {
        QStringList items;
        store::Table& t = main.ItemTable();
        for (int row = 0; row < main.GridModel()->rowCount(); ++row)
            items << QString::fromStdString(t.ViewOf(main.GridModel()->RecordOfRow(row)).Text(0));
        return items;
    }

private slots:
    void initTestCase() {
        qputenv("XDG_DATA_HOME", m_home.filePath("data").toUtf8());
        qputenv("XDG_CONFIG_HOME", m_home.filePath("config").toUtf8());
    }

    void addEditCopyAndMaintenance() {
        QFile f(PickListFile::PathOf(PickList::Brand));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("Sony\r\n\r\n   \r\nZenith\r\n");
        f.close();

        ScriptedUiServices ui;
        ui.AllowBeeps(true);
        shell::MainWindow main(QSize(1024, 768));
        QVERIFY(main.Created());
        QVERIFY(main.Editor());
        QCOMPARE(main.Editor()->ListEntries(PickList::Brand), (QStringList{"Sony", "Zenith"}));
        QCOMPARE(main.GridPickList(PickList::Brand), (QStringList{"Sony", "Zenith"}));

        // The first showing reads the files into the grid's lists once more.
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write("Acme\r\n");
        f.close();
        main.PrepareToShow();
        QCOMPARE(main.GridPickList(PickList::Brand), QStringList{"Acme"});
        QCOMPARE(main.Editor()->ListEntries(PickList::Brand), (QStringList{"Sony", "Zenith"}));

        // Items take their place in the sort order (by category at first).
        Add(ui, main, "Zeta", "B");
        Add(ui, main, "Alpha", "A");
        QCOMPARE(main.CountLabel()->text(), QString("2"));
        QCOMPARE(GridItems(main), (QStringList{"Alpha", "Zeta"}));
        QCOMPARE(main.GridModel()->RowOfRecord(main.ItemTable().RecNo()), 0);
        QCOMPARE(main.GridPickList(PickList::Category), (QStringList{"B", "A"}));

        // Edit changes the current record in place; Copy adds an equal one.
        ui.ExpectModal("Edit", [&](QDialog& d) {
            auto& edit = static_cast<items::ItemEditor&>(d);
            QCOMPARE(edit.Item->text(), QString("Alpha"));
            edit.Category->setEditText("C");
            edit.SaveItemAndClose();
        });
        main.DoEdit();
        QCOMPARE(GridItems(main), (QStringList{"Zeta", "Alpha"}));
        QCOMPARE(main.GridModel()->RowOfRecord(main.ItemTable().RecNo()), 1);
        ui.ExpectModal("Edit", [&](QDialog& d) { static_cast<items::ItemEditor&>(d).SaveItemAndClose(); });
        main.DoCopy();
        QCOMPARE(GridItems(main), (QStringList{"Zeta", "Alpha", "Alpha"}));
        QCOMPARE(main.CountLabel()->text(), QString("3"));

        // With a search on, a new item shows only when it meets it.
        main.SetSearchTest([](const store::RecordView& r) { return r.Text(0).rfind("A", 0) == 0; });
        main.EnableEndSearch();
        main.RefreshGrid();
        QCOMPARE(GridItems(main), (QStringList{"Alpha", "Alpha"}));
        Add(ui, main, "Beta", "A");
        Add(ui, main, "Aardvark", "A");
        QCOMPARE(GridItems(main), (QStringList{"Aardvark", "Alpha", "Alpha"}));
        QCOMPARE(main.CountLabel()->text(), QString("3"));
        main.DisableEndSearch();

        // List maintenance from the menu replaces both copies.
        ui.ExpectModal("Edit \"Brand\" List", [&](QDialog& d) {
            auto& box = static_cast<items::PickListDialog&>(d);
            QCOMPARE(box.Entries(), (QStringList{"Sony", "Zenith"}));
            box.AddInfo->setText("Philips");
            box.AddEntry();
            box.StoreList();
        });
        QVERIFY(main.Action("Brand"));
        main.Action("Brand")->trigger();
        QCOMPARE(main.Editor()->ListEntries(PickList::Brand), (QStringList{"Sony", "Zenith", "Philips"}));
        QCOMPARE(main.GridPickList(PickList::Brand), (QStringList{"Sony", "Zenith", "Philips"}));
        HALVENOR_VERIFY_UI(ui);
    }
};

QTEST_MAIN(MainWindowItemsTest)
#include "MainWindowItemsTest.moc"
