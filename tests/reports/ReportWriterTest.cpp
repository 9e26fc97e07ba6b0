// The report writer without windows: the text file of a small household
// inventory against pages written by hand, page breaks at group changes and
// before the end block, the summary report, the number styles, grouping by
// two fields, the table's order and filter, and a text file that is either
// complete under its name or not there at all. Runs under the sanitizers.

#include <QDir>
#include <QPageSize>
#include <QPrinter>
#include <QProcess>
#include <QRegularExpression>
#include <cstdio>
#include <map>
#include <QtTest>

#include "EngineServices.h"
#include "FileSizeLimit.h"
#include "ReportStream.h"
#include "ReportTestSupport.h"

using namespace reports;
using namespace reporttest;

namespace {

ReportDefinition ShortNarrow() {
    ReportDefinition def = DefaultReportDefinitions()[0];
    def.titles = {"Halvenor Household", "", "Spring 2024"};
    // A body band of twelve lines of 10-point text.
    def.bottomMargin = 6.9;
    return def;
}

QString Expected(const QString& fixture) {
    QString text = ReadFile(QStringLiteral(HALVENOR_SOURCE_DIR "/tests/reports/data/") + fixture);
    text.replace(QStringLiteral("<FF>"), QStringLiteral("\f"));
    text.replace(QStringLiteral("|\n"), QStringLiteral("\n"));
    return text;
}

// The lines of a text report that stand between the rules of a heading.
QStringList Headings(const QString& text) {
    const QStringList lines = text.split(QLatin1Char('\n'));
    QStringList out;
    for (qsizetype i = 1; i + 1 < lines.size(); ++i)
        if (lines[i - 1].trimmed().startsWith(QLatin1String("--")) && lines[i + 1] == lines[i - 1])
            out << lines[i].trimmed();
    return out;
}

int CountTrimmed(const QString& text, const QString& line) {
    int n = 0;
    for (const QString& l : text.split(QLatin1Char('\n')))
        if (l.trimmed() == line) ++n;
    return n;
}

}  // namespace

class ReportWriterTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    store::Table m_table;

    QString Path(const QString& name) const { return m_dir.filePath(name); }

    QString TextOf(const ReportDefinition& def, const ReportSettings& settings, ReportResult* result = nullptr) {
        const QString path = Path(QStringLiteral("report.txt"));
        const ReportResult r = WriteTextReport(def, m_table, settings, path);
        if (result) *result = r;
        return ReadFile(path);
    }

