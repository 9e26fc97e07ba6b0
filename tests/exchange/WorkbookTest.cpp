// Workbooks read as spreadsheet programs lay them out: shared texts with
// rich runs, date styles built in and of the file's own, truth values,
// formulas' texts, cells without references, rows left out, day numbers
// from 1900 and from 1904; a workbook openpyxl wrote imported with its
// types; and damaged or hostile files (not a zip, malformed XML, a shared
// text that is not there, a row too wide, a zip bomb honest or lying about
// its size, a shared-text table too large) refused with what was wrong.

#include <QDir>
#include <QTemporaryDir>
#include <QtTest>

#include "ChildRun.h"
#include "ExchangeTestSupport.h"
#include "ExportEngine.h"
#include "HeaderMapping.h"
#include "SheetImport.h"
#include "Workbook.h"

using namespace exchange;
using namespace exchangetest;

namespace {

const QString kFixtures = QStringLiteral(HALVENOR_SOURCE_DIR "/tests/exchange/data/xlsx/");

QString KindName(CellKind kind) {
    switch (kind) {
    case CellKind::Text: return "T";
    case CellKind::Number: return "N";
    case CellKind::Date: return "D";
    case CellKind::Boolean: return "B";
    }
    return "?";
}

// "row: value(kind)|..." for every row, or "error: ..." where reading stopped.
QStringList Rows(const QString& file, const std::string& sheet = {}) {
    WorkbookReader reader;
    std::string error;
    if (!reader.Open((kFixtures + file).toStdString(), sheet, &error)) return {"error: " + QString::fromStdString(error)};
    QStringList out;
    std::vector<SheetCell> cells;
    for (;;) {
        const SheetRows::Status status = reader.Next(cells);
        if (status == SheetRows::Status::End) break;
        if (status == SheetRows::Status::Failed) {
            out << "error: " + QString::fromStdString(reader.Error());
            break;
        }
        QStringList values;
        for (const SheetCell& c : cells)
            values << (c.text.empty() && c.kind == CellKind::Text ? QString()
                                                                  : QString::fromStdString(c.text) + "(" + KindName(c.kind) + ")");
        out << QString::number(reader.RowNumber()) + ": " + values.join('|');
    }
    return out;
}

// Every cell of the first sheet as openpyxl reads it: "value:type:format",
// and the sheet's frozen cell, the first row's boldness and column widths.
QJsonObject ReadWithOpenpyxl(const QString& path) {
    const QString script =
        "import json, sys, openpyxl\n"
        "ws = openpyxl.load_workbook(sys.argv[1]).worksheets[0]\n"
        "def cell(c):\n"
        "    v = c.value\n"
        "    if v is None: return ''\n"
        "    text = v.strftime('%Y-%m-%d') if hasattr(v, 'strftime') else str(v)\n"
        "    return text + ':' + type(v).__name__ + ':' + c.number_format\n"
        "print(json.dumps({'title': ws.title, 'frozen': ws.freeze_panes,\n"
        "    'bold': [bool(c.font.b) for c in ws[1]],\n"
        "    'widths': [ws.column_dimensions[openpyxl.utils.get_column_letter(i + 1)].width for i in range(ws.max_column)],\n"
        "    'rows': [[cell(c) for c in r] for r in ws.iter_rows()]}))\n";
    return QJsonDocument::fromJson(RunPython(script, {path})).object();
}

const std::vector<Item> kEdgeItems = {
    {{"Item", std::string(40, 'W')}, {"Brand", "Acme"}, {"Descriptio", "two\r\nlines"}, {"Quantity", "0"},
     {"PurchDate", "02/29/00"}, {"Cost", "1234.56"}, {"RepCost", "-0.01"}, {"Value", "99999999.99"},
     {"Warranty", "Yes"}, {"WarDate", "01/01/00"}, {"UserDef4", "Café, \"last\""}},
    {{"Item", "blank amounts"}},
};

}  // namespace

class WorkbookTest : public QObject {
    Q_OBJECT

private slots:
    // The built-in date styles at both ends of each of their runs, the
    // styles beside them, and codes of the file's own.
    void dateStylesBuiltInAndOfTheFilesOwn() {
        for (const int id : {14, 22, 27, 36, 45, 47, 50, 58}) QVERIFY2(IsDateStyle(id, {}), qPrintable(QString::number(id)));
        for (const int id : {0, 13, 23, 26, 37, 44, 48, 49, 59, 164})
            QVERIFY2(!IsDateStyle(id, {}), qPrintable(QString::number(id)));
        QVERIFY(IsDateStyle(164, "[$-409]d-mmm-yy"));
        QVERIFY(IsDateStyle(164, "hh:mm"));
        QVERIFY(!IsDateStyle(164, "[Red]0.00"));
        QVERIFY(!IsDateStyle(164, "\"days\" 0"));
        QVERIFY(!IsDateStyle(164, "\\d0"));
        QVERIFY(!IsDateStyle(164, "General"));
    }

