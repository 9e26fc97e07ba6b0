// Locate as the user meets it: the dialog's field list, settings and
// buttons, the messages, the settings kept after every close, and Locate
// Next — which opens the dialog before anything was searched, keeps the
// record after the last match and never finds what a search hides.

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QFocusEvent>
#include <QtTest>

#include "FakeMainContext.h"
#include "FindTestSupport.h"
#include "ScriptedUiServices.h"
#include "SearchCriteria.h"
#include "SearchFilter.h"
#include "Settings.h"
#include "Locator.h"
#include "LocateDialog.h"

using namespace find;
using common::ScriptedUiServices;

namespace {

const QString kCaption = "Locate Field Value";

LocateDialog& Dlg(QDialog& d) { return static_cast<LocateDialog&>(d); }

// Chooses a field by its label, types the value and picks a button.
void Fill(LocateDialog& dlg, const QString& label, const QString& value) {
    dlg.FieldNameComboBox->setCurrentText(label);
    dlg.SearchValue->setText(value);
}

}  // namespace

class LocateTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void dialogStartsFromTheComponentSettings();
    void fieldListUsesDisplayLabels();
    void firstFindsAndCloses();
    void noMatchKeepsTheDialogOpen();
    void matchTypesAndCaseRule_data();
    void matchTypesAndCaseRule();
    void exactMatchOnMoneyComparesNumbers();
    void cancelStillStoresTheSettings();
    void locateNextOpensTheDialogBeforeAnySearch();
    void locateNextAfterTheLastMatchKeepsTheRecord();
    void recordsHiddenBySearchAreNeverFound();
    void unknownFieldIsReportedOnce();
    void closedTableIsReported();

private:
    uint32_t RecOf(const std::string& item);

    QTemporaryDir m_home;
    QTemporaryDir m_dir;
    std::unique_ptr<findtest::FakeMainContext> m_context;
};

void LocateTest::initTestCase() {
    qputenv("XDG_DATA_HOME", (m_home.path() + "/data").toUtf8());
    qputenv("XDG_CONFIG_HOME", (m_home.path() + "/config").toUtf8());
    store::SetCurrentDateFormat(store::DateFormat('/', store::DateFormat::Order::MonthDayYear, true));
}

void LocateTest::init() {
    m_context = std::make_unique<findtest::FakeMainContext>();
    store::Table& t = m_context->ItemTable();
    findtest::CreateItemTable(t, m_dir.path());
    findtest::AddItem(t, {{"Item", "tv"}, {"Brand", "Sony"}, {"Cost", "12.5"}, {"Location", "Attic"}});
    findtest::AddItem(t, {{"Item", "saw"}, {"Brand", "Jackson"}, {"Cost", "125"}, {"Location", "Garage"}});
    findtest::AddItem(t, {{"Item", "radio"}, {"Brand", "SONY"}, {"Cost", "40"}, {"Location", "Attic"}});
    findtest::AddItem(t, {{"Item", "amp"}, {"Brand", "Sonzo"}, {"Location", "Garage"}});
    t.First();
}

void LocateTest::cleanup() { m_context.reset(); }

uint32_t LocateTest::RecOf(const std::string& item) {
    store::Table& t = m_context->ItemTable();
    for (uint32_t r = 0; r < t.PhysicalCount(); ++r)
        if (t.ViewOf(r).Text(0) == item) return r;
    return UINT32_MAX;
}

