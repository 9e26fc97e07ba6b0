// Many items at once in the main window as the program links it: rows
// chosen with Shift and Ctrl and by Select All, Edit Selected with its
// checks, Delete Selected asking once, and Undo of each kind of command,
// the bytes of every record put back; what stops a change or an undo.

#include <QAction>
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>
#include <QTemporaryDir>
#include <QtTest>

#include "EditSelectedDialog.h"
#include "FileBytes.h"
#include "ItemEditor.h"
#include "ItemGridModel.h"
#include "ItemTable.h"
#include "MainWindow.h"
#include "ScriptedUiServices.h"
#include "Settings.h"
#include "TempHome.h"

using shell::EditSelectedDialog;
using shell::MainWindow;

namespace {

constexpr int kLocation = 5, kCost = 11, kWarranty = 14;

void Add(MainWindow& w, int count) {
    store::Table& t = w.ItemTable();
    for (int i = 0; i < count; ++i) {
        t.Append();
        t.SetText("Item", "Item " + std::to_string(i));
        t.SetText("Location", "Kitchen");
        t.SetText("Cost", std::to_string(i + 1) + ".5");
        t.SetText("Quantity", "1");
        t.SetText("Value", "0");
        t.SetText("RepCost", "0");
        t.Post();
    }
    w.SetViewerOptions();
    w.DisplayCount();
}

// The records' part of the data file, deletion flags included.
QByteArray Records(MainWindow& w) {
    const store::Table& t = w.ItemTable();
    const QByteArray all = testsupport::ReadAll(QString::fromStdString(t.DataFilePath()));
    const qsizetype bytes = qsizetype(t.PhysicalCount()) * t.Layout().RecordLength();
    return all.mid(all.size() - bytes - 1, bytes);
}

QStringList Column(MainWindow& w, const char* field) {
    QStringList out;
    const int f = w.ItemTable().FieldIndex(field);
    for (uint32_t r = 0; r < w.ItemTable().PhysicalCount(); ++r)
        out << QString::fromStdString(w.ItemTable().ViewOf(r).Text(f));
    return out;
}

void Type(EditSelectedDialog& d, int position, const QString& text) {
    d.Value(position)->clear();
    QTest::keyClicks(d.Value(position), text);
}

void PressOk(QDialog& d) { d.findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok)->click(); }

void OtherCopySets(MainWindow& w, uint32_t recno, const char* field, const char* text) {
    store::Table other;
    store::PointAt(other, w.ItemTable().DataFilePath());
    other.Open();
    other.GoTo(recno);
    other.Edit();
    other.SetText(field, text);
    other.Post();
    other.Close();
}

}  // namespace

class ManyItemsTest : public QObject {
    Q_OBJECT

    std::unique_ptr<testsupport::TempHome> m_home;

private slots:
    void init() {
        m_home = std::make_unique<testsupport::TempHome>();
        for (int p = 1; p <= store::kItemFieldCount; ++p) common::AppSettings().Field(p).order = p;
    }

    void rowsChosenWithKeysAreEditedAtOnceAndUndone() {
        common::ScriptedUiServices ui;
        MainWindow w(QSize(1600, 1200));
        Add(w, 6);
        QTableView* grid = w.Grid();
        QCOMPARE(w.UndoAction()->text(), QString("&Undo"));
        QVERIFY(!w.UndoAction()->isEnabled());
        // Row 1, Shift+Down to row 2, Ctrl+click on row 4, Ctrl+click on the last.
        grid->setCurrentIndex(w.GridModel()->index(1, 0));
        QTest::keyClick(grid, Qt::Key_Down, Qt::ShiftModifier);
        for (int row : {4, 5}) {
            const QRect cell = grid->visualRect(w.GridModel()->index(row, 0));
            QTest::mouseClick(grid->viewport(), Qt::LeftButton, Qt::ControlModifier, cell.center());
        }
        QCOMPARE(w.SelectedRecords(), (std::vector<uint32_t>{1, 2, 4, 5}));
        const QByteArray before = Records(w);

        ui.ExpectModal("Edit Selected Items", [](QDialog& dialog) {
            auto& d = static_cast<EditSelectedDialog&>(dialog);
            QCOMPARE(d.Heading()->text(), QString("Set these fields on the 4 selected items:"));
            Type(d, kLocation, "Attic");
            QVERIFY(d.Choice(kLocation)->isChecked());
            Type(d, kWarranty, "yes");
            Type(d, kCost, "12.25");
            d.Choice(kCost)->setChecked(false);  // typed, then left out
            PressOk(d);
        });
        w.Action("Edit &Selected...")->trigger();
        HALVENOR_VERIFY_UI(ui);
        QCOMPARE(Column(w, "Location"), QStringList({"Kitchen", "Attic", "Attic", "Kitchen", "Attic", "Attic"}));
        QCOMPARE(Column(w, "Warranty"), QStringList({"", "Yes", "Yes", "", "Yes", "Yes"}));
        QCOMPARE(Column(w, "Cost"), QStringList({"1.5", "2.5", "3.5", "4.5", "5.5", "6.5"}));
        QCOMPARE(w.UndoAction()->text(), QString("&Undo Edit Selected"));
        QVERIFY(w.UndoAction()->isEnabled());

        QCOMPARE(w.UndoAction()->shortcut(), QKeySequence("Ctrl+Z"));
        w.UndoAction()->trigger();
        QCOMPARE(Records(w), before);
        QCOMPARE(w.UndoAction()->text(), QString("&Undo"));
        QVERIFY(!w.UndoAction()->isEnabled());
        QCOMPARE(w.GridModel()->rowCount(), 6);
        QVERIFY2(ui.Verify(), qPrintable(ui.Failures().join("\n")));
    }