    void sheetsAreReadAsTheirCellsHoldThem() {
        QCOMPARE(Rows("calc-like.xlsx"),
                 (QStringList{
                     "1: Name(T)|Purchase Price(T)|Purchase Date(T)|Warranty(T)|Qty(T)|Notes(T)",
                     "2: Lamp(T)|1234.5(N)|2024-02-29(D)|TRUE(B)|2(N)|two\nlines(T)",
                     "5: Rich text(T)|0.01(N)|2000-02-29(D)|FALSE(B)|formula text(T)|#N/A(T)",
                     "6: Inline(T)||2000-02-29(D)|no(T)",
                     "7: Café(T)|a\rb(T)|60(N)|_x0041_(T)",  // 60: the 29 February 1900 that never was
                 }));
        QCOMPARE(Rows("calc-like.xlsx", "KITCHEN"), (QStringList{"1: Name(T)", "2: Kitchen thing(T)"}));
        QCOMPARE(Rows("texts-at-the-limit.xlsx"), QStringList{"1: Name(T)"});  // as many as may be
        QCOMPARE(Rows("date1904.xlsx"), (QStringList{"1: Purchase Date(T)", "2: 1904-01-01(D)", "3: 2024-02-29(D)"}));
        // A date style after a language in brackets, a number style after
        // a colour; the sheet's part ends with a line break.
        QCOMPARE(Rows("formats.xlsx"), (QStringList{"1: Purchase Date(T)", "2: 2024-02-29(D)", "3: 12.5(N)"}));
        std::string error = "untouched";
        QCOMPARE(WorkbookSheets((kFixtures + "calc-like.xlsx").toStdString(), &error),
                 (std::vector<std::string>{"Things", "Kitchen"}));
        QCOMPARE(error, std::string("untouched"));
        // Counted without reading the cells: the rows there are, or that the
        // sheet was cut short.
        QCOMPARE(CountSheetRows((kFixtures + "calc-like.xlsx").toStdString(), &error), std::optional<uint64_t>(5));
        QCOMPARE(CountSheetRows((kFixtures + "formats.xlsx").toStdString(), &error), std::optional<uint64_t>(3));
        QCOMPARE(CountSheetRows((kFixtures + "liar.xlsx").toStdString(), &error), std::nullopt);
        QCOMPARE(QString::fromStdString(error).replace(kFixtures, ""),
                 QString("The file \"liar.xlsx\" is damaged: its sheet ends before its last row."));
    }

    void damagedAndHostileWorkbooksAreRefused_data() {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("sheet");
        QTest::addColumn<QString>("says");
        QTest::newRow("not a zip") << "not-a-zip.xlsx" << ""
                                   << "error: The file \"P\" is not a workbook (.xlsx): it is not a zip archive.";
        QTest::newRow("malformed XML") << "malformed.xlsx" << ""
                                       << "1: Name(T)\nerror: The file \"P\" is damaged: its part "
                                          "\"xl/worksheets/sheet1.xml\" is not well-formed XML (line 2: Opening and "
                                          "ending tag mismatch.).";
        QTest::newRow("shared text not there") << "bad-shared-index.xlsx" << ""
                                               << "1: Name(T)\nerror: The cell A2 names shared text 7, which the "
                                                  "workbook does not have.";
        QTest::newRow("row too wide") << "too-wide.xlsx" << ""
                                      << "1: Name(T)" + QString(1023, '|') + "Last(T)\nerror: Row 2 of the sheet "
                                         "has a value in column AMK, past the 1024 columns a row may hold.";
        QTest::newRow("no sheet") << "no-sheet.xlsx" << "" << "error: The workbook \"P\" has no sheet.";
        QTest::newRow("sheet not there") << "calc-like.xlsx" << "Garage"
                                         << "error: The workbook \"P\" has no sheet \"Garage\"; its sheets are "
                                            "\"Things\", \"Kitchen\".";
        QTest::newRow("shared texts past the limit")
            << "many-texts.xlsx" << ""
            << "error: The file \"P\" is refused: its table of shared texts holds more than 16777216 texts or 512 MB.";
        QTest::newRow("zip bomb") << "bomb.xlsx" << ""
                                  << "error: The file \"P\" is refused: its part \"xl/worksheets/sheet1.xml\" unpacks "
                                     "to 20971670 bytes or more, beyond what a workbook needs (at most 1024 MB, and "
                                     "200 times its packed size).";
        QTest::newRow("a folder") << "." << "" << "error: The file \"P\" is not a regular file.";
    }
    void damagedAndHostileWorkbooksAreRefused() {
        QFETCH(QString, file);
        QFETCH(QString, sheet);
        QFETCH(QString, says);
        const QString path = kFixtures + file;
        QCOMPARE(Rows(file, sheet.toStdString()).join('\n').replace(path, "P"), says);
    }

