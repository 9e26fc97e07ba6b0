// The item editor driven as a user would: a real item table in a temporary
// folder, the controls set, the handlers called, and every message and
// question checked through the scripted window services.

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenuBar>
#include <QPushButton>
#include <QTabWidget>
#include <QtTest>

#include "../store/StoreTestSupport.h"
#include "AppPaths.h"
#include "ItemsTestSupport.h"
#include "PickListFile.h"
#include "ScriptedUiServices.h"
#include "Settings.h"
#include "ItemEditor.h"
#include "PickListDialog.h"
#include "TextRules.h"

using common::Answer;
using common::PickList;
using common::ScriptedUiServices;
using items::PickListFile;
using items::ItemEditor;
using items::PickListDialog;
using testsupport::FakeMain;

namespace {

const QString kCostMessage = "Invalid cost specified.  Please correct.";

void WriteFile(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(bytes);
}

QByteArray ReadFile(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return {};
    return f.readAll();
}

// Shows the editor the way the scripted services show a modal window (the
// main window's own test goes through them), so that the questions the
// user is asked can be scripted in the order they come.
// Lets a window's layout follow what changed inside it, however deep.
void Settle() {
    for (int i = 0; i < 8; ++i) QApplication::processEvents();
}

int Run(ScriptedUiServices&, ItemEditor& edit, const std::function<void()>& drive) {
    edit.setResult(QDialog::Rejected);
    edit.show();
    drive();
    if (edit.isVisible()) edit.reject();
    return edit.result();
}

}  // namespace

class EditorTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_home;
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<FakeMain> m_main;

    store::Table& Table() { return m_main->ItemTable(); }
    std::string Text(const char* field) { return Table().GetText(field); }

