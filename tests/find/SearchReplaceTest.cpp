// Search and replace: which values match and what they become (the walk on
// its own, over a plain item table), what is refused before the run, and
// the dialog against a real main window: the input forms, the questions,
// the counters, the order of the walk, a search in force, and the table
// handed back open shared with its sort tag on every path.

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStyleOptionComboBox>
#include <QtTest>

#include "DateFormats.h"
#include "GlobalReplace.h"
#include "ScriptedUiServices.h"
#include "SortExpression.h"
#include "SortReplaceFixture.h"
#include "SearchAndReplaceDialog.h"
#include "WindowFit.h"

using namespace sortreplace;
using common::Answer;
using common::ScriptedUiServices;
using find::GlobalReplace;
using find::SearchAndReplaceDialog;

namespace {

const QString kInUse =
    "Search and Replace requires exclusive use of the DBase File.  Make sure that the DBase File is not in use by "
    "another program  or that no other users are running the software or that no other copies of the software are "
    "in use.";
const QString kComplete = "Global Search and Replace Complete.";

QString Question(const QString& item) { return "Item = \"" + item + "\".  Change this record?"; }

SearchAndReplaceDialog& Dialog(QDialog& d) { return static_cast<SearchAndReplaceDialog&>(d); }

void Fill(SearchAndReplaceDialog& dialog, int position, const QString& search, const QString& replacement,
          bool confirm = false) {
    dialog.FieldCombo->setCurrentIndex(position - 1);
    dialog.SearchEdit->setText(search);
    dialog.ReplaceEdit->setText(replacement);
    dialog.ConfirmCheck->setChecked(confirm);
}

QStringList Counters(const SearchAndReplaceDialog& dialog) {
    return {dialog.ProcessedCount->text(), dialog.FoundCount->text(), dialog.ChangedCount->text()};
}

}  // namespace

class SearchReplaceTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { m_folders = std::make_unique<Folders>(); }

    void init() {
        Folders::Clear();
        m_ui = std::make_unique<ScriptedUiServices>();
        m_main = StartMain();
        QVERIFY(m_main->Created());
        // Dates typed as mm/dd/yyyy in these tests.
        common::DateFormats::Apply(7);
    }

    void cleanup() {
        m_main.reset();
        m_ui.reset();
        common::DateFormats::Apply(1);
    }

    // ------------------------------------------------------------ the walk

    void replacesWholeEqualValues_data() {
        QTest::addColumn<QString>("field");
        QTest::addColumn<QStringList>("before");
        QTest::addColumn<QString>("search");
        QTest::addColumn<QString>("replacement");
        QTest::addColumn<QStringList>("after");

        QTest::newRow("lower-case word, any case, not longer values")
            << "Location" << QStringList{"Garage", "GARAGE", "garage", "Garage shelf", "The garage", "gArAgE"}
            << "garage" << "Shed" << QStringList{"Shed", "Shed", "Shed", "Garage shelf", "The garage", "Shed"};
        QTest::newRow("replacement keeps its letter case") << "Brand" << QStringList{"acme", "Acme"} << "ACME"
                                                           << "AcMe Tools" << QStringList{"AcMe Tools", "AcMe Tools"};
        QTest::newRow("empty search text finds empty fields")
            << "Owner" << QStringList{"", "Anna", "", " "} << "" << "Unknown"
            << QStringList{"Unknown", "Anna", "Unknown", "Unknown"};
        QTest::newRow("empty replacement empties the field")
            << "Model" << QStringList{"X1", "x1", "X10"} << "x1" << "" << QStringList{"", "", "X10"};
        QTest::newRow("blanks around the texts do not count")
            << "Item" << QStringList{"chair", "chairs"} << "  CHAIR " << " stool  " << QStringList{"stool", "chairs"};
        QTest::newRow("a and z in either case")
            << "Item" << QStringList{"Zebra az", "zebra AZ", "ZEBRA AZ", "Zebra ay"} << "zebra az" << "Zed"
            << QStringList{"Zed", "Zed", "Zed", "Zebra ay"};
        QTest::newRow("letters beyond a to z compare exactly")
            << "Item" << QStringList{"café", "CAFé", "CAFÉ"} << "café" << "bar" << QStringList{"bar", "bar", "CAFÉ"};
        QTest::newRow("money by value") << "Cost" << QStringList{"10", "10.5", "100", ""} << "10.00" << "12.25"
                                        << QStringList{"12.25", "10.5", "100", ""};
        QTest::newRow("zero matches empty money fields") << "Value" << QStringList{"", "3"} << "0" << "7"
                                                         << QStringList{"7", "3"};
        QTest::newRow("quantity by value") << "Quantity" << QStringList{"1", "2", "1"} << "1" << "3"
                                           << QStringList{"3", "2", "3"};
        QTest::newRow("number with exponent") << "RepCost" << QStringList{"1500", "150"} << "1.5e3" << "-2"
                                              << QStringList{"-2", "150"};
        QTest::newRow("dates by value") << "PurchDate" << QStringList{"1/2/2020", "2/1/2020", ""} << "01/02/2020"
                                        << "12/31/2022" << QStringList{"12/31/2022", "2/1/2020", ""};
    }

    void replacesWholeEqualValues() {
        QFETCH(QString, field);
        QFETCH(QStringList, before);
        QFETCH(QString, search);
        QFETCH(QString, replacement);
        QFETCH(QStringList, after);
        store::Table& t = m_main->ItemTable();
        t.SetActiveIndex("");
        for (const QString& value : before) {
            t.Append();
            t.SetText(field.toStdString(), value.toStdString());
            t.Post();
        }
        GlobalReplace replace;
        const int position = store::SchemaPosition(field.toStdString());
        QVERIFY(!replace.Prepare(position, search.toStdString(), replacement.toStdString()));
        int reports = 0;
        replace.Run(t, {}, [&](const GlobalReplace::Counters&) { ++reports; });
        QCOMPARE(Physical(t, field.toUtf8().constData()), after);
        int changed = 0;
        for (int i = 0; i < before.size(); ++i) changed += before[i] != after[i];
        QCOMPARE(replace.Count().processed, int(before.size()));
        QCOMPARE(replace.Count().found, changed);
        QCOMPARE(replace.Count().changed, changed);
        // Told after every record, and at once after every change.
        QCOMPARE(reports, int(before.size()) + changed);
    }

    void refusedBeforeTheRun_data() {
        QTest::addColumn<int>("position");
        QTest::addColumn<QString>("search");
        QTest::addColumn<QString>("replacement");
        QTest::addColumn<QString>("message");  // empty: accepted
        QTest::addColumn<int>("focus");

        const int field = int(GlobalReplace::Focus::FieldList), searchBox = int(GlobalReplace::Focus::SearchBox),
                  replaceBox = int(GlobalReplace::Focus::ReplacementBox);
        const QString badValue = "Invalid search value entered.  Please correct.";
        const QString badReplacement = "Invalid replacement value entered.  Please correct.";
        const QString badDate = "Invalid search date entered.  Please correct.";
        const QString badReplacementDate = "Invalid replacement date entered.  Please correct.";
        QTest::newRow("no field") << 0 << "a" << "b" << "No field has been selected." << field;
        QTest::newRow("text takes empty texts") << 1 << "" << "" << QString() << 0;
        QTest::newRow("number, empty search") << 11 << "  " << "5" << badValue << searchBox;
        QTest::newRow("number, search with trailing letters") << 11 << "12abc" << "5" << badValue << searchBox;
        QTest::newRow("number, comma decimal") << 11 << "1,5" << "5" << badValue << searchBox;
        QTest::newRow("number, empty replacement") << 18 << "5" << "" << badReplacement << replaceBox;
        QTest::newRow("number, replacement not a number") << 13 << "5" << "five" << badReplacement << replaceBox;
        QTest::newRow("number, signs and exponent") << 13 << "-1.5E2" << "+2e1" << QString() << 0;
        QTest::newRow("quantity, fractional replacement")
            << 9 << "1" << "1.5" << "The quantity must be a whole number.  Please correct the replacement value."
            << replaceBox;
        QTest::newRow("quantity, fractional search only matches nothing") << 9 << "1.5" << "2" << QString() << 0;
        QTest::newRow("date, untouched mask") << 10 << "/  /" << "01/01/2020" << badDate << searchBox;
        QTest::newRow("date, untouched dashed mask") << 15 << "-  -" << "01/01/2020" << badDate << searchBox;
        QTest::newRow("date, not a date") << 10 << "13/45/2020" << "01/01/2020" << badDate << searchBox;
        QTest::newRow("date, half typed") << 10 << "12/  /2020" << "01/01/2020" << badDate << searchBox;
        QTest::newRow("date, empty replacement") << 10 << "01/01/2020" << "" << badReplacementDate << replaceBox;
        QTest::newRow("date, untouched replacement mask")
            << 10 << "01/01/2020" << ".  ." << badReplacementDate << replaceBox;
    }

    void refusedBeforeTheRun() {
        QFETCH(int, position);
        QFETCH(QString, search);
        QFETCH(QString, replacement);
        QFETCH(QString, message);
        QFETCH(int, focus);
        GlobalReplace replace;
        const auto refusal = replace.Prepare(position, search.toStdString(), replacement.toStdString());
        QCOMPARE(bool(refusal), !message.isEmpty());
        if (!refusal) return;
        QCOMPARE(QString::fromStdString(refusal->message), message);
        QCOMPARE(int(refusal->focus), focus);
    }

    // ------------------------------------------------------------ the dialog

    void inputFormFollowsTheField() {
        m_ui->ExpectModal("Search and Replace", [](QDialog& d) {
            SearchAndReplaceDialog& dialog = Dialog(d);
            QCOMPARE(dialog.FieldCombo->currentIndex(), -1);
            QCOMPARE(dialog.FieldCombo->count(), 22);
            QCOMPARE(dialog.FieldCombo->itemText(4), common::AppSettings().Field(5).title);
            QCOMPARE(dialog.FieldCombo->maxVisibleItems(), 15);
            // A list of fifteen under the box, not a menu of all over it.
            QStyleOptionComboBox option;
            option.initFrom(dialog.FieldCombo);
            QVERIFY(!dialog.FieldCombo->style()->styleHint(QStyle::SH_ComboBox_Popup, &option, dialog.FieldCombo));
            QVERIFY(!dialog.ConfirmCheck->isChecked());

            // Item: as many characters as the field holds, longer typing is cut.
            dialog.FieldCombo->setCurrentIndex(0);
            const int width = store::SchemaAt(1).width;
            QTest::keyClicks(dialog.ReplaceEdit, QString(width + 5, u'x'));
            QCOMPARE(dialog.ReplacementText(), QString(width, u'x'));
            dialog.FieldCombo->setCurrentIndex(1);  // another text field: both boxes cleared
            QCOMPARE(dialog.ReplacementText(), QString());

            // Purchase date: the date mask; choosing a field clears both boxes.
            dialog.FieldCombo->setCurrentIndex(9);
            QCOMPARE(dialog.ReplacementText().trimmed(), QString("/  /"));
            // A click at the far end of the empty mask still types from its start.
            QTest::mouseClick(dialog.ReplaceEdit, Qt::LeftButton, {},
                              QPoint(dialog.ReplaceEdit->width() - 4, dialog.ReplaceEdit->height() / 2));
            QCoreApplication::processEvents();
            QCOMPARE(dialog.ReplaceEdit->cursorPosition(), 0);
            QTest::keyClicks(dialog.SearchEdit, "01022020");
            QCOMPARE(dialog.SearchText(), QString("01/02/2020"));

            // Cost: nine characters of any kind.
            dialog.FieldCombo->setCurrentIndex(10);
            QCOMPARE(dialog.SearchText().trimmed(), QString());
            QTest::keyClicks(dialog.SearchEdit, "-1.5e2abcdef");
            QCOMPARE(dialog.SearchText(), QString("-1.5e2abc"));

            // Back to a text field: free text again.
            dialog.FieldCombo->setCurrentIndex(11);
            QVERIFY(dialog.SearchEdit->inputMask().isEmpty());
            QCOMPARE(dialog.SearchEdit->maxLength(), int(store::SchemaAt(12).width));
            QTest::keyClicks(dialog.SearchEdit, "  Attic 2 ");
            QCOMPARE(dialog.SearchText(), QString("  Attic 2 "));
            // The last field holds its own width too.
            dialog.FieldCombo->setCurrentIndex(store::kItemFieldCount - 1);
            QCOMPARE(dialog.SearchEdit->maxLength(), int(store::SchemaAt(store::kItemFieldCount).width));
            QCOMPARE(dialog.ReplaceEdit->maxLength(), int(store::SchemaAt(store::kItemFieldCount).width));
            dialog.CancelButton->click();
            QVERIFY(!dialog.isVisible());
        });
        m_main->DoSearchAndReplace();
        HALVENOR_VERIFY_UI(*m_ui);
    }

    // What the dialog looks like: captions in the scheme's title colour, the
    // boxes in its edit colours, each counter centred under its caption in
    // three equal columns.
    void dialogShowsTheSchemeAndCentresItsCounters() {
        common::ColorGroup& g = common::AppSettings().scheme.Group(common::WindowGroup::Configure);
        g[common::ColorSlot::MajorTitle] = QColor(0x80, 0x00, 0x20);
        g[common::ColorSlot::EditBackground] = QColor(0xff, 0xf0, 0xc0);
        g[common::ColorSlot::CheckBackground] = QColor(0xd0, 0xe8, 0xff);
        g[common::ColorSlot::CheckText] = QColor(0x10, 0x20, 0x30);
        SearchAndReplaceDialog dialog(*m_main, m_main.get());
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        for (QLabel* l : {dialog.FieldLabel, dialog.SearchLabel, dialog.ReplaceLabel, dialog.ProcessedLabel,
                          dialog.FoundLabel, dialog.ChangedLabel, dialog.ProcessedCount, dialog.FoundCount,
                          dialog.ChangedCount})
            QCOMPARE(l->palette().color(QPalette::WindowText).name(), QString("#800020"));
        for (QLineEdit* e : {dialog.SearchEdit, dialog.ReplaceEdit})
            QCOMPARE(e->palette().color(QPalette::Base).name(), QString("#fff0c0"));
        QCOMPARE(dialog.ConfirmCheck->palette().color(QPalette::Window).name(), QString("#d0e8ff"));
        QCOMPARE(dialog.ConfirmCheck->palette().color(QPalette::WindowText).name(), QString("#102030"));

        // The two boxes one under the other, as wide as each other.
        QCOMPARE(dialog.ReplaceEdit->x(), dialog.SearchEdit->x());
        QCOMPARE(dialog.ReplaceEdit->width(), dialog.SearchEdit->width());
        // Three columns of one width.
        QVERIFY2(std::abs(dialog.ProcessedLabel->width() - dialog.FoundLabel->width()) <= 1 &&
                     std::abs(dialog.FoundLabel->width() - dialog.ChangedLabel->width()) <= 1,
                 qPrintable(QString("%1, %2, %3").arg(dialog.ProcessedLabel->width()).arg(dialog.FoundLabel->width()).arg(dialog.ChangedLabel->width())));
        std::vector<int> centres;
        for (auto [caption, count] : {std::pair{dialog.ProcessedLabel, dialog.ProcessedCount},
                                      std::pair{dialog.FoundLabel, dialog.FoundCount},
                                      std::pair{dialog.ChangedLabel, dialog.ChangedCount}}) {
            const QRect above = window_fit::InkIn(*caption), below = window_fit::InkIn(*count);
            QVERIFY2(!above.isNull() && !below.isNull(), qPrintable(caption->text()));
            QVERIFY2(std::abs(above.center().x() - below.center().x()) <= 2,
                     qPrintable(QString("%1 at %2, its count at %3").arg(caption->text()).arg(above.center().x()).arg(below.center().x())));
            centres.push_back(above.center().x());
        }
        QVERIFY2(std::abs((centres[1] - centres[0]) - (centres[2] - centres[1])) <= 2,
                 qPrintable(QString("columns centred at %1, %2, %3").arg(centres[0]).arg(centres[1]).arg(centres[2])));
    }

    void confirmedRunWalksPhysicalOrderOnce() {
        // Category is the field the sort order starts with: the walk must
        // still meet each record once, in the order they were added.
        AddItems(*m_main, {{{"Item", "E"}, {"Category", "kitchen"}},
                           {{"Item", "D"}, {"Category", "Attic"}},
                           {{"Item", "C"}, {"Category", "KITCHEN"}},
                           {{"Item", "B"}, {"Category", "Zoo"}},
                           {{"Item", "A"}, {"Category", "Kitchen"}}});
        store::Table& t = m_main->ItemTable();
        QCOMPARE(Delivered(t, "Item"), (QStringList{"D", "E", "C", "A", "B"}));
        m_ui->ExpectModal("Search and Replace", [&](QDialog& d) {
            SearchAndReplaceDialog& dialog = Dialog(d);
            Fill(dialog, 12, "kitchen", "Aardvark", true);
            dialog.StartButton->click();
            QVERIFY(!dialog.isVisible());
            QCOMPARE(Counters(dialog), (QStringList{"5", "3", "3"}));
            // The hourglass goes with the run.
            QVERIFY(!QApplication::overrideCursor());
            QCOMPARE(dialog.cursor().shape(), Qt::ArrowCursor);
        });
        m_ui->ExpectAsk("Confirm", Question("E"), Answer::Yes);
        m_ui->ExpectAsk("Confirm", Question("C"), Answer::Yes);
        m_ui->ExpectAsk("Confirm", Question("A"), Answer::Yes);
        m_ui->ExpectMessage("Finished", kComplete);
        m_main->DoSearchAndReplace();
        HALVENOR_VERIFY_UI(*m_ui);

        QCOMPARE(Physical(t, "Category"), (QStringList{"Aardvark", "Attic", "Aardvark", "Zoo", "Aardvark"}));
        QVERIFY(OpenShared(t));
        QCOMPARE(t.ActiveIndex(), std::string(find::kSortTagName));
        QCOMPARE(t.IndexExpression(find::kSortTagName), m_main->SortExpression());
        QCOMPARE(Delivered(t, "Item"), (QStringList{"E", "C", "A", "D", "B"}));
        QCOMPARE(m_main->CountLabel()->text(), QString("5"));
    }

    void answeringNoChangesNothingAndCountsTheMatches() {
        AddItems(*m_main, {{{"Item", "lamp"}, {"Brand", "Acme"}},
                           {{"Item", "desk"}, {"Brand", "Other"}},
                           {{"Item", "chair"}, {"Brand", "ACME"}}});
        store::Table& t = m_main->ItemTable();
        m_ui->ExpectModal("Search and Replace", [&](QDialog& d) {
            SearchAndReplaceDialog& dialog = Dialog(d);
            Fill(dialog, 2, "acme", "Zenith", true);
            dialog.StartReplacing();
            QCOMPARE(dialog.Count().found, 2);
            QCOMPARE(dialog.Count().changed, 0);
            QCOMPARE(Counters(dialog), (QStringList{"3", "2", "0"}));
        });
        m_ui->ExpectAsk("Confirm", Question("lamp"), Answer::No);
        m_ui->ExpectAsk("Confirm", Question("chair"), Answer::No);
        m_ui->ExpectMessage("Finished", kComplete);
        m_main->DoSearchAndReplace();
        HALVENOR_VERIFY_UI(*m_ui);
        QCOMPARE(Physical(t, "Brand"), (QStringList{"Acme", "Other", "ACME"}));
        QVERIFY(OpenShared(t));
    }

    void searchInForceIsOnAgainAfterwards() {
        AddItems(*m_main, {{{"Item", "old"}, {"Location", "Attic"}},
                           {{"Item", "old"}, {"Location", "Cellar"}},
                           {{"Item", "new"}, {"Location", "Attic"}}});
        store::Table& t = m_main->ItemTable();
        m_main->SetSearchTest([](const store::RecordView& r) { return r.Text(4) == "Attic"; });
        m_main->EnableEndSearch();
        QCOMPARE(t.RecordCount(), 2u);
        m_ui->ExpectModal("Search and Replace", [&](QDialog& d) {
            SearchAndReplaceDialog& dialog = Dialog(d);
            Fill(dialog, 1, "OLD", "used");
            dialog.StartReplacing();
            QCOMPARE(Counters(dialog), (QStringList{"3", "2", "2"}));
        });
        m_ui->ExpectMessage("Finished", kComplete);
        m_main->DoSearchAndReplace();
        HALVENOR_VERIFY_UI(*m_ui);
        // The record outside the search changed too.
        QCOMPARE(Physical(t, "Item"), (QStringList{"used", "used", "new"}));
        QVERIFY(m_main->SearchOn());
        QVERIFY(t.Filtered());
        QVERIFY(OpenShared(t));
        QCOMPARE(t.RecordCount(), 2u);
        QCOMPARE(m_main->CountLabel()->text(), QString("2"));
        QVERIFY(m_main->SearchOnLabel()->isVisibleTo(m_main.get()));
    }

    void refusalsLeaveTheTableShared_data() {
        QTest::addColumn<int>("position");
        QTest::addColumn<QString>("search");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("focus");
        QTest::newRow("no field") << 0 << "" << "No field has been selected." << "FieldCombo";
        QTest::newRow("bad number") << 11 << "abc" << "Invalid search value entered.  Please correct."
                                    << "SearchEdit";
        QTest::newRow("untouched date") << 10 << "" << "Invalid search date entered.  Please correct."
                                        << "SearchEdit";
    }

    void refusalsLeaveTheTableShared() {
        QFETCH(int, position);
        QFETCH(QString, search);
        QFETCH(QString, message);
        QFETCH(QString, focus);
        AddItems(*m_main, {{{"Item", "b"}, {"Category", "A"}}, {{"Item", "a"}, {"Category", "B"}}});
        store::Table& t = m_main->ItemTable();
        m_ui->ExpectModal("Search and Replace", [&](QDialog& d) {
            SearchAndReplaceDialog& dialog = Dialog(d);
            if (position > 0) dialog.FieldCombo->setCurrentIndex(position - 1);
            if (!search.isEmpty()) QTest::keyClicks(dialog.SearchEdit, search);
            dialog.StartReplacing();
            QVERIFY(dialog.isVisible());
            QVERIFY(dialog.focusWidget());
            const QWidget* expected = focus == "FieldCombo" ? static_cast<QWidget*>(dialog.FieldCombo)
                                                            : static_cast<QWidget*>(dialog.SearchEdit);
            QCOMPARE(dialog.focusWidget(), expected);
            QVERIFY(OpenShared(t));
            QCOMPARE(t.ActiveIndex(), std::string(find::kSortTagName));
        });
        m_ui->ExpectMessage("Error", message);
        m_main->DoSearchAndReplace();
        HALVENOR_VERIFY_UI(*m_ui);
    }

    void fileHeldElsewhereChangesNothing() {
        AddItems(*m_main, {{{"Item", "b"}, {"Category", "A"}}, {{"Item", "a"}, {"Category", "B"}}});
        store::Table& t = m_main->ItemTable();
        Holder other(t.DataFilePath());
        QVERIFY(other.Holding());
        m_ui->ExpectModal("Search and Replace", [&](QDialog& d) {
            SearchAndReplaceDialog& dialog = Dialog(d);
            Fill(dialog, 1, "a", "z");
            dialog.StartReplacing();
            QVERIFY(dialog.isVisible());
        });
        m_ui->ExpectMessage("Error", kInUse);
        m_main->DoSearchAndReplace();
        HALVENOR_VERIFY_UI(*m_ui);
        QCOMPARE(Physical(t, "Item"), (QStringList{"b", "a"}));
        QVERIFY(OpenShared(t));
        QCOMPARE(t.ActiveIndex(), std::string(find::kSortTagName));
        QCOMPARE(Delivered(t, "Item"), (QStringList{"b", "a"}));
    }

    void replacementTheFieldCannotHoldStopsTheRun() {
        // Text outside the table's code page: refused at the first match,
        // so no record changes, and the table is handed back with its tag.
        AddItems(*m_main, {{{"Item", "b"}, {"Category", "A"}}, {{"Item", "a"}, {"Category", "B"}}});
        store::Table& t = m_main->ItemTable();
        m_ui->ExpectModal("Search and Replace", [&](QDialog& d) {
            SearchAndReplaceDialog& dialog = Dialog(d);
            Fill(dialog, 1, "a", QString::fromUtf8("\u65e5\u672c"));
            dialog.StartReplacing();
            QVERIFY(dialog.isVisible());
            QCOMPARE(dialog.Count().changed, 0);
        });
        m_ui->ExpectMessage("Error");
        m_main->DoSearchAndReplace();
        HALVENOR_VERIFY_UI(*m_ui);
        QVERIFY(m_ui->Messages().last().endsWith("Search and replace was stopped with 0 records changed."));
        QCOMPARE(int(t.CurrentState()), int(store::Table::State::Browse));  // the refused edit is cancelled
        QCOMPARE(Physical(t, "Item"), (QStringList{"b", "a"}));
        QVERIFY(OpenShared(t));
        QCOMPARE(t.ActiveIndex(), std::string(find::kSortTagName));
        QCOMPARE(Delivered(t, "Item"), (QStringList{"b", "a"}));
    }

    void physicalOrderKeepsNoTag() {
        common::AppSettings().sortFields = {0, 0, 0, 0};
        m_main->BuildSortString();
        AddItems(*m_main, {{{"Item", "b"}}, {{"Item", "a"}}});
        store::Table& t = m_main->ItemTable();
        m_ui->ExpectModal("Search and Replace", [&](QDialog& d) {
            SearchAndReplaceDialog& dialog = Dialog(d);
            Fill(dialog, 1, "b", "c");
            dialog.StartReplacing();
        });
        m_ui->ExpectMessage("Finished", kComplete);
        m_main->DoSearchAndReplace();
        HALVENOR_VERIFY_UI(*m_ui);
        QVERIFY(OpenShared(t));
        QCOMPARE(t.ActiveIndex(), std::string());
        QCOMPARE(Delivered(t, "Item"), (QStringList{"c", "a"}));
    }

private:
    std::unique_ptr<Folders> m_folders;
    std::unique_ptr<ScriptedUiServices> m_ui;
    std::unique_ptr<shell::MainWindow> m_main;
};

QTEST_MAIN(SearchReplaceTest)
#include "SearchReplaceTest.moc"
