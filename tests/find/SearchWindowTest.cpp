// The search window as the user meets it: the grid and its titles, the
// "..." cells and the options dialog, the edit templates, the buttons and
// their messages, and what the item table delivers after "&Ok" — including
// that the search in force stays as it is while the window is shown again
// or left with "E&xit".

#include <QLineEdit>
#include <QListWidget>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QHeaderView>
#include <QtTest>

#include "FakeMainContext.h"
#include "FindTestSupport.h"
#include "ScriptedUiServices.h"
#include "SearchCellDelegate.h"
#include "Settings.h"
#include "SearchWindow.h"
#include "SearchOperatorList.h"
#include "WindowLayout.h"

using namespace find;
using common::ScriptedUiServices;

namespace {

const QString kNoCriteria = "No search criteria entered.";
const QString kInvalid = "Invalid search criteria entered.  Please correct.";
const QString kNoMatch = "No valid matches found.  Search criteria will be cleared.";
const QString kTooMany =
    "More than 75 search items have been entered.  This exceeds the maximum allowable.  Search criteria will be "
    "cleared.";

// Chooses an operator (line 0 to 3) or pick-list entry through the "..." cell.
void ChooseOption(ScriptedUiServices& ui, SearchWindow& search, int position, int line) {
    ui.ExpectModal("Search Options", [line](QDialog& d) {
        auto& options = static_cast<SearchOperatorList&>(d);
        options.OptionsList->setCurrentRow(line);
        options.ChooseOperator();
    });
    // Pressed and released with the mouse, as a user does.
    search.SearchGrid->scrollToItem(search.SearchGrid->item(position, 1));
    const QPoint cell = search.SearchGrid->visualItemRect(search.SearchGrid->item(position, 1)).center();
    QTest::mouseClick(search.SearchGrid->viewport(), Qt::LeftButton, {}, cell);
}

void SetCell(SearchWindow& search, int position, const QString& text) { search.SearchGrid->item(position, 2)->setText(text); }

}  // namespace

class SearchWindowTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void gridRowsTitlesAndOptionCells();
    void columnWidthsFollowTheWindowSizeFactor();
    void templates_data();
    void templates();
    void cellTextsKeepTheirLiterals_data();
    void cellTextsKeepTheirLiterals();
    void operatorChoiceIsKeptForTheRun();
    void optionsDialogNeedsPressAndReleaseInOneCell();
    void pickListEntryBecomesTheCriterion_data();
    void pickListEntryBecomesTheCriterion();
    void typingARangeThroughTheCellEditor();
    void altKeysNeverTypeIntoACell();
    void anEditorShowsTheCriterionItOpensOn();
    void okWithAnEmptyGridChangesNothing();
    void okAppliesTheSearch();
    void oneMatchIsASearch();
    void noMatchEndsTheSearch();
    void findMoreGivesTenLevelsThatOrTogether();
    void invalidCriterionKeepsTheWindowOnItsRow();
    void tooManyCriteriaClearEverything();
    void searchInForceSurvivesShowingAgainAndExit();
    void newSearchReplacesTheOneInForce();
    void helpOpensTheSearchWindowPage();

private:
    void Show(SearchWindow& search);

    QTemporaryDir m_home;
    QTemporaryDir m_dir;
    std::unique_ptr<findtest::FakeMainContext> m_context;
};

void SearchWindowTest::initTestCase() {
    qputenv("XDG_DATA_HOME", (m_home.path() + "/data").toUtf8());
    qputenv("XDG_CONFIG_HOME", (m_home.path() + "/config").toUtf8());
    store::SetCurrentDateFormat(store::DateFormat('/', store::DateFormat::Order::MonthDayYear, true));
}