private slots:
    void initTestCase() {
        qputenv("XDG_DATA_HOME", m_home.filePath("data").toUtf8());
        qputenv("XDG_CONFIG_HOME", m_home.filePath("config").toUtf8());
        store::SetCurrentDateFormat(store::DateFormat('/', store::DateFormat::Order::MonthDayYear, false));
    }

    void init() {
        for (const auto& info : PickListFile::All()) QFile::remove(PickListFile::PathOf(info.list));
        common::AppSettings() = common::Settings();
        m_dir = std::make_unique<QTemporaryDir>();
        m_main = std::make_unique<FakeMain>(m_dir->path());
    }

    void cleanup() {
        m_main.reset();
        m_dir.reset();
    }

    void creationSetsTypingLimitsAndLayout() {
        ItemEditor edit(*m_main);
        QCOMPARE(edit.windowTitle(), QString("Edit"));
        QCOMPARE(edit.Notebook->count(), 5);
        QCOMPARE(edit.Notebook->tabText(0), QString("De&scription"));
        QCOMPARE(edit.Notebook->tabText(1), QString("&Worth"));
        QCOMPARE(edit.Notebook->tabText(2), QString("W&arranty"));
        QCOMPARE(edit.Notebook->tabText(3), QString("&Other"));
        QCOMPARE(edit.Notebook->tabText(4), QString("Pho&tos"));
        const std::pair<QLineEdit*, int> limits[] = {
            {edit.Item, 40},    {edit.Brand->lineEdit(), 20}, {edit.Model, 20},     {edit.Serial, 20},
            {edit.IDMarks, 60}, {edit.Comments, 110},         {edit.Category->lineEdit(), 20},
            {edit.Location->lineEdit(), 30}, {edit.TheOwner->lineEdit(), 30}, {edit.Value, 12},
            {edit.Cost, 12},    {edit.RepCost, 12},           {edit.WarNotes, 30},  {edit.Bought->lineEdit(), 40},
            {edit.UserDef[0], 40}, {edit.UserDef[3], 40}};
        for (const auto& [box, limit] : limits) QCOMPARE(box->maxLength(), limit);
        QCOMPARE(edit.Quantity->maxLength(), 32767);
        QVERIFY(!(edit.windowFlags() & Qt::WindowMinimizeButtonHint));
        QVERIFY(!(edit.windowFlags() & Qt::WindowMaximizeButtonHint));
        QStringList menus;
        for (QAction* a : edit.MainMenu->actions()) menus << a->text();
        QCOMPARE(menus, (QStringList{"&File", "&Edit", "&Help"}));
        QStringList file;
        for (QAction* a : edit.MainMenu->actions()[0]->menu()->actions())
            file << (a->isSeparator() ? QString("-") : a->text() + " " + a->shortcut().toString());
        QCOMPARE(file, (QStringList{"N&ew Record Ctrl+E", "&Clear Record Ctrl+L", "Up&date Record Ctrl+R",
                                    "&Update && Exit Ctrl+U", "-", "&Previous Record Ctrl+P", "&Next Record Ctrl+N",
                                    "-", "E&xit "}));
        QCOMPARE(edit.MainMenu->actions()[2]->shortcut(), QKeySequence("Ctrl+H"));
    }

    void addThenExitAddsNothingAndAsksNothing() {
        ScriptedUiServices ui;
        ItemEditor edit(*m_main);
        m_main->EditorMode() = 1;
        const int result = Run(ui, edit, [&] {
            QCOMPARE(edit.Cost->text(), QString("0"));
            QCOMPARE(edit.Quantity->text(), QString("1"));
            QCOMPARE(edit.TotCostLabel->text(), QString("0.00 "));
            edit.Cancel();
            QVERIFY(!edit.isVisible());
        });
        QCOMPARE(result, int(QDialog::Rejected));
        QCOMPARE(Table().RecordCount(), 0u);
        HALVENOR_VERIFY_UI(ui);
    }

    void exitAfterTypingAsksAndNoKeepsEditorOpen() {
        ScriptedUiServices ui;
        ItemEditor edit(*m_main);
        m_main->EditorMode() = 1;
        const QString question = "Data has changed.  Do you want to exit without updating?";
        ui.ExpectBeep().ExpectAsk("Warning", question, Answer::No);
        ui.ExpectBeep().ExpectAsk("Warning", question, Answer::Yes);
        Run(ui, edit, [&] {
            edit.Model->setText("X1");
            edit.Cancel();
            QVERIFY(edit.isVisible());
            edit.Cancel();
            QVERIFY(!edit.isVisible());
        });
        QCOMPARE(Table().RecordCount(), 0u);
        HALVENOR_VERIFY_UI(ui);
    }

    void copyThenExitAsksNothingAndCopyThenUpdateInsertsEqualRecord() {
        m_main->AddRecord({{"Item", "Television"}, {"Brand", "Sony"}, {"Cost", "499.99"}, {"Value", "300"}, {"RepCost", "550"}, {"Quantity", "2"},
                           {"PurchDate", "5/3/2024"}, {"Warranty", "Yes"}, {"UserDef2", "u2"}});
        ScriptedUiServices ui;
        ItemEditor edit(*m_main);
        Table().First();
        m_main->EditorMode() = 3;
        Run(ui, edit, [&] { edit.Cancel(); });
        QCOMPARE(Table().RecordCount(), 1u);
        Table().First();
        m_main->EditorMode() = 3;
        Run(ui, edit, [&] {
            QCOMPARE(edit.PurchDate->text(), QString("05/03/2024"));
            QVERIFY(edit.Warranty->isChecked());
            edit.SaveItemAndClose();
        });
        QCOMPARE(Table().RecordCount(), 2u);
        QCOMPARE(m_main->EditorMode(), 2);
        std::vector<std::vector<std::string>> records;
        for (Table().First(); !Table().Eof(); Table().Next()) {
            std::vector<std::string> r;
            for (int i = 0; i < store::kItemFieldCount; ++i) r.push_back(Table().GetText(i));
            records.push_back(r);
        }
        QCOMPARE(records.size(), size_t(2));
        QVERIFY(records[0] == records[1]);
        HALVENOR_VERIFY_UI(ui);
    }

    void validation_data() {
        QTest::addColumn<QString>("warDate");
        QTest::addColumn<QString>("purchDate");
        QTest::addColumn<QString>("cost");
        QTest::addColumn<QString>("value");
        QTest::addColumn<QString>("repCost");
        QTest::addColumn<QString>("quantity");
        QTest::addColumn<QString>("message");  // empty: accepted
        QTest::addColumn<int>("page");
        QTest::addColumn<QString>("focus");
        QTest::newRow("warranty date checked before everything")
            << "13/45/2024" << "99/99/2024" << "x" << "x" << "x" << "x"
            << "Invalid warranty date specified.  Please correct." << 2 << "WarDate";
        QTest::newRow("purchase date before the money fields")
            << "" << "02/30/2024" << "x" << "x" << "x" << "x" << "Invalid purchase date specified.  Please correct."
            << 2 << "PurchDate";
        QTest::newRow("comma in cost") << "" << "" << "1,000" << "x" << "x" << "x" << kCostMessage << 1 << "Cost";
        QTest::newRow("comma in value")
            << "" << "" << "1" << "1,000" << "x" << "x" << "Invalid value specified.  Please correct." << 1 << "Value";
        QTest::newRow("replacement cost after value")
            << "" << "" << "1" << "1" << "$5" << "x" << "Invalid replacement cost specified.  Please correct." << 1
            << "RepCost";
        QTest::newRow("quantity last") << "" << "" << "1" << "1" << "1" << "1.5"
                                       << "Invalid quantity specified.  Please correct." << 1 << "Quantity";
        QTest::newRow("empty quantity") << "" << "" << "1" << "1" << "1" << ""
                                        << "Invalid quantity specified.  Please correct." << 1 << "Quantity";
        QTest::newRow("1E3 and 1000 accepted") << "12/31/2025" << "01/02/2024" << "1000" << "1E3" << "-2.5" << "-1"
                                               << "" << 0 << "";
    }
    void validation() {
        QFETCH(QString, warDate);
        QFETCH(QString, purchDate);
        QFETCH(QString, cost);
        QFETCH(QString, value);
        QFETCH(QString, repCost);
        QFETCH(QString, quantity);
        QFETCH(QString, message);
        QFETCH(int, page);
        QFETCH(QString, focus);
        ScriptedUiServices ui;
        ItemEditor edit(*m_main);
        m_main->EditorMode() = 1;
        if (!message.isEmpty()) ui.ExpectMessage("Error", message);
        Run(ui, edit, [&] {
            edit.Item->setText("Lamp");
            edit.WarDate->setText(warDate);
            edit.PurchDate->setText(purchDate);
            edit.Cost->setText(cost);
            edit.Value->setText(value);
            edit.RepCost->setText(repCost);
            edit.Quantity->setText(quantity);
            const bool ok = edit.DoUpdate();
            QCOMPARE(ok, message.isEmpty());
            if (!ok) {
                QCOMPARE(edit.Notebook->currentIndex(), page);
                const std::map<QString, QWidget*> boxes = {{"WarDate", edit.WarDate}, {"PurchDate", edit.PurchDate},
                                                           {"Cost", edit.Cost},       {"Value", edit.Value},
                                                           {"RepCost", edit.RepCost}, {"Quantity", edit.Quantity}};
                QCOMPARE(edit.focusWidget(), boxes.at(focus));
                QCOMPARE(m_main->EditorMode(), 1);
            }
        });
        QCOMPARE(Table().RecordCount(), message.isEmpty() ? 1u : 0u);
        if (message.isEmpty()) {
            Table().First();
            QCOMPARE(Text("Value"), std::string("1000"));
            QCOMPARE(Text("Cost"), std::string("1000"));
            QCOMPARE(Text("RepCost"), std::string("-2.5"));
            QCOMPARE(Text("Quantity"), std::string("-1"));
            QCOMPARE(Table().GetDate(Table().FieldIndex("WarDate")), std::optional<store::Date>({2025, 12, 31}));
            QCOMPARE(Table().GetDate(Table().FieldIndex("PurchDate")), std::optional<store::Date>({2024, 1, 2}));
        }
        HALVENOR_VERIFY_UI(ui);
    }

    void emptyCostOfLoadedRecordIsRejectedUntilANumberIsTyped() {
        m_main->AddRecord({{"Item", "Chair"}});
        Table().First();
        ScriptedUiServices ui;
        ItemEditor edit(*m_main);
        m_main->EditorMode() = 2;
        ui.ExpectMessage("Error", kCostMessage);
        Run(ui, edit, [&] {
            QCOMPARE(edit.Cost->text(), QString());
            QCOMPARE(edit.Quantity->text(), QString());
            edit.SaveItem();
            QCOMPARE(edit.focusWidget(), edit.Cost);
            edit.Cost->setText("25");
            edit.Value->setText("0");
            edit.RepCost->setText("0");
            edit.Quantity->setText("1");
            edit.SaveItem();
            QVERIFY(!edit.HasUnsavedChanges());
            QVERIFY(edit.isVisible());
        });
        QCOMPARE(Table().RecordCount(), 1u);
        Table().First();
        QCOMPARE(Text("Cost"), std::string("25"));
        QCOMPARE(Text("Item"), std::string("Chair"));
        HALVENOR_VERIFY_UI(ui);
    }

    void totalsFollowQuantityAndAmounts() {
        ItemEditor edit(*m_main);
        edit.Quantity->setText("3");
        edit.Cost->setText("1234.5");
        edit.Value->setText("10.5");
        edit.RepCost->setText("-7");
        edit.CalcTotals();
        QCOMPARE(edit.TotCostLabel->text(), QString("3,703.50 "));
        QCOMPARE(edit.TotValueLabel->text(), QString("31.50 "));
        QCOMPARE(edit.TotRepCostLabel->text(), QString("-21.00 "));
    }

    // "1E300" is five characters and a valid number: its total used to grow
    // the fixed window by a thousand pixels, and its refusal printed three
    // hundred digits.
    void hugeNumbersNeverGrowTheWindowOrFillMessages() {
        ScriptedUiServices ui;
        ItemEditor edit(*m_main);
        m_main->EditorMode() = 1;
        ui.ExpectMessage("Error", std::nullopt);
        Run(ui, edit, [&] {
            edit.Notebook->setCurrentWidget(edit.WorthPage);
            Settle();
            const QSize size = edit.size();
            edit.Quantity->setText("3");
            edit.Cost->setText("1E300");
            edit.Value->setText("999999999999");
            edit.RepCost->setText("1E308");
            edit.CalcTotals();
            Settle();
            QCOMPARE(edit.size(), size);
            QCOMPARE(edit.TotCostLabel->text(), QString("3.00E+300 "));
            QCOMPARE(edit.TotValueLabel->text(), QString("2,999,999,999,997.00 "));
            QCOMPARE(edit.TotRepCostLabel->text(), QString("Overflow "));
            edit.Quantity->setText("2147483647");
            edit.CalcTotals();
            QCOMPARE(edit.TotValueLabel->text(), QString("2.15E+21 "));
            for (QLabel* total : {edit.TotCostLabel, edit.TotValueLabel, edit.TotRepCostLabel})
                QVERIFY(total->fontMetrics().horizontalAdvance(total->text()) <= total->contentsRect().width());
            Settle();
            QCOMPARE(edit.size(), size);
            edit.Quantity->setText("1");
            edit.RepCost->setText("0");
            QVERIFY(!edit.DoUpdate());
            Settle();
            QCOMPARE(edit.size(), size);
        });
        HALVENOR_VERIFY_UI(ui);
        const QString refusal = ui.Messages().value(0);
        QVERIFY2(refusal.size() < 80 && refusal.contains("1e+300"), qPrintable(refusal));
        QCOMPARE(Table().RecordCount(), 0u);
    }

    void brandWithTrailingBlankIsAddedOnce() {
        ScriptedUiServices ui;
        ItemEditor edit(*m_main);
        m_main->EditorMode() = 1;
        Run(ui, edit, [&] {
            edit.Item->setText("Radio");
            edit.Brand->setEditText("Sony ");
            edit.SaveItem();
            edit.Brand->setEditText("Sony ");
            edit.SaveItem();
            QCOMPARE(edit.Brand->currentText(), QString("Sony "));
        });
        QCOMPARE(edit.ListEntries(PickList::Brand), QStringList{"Sony"});
        QCOMPARE(m_main->GridPickList(PickList::Brand), QStringList{"Sony"});
        QCOMPARE(Table().RecordCount(), 1u);
        Table().First();
        QCOMPARE(Text("Brand"), std::string("Sony"));
        QCOMPARE(ReadFile(PickListFile::PathOf(PickList::Brand)), QByteArray("Sony\r\n"));
        HALVENOR_VERIFY_UI(ui);
    }

    void moves_data() {
        QTest::addColumn<int>("mode");
        QTest::addColumn<bool>("typed");
        QTest::addColumn<bool>("forward");
        QTest::addColumn<int>("answer");  // -1: no question expected
        QTest::addColumn<QString>("question");
        QTest::addColumn<QString>("shown");  // Item shown afterwards
        QTest::addColumn<int>("records");
        QTest::addColumn<int>("modeAfter");
        const QString notYet = "This record has not been updated yet.  Update this record before moving to the ";
        const QString changed = "Data has changed.  Update this record before moving to the ";
        QTest::newRow("add mode untouched form asks, No moves on")
            << 1 << false << true << int(Answer::No) << notYet + "next record?" << "B" << 2 << 2;
        QTest::newRow("add mode Cancel stays") << 1 << false << true << int(Answer::Cancel) << notYet + "next record?"
                                               << "" << 2 << 1;
        QTest::newRow("add mode Yes writes then moves")
            << 1 << true << false << int(Answer::Yes) << notYet + "previous record?" << "B" << 3 << 2;
        QTest::newRow("edit mode untouched moves without asking") << 2 << false << true << -1 << "" << "B" << 2 << 2;
        QTest::newRow("edit mode typed asks, No discards")
            << 2 << true << true << int(Answer::No) << changed + "next record?" << "B" << 2 << 2;
        QTest::newRow("edit mode at the last record reloads it")
            << 2 << false << true << -1 << "" << "B" << 2 << 2;
    }
    void moves() {
        QFETCH(int, mode);
        QFETCH(bool, typed);
        QFETCH(bool, forward);
        QFETCH(int, answer);
        QFETCH(QString, question);
        QFETCH(QString, shown);
        QFETCH(int, records);
        QFETCH(int, modeAfter);
        m_main->AddRecord({{"Item", "A"}, {"Cost", "1"}, {"Value", "1"}, {"RepCost", "1"}, {"Quantity", "1"}});
        m_main->AddRecord({{"Item", "B"}, {"Cost", "2"}, {"Value", "2"}, {"RepCost", "2"}, {"Quantity", "1"}});
        Table().First();
        if (QString(QTest::currentDataTag()).contains("last")) Table().Last();
        ScriptedUiServices ui;
        ItemEditor edit(*m_main);
        m_main->EditorMode() = mode;
        if (answer >= 0) ui.ExpectBeep().ExpectAsk("Warning", question, Answer(answer));
        Run(ui, edit, [&] {
            if (typed) edit.Item->setText("New");
            forward ? edit.ShowNextItem() : edit.ShowPreviousItem();
            if (!shown.isEmpty()) {
                QCOMPARE(edit.Item->text(), shown);
                QVERIFY(!edit.HasUnsavedChanges());
            }
        });
        QCOMPARE(int(Table().RecordCount()), records);
        QCOMPARE(m_main->EditorMode(), modeAfter);
        HALVENOR_VERIFY_UI(ui);
    }

    void newRecordKeepsUserDefinedTexts() {
        m_main->AddRecord({{"Item", "Desk"}, {"UserDef1", "u1"}, {"UserDef4", "u4"}, {"Cost", "9"}});
        Table().First();
        ScriptedUiServices ui;
        ItemEditor edit(*m_main);
        m_main->EditorMode() = 2;
        ui.ExpectBeep().ExpectAsk("Warning", "Data has changed.  Update this record before creating new one?",
                                  Answer::Cancel);
        Run(ui, edit, [&] {
            edit.Model->setText("changed");
            edit.StartNewItem();
            QCOMPARE(edit.Model->text(), QString("changed"));
            edit.Model->setText("");
            edit.StartNewItem();
            QCOMPARE(edit.Item->text(), QString());
            QCOMPARE(edit.Cost->text(), QString("0"));
            QCOMPARE(edit.Quantity->text(), QString("1"));
            QCOMPARE(edit.UserDef[0]->text(), QString("u1"));
            QCOMPARE(edit.UserDef[3]->text(), QString("u4"));
            QCOMPARE(m_main->EditorMode(), 1);
            QVERIFY(!edit.HasUnsavedChanges());
            edit.Cancel();
        });
        QCOMPARE(Table().RecordCount(), 1u);
        HALVENOR_VERIFY_UI(ui);
    }

    void clearLeavesModeAndSnapshot() {
        m_main->AddRecord({{"Item", "Desk"}, {"UserDef1", "u1"}, {"Cost", "9"}});
        Table().First();
        ScriptedUiServices ui;
        ItemEditor edit(*m_main);
        m_main->EditorMode() = 2;
        ui.ExpectBeep().ExpectAsk("Warning", std::nullopt, Answer::Yes);
        Run(ui, edit, [&] {
            QCOMPARE(edit.WorthItem->text(), QString("Item: Desk"));
            edit.ClearEntries();
            QCOMPARE(edit.Item->text(), QString());
            QCOMPARE(edit.UserDef[0]->text(), QString("u1"));
            QCOMPARE(edit.WorthItem->text(), QString("Item: Desk"));
            QCOMPARE(m_main->EditorMode(), 2);
            QVERIFY(edit.HasUnsavedChanges());
            edit.Cancel();
        });
        HALVENOR_VERIFY_UI(ui);
    }

    void enterMovesAlongTheChain() {
        ScriptedUiServices ui;
        ItemEditor edit(*m_main);
        m_main->EditorMode() = 1;
        Run(ui, edit, [&] {
            edit.activateWindow();
            QWidget* current = edit.Item;
            const auto& chain = edit.FocusChain();
            QCOMPARE(int(chain.size()), 21);
            for (size_t i = 1; i <= chain.size(); ++i) {
                QTest::keyClick(current, Qt::Key_Return);
                QWidget* expected = chain[i % chain.size()];
                QCOMPARE(edit.focusWidget() == expected ||
                             (qobject_cast<QComboBox*>(expected) && edit.focusWidget() ==
                                  static_cast<QComboBox*>(expected)->lineEdit()),
                         true);
                QVERIFY(edit.Notebook->currentWidget()->isAncestorOf(expected));
                current = expected;
            }
            // Back from UserDef4 to Item on the Description page.
            edit.Notebook->setCurrentWidget(edit.OtherPage);
            edit.UserDef[3]->setFocus();
            QTest::keyClick(edit.UserDef[3], Qt::Key_Enter);
            QCOMPARE(edit.Notebook->currentWidget(), edit.DescriptionPage);
            QCOMPARE(edit.focusWidget(), edit.Item);
            // The Warranty box is outside the chain: Enter does nothing.
            edit.Notebook->setCurrentWidget(edit.WarrantyPage);
            edit.Warranty->setFocus();
            QTest::keyClick(edit.Warranty, Qt::Key_Return);
            QCOMPARE(edit.focusWidget(), edit.Warranty);
            QVERIFY(!edit.Warranty->isChecked());
            QVERIFY(edit.isVisible());
        });
        HALVENOR_VERIFY_UI(ui);
    }

    // Edit boxes have their own meaning for some Ctrl keys (Ctrl+U empties
    // the line); the editor's shortcuts must win inside them.
    void menuShortcutsWorkInsideEditBoxes() {
        ScriptedUiServices ui;
        ItemEditor edit(*m_main);
        m_main->EditorMode() = 1;
        ui.ExpectHelp("Input Window");
        const int result = Run(ui, edit, [&] {
            QApplication::setActiveWindow(&edit);
            edit.Notebook->setCurrentWidget(edit.WarrantyPage);
            edit.Bought->setFocus();
            edit.Bought->setEditText("Big Store");
            QTest::keyClick(edit.Bought->lineEdit(), Qt::Key_H, Qt::ControlModifier);
            QTest::keyClick(edit.Bought->lineEdit(), Qt::Key_U, Qt::ControlModifier);
            QCOMPARE(edit.Bought->currentText(), QString("Big Store"));
        });
        QCOMPARE(result, int(QDialog::Accepted));
        QCOMPARE(Table().RecordCount(), 1u);
        Table().First();
        QCOMPARE(Text("BoughtFrom"), std::string("Big Store"));
        HALVENOR_VERIFY_UI(ui);
    }

    void captionsFollowFieldTitlesAndColoursTheEditGroup() {
        common::AppSettings().Field(1).title = "Thing";
        common::AppSettings().Field(9).title = "Count";
        common::AppSettings().Field(14).title = "Guarantee";
        common::AppSettings().Field(19).title = "Room";
        auto& group = common::AppSettings().scheme.Group(common::WindowGroup::Edit);
        group[common::ColorSlot::EditBackground] = QColor(1, 2, 3);
        group[common::ColorSlot::MajorTitle] = QColor(200, 0, 0);
        group[common::ColorSlot::MinorTitle] = QColor(0, 0, 200);
        group[common::ColorSlot::ComboText] = QColor(0, 99, 0);
        ScriptedUiServices ui;
        ItemEditor edit(*m_main);
        m_main->EditorMode() = 1;
        Run(ui, edit, [&] {
            edit.Item->setText("Vase");
            edit.ShowItemLine();
            QCOMPARE(edit.ItemLab->text(), QString("Thing"));
            QCOMPARE(edit.QuantityLab->text(), QString("Quantity"));
            QCOMPARE(edit.Warranty->text(), QString("Guarantee"));
            QCOMPARE(edit.UserDefLab[0]->text(), QString("Room"));
            QCOMPARE(edit.CommentsLab->text(), QString("Description"));
            QCOMPARE(edit.OtherItem->text(), QString("Thing: Vase"));
            QCOMPARE(edit.Item->palette().color(QPalette::Base), QColor(1, 2, 3));
            QCOMPARE(edit.WarDate->palette().color(QPalette::Base), QColor(1, 2, 3));
            QCOMPARE(edit.TotLabel->palette().color(QPalette::WindowText), QColor(200, 0, 0));
            QCOMPARE(edit.CostLab->palette().color(QPalette::WindowText), QColor(0, 0, 200));
            QCOMPARE(edit.Brand->palette().color(QPalette::Text), QColor(0, 99, 0));
            QCOMPARE(edit.Notebook->currentWidget(), edit.DescriptionPage);
        });
        HALVENOR_VERIFY_UI(ui);
    }

    void editingCommandsActOnEditAndComboBoxesOnly() {
        ScriptedUiServices ui;
        ItemEditor edit(*m_main);
        m_main->EditorMode() = 1;
        Run(ui, edit, [&] {
            edit.activateWindow();
            edit.Model->setText("Hello");
            edit.Model->setFocus();
            edit.Model->selectAll();
            edit.CutText();
            QCOMPARE(edit.Model->text(), QString());
            edit.Brand->setFocus();
            edit.PasteText();
            QCOMPARE(edit.Brand->currentText(), QString("Hello"));
            edit.Brand->lineEdit()->setSelection(0, 2);
            edit.DeleteSelectedText();
            QCOMPARE(edit.Brand->currentText(), QString("llo"));
            edit.DeleteSelectedText();  // nothing selected: nothing removed
            QCOMPARE(edit.Brand->currentText(), QString("llo"));
            QApplication::clipboard()->setText("kept");
            edit.Notebook->setCurrentWidget(edit.WarrantyPage);
            edit.WarDate->setText("01/02/2024");
            edit.WarDate->setFocus();
            edit.WarDate->selectAll();
            edit.CutText();
            QCOMPARE(edit.WarDate->text(), QString("01/02/2024"));
            QCOMPARE(QApplication::clipboard()->text(), QString("kept"));
        });
        HALVENOR_VERIFY_UI(ui);
    }

    void helpAndBlankDate() {
        ScriptedUiServices ui;
        ItemEditor edit(*m_main);
        m_main->EditorMode() = 1;
        ui.ExpectHelp("Input Window");
        Run(ui, edit, [&] {
            edit.ShowHelp();
            edit.PurchDate->setText("01/02/2024");
            edit.ClearPurchaseDate();
            QCOMPARE(common::TextRules::TrimSpaces(ItemEditor::DateText(*edit.PurchDate)), QString("/  /"));
            QVERIFY(edit.DoUpdate());
        });
        Table().First();
        QVERIFY(Table().IsBlank(Table().FieldIndex("PurchDate")));
        HALVENOR_VERIFY_UI(ui);
    }

    // A character the table's code page cannot hold is refused, naming the
    // field, and nothing is written; it is never stored as another one.
    void textOutsideTheCodePageIsRefused() {
        m_main->AddRecord({{"Item", "Clock"}, {"Model", "M1"}, {"Cost", "1"}, {"Value", "1"}, {"RepCost", "1"},
                           {"Quantity", "1"}});
        Table().First();
        ScriptedUiServices ui;
        ItemEditor edit(*m_main);
        m_main->EditorMode() = 2;
        ui.ExpectMessage("Error", std::nullopt);
        Run(ui, edit, [&] {
            edit.Notebook->setCurrentWidget(edit.OtherPage);
            edit.UserDef[1]->setText(QString::fromUtf8("Snow \u2603"));
            edit.Model->setText("M2");
            QVERIFY(!edit.DoUpdate());
            QCOMPARE(edit.Notebook->currentWidget(), edit.OtherPage);
            QCOMPARE(edit.focusWidget(), edit.UserDef[1]);
            QVERIFY(ui.Messages().join(" ").contains("UserDef2"));
            QCOMPARE(Table().CurrentState(), store::Table::State::Browse);
            edit.UserDef[1]->setText("Snow");
            QVERIFY(edit.DoUpdate());
        });
        QCOMPARE(Table().RecordCount(), 1u);
        Table().First();
        QCOMPARE(Text("Model"), std::string("M2"));
        QCOMPARE(Text("UserDef2"), std::string("Snow"));
        HALVENOR_VERIFY_UI(ui);
    }

    void refusedFirstUpdateOfACopyNeverEditsTheOriginal() {
        m_main->AddRecord({{"Item", "Clock"}, {"Cost", "1"}, {"Value", "1"}, {"RepCost", "1"}, {"Quantity", "1"}});
        Table().First();
        ScriptedUiServices ui;
        ItemEditor edit(*m_main);
        m_main->EditorMode() = 3;
        ui.ExpectMessage("Error", std::nullopt);
        Run(ui, edit, [&] {
            edit.Item->setText(QString::fromUtf8("Clock \u2603"));
            QVERIFY(!edit.DoUpdate());
            QCOMPARE(m_main->EditorMode(), 3);
            edit.Item->setText("Clock 2");
            QVERIFY(edit.DoUpdate());
        });
        QCOMPARE(Table().RecordCount(), 2u);
        QCOMPARE(testsupport::ItemsInOrder(Table()), (std::vector<std::string>{"Clock", "Clock 2"}));
        HALVENOR_VERIFY_UI(ui);
    }

    void longStoredValueIsShownWhole() {
        m_main->AddRecord({{"Item", "Safe"}, {"Cost", "12345678.1234"}, {"Value", "1"}, {"RepCost", "1"},
                           {"Quantity", "1"}});
        Table().First();
        ScriptedUiServices ui;
        ItemEditor edit(*m_main);
        m_main->EditorMode() = 2;
        Run(ui, edit, [&] {
            QCOMPARE(edit.Cost->text(), QString("12345678.1234"));
            QVERIFY(edit.DoUpdate());
            edit.ClearEntries();
            QCOMPARE(edit.Cost->maxLength(), 12);
        });
        Table().First();
        QCOMPARE(Text("Cost"), std::string("12345678.1234"));
        HALVENOR_VERIFY_UI(ui);
    }

    void editOfAnEmptyTableKeepsWhatWasTyped() {
        ScriptedUiServices ui;
        ItemEditor edit(*m_main);
        m_main->EditorMode() = 2;
        Run(ui, edit, [&] {
            edit.Item->setText("First");
            edit.Cost->setText("1");
            edit.Value->setText("1");
            edit.RepCost->setText("1");
            edit.Quantity->setText("1");
            QVERIFY(edit.DoUpdate());
        });
        QCOMPARE(testsupport::ItemsInOrder(Table()), std::vector<std::string>{"First"});
        HALVENOR_VERIFY_UI(ui);
    }

    void fileWithBlankLinesLoadsTwoEntriesIntoBothCopies() {
        WriteFile(PickListFile::PathOf(PickList::Brand), "Sony\r\n\r\n   \r\nZenith\r\n");
        WriteFile(PickListFile::PathOf(PickList::Owner), " Anna\r\n");
        ItemEditor edit(*m_main);
        QCOMPARE(edit.ListEntries(PickList::Brand), (QStringList{"Sony", "Zenith"}));
        QCOMPARE(m_main->GridPickList(PickList::Brand), (QStringList{"Sony", "Zenith"}));
        QCOMPARE(edit.ListEntries(PickList::Owner), QStringList{" Anna"});
        QCOMPARE(edit.ListEntries(PickList::Category), QStringList{});
        // Loading never puts an entry into the box itself.
        QCOMPARE(edit.Brand->currentText(), QString());
        // The trimmed form of a leading-blank entry is a second entry.
        ItemEditor::AddToList(*edit.TheOwner, "Anna");
        QCOMPARE(edit.ListEntries(PickList::Owner), (QStringList{" Anna", "Anna"}));
    }

    void listsWrittenOnEveryCloseAndReadBack() {
        {
            ScriptedUiServices ui;
            ItemEditor edit(*m_main);
            edit.SetListEntries(PickList::Location, {"Attic", " Den", "Attic"});
            edit.SetListEntries(PickList::Bought, {QString::fromUtf8("Caf\u00e9 Shop")});
            m_main->EditorMode() = 1;
            // The close box: no question, nothing written to the table.
            Run(ui, edit, [&] {
                edit.Item->setText("typed");
                edit.close();
            });
            QCOMPARE(Table().RecordCount(), 0u);
            HALVENOR_VERIFY_UI(ui);
        }
        QCOMPARE(ReadFile(PickListFile::PathOf(PickList::Location)), QByteArray("Attic\r\n Den\r\nAttic\r\n"));
        QCOMPARE(ReadFile(PickListFile::PathOf(PickList::Bought)), QByteArray("Caf\xe9 Shop\r\n"));
        QCOMPARE(ReadFile(PickListFile::PathOf(PickList::Brand)), QByteArray());
        ItemEditor again(*m_main);
        QCOMPARE(again.ListEntries(PickList::Location), (QStringList{"Attic", " Den", "Attic"}));
        QCOMPARE(m_main->GridPickList(PickList::Bought), QStringList{QString::fromUtf8("Caf\u00e9 Shop")});
    }

    void maintenanceDialog() {
        WriteFile(PickListFile::PathOf(PickList::Bought), "Shop A\r\nShop B\r\n");
        ItemEditor edit(*m_main);
        ScriptedUiServices ui;
        const QString title = "Edit \"Purchased From\" List";
        // Cancel after additions and deletions changes nothing.
        ui.ExpectModal(title, [&](QDialog& d) {
            auto& box = static_cast<PickListDialog&>(d);
            QCOMPARE(box.TheList->currentRow(), 0);
            QCOMPARE(box.AddInfo->maxLength(), 40);
            box.AddInfo->setText("  Shop C ");
            box.AddEntry();
            box.DeleteEntry();
            QCOMPARE(box.Entries(), (QStringList{"Shop B", "Shop C"}));
            box.Cancel();
        });
        {
            PickListDialog box(edit, *m_main, PickList::Bought);
            QCOMPARE(box.ListKind(), 3);
            common::Ui().ShowModal(box);
        }
        QCOMPARE(edit.ListEntries(PickList::Bought), (QStringList{"Shop A", "Shop B"}));
        QCOMPARE(m_main->GridPickList(PickList::Bought), (QStringList{"Shop A", "Shop B"}));
        QCOMPARE(ReadFile(PickListFile::PathOf(PickList::Bought)), QByteArray("Shop A\r\nShop B\r\n"));

        // Add twice, delete the last of three, Ok replaces both copies.
        ui.ExpectModal("Edit \"Brand\" List", [&](QDialog& d) {
            auto& box = static_cast<PickListDialog&>(d);
            QCOMPARE(box.TheList->count(), 0);
            QCOMPARE(box.TheList->currentRow(), -1);
            box.DeleteEntry();  // nothing selected: nothing happens
            for (const char* v : {"Sony", "Sony", "Zenith"}) {
                box.AddInfo->setText(v);
                box.AddEntry();
            }
            box.AddInfo->setText("   ");
            box.AddEntry();
            QCOMPARE(box.AddInfo->text(), QString());
            QCOMPARE(box.Entries(), (QStringList{"Sony", "Sony", "Zenith"}));
            box.TheList->setCurrentRow(2);
            box.DeleteEntry();
            QCOMPARE(box.TheList->currentRow(), 1);
            box.DeleteEntry();
            box.DeleteEntry();
            QCOMPARE(box.TheList->count(), 0);
            QCOMPARE(box.TheList->currentItem(), nullptr);
            box.AddInfo->setText("Acme");
            box.AddEntry();
            box.StoreList();
        });
        {
            PickListDialog box(edit, *m_main, PickList::Brand);
            QCOMPARE(common::Ui().ShowModal(box), int(QDialog::Accepted));
        }
        QCOMPARE(edit.ListEntries(PickList::Brand), QStringList{"Acme"});
        QCOMPARE(m_main->GridPickList(PickList::Brand), QStringList{"Acme"});
        // The file follows when the editor closes.
        QVERIFY(!QFile::exists(PickListFile::PathOf(PickList::Brand)));
        edit.SaveAllLists();
        QCOMPARE(ReadFile(PickListFile::PathOf(PickList::Brand)), QByteArray("Acme\r\n"));
        HALVENOR_VERIFY_UI(ui);
    }

    // Everything typed reaches the file as typed: an independent reader
    // gives back the same values.
    void everyFieldRoundTripsThroughTheFile() {
        ScriptedUiServices ui;
        ItemEditor edit(*m_main);
        m_main->EditorMode() = 1;
        Run(ui, edit, [&] {
            edit.Item->setText("Television");
            edit.Brand->setEditText("Sony");
            edit.Model->setText("KV-32");
            edit.Serial->setText("SN 0042");
            edit.IDMarks->setText("Scratch on the left side");
            edit.Comments->setText(QString::fromUtf8("Caf\u00e9 table, 32\" screen \u20ac"));
            edit.Category->setEditText("Electronics");
            edit.Location->setEditText("Living Room");
            edit.TheOwner->setEditText("Anna");
            edit.Quantity->setText("3");
            edit.Value->setText("250.75");
            edit.Cost->setText("1234.5");
            edit.RepCost->setText("1E3");
            edit.Warranty->setChecked(true);
            edit.WarDate->setText("12/31/2026");
            edit.WarNotes->setText("Call the shop");
            edit.PurchDate->setText("01/15/2024");
            edit.Bought->setEditText("Big Store");
            for (int i = 0; i < 4; ++i) edit.UserDef[size_t(i)]->setText(QString("User %1").arg(i + 1));
            edit.SaveItemAndClose();
        });
        HALVENOR_VERIFY_UI(ui);
        const std::string path = Table().DataFilePath();
        Table().Close();
        const QJsonObject json = testsupport::ReadWithDbfread(QString::fromStdString(path), "cp1252");
        const QJsonArray records = json["records"].toArray();
        QCOMPARE(records.size(), 1);
        const QJsonArray r = records[0].toArray();
        QStringList got;
        for (const auto& v : r) got << v.toString();
        const QStringList expected{"Television", "Sony", "KV-32", "SN 0042", "Living Room",
                                   QString::fromUtf8("Caf\u00e9 table, 32\" screen \u20ac"), "Big Store",
                                   "Scratch on the left side", "3", "20240115", "1234.5", "Electronics", "1000.0",
                                   "Yes", "20261231", "Call the shop", "Anna", "250.75", "User 1", "User 2",
                                   "User 3", "User 4"};
        QCOMPARE(got, expected);
        // And the lists grew by the five texts.
        QCOMPARE(ReadFile(PickListFile::PathOf(PickList::Bought)), QByteArray("Big Store\r\n"));
        QCOMPARE(ReadFile(PickListFile::PathOf(PickList::Owner)), QByteArray("Anna\r\n"));
    }
};

QTEST_MAIN(EditorTest)
#include "EditorTest.moc"
