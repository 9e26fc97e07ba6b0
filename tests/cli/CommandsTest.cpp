// The commands on generated item tables, run the two ways a user meets
// them: in this process through the library, and as the built program with
// no display at all (DISPLAY, WAYLAND_DISPLAY and QT_QPA_PLATFORM unset).
// Every failure must be one line on stderr, a non-zero exit and no output
// file, half-written or whole.

#include <QDirIterator>
#include <QImage>
#include <QtTest>
#include <sstream>
#include <sys/file.h>
#include <sys/stat.h>

#include "ChildRun.h"
#include "FileBytes.h"
#include <grp.h>
#include "AttachmentStore.h"
#include "Cli.h"
#include "Console.h"
#include "DateFormats.h"
#include "ItemSchema.h"
#include "ItemTable.h"
#include "OverviewFigures.h"
#include "ReportFile.h"
#include "ReportJob.h"
#include "ReportStartup.h"
#include "Settings.h"
#include "SortExpression.h"
#include "ReportsWindow.h"
#include "Table.h"

namespace {

struct Result {
    int code = -1;
    QByteArray out;
    QByteArray err;
};

using testsupport::ReadAll;
using testsupport::WriteAll;

QStringList Files(const QString& dir) {
    return QDir(dir).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
}

// Every file and folder under dir, by its path below dir.
QStringList Tree(const QString& dir) {
    QStringList out;
    QDirIterator it(dir, QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
    while (it.hasNext()) out << QDir(dir).relativeFilePath(it.next());
    out.sort();
    return out;
}

// What a failing command may print: one line on stderr, nothing on stdout.
bool OneLineFailure(const Result& r) {
    return r.code != 0 && r.code < 128 && r.out.isEmpty() && r.err.endsWith('\n') && r.err.count('\n') == 1 &&
           r.err.startsWith("halvenor");
}

const char* const kThings[] = {"Television", "Sofa, corner", "Road \"Bike\"", "Café table", "Laptop", "Piano"};
const char* const kCategories[] = {"Electronics", "Furniture", "Sports", "Kitchen"};

// Items with every kind of value: commas, quotes, accents, dates, amounts.
void FillTable(const QString& path, int count) {
    store::Table t;
    store::PointAt(t, path.toStdString());
    t.Create(store::ItemTableFieldDefs());
    t.Open();
    for (int i = 0; i < count; ++i) {
        t.Append();
        t.SetText("Item", std::string(kThings[i % 6]) + " " + std::to_string(i));
        t.SetText("Brand", i % 3 ? "Kestrilon" : "Valmora");
        t.SetText("Serial", "SN-" + std::to_string(1000 + i * 7));
        t.SetText("Location", i % 2 ? "Living Room" : "Attic");
        t.SetText("Descriptio", i % 4 ? "bought, \"as new\"" : "");
        t.SetText("Quantity", std::to_string(1 + i % 3));
        t.SetDate(t.NeedField("PurchDate"), store::Date{1990 + i % 30, 1 + i % 12, 1 + i % 28});
        t.SetText("Cost", std::to_string(10 + i) + ".25");
        t.SetText("Category", kCategories[i % 4]);
        t.SetText("RepCost", std::to_string(20 + i) + ".5");
        t.SetText("Warranty", i % 5 ? "No" : "Yes");
        if (i % 5 == 0) t.SetDate(t.NeedField("WarDate"), store::Date{2030, 2, 28});
        t.SetText("Owner", "Mara");
        t.SetText("Value", std::to_string(5 + i));
        t.SetText("UserDef4", i == count - 1 ? std::string(40, 'Z') : "");
        t.Post();
    }
    t.Close();
}

// Every record's 22 texts, in physical order.
QStringList Records(const QString& path) {
    store::Table t;
    store::PointAt(t, path.toStdString());
    t.SetReadOnly(true);
    t.Open();
    QStringList rows;
    for (uint32_t r = 0; r < t.PhysicalCount(); ++r) {
        QStringList fields;
        for (int f = 0; f < store::kItemFieldCount; ++f) fields << QString::fromStdString(t.ViewOf(r).Text(f));
        rows << fields.join('|');
    }
    return rows;
}

QString Program() { return QStringLiteral(HALVENOR_PROGRAM); }

}  // namespace

class CommandsTest : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_home;
    QString m_data, m_config, m_table;

    QString Home(const QString& name) const { return m_home->filePath(name); }

    Result Cli(const QStringList& args, int outFd = 1) {
        std::vector<std::string> argv;
        for (const QString& a : args) argv.push_back(a.toStdString());
        std::ostringstream out, err;
        cli::Console console{out, err, false, outFd};
        Result r;
        r.code = cli::Run(cli::Parse(argv), console);
        r.out = QByteArray::fromStdString(out.str());
        r.err = QByteArray::fromStdString(err.str());
        return r;
    }

    // The built program, as a user without a display runs it.
    Result Run(const QStringList& args, const QString& program = Program(), bool unprivileged = false) {
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char* v : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) env.remove(v);
        env.insert("XDG_CONFIG_HOME", Home("config"));
        env.insert("XDG_DATA_HOME", Home("data"));
        env.insert("HOME", m_home->path());
        p.setProcessEnvironment(env);
        p.setWorkingDirectory(m_home->path());
        if (unprivileged) {
            p.setChildProcessModifier([] {
                if (testsupport::RunningAsRoot() &&
                    (::setgroups(0, nullptr) != 0 || ::setgid(testsupport::kNobody) != 0 ||
                     ::setuid(testsupport::kNobody) != 0))
                    ::_exit(99);
            });
        }
        p.start(program, args);
        Result r;
        if (!p.waitForFinished(300000) || p.exitStatus() != QProcess::NormalExit) return r;
        r.code = p.exitCode();
        r.out = p.readAllStandardOutput();
        r.err = p.readAllStandardError();
        return r;
    }

    // The built program, copied where an unprivileged user may run it, as
    // "nobody" when the tests run as root.
    Result RunUnprivileged(const QStringList& args) {
        ::chmod(m_home->path().toLocal8Bit().constData(), 0755);
        const QString program = Home("halvenor");
        if (!QFile::exists(program)) {
            if (!QFile::copy(Program(), program)) return {};
            ::chmod(program.toLocal8Bit().constData(), 0755);
        }
        return Run(args, program, true);
    }