    void valuesAreCheckedBeforeAnythingIsWritten() {
        common::ScriptedUiServices ui;
        MainWindow w(QSize(1600, 1200));
        Add(w, 3);
        w.DoSelectAll();
        QCOMPARE(w.Action("Select Al&l")->shortcut(), QKeySequence("Ctrl+Shift+A"));
        QCOMPARE(w.SelectedRecords(), (std::vector<uint32_t>{0, 1, 2}));
        const QByteArray before = Records(w);
        // With no row chosen, the current item is the selection.
        w.Grid()->clearSelection();
        w.ItemTable().GoTo(1);
        QCOMPARE(w.SelectedRecords(), (std::vector<uint32_t>{1}));
        ui.ExpectModal("Edit Selected Items", [](QDialog& dialog) {
            auto& d = static_cast<EditSelectedDialog&>(dialog);
            QCOMPARE(d.Heading()->text(), QString("Set these fields on the selected item:"));
            QCOMPARE(d.Choice(1)->text(), QString("Item"));
            QCOMPARE(d.Choice(22)->text(), QString("User Defined 4"));
            d.reject();
        });
        w.Action("Edit &Selected...")->trigger();
        w.DoSelectAll();
        ui.ExpectModal("Edit Selected Items", [](QDialog& dialog) {
            auto& d = static_cast<EditSelectedDialog&>(dialog);
            PressOk(d);
            Type(d, kLocation, "Garage");
            Type(d, kCost, "abc");
            PressOk(d);
            QVERIFY(d.isVisible());
            QCOMPARE(d.focusWidget(), static_cast<QWidget*>(d.Value(kCost)));
            Type(d, kCost, "3");
            Type(d, 9, "1.5");
            PressOk(d);
            Type(d, 9, "2");
            Type(d, kWarranty, "maybe");
            PressOk(d);
            Type(d, kWarranty, "No");
            Type(d, 10, "31/31/2024");
            PressOk(d);
            Type(d, 10, "");
            Type(d, kLocation, QString(31, 'L'));
            PressOk(d);
            QVERIFY(d.isVisible());
            d.reject();
        });
        ui.ExpectMessage("Error", QString(EditSelectedDialog::kNothingChosenMessage))
            .ExpectMessage("Error", "Invalid cost specified.  Please correct.")
            .ExpectMessage("Error", "Invalid quantity specified.  Please correct.")
            .ExpectMessage("Error", "Type Yes or No for Warranty.")
            .ExpectMessage("Error", "Invalid purchase date specified.  Please correct.")
            .ExpectMessage("Error", "The text for field Location is 31 characters long; the field holds at most 30.");
        w.Action("Edit &Selected...")->trigger();
        QCOMPARE(Records(w), before);
        QVERIFY(!w.UndoAction()->isEnabled());
        QVERIFY2(ui.Verify(), qPrintable(ui.Failures().join("\n")));
    }