void SearchWindowTest::init() {
    common::SetWindowSizeFactor(1.0);
    m_context = std::make_unique<findtest::FakeMainContext>();
    store::Table& t = m_context->ItemTable();
    findtest::CreateItemTable(t, m_dir.path());
    findtest::AddItem(t, {{"Item", "tv"}, {"Brand", "Sony"}, {"Category", "Video"}, {"Cost", "650"}});
    findtest::AddItem(t, {{"Item", "radio"}, {"Brand", "SONY"}, {"Category", "Audio"}, {"Cost", "40"}});
    findtest::AddItem(t, {{"Item", "saw"}, {"Brand", "Jackson"}, {"Category", "Tools"}, {"Cost", "900"}});
    findtest::AddItem(t, {{"Item", "drill"}, {"Brand", "Bose"}, {"Category", "Tools"}});
    findtest::AddItem(t, {{"Item", "cup"}, {"Category", "Kitchen"}, {"Cost", "3"}, {"PurchDate", "5/6/2001"}});
    t.First();
}

void SearchWindowTest::cleanup() {
    m_context.reset();
}

void SearchWindowTest::Show(SearchWindow& search) {
    ScriptedUiServices ui;
    // Shown, the grid has the focus on the first field's criterion.
    ui.ExpectModal("Search", [](QDialog& d) {
        auto& shown = static_cast<SearchWindow&>(d);
        QWidget* focus = shown.focusWidget();
        QVERIFY(focus == shown.SearchGrid || shown.SearchGrid->isAncestorOf(focus));  // the grid or its cell editor
        QCOMPARE(QPoint(shown.SearchGrid->currentColumn(), shown.SearchGrid->currentRow()), QPoint(2, 1));
    });
    common::Ui().ShowModal(search);
    HALVENOR_VERIFY_UI(ui);
}

void SearchWindowTest::gridRowsTitlesAndOptionCells() {
    SearchWindow search(*m_context);
    QCOMPARE(search.windowTitle(), QString("Search"));
    QTableWidget* grid = search.SearchGrid;
    QCOMPARE(grid->rowCount(), 23);
    QCOMPARE(grid->columnCount(), 3);
    QCOMPARE(grid->item(0, 0)->text(), QString(" FIELD"));
    QCOMPARE(grid->item(0, 1)->text(), QString());
    QCOMPARE(grid->item(0, 2)->text(), QString(" SEARCH CRITERIA    (Level 1)"));
    QCOMPARE(grid->item(2, 0)->text(), QString(" Brand"));
    QCOMPARE(grid->item(4, 0)->text(), QString(" Serial Number"));
    const QList<int> withOptions = {2, 5, 7, 9, 10, 11, 12, 13, 15, 17, 18};
    for (int p = 1; p <= 22; ++p) {
        const QTableWidgetItem* cell = grid->item(p, 1);
        if (withOptions.contains(p)) {
            QCOMPARE(cell->text(), QString("..."));
            QCOMPARE(cell->background().color(), QColor(128, 128, 128));
            QCOMPARE(int(cell->textAlignment()), int(Qt::AlignCenter));
        } else {
            QVERIFY2(cell->text().isEmpty(), qPrintable(QString::number(p)));
        }
        QVERIFY(!(grid->item(p, 0)->flags() & Qt::ItemIsEditable));
        QCOMPARE(grid->item(p, 0)->background().color(), search.palette().color(QPalette::Button));
        QVERIFY(grid->item(p, 2)->flags() & Qt::ItemIsEditable);
    }
    // The titles stand where the texts of their columns start.
    QCOMPARE(int(grid->horizontalHeader()->defaultAlignment()), int(Qt::AlignLeft | Qt::AlignVCenter));
    // The titles come from the settings.
    common::AppSettings().Field(2).title = "Maker";
    Show(search);
    QCOMPARE(grid->item(2, 0)->text(), QString(" Maker"));
    common::AppSettings().Field(2).title = "Brand";
}

void SearchWindowTest::columnWidthsFollowTheWindowSizeFactor() {
    SearchWindow search(*m_context);
    Show(search);
    QCOMPARE(search.SearchGrid->columnWidth(0), 200);
    QCOMPARE(search.SearchGrid->columnWidth(1), 20);
    QCOMPARE(search.SearchGrid->columnWidth(2), 378);
    QCOMPARE(search.SearchGrid->width(), 620);
    // Every row as high as the design's, or as the text needs.
    const int rowHeight = std::max(24, search.SearchGrid->fontMetrics().height() + 6);
    for (int r = 0; r < search.SearchGrid->rowCount(); ++r)
        if (!search.SearchGrid->isRowHidden(r)) QCOMPARE(search.SearchGrid->rowHeight(r), rowHeight);
    common::SetWindowSizeFactor(1.6);
    Show(search);
    QCOMPARE(search.SearchGrid->columnWidth(0), 320);
    QCOMPARE(search.SearchGrid->columnWidth(1), 32);
    QCOMPARE(search.SearchGrid->columnWidth(2), 605);
    QCOMPARE(search.SearchGrid->width(), 980);
}