void LocateTest::dialogStartsFromTheComponentSettings() {
    ScriptedUiServices ui;
    Locator locate(*m_context);
    ui.ExpectModal(kCaption, [](QDialog& d) {
        LocateDialog& dlg = Dlg(d);
        QVERIFY(dlg.PartialBeginningRadio->isChecked());
        QVERIFY(!dlg.CaseSensitiveCheck->isChecked());
        QVERIFY(dlg.NextButton->isDefault());
        QVERIFY(!dlg.FirstButton->isDefault());
        QCOMPARE(dlg.SearchValue->text(), QString());
        QCOMPARE(dlg.FieldNameComboBox->currentIndex(), -1);
        QCOMPARE(dlg.FirstButton->text(), QString("Fi&rst"));
        QCOMPARE(dlg.NextButton->text(), QString("&Next"));
        // While the field list has the focus, Enter starts no search.
        dlg.SuspendDefaultButtons();
        QVERIFY(!dlg.NextButton->isDefault());
        dlg.RestoreDefaultButton();
        QVERIFY(dlg.NextButton->isDefault());
    });
    QVERIFY(!locate.DoFind());
    // A remembered field and value come back; another caption and default.
    locate.fieldName = "Brand";
    locate.searchValue = "Son";
    locate.matchType = 2;
    locate.caseSensitive = true;
    locate.defaultNext = false;
    locate.caption = "Find It";
    ui.ExpectModal("Find It", [](QDialog& d) {
        LocateDialog& dlg = Dlg(d);
        QCOMPARE(dlg.FieldNameComboBox->currentText(), QString("Brand"));
        QCOMPARE(dlg.SearchValue->text(), QString("Son"));
        QVERIFY(dlg.PartialAnywhereRadio->isChecked());
        QVERIFY(dlg.CaseSensitiveCheck->isChecked());
        QVERIFY(dlg.FirstButton->isDefault());
        // The field list taking the focus takes First's Enter away; leaving
        // it gives it back.
        QFocusEvent in(QEvent::FocusIn), out(QEvent::FocusOut);
        QApplication::sendEvent(dlg.FieldNameComboBox, &in);
        QVERIFY(!dlg.FirstButton->isDefault());
        QVERIFY(!dlg.NextButton->isDefault());
        QApplication::sendEvent(dlg.FieldNameComboBox, &out);
        QVERIFY(dlg.FirstButton->isDefault());
        QVERIFY(!dlg.NextButton->isDefault());
        // Choosing another field empties the value.
        dlg.FieldNameComboBox->setCurrentText("Cost");
        QCOMPARE(dlg.SearchValue->text(), QString());
    });
    QVERIFY(!locate.DoFind());
    QCOMPARE(locate.fieldName, QString("Cost"));
    HALVENOR_VERIFY_UI(ui);
}

void LocateTest::fieldListUsesDisplayLabels() {
    common::Settings& s = common::AppSettings();
    struct Restore {
        common::Settings saved = common::AppSettings();
        ~Restore() { common::AppSettings() = saved; }
    } restore;
    s.Field(4).title = "Serial~No";
    s.Field(13).display = false;  // RepCost never shown: listed by its field name
    s.Field(2).title = "Maker";
    Locator locate(*m_context);
    auto labels = [&] {
        QStringList out;
        for (const auto& f : locate.FieldList()) out << f.label;
        return out;
    };
    const QStringList all = labels();
    QCOMPARE(all.size(), 22);
    QVERIFY(all.contains("Serial No"));
    QVERIFY(all.contains("RepCost"));
    QVERIFY(all.contains("Maker"));
    QVERIFY(!all.contains("Brand"));
    QStringList sorted = all;
    std::sort(sorted.begin(), sorted.end(), [](const QString& a, const QString& b) {
        return a.compare(b, Qt::CaseInsensitive) < 0;
    });
    QCOMPARE(all, sorted);
    // A field hidden after it was shown keeps the title it had.
    s.Field(2).display = false;
    QVERIFY(labels().contains("Maker"));
    locate.visibleFieldsOnly = true;
    QCOMPARE(labels().size(), 20);
    locate.visibleFieldsOnly = false;
    locate.sortFields = false;
    QCOMPARE(labels().front(), QString("Item"));
    // Titles that differ only in letter case keep the fields' order.
    locate.sortFields = true;
    s.Field(5).title = "Place";
    s.Field(6).title = "place";
    const QStringList twins = labels();
    QCOMPARE(twins.indexOf("place"), twins.indexOf("Place") + 1);
}

