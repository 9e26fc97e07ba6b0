// Editing in the main window's grid: allowed only when the viewer options
// say so, every value posted through the engine and checked against the
// field's type first, pick-list fields through combo boxes, Warranty as a
// check box, and the navigator's buttons acting on the grid.

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QTableView>
#include <QToolButton>
#include <QtTest>

#include "AppearanceTestSupport.h"
#include "GridDelegate.h"
#include "ItemGridModel.h"
#include "RecordNavigator.h"

using common::AppSettings;
using common::ScriptedUiServices;
using shell::RecordNavigator;

namespace {

// Text of a field of a record, read through a handle of its own so that
// only what reached the file counts.
QString StoredText(shell::MainWindow& main, uint32_t recno, const char* field) {
    store::Table reader;
    reader.SetDirectory(main.ItemTable().Directory());
    reader.SetTableName(main.ItemTable().TableName());
    reader.SetReadOnly(true);
    reader.Open();
    return QString::fromStdString(reader.ViewOf(recno).DisplayText(reader.FieldIndex(field)));
}

}  // namespace

class GridEditingTest : public QObject {
    Q_OBJECT

    appearance_test::MainWindowFixture m_fixture;
    shell::MainWindow& Main() { return m_fixture.Main(); }
    shell::ItemGridModel& Model() { return *Main().GridModel(); }

    void AllowEditing(bool on) {
        AppSettings().gridFieldEditing = on;
        Main().SetViewerOptions();
    }
    QModelIndex Cell(uint32_t recno, int position) {
        const int row = Model().RowOfRecord(recno);
        const auto& columns = Model().Columns();
        const int column = int(std::find(columns.begin(), columns.end(), position) - columns.begin());
        return Model().index(row, column);
    }

private slots:
    void initTestCase() { m_fixture.Start(); }
    void init() { m_fixture.Reset(); }
    void cleanupTestCase() { m_fixture.Finish(); }

    void editingFollowsTheOption_data() {
        QTest::addColumn<bool>("editing");
        QTest::newRow("field editing off selects whole rows") << false;
        QTest::newRow("field editing on edits cells") << true;
    }
    void editingFollowsTheOption() {
        QFETCH(bool, editing);
        const uint32_t recno = m_fixture.AddItem("Lamp");
        AllowEditing(editing);
        QTableView* grid = Main().Grid();
        QCOMPARE(grid->selectionBehavior(),
                 editing ? QAbstractItemView::SelectItems : QAbstractItemView::SelectRows);
        QCOMPARE(grid->editTriggers() == QAbstractItemView::NoEditTriggers, !editing);
        QCOMPARE(bool(Model().flags(Cell(recno, 1)) & Qt::ItemIsEditable), editing);
        QCOMPARE(bool(Model().flags(Cell(recno, 14)) & Qt::ItemIsUserCheckable), editing);
        for (auto b : {RecordNavigator::Insert, RecordNavigator::Edit, RecordNavigator::Post, RecordNavigator::Cancel})
            QCOMPARE(Main().Navigator()->ButtonAt(b)->isEnabled(), editing);
        for (auto b : {RecordNavigator::First, RecordNavigator::Delete, RecordNavigator::Refresh})
            QVERIFY(Main().Navigator()->ButtonAt(b)->isEnabled());
        // With editing off nothing can be written from the grid.
        QCOMPARE(Model().setData(Cell(recno, 1), "Table", Qt::EditRole), editing);
        QCOMPARE(StoredText(Main(), recno, "Item"), editing ? QString("Table") : QString("Lamp"));
    }

    void acceptedValuesArePostedThroughTheEngine_data() {
        QTest::addColumn<int>("position");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("stored");
        QTest::newRow("text") << 1 << "Reading lamp" << "Reading lamp";
        QTest::newRow("integer") << 9 << "3" << "3";
        QTest::newRow("float") << 11 << "1234.5" << "1234.5";
        QTest::newRow("date") << 10 << "3/15/1999" << "3/15/99";
        QTest::newRow("blank date") << 15 << "" << "";
        QTest::newRow("blank number") << 18 << " " << "";
    }
    void acceptedValuesArePostedThroughTheEngine() {
        QFETCH(int, position);
        QFETCH(QString, typed);
        QFETCH(QString, stored);
        const uint32_t recno = m_fixture.AddItem("Lamp");
        AllowEditing(true);
        ScriptedUiServices ui;
        QSignalSpy posted(&Model(), &shell::ItemGridModel::RecordPosted);
        QVERIFY(Model().setData(Cell(recno, position), typed, Qt::EditRole));
        HALVENOR_VERIFY_UI(ui);
        QCOMPARE(posted.count(), 1);
        QCOMPARE(StoredText(Main(), recno, std::string(store::SchemaAt(position).name).c_str()), stored);
        QCOMPARE(Main().ItemTable().CurrentState(), store::Table::State::Browse);
    }