void SearchWindowTest::templates_data() {
    QTest::addColumn<int>("position");
    QTest::addColumn<int>("line");  // options line chosen, -1 for none
    QTest::addColumn<QString>("expected");
    QTest::newRow("text field by its width") << 2 << -1 << QString(20, 'c');
    QTest::newRow("number equal") << 11 << 0 << "= ccccccccc;1";
    QTest::newRow("number greater") << 11 << 1 << "\\> ccccccccc;1";
    QTest::newRow("number less") << 9 << 2 << "\\< ccccccccc;1";
    QTest::newRow("number range") << 18 << 3 << "\\> ccccccccc \\A\\ND \\< cccccccc";
    QTest::newRow("date equal") << 10 << 0 << "= 99/99/0000;1";
    QTest::newRow("date greater") << 10 << 1 << "\\> 99/99/0000;1";
    QTest::newRow("date less") << 15 << 2 << "\\< 99/99/0000;1";
    QTest::newRow("date range") << 15 << 3 << "\\> 99/99/0000 \\A\\ND \\< 99/99/0000;1";
}

void SearchWindowTest::templates() {
    QFETCH(int, position);
    QFETCH(int, line);
    QFETCH(QString, expected);
    ScriptedUiServices ui;
    SearchWindow search(*m_context);
    if (line >= 0) ChooseOption(ui, search, position, line);
    QCOMPARE(search.CellTemplate(position), expected);
    HALVENOR_VERIFY_UI(ui);
}

// A criterion is read with its operator, AND and the date's separators,
// whatever the template says of its literals; a semicolon after a
// backslash is a literal, not the end of the mask.
void SearchWindowTest::cellTextsKeepTheirLiterals_data() {
    QTest::addColumn<QString>("templateText");
    QTest::addColumn<QString>("display");
    QTest::addColumn<QString>("text");
    QTest::newRow("date, literals kept") << "= 99/99/0000;1" << "= 12/31/1999" << "= 12/31/1999";
    QTest::newRow("date, literals dropped") << "\\< 99/99/0000;0;_" << "< 12/31/1999" << "< 12/31/1999";
    QTest::newRow("range without a semicolon") << "\\> ccccccccc \\A\\ND \\< cccccccc"
                                               << "> 10        AND < 20      " << "> 10        AND < 20      ";
    QTest::newRow("escaped semicolon") << "99\\;99;0;_" << "12;34" << "12;34";
    QTest::newRow("escaped semicolon, odd place") << "9\\;99;0;_" << "1;34" << "1;34";
}

void SearchWindowTest::cellTextsKeepTheirLiterals() {
    QFETCH(QString, templateText);
    QFETCH(QString, display);
    QFETCH(QString, text);
    QCOMPARE(SearchCellDelegate::CellText(templateText, display), text);
}