void LocateTest::firstFindsAndCloses() {
    ScriptedUiServices ui;
    Locator locate(*m_context);
    m_context->ItemTable().GoTo(RecOf("radio"));
    ui.ExpectModal(kCaption, [](QDialog& d) {
        Fill(Dlg(d), "Brand", "son");
        Dlg(d).FindFirst();
        QVERIFY(!d.isVisible());
    });
    QVERIFY(locate.DoFind());
    QCOMPARE(m_context->ItemTable().RecNo(), RecOf("tv"));
    QCOMPARE(locate.fieldName, QString("Brand"));
    QCOMPARE(locate.searchValue, QString("son"));
    // Locate Next goes on after the current record.
    QVERIFY(locate.DoFindNext());
    QCOMPARE(m_context->ItemTable().RecNo(), RecOf("radio"));
    HALVENOR_VERIFY_UI(ui);
}

void LocateTest::noMatchKeepsTheDialogOpen() {
    ScriptedUiServices ui;
    Locator locate(*m_context);
    m_context->ItemTable().GoTo(RecOf("saw"));
    ui.ExpectModal(kCaption, [&ui](QDialog& d) {
        Fill(Dlg(d), "Brand", "zzz");
        ui.ExpectMessage("Information", "No matches found");
        Dlg(d).FindFirst();
        QVERIFY(d.isVisible());
        ui.ExpectMessage("Information", "No more matches found");
        Dlg(d).FindNext();
        QVERIFY(d.isVisible());
    });
    QVERIFY(!locate.DoFind());
    QCOMPARE(m_context->ItemTable().RecNo(), RecOf("saw"));
    HALVENOR_VERIFY_UI(ui);
}

void LocateTest::matchTypesAndCaseRule_data() {
    QTest::addColumn<int>("matchType");
    QTest::addColumn<bool>("caseSensitive");
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("found");  // items in order, from the first record
    QTest::newRow("defaults: son at the beginning") << 1 << false << "son" << "tv,radio,amp";
    QTest::newRow("son anywhere finds Jackson too") << 2 << false << "son" << "tv,saw,radio,amp";
    QTest::newRow("exact sony ignoring case") << 0 << false << "sony" << "tv,radio";
    QTest::newRow("exact sony with case finds no Sony") << 0 << true << "sony" << "";
    QTest::newRow("beginning with case") << 1 << true << "Son" << "tv,amp";
    QTest::newRow("the last letter in either case") << 2 << false << "Z" << "amp";
}

void LocateTest::matchTypesAndCaseRule() {
    QFETCH(int, matchType);
    QFETCH(bool, caseSensitive);
    QFETCH(QString, value);
    QFETCH(QString, found);
    ScriptedUiServices ui;
    Locator locate(*m_context);
    store::Table& t = m_context->ItemTable();
    QStringList items;
    if (locate.FindRecord(true, t, "Brand", caseSensitive, matchType, value)) {
        do items << QString::fromStdString(t.GetText("Item"));
        while (locate.FindRecord(false, t, "Brand", caseSensitive, matchType, value));
    }
    QCOMPARE(items.join(','), found);
    HALVENOR_VERIFY_UI(ui);
}

void LocateTest::exactMatchOnMoneyComparesNumbers() {
    ScriptedUiServices ui;
    Locator locate(*m_context);
    store::Table& t = m_context->ItemTable();
    t.GoTo(RecOf("amp"));
    QVERIFY(locate.FindRecord(true, t, "Cost", false, 0, "12.50"));
    QCOMPARE(t.RecNo(), RecOf("tv"));
    t.GoTo(RecOf("amp"));
    QVERIFY(!locate.FindRecord(true, t, "Cost", false, 0, "twelve"));
    QCOMPARE(t.RecNo(), RecOf("amp"));
    QVERIFY(!locate.FindRecord(true, t, "Cost", false, 0, "12.6"));
    HALVENOR_VERIFY_UI(ui);
}

void LocateTest::cancelStillStoresTheSettings() {
    ScriptedUiServices ui;
    Locator locate(*m_context);
    locate.fieldName = "Brand";
    locate.searchValue = "son";
    ui.ExpectModal(kCaption, [](QDialog& d) {
        Dlg(d).SearchValue->setText("jack");
        Dlg(d).PartialAnywhereRadio->setChecked(true);
        Dlg(d).CaseSensitiveCheck->setChecked(true);
        d.reject();
    });
    QVERIFY(!locate.DoFind());
    QCOMPARE(locate.searchValue, QString("jack"));
    QCOMPARE(locate.matchType, 2);
    QVERIFY(locate.caseSensitive);
    m_context->ItemTable().First();
    ui.ExpectMessage("Information", "No more matches found");
    QVERIFY(!locate.DoFindNext());  // "jack" with case: nothing
    HALVENOR_VERIFY_UI(ui);
}