    // A bomb that says it is small is read no further than it says.
    void aZipBombLyingAboutItsSizeIsReadOnlyAsFarAsItSays() {
        QCOMPARE(Rows("liar.xlsx").join('\n').replace(kFixtures + "liar.xlsx", "P"),
                 QString("error: The file \"P\" is damaged: its part \"xl/worksheets/sheet1.xml\" is not well-formed "
                         "XML (line 1: Premature end of document.)."));
    }

    // Another reader sees numbers, dates and texts as such, the titles bold
    // and frozen, and columns wide enough.
    void anExportedWorkbookHoldsTypedValues() {
        QTemporaryDir dir;
        store::Table items;
        CreateItemTable(items, dir.path());
        AddItems(items, kEdgeItems);
        ExportRequest request;
        request.path = dir.filePath("out.xlsx").toStdString();
        request.positions = {1, 6, 9, 10, 11, 13, 14, 22};
        request.titles = {"Thing", "", "Qty", "Bought", "Cost", "Replacement", "Warranty", "Last"};
        const RunResult result = ExportXlsx(items, request, {});
        QCOMPARE(int(result.outcome), int(Outcome::Completed));
        QCOMPARE(result.records, 2u);
        const QJsonObject book = ReadWithOpenpyxl(dir.filePath("out.xlsx"));
        QCOMPARE(book["title"].toString(), QString("Items"));
        QCOMPARE(book["frozen"].toString(), QString("A2"));
        QCOMPARE(book["bold"].toArray(), QJsonArray({true, true, true, true, true, true, true, true}));
        QCOMPARE(book["widths"].toArray(), QJsonArray({42.7109375, 62.7109375, 8.7109375, 12.7109375, 16.7109375,
                                                       16.7109375, 10.7109375, 42.7109375}));
        const QJsonArray rows = book["rows"].toArray();
        QCOMPARE(rows.size(), 3);
        QCOMPARE(Strings(rows[0].toArray()),
                 (QStringList{"Thing:str:General", "Description:str:General", "Qty:str:General",
                              "Bought:str:General", "Cost:str:General", "Replacement:str:General",
                              "Warranty:str:General", "Last:str:General"}));
        QCOMPARE(Strings(rows[1].toArray()),
                 // openpyxl 3.0 leaves the CR as the file spells it; spreadsheet
                 // programs and our reader (below) read the character.
                 (QStringList{QString(40, 'W') + ":str:General", "two_x000D_\nlines:str:General", "0:int:0",
                              "2000-02-29:datetime:mm/dd/yyyy", "1234.56:float:#,##0.00", "-0.01:float:#,##0.00",
                              "Yes:str:General", "Café, \"last\":str:General"}));
        QCOMPARE(Strings(rows[2].toArray()), (QStringList{"blank amounts:str:General", "", "", "", "", "", "", ""}));
    }

    // Exported and imported back, every value is as it was stored; the
    // sheet is long enough to come out of the archive in many reads.
    void aWorkbookRoundTripKeepsEveryValue() {
        QTemporaryDir dir;
        store::Table source, back;
        CreateItemTable(source, dir.path(), "SOURCE");
        AddItems(source, kEdgeItems);
        std::vector<Item> more;
        for (int i = 0; i < 3000; ++i)
            more.push_back({{"Item", "thing " + std::to_string(i)}, {"Cost", std::to_string(i) + ".5"},
                            {"Descriptio", std::string(100, char('a' + i % 26))}});
        AddItems(source, more);
        ExportRequest request;
        request.path = dir.filePath("all.xlsx").toStdString();
        for (int p = 1; p <= store::kItemFieldCount; ++p) request.positions.push_back(p);
        QCOMPARE(int(ExportXlsx(source, request, {}).outcome), int(Outcome::Completed));
        CreateItemTable(back, dir.path(), "BACK");
        SheetImportRequest in;
        in.source = {request.path, SheetFormat::Xlsx};
        in.map = MapByHeader(RowTexts(SampleSheet(in.source, 1), 0));
        QCOMPARE(in.map, request.positions);
        const SheetImportResult result = ImportSheet(back, in, {});
        QCOMPARE(result.problemCount, 0u);
        QCOMPARE(result.run.records, 3002u);
        source.Close();
        back.Close();
        const QJsonArray stored = DbfRead(dir.filePath("SOURCE.DBF"))["records"].toArray();
        QCOMPARE(DbfRead(dir.filePath("BACK.DBF"))["records"].toArray(), stored);
        QCOMPARE(stored[0].toArray()[5].toString(), QString("two\r\nlines"));
    }