private slots:
    void init() {
        m_home = std::make_unique<QTemporaryDir>();
        QVERIFY(m_home->isValid());
        qputenv("XDG_CONFIG_HOME", Home("config").toUtf8());
        qputenv("XDG_DATA_HOME", Home("data").toUtf8());
        m_data = Home("data/halvenor");
        m_config = Home("config/halvenor");
        QVERIFY(QDir().mkpath(m_data));
        m_table = m_data + "/MASTER.DBF";
        FillTable(m_table, 40);
        common::AppSettings() = common::Settings();
        common::DateFormats::Apply(common::AppSettings().dateFormat);
    }

    void exportThenImportGivesBackEveryValue_data() {
        QTest::addColumn<QStringList>("exportArgs");
        QTest::addColumn<QStringList>("importArgs");
        QTest::newRow("text with titles") << QStringList{"export", "items.csv"} << QStringList{"import", "items.csv"};
        QTest::newRow("text without titles")
            << QStringList{"export", "--no-titles", "items.txt"} << QStringList{"import", "--no-skip-first", "items.txt"};
        QTest::newRow("dBASE") << QStringList{"export", "items.dbf"} << QStringList{"import", "items.dbf"};
        QTest::newRow("workbook") << QStringList{"export", "items.xlsx"} << QStringList{"import", "items.xlsx"};
        QTest::newRow("text read as CSV") << QStringList{"export", "items.csv"}
                                          << QStringList{"import", "--format", "csv", "items.csv"};
        // A hidden file's name, not a table's: text both ways.
        QTest::newRow("a name that is only an extension") << QStringList{"export", ".dbf"} << QStringList{"import", ".dbf"};
        QTest::newRow("a name that is only the workbook's extension")
            << QStringList{"export", ".xlsx"} << QStringList{"import", ".xlsx"};
        QTest::newRow("a name ending in dbf without the dot") << QStringList{"export", "items-dbf"} << QStringList{"import", "items-dbf"};
        QTest::newRow("fields by title, mapped back by number")
            << QStringList{"export", "--fields", "Serial Number,Item", "--no-titles", "part.csv"}
            << QStringList{"import", "--no-skip-first", "--map", "2=Item,1=Serial", "part.csv"};
    }
    void exportThenImportGivesBackEveryValue() {
        QFETCH(QStringList, exportArgs);
        QFETCH(QStringList, importArgs);
        QDir::setCurrent(m_home->path());
        Result r = Cli(exportArgs);
        QVERIFY2(r.code == 0 && r.err.isEmpty(), r.err.constData());
        // Into an empty table of its own, then compared as sets of records:
        // the export wrote them in the sort order (by Category).
        const QString copy = Home("COPY.DBF");
        {
            store::Table create, check;
            QVERIFY(store::MakeNewDB(create, check, copy.toStdString(), nullptr));
        }
        r = Cli(importArgs + QStringList{"--table", copy});
        QVERIFY2(r.code == 0 && r.err.isEmpty(), r.err.constData());
        QStringList expected = Records(m_table), got = Records(copy);
        if (exportArgs.contains("--fields")) {
            // Only Item and Serial went out; the rest stays empty.
            for (QString& row : expected) {
                const QStringList f = row.split('|');
                QStringList only;
                for (int i = 0; i < store::kItemFieldCount; ++i) only << (i == 0 || i == 3 ? f[i] : QString());
                row = only.join('|');
            }
        }
        expected.sort();
        got.sort();
        QCOMPARE(got, expected);
    }

    // "-" streams the same text the file gets, from the program as built.
    void exportToStandardOutputIsTheFileText() {
        Result file = Run({"export", "--fields", "Item,Cost,PurchDate", "out.csv"});
        QVERIFY2(file.code == 0 && file.err.isEmpty(), file.err.constData());
        Result piped = Run({"export", "--fields", "Item,Cost,PurchDate", "-"});
        QVERIFY2(piped.code == 0 && piped.err.isEmpty(), piped.err.constData());
        QCOMPARE(piped.out, ReadAll(Home("out.csv")));
        QVERIFY(piped.out.startsWith("\"Item\",\"Cost\",\"Purchase Date\"\r\n"));
        QCOMPARE(piped.out.count("\r\n"), 41);
        // In the sort order of the settings: grouped by Category.
        const QList<QByteArray> lines = piped.out.split('\n');
        QVERIFY2(lines[1].startsWith("\"Television 0\"") && lines[2].startsWith("\"Laptop 4\""), lines[1].constData());
    }

    // find writes what the filter box shows for its words, as export does.
    void findWritesTheItemsOfTheWords() {
        Result r = Run({"find", "--fields", "Item,Location", "--no-titles", "CAFE", "living"});
        QVERIFY2(r.code == 0, r.err.constData());
        QStringList lines = QString::fromUtf8(r.out).split("\r\n", Qt::SkipEmptyParts);
        lines.sort();
        QStringList expected;
        for (int i : {3, 9, 15, 21, 27, 33, 39}) expected << QString("\"Café table %1\",\"Living Room\"").arg(i);
        expected.sort();
        QCOMPARE(lines, expected);
        // To a dBASE table, as export writes one.
        r = Run({"find", "--out", "found.dbf", "café", "LIVING"});
        QVERIFY2(r.code == 0, r.err.constData());
        QCOMPARE(Records(Home("found.dbf")).size(), 7);
        // Nothing found: the title line alone, and no failure.
        r = Run({"find", "--fields", "Item", "zebra"});
        QCOMPARE(r.code, 0);
        QCOMPARE(r.out, QByteArray("\"Item\"\r\n"));
    }

    // The report as the program writes it with no display, read back by
    // poppler: as many pages as the report writer composes in this process.
    void reportToPdfWithoutDisplay() {
        const QString pdf = Home("full report.pdf");
        Result r = Run({"report", "full report", "--pdf", pdf});
        QVERIFY2(r.code == 0 && r.err.isEmpty() && r.out.isEmpty(), r.err.constData());

        reports::ReadRegionalSettings();
        const reports::ReportFile file(reports::ReportFile::PathIn(m_data.toStdString()));
        const auto names = file.Names();
        const int k = int(std::find(names.begin(), names.end(), "Full Report") - names.begin());
        QVERIFY(k < int(names.size()));
        store::Table items;
        store::PointAt(items, m_table.toStdString());
        find::OpenInSortOrder(items, find::BuildSortString(common::AppSettings().sortFields));
        QBuffer stream;
        const reports::ReportResult expected =
            reports::RecordReport(file.Read(k).definition, items, reports::AppReportSettings(), stream);
        QVERIFY(expected.completed && expected.pages > 1);

        QProcess info;
        info.start("pdfinfo", {pdf});
        QVERIFY(info.waitForFinished(60000));
        const QString text = QString::fromUtf8(info.readAllStandardOutput());
        QVERIFY2(text.contains(QRegularExpression(QString("Pages:\\s+%1\\n").arg(expected.pages))), qPrintable(text));
        QProcess toText;
        toText.start("pdftotext", {"-layout", pdf, "-"});
        QVERIFY(toText.waitForFinished(60000));
        const QString words = QString::fromUtf8(toText.readAllStandardOutput());
        for (const char* expectedWord : {"Item: Road \"Bike\" 2", "Item: Café table 39", "Brand: Kestrilon", "GRAND TOTALS"})
            QVERIFY2(words.contains(QString::fromUtf8(expectedWord)), expectedWord);

        r = Run({"report", "--list"});
        QCOMPARE(r.code, 0);
        QVERIFY(r.out.split('\n').contains("Full Report"));
        r = Run({"report", "--pdf", Home("x.pdf")});
        QCOMPARE(r.code, int(cli::kExitUsage));
        QVERIFY2(r.err.contains("report needs the NAME of a report (halvenor report --list shows them)"), r.err.constData());
        r = Run({"report", "No Such Report", "--text", Home("x.txt")});
        QVERIFY2(OneLineFailure(r) && r.err.contains("\"Full Report\""), r.err.constData());
        QVERIFY(!QFile::exists(Home("x.txt")));
    }

    // A figure too wide for its column is never cut: the PDF draws it
    // smaller or as marks, and says once on stderr which item to widen; the
    // text file writes it whole and has nothing to say.
    void reportTellsOfFiguresTooWide() {
        {
            store::Table t;
            store::PointAt(t, m_table.toStdString());
            t.Open();
            t.Append();
            t.SetText("Item", "Workshop");
            t.SetText("Category", "Tools");
            t.SetText("Cost", "9999999996198.77");
            t.SetText("Quantity", "1");
            t.Post();
        }
        Result r = Run({"report", "Short Wide Report", "--pdf", Home("wide.pdf")});
        QCOMPARE(r.code, 0);
        QCOMPARE(r.err, QByteArray("halvenor report: Some figures were too wide for their columns and were printed "
                                   "as \"####\"; widen them in the report definition: Totals Line, Item 3 (Cost, "
                                   "width 12).\n"));
        r = Run({"report", "Short Wide Report", "--text", Home("wide.txt")});
        QVERIFY2(r.code == 0 && r.err.isEmpty(), r.err.constData());
        const QString text = QString::fromUtf8(ReadAll(Home("wide.txt")));
        QVERIFY2(text.contains(QRegularExpression("GRAND TOTALS\n +Cost: 9,999,999,998,555\\.52 ")), qPrintable(text.right(400)));
    }

    // A definition name damaged by a zero byte is listed, chosen and named
    // without it, and the correction is told; the list used to print the
    // zero byte and the name could not be typed.
    void damagedReportNameIsCleanedWhenRead() {
        QVERIFY(Run({"report", "--list"}).code == 0);  // the definition file, as at a first start
        const QString file = QString::fromStdString(reports::ReportFile::PathIn(m_data.toStdString()));
        QByteArray bytes = ReadAll(file);
        bytes[1 + 6] = '\0';  // "Short Narrow Report"
        WriteAll(file, bytes);
        Result r = Run({"report", "--list"});
        QCOMPARE(r.code, 0);
        QVERIFY2(r.out.startsWith("Short arrow Report\nShort Wide Report\n"), r.out.constData());
        r = Run({"report", "short arrow report", "--text", Home("narrow.txt")});
        QCOMPARE(r.code, 0);
        QCOMPARE(r.err, QByteArray("halvenor report: \"Short arrow Report\": The report name held control "
                                   "characters, which were removed.\n"));
        QVERIFY(QFile::exists(Home("narrow.txt")));
    }

    // Lines off the format are imported by the rules, and named on stderr
    // with exit 1: the values may be in the wrong fields.
    void importOfLinesOffTheFormatExitsWithOne() {
        WriteAll(Home("sheet.csv"), "\"Item\",\"Cost\"\r\n\"Lamp\",12.5\r\n\"Desk\",\"80\"\r\n");
        const Result r = Run({"import", "sheet.csv"});
        QVERIFY2(OneLineFailure(r), r.err.constData());
        QCOMPARE(r.err, QByteArray("halvenor import: 1 line does not follow the format (every value in double quotes, "
                                   "separated by commas, as many values as the first line), so its values may be in "
                                   "the wrong fields: line 2.\n"));
        QCOMPARE(Records(m_table).size(), 42);
    }

    // A spreadsheet's CSV: every row converted first, each problem named
    // on stderr with its row and column, its row left out and exit 1; a
    // check lists the same on stdout and writes nothing.
    void importOfCsvNamesEveryProblemAndLeavesItsRowOut() {
        WriteAll(Home("sheet.csv"), "Name;Purchase Price;Purchase Date;Warranty\r\n"
                                    "Lamp;\"1.234,50 \xe2\x82\xac\";31.03.2024;ja\r\n"
                                    "Desk;abc;2024-02-30;TRUE\r\n"
                                    "Chair;0,5;45382;no\r\n");
        const QStringList before = Records(m_table);
        Result r = Cli({"import", "--format", "csv", "--check", Home("sheet.csv")});
        QCOMPARE(r.code, 1);
        QCOMPARE(r.out, QByteArray("Row 2, column 4 (Warranty): \"ja\" is not Yes or No.\n"
                                   "Row 3, column 2 (Cost): \"abc\" is not an amount.\n"
                                   "Row 3, column 3 (Purchase Date): \"2024-02-30\" is not a date in the form "
                                   "mm/dd/yy, yyyy-mm-dd or dd.mm.yyyy, nor a spreadsheet's day number.\n"));
        QCOMPARE(r.err, QByteArray("halvenor import: 2 of 3 rows cannot be imported for the problems listed.\n"));
        QCOMPARE(Records(m_table), before);

        r = Cli({"import", "--format", "csv", Home("sheet.csv")});
        QCOMPARE(r.code, 1);
        QCOMPARE(r.out, QByteArray());
        QVERIFY2(r.err.startsWith("halvenor import: Row 2, column 4 (Warranty): \"ja\" is not Yes or No.\n"),
                 r.err.constData());
        QVERIFY2(r.err.endsWith("\nhalvenor import: 2 of 3 rows were left out for the problems listed.\n"),
                 r.err.constData());
        const QStringList after = Records(m_table);
        QCOMPARE(after.mid(0, before.size()), before);
        QCOMPARE(after.size(), before.size() + 1);
        const QStringList chair = after.last().split('|');
        QCOMPARE(chair[0], QString("Chair"));
        QCOMPARE(chair[10], QString("0.5"));       // the decimal comma guessed
        QCOMPARE(chair[9], QString("3/31/24"));   // a spreadsheet's day number
        QCOMPARE(chair[13], QString("No"));

        // A check without problems says nothing on stdout and exits 0.
        WriteAll(Home("good.csv"), "Item,Cost\nVase,3\n");
        r = Cli({"import", "--format", "csv", "--check", Home("good.csv")});
        QCOMPARE(r.code, 0);
        QCOMPARE(r.out, QByteArray());
        QCOMPARE(Records(m_table).size(), before.size() + 1);
    }

    // A name ending in .xlsx is read as a workbook: the first sheet, or
    // the one --sheet names.
    void importOfAWorkbookReadsTheSheetNamed() {
        const QString book = QStringLiteral(HALVENOR_SOURCE_DIR "/tests/exchange/data/xlsx/calc-like.xlsx");
        const QStringList before = Records(m_table);
        Result r = Cli({"import", "--sheet", "Garage", book});
        QCOMPARE(r.code, 1);
        QCOMPARE(r.err, "halvenor import: The workbook \"" + book.toUtf8() +
                            "\" has no sheet \"Garage\"; its sheets are \"Things\", \"Kitchen\".\n");
        r = Cli({"import", "--sheet", "kitchen", book});
        QVERIFY2(r.code == 0, r.err.constData());
        const QStringList after = Records(m_table);
        QCOMPARE(after.size(), before.size() + 1);
        QCOMPARE(after.last().split('|')[0], QString("Kitchen thing"));
        // The first sheet: a formula's text is no quantity, its 29 February
        // 1900 no date; a line break in a value is named on one line.
        r = Cli({"import", "--check", book});
        QCOMPARE(r.code, 1);
        QCOMPARE(r.out, QByteArray("Row 5, column 5 (Quantity): \"formula text\" is not a whole number.\n"
                                   "Row 7, column 2 (Cost): \"a\\rb\" is not an amount.\n"
                                   "Row 7, column 3 (Purchase Date): \"60\" is not a date in the form mm/dd/yy, "
                                   "yyyy-mm-dd or dd.mm.yyyy, nor a spreadsheet's day number.\n"
                                   "Row 7, column 4 (Warranty): \"_x0041_\" is not Yes or No.\n"));
    }

    // Columns whose header names no item field are named once the import is done.
    void importNamesTheColumnsLeftOut() {
        WriteAll(Home("left.csv"), "Item,Colour,Location,Size\nLamp,red,Attic,big\n");
        const Result r = Cli({"import", "--format", "csv", Home("left.csv")});
        QCOMPARE(r.code, 0);
        QCOMPARE(r.err, QByteArray("halvenor import: not imported, no item field of that name: \"Colour\", \"Size\".\n"));
        const QStringList last = Records(m_table).last().split('|');
        QCOMPARE(last[0], QString("Lamp"));
        QCOMPARE(last[4], QString("Attic"));
    }

    // --map names a column in any letter case.
    void importMapsColumnsInAnyLetterCase() {
        WriteAll(Home("area.csv"), "Zone Area,Thing\nAttic,Lamp\n");
        const QStringList before = Records(m_table);
        const Result r = Cli({"import", "--format", "csv", "--map", "zone area=Location,THING=Item", Home("area.csv")});
        QVERIFY2(r.code == 0, r.err.constData());
        const QStringList last = Records(m_table).last().split('|');
        QCOMPARE(Records(m_table).size(), before.size() + 1);
        QCOMPARE(last[0], QString("Lamp"));
        QCOMPARE(last[4], QString("Attic"));
    }

    // The overview's JSON, as python reads it, holds the figures the
    // Overview computes for the same table; --days moves the warranty
    // window, and a count of days that is none is refused.
    void overviewJsonHoldsTheFigures() {
        {
            store::Table t;
            store::PointAt(t, m_table.toStdString());
            t.Open();
            t.GoTo(3);
            t.Edit();
            t.SetDate(t.NeedField("WarDate"), store::Date::FromDayNumber(store::Date::Today().DayNumber() + 10));
            t.Post();
        }
        QProcess python;
        Result r = Run({"overview", "--json", "--days", "10"});
        QCOMPARE(r.code, 0);
        python.start("/usr/bin/python3",
                     {"-c", "import json, sys; d = json.load(sys.stdin); "
                            "print(d['items'], d['withoutAmount'], '%.2f' % d['cost'], '%.2f' % d['value'], "
                            "len(d['byCategory']), '%.2f' % sum(g['amount'] for g in d['byCategory']), "
                            "d['byCategory'][0]['name'], [w['item'] for w in d['endingSoon']], d['days'], "
                            "d['endingSoon'][0]['record'])"});
        python.write(r.out);
        python.closeWriteChannel();
        QVERIFY(python.waitForFinished(60000) && python.exitCode() == 0);

        store::Table t;
        store::PointAt(t, m_table.toStdString());
        t.SetReadOnly(true);
        t.Open();
        overview::Request request;
        for (uint32_t i = 0; i < t.PhysicalCount(); ++i) request.records.push_back(i);
        request.today = store::Date::Today();
        request.days = 10;
        const auto f = overview::ComputeFigures(t, request);
        QVERIFY(f);
        double categories = 0;
        for (const auto& g : f->byCategory) categories += g.amount;
        // Records are numbered from 1, as the grid and the check count them.
        const QString expected = QString("%1 %2 %3 %4 %5 %6 %7 ['%8'] 10 4\n")
                                     .arg(f->items)
                                     .arg(f->withoutAmount)
                                     .arg(f->cost, 0, 'f', 2)
                                     .arg(f->value, 0, 'f', 2)
                                     .arg(f->byCategory.size())
                                     .arg(categories, 0, 'f', 2)
                                     .arg(QString::fromStdString(f->byCategory[0].name))
                                     .arg(QString::fromStdString(f->endingSoon.at(0).item));
        QCOMPARE(QString::fromUtf8(python.readAllStandardOutput()), expected);
        QCOMPARE(f->items, 40u);

        r = Run({"overview", "--days", "-1"});
        QCOMPARE(r.code, 2);
        QCOMPARE(r.err, QByteArray("halvenor overview: --days must be a number of days from 0 to 99999, not \"-1\"; "
                                   "see halvenor overview --help\n"));
    }

    // The overview as text, every line of it, on a small table of its own.
    void overviewPrintsEveryFigure() {
        const QString path = Home("SMALL.DBF");
        const store::Date soon = store::Date::FromDayNumber(store::Date::Today().DayNumber() + 10);
        const store::Date ended = store::Date::FromDayNumber(store::Date::Today().DayNumber() - 3);
        {
            store::Table t;
            store::PointAt(t, path.toStdString());
            t.Create(store::ItemTableFieldDefs());
            t.Open();
            t.Append();
            t.SetText("Item", "Lamp");
            t.SetText("Brand", "Acme");
            t.SetText("Location", "Attic");
            t.SetText("Category", "Lighting");
            t.SetText("Owner", "Mara");
            t.SetText("Quantity", "2");
            t.SetText("Cost", "12.5");
            t.SetText("Value", "15");
            t.SetDate(t.NeedField("PurchDate"), store::Date{2024, 2, 29});
            t.SetDate(t.NeedField("WarDate"), soon);
            t.Post();
            t.Append();
            t.SetText("Item", "Gift");
            t.SetDate(t.NeedField("WarDate"), ended);
            t.Post();
        }
        const Result r = Cli({"overview", "--table", path, "--days", "10"});
        QCOMPARE(r.code, 0);
        auto iso = [](const store::Date& d) { return QString::asprintf("%04d-%02d-%02d", d.year, d.month, d.day); };
        QCOMPARE(QString::fromUtf8(r.out), "Items: 2 (1 without any amount)\n"
                                           "Cost: 25.00\nReplacement Cost: 0.00\nValue: 30.00\n"
                                           "Value by Category:\n  Lighting: 30.00 (1 item)\n  (none): 0.00 (1 item)\n"
                                           "Value by Location:\n  Attic: 30.00 (1 item)\n  (none): 0.00 (1 item)\n"
                                           "Value by Owner:\n  Mara: 30.00 (1 item)\n  (none): 0.00 (1 item)\n"
                                           "Purchases by year:\n  2024: 1 item, 25.00\n  no purchase date: 1\n"
                                           "Warranties ending within 10 days:\n  " + iso(soon) + "  Lamp, Acme (Attic)\n"
                                           "Warranties ended in the last 30 days:\n  " + iso(ended) + "  Gift\n");
        QCOMPARE(r.err, QByteArray());
        // Once every item has its purchase date, no line counts those without.
        {
            store::Table t;
            store::PointAt(t, path.toStdString());
            t.Open();
            t.GoTo(1);
            t.Edit();
            t.SetDate(t.NeedField("PurchDate"), store::Date{2023, 12, 31});
            t.Post();
        }
        const QString dated = QString::fromUtf8(Cli({"overview", "--table", path, "--days", "10"}).out);
        QVERIFY2(dated.contains("Purchases by year:\n  2023: 1 item, 0.00\n  2024: 1 item, 25.00\nWarranties ending"),
                 qPrintable(dated));
    }

    // What the options say wins over what the file suggests.
    void importOfCsvTakesTheOptionsOverItsGuesses_data() {
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QString>("item");
        QTest::addColumn<QString>("cost");
        const QByteArray semi = "Item;Cost\nCafé;1,5\n";
        QTest::newRow("guessed") << QStringList{} << semi << "Café" << "1.5";
        QTest::newRow("decimal point") << QStringList{"--decimal", "point"} << semi << "Café" << "15";
        QTest::newRow("Windows-1252") << QStringList{"--encoding", "windows-1252"} << semi << "CafÃ©" << "1.5";
        QTest::newRow("no header row") << QStringList{"--no-skip-first", "--map", "1=Item,2=Cost"} << semi << "Café"
                                       << "1.5";
        // Each separator named takes the file apart at that separator alone.
        QTest::newRow("comma") << QStringList{"--separator", "comma"} << QByteArray("Item,Cost\nTea; milk,3\n")
                               << "Tea; milk" << "3";
        QTest::newRow("semicolon") << QStringList{"--separator", "semicolon"} << semi << "Café" << "1.5";
        QTest::newRow("tab") << QStringList{"--separator", "tab"} << QByteArray("Item\tCost\nTea, milk; 2\t3\n")
                             << "Tea, milk; 2" << "3";
    }
    void importOfCsvTakesTheOptionsOverItsGuesses() {
        QFETCH(QStringList, options);
        QFETCH(QString, item);
        QFETCH(QByteArray, text);
        QFETCH(QString, cost);
        WriteAll(Home("in.csv"), text);
        const qsizetype before = Records(m_table).size();
        const Result r = Cli(QStringList{"import", "--format", "csv"} + options + QStringList{Home("in.csv")});
        QVERIFY2(r.code == (options.contains("--no-skip-first") ? 1 : 0), r.err.constData());
        const QStringList rows = Records(m_table).mid(before);
        const QStringList last = rows.last().split('|');
        QCOMPARE(last[0], item);
        QCOMPARE(last[10], cost);
        // Without a header row the titles are a row too; "Cost" is no amount.
        QCOMPARE(rows.size(), 1);
        if (options.contains("--no-skip-first"))
            QCOMPARE(r.err, QByteArray("halvenor import: Row 1, column 2 (Cost): \"Cost\" is not an amount.\n"
                                       "halvenor import: 1 of 2 rows was left out for the problems listed.\n"));
    }

    // A report whose definition prints photos prints them from the command
    // line too: one image for the one item that has a photo.
    void reportPrintsThePhotosItsDefinitionAsksFor() {
        QVERIFY(Run({"report", "--list"}).code == 0);  // the definition file, as at a first start
        {
            reports::ReportFile file(reports::ReportFile::PathIn(m_data.toStdString()));
            reports::ReportDefinition def = file.Read(0).definition;
            def.printPhotos = true;
            file.Write(0, def);
            QImage photo(400, 300, QImage::Format_RGB32);
            photo.fill(Qt::darkCyan);
            QVERIFY(photo.save(Home("chair.png")));
            store::Table t;
            store::PointAt(t, m_table.toStdString());
            t.Open();
            attachments::AttachmentStore store;
            QVERIFY(store.Attach(t).Empty());
            store.Add(5, {{Home("chair.png").toStdString(), attachments::Kind::Photo, "Hall"}});
        }
        const reports::ReportFile file(reports::ReportFile::PathIn(m_data.toStdString()));
        const std::string name = file.Names().front();
        const QString pdf = Home("photos.pdf");
        const Result r = Run({"report", QString::fromStdString(name), "--pdf", pdf});
        QVERIFY2(r.code == 0, r.err.constData());
        QProcess images;
        images.start("pdfimages", {"-list", pdf});
        QVERIFY(images.waitForFinished(60000));
        const QStringList rows = QString::fromUtf8(images.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
        QCOMPARE(rows.size(), 3);  // two heading rows and one image
    }

    // Everything backed up comes back byte for byte over files changed in
    // the meantime, and the restored table opens with its index rebuilt.
    void backupThenRestoreGivesBackTheSameBytes() {
        common::AppSettings().lastDatabase = m_table;
        common::AppSettings().insuranceCompany = "Northwind Mutual";
        QVERIFY(common::SaveAppSettings());
        for (const char* list : {"BRAND.LST", "LOCATION.LST", "BOUGHT.LST", "CATEGORY.LST", "OWNER.LST"})
            WriteAll(m_data + "/" + list, QByteArray(list) + "\r\nValmora\r\n");
        QVERIFY(Run({"report", "--list"}).code == 0);  // the definition file, as at a first start
        {
            // The index as the window leaves it.
            store::Table t;
            store::PointAt(t, m_table.toStdString());
            find::OpenInSortOrder(t, find::BuildSortString(common::AppSettings().sortFields));
        }
        const QStringList kept = {"MASTER.DBF", "BRAND.LST", "LOCATION.LST", "BOUGHT.LST", "CATEGORY.LST", "OWNER.LST", "KELDOR.URP"};
        std::map<QString, QByteArray> before;
        for (const QString& name : kept) before[name] = ReadAll(m_data + "/" + name);
        before["KELDOR.INI"] = ReadAll(m_config + "/KELDOR.INI");

        Result r = Run({"backup", "--to", "saved"});
        QVERIFY2(r.code == 0 && r.err.isEmpty(), r.err.constData());
        QCOMPARE(Files(Home("saved")), (QStringList{"BOUGHT.LST", "BRAND.LST", "CATEGORY.LST", "KELDOR.INI", "KELDOR.URP",
                                                    "LOCATION.LST", "MASTER.DBF", "OWNER.LST"}));

        // Changed since: one more item, other lists, other settings.
        FillTable(m_data + "/OTHER.DBF", 1);
        {
            store::Table t;
            store::PointAt(t, m_table.toStdString());
            t.Open();
            t.Append();
            t.SetText("Item", "Bought later");
            t.Post();
        }
        WriteAll(m_data + "/BRAND.LST", "Changed\r\n");
        WriteAll(m_config + "/KELDOR.INI", "[Misc]\r\nLast Database=" + m_data.toUtf8() + "/OTHER.DBF\r\n");

        r = Run({"restore", "--from", "saved"});
        QVERIFY2(r.code == 0 && r.err.isEmpty(), r.err.constData());
        for (const auto& [name, bytes] : before) {
            const QString dir = name == "KELDOR.INI" ? m_config : m_data;
            const QByteArray now = ReadAll(dir + "/" + name);
            int at = 0;
            while (at < std::min(now.size(), bytes.size()) && now[at] == bytes[at]) ++at;
            QVERIFY2(now == bytes, qPrintable(name + QString(" differs at byte %1 of %2/%3").arg(at).arg(now.size()).arg(bytes.size())));
        }
        QCOMPARE(Records(m_table).size(), 40);
        r = Run({"check"});
        QVERIFY2(r.code == 0 && r.out.contains("up to date"), r.out.constData());
        QVERIFY(!Files(m_data).join(' ').contains(".part"));
    }

    // Left to choose, lists never saved are passed over with a word, and the
    // rest is backed up.
    void backupOfEverythingSaysWhatThereIsNoneOf() {
        // Asked for by name, definitions never written fail the backup with
        // where they would be, and no folder is made.
        const Result none = Run({"backup", "--to", "nothing", "--reports"});
        QCOMPARE(none.code, 1);
        QCOMPARE(none.err, "halvenor backup: report definitions: \"" + m_data.toUtf8() +
                               "\" holds none; none has been saved yet, so there are none to back up.\n");
        QVERIFY(!QFileInfo::exists(Home("nothing")));

        QVERIFY(Run({"report", "--list"}).code == 0);  // the definition file, as at a first start
        const Result r = Run({"backup", "--to", "saved"});
        QVERIFY2(r.code == 0 && r.err == "halvenor backup: settings: none has been saved yet; none backed up.\n"
                                         "halvenor backup: pick lists: none has been saved yet; none backed up.\n",
                 r.err.constData());
        QCOMPARE(Files(Home("saved")), (QStringList{"KELDOR.URP", "MASTER.DBF"}));
    }

    void attachmentsGoWithExportBackupAndRestoreAndAreChecked() {
        common::AppSettings().lastDatabase = m_table;
        QVERIFY(common::SaveAppSettings());
        WriteAll(Home("a.jpg"), QByteArray(4000, 'a'));
        WriteAll(Home("b.pdf"), "%PDF-1.4\n%%EOF\n");
        {
            store::Table t;
            store::PointAt(t, m_table.toStdString());
            t.Open();
            attachments::AttachmentStore store;
            QVERIFY(store.Attach(t).Empty());
            store.Add(3, {{Home("a.jpg").toStdString(), attachments::Kind::Photo, "Front"}});
            store.Add(7, {{Home("b.pdf").toStdString(), attachments::Kind::Receipt, {}}});
        }
        Result r = Run({"check"});
        QVERIFY2(r.code == 0 && r.out.contains("attachments: 2 files of 2 items"), r.out.constData());

        r = Run({"export", "--attachments", "out.dbf"});
        QVERIFY2(r.code == 0, r.err.constData());
        {
            store::Table t;
            store::PointAt(t, Home("out.dbf").toStdString());
            t.Open();
            attachments::AttachmentStore copied;
            QVERIFY(copied.Attach(t).Empty());
            size_t files = 0;
            for (uint32_t rec = 0; rec < t.PhysicalCount(); ++rec) files += copied.CountOf(rec);
            QCOMPARE(files, size_t(2));
        }
        QCOMPARE(Run({"export", "--attachments", "-"}).code, int(cli::kExitUsage));
        // An export that fails copies no attachments and says only why it failed.
        r = Run({"export", "--attachments", Home("nowhere/out.dbf")});
        QVERIFY2(OneLineFailure(r) && !r.err.contains("attachments"), r.err.constData());
        QVERIFY(!QFileInfo::exists(Home("nowhere")));

        r = Run({"backup", "--to", "saved", "--database"});
        QVERIFY2(r.code == 0, r.err.constData());
        const QRegularExpression visible("^[^.]");  // the folder's lock file stays behind
        const QStringList stored = Files(m_data + "/MASTER.files").filter(visible);
        QCOMPARE(stored.size(), 3);
        QCOMPARE(Files(Home("saved/MASTER.files")).filter(visible), stored);
        // A file gone from the folder: check says so and fails; restore
        // gives it back and check is content again.
        const QString photo = m_data + "/MASTER.files/" + stored.filter(".jpg").first();
        QVERIFY(QFile::remove(photo));
        r = Run({"check"});
        QVERIFY2(r.code == 1 && r.out.contains("\"a.jpg\"") && r.out.contains("is missing"), r.out.constData());
        QVERIFY2(Run({"restore", "--from", "saved", "--database"}).code == 0, "restore");
        QCOMPARE(ReadAll(photo), QByteArray(4000, 'a'));
        QCOMPARE(Run({"check"}).code, 0);
    }

    // What a command is not told comes from the settings the window keeps,
    // each set here away from its default; an option given wins.
    void optionsLeftOutFollowTheSettings() {
        common::Settings& settings = common::AppSettings();
        settings.exportFirstRow = false;
        settings.exportFileType = 2;
        settings.importSkipFirst = false;
        settings.sortFields = {2, 4, 0, 0};  // Brand, then Serial
        settings.Field(1).title = "Thing";
        settings.Field(2).title = "Serial";  // a stored name still means its own field
        settings.Field(22).title = "Insurer Ref";
        for (int p = 1; p <= store::kItemFieldCount; ++p) settings.Field(p).exported = p == 1 || p == 4;
        settings.Field(4).exportOrder = 1;
        settings.Field(1).exportOrder = 2;
        QVERIFY(common::SaveAppSettings());

        Result r = Run({"export", "-"});
        QVERIFY2(r.code == 0 && r.err.isEmpty(), r.err.constData());
        QList<QByteArray> lines = r.out.split('\n');
        QCOMPARE(lines.size(), 41);
        QCOMPARE(lines[0], "\"SN-1007\",\"Sofa, corner 1\"\r");  // Kestrilon first, no titles
        QCOMPARE(lines[1], "\"SN-1014\",\"Road \"\"Bike\"\" 2\"\r");
        QCOMPARE(lines[39], "\"SN-1273\",\"Café table 39\"\r");
        r = Run({"export", "--titles", "--fields", "thing, SERIAL ,Purchase Date,insurer ref", "-"});
        QVERIFY2(r.code == 0 && r.err.isEmpty(), r.err.constData());
        QVERIFY2(r.out.startsWith("\"Thing\",\"Serial Number\",\"Purchase Date\",\"Insurer Ref\"\r\n\"Sofa, corner 1\",\"SN-1007\","),
                 r.out.left(120).constData());

        // A field's own title still names it when the settings give another.
        r = Run({"export", "--titles", "--fields", "User Defined 4", "-"});
        QVERIFY2(r.code == 0 && r.out.startsWith("\"Insurer Ref\"\r\n"), r.err.constData());

        // Dates in the format of the settings.
        settings.dateFormat = 11;  // dd-mm-yyyy
        QVERIFY(common::SaveAppSettings());
        r = Run({"export", "--fields", "Serial,PurchDate", "-"});
        QVERIFY2(r.out.contains("\"SN-1091\",\"14-2-2003\"\r\n"), r.out.constData());

        // A dBASE table unless the name or --format says otherwise.
        r = Cli({"export", "items.dat"});
        QCOMPARE(r.code, int(cli::kExitUsage));
        QCOMPARE(r.err, "halvenor export: a dBASE table needs a name ending in .DBF, not \"items.dat\"; see halvenor "
                        "export --help\n");
        QVERIFY(!QFileInfo::exists("items.dat"));
        QCOMPARE(Cli({"export", "--format", "csv", Home("items.dat")}).code, 0);
        QCOMPARE(ReadAll(Home("items.dat")).left(12), "\"SN-1007\",\"S");
        QCOMPARE(Cli({"export", Home("items.csv")}).code, 0);
        QCOMPARE(ReadAll(Home("items.csv")), ReadAll(Home("items.dat")));

        // The first line of a text is an item too, unless --skip-first.
        WriteAll(Home("new.csv"), "\"Lamp\",\"Orvane\"\r\n\"Kettle\",\"Brisk\"\r\n");
        r = Cli({"import", Home("new.csv")});
        QVERIFY2(r.code == 0, r.err.constData());
        QStringList rows = Records(m_table);
        QCOMPARE(rows.size(), 42);
        QVERIFY2(rows[40].startsWith("Lamp|Orvane|") && rows[41].startsWith("Kettle|Brisk|"), qPrintable(rows[40]));
        // Named by the titles of the settings, in any order.
        WriteAll(Home("titled.csv"), "\"Brand\",\"THING\"\r\n\"Brisk\",\"Kettle\"\r\n");
        r = Cli({"import", "--skip-first", Home("titled.csv")});
        QVERIFY2(r.code == 0, r.err.constData());
        rows = Records(m_table);
        QCOMPARE(rows.size(), 43);
        QVERIFY2(rows[42].startsWith("Kettle|Brisk|"), qPrintable(rows[42]));
    }

    // Progress on a terminal: one line redrawn at most ten times a second,
    // but always at the end, and wiped when done.
    void progressIsOneLineRedrawnInPlace() {
        std::ostringstream out, err;
        cli::Console console{out, err, true, 1};
        {
            cli::ProgressLine line(console, "export");
            QVERIFY(line.Show(5, 10, "items"));
            QVERIFY(line.Show(6, 10, "items"));  // mostly too soon to be drawn
            QVERIFY(line.Show(10, 10, "items"));
            const std::string drawn = err.str();
            QVERIFY2(drawn.rfind("\rexport: 5 of 10 items (50%)\x1b[K", 0) == 0, drawn.c_str());
            const std::string last = "\rexport: 10 of 10 items (100%)\x1b[K";
            QVERIFY2(drawn.size() > last.size() && drawn.substr(drawn.size() - last.size()) == last, drawn.c_str());
        }
        QCOMPARE(err.str().substr(err.str().size() - 4), std::string("\r\x1b[K"));
        err.str({});
        {
            cli::ProgressLine line(console, "check");
            QVERIFY(line.Show(7, 0, "records"));
        }
        QCOMPARE(err.str(), std::string("\rcheck: 7 records\x1b[K\r\x1b[K"));
        QVERIFY(out.str().empty());
    }

    // On a terminal a command draws its progress and says what it did; with
    // standard error elsewhere it is silent.
    void progressShowsOnlyOnATerminal() {
        const QString out = Home("out.csv");
        const Result r = Run({"-qec", Program() + " export --fields Item " + out, "/dev/null"}, "script");
        QCOMPARE(r.code, 0);
        QVERIFY2(r.out.contains("\rexport: ") && r.out.contains("\r\x1b[K") &&
                     r.out.endsWith("halvenor export: 40 items written to \"" + out.toUtf8() + "\".\r\n"),
                 r.out.constData());
        const Result quiet = Run({"export", "--fields", "Item", out});
        QVERIFY2(quiet.code == 0 && quiet.err.isEmpty() && quiet.out.isEmpty(), quiet.err.constData());
    }

    // Another program's index file beside the table is told once and never
    // touched: the command sorts in memory and check notes it.
    void anotherProgramsIndexIsToldAndKept() {
        QByteArray foreign(1024, '\0');
        foreign[0] = 2;
        foreign.replace(4, 6, "MASTER");
        foreign[25] = 48;
        foreign[26] = 32;
        const QString index = m_data + "/MASTER.MDX";
        WriteAll(index, foreign);
        Result r = Run({"export", "--fields", "Item", "-"});
        QCOMPARE(r.code, 0);
        QCOMPARE(r.err, "halvenor export: The index file \"" + index.toUtf8() +
                            "\" belongs to another program and is left as it is.  The sort order of this table is "
                            "kept in memory only.\n");
        QCOMPARE(r.out.count("\r\n"), 41);
        r = Run({"check"});
        QCOMPARE(r.code, 0);
        QCOMPARE(r.out, m_table.toUtf8() + "\n  records: 40 (0 deleted, 40 items)\n  index:   another program's (" +
                            index.toUtf8() + ")\n  note:    The index file \"MASTER.MDX\" belongs to another program "
                                             "and was not examined.\n  no problems found\n");
        QCOMPARE(ReadAll(index), foreign);
    }

    // A source column that names a field already taken stays out, and the
    // import says which.
    void aFieldNamedTwiceIsImportedOnce() {
        WriteAll(Home("twice.csv"), "\"Item \",\" Brand\",\"item\"\r\n\"Lamp\",\"Orvane\",\"Kettle\"\r\n");
        const Result r = Cli({"import", Home("twice.csv")});
        QCOMPARE(r.code, 0);
        QCOMPARE(r.err, "halvenor import: not imported, no item field of that name: \"item\".\n");
        const QStringList rows = Records(m_table);
        QCOMPARE(rows.size(), 41);
        QVERIFY2(rows[40].startsWith("Lamp|Orvane||"), qPrintable(rows[40]));
    }

    // On a first start an import makes the default table, as the window
    // would, and fills it.
    void importOnAFirstStartMakesTheTable() {
        QVERIFY(QFile::remove(m_table));
        WriteAll(Home("first.csv"), "\"Lamp\",\"Orvane\"\r\n");
        const Result r = Cli({"import", "--no-skip-first", Home("first.csv")});
        QVERIFY2(r.code == 0 && r.err.isEmpty(), r.err.constData());
        const QStringList rows = Records(m_table);
        QCOMPARE(rows.size(), 1);
        QVERIFY2(rows[0].startsWith("Lamp|Orvane|"), qPrintable(rows[0]));
    }

    // Commands read the current database of the settings, or MASTER.DBF
    // when that file is gone; a database restore leaves the restored copy
    // current, saying so once.
    void theCurrentDatabaseIsTheOneTheSettingsName() {
        const QString other = m_data + "/OTHER.DBF";
        FillTable(other, 3);
        common::AppSettings().lastDatabase = other;
        QVERIFY(common::SaveAppSettings());
        QCOMPARE(Run({"export", "-"}).out.count("\r\n"), 4);
        common::AppSettings().lastDatabase = m_data + "/GONE.DBF";
        QVERIFY(common::SaveAppSettings());
        QCOMPARE(Run({"export", "-"}).out.count("\r\n"), 41);

        Result r = Cli({"backup", "--to", Home("saved"), "--database", "--table", other});
        QVERIFY2(r.code == 0 && r.err.isEmpty(), r.err.constData());
        QVERIFY(QFile::remove(other));
        r = Cli({"restore", "--from", Home("saved"), "--table", "OTHER.DBF"});
        QVERIFY2(r.code == 0, r.err.constData());
        QCOMPARE(r.err, "halvenor restore: \"" + other.toUtf8() + "\" is now the current database.\n");
        common::Settings saved;
        saved.Load(m_config + "/KELDOR.INI");
        QCOMPARE(saved.lastDatabase, other);
        QCOMPARE(Run({"export", "-"}).out.count("\r\n"), 4);
        r = Cli({"restore", "--from", Home("saved"), "--table", "OTHER.DBF"});
        QVERIFY2(r.code == 0 && r.err.isEmpty(), r.err.constData());
    }

    // On a new machine neither the config folder nor the one above it is
    // there yet: the settings come back all the same.
    void settingsRestoredOnANewMachine() {
        QVERIFY(!QFileInfo::exists(Home("config")));
        const QByteArray settings = "[Misc]\r\nInsurance Company=Northwind Mutual\r\n";
        QVERIFY(QDir().mkdir(Home("saved")));
        WriteAll(Home("saved/KELDOR.INI"), settings);
        const Result r = Run({"restore", "--from", "saved", "--settings"});
        QVERIFY2(r.code == 0 && r.err.isEmpty(), r.err.constData());
        QCOMPARE(ReadAll(m_config + "/KELDOR.INI"), settings);
    }

    void checkFindsWhatIsWrongAndChangesNothing_data() {
        QTest::addColumn<QString>("damage");
        QTest::addColumn<QString>("found");
        QTest::addColumn<int>("problems");  // none when the table cannot be read at all
        QTest::newRow("good table") << "" << "" << 0;
        QTest::newRow("deleted records") << "delete" << "" << 0;
        QTest::newRow("last record cut short") << "truncate" << "shorter than its 40 records need" << 0;
        QTest::newRow("stale index") << "stale" << "earlier state of the table" << 1;
        // Rewriting the file gives it a time the index was not written for,
        // but a Cost is in no key: the index still describes the records.
        QTest::newRow("unreadable amount") << "value" << "Record 7: Field Cost holds \"12,00\"" << 1;
        QTest::newRow("odd deletion flag") << "flag" << "Record 40 has the deletion flag 0x23" << 2;
    }
    void checkFindsWhatIsWrongAndChangesNothing() {
        QFETCH(QString, damage);
        QFETCH(QString, found);
        QFETCH(int, problems);
        // The index as the window leaves it: the sort tag built.
        {
            store::Table t;
            store::PointAt(t, m_table.toStdString());
            find::OpenInSortOrder(t, find::BuildSortString(common::AppSettings().sortFields));
        }
        const QString index = m_data + "/MASTER.MDX";
        QByteArray data = ReadAll(m_table);
        const int header = int(uchar(data[8])) | int(uchar(data[9])) << 8;
        const int length = int(uchar(data[10])) | int(uchar(data[11])) << 8;
        auto fieldOffset = [&](const char* name) {
            int offset = 1;
            for (const auto& f : store::ItemSchema()) {
                if (f.name == name) return offset;
                offset += f.kind == 'N' ? (f.typeCode == 2 ? 11 : 20) : (f.kind == 'D' ? 8 : f.width);
            }
            return -1;
        };
        if (damage == "truncate") {
            data.chop(11);
        } else if (damage == "stale") {
            const QByteArray oldIndex = ReadAll(index);
            store::Table t;
            store::PointAt(t, m_table.toStdString());
            t.Open();
            t.Append();
            t.SetText("Item", "Added behind the index's back");
            t.Post();
            t.Close();
            WriteAll(index, oldIndex);
            data = ReadAll(m_table);
        } else if (damage == "value") {
            data.replace(header + 6 * length + fieldOffset("Cost"), 20, QByteArray(15, ' ') + "12,00");
        } else if (damage == "flag") {
            data[header + 39 * length] = '#';
        } else if (damage == "delete") {
            store::Table t;
            store::PointAt(t, m_table.toStdString());
            find::OpenInSortOrder(t, find::BuildSortString(common::AppSettings().sortFields));
            for (const uint32_t rec : {4u, 39u}) {
                t.GoTo(rec);
                t.Delete();
            }
            t.Close();
            data = ReadAll(m_table);
        }
        if (!damage.isEmpty() && damage != "delete") WriteAll(m_table, data);
        const QByteArray indexBefore = ReadAll(index);
        const Result r = Run({"check"});
        QCOMPARE(ReadAll(m_table), data);
        QCOMPARE(ReadAll(index), indexBefore);
        if (found.isEmpty()) {
            QVERIFY2(r.code == 0 && r.err.isEmpty(), r.err.constData());
            const QByteArray deleted = damage == "delete" ? "2 deleted, 38" : "0 deleted, 40";
            QCOMPARE(r.out, m_table.toUtf8() + "\n  records: 40 (" + deleted + " items)\n  index:   up to date (" +
                                index.toUtf8() + "; tags NewIndex)\n  no problems found\n");
            return;
        }
        QCOMPARE(r.code, 1);
        QVERIFY2(r.err.count('\n') == 1 && r.err.contains(found.toUtf8()), r.err.constData());
        if (problems == 0) {
            QVERIFY2(r.out.isEmpty(), r.out.constData());
            return;
        }
        const QByteArray start = "halvenor check: " + QByteArray::number(problems) +
                                 (problems == 1 ? " problem" : " problems") + " found in \"" + m_table.toUtf8() + "\": ";
        QVERIFY2(r.err.startsWith(start), r.err.constData());
        QCOMPARE(r.out.count("\n  problem: "), problems);
        QVERIFY2(r.out.startsWith(m_table.toUtf8() + "\n  records: ") && !r.out.contains("no problems found"),
                 r.out.constData());
    }

    // Wrong arguments and refusals: one line, a non-zero exit, no crash and
    // no file written.
    void badArgumentsGiveOneClearLine_data() {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("says");
        QTest::newRow("unknown command") << QStringList{"exprot", "out.csv"} << 2 << "no command named \"exprot\"";
        QTest::newRow("find without words") << QStringList{"find", " "} << 2 << "WORDS holds no word to look for";
        QTest::newRow("find of a table to standard output") << QStringList{"find", "--format", "dbf", "lamp"} << 2
                                                           << "a dBASE table cannot go to standard output";
        QTest::newRow("missing import file") << QStringList{"import", "missing.csv"} << 1 << "does not exist";
        QTest::newRow("check of quoted text") << QStringList{"import", "--check", "in.csv"} << 2
                                              << "--check is for --format csv or xlsx";
        QTest::newRow("separator of a dBASE table") << QStringList{"import", "--separator", "tab", "OTHER.DBF"} << 2
                                                    << "--separator is for --format csv";
        QTest::newRow("unknown separator") << QStringList{"import", "--format", "csv", "--separator", "pipe", "in.csv"}
                                           << 2 << "pipe";
        QTest::newRow("missing table") << QStringList{"export", "--table", "NONE.DBF", "out.csv"} << 1
                                       << "does not exist";
        QTest::newRow("missing table of a one-letter name") << QStringList{"export", "--table", "A.DBF", "out.csv"} << 1
                                                            << "A.DBF\" does not exist";
        QTest::newRow("not an item table") << QStringList{"export", "--table", "OTHER.DBF", "out.csv"} << 1
                                           << "was not created with Halvenor Inventory 95";
        QTest::newRow("report of not an item table")
            << QStringList{"report", "--table", "OTHER.DBF", "Full Report", "--pdf", "out.pdf"} << 1
            << "was not created with Halvenor Inventory 95";
        QTest::newRow("check of not an item table") << QStringList{"check", "--table", "OTHER.DBF"} << 1
                                                    << "was not created with Halvenor Inventory 95";
        QTest::newRow("dBASE to standard output") << QStringList{"export", "--format", "dbf", "-"} << 2
                                                  << "cannot go to standard output";
        QTest::newRow("unknown field") << QStringList{"export", "--fields", "Item,Colour", "out.csv"} << 2
                                       << "no item field is named \"Colour\"";
        QTest::newRow("empty field name") << QStringList{"export", "--fields", "Brand,,Cost", "out.csv"} << 2
                                          << "--fields: no item field is named \"\"";
        QTest::newRow("no output chosen") << QStringList{"report", "Full Report"} << 2 << "either --pdf OUT or --text OUT";
        QTest::newRow("output folder missing") << QStringList{"export", "no/such/folder/out.csv"} << 1 << "out.csv";
        QTest::newRow("restore from nothing") << QStringList{"restore", "--from", "."} << 1 << "holds no backup";
        QTest::newRow("restore from a missing folder") << QStringList{"restore", "--from", "nowhere"} << 1
                                                       << "nowhere\" does not exist.";
        QTest::newRow("check of a missing table") << QStringList{"check", "--table", "NONE.DBF"} << 1
                                                  << "The table \"";
        QTest::newRow("backup given a file name") << QStringList{"backup", "--to", "saved", "extra"} << 2
                                                  << "backup takes no file names";
        QTest::newRow("backup to a folder inside a file") << QStringList{"backup", "--to", "in.csv/saved", "--database"} << 1
                                                         << "in.csv/saved\" cannot be created.";
        QTest::newRow("backup to a folder the system refuses")
            << QStringList{"backup", "--to", "/proc/halvenor-none/saved", "--database"} << 1
            << "\"/proc/halvenor-none/saved\" cannot be created.";
        QTest::newRow("restore of lists never backed up")
            << QStringList{"restore", "--from", "held", "--settings", "--lists"} << 1 << "holds no copy of the pick lists";
        // Lists never saved: a backup asked to hold them used to succeed
        // empty, and the database went first.
        QTest::newRow("backup of lists never saved") << QStringList{"backup", "--to", "saved", "--lists"} << 1
                                                     << "pick lists: ";
        QTest::newRow("backup of the database and settings never written")
            << QStringList{"backup", "--to", "saved", "--database", "--settings"} << 1 << "settings: ";
        QTest::newRow("backup of the database and lists never saved")
            << QStringList{"backup", "--to", "held", "--database", "--lists"} << 1 << "pick lists: ";
        QTest::newRow("unknown report") << QStringList{"report", "Nope", "--pdf", "out.pdf"} << 1
                                        << "No report is named \"Nope\"";
        QTest::newRow("unknown source field in --map")
            << QStringList{"import", "--map", "Thing=Item", "in.csv"} << 2 << "the source has no field \"Thing\"";
        QTest::newRow("source field named but for its first letter")
            << QStringList{"import", "--map", "Xtem=Item", "in.csv"} << 2 << "the source has no field \"Xtem\"";
        QTest::newRow("table without the extension") << QStringList{"export", "--table", "in.csv", "out.csv"} << 1
                                                     << "is not a dBASE table: its name does not end in .DBF.";
        QTest::newRow("unknown item field in --map")
            << QStringList{"import", "--map", "Item=Colour", "in.csv"} << 2 << "no item field is named \"Colour\"";
        QTest::newRow("source field mapped twice")
            << QStringList{"import", "--map", "Colour=Brand,Colour=Model", "in.csv"} << 2
            << "--map: the source field \"Colour\" is mapped twice";
        QTest::newRow("item field given two sources")
            << QStringList{"import", "--map", "Item=Brand,Colour=Brand", "in.csv"} << 2
            << "--map: the item field \"Brand\" receives two source fields";
        QTest::newRow("pair without its field")
            << QStringList{"import", "--map", "Item", "in.csv"} << 2 << "--map: \"Item\" is not SOURCE=FIELD";
    }
    void badArgumentsGiveOneClearLine() {
        QFETCH(QStringList, args);
        QFETCH(int, code);
        QFETCH(QString, says);
        {
            store::Table other;
            store::PointAt(other, Home("OTHER.DBF").toStdString());
            other.Create({store::FieldDef::String("Thing", 20), store::FieldDef::Integer("Count")});
        }
        {
            store::Table t;  // the index as the window leaves it
            store::PointAt(t, m_table.toStdString());
            find::OpenInSortOrder(t, find::BuildSortString(common::AppSettings().sortFields));
        }
        WriteAll(Home("in.csv"), "\"Item\",\"Colour\"\r\n\"Sofa\",\"Red\"\r\n");
        // A backup of the settings alone: restoring them would go ahead.
        QVERIFY(QDir().mkdir(Home("held")));
        WriteAll(Home("held/KELDOR.INI"), "[Misc]\r\n");
        QVERIFY(Run({"report", "--list"}).code == 0);  // the definition file, as at a first start
        const QStringList before = Tree(m_home->path());
        const QByteArray table = ReadAll(m_table);
        const Result r = Run(args);
        QCOMPARE(r.code, code);
        QVERIFY2(OneLineFailure(r) && r.err.contains(says.toUtf8()), r.err.constData());
        QCOMPARE(Tree(m_home->path()), before);
        QCOMPARE(ReadAll(m_table), table);
        QVERIFY(!QFile::exists(m_config + "/KELDOR.INI"));
    }

    // A folder the user may not write (run as an unprivileged user: the
    // tests run as root): refused in one line, nothing left in the folder.
    void unwritableOutputFolderIsRefused_data() {
        QTest::addColumn<QStringList>("args");
        QTest::newRow("export text") << QStringList{"export", "locked/out.csv"};
        QTest::newRow("export dBASE") << QStringList{"export", "locked/out.dbf"};
        QTest::newRow("report") << QStringList{"report", "Medium Report", "--pdf", "locked/out.pdf"};
        QTest::newRow("backup") << QStringList{"backup", "--to", "locked", "--database"};
    }
    void unwritableOutputFolderIsRefused() {
        QFETCH(QStringList, args);
        // The user's own folders belong to the user; "locked" does not.
        const QByteArray home = m_home->path().toLocal8Bit();
        ::chmod(home.constData(), 0755);
        for (const QString& dir : {Home("config"), Home("data"), m_data}) {
            QDir().mkpath(dir);
            if (testsupport::RunningAsRoot()) (void)!::chown(dir.toLocal8Bit().constData(), testsupport::kNobody, testsupport::kNobody);
        }
        for (const QString& f : Files(m_data))
            if (testsupport::RunningAsRoot())
                (void)!::chown((m_data + "/" + f).toLocal8Bit().constData(), testsupport::kNobody, testsupport::kNobody);
        QVERIFY(QDir().mkdir(Home("locked")));
        ::chmod(Home("locked").toLocal8Bit().constData(), testsupport::RunningAsRoot() ? 0755 : 0555);
        const Result r = RunUnprivileged(args);
        QVERIFY2(OneLineFailure(r), r.err.constData());
        QVERIFY2(r.err.contains("locked"), r.err.constData());
        QCOMPARE(Files(Home("locked")), QStringList{});
    }

    // A backup of the data file alone emptied the live attachments folder.
    void restoreOfADatabaseBackedUpWithoutAttachmentsKeepsThem() {
        common::AppSettings().lastDatabase = m_table;
        QVERIFY(common::SaveAppSettings());
        WriteAll(Home("a.jpg"), "the photo of item 3");
        {
            store::Table t;
            store::PointAt(t, m_table.toStdString());
            t.Open();
            attachments::AttachmentStore store;
            store.Attach(t);
            store.Add(3, {{Home("a.jpg").toStdString(), attachments::Kind::Photo, {}}});
        }
        QVERIFY(QDir().mkdir(Home("saved")));
        QVERIFY(QFile::copy(m_table, Home("saved/MASTER.DBF")));  // made by hand
        const QStringList folder = Tree(m_data + "/MASTER.files").filter(QRegularExpression("^[^.]"));
        const Result r = Run({"restore", "--from", "saved", "--database"});
        QVERIFY2(r.code == 0 && r.err.isEmpty(), r.err.constData());
        QCOMPARE(Tree(m_data + "/MASTER.files").filter(QRegularExpression("^[^.]")), folder);
        store::Table t;
        store::PointAt(t, m_table.toStdString());
        t.Open();
        attachments::AttachmentStore store;
        QVERIFY(store.Attach(t, true).Empty());
        QCOMPARE(store.CountOf(3), size_t(1));
        QCOMPARE(ReadAll(QString::fromStdString(store.PathOf(store.Of(3)[0]))), QByteArray("the photo of item 3"));
    }

    // export --attachments with a damaged list exported 1 of 3 photos,
    // exited 0 and wrote the list again.
    void exportWithADamagedListSaysWhatItLeftOutAndChangesNothing() {
        common::AppSettings().lastDatabase = m_table;
        QVERIFY(common::SaveAppSettings());
        {
            store::Table t;
            store::PointAt(t, m_table.toStdString());
            t.Open();
            attachments::AttachmentStore store;
            store.Attach(t);
            for (uint32_t r = 0; r < 3; ++r) {
                WriteAll(Home(QString("%1.jpg").arg(r)), "photo " + QByteArray::number(r));
                store.Add(r, {{Home(QString("%1.jpg").arg(r)).toStdString(), attachments::Kind::Photo, {}}});
            }
        }
        const QString list = m_data + "/MASTER.files/manifest.txt";
        const QByteArray whole = ReadAll(list);
        const QByteArray cut = whole.left(whole.indexOf("\nitem", whole.indexOf("\nfile") + 1) + 1);
        WriteAll(list, cut);
        const QStringList before = Tree(m_data + "/MASTER.files");
        const Result r = Run({"export", "--attachments", "out.csv"});
        QCOMPARE(r.code, 1);
        QVERIFY2(r.err.contains("is damaged") && r.err.endsWith(
                     "halvenor export: The items were written to \"" + Home("out.csv").toUtf8() +
                     "\", but not all of their attachments were copied: 2 files of the attachments folder belong to "
                     "no item, since the list of attachments is damaged, and were not copied.\n"),
                 r.err.constData());
        QCOMPARE(ReadAll(list), cut);
        QCOMPARE(Tree(m_data + "/MASTER.files"), before);
        QCOMPARE(Files(Home("out.files")).filter(".jpg").size(), 1);
    }

    void exportNeverCopiesWhatALinkInTheFolderLeadsTo() {
        common::AppSettings().lastDatabase = m_table;
        QVERIFY(common::SaveAppSettings());
        WriteAll(Home("a.jpg"), "photo");
        WriteAll(Home("secret"), "not for the export");
        std::string stored;
        {
            store::Table t;
            store::PointAt(t, m_table.toStdString());
            t.Open();
            attachments::AttachmentStore store;
            store.Attach(t);
            store.Add(0, {{Home("a.jpg").toStdString(), attachments::Kind::Photo, {}}});
            stored = store.PathOf(store.Of(0)[0]);
        }
        QVERIFY(QFile::remove(QString::fromStdString(stored)));
        QVERIFY(QFile::link(Home("secret"), QString::fromStdString(stored)));
        const Result r = Run({"export", "--attachments", "out.csv"});
        QCOMPARE(r.code, 1);
        QVERIFY2(r.err.contains("is a link, which the attachments folder does not follow"), r.err.constData());
        QDirIterator it(Home("out.files"), QDir::Files | QDir::Hidden);
        while (it.hasNext()) QVERIFY(ReadAll(it.next()) != "not for the export");
    }

    // Importing from a FIFO blocked in open() for good.
    void importRefusesWhatIsNotARegularFile() {
        QVERIFY(::mkfifo(Home("in.csv").toLocal8Bit().constData(), 0644) == 0);
        const QByteArray table = ReadAll(m_table);
        const Result r = Run({"import", "in.csv"});
        QVERIFY2(OneLineFailure(r), r.err.constData());
        QCOMPARE(r.err, "halvenor import: \"" + Home("in.csv").toUtf8() + "\": The file \"" + Home("in.csv").toUtf8() +
                            "\" is not a regular file and cannot be read.\n");
        QCOMPARE(ReadAll(m_table), table);
    }

    // A command waiting for a file another program holds ignored SIGTERM.
    void terminateEndsACommandThatWaits() {
        QVERIFY(Run({"report", "--list"}).code == 0);  // the definition file
        QFile urp(m_data + "/KELDOR.URP");
        QVERIFY(urp.open(QIODevice::ReadOnly));
        QVERIFY(::flock(urp.handle(), LOCK_EX) == 0);  // another copy writes a definition
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("XDG_CONFIG_HOME", Home("config"));
        env.insert("XDG_DATA_HOME", Home("data"));
        p.setProcessEnvironment(env);
        p.setWorkingDirectory(m_home->path());
        p.start(Program(), {"backup", "--to", "saved", "--reports"});
        QVERIFY(p.waitForStarted());
        QTest::qWait(1500);
        QCOMPARE(p.state(), QProcess::Running);
        p.terminate();
        QVERIFY(p.waitForFinished(8000));
        QCOMPARE(p.exitStatus(), QProcess::NormalExit);
        QCOMPARE(p.exitCode(), int(cli::kExitCancelled));
        QCOMPARE(Tree(Home("saved")), QStringList());
    }

    // A refused backup left the folder it made for the copies.
    void aRefusedBackupLeavesNoFolderBehind() {
        store::Table holder;  // another copy of the program has it open
        store::PointAt(holder, m_table.toStdString());
        holder.Open();
        const Result r = Run({"backup", "--to", "new/saved", "--database"});
        QVERIFY2(OneLineFailure(r) && r.err.contains("exclusive use"), r.err.constData());
        QVERIFY(!QFileInfo::exists(Home("new")));
    }

    // A 300 MB settings file of one line cost every command seconds and
    // gigabytes.
    void aSettingsFileFarTooLargeIsNotRead() {
        QVERIFY(QDir().mkpath(m_config));
        {
            QFile f(m_config + "/KELDOR.INI");
            QVERIFY(f.open(QIODevice::WriteOnly));
            QVERIFY(f.resize(qint64(300) << 20));
        }
        const Result r = Run({"check"});
        QCOMPARE(r.code, 0);
        QCOMPARE(r.err, "halvenor check: The file \"" + m_config.toUtf8() + "/KELDOR.INI\" is 300 MB, far larger than "
                        "any file of its kind, and was not read; the defaults are used.  It is set aside as \"" +
                        m_config.toUtf8() + "/KELDOR.INI.BAD\" when the program next saves it.\n");
        QCOMPARE(QFileInfo(m_config + "/KELDOR.INI").size(), qint64(300) << 20);
    }

    // A table and data folder the user may only read (they are not the
    // user's): the import and the restore refuse in one line and leave
    // every file as it was, with nothing beside them.
    void readOnlyTableAndDataFolderStayAsTheyWere_data() {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("says");
        QTest::newRow("import") << QStringList{"import", "in.csv"} << "open for reading only";
        QTest::newRow("restore") << QStringList{"restore", "--from", "saved", "--database"} << "Permission denied";
    }
    void readOnlyTableAndDataFolderStayAsTheyWere() {
        QFETCH(QStringList, args);
        QFETCH(QString, says);
        {
            store::Table t;  // the index as the window leaves it
            store::PointAt(t, m_table.toStdString());
            find::OpenInSortOrder(t, find::BuildSortString(common::AppSettings().sortFields));
        }
        QVERIFY(Run({"backup", "--to", "saved", "--database"}).code == 0);
        WriteAll(Home("in.csv"), "\"Item\"\r\n\"Sofa\"\r\n");
        std::map<QString, QByteArray> before;
        for (const QString& f : Files(m_data)) before[f] = ReadAll(m_data + "/" + f);
        if (!testsupport::RunningAsRoot()) {
            for (const auto& [f, bytes] : before) QFile::setPermissions(m_data + "/" + f, QFile::ReadOwner);
            ::chmod(m_data.toLocal8Bit().constData(), 0555);
        }
        const Result r = RunUnprivileged(args);
        ::chmod(m_data.toLocal8Bit().constData(), 0755);
        QVERIFY2(OneLineFailure(r) && r.err.contains(says.toUtf8()), r.err.constData());
        std::map<QString, QByteArray> after;
        for (const QString& f : Files(m_data)) after[f] = ReadAll(m_data + "/" + f);
        QVERIFY(after == before);
    }
};

QTEST_MAIN(CommandsTest)
#include "CommandsTest.moc"