    void refusedValueLeavesTheRecordUnchanged_data() {
        QTest::addColumn<int>("position");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("message");
        QTest::newRow("word in quantity") << 9 << "two" << "\"two\" is not a valid whole number for Quantity.";
        QTest::newRow("fraction in quantity") << 9 << "1.5" << "\"1.5\" is not a valid whole number for Quantity.";
        QTest::newRow("comma in cost") << 11 << "12,50" << "\"12,50\" is not a valid number for Cost.";
        QTest::newRow("word in value") << 18 << "lots" << "\"lots\" is not a valid number for Value.";
        QTest::newRow("impossible date") << 10 << "02/30/1999"
                                         << "\"02/30/1999\" is not a valid date for Purchase Date.";
        QTest::newRow("word in date") << 15 << "soon" << "\"soon\" is not a valid date for Warranty Date.";
        QTest::newRow("text too long for brand") << 2 << "A brand name far longer than twenty" << "";
    }
    void refusedValueLeavesTheRecordUnchanged() {
        QFETCH(int, position);
        QFETCH(QString, typed);
        QFETCH(QString, message);
        const uint32_t recno = m_fixture.AddItem("Lamp", "10");
        AllowEditing(true);
        QStringList before;
        for (int p = 1; p <= 22; ++p)
            before << StoredText(Main(), recno, std::string(store::SchemaAt(p).name).c_str());
        ScriptedUiServices ui;
        if (message.isEmpty()) ui.ExpectMessage("Error");
        else ui.ExpectMessage("Error", message);
        QVERIFY(!Model().setData(Cell(recno, position), typed, Qt::EditRole));
        HALVENOR_VERIFY_UI(ui);
        QStringList after;
        for (int p = 1; p <= 22; ++p)
            after << StoredText(Main(), recno, std::string(store::SchemaAt(p).name).c_str());
        QCOMPARE(after, before);
        QCOMPARE(Main().ItemTable().CurrentState(), store::Table::State::Browse);
        QCOMPARE(Cell(recno, position).data(Qt::EditRole).toString(), before[position - 1]);
    }

    void refusedValueTypedIntoTheCellEditor() {
        const uint32_t recno = m_fixture.AddItem("Lamp", "10");
        AllowEditing(true);
        auto* delegate = qobject_cast<shell::GridDelegate*>(Main().Grid()->itemDelegate());
        QVERIFY(delegate);
        const QModelIndex cost = Cell(recno, 11);
        std::unique_ptr<QWidget> editor(delegate->createEditor(Main().Grid()->viewport(), {}, cost));
        auto* edit = qobject_cast<QLineEdit*>(editor.get());
        QVERIFY(edit);
        delegate->setEditorData(edit, cost);
        QCOMPARE(edit->text(), QString("10"));
        edit->setText("ten");
        ScriptedUiServices ui;
        ui.ExpectMessage("Error", "\"ten\" is not a valid number for Cost.");
        delegate->setModelData(edit, &Model(), cost);
        HALVENOR_VERIFY_UI(ui);
        QCOMPARE(StoredText(Main(), recno, "Cost"), QString("10"));
    }

    void pickListFieldsEditThroughComboBoxes_data() {
        QTest::addColumn<int>("position");
        QTest::addColumn<int>("list");
        QTest::newRow("brand") << 2 << int(common::PickList::Brand);
        QTest::newRow("location") << 5 << int(common::PickList::Location);
        QTest::newRow("purchased from") << 7 << int(common::PickList::Bought);
        QTest::newRow("category") << 12 << int(common::PickList::Category);
        QTest::newRow("owner") << 17 << int(common::PickList::Owner);
    }
    void pickListFieldsEditThroughComboBoxes() {
        QFETCH(int, position);
        QFETCH(int, list);
        const uint32_t recno = m_fixture.AddItem("Lamp");
        AllowEditing(true);
        Main().GridPickList(common::PickList(list)) = {"First choice", "Second choice"};
        auto* delegate = qobject_cast<shell::GridDelegate*>(Main().Grid()->itemDelegate());
        const QModelIndex cell = Cell(recno, position);
        std::unique_ptr<QWidget> editor(delegate->createEditor(Main().Grid()->viewport(), {}, cell));
        auto* combo = qobject_cast<QComboBox*>(editor.get());
        QVERIFY(combo);
        QCOMPARE(combo->count(), 2);
        QCOMPARE(combo->itemText(1), QString("Second choice"));
        combo->setCurrentIndex(1);
        ScriptedUiServices ui;
        delegate->setModelData(combo, &Model(), cell);
        HALVENOR_VERIFY_UI(ui);
        QCOMPARE(StoredText(Main(), recno, std::string(store::SchemaAt(position).name).c_str()),
                 QString("Second choice"));
        // Other fields edit through plain boxes.
        std::unique_ptr<QWidget> plain(delegate->createEditor(Main().Grid()->viewport(), {}, Cell(recno, 3)));
        QVERIFY(qobject_cast<QLineEdit*>(plain.get()));
    }