void SearchWindowTest::operatorChoiceIsKeptForTheRun() {
    ScriptedUiServices ui;
    SearchWindow search(*m_context);
    Show(search);
    ui.ExpectModal("Search Options", [](QDialog& d) {
        auto& options = static_cast<SearchOperatorList&>(d);
        QCOMPARE(options.FieldNameLabel->text(), QString("Cost"));
        QStringList lines;
        for (int i = 0; i < options.OptionsList->count(); ++i) lines << options.OptionsList->item(i)->text();
        QCOMPARE(lines, QStringList({" = ", " > ", " < ", " > X < "}));
        QCOMPARE(options.SelectedRow(), 0);
        options.OptionsList->setCurrentRow(3);
        options.ChooseOperator();
    });
    search.SearchGrid->setCurrentCell(11, 2);
    search.RememberPressedCell(11, 1);
    search.ChooseOperatorOfReleasedCell(11, 1);
    QCOMPARE(search.OperatorChoice(11), 4);
    QCOMPARE(search.SearchGrid->currentRow(), 11);
    QCOMPARE(search.SearchGrid->currentColumn(), 2);

    QSignalSpy closed(&search, &QDialog::rejected);
    search.CloseWindow();
    QCOMPARE(closed.count(), 1);
    Show(search);
    QCOMPARE(search.OperatorChoice(11), 4);
    search.ClearCriteria();
    QCOMPARE(search.OperatorChoice(11), 4);

    // Cancel changes nothing; the dialog opens on the current choice.
    ui.ExpectModal("Search Options", [](QDialog& d) {
        auto& options = static_cast<SearchOperatorList&>(d);
        QCOMPARE(options.SelectedRow(), 3);
        options.OptionsList->setCurrentRow(1);
        options.Cancel();
    });
    search.RememberPressedCell(11, 1);
    search.ChooseOperatorOfReleasedCell(11, 1);
    QCOMPARE(search.OperatorChoice(11), 4);
    // Back to the first line, "equal".
    ChooseOption(ui, search, 11, 0);
    QCOMPARE(search.OperatorChoice(11), 1);
    HALVENOR_VERIFY_UI(ui);
}

void SearchWindowTest::optionsDialogNeedsPressAndReleaseInOneCell() {
    ScriptedUiServices ui;  // no dialog expected
    SearchWindow search(*m_context);
    search.RememberPressedCell(11, 1);
    search.ChooseOperatorOfReleasedCell(13, 1);
    search.RememberPressedCell(11, 2);
    search.ChooseOperatorOfReleasedCell(11, 2);
    search.RememberPressedCell(0, 1);
    search.ChooseOperatorOfReleasedCell(0, 1);
    search.RememberPressedCell(1, 1);  // Item: no options
    search.ChooseOperatorOfReleasedCell(1, 1);
    HALVENOR_VERIFY_UI(ui);
}

// Every field with a pick list offers its own list.
void SearchWindowTest::pickListEntryBecomesTheCriterion_data() {
    QTest::addColumn<int>("position");
    QTest::addColumn<QString>("title");
    QTest::addColumn<int>("list");
    QTest::newRow("Brand") << 2 << "Brand" << int(common::PickList::Brand);
    QTest::newRow("Location") << 5 << "Location" << int(common::PickList::Location);
    QTest::newRow("Bought") << 7 << "Purchased From" << int(common::PickList::Bought);
    QTest::newRow("Category") << 12 << "Category" << int(common::PickList::Category);
    QTest::newRow("Owner") << 17 << "Owner" << int(common::PickList::Owner);
}

void SearchWindowTest::pickListEntryBecomesTheCriterion() {
    QFETCH(int, position);
    QFETCH(QString, title);
    QFETCH(int, list);
    for (auto l : {common::PickList::Brand, common::PickList::Location, common::PickList::Bought,
                   common::PickList::Category, common::PickList::Owner})
        m_context->GridPickList(l) = {"Other", "Others"};
    m_context->GridPickList(common::PickList(list)) = {"Bose", "Sony"};
    ScriptedUiServices ui;
    SearchWindow search(*m_context);
    Show(search);
    ui.ExpectModal("Search Options", [title](QDialog& d) {
        auto& options = static_cast<SearchOperatorList&>(d);
        QCOMPARE(options.FieldNameLabel->text(), title);
        QCOMPARE(options.OptionsList->count(), 2);
        QCOMPARE(options.SelectedRow(), -1);
        options.OptionsList->setCurrentRow(1);
        options.ChooseOperator();
    });
    search.RememberPressedCell(position, 1);
    search.ChooseOperatorOfReleasedCell(position, 1);
    QCOMPARE(search.SearchGrid->item(position, 2)->text(), QString("Sony"));
    QCOMPARE(search.SearchGrid->currentRow(), position);
    QCOMPARE(search.SearchGrid->currentColumn(), 2);
    // "&Ok" with nothing selected leaves the cell alone.
    ui.ExpectModal("Search Options", [](QDialog& d) { static_cast<SearchOperatorList&>(d).ChooseOperator(); });
    search.RememberPressedCell(position, 1);
    search.ChooseOperatorOfReleasedCell(position, 1);
    QCOMPARE(search.SearchGrid->item(position, 2)->text(), QString("Sony"));
    HALVENOR_VERIFY_UI(ui);
}