private slots:
    void initTestCase() { engine::SetPrintersAvailableOverride(false); }

    void init() {
        QVERIFY(m_dir.isValid());
        CreateTable(m_table, m_dir.path());
        AddItems(m_table, Household());
        SortByCategory(m_table);
    }

    void cleanup() {
        m_table.SetFiltered(false);
        m_table.SetFilter({});
        m_table.Close();
        for (const QString& f : QDir(m_dir.path()).entryList(QDir::Files)) QFile::remove(m_dir.filePath(f));
    }

    // Titles as typed, column headers by the user's titles, a heading, items
    // and TOTALS per category, the group totals and heading moved to the next
    // page when too few lines remain, GRAND TOTALS and the statement moved
    // to a page of their own, and a footer with its form feed on every page.
    void textFileMatchesPagesWrittenByHand() {
        ReportResult result;
        // Eleven lines of body: a heading takes two of them, as on the page.
        ReportDefinition def = ShortNarrow();
        def.bottomMargin += 1.0 / 6;
        const QString text = TextOf(def, HouseholdSettings(), &result);
        QVERIFY2(result.completed, qPrintable(result.error));
        QCOMPARE(result.pages, 4);
        const QStringList got = text.split(QLatin1Char('\n')), want = Expected("grouped-by-category.txt").split('\n');
        for (qsizetype i = 0; i < std::min(got.size(), want.size()); ++i)
            QVERIFY2(got[i] == want[i], qPrintable(QString("line %1:\n got [%2]\nwant [%3]").arg(i + 1).arg(got[i], want[i])));
        QCOMPARE(got.size(), want.size());
    }

    // The status window is told the page being written.
    void statusTellsThePage() {
        ReportDefinition def = ShortNarrow();
        def.bottomMargin += 1.0 / 6;
        ReportJob job(def, m_table, HouseholdSettings(), OutputMode::TextFile);
        job.SetTextFile(Path(QStringLiteral("report.txt")));
        QStringList statuses;
        job.SetStatus([&](const QString& status) { statuses << status; });
        QCOMPARE(job.Run().pages, 4);
        QCOMPARE(statuses, QStringList({"Printing Page 1\r\r", "Printing Page 2\r\r", "Printing Page 3\r\r",
                                        "Printing Page 4\r\r"}));
    }

    void numberStyles_data() {
        QTest::addColumn<double>("value");
        QTest::addColumn<bool>("money");
        QTest::addColumn<bool>("builtIn");
        QTest::addColumn<QString>("expected");
        QTest::newRow("no separator after the minus sign") << -123456.0 << true << true << "-123,456.00";
        QTest::newRow("three digits and a minus") << -123.0 << true << true << "-123.00";
        QTest::newRow("half rounds away from zero as typed") << 2.675 << true << true << "2.68";
        QTest::newRow("a carry makes a new group") << 999.995 << true << true << "1,000.00";
        QTest::newRow("a trace below zero has no sign") << -0.004 << true << true << "0.00";
        QTest::newRow("billions") << 12345678901.5 << true << true << "12,345,678,901.50";
        QTest::newRow("quantity without decimals") << 1234.0 << false << true << "1,234";
        QTest::newRow("regional money, three decimals") << -1234567.8915 << true << false << "-1.234.567,892";
        QTest::newRow("regional quantity") << 1234567.0 << false << false << "1.234.567";
    }

    void numberStyles() {
        QFETCH(double, value);
        QFETCH(bool, money);
        QFETCH(bool, builtIn);
        QFETCH(QString, expected);
        NumberStyles styles;
        styles.builtInCurrency = styles.builtInNumbers = builtIn;
        styles.regional = {QStringLiteral(","), QStringLiteral("."), 3};
        QCOMPARE(money ? styles.Currency(value) : styles.Number(value, 0), expected);
    }

    // A locale without currency decimals writes whole money; the regional
    // style follows the values read at start-up.
    void regionalMoneyWithoutDecimals() {
        NumberStyles styles;
        styles.builtInCurrency = false;
        styles.regional = {QStringLiteral("."), QStringLiteral(" "), 0};
        QCOMPARE(styles.Currency(1234.5), QStringLiteral("1 235"));
        styles.builtInCurrency = true;
        QCOMPARE(styles.Currency(1234.5), QStringLiteral("1,234.50"));
    }

    // The regional style is the system's. The system locale is fixed when a
    // program starts, so this test runs again under each locale and the
    // second run prints what it found.
    void regionalNumbersFollowTheSystemLocale_data() {
        QTest::addColumn<QString>("locale");
        QTest::addColumn<QString>("expected");  // decimal point | thousands | currency decimals
        QTest::newRow("German") << "de_DE.UTF-8" << ",|.|2";
        QTest::newRow("Japanese, money without decimals") << "ja_JP.UTF-8" << ".|,|0";
        QTest::newRow("English") << "en_GB.UTF-8" << ".|,|2";
    }
    void regionalNumbersFollowTheSystemLocale() {
        QFETCH(QString, locale);
        QFETCH(QString, expected);
        const RegionalNumbers found = SystemRegionalNumbers();
        const QString line = found.decimal + '|' + found.thousand + '|' + QString::number(found.currencyDigits);
        if (qEnvironmentVariableIsSet("HALVENOR_REGIONAL_PROBE")) {
            std::printf("regional %s\n", qPrintable(line));
            return;
        }
        QProcess probe;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("LC_ALL", locale);
        env.insert("HALVENOR_REGIONAL_PROBE", "1");
        probe.setProcessEnvironment(env);
        probe.start(QCoreApplication::applicationFilePath(),
                    {QStringLiteral("regionalNumbersFollowTheSystemLocale:") + QTest::currentDataTag()});
        QVERIFY(probe.waitForFinished(30000));
        const QString out = QString::fromUtf8(probe.readAllStandardOutput());
        const QRegularExpression printed(QStringLiteral("regional (.*)\n"));
        const QRegularExpressionMatch m = printed.match(out);
        QVERIFY2(m.hasMatch(), qPrintable(out));
        QCOMPARE(m.captured(1), expected);
    }

    // The Statistics/Summary Report has no body lines: only headings, the
    // totals of each category and the end block.
    void summaryReportPrintsOnlyHeadingsAndTotals() {
        ReportDefinition def = DefaultReportDefinitions()[7];
        ReportSettings settings = HouseholdSettings();
        settings.insurance.printStatement = false;
        const QString text = TextOf(def, settings);
        QCOMPARE(Headings(text), QStringList({"Electronics", "Furniture", "Kitchen"}));
        QCOMPARE(CountTrimmed(text, "TOTALS"), 3);
        QCOMPARE(CountTrimmed(text, "GRAND TOTALS"), 1);
        for (const Item& item : Household()) QVERIFY2(!text.contains(item.item), item.item);

        QBuffer recorded;
        QVERIFY(RecordReport(def, m_table, settings, recorded).completed);
        const QStringList drawn = AllTexts(RecordedTexts(recorded.buffer()));
        for (const Item& item : Household()) QVERIFY(!drawn.contains(QString::fromUtf8(item.item)));
        QCOMPARE(drawn.count("TOTALS"), 3);
        QCOMPARE(drawn.count("Electronics"), 1);
    }

    // Without grouping the last group is the whole table: both blocks show
    // the same sums, and an item without a quantity adds nothing to them.
    void withoutGroupingBothTotalsAgree() {
        ReportSettings settings = HouseholdSettings();
        settings.sortFields = {0, 0, 0, 0};
        const QStringList lines = TextOf(ShortNarrow(), settings).split(QLatin1Char('\n'));
        const qsizetype grand = lines.indexOf(QString(39, ' ') + "GRAND TOTALS");
        QVERIFY(grand > 3);
        QCOMPARE(lines[grand - 3].trimmed(), QStringLiteral("TOTALS"));
        QCOMPARE(lines[grand - 2], lines[grand + 1]);
        QVERIFY2(lines[grand + 1].startsWith(QLatin1String("     Cost: 7,821.51")), qPrintable(lines[grand + 1]));
        QVERIFY(Headings(lines.join('\n')).isEmpty());
        // On the page each item's name stands at the left of its cell, as
        // under group headings, whatever the column headers above it do.
        QBuffer recorded;
        QVERIFY(RecordReport(ShortNarrow(), m_table, settings, recorded).completed);
        const Recorded r = ReadRecorded(recorded.buffer());
        int names = 0;
        for (const Item& item : Household()) {
            const qsizetype at = r.texts[0].indexOf(QString::fromUtf8(item.item));
            if (at < 0) continue;
            ++names;
            QCOMPARE(std::round((r.places[0][at].x() - 0.02) * 1e4), 5000.0);
        }
        QVERIFY(names >= 5);
    }

    // A one-line report draws the grid lines the definition asks for round
    // each of its 80 cells (16 items in 5 columns): every side (15), the
    // left and right (3), the top and bottom (12), or none; the three column
    // headers are boxed and the four rules under them and the totals are
    // lines below (8) whatever the choice.
    void gridLinesAsTheDefinitionAsks_data() {
        QTest::addColumn<bool>("vertical");
        QTest::addColumn<bool>("horizontal");
        QTest::addColumn<QString>("cells");  // sides x how many cells
        QTest::addColumn<int>("report");     // a built-in definition; -1: one line per item
        QTest::newRow("both") << true << true << "8x4 15x83" << -1;
        QTest::newRow("vertical") << true << false << "3x80 8x4 15x3" << -1;
        QTest::newRow("horizontal") << false << true << "8x4 12x80 15x3" << -1;
        QTest::newRow("none") << false << false << "8x4 15x3" << -1;
        // The lines of an item that takes several are never ruled.
        QTest::newRow("both, seven lines per item") << true << true << "8x4 15x3" << 4;
    }
    void gridLinesAsTheDefinitionAsks() {
        QFETCH(bool, vertical);
        QFETCH(bool, horizontal);
        QFETCH(QString, cells);
        QFETCH(int, report);
        ReportDefinition def = report < 0 ? ShortNarrow() : DefaultReportDefinitions()[size_t(report)];
        def.verticalLines = vertical;
        def.horizontalLines = horizontal;
        QBuffer recorded;
        QVERIFY(RecordReport(def, m_table, HouseholdSettings(), recorded).completed);
        QList<int> borders;
        RecordedTexts(recorded.buffer(), nullptr, &borders);
        std::map<int, int> counts;
        for (int b : borders) ++counts[b];
        QStringList found;
        for (const auto& [sides, n] : counts) found << QString("%1x%2").arg(sides).arg(n);
        QCOMPARE(found.join(' '), cells);
    }

    // The end block (the totals, the statement) takes a page of its own
    // only when the last page has no room for it: a one-page report holds
    // as many items fewer as the block has lines, whichever parts it has.
    void endBlockMovesOnlyWhenItDoesNotFit() {
        std::vector<Item> many;
        std::vector<std::string> names;
        for (int i = 0; i < 40; ++i) names.push_back("Thing " + std::to_string(100 + i));
        for (const std::string& n : names) many.push_back({"Misc", n.c_str(), "Attic", "1", "2", "1", "3"});
        CreateTable(m_table, m_dir.path(), QStringLiteral("MANY"));
        AddItems(m_table, many);
        const int item = m_table.NeedField("Item");
        ReportSettings settings = HouseholdSettings();
        settings.sortFields = {0, 0, 0, 0};
        auto mostOnOnePage = [&](bool totals, bool statement) {
            ReportDefinition def = ShortNarrow();
            def.useTotals = totals;
            settings.insurance.printStatement = statement;
            int most = 0;
            for (int n = 1; n <= 40; ++n) {
                m_table.SetFilter([item, n](const store::RecordView& r) { return std::stoi(r.Text(item).substr(6)) < 100 + n; });
                m_table.SetFiltered(true);
                ReportResult result;
                const QString text = TextOf(def, settings, &result);
                if (result.pages > 1) break;
                if (text.count(QStringLiteral("Thing 1")) != n) return -n;  // an item lost
                most = n;
            }
            return most;
        };
        const int bare = mostOnOnePage(false, false);
        QVERIFY2(bare > 5 && bare < 40, qPrintable(QString::number(bare)));
        QCOMPARE(mostOnOnePage(true, false), bare - 5);
        QCOMPARE(mostOnOnePage(false, true), bare - 5);
        QCOMPARE(mostOnOnePage(true, true), bare - 10);
    }

    // All twelve body lines are written, the last with its label.
    void everyBodyLineIsWritten() {
        ReportDefinition def = ShortNarrow();
        def.bottomMargin = 0.5;
        def.lines = kMaxBodyLines;
        for (int line = 1; line <= kMaxBodyLines; ++line) {
            ReportLine& items = def.Body(line);
            items = ReportLine{};
            items[0].text = std::string(kLabel);
            items[0].label = "Line " + std::to_string(line) + ":";
            items[0].width = 10;
            items[1].text = "Item";
            items[1].number = 1;
            items[1].width = 40;
        }
        ReportSettings settings = HouseholdSettings();
        settings.sortFields = {0, 0, 0, 0};
        settings.insurance.printStatement = false;
        const QString text = TextOf(def, settings);
        for (int line = 1; line <= kMaxBodyLines; ++line)
            QCOMPARE(text.count(QString("Line %1:").arg(line)), int(Household().size()));
    }

    // Two sort levels: a heading for every category and location pair,
    // group totals between them, none before the first.
    void groupsByTwoSortFields() {
        m_table.DeleteIndex("NewIndex");
        m_table.AddIndex("NewIndex", "UPPER(LEFT(Category,20))+UPPER(LEFT(Location,20))");
        m_table.SetActiveIndex("NewIndex");
        ReportDefinition def = ShortNarrow();
        def.bottomMargin = 0.5;
        def.groupLevel2 = true;
        ReportSettings settings = HouseholdSettings();
        // Levels without a field, or with one no table has, are passed over.
        settings.sortFields = {-1, 12, store::kItemFieldCount + 1, 5};
        const QString text = TextOf(def, settings);
        const QStringList expected = {"Electronics, Bedroom", "Electronics, Den", "Electronics, Living Room",
                                      "Electronics, Office", "Electronics, Upstairs Workroom", "Furniture, Den",
                                      "Furniture, Dining Room", "Furniture, Living Room", "Kitchen, Kitchen"};
        QCOMPARE(Headings(text), expected);
        // Between the groups, and once more for the last group at the end.
        QCOMPARE(CountTrimmed(text, "TOTALS"), int(expected.size()));
    }

    // The report covers what the table delivers: its filter, and its
    // physical order when no index is active.
    void followsTheTableFilterAndOrder() {
        m_table.SetFilter([](const store::RecordView& r) { return r.Text(r.Layout().FieldIndex("Location")) == "Kitchen"; });
        m_table.SetFiltered(true);
        m_table.SetActiveIndex("");
        ReportSettings settings = HouseholdSettings();
        settings.sortFields = {0, 0, 0, 0};
        const QString text = TextOf(ShortNarrow(), settings);
        const qsizetype fridge = text.indexOf("Refrigerator"), blender = text.indexOf("Blender"),
                        toaster = text.indexOf("Toaster");
        QVERIFY(fridge > 0 && fridge < blender && blender < toaster);
        QVERIFY(!text.contains("Television"));
    }

    // Page numbers left out of the footer when the definition says so; the
    // insurance line and the date stay. The printed footer likewise.
    void pageNumbersFlag() {
        ReportDefinition def = ShortNarrow();
        def.pageNumbers = false;
        const QStringList pages = TextPages(TextOf(def, HouseholdSettings()));
        QCOMPARE(pages.size(), 4);
        for (const QString& page : pages)
            QCOMPARE(page.section('\n', -1), QStringLiteral("Mutual Household    #P-778     3/15/24"));

        QBuffer recorded;
        QVERIFY(RecordReport(def, m_table, HouseholdSettings(), recorded).completed);
        for (const QStringList& texts : RecordedTexts(recorded.buffer())) {
            QCOMPARE(texts.mid(texts.size() - 2), QStringList({"Mutual Household    #P-778", "3/15/24"}));
            QVERIFY(!texts.join(' ').contains("Page "));
        }
        def.pageNumbers = true;
        QVERIFY(RecordReport(def, m_table, HouseholdSettings(), recorded).completed);
        const Recorded numbered = ReadRecorded(recorded.buffer());
        for (qsizetype i = 0; i < numbered.texts.size(); ++i) {
            QCOMPARE(numbered.texts[i][numbered.texts[i].size() - 3], QStringLiteral("Page %1").arg(i + 1));
            // On one line of a letter page with half-inch margins: the page
            // number at the left margin, the insurer in the middle, the date
            // at the right margin.
            const QList<QPointF> at = numbered.places[i].mid(numbered.places[i].size() - 3);
            const double y = at[0].y();
            QCOMPARE(at, QList<QPointF>({QPointF(0.5, y), QPointF(4.25, y), QPointF(8.0, y)}));
        }
    }

    // Printed pages: titles, column headers by the user's titles, a heading,
    // every item once, values in the currency style.
    void recordedPagesHoldTheReport() {
        AddItems(m_table, {{"Tools", "Pallet of bricks", "Yard", "0", "0", "1234", "0"}});
        QBuffer recorded;
        const ReportResult result = RecordReport(ShortNarrow(), m_table, HouseholdSettings(), recorded);
        QVERIFY(result.completed);
        const QList<QStringList> pages = RecordedTexts(recorded.buffer());
        QCOMPARE(pages.size(), result.pages);
        // The header too wide for its column is cut to fit it.
        QCOMPARE(pages[0].mid(0, 7), QStringList({"Halvenor Household", "Spring 2024", "Item", "Room", "Cost",
                                                  "Replacement Cos", "Quantity"}));
        const QStringList all = AllTexts(pages);
        for (const Item& item : Household()) QCOMPARE(all.count(QString::fromUtf8(item.item)), 1);
        QVERIFY(all.contains("1,099.00"));
        QVERIFY(all.contains("2.68"));
        QVERIFY(all.contains("1,234"));  // a quantity, grouped and without decimals
        QVERIFY(all.contains("GRAND TOTALS"));
        QVERIFY(all.contains("7,821.51"));
        const Recorded r = ReadRecorded(recorded.buffer());
        // Each value two hundredths of an inch inside its bordered cell.
        const qsizetype first = r.texts[0].indexOf("Television");
        QCOMPARE(r.texts[0].mid(first, 5), QStringList({"Television", "Living Room", "899.99", "1,099.00", "1"}));
        QList<double> starts, lefts;
        for (const QPointF& at : r.places[0].mid(first, 5)) starts << std::round((at.x() - 0.02) * 1e4);
        for (const QRectF& cell : r.cells)
            if (qFuzzyCompare(cell.top(), r.places[0][first].y())) lefts << std::round(cell.left() * 1e4);
        QCOMPARE(starts, lefts.mid(0, 5));
        QCOMPARE(starts.first(), 5000.0);
        // Titles, column headers and items each in their own font's size.
        {
            ReportDefinition sized = ShortNarrow();
            sized.Font(FontSlot::Title).size = 14;
            sized.Font(FontSlot::ColumnHeader).size = 9;
            sized.Font(FontSlot::Body).size = 11;
            QBuffer again;
            QVERIFY(RecordReport(sized, m_table, HouseholdSettings(), again).completed);
            QList<QList<double>> points;
            const QStringList first = RecordedTexts(again.buffer(), &points).value(0);
            auto sizeOf = [&](const char* text) { return std::round(points[0].value(first.indexOf(text)) * 100) / 100; };
            QCOMPARE(QList<double>({sizeOf("Halvenor Household"), sizeOf("Item"), sizeOf("Television")}),
                     QList<double>({14, 9, 11}));
        }
        // TOTALS and GRAND TOTALS: each in a cell ruled below and not
        // filled, centred between the margins, the title centred in it.
        const ReportDefinition def = ShortNarrow();
        const double centre = std::round((def.leftMargin + 8.5 - def.rightMargin) / 2 * 1e4);
        QList<double> cellTops, titleTops;
        for (qsizetype c = 0; c < r.cells.size(); ++c) {
            if (r.borders[c] != engine::BorderBottom) continue;
            QCOMPARE(r.fills[c], -1);
            QCOMPARE(std::round(r.cells[c].center().x() * 1e4), centre);
            cellTops << r.cells[c].top();
        }
        for (qsizetype p = 0; p < r.places.size(); ++p)
            for (qsizetype t = 0; t < r.places[p].size(); ++t)
                if (r.texts[p][t] == "TOTALS" || r.texts[p][t] == "GRAND TOTALS") {
                    QCOMPARE(std::round(r.places[p][t].x() * 1e4), centre);
                    titleTops << r.places[p][t].y();
                }
        QCOMPARE(titleTops, cellTops);
    }

    // A text cut to its column in one font is cut afresh in another: an
    // item named as its column's title, the title in a larger font.
    void textsAreCutForTheirOwnFont() {
        const char* name = "Pallet of bricks and mortar, garden wall";  // the field's 40
        AddItems(m_table, {{"Tools", name, "Yard", "1", "1", "1", "1"}});
        ReportSettings settings = HouseholdSettings();
        settings.fieldTitles[0] = QString::fromUtf8(name);
        ReportDefinition def = ShortNarrow();
        def.Font(FontSlot::ColumnHeader).size = 16;
        def.Font(FontSlot::Body).size = 12;
        QBuffer recorded;
        QVERIFY(RecordReport(def, m_table, settings, recorded).completed);
        QStringList cuts;
        for (const QString& text : AllTexts(RecordedTexts(recorded.buffer())))
            if (text.startsWith("Pallet") && !cuts.contains(text)) cuts << text;
        QCOMPARE(cuts.size(), 2);
        QVERIFY2(cuts[0].size() < cuts[1].size() && cuts[1].size() < qsizetype(std::strlen(name)), qPrintable(cuts.join('|')));
    }

    // The text file breaks its pages where the printed report does: the
    // same items on every page, however the definition lays them out. Group
    // headings used to take four lines in the file and two on the page, so
    // the file fell behind by two lines at every category.
    void textPagesBreakWhereThePrintedPagesBreak_data() {
        QTest::addColumn<int>("report");
        QTest::newRow("one line with column headers and grid") << 0;
        QTest::newRow("seven lines per item") << 4;
        QTest::newRow("warranty, fillers between the columns") << 5;
    }

    void textPagesBreakWhereThePrintedPagesBreak() {
        QFETCH(int, report);
        CreateTable(m_table, m_dir.path(), QStringLiteral("GENERATED"));
        GenerateItems(m_table, 400);
        SortByCategory(m_table);
        const ReportDefinition def = DefaultReportDefinitions()[size_t(report)];
        ReportResult text, recorded;
        const QStringList textPages = TextPages(TextOf(def, HouseholdSettings(), &text));
        QBuffer stream;
        recorded = RecordReport(def, m_table, HouseholdSettings(), stream);
        QVERIFY(text.completed && recorded.completed);
        // Generated items are named brand, thing, number.
        const QRegularExpression name(QStringLiteral("[A-Z][a-z]+ [A-Z][a-z]+ [0-9]+"));
        QList<QStringList> inText, onPages;
        for (const QString& page : textPages) {
            inText << QStringList();
            for (auto it = name.globalMatch(page); it.hasNext();) inText.last() << it.next().captured();
        }
        for (const QStringList& page : RecordedTexts(stream.buffer())) {
            onPages << QStringList();
            for (const QString& drawn : page)
                if (name.match(drawn).capturedLength() == drawn.size()) onPages.last() << drawn;
        }
        QCOMPARE(text.pages, recorded.pages);
        QCOMPARE(inText.size(), onPages.size());
        for (qsizetype p = 0; p < inText.size(); ++p)
            QVERIFY2(inText[p] == onPages[p], qPrintable(QString("page %1: file %2 ... %3, printed %4 ... %5")
                                                             .arg(p + 1)
                                                             .arg(inText[p].value(0), inText[p].value(inText[p].size() - 1),
                                                                  onPages[p].value(0), onPages[p].value(onPages[p].size() - 1))));
        QCOMPARE(AllTexts(inText).size(), 400);
    }

    // A figure too wide for its column used to be cut like text, and a cut
    // figure reads as a valid, wrong one ("20,001,984.4"). A figure is
    // never cut: the text file writes it whole; a page draws it smaller
    // or, when even 6 points are too wide, fills the column with marks and
    // says which items of the definition to widen.
    void figuresAreNeverCut() {
        CreateTable(m_table, m_dir.path(), QStringLiteral("RICH"));
        AddItems(m_table, {{"Art", "Sculpture", "Hall", "20001984.48", "100", "1", "10"},
                           {"Tools", "Workshop", "Barn", "9999999996198.77", "100", "1", "10"}});
        SortByCategory(m_table);
        const ReportDefinition def = DefaultReportDefinitions()[1];  // 120 characters of 8 points
        ReportSettings settings = HouseholdSettings();
        settings.insurance.printStatement = false;

        ReportResult result;
        const QStringList lines = TextOf(def, settings, &result).split(QLatin1Char('\n'));
        QVERIFY(result.completed);
        QVERIFY(result.notice.isEmpty());
        auto lineWith = [&](const QString& start) {
            for (const QString& line : lines)
                if (line.startsWith(start)) return line;
            return QString();
        };
        QCOMPARE(lineWith("Workshop").simplified(), QStringLiteral("Workshop Barn 9,999,999,996,198.77 100.00 1"));
        QStringList totals;
        for (const QString& line : lines)
            if (line.startsWith("     Cost:")) totals << line.simplified();
        QCOMPARE(totals, QStringList({"Cost: 20,001,984.48 Replacement Cost: 100.00 Value: 10.00",
                                      "Cost: 9,999,999,996,198.77 Replacement Cost: 100.00 Value: 10.00",
                                      "Cost: 10,000,019,998,183.25 Replacement Cost: 200.00 Value: 20.00"}));
        // The columns after it move by what it needed and a blank.
        QCOMPARE(lineWith("Sculpture").indexOf("100.00"), lineWith("Workshop").indexOf("100.00") - 7);

        QBuffer recorded;
        result = RecordReport(def, m_table, settings, recorded);
        QVERIFY(result.completed);
        QCOMPARE(result.notice, QStringLiteral("Some figures were too wide for their columns and were printed as "
                                               "\"####\"; widen them in the report definition: Totals Line, Item 3 "
                                               "(Cost, width 12)."));
        QList<QList<double>> points;
        const QStringList drawn = AllTexts(RecordedTexts(recorded.buffer(), &points));
        QList<double> sizes;  // to a hundredth of a point (heights are recorded as floats)
        for (const QList<double>& page : points)
            for (double size : page) sizes << std::round(size * 100) / 100;
        auto sizeOf = [&](const QString& text) { return sizes.value(drawn.lastIndexOf(text)); };
        // Drawn whole, smaller than the body's 8 points but not below 6:
        // the group's total in the totals line; the item's cost in its wider
        // column fits at 8 points.
        QCOMPARE(drawn.count("20,001,984.48"), 2);
        QCOMPARE(sizes.value(drawn.indexOf("20,001,984.48")), 8.0);
        QVERIFY(sizeOf("20,001,984.48") < 8 && sizeOf("20,001,984.48") >= 6);
        QCOMPARE(drawn.count("9,999,999,996,198.77"), 1);  // the item's cost, in its wider column
        QVERIFY(sizeOf("9,999,999,996,198.77") < 8 && sizeOf("9,999,999,996,198.77") >= 6);
        QCOMPARE(sizeOf("100.00"), 8.0);
        // Totals too wide even at 6 points: marks across the cell, no digit.
        const QRegularExpression marks(QStringLiteral("^#{8,}$"));
        QCOMPARE(drawn.filter(marks).size(), 2);
        for (const QString& text : drawn)
            for (const char* figure : {"20,001,984.48", "9,999,999,996,198.77", "10,000,019,998,183.25"})
                QVERIFY2(text == figure || !QString(figure).startsWith(text) || text.size() < 3, qPrintable(text));
    }

    // Whether the system has a printer is asked once for a report, however
    // many pages it has: each question is a round trip to the print service,
    // and every page used to ask it several times for its paper.
    void printersAreAskedOncePerReport() {
        GenerateItems(m_table, 300);
        uint64_t before = engine::PrinterLookups();
        ReportResult text;
        TextOf(ShortNarrow(), HouseholdSettings(), &text);
        QVERIFY(text.completed && text.pages > 20);
        QCOMPARE(engine::PrinterLookups() - before, uint64_t(1));
        before = engine::PrinterLookups();
        QBuffer stream;
        QVERIFY(RecordReport(ShortNarrow(), m_table, HouseholdSettings(), stream).completed);
        QCOMPARE(engine::PrinterLookups() - before, uint64_t(1));
        before = engine::PrinterLookups();
        QVERIFY(WritePdfReport(ShortNarrow(), m_table, HouseholdSettings(), Path("report.pdf")).completed);
        QCOMPARE(engine::PrinterLookups() - before, uint64_t(1));
    }

    // Pages are laid out on the paper of the printer the report is for: A5
    // is shorter than the Letter paper taken without a printer, so the same
    // items take more pages, recorded and in the text file alike, and the
    // recording says which paper it was laid out on.
    void laidOutOnTheGivenPrintersPaper() {
        GenerateItems(m_table, 120);
        const ReportDefinition def = DefaultReportDefinitions()[0];
        QPrinter a5(QPrinter::HighResolution);
        a5.setOutputFormat(QPrinter::PdfFormat);
        a5.setOutputFileName(Path(QStringLiteral("unused.pdf")));
        a5.setPageSize(QPageSize(QPageSize::A5));
        QBuffer onLetter, onA5;
        const ReportResult letter = RecordReport(def, m_table, HouseholdSettings(), onLetter);
        const ReportResult small = RecordReport(def, m_table, HouseholdSettings(), onA5, {}, &a5);
        QVERIFY(letter.completed && small.completed);
        QCOMPARE(letter.pages, 4);
        QCOMPARE(small.pages, 6);
        engine::ReportStreamReader reader;
        reader.Open(onA5);
        QCOMPARE(reader.Header().paperSize, int(QPageSize::A5));
        QCOMPARE(reader.Header().paperLength, 2100);
        const ReportResult text =
            WriteTextReport(def, m_table, HouseholdSettings(), Path(QStringLiteral("a5.txt")), {}, &a5);
        QCOMPARE(text.pages, small.pages);
        QCOMPARE(int(ReadFile(Path(QStringLiteral("a5.txt"))).count(QLatin1Char('\f'))), small.pages);
    }

    // A definition whose item cannot fit on a page at all still ends: every
    // page takes at least one thing.
    void linesTooTallForAPageStillEnd() {
        ReportDefinition def = DefaultReportDefinitions()[4];  // seven lines
        def.Font(FontSlot::Body).size = 100;
        ReportResult result;
        const QString text = TextOf(def, HouseholdSettings(), &result);
        QVERIFY2(result.completed, qPrintable(result.error));
        QVERIFY(result.pages >= 12 && result.pages < 60);
        for (const Item& item : Household()) QVERIFY(text.contains(item.item));
    }

    // However many pages a report takes, every one is kept: a band too small
    // for anything puts one item on each page.
    void longReportsKeepEveryPage() {
        GenerateItems(m_table, 10050);
        ReportDefinition def = DefaultReportDefinitions()[5];
        def.bottomMargin = 9.0;
        ReportSettings settings;
        ReportResult result;
        const QString text = TextOf(def, settings, &result);
        QVERIFY2(result.completed, qPrintable(result.error));
        QCOMPARE(result.pages, 10062);
        QCOMPARE(int(text.count(QLatin1Char('\f'))), 10062);
        QVERIFY(text.contains("Page 10062     "));
    }

    // A PDF file that cannot be made says which, and nothing is left.
    void pdfInAFolderThatIsNoneFails() {
        const QString path = Path("missing/report.pdf");
        const ReportResult result = WritePdfReport(ShortNarrow(), m_table, HouseholdSettings(), path);
        QVERIFY(!result.completed && !result.cancelled);
        QCOMPARE(result.error, QStringLiteral("The PDF file %1 could not be written: No such file or directory").arg(path));
        QVERIFY(!QFileInfo::exists(Path("missing")));
    }

    // A PDF file cancelled while its pages are written is not kept.
    void cancelledPdfIsNotWritten() {
        const QString path = Path("report.pdf");
        int pdfPages = 0;
        const ReportResult result =
            WritePdfReport(ShortNarrow(), m_table, HouseholdSettings(), path, [&](const ReportProgress& p) {
                if (p.stage != ReportProgress::Stage::WritingPdf) return true;
                pdfPages = p.pageCount;
                return p.page < 2;
            });
        QVERIFY(result.cancelled);
        QCOMPARE(pdfPages, result.pages);
        QVERIFY(QDir(m_dir.path()).entryList({"report*"}, QDir::Files).isEmpty());
    }

    // A cancelled run leaves the file that was there as it was and nothing
    // beside it.
    void cancelledTextLeavesTheOldFile() {
        const QString path = Path("report.txt");
        QFile old(path);
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write("kept\n");
        old.close();
        const ReportResult result =
            WriteTextReport(ShortNarrow(), m_table, HouseholdSettings(), path,
                            [](const ReportProgress& p) { return p.page < 2; });
        QVERIFY(result.cancelled);
        QVERIFY(!result.completed);
        QCOMPARE(ReadFile(path), QStringLiteral("kept\n"));
        QCOMPARE(QDir(m_dir.path()).entryList({"report*"}, QDir::Files), QStringList({"report.txt"}));
    }

    // A file that cannot be created, or written to its end, is reported
    // with the system's reason and leaves nothing behind.
    void unwritableTextFileFails() {
        ReportResult result;
        const QString missing = Path("no-such-folder/report.txt");
        result = WriteTextReport(ShortNarrow(), m_table, HouseholdSettings(), missing);
        QVERIFY(!result.completed);
        QVERIFY2(result.error.contains(missing), qPrintable(result.error));

        // A disk that fills up half way.
        GenerateItems(m_table, 3000);
        {
            const testsupport::FileSizeLimit full(100000);
            result = WriteTextReport(ShortNarrow(), m_table, HouseholdSettings(), Path("big.txt"));
        }
        QVERIFY(!result.completed);
        QVERIFY2(result.error.contains("big.txt: File too large"), qPrintable(result.error));
        QCOMPARE(QDir(m_dir.path()).entryList({"big*"}, QDir::Files), QStringList());
    }
};

QTEST_MAIN(ReportWriterTest)
#include "ReportWriterTest.moc"
