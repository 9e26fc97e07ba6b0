// The search criteria as the window collects them (every field kind and
// operator choice, the limit of 75, the messages), the compiled record
// filter over real item tables, and the record test and walk of Locate.

#include <QtTest>
#include <map>

#include "FieldNumber.h"
#include "FindTestSupport.h"
#include "LocateSearch.h"
#include "SearchCriteria.h"
#include "SearchFilter.h"

using namespace find;
using findtest::Cells;
using findtest::Choices;
using findtest::Values;

namespace {

// A compact picture of a criteria list: "pos:test:value[;]" per criterion,
// ";" marking a level end.
QString Describe(const std::vector<SearchCriterion>& items) {
    QStringList out;
    for (const auto& c : items) {
        QString value;
        if (c.test == kTestContains) value = QString::fromStdString(c.text);
        else if (c.dateFlag) value = QString::fromStdString(c.date.ToStorage());
        else value = QString::number(c.number);
        out << QString("%1:%2:%3%4").arg(c.position).arg(c.test).arg(value, c.levelEnd ? ";" : "");
    }
    return out.join(' ');
}

const store::DateFormat kMdy('/', store::DateFormat::Order::MonthDayYear, true);

std::vector<int> CharacterPositions() {
    std::vector<int> out;
    for (const auto& f : store::ItemSchema())
        if (f.kind == 'C') out.push_back(f.position);
    return out;
}

// A level with a "contains" criterion in each of the first n text fields.
CellTexts TextLevel(int n) {
    CellTexts cells;
    const auto positions = CharacterPositions();
    for (int i = 0; i < n; ++i) cells[size_t(positions[size_t(i)] - 1)] = "x";
    return cells;
}

}  // namespace

class SearchCoreTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { store::SetCurrentDateFormat(kMdy); }

    // A stored number as the search reads it: right-aligned as the engine
    // writes it, left-aligned or signed as other programs do, blank as 0,
    // and what is no number as nothing.
    void storedNumbersAsTheSearchReadsThem() {
        const store::RecordLayout layout({store::FieldDef{"COST", 'N', 10, 2}, store::FieldDef{"RATE", 'F', 8, 3}}, 1252);
        auto read = [&](const char* cost, const char* rate) {
            const std::string record = std::string(" ") + cost + rate;
            const store::RecordView view(record.data(), layout);
            auto shown = [](std::optional<double> v) { return v ? QString::number(*v) : QString("none"); };
            return shown(find::FieldNumber(view, 0)) + "|" + shown(find::FieldNumber(view, 1));
        };
        QCOMPARE(read("     12.50", "   1.250"), QString("12.5|1.25"));
        QCOMPARE(read("12.50     ", "+1.25   "), QString("12.5|1.25"));
        QCOMPARE(read("          ", "  -0.500"), QString("0|-0.5"));
        QCOMPARE(read("   12,50  ", "abc     "), QString("none|none"));
        // A binary count whose bytes happen to read as digits is still a count.
        const store::RecordLayout binary({store::FieldDef{"COUNT", 'I', 4, 0}}, 1252);
        const std::string record = " 1234";
        QCOMPARE(find::FieldNumber(store::RecordView(record.data(), binary), 0), std::optional<double>(0x34333231));
    }

    void saveFields_data();
    void saveFields();
    void invalidLevelKeepsEarlierLevels();
    void seventyFiveCriteriaAndNoMore();
    void seventySixthInTheMiddleOfARange();
    void filter_data();
    void filter();
    void filterFollowsTheTableOrderAndSurvivesReopen();
    void locate_data();
    void locate();
    void locateWalksFromTheCurrentRecordThroughTheFilter();
};