// Alt with a letter is a button's key: with no button for it (Q, Z), or
// with its button disabled (F for a disabled "&Find More"), the letter used
// to land in the criterion and silently change a text search.
void SearchWindowTest::altKeysNeverTypeIntoACell() {
    SearchWindow search(*m_context);
    search.show();
    search.MoreButton->setEnabled(false);
    search.SearchGrid->setCurrentCell(1, 2);
    auto* editor = search.SearchGrid->viewport()->findChild<QLineEdit*>();
    QVERIFY(editor);
    editor->setFocus();
    QTest::keyClicks(editor, "tv");
    for (Qt::Key key : {Qt::Key_Q, Qt::Key_Z, Qt::Key_F})
        QTest::keyClick(editor, key, Qt::AltModifier);
    QTest::keyClick(editor, Qt::Key_1, Qt::AltModifier | Qt::ShiftModifier);
    QCOMPARE(editor->text(), QString("tv"));
    QCOMPARE(search.SearchGrid->item(1, 2)->text().trimmed(), QString("tv"));
    // Typing itself still works afterwards.
    QTest::keyClicks(editor, "s");
    QCOMPARE(search.SearchGrid->item(1, 2)->text().trimmed(), QString("tvs"));
    // Tab goes on through the grid's cells rather than out of the grid.
    QTest::keyClick(editor, Qt::Key_Tab);
    QCOMPARE(search.SearchGrid->currentRow(), 2);
    QCOMPARE(search.SearchGrid->currentColumn(), 0);
}

// A cell's editor opens on the criterion the cell holds.
void SearchWindowTest::anEditorShowsTheCriterionItOpensOn() {
    SearchWindow search(*m_context);
    search.show();
    search.SearchGrid->item(3, 2)->setText("Bose");
    search.SearchGrid->setCurrentCell(3, 2);
    auto* editor = qobject_cast<QLineEdit*>(search.SearchGrid->indexWidget(search.SearchGrid->model()->index(3, 2)));
    if (!editor) editor = search.SearchGrid->viewport()->findChild<QLineEdit*>();
    QVERIFY(editor);
    QCOMPARE(editor->text().trimmed(), QString("Bose"));
    QVERIFY(!editor->hasFrame());  // it fills the cell, no frame of its own
}

void SearchWindowTest::typingARangeThroughTheCellEditor() {
    ScriptedUiServices ui;
    SearchWindow search(*m_context);
    ChooseOption(ui, search, 11, 3);
    search.show();
    search.SearchGrid->setCurrentCell(11, 2);
    auto* editor = qobject_cast<QLineEdit*>(search.SearchGrid->indexWidget(search.SearchGrid->model()->index(11, 2)));
    if (!editor) editor = search.SearchGrid->viewport()->findChild<QLineEdit*>();
    QVERIFY(editor);
    editor->setFocus();
    editor->home(false);
    QTest::keyClicks(editor, "30");
    editor->setCursorPosition(editor->displayText().indexOf("<") + 2);
    QTest::keyClicks(editor, "700");
    const QString text = search.SearchGrid->item(11, 2)->text();
    QVERIFY2(text.startsWith("> 30 ") && text.contains("AND < 700"), qPrintable(text));
    search.ApplySearch();
    QVERIFY(m_context->SearchOn());
    QCOMPARE(findtest::DeliveredItems(m_context->ItemTable()), std::string("tv,radio"));
    HALVENOR_VERIFY_UI(ui);
}

void SearchWindowTest::okWithAnEmptyGridChangesNothing() {
    ScriptedUiServices ui;
    SearchWindow search(*m_context);
    Show(search);
    search.MoreButton->setFocus();
    ui.ExpectMessage("Error", kNoCriteria);
    search.ApplySearch();
    QVERIFY(search.focusWidget() == search.SearchGrid);  // back to the grid, to be filled in
    QVERIFY(!m_context->SearchOn());
    QCOMPARE(m_context->refreshes, 0);
    QCOMPARE(m_context->ItemTable().RecordCount(), 5u);
    HALVENOR_VERIFY_UI(ui);
}