    void warrantyIsACheckBoxStoringYesOrNo() {
        const uint32_t recno = m_fixture.AddItem("Lamp");
        AllowEditing(true);
        const QModelIndex warranty = Cell(recno, 14);
        QCOMPARE(warranty.data(Qt::CheckStateRole).toInt(), int(Qt::Unchecked));
        QVERIFY(!warranty.data(Qt::DisplayRole).isValid());
        QVERIFY(Model().setData(warranty, Qt::Checked, Qt::CheckStateRole));
        QCOMPARE(StoredText(Main(), recno, "Warranty"), QString("Yes"));
        QCOMPARE(warranty.data(Qt::CheckStateRole).toInt(), int(Qt::Checked));
        QVERIFY(Model().setData(warranty, Qt::Unchecked, Qt::CheckStateRole));
        QCOMPARE(StoredText(Main(), recno, "Warranty"), QString("No"));
    }

    void navigatorDeleteAsksFirst_data() {
        QTest::addColumn<int>("answer");
        QTest::addColumn<uint32_t>("remaining");
        QTest::newRow("yes deletes") << int(common::Answer::Yes) << 1u;
        QTest::newRow("no keeps") << int(common::Answer::No) << 2u;
    }
    void navigatorDeleteAsksFirst() {
        QFETCH(int, answer);
        QFETCH(uint32_t, remaining);
        m_fixture.AddItem("Lamp");
        m_fixture.AddItem("Chair");
        ScriptedUiServices ui;
        ui.ExpectAsk("Confirm", "Delete this record?", common::Answer(answer));
        Main().Navigator()->ButtonAt(RecordNavigator::Delete)->click();
        HALVENOR_VERIFY_UI(ui);
        QCOMPARE(Main().ItemTable().RecordCount(), remaining);
        QCOMPARE(Main().CountLabel()->text(), QString::number(remaining));
    }

    void navigatorInsertThenCancelLeavesNoRecord() {
        m_fixture.AddItem("Lamp");
        AllowEditing(true);
        ScriptedUiServices ui;
        Main().Navigator()->ButtonAt(RecordNavigator::Insert)->click();
        QCOMPARE(Main().ItemTable().RecordCount(), 2u);
        QCOMPARE(Main().CountLabel()->text(), QString("2"));
        const uint32_t added = Main().ItemTable().RecNo();
        QCOMPARE(StoredText(Main(), added, "Warranty"), QString("No"));
        QCOMPARE(StoredText(Main(), added, "Quantity"), QString("1"));
        Main().Navigator()->ButtonAt(RecordNavigator::Cancel)->click();
        HALVENOR_VERIFY_UI(ui);
        QCOMPARE(Main().ItemTable().RecordCount(), 1u);
        QCOMPARE(Main().CountLabel()->text(), QString("1"));
    }

    void navigatorInsertThenPostKeepsTheRecord() {
        AllowEditing(true);
        ScriptedUiServices ui;
        Main().Navigator()->ButtonAt(RecordNavigator::Insert)->click();
        const uint32_t added = Main().ItemTable().RecNo();
        QVERIFY(Model().setData(Cell(added, 1), "Kettle", Qt::EditRole));
        Main().Navigator()->ButtonAt(RecordNavigator::Post)->click();
        Main().Navigator()->ButtonAt(RecordNavigator::Cancel)->click();  // nothing left to cancel
        HALVENOR_VERIFY_UI(ui);
        QCOMPARE(Main().ItemTable().RecordCount(), 1u);
        QCOMPARE(StoredText(Main(), added, "Item"), QString("Kettle"));
    }
};

QTEST_MAIN(GridEditingTest)
#include "GridEditingTest.moc"