    // A full disk or a cancel leaves no workbook and no temporary file.
    void anExportThatDoesNotEndLeavesNoFile_data() {
        QTest::addColumn<bool>("full");
        QTest::newRow("full disk") << true;
        QTest::newRow("cancelled") << false;
    }
    void anExportThatDoesNotEndLeavesNoFile() {
        QFETCH(bool, full);
        QTemporaryDir dir;
        store::Table items;
        CreateItemTable(items, dir.path());
        std::vector<Item> many;
        for (int i = 0; i < 5000; ++i) many.push_back({{"Item", "thing " + std::to_string(i)}, {"Descriptio", std::string(100, 'd')}});
        AddItems(items, many);
        ExportRequest request;
        request.path = dir.filePath("out.xlsx").toStdString();
        request.positions = {1, 6};
        auto run = [&] {
            const ProgressFn stop = [&](const Progress& p) { return full || p.done < 4096; };
            const RunResult r = ExportXlsx(items, request, stop);
            return std::to_string(int(r.outcome)) + "|" + std::to_string(r.records) + "|" + r.message;
        };
        const std::string outcome = full ? testsupport::RunInChild(run, {false, rlim_t(64 * 1024)}) : run();
        if (full) {
            // The library's temporary file is cut short without its noticing.
            QVERIFY2(QString::fromStdString(outcome).startsWith(
                         "2|0|The workbook came out damaged, perhaps for a full disk, and was not saved: The file \""),
                     outcome.c_str());
        } else {
            QCOMPARE(outcome, std::string("1|0|The export was cancelled; no file was written."));
        }
        items.Close();
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), (QStringList{"MASTER.DBF"}));
    }

    // openpyxl's workbook: numbers, dates and truth values land as they
    // are, whatever decimal mark the texts would have had.
    void aWorkbookImportsWithItsTypes() {
        QTemporaryDir dir;
        store::Table items;
        CreateItemTable(items, dir.path());
        SheetImportRequest request;
        request.source = {(kFixtures + "openpyxl.xlsx").toStdString(), SheetFormat::Xlsx};
        const SheetSample sample = SampleSheet(request.source, 10);
        QVERIFY(sample.ok && sample.complete);
        request.map = MapByHeader(RowTexts(sample, 0));
        QCOMPARE(request.map, (std::vector<int>{1, 2, 11, 10, 14, 9, 6}));
        request.decimalMark = DecimalMark::Comma;
        const SheetImportResult result = ImportSheet(items, request, {});
        QCOMPARE(result.problemCount, 0u);
        QCOMPARE(result.run.records, 3u);
        items.Close();
        QStringList stored;
        for (const auto& r : DbfRead(dir.filePath("MASTER.DBF"))["records"].toArray()) {
            const QJsonArray v = r.toArray();
            stored << QStringList{v[0].toString(), v[1].toString(), v[10].toString(), v[9].toString(),
                                  v[13].toString(), v[8].toString(), v[5].toString()}
                          .join('|');
        }
        QCOMPARE(stored, (QStringList{"Lamp|Acme, Inc.|12.5|20240331|Yes|2|the \"blue\" one",
                                      "Sofa||899.0|20000229|No|1|two\nlines", "Café table|Möbel|0.01||||"}));
        // The second sheet: a date with its time of day is that day.
        QCOMPARE(Rows("openpyxl.xlsx", "Garage"),
                 (QStringList{"1: Name(T)|Room(T)|Purchase Date(T)", "2: Drill(T)|Garage(T)|2023-07-04(D)"}));
    }
};

QTEST_GUILESS_MAIN(WorkbookTest)
#include "WorkbookTest.moc"