    void anItemAnotherCopyChangedStopsTheChangeAndTheUndo() {
        common::ScriptedUiServices ui;
        MainWindow w(QSize(1600, 1200));
        Add(w, 4);
        w.DoSelectAll();
        ui.ExpectModal("Edit Selected Items", [&w](QDialog& dialog) {
            auto& d = static_cast<EditSelectedDialog&>(dialog);
            Type(d, kLocation, "Attic");
            // While the user types, another copy changes a chosen item.
            OtherCopySets(w, 2, "Cost", "99");
            PressOk(d);
        });
        ui.ExpectMessage("Error", "Record 3 was changed by another program in the meantime; nothing was written.");
        w.Action("Edit &Selected...")->trigger();
        QCOMPARE(Column(w, "Location"), QStringList({"Kitchen", "Kitchen", "Kitchen", "Kitchen"}));
        QCOMPARE(Column(w, "Cost"), QStringList({"1.5", "2.5", "99", "4.5"}));
        QVERIFY(!w.UndoAction()->isEnabled());

        // Changed, then another copy changes one of them: the undo refuses.
        w.DoSelectAll();
        ui.ExpectModal("Edit Selected Items", [](QDialog& dialog) {
            auto& d = static_cast<EditSelectedDialog&>(dialog);
            Type(d, kLocation, "Attic");
            PressOk(d);
        });
        w.Action("Edit &Selected...")->trigger();
        QCOMPARE(Column(w, "Location"), QStringList({"Attic", "Attic", "Attic", "Attic"}));
        OtherCopySets(w, 1, "Owner", "Ann");
        const QByteArray before = Records(w);
        ui.ExpectMessage("Error", "Cannot undo Edit Selected: Another program has changed the table since; nothing "
                                  "was undone.");
        w.UndoAction()->trigger();
        QCOMPARE(Records(w), before);
        QVERIFY(!w.UndoAction()->isEnabled());
        // Once the window sees the other program's change, the menu offers
        // nothing to undo.
        ui.ExpectModal("Edit Selected Items", [](QDialog& dialog) {
            Type(static_cast<EditSelectedDialog&>(dialog), kLocation, "Shed");
            PressOk(dialog);
        });
        w.Action("Edit &Selected...")->trigger();
        QVERIFY(w.UndoAction()->isEnabled());
        OtherCopySets(w, 0, "Owner", "Bo");
        w.RefreshGrid();
        QVERIFY(!w.UndoAction()->isEnabled());
        QCOMPARE(w.UndoAction()->text(), QString("&Undo"));
        QVERIFY2(ui.Verify(), qPrintable(ui.Failures().join("\n")));
    }

    // An item's photo stays with it through Edit Selected of an identifying
    // field, Delete Selected and their undo, and after the next start.
    void photosStayWithTheirItems() {
        common::ScriptedUiServices ui;
        const QString photo = m_home->FilePath("front.jpg");
        testsupport::WriteAll(photo, QByteArray("\xFF\xD8\xFF\xE0 not much of a picture", 26));
        {
            MainWindow w(QSize(1600, 1200));
            Add(w, 3);
            w.Attachments()->Add(1, {{photo.toStdString(), attachments::Kind::Photo, "front"}});
            w.DoSelectAll();
            ui.ExpectModal("Edit Selected Items", [](QDialog& dialog) {
                Type(static_cast<EditSelectedDialog&>(dialog), 1, "Box");
                PressOk(dialog);
            });
            w.Action("Edit &Selected...")->trigger();
            QCOMPARE(Column(w, "Item"), QStringList({"Box", "Box", "Box"}));
            QCOMPARE(w.Attachments()->CountOf(1), size_t(1));
            w.UndoAction()->trigger();
            QCOMPARE(Column(w, "Item"), QStringList({"Item 0", "Item 1", "Item 2"}));
            QCOMPARE(w.Attachments()->CountOf(1), size_t(1));
            w.DoSelectAll();
            ui.ExpectAsk("Confirm", "Delete the 3 selected items?", common::Answer::Yes);
            w.Action("Delete Selec&ted")->trigger();
            w.UndoAction()->trigger();
            QCOMPARE(w.GridModel()->rowCount(), 3);
            QCOMPARE(w.Attachments()->CountOf(1), size_t(1));
            QCOMPARE(w.Attachments()->Of(1).at(0).caption, std::string("front"));
        }
        // The next start finds the photo on its item, with nothing to tell.
        MainWindow again(QSize(1600, 1200));
        QCOMPARE(again.Attachments()->CountOf(1), size_t(1));
        QCOMPARE(again.Attachments()->CountOf(0) + again.Attachments()->CountOf(2), size_t(0));
        QVERIFY2(ui.Verify(), qPrintable(ui.Failures().join("\n")));
    }