void SearchCoreTest::saveFields_data() {
    QTest::addColumn<QVariantMap>("cells");
    QTest::addColumn<QVariantMap>("choices");
    QTest::addColumn<int>("outcome");
    QTest::addColumn<int>("position");  // of the invalid field
    QTest::addColumn<QString>("criteria");

    using O = SearchCriteria::Outcome;
    const auto row = [](const char* name, QVariantMap cells, QVariantMap choices, O outcome, int position,
                        QString criteria) {
        QTest::newRow(name) << cells << choices << int(outcome) << position << criteria;
    };
    row("text is trimmed and upper-cased a-z only", {{"Brand", "  son café "}}, {}, O::Saved, 0, "2:5:SON CAFé;");
    row("several fields form one level in field order", {{"Owner", "mara"}, {"Item", "lamp"}}, {}, O::Saved, 0,
        "1:5:LAMP 17:5:MARA;");
    row("number equal", {{"Cost", "= 12.5    "}}, {}, O::Saved, 0, "11:1:12.5;");
    row("number greater", {{"Cost", "> 100"}}, {{"Cost", 2}}, O::Saved, 0, "11:2:100;");
    row("number less", {{"Quantity", "< 3"}}, {{"Quantity", 3}}, O::Saved, 0, "9:3:3;");
    row("equal sign alone adds nothing", {{"Cost", "=          "}}, {}, O::NoCriteria, 0, "");
    row("range gives greater then less", {{"Cost", "> 100       AND < 200     "}}, {{"Cost", 4}}, O::Saved, 0,
        "11:2:100 11:3:200;");
    row("range with neither end adds nothing", {{"Cost", ">           AND <         "}}, {{"Cost", 4}},
        O::NoCriteria, 0, "");
    row("range with only the low end is invalid", {{"Cost", "> 100       AND <         "}}, {{"Cost", 4}},
        O::Invalid, 11, "");
    row("range with only the high end is invalid", {{"Cost", ">           AND < 200"}}, {{"Cost", 4}}, O::Invalid,
        11, "");
    row("range without AND is invalid", {{"Cost", "> 100 200"}}, {{"Cost", 4}}, O::Invalid, 11, "");
    row("number with letters is invalid", {{"Cost", "= 12abc"}}, {}, O::Invalid, 11, "");
    row("operator of another choice is invalid", {{"Cost", "= 12"}}, {{"Cost", 2}}, O::Invalid, 11, "");
    row("date equal", {{"PurchDate", "= 12/25/2023"}}, {}, O::Saved, 0, "10:1:20231225;");
    row("untouched date template adds nothing", {{"PurchDate", "=   /  /    "}}, {}, O::NoCriteria, 0, "");
    row("untouched template of another separator adds nothing", {{"WarDate", "<   -  -    "}}, {{"WarDate", 3}},
        O::NoCriteria, 0, "");
    row("impossible date is invalid", {{"PurchDate", "= 13/45/2023"}}, {}, O::Invalid, 10, "");
    row("half typed date is invalid", {{"PurchDate", "= 12/  /    "}}, {}, O::Invalid, 10, "");
    row("a date of blanks alone adds nothing", {{"PurchDate", "=           "}}, {}, O::NoCriteria, 0, "");
    row("a date template with one separator is invalid", {{"PurchDate", "=   /       "}}, {}, O::Invalid, 10, "");
    row("date range", {{"WarDate", "> 1/1/2020 AND < 12/31/2021"}}, {{"WarDate", 4}}, O::Saved, 0,
        "15:2:20200101 15:3:20211231;");
    row("date range with an untouched end is invalid", {{"WarDate", "> 01/01/2020 AND <   /  /    "}},
        {{"WarDate", 4}}, O::Invalid, 15, "");
    row("empty grid", {}, {}, O::NoCriteria, 0, "");
    row("first invalid field in field order is reported", {{"Value", "= x"}, {"Cost", "= y"}, {"Item", "ok"}}, {},
        O::Invalid, 11, "");
}