void SearchWindowTest::okAppliesTheSearch() {
    ScriptedUiServices ui;
    SearchWindow search(*m_context);
    ui.ExpectModal("Search", [&](QDialog&) {
        SetCell(search, 2, "son");
        search.ApplySearch();
        QVERIFY(!search.isVisible());
    });
    QCOMPARE(common::Ui().ShowModal(search), int(QDialog::Accepted));
    QVERIFY(m_context->SearchOn());
    QCOMPARE(findtest::DeliveredItems(m_context->ItemTable()), std::string("tv,radio,saw"));
    QVERIFY(m_context->ItemTable().HasCurrent());
    HALVENOR_VERIFY_UI(ui);
}

void SearchWindowTest::oneMatchIsASearch() {
    ScriptedUiServices ui;
    SearchWindow search(*m_context);
    Show(search);
    SetCell(search, 2, "bose");
    search.ApplySearch();
    QVERIFY(m_context->SearchOn());
    QCOMPARE(m_context->endSearches, 0);
    QCOMPARE(findtest::DeliveredItems(m_context->ItemTable()), std::string("drill"));
    HALVENOR_VERIFY_UI(ui);
}

void SearchWindowTest::noMatchEndsTheSearch() {
    ScriptedUiServices ui;
    SearchWindow search(*m_context);
    Show(search);
    SetCell(search, 2, "nomaker");
    ui.ExpectMessage("Notice", kNoMatch);
    search.ApplySearch();
    QVERIFY(!m_context->SearchOn());
    QCOMPARE(m_context->endSearches, 1);
    QCOMPARE(m_context->ItemTable().RecordCount(), 5u);
    QCOMPARE(search.SearchGrid->item(2, 2)->text(), QString());
    QCOMPARE(search.Criteria().Count(), 0);
    HALVENOR_VERIFY_UI(ui);
}

void SearchWindowTest::findMoreGivesTenLevelsThatOrTogether() {
    ScriptedUiServices ui;
    SearchWindow search(*m_context);
    Show(search);
    const char* items[] = {"tv", "radio", "nothing", "nothing", "nothing", "nothing", "nothing", "nothing", "nothing"};
    for (int level = 1; level <= 9; ++level) {
        QVERIFY(search.MoreButton->isEnabled());
        SetCell(search, 1, items[level - 1]);
        search.MoreButton->click();
        QCOMPARE(search.Criteria().Level(), level + 1);
        QCOMPARE(search.SearchGrid->item(0, 2)->text(), " SEARCH CRITERIA    (Level " + QString::number(level + 1) + ")");
        QCOMPARE(search.SearchGrid->item(1, 2)->text(), QString());
    }
    QVERIFY(!search.MoreButton->isEnabled());
    SetCell(search, 11, "= 3");
    search.ApplySearch();
    QCOMPARE(findtest::DeliveredItems(m_context->ItemTable()), std::string("tv,radio,cup"));
    QVERIFY(search.MoreButton->isEnabled());  // for the next search
    // "&Find More" with nothing typed says so and stays on the level; the
    // window shown again offers Find More again.
    Show(search);
    QVERIFY(search.MoreButton->isEnabled());
    ui.ExpectMessage("Error", kNoCriteria);
    search.AddLevel();
    QCOMPARE(search.Criteria().Level(), 1);
    // Clearing the criteria offers Find More again.
    search.MoreButton->setEnabled(false);
    search.ClearCriteria();
    QVERIFY(search.MoreButton->isEnabled());
    HALVENOR_VERIFY_UI(ui);
}

void SearchWindowTest::invalidCriterionKeepsTheWindowOnItsRow() {
    ScriptedUiServices ui;
    SearchWindow search(*m_context);
    Show(search);
    SetCell(search, 12, "tools");
    search.AddLevel();
    SetCell(search, 2, "son");
    SetCell(search, 11, "= abc");
    ui.ExpectMessage("Error", kInvalid);
    search.ApplySearch();
    QCOMPARE(search.SearchGrid->currentRow(), 11);
    QCOMPARE(search.Criteria().Count(), 1);
    QVERIFY(!m_context->SearchOn());
    SetCell(search, 11, "= 40");
    search.ApplySearch();
    QCOMPARE(findtest::DeliveredItems(m_context->ItemTable()), std::string("radio,saw,drill"));
    HALVENOR_VERIFY_UI(ui);
}