    void deletesAndGridEditsAreUndoneUntilAPack() {
        common::ScriptedUiServices ui;
        MainWindow w(QSize(1600, 1200));
        Add(w, 5);
        const QByteArray start = Records(w);
        // Delete Selected asks once with the count; No keeps them.
        w.DoSelectAll();
        ui.ExpectAsk("Confirm", "Delete the 5 selected items?", common::Answer::No);
        w.Action("Delete Selec&ted")->trigger();
        QCOMPARE(w.GridModel()->rowCount(), 5);
        ui.ExpectAsk("Confirm", "Delete the 5 selected items?", common::Answer::Yes);
        w.Action("Delete Selec&ted")->trigger();
        QCOMPARE(w.GridModel()->rowCount(), 0);
        QCOMPARE(w.CountLabel()->text(), QString("0"));
        QCOMPARE(w.UndoAction()->text(), QString("&Undo Delete Selected"));
        w.UndoAction()->trigger();
        QCOMPARE(w.GridModel()->rowCount(), 5);
        QCOMPARE(Records(w), start);

        // A cell typed into the grid.
        w.GridModel()->SetEditable(true);
        const int column = int(std::find(w.GridModel()->Columns().begin(), w.GridModel()->Columns().end(), kLocation) -
                               w.GridModel()->Columns().begin());
        QVERIFY(w.GridModel()->setData(w.GridModel()->index(3, column), "Shed", Qt::EditRole));
        QCOMPARE(w.UndoAction()->text(), QString("&Undo Edit"));
        // A value the grid refuses leaves the step before it.
        ui.ExpectMessage("Error", "The text for field Item is 500 characters long; the field holds at most 40.");
        QVERIFY(!w.GridModel()->setData(w.GridModel()->index(3, 0), QString(500, 'x'), Qt::EditRole) &&
                w.UndoAction()->text() == "&Undo Edit");
        w.UndoAction()->trigger();
        QCOMPARE(Records(w), start);

        // The item editor: an edit, then an add, each undone.
        w.ItemTable().GoTo(2);
        ui.ExpectModal("Edit", [](QDialog& d) {
            auto& edit = static_cast<items::ItemEditor&>(d);
            edit.Item->setText("Renamed");
            edit.SaveItemAndClose();
        });
        w.DoEdit();
        QCOMPARE(Column(w, "Item").at(2), QString("Renamed"));
        QCOMPARE(w.UndoAction()->text(), QString("&Undo Edit"));
        w.UndoAction()->trigger();
        QCOMPARE(Records(w), start);
        ui.ExpectModal("Edit", [](QDialog& d) {
            auto& edit = static_cast<items::ItemEditor&>(d);
            edit.Item->setText("New one");
            edit.SaveItemAndClose();
        });
        w.DoAdd();
        QCOMPARE(w.GridModel()->rowCount(), 6);
        QCOMPARE(w.UndoAction()->text(), QString("&Undo Add"));
        w.UndoAction()->trigger();
        QCOMPARE(w.GridModel()->rowCount(), 5);
        QCOMPARE(Records(w).left(start.size()), start);

        // The one-record delete.
        w.ItemTable().GoTo(0);
        ui.ExpectAsk("Confirm", "Delete this record?", common::Answer::Yes);
        w.Action("&Delete")->trigger();
        QCOMPARE(w.UndoAction()->text(), QString("&Undo Delete"));
        w.UndoAction()->trigger();
        QCOMPARE(Records(w).left(start.size()), start);

        // A pack renumbers the records: nothing is left to undo.
        w.ItemTable().GoTo(4);
        ui.ExpectAsk("Confirm", "Delete this record?", common::Answer::Yes);
        w.Action("&Delete")->trigger();
        QVERIFY(w.UndoAction()->isEnabled());
        ui.ExpectAsk("Confirm", std::nullopt, common::Answer::Yes);
        w.Action("&Pack Database")->trigger();
        QCOMPARE(w.ItemTable().PhysicalCount(), 4u);  // the added one went too
        QVERIFY(!w.UndoAction()->isEnabled());
        QCOMPARE(w.UndoAction()->text(), QString("&Undo"));
        QVERIFY2(ui.Verify(), qPrintable(ui.Failures().join("\n")));
    }
};

QTEST_MAIN(ManyItemsTest)
#include "ManyItemsTest.moc"