void SearchCoreTest::saveFields() {
    QFETCH(QVariantMap, cells);
    QFETCH(QVariantMap, choices);
    QFETCH(int, outcome);
    QFETCH(int, position);
    QFETCH(QString, criteria);
    std::map<std::string, std::string> cellMap;
    for (auto it = cells.begin(); it != cells.end(); ++it) cellMap[it.key().toStdString()] = it.value().toString().toStdString();
    std::map<std::string, int> choiceMap;
    for (auto it = choices.begin(); it != choices.end(); ++it) choiceMap[it.key().toStdString()] = it.value().toInt();

    SearchCriteria list;
    const auto result = list.SaveFields(Cells(cellMap), Choices(choiceMap), kMdy);
    QCOMPARE(int(result.outcome), outcome);
    QCOMPARE(result.position, position);
    QCOMPARE(Describe(list.Items()), criteria);
    const char* expectedMessage = outcome == int(SearchCriteria::Outcome::Invalid)
                                      ? "Invalid search criteria entered.  Please correct."
                                  : outcome == int(SearchCriteria::Outcome::NoCriteria) ? "No search criteria entered."
                                                                                         : "";
    QCOMPARE(QString::fromStdString(result.message), QString(expectedMessage));
}

void SearchCoreTest::invalidLevelKeepsEarlierLevels() {
    SearchCriteria list;
    QCOMPARE(list.SaveFields(Cells({{"Category", "tool"}}), Choices(), kMdy).outcome, SearchCriteria::Outcome::Saved);
    list.NextLevel();
    const auto r = list.SaveFields(Cells({{"Brand", "sony"}, {"Cost", "= abc"}}), Choices(), kMdy);
    QCOMPARE(r.outcome, SearchCriteria::Outcome::Invalid);
    QCOMPARE(Describe(list.Items()), QString("12:5:TOOL;"));
    QCOMPARE(list.Level(), 2);
}

void SearchCoreTest::seventyFiveCriteriaAndNoMore() {
    SearchCriteria list;
    const int perLevel = int(CharacterPositions().size());
    int levels = 0;
    while (list.Count() + perLevel <= kMaxCriteria) {
        QCOMPARE(list.SaveFields(TextLevel(perLevel), Choices(), kMdy).outcome, SearchCriteria::Outcome::Saved);
        list.NextLevel();
        ++levels;
    }
    QCOMPARE(list.SaveFields(TextLevel(kMaxCriteria - list.Count()), Choices(), kMdy).outcome,
             SearchCriteria::Outcome::Saved);
    QCOMPARE(list.Count(), 75);
    list.NextLevel();
    QCOMPARE(list.Level(), levels + 2);

    const auto r = list.SaveFields(TextLevel(1), Choices(), kMdy);
    QCOMPARE(r.outcome, SearchCriteria::Outcome::TooMany);
    QCOMPARE(QString::fromStdString(r.message),
             QString("More than 75 search items have been entered.  This exceeds the maximum allowable.  Search "
                     "criteria will be cleared."));
    QCOMPARE(list.Count(), 0);
    QCOMPARE(list.Level(), 1);
}

void SearchCoreTest::seventySixthInTheMiddleOfARange() {
    SearchCriteria list;
    while (list.Count() < 74) {
        QCOMPARE(list.SaveFields(TextLevel(std::min(16, 74 - list.Count())), Choices(), kMdy).outcome,
                 SearchCriteria::Outcome::Saved);
        list.NextLevel();
    }
    const auto r = list.SaveFields(Cells({{"Cost", "> 1 AND < 2"}}), Choices({{"Cost", 4}}), kMdy);
    QCOMPARE(r.outcome, SearchCriteria::Outcome::TooMany);
    QCOMPARE(list.Count(), 0);
}