void SearchWindowTest::tooManyCriteriaClearEverything() {
    ScriptedUiServices ui;
    SearchWindow search(*m_context);
    Show(search);
    const QList<int> text = {1, 2, 3, 4, 5, 6, 7, 8, 12, 14, 16, 17, 19, 20, 21, 22};
    for (int level = 0; level < 4; ++level) {
        for (int p : text) SetCell(search, p, "x");
        search.AddLevel();
    }
    for (int i = 0; i < 11; ++i) SetCell(search, text[i], "x");
    search.AddLevel();
    QCOMPARE(search.Criteria().Count(), 75);
    SetCell(search, 1, "x");
    ui.ExpectMessage("Error", kTooMany);
    search.AddLevel();
    QCOMPARE(search.Criteria().Count(), 0);
    QCOMPARE(search.Criteria().Level(), 1);
    QCOMPARE(search.SearchGrid->item(1, 2)->text(), QString());
    QCOMPARE(search.SearchGrid->item(0, 2)->text(), QString(" SEARCH CRITERIA    (Level 1)"));
    QVERIFY(search.MoreButton->isEnabled());
    HALVENOR_VERIFY_UI(ui);
}

void SearchWindowTest::searchInForceSurvivesShowingAgainAndExit() {
    ScriptedUiServices ui;
    SearchWindow search(*m_context);
    Show(search);
    SetCell(search, 12, "tools");
    search.ApplySearch();
    QCOMPARE(findtest::DeliveredItems(m_context->ItemTable()), std::string("saw,drill"));

    Show(search);
    QCOMPARE(search.SearchGrid->item(12, 2)->text(), QString());
    QCOMPARE(search.Criteria().Count(), 0);
    SetCell(search, 2, "sony");
    search.AddLevel();
    search.ClearCriteria();
    search.CloseWindow();
    QVERIFY(m_context->SearchOn());
    m_context->ItemTable().Refresh();
    QCOMPARE(findtest::DeliveredItems(m_context->ItemTable()), std::string("saw,drill"));
    HALVENOR_VERIFY_UI(ui);
}

void SearchWindowTest::newSearchReplacesTheOneInForce() {
    ScriptedUiServices ui;
    SearchWindow search(*m_context);
    Show(search);
    SetCell(search, 12, "tools");
    search.ApplySearch();
    QCOMPARE(m_context->viewerOptionsSet, 0);  // a first search only refreshes the grid
    Show(search);
    SetCell(search, 2, "o");
    search.ApplySearch();
    QCOMPARE(findtest::DeliveredItems(m_context->ItemTable()), std::string("tv,radio,saw,drill"));
    // The table was closed and opened again under the grid: it is laid out afresh.
    QCOMPARE(m_context->viewerOptionsSet, 1);
    // A new search that finds nothing ends the search altogether.
    Show(search);
    SetCell(search, 2, "nomaker");
    ui.ExpectMessage("Notice", kNoMatch);
    search.ApplySearch();
    QVERIFY(!m_context->SearchOn());
    QCOMPARE(m_context->ItemTable().RecordCount(), 5u);
    // A table that cannot be opened again says why, and the window stays.
    SetCell(search, 12, "tools");
    search.ApplySearch();
    const QString path = QString::fromStdString(m_context->ItemTable().DataFilePath());
    QVERIFY(QFile::rename(path, path + ".away"));
    Show(search);
    SetCell(search, 2, "o");
    ui.ExpectMessage("Error", "The table \"" + path + "\" does not exist.");
    search.ApplySearch();
    QVERIFY(QFile::rename(path + ".away", path));
    HALVENOR_VERIFY_UI(ui);
}

void SearchWindowTest::helpOpensTheSearchWindowPage() {
    ScriptedUiServices ui;
    ui.ExpectHelp("Search Window");
    SearchWindow search(*m_context);
    search.ShowHelp();
    HALVENOR_VERIFY_UI(ui);
}

QTEST_MAIN(SearchWindowTest)
#include "SearchWindowTest.moc"