void LocateTest::locateNextOpensTheDialogBeforeAnySearch() {
    ScriptedUiServices ui;
    Locator locate(*m_context);
    locate.defaultNext = false;
    ui.ExpectModal(kCaption, [](QDialog& d) {
        QVERIFY(Dlg(d).NextButton->isDefault());
        Fill(Dlg(d), "Item", "ra");
        Dlg(d).FindNext();
    });
    QVERIFY(locate.DoFindNext());
    QCOMPARE(m_context->ItemTable().RecNo(), RecOf("radio"));
    HALVENOR_VERIFY_UI(ui);
}

void LocateTest::locateNextAfterTheLastMatchKeepsTheRecord() {
    ScriptedUiServices ui;
    Locator locate(*m_context);
    locate.fieldName = "Location";
    locate.searchValue = "garage";
    store::Table& t = m_context->ItemTable();
    t.First();
    QVERIFY(locate.DoFindNext());
    QCOMPARE(t.RecNo(), RecOf("saw"));
    QVERIFY(locate.DoFindNext());
    QCOMPARE(t.RecNo(), RecOf("amp"));
    ui.ExpectMessage("Information", "No more matches found");
    QVERIFY(!locate.DoFindNext());
    QCOMPARE(t.RecNo(), RecOf("amp"));
    // Without messages it only answers.
    locate.showMessages = false;
    QVERIFY(!locate.DoFindNext());
    HALVENOR_VERIFY_UI(ui);
}

void LocateTest::recordsHiddenBySearchAreNeverFound() {
    ScriptedUiServices ui;
    SearchCriteria criteria;
    CellTexts cells;
    cells[4] = "attic";  // Location
    OperatorChoices choices;
    choices.fill(1);
    QCOMPARE(criteria.SaveFields(cells, choices, store::CurrentDateFormat()).outcome, SearchCriteria::Outcome::Saved);
    store::Table& t = m_context->ItemTable();
    m_context->SetSearchTest(SearchFilter::MakeTest(criteria.Items(), t.Layout()));
    m_context->EnableEndSearch();
    t.Refresh();

    Locator locate(*m_context);
    QVERIFY(!locate.FindRecord(true, t, "Item", false, 0, "saw"));
    QVERIFY(locate.FindRecord(true, t, "Brand", false, 2, "son"));
    QCOMPARE(t.RecNo(), RecOf("tv"));
    QVERIFY(locate.FindRecord(false, t, "Brand", false, 2, "son"));
    QCOMPARE(t.RecNo(), RecOf("radio"));
    QVERIFY(!locate.FindRecord(false, t, "Brand", false, 2, "son"));
    QCOMPARE(t.RecNo(), RecOf("radio"));
    HALVENOR_VERIFY_UI(ui);
}

void LocateTest::unknownFieldIsReportedOnce() {
    ScriptedUiServices ui;
    Locator locate(*m_context);
    locate.fieldName = "Colour";
    locate.searchValue = "red";
    ui.ExpectMessage("Warning", "Field Colour not found.");
    QVERIFY(!locate.DoFindNext());
    HALVENOR_VERIFY_UI(ui);
}

void LocateTest::closedTableIsReported() {
    ScriptedUiServices ui;
    Locator locate(*m_context);
    m_context->ItemTable().Close();
    ui.ExpectMessage("Error", "DataSource does not reference an active DataSet");
    QVERIFY(!locate.DoFind());
    ui.ExpectMessage("Warning", "DataSource does not refer to an active table!");
    QVERIFY(!locate.DoFindNext());
    HALVENOR_VERIFY_UI(ui);
}

QTEST_MAIN(LocateTest)
#include "LocateTest.moc"