// Each row: records (Item plus fields), levels of cells (choices by field),
// and the items the filter lets through, in record order.
void SearchCoreTest::filter_data() {
    QTest::addColumn<QList<QVariantMap>>("records");
    QTest::addColumn<QList<QVariantMap>>("levels");
    QTest::addColumn<QVariantMap>("choices");
    QTest::addColumn<QString>("expected");

    const QList<QVariantMap> brands = {{{"Item", "tv"}, {"Brand", "Sony"}},
                                       {{"Item", "radio"}, {"Brand", "SONY"}},
                                       {{"Item", "saw"}, {"Brand", "Jackson"}},
                                       {{"Item", "speaker"}, {"Brand", "Bose"}},
                                       {{"Item", "lamp"}, {"Brand", ""}}};
    QTest::newRow("son on Brand matches Sony SONY and Jackson")
        << brands << QList<QVariantMap>{{{"Brand", "son"}}} << QVariantMap{} << "tv,radio,saw";
    QTest::newRow("contains upper-cases a-z only")
        << QList<QVariantMap>{{{"Item", "a"}, {"Brand", "Café"}}, {{"Item", "b"}, {"Brand", "CAFÉ"}}}
        << QList<QVariantMap>{{{"Brand", "café"}}} << QVariantMap{} << "a";
    QTest::newRow("text the table cannot hold matches nothing")
        << brands << QList<QVariantMap>{{{"Brand", "sonЖ"}}} << QVariantMap{} << "";

    const QList<QVariantMap> costs = {{{"Item", "c100"}, {"Cost", "100"}},
                                      {{"Item", "c150"}, {"Cost", "150"}},
                                      {{"Item", "c200"}, {"Cost", "200"}},
                                      {{"Item", "cempty"}},
                                      {{"Item", "c5"}, {"Cost", "5.25"}}};
    QTest::newRow("range excludes both ends")
        << costs << QList<QVariantMap>{{{"Cost", "> 100 AND < 200"}}} << QVariantMap{{"Cost", 4}} << "c150";
    QTest::newRow("empty cost counts as 0 for less than 10")
        << costs << QList<QVariantMap>{{{"Cost", "< 10"}}} << QVariantMap{{"Cost", 3}} << "cempty,c5";
    QTest::newRow("equal compares numbers not texts")
        << costs << QList<QVariantMap>{{{"Cost", "= 150.000"}}} << QVariantMap{} << "c150";

    const QList<QVariantMap> dates = {{{"Item", "old"}, {"PurchDate", "1/2/1990"}},
                                      {{"Item", "new"}, {"PurchDate", "6/30/2024"}},
                                      {{"Item", "none"}}};
    QTest::newRow("empty date is earlier than any date")
        << dates << QList<QVariantMap>{{{"PurchDate", "< 1/1/1900"}}} << QVariantMap{{"PurchDate", 3}} << "none";
    QTest::newRow("empty date is not later than a date")
        << dates << QList<QVariantMap>{{{"PurchDate", "> 1/1/1900"}}} << QVariantMap{{"PurchDate", 2}} << "old,new";
    QTest::newRow("empty date equals no date")
        << dates << QList<QVariantMap>{{{"PurchDate", "= 6/30/2024"}}} << QVariantMap{} << "new";

    const QList<QVariantMap> household = {{{"Item", "drill"}, {"Category", "Tools"}, {"Cost", "80"}},
                                          {{"Item", "saw"}, {"Category", "TOOLS"}, {"Cost", "900"}},
                                          {{"Item", "tv"}, {"Category", "Video"}, {"Cost", "650"}},
                                          {{"Item", "cup"}, {"Category", "Kitchen"}, {"Cost", "3"}}};
    QTest::newRow("two levels OR together")
        << household << QList<QVariantMap>{{{"Category", "tool"}}, {{"Cost", "> 500"}}}
        << QVariantMap{{"Cost", 2}} << "drill,saw,tv";
    QTest::newRow("criteria of one level AND together")
        << household << QList<QVariantMap>{{{"Category", "tool"}, {"Cost", "> 500"}}} << QVariantMap{{"Cost", 2}}
        << "saw";
    QTest::newRow("integer quantity")
        << QList<QVariantMap>{{{"Item", "one"}, {"Quantity", "1"}}, {{"Item", "four"}, {"Quantity", "4"}}}
        << QList<QVariantMap>{{{"Quantity", "> 2"}}} << QVariantMap{{"Quantity", 2}} << "four";
}

