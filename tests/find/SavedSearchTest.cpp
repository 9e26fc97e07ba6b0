// Saved searches as text: criteria of every kind over several levels come
// back equal and find the same records; what cannot be read, and a field
// the table lacks, give their messages; the rules of a search's name.

#include <QTemporaryDir>
#include <QtTest>

#include "FindTestSupport.h"
#include "ItemSchema.h"
#include "SavedSearch.h"
#include "SearchCriteria.h"
#include "Table.h"

using namespace find;
using findtest::Cells;
using findtest::Choices;

namespace {

const store::DateFormat kMdy('/', store::DateFormat::Order::MonthDayYear, true);

store::RecordLayout ItemLayout() { return store::RecordLayout(store::ItemTableFieldDefs(), 1252); }

}  // namespace

class SavedSearchTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { store::SetCurrentDateFormat(kMdy); }

    void criteriaOfEveryKindComeBackEqual() {
        SearchCriteria list;
        // Text with every character the line gives a meaning to, and more.
        QCOMPARE(list.SaveFields(Cells({{"Location", "50% off: a,b/c"}, {"Brand", "Café"}, {"Cost", "> 1000.5"},
                                        {"PurchDate", "= 02/29/2024"}}),
                                 Choices({{"Cost", kChoiceGreater}}), kMdy)
                     .outcome,
                 SearchCriteria::Outcome::Saved);
        list.NextLevel();
        QCOMPARE(list.SaveFields(Cells({{"Quantity", "> 1           AND < 10      "}, {"WarDate", "< 01/01/2000"},
                                        {"UserDef4", "last"}}),
                                 Choices({{"Quantity", kChoiceRange}, {"WarDate", kChoiceLess}}), kMdy)
                     .outcome,
                 SearchCriteria::Outcome::Saved);
        const std::string text = EncodeSearch(list.Items());
        QCOMPARE(text, std::string("Brand:has:CAFé,Location:has:50%25 OFF%3A A%2CB%2FC,PurchDate:eq:2024-02-29,"
                                   "Cost:gt:1000.5/Quantity:gt:1,Quantity:lt:10,WarDate:lt:2000-01-01,"
                                   "UserDef4:has:LAST"));
        const DecodedSearch back = DecodeSearch("Mixed", text, ItemLayout());
        QCOMPARE(back.problem, std::string());
        QVERIFY(back.criteria == list.Items());
        SearchCriteria assigned;
        assigned.Assign(back.criteria);
        QCOMPARE(assigned.Level(), 3);
        // Escapes in either letter case.
        const DecodedSearch escaped = DecodeSearch("x", "Item:has:A%2cB%2F%41", ItemLayout());
        QCOMPARE(escaped.problem, std::string());
        QCOMPARE(escaped.criteria.at(0).text, std::string("A,B/A"));
        // Field names in any letter case.
        const DecodedSearch lower = DecodeSearch("x", "location:has:ATTIC", ItemLayout());
        QCOMPARE(lower.problem, std::string());
        QCOMPARE(lower.criteria.size(), size_t(1));
        QCOMPARE(lower.criteria[0].position, 5);
        QVERIFY(lower.criteria[0].levelEnd);
    }

    void whatCannotBeReadIsRefused_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("problem");
        QTest::newRow("empty") << "" << "holds no criteria.";
        QTest::newRow("unknown field") << "Colour:has:RED"
                                       << "looks in the field Colour, which this database does not have.";
        QTest::newRow("two parts") << "Location:ATTIC" << "cannot be read: \"Location:ATTIC\" is not a criterion.";
        QTest::newRow("empty level") << "Location:has:A//Brand:has:B" << "cannot be read: \"\" is not a criterion.";
        QTest::newRow("test") << "Cost:above:3" << "cannot be read: \"above\" is not a test.";
        QTest::newRow("not a leap year") << "PurchDate:eq:2023-02-29"
                                         << "cannot be read: \"2023-02-29\" is not a date.";
        QTest::newRow("century not a leap year") << "PurchDate:eq:1900-02-29"
                                                 << "cannot be read: \"1900-02-29\" is not a date.";
        QTest::newRow("date with more") << "PurchDate:eq:2024-02-29x" << "cannot be read: \"2024-02-29x\" is not a date.";
        QTest::newRow("number") << "Cost:gt:12a" << "cannot be read: \"12a\" is not a number.";
        QTest::newRow("no number") << "Cost:gt:" << "cannot be read: \"\" is not a number.";
        QTest::newRow("bad escape") << "Item:has:A%2" << "cannot be read: \"A%2\" is not a text to look for.";
        QTest::newRow("escape not hex") << "Item:has:%G1" << "cannot be read: \"%G1\" is not a text to look for.";
        QTest::newRow("contains on a number") << "Cost:has:12" << "cannot be read: \"12\" is not a text to look for.";
        QTest::newRow("equal on text") << "Item:eq:LAMP" << "cannot be read: \"Item:eq:LAMP\" is not a criterion.";
    }
    void whatCannotBeReadIsRefused() {
        QFETCH(QString, text);
        QFETCH(QString, problem);
        const DecodedSearch d = DecodeSearch("Kept", text.toStdString(), ItemLayout());
        QCOMPARE(QString::fromStdString(d.problem), "The saved search \"Kept\" " + problem);
        QVERIFY(d.criteria.empty());
    }

    void aFieldTheTableLacksIsNamed() {
        // A table of only some of the item fields (another program's).
        const store::RecordLayout some({store::FieldDef::String("ITEM", 40), store::FieldDef::String("BRAND", 20)}, 1252);
        QCOMPARE(DecodeSearch("Lamps", "Item:has:LAMP", some).problem, std::string());
        QCOMPARE(DecodeSearch("Lamps", "Item:has:LAMP/Location:has:ATTIC", some).problem,
                 std::string("The saved search \"Lamps\" looks in the field Location, which this database does not have."));
        // No more than a search can hold.
        std::string many = "Item:has:A";
        for (int i = 1; i < kMaxCriteria; ++i) many += ",Item:has:A";
        QCOMPARE(DecodeSearch("Full", many, ItemLayout()).problem, std::string());
        QCOMPARE(DecodeSearch("Full", many + ",Item:has:A", ItemLayout()).problem,
                 std::string("The saved search \"Full\" has too many criteria."));
    }

    void namesOfSearches_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("problem");
        QTest::newRow("plain") << "Attic things" << "";
        QTest::newRow("40 characters, accents") << QString(39, u'é') + "x" << "";
        QTest::newRow("41") << QString(41, u'a') << "A search's name can be at most 40 characters long.";
        QTest::newRow("empty") << "" << "Please enter a name for the search.";
        QTest::newRow("equals") << "a=b" << "A search's name cannot hold \"=\", \"[\", \"]\" or control characters.";
        QTest::newRow("bracket") << "[x" << "A search's name cannot hold \"=\", \"[\", \"]\" or control characters.";
        QTest::newRow("closing bracket") << "x]" << "A search's name cannot hold \"=\", \"[\", \"]\" or control characters.";
        QTest::newRow("tab") << "a\tb" << "A search's name cannot hold \"=\", \"[\", \"]\" or control characters.";
        QTest::newRow("comment") << ";x" << "A search's name cannot begin with \";\".";
    }
    void namesOfSearches() {
        QFETCH(QString, name);
        QFETCH(QString, problem);
        QCOMPARE(QString::fromStdString(CheckSearchName(name.toStdString())), problem);
    }
};

QTEST_GUILESS_MAIN(SavedSearchTest)
#include "SavedSearchTest.moc"