void SearchCoreTest::filter() {
    QFETCH(QList<QVariantMap>, records);
    QFETCH(QList<QVariantMap>, levels);
    QFETCH(QVariantMap, choices);
    QFETCH(QString, expected);

    QTemporaryDir dir;
    store::Table table;
    findtest::CreateItemTable(table, dir.path());
    for (const QVariantMap& r : records) {
        Values values;
        for (auto it = r.begin(); it != r.end(); ++it)
            values.emplace_back(it.key().toStdString(), it.value().toString().toStdString());
        findtest::AddItem(table, values);
    }
    std::map<std::string, int> choiceMap;
    for (auto it = choices.begin(); it != choices.end(); ++it) choiceMap[it.key().toStdString()] = it.value().toInt();
    SearchCriteria list;
    for (const QVariantMap& level : levels) {
        std::map<std::string, std::string> cells;
        for (auto it = level.begin(); it != level.end(); ++it)
            cells[it.key().toStdString()] = it.value().toString().toStdString();
        QCOMPARE(list.SaveFields(Cells(cells), Choices(choiceMap), kMdy).outcome, SearchCriteria::Outcome::Saved);
        list.NextLevel();
    }
    table.SetFilter(SearchFilter::MakeTest(list.Items(), table.Layout()));
    table.SetFiltered(true);
    QCOMPARE(QString::fromStdString(findtest::DeliveredItems(table)), expected);
}

void SearchCoreTest::filterFollowsTheTableOrderAndSurvivesReopen() {
    QTemporaryDir dir;
    store::Table table;
    findtest::CreateItemTable(table, dir.path());
    for (const char* item : {"pear", "apple", "plum", "peach"}) findtest::AddItem(table, {{"Item", item}});
    table.AddIndex("NewIndex", "UPPER(Item)");
    table.SetActiveIndex("NewIndex");
    SearchCriteria list;
    QCOMPARE(list.SaveFields(Cells({{"Item", "p"}}), Choices(), kMdy).outcome, SearchCriteria::Outcome::Saved);
    table.SetFilter(SearchFilter::MakeTest(list.Items(), table.Layout()));
    table.SetFiltered(true);
    QCOMPARE(findtest::DeliveredItems(table), std::string("apple,peach,pear,plum"));

    SearchCriteria nothing;
    QVERIFY(!SearchFilter(nothing.Items(), table.Layout()).BuildFilter(table.ViewOf(0)));

    table.Close();
    table.Open();
    table.Refresh();
    QCOMPARE(findtest::DeliveredItems(table), std::string("apple,peach,pear,plum"));
}

void SearchCoreTest::locate_data() {
    QTest::addColumn<QString>("field");
    QTest::addColumn<int>("matchType");
    QTest::addColumn<bool>("caseSensitive");
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("expected");  // items that match, in record order

    QTest::newRow("partial at beginning finds Sony not Jackson") << "Brand" << 1 << false << "son" << "tv,radio";
    QTest::newRow("partial anywhere finds Jackson too") << "Brand" << 2 << false << "son" << "tv,radio,saw";
    QTest::newRow("exact ignoring case") << "Brand" << 0 << false << "sony" << "tv,radio";
    QTest::newRow("exact with case does not find Sony") << "Brand" << 0 << true << "sony" << "";
    QTest::newRow("exact with case finds the same case") << "Brand" << 0 << true << "SONY" << "radio";
    QTest::newRow("partial with case") << "Brand" << 1 << true << "So" << "tv";
    QTest::newRow("exact needs the whole text") << "Brand" << 0 << false << "son" << "";
    QTest::newRow("empty exact value finds empty fields") << "Brand" << 0 << false << "" << "lamp";
    QTest::newRow("12.50 finds 12.5") << "Cost" << 0 << false << "12.50" << "tv";
    QTest::newRow("twelve finds nothing") << "Cost" << 0 << false << "twelve" << "";
    QTest::newRow("partial on a float compares its text") << "Cost" << 1 << false << "12." << "tv";
    QTest::newRow("integer as digits") << "Quantity" << 0 << false << "3" << "saw";
    QTest::newRow("date in the short date format") << "PurchDate" << 1 << false << "6/30/" << "radio";
}

void SearchCoreTest::locate() {
    QFETCH(QString, field);
    QFETCH(int, matchType);
    QFETCH(bool, caseSensitive);
    QFETCH(QString, value);
    QFETCH(QString, expected);

    QTemporaryDir dir;
    store::Table table;
    findtest::CreateItemTable(table, dir.path());
    findtest::AddItem(table, {{"Item", "tv"}, {"Brand", "Sony"}, {"Cost", "12.5"}, {"Quantity", "1"}});
    findtest::AddItem(table, {{"Item", "radio"}, {"Brand", "SONY"}, {"PurchDate", "6/30/2024"}});
    findtest::AddItem(table, {{"Item", "saw"}, {"Brand", "Jackson"}, {"Cost", "125"}, {"Quantity", "3"}});
    findtest::AddItem(table, {{"Item", "lamp"}});

    const LocateSearch search(table.Layout(), table.FieldIndex(field.toStdString()), caseSensitive, matchType,
                              value.toStdString());
    std::vector<std::string> found;
    for (uint32_t r : table.DeliveredRecords())
        if (search.Matches(table.ViewOf(r))) found.push_back(table.ViewOf(r).Text(0));
    QCOMPARE(QString::fromStdString(findtest::Joined(found)), expected);
}

void SearchCoreTest::locateWalksFromTheCurrentRecordThroughTheFilter() {
    QTemporaryDir dir;
    store::Table table;
    findtest::CreateItemTable(table, dir.path());
    const uint32_t a = findtest::AddItem(table, {{"Item", "lamp a"}, {"Location", "Attic"}});
    const uint32_t b = findtest::AddItem(table, {{"Item", "lamp b"}, {"Location", "Garage"}});
    const uint32_t c = findtest::AddItem(table, {{"Item", "lamp c"}, {"Location", "Attic"}});
    findtest::AddItem(table, {{"Item", "chair"}, {"Location", "Attic"}});
    const LocateSearch lamp(table.Layout(), table.FieldIndex("Item"), false, 1, "lamp");

    QCOMPARE(lamp.Find(table, true), std::optional<uint32_t>(a));
    table.GoTo(a);
    QCOMPARE(lamp.Find(table, false), std::optional<uint32_t>(b));
    table.GoTo(c);
    QCOMPARE(lamp.Find(table, false), std::nullopt);
    QCOMPARE(table.RecNo(), c);

    // Records the filter hides are never found.
    const int location = table.FieldIndex("Location");
    table.SetFilter([location](const store::RecordView& r) { return r.Text(location) == "Attic"; });
    table.SetFiltered(true);
    table.GoTo(a);
    QCOMPARE(lamp.Find(table, false), std::optional<uint32_t>(c));
    // From a current record the filter no longer passes, the walk goes on
    // with the next record delivered.
    table.SetFiltered(false);
    table.GoTo(b);
    table.SetFiltered(true);
    QCOMPARE(lamp.Find(table, false), std::optional<uint32_t>(c));
    QCOMPARE(table.RecNo(), b);
}

QTEST_GUILESS_MAIN(SearchCoreTest)
#include "SearchCoreTest.moc"
