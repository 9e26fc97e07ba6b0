// The spreadsheet import: files python's csv module and LibreOffice Calc
// wrote land with every value in its field (read back by dbfread), every
// value that does not convert is listed with its row, column and reason and
// its row left out, and the rows go in as one change: a check, a cancel, a
// file that breaks off and a full disk all leave the bytes of the table and
// its index as they were. The text export read back this way gives what
// the quoted import gives.

#include <QDir>
#include <QTemporaryDir>
#include <QtTest>

#include "ChildRun.h"
#include "ExchangeTestSupport.h"
#include "ExportEngine.h"
#include "HeaderMapping.h"
#include "ImportEngine.h"
#include "SheetImport.h"

using namespace exchange;
using namespace exchangetest;

namespace {

const QString kFixtures = QStringLiteral(HALVENOR_SOURCE_DIR "/tests/exchange/data/csv/");

// A request over a file, columns mapped by their headers.
SheetImportRequest RequestFor(const QString& path) {
    SheetImportRequest request;
    std::string error;
    request.source.path = path.toStdString();
    request.source.dialect = GuessCsvDialect(request.source.path, &error).value_or(CsvDialect{});
    const SheetSample sample = SampleSheet(request.source, 50);
    request.map = MapByHeader(RowTexts(sample, 0));
    request.decimalMark = GuessSheetDecimalMark(sample, request.map, true);
    return request;
}

QStringList Problems(const SheetImportResult& result, const SheetImportRequest& request) {
    QStringList out;
    for (const SheetProblem& p : result.problems) out << QString::fromStdString(DescribeProblem(p, request));
    return out;
}

// Item, Brand, Cost, PurchDate and Descriptio of every record, as dbfread reads them.
QStringList Stored(const QString& table) {
    QStringList out;
    for (const auto& r : DbfRead(table)["records"].toArray()) {
        const QJsonArray v = r.toArray();
        out << QStringList{v[0].toString(), v[1].toString(), v[10].toString(), v[9].toString(), v[5].toString()}.join("|");
    }
    return out;
}

}  // namespace

class SheetImportTest : public QObject {
    Q_OBJECT

private slots:
    void init() {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
        m_table = m_dir->filePath("MASTER.DBF");
    }

    // A problem names its row, its column when it has one, and the item
    // field the column goes to when it goes to one, in the user's title.
    void problemsAreToldByRowColumnAndField() {
        SheetImportRequest request;
        QCOMPARE(DescribeProblem({7, 0, 0, "The table is open for reading only."}, request),
                 std::string("Row 7: The table is open for reading only."));
        QCOMPARE(DescribeProblem({7, 3, 0, "x"}, request), std::string("Row 7, column 3: x"));
        QCOMPARE(DescribeProblem({7, 3, 11, "x"}, request), std::string("Row 7, column 3 (Cost): x"));
        request.titles[10] = "Price Paid";
        QCOMPARE(DescribeProblem({7, 3, 11, "x"}, request), std::string("Row 7, column 3 (Price Paid): x"));
    }

    // The same three items, however python wrote them: the separator, the
    // encoding and the decimal mark are guessed from the file.
    void pythonFilesLandInTheirFields_data() {
        QTest::addColumn<QString>("file");
        QTest::newRow("minimal quoting") << "python-minimal.csv";
        QTest::newRow("semicolons, decimal comma, BOM") << "python-semicolon-bom.csv";
        QTest::newRow("tabs, LF") << "python-tab-lf.csv";
        QTest::newRow("Windows-1252") << "python-cp1252.csv";
    }
    void pythonFilesLandInTheirFields() {
        QFETCH(QString, file);
        store::Table items;
        CreateItemTable(items, m_dir->path());
        const SheetImportRequest request = RequestFor(kFixtures + file);
        QCOMPARE(request.map, (std::vector<int>{1, 2, 11, 10, 6}));
        const SheetImportResult result = ImportSheet(items, request, {});
        QCOMPARE(Problems(result, request), QStringList());
        QCOMPARE(int(result.run.outcome), int(Outcome::Completed));
        const bool clock = file == "python-cp1252.csv";
        QCOMPARE(result.run.records, clock ? 4u : 3u);
        QCOMPARE(result.rows, clock ? 4u : 3u);
        QCOMPARE(result.run.notice, std::string());
        items.Close();
        QStringList expected{"Lamp|Acme, Inc.|12.5|20240331|the \"blue\" one", "Sofa||899.0|20240331|two\r\nlines",
                             "Café table|Möbel|0.01||"};
        if (clock) expected << "Clock|€uro|5.0||";
        QCOMPARE(Stored(m_table), expected);
    }

    // LibreOffice Calc's own files, saved with its defaults: a workbook of
    // shared texts and date styles, and CSV in Windows-1252 with LF line
    // ends and quotes only where needed. Both land field by field; an empty
    // quantity is 0 from text, and stays empty from a workbook.
    void filesLibreOfficeWroteLandInTheirFields_data() {
        QTest::addColumn<QString>("file");
        QTest::newRow("workbook") << "libreoffice.xlsx";
        QTest::newRow("CSV") << "libreoffice.csv";
    }
    void filesLibreOfficeWroteLandInTheirFields() {
        QFETCH(QString, file);
        const bool workbook = file.endsWith(".xlsx");
        const QString path = QStringLiteral(HALVENOR_SOURCE_DIR "/tests/exchange/data/libreoffice/") + file;
        SheetImportRequest request;
        if (workbook) {
            request.source = {path.toStdString(), SheetFormat::Xlsx};
            const SheetSample sample = SampleSheet(request.source, 10);
            request.map = MapByHeader(RowTexts(sample, 0));
        } else {
            request = RequestFor(path);
            QCOMPARE(request.source.dialect, (CsvDialect{',', CsvEncoding::Windows1252}));
        }
        QCOMPARE(request.map, (std::vector<int>{1, 2, 3, 4, 5, 11, 10, 15, 9, 6}));
        store::Table items;
        CreateItemTable(items, m_dir->path());
        const SheetImportResult result = ImportSheet(items, request, {});
        QCOMPARE(Problems(result, request), QStringList());
        QCOMPARE(result.run.records, 3u);
        if (workbook) {  // the second sheet by its name
            request.source.sheet = "garage";
            request.map = {1, 5};
            QCOMPARE(ImportSheet(items, request, {}).run.records, 1u);
        }
        items.Close();
        QStringList stored;
        for (const auto& r : DbfRead(m_table)["records"].toArray()) {
            QStringList v;
            for (int f : {0, 1, 2, 3, 4, 10, 9, 14, 8, 5}) v << r.toArray()[f].toString();
            stored << v.join('|');
        }
        QStringList expected{"Lamp|Acme, Inc.|L-100|SN 001|Attic|12.5|20240331|20260331|2|the \"blue\" one",
                             "Sofa||||Living Room|1234.56|20000229||1|two\nlines",
                             QString("Café table|Möbel|T 9|0042|Kitchen|0.01|19991231|21000101|") +
                                 (workbook ? "" : "0") + "|"};
        if (workbook) expected << "Drill||||Garage|||||";
        QCOMPARE(stored, expected);
    }

    // Every kind of value that does not convert, each named exactly; the
    // rows without a problem go in, blank rows count as rows but hold no item.
    void valuesThatDoNotConvertAreListedAndLeftOut() {
        const QString csv = m_dir->filePath("bad.csv");
        WriteAll(csv,
                 "Name,Qty,Price,Purchase Date,Warranty,Room,Brand\r\n"
                 "Good,2,\"$1,234.50\",2024-02-29,yes,Attic,Sony\r\n"
                 ",,,,,,\r\n"
                 "Bad date,1,1,2023-02-29,,,\r\n"
                 "Bad amount,1,1.2.3,,no,,\r\n"
                 "Bad quantity,2.5,1,,,,\r\n"
                 "Huge quantity,123456789012,1,,,,\r\n"
                 "Maybe,1,1,,maybe,,\r\n"
                 "Too long,1,1,,,,\"" + QByteArray(21, 'x') + "\"\r\n"
                 "Cyrillic,1,1,,,\xd0\x96uk,\r\n"
                 "Two faults,x,\"y\r\n" + QByteArray(70, 'y') + "\",,,,\r\n"
                 "Serial and words,0,(12.00),45351,TRUE,,\r\n"
                 "Short row\r\n");
        SheetImportRequest request = RequestFor(csv);
        QCOMPARE(request.map, (std::vector<int>{1, 9, 11, 10, 14, 5, 2}));
        request.titles[10] = "Price Paid";  // the user's own title names the field
        store::Table items;
        CreateItemTable(items, m_dir->path());
        const SheetImportResult result = ImportSheet(items, request, {});
        QCOMPARE(Problems(result, request),
                 (QStringList{
                     "Row 4, column 4 (Purchase Date): \"2023-02-29\" is not a date in the form mm/dd/yy, "
                     "yyyy-mm-dd or dd.mm.yyyy, nor a spreadsheet's day number.",
                     "Row 5, column 3 (Price Paid): \"1.2.3\" is not an amount.",
                     "Row 6, column 2 (Quantity): \"2.5\" is not a whole number.",
                     "Row 7, column 2 (Quantity): The number 123456789012 is too large for field Quantity.",
                     "Row 8, column 5 (Warranty): \"maybe\" is not Yes or No.",
                     "Row 9, column 7 (Brand): The text for field Brand is 21 characters long; the field holds at "
                     "most 20.",
                     "Row 10, column 6 (Location): The character \"Ж\" in field Location cannot be stored in this "
                     "table (code page 1252).",
                     "Row 11, column 2 (Quantity): \"x\" is not a whole number.",
                     "Row 11, column 3 (Price Paid): \"y\\r\\n" + QString(57, 'y') + "...\" is not an amount.",
                 }));
        QCOMPARE(result.rows, 11u);
        QCOMPARE(result.rowsLeftOut, 8u);
        QCOMPARE(result.problemCount, 9u);
        QCOMPARE(result.run.records, 3u);
        QCOMPARE(result.run.notice, std::string("8 of 11 rows were left out for the problems listed."));
        QCOMPARE(Column(items, "Item"), (QStringList{"Good", "Serial and words", "Short row"}));
        QCOMPARE(Column(items, "Quantity"), (QStringList{"2", "0", "0"}));
        QCOMPARE(Column(items, "Cost"), (QStringList{"1234.5", "-12", "0"}));
        QCOMPARE(Column(items, "PurchDate"), (QStringList{"2/29/24", "2/29/24", ""}));
        QCOMPARE(Column(items, "Warranty"), (QStringList{"Yes", "Yes", ""}));
        QCOMPARE(Column(items, "Location"), (QStringList{"Attic", "", ""}));

        // The preview shows the first rows as they will be stored.
        const std::vector<PreviewRow> preview = PreviewSheet(items, request, SampleSheet(request.source, 5), 3);
        QCOMPARE(preview.size(), size_t(3));  // row 3 is blank
        QCOMPARE(preview[0].row, 2u);
        QCOMPARE(preview[0].texts[0], std::string("Good"));
        QCOMPARE(preview[0].texts[8], std::string("2"));
        QCOMPARE(preview[0].texts[9], std::string("2/29/24"));
        QCOMPARE(preview[0].texts[10], std::string("1234.5"));
        QCOMPARE(preview[0].texts[13], std::string("Yes"));
        QCOMPARE(preview[0].texts[3], std::string());  // not mapped
        QCOMPARE(preview[0].problems.size(), size_t(0));
        QCOMPARE(preview[1].row, 4u);
        QCOMPARE(preview[1].texts[0], std::string("Bad date"));
        QCOMPARE(preview[1].problems.size(), size_t(1));
        QCOMPARE(preview[1].problems[0].column, 4);
        QCOMPARE(preview[2].row, 5u);
        QCOMPARE(items.RecordCount(), 3u);
        QCOMPARE(items.CurrentState(), store::Table::State::Browse);

        // A check finds the same and writes nothing.
        items.Close();
        const QByteArray before = ReadAll(m_table);
        items.Open();
        request.checkOnly = true;
        const SheetImportResult check = ImportSheet(items, request, {});
        QCOMPARE(Problems(check, request), Problems(result, request));
        QCOMPARE(check.run.records, 0u);
        QCOMPARE(check.run.notice, std::string("8 of 11 rows cannot be imported for the problems listed."));
        QCOMPARE(items.RecordCount(), 3u);

        // The question before anything is written sees what the check saw;
        // a no leaves the table as it was.
        request.checkOnly = false;
        uint64_t asked = 0;
        QStringList seen;
        request.confirm = [&](const SheetImportResult& found) {
            asked = found.rows * 100 + found.rowsLeftOut;
            seen = Problems(found, request);
            return false;
        };
        const SheetImportResult declined = ImportSheet(items, request, {});
        QCOMPARE(asked, 1108u);
        QCOMPARE(seen, Problems(result, request));
        QCOMPARE(int(declined.run.outcome), int(Outcome::Cancelled));
        QCOMPARE(declined.run.message, std::string("The import was cancelled.  The table is as it was before the import."));
        QCOMPARE(declined.problemCount, 9u);
        QCOMPARE(items.RecordCount(), 3u);
        items.Close();
        QCOMPARE(ReadAll(m_table), before);
    }

    // What ends an import early leaves the table's bytes as they were and
    // says so.
    void anImportThatDoesNotEndWritesNothing_data() {
        QTest::addColumn<QString>("how");
        QTest::addColumn<QString>("message");
        QTest::newRow("cancelled") << "cancel" << "The import was cancelled.  The table is as it was before the import.";
        QTest::newRow("file breaks off") << "unclosed"
                                         << "The import stopped: The quoted value 1 of line 5002 is not closed before "
                                            "the end of the file.  The table is as it was before the import.";
        QTest::newRow("full disk while reading") << "full" << "The import stopped at row ";
        QTest::newRow("full disk at the end") << "full at the end" << "The import failed: ";
    }
    void anImportThatDoesNotEndWritesNothing() {
        QFETCH(QString, how);
        QFETCH(QString, message);
        QString index;
        {
            store::Table items;
            CreateItemTable(items, m_dir->path());
            items.AddIndex("BYITEM", "Upper(Item)");
            items.SetActiveIndex("BYITEM");
            // Room for the new records beside the table, none for the
            // table grown by them: the disk fills at the end.
            std::vector<Item> kept(how == "full at the end" ? 6000 : 1, Item{{"Item", "kept"}});
            AddItems(items, kept);
            index = QString::fromStdString(items.IndexFilePath());
        }
        const QByteArray before = ReadAll(m_table);
        const QByteArray indexBefore = ReadAll(index);
        QVERIFY(!indexBefore.isEmpty());
        const QString csv = m_dir->filePath("many.csv");
        QByteArray text = "Item,Cost\n";
        for (int i = 0; i < 5000; ++i) text += "thing " + QByteArray::number(i) + "," + QByteArray::number(i) + ".25\n";
        if (how == "unclosed") text += "\"never closed,1\n";
        WriteAll(csv, text);
        const SheetImportRequest request = RequestFor(csv);
        auto run = [&] {
            store::Table items;
            items.SetDirectory(m_dir->path().toStdString());
            items.SetTableName("MASTER");
            items.SetActiveIndex("BYITEM");
            items.Open();
            const ProgressFn cancel = [&](const Progress& p) { return how != "cancel" || p.records < 3000; };
            const SheetImportResult r = ImportSheet(items, request, cancel);
            const bool untouched = items.RecordCount() == (how == "full at the end" ? 6000 : 1);
            items.Close();
            return std::to_string(int(r.run.outcome)) + "|" + std::to_string(r.run.records) + "|" + r.run.message +
                   (untouched ? "" : " [table changed]");
        };
        const rlim_t room = how == "full" ? 100 * 1024 : 1024 * 1024;
        const std::string outcome = how.startsWith("full") ? testsupport::RunInChild(run, {false, before.size() + room}) : run();
        const QString expected = QString::number(int(how == "cancel" ? Outcome::Cancelled : Outcome::Failed)) + "|0|" + message;
        QVERIFY2(QString::fromStdString(outcome).startsWith(expected), outcome.c_str());
        QVERIFY2(QString::fromStdString(outcome).endsWith("  The table is as it was before the import."), outcome.c_str());
        QCOMPARE(ReadAll(m_table), before);
        QCOMPARE(ReadAll(index), indexBefore);
    }

    void mapsThatCannotBeUsedAreRefused_data() {
        QTest::addColumn<std::vector<int>>("map");
        QTest::addColumn<QString>("message");
        QTest::newRow("none") << std::vector<int>{0, 0} << "No column goes to an item field.";
        QTest::newRow("empty") << std::vector<int>{} << "An import needs 1 to 1024 source columns.";
        QTest::newRow("twice") << std::vector<int>{11, 11} << "Two columns go to the item field Cost.";
        QTest::newRow("past the last field") << std::vector<int>{1, 23} << "Field number 23 is not an item field.";
        QTest::newRow("negative") << std::vector<int>{-1, 1} << "Field number -1 is not an item field.";
    }
    void mapsThatCannotBeUsedAreRefused() {
        QFETCH(std::vector<int>, map);
        QFETCH(QString, message);
        const QString csv = m_dir->filePath("two.csv");
        WriteAll(csv, "a,b\n1,2\n");
        SheetImportRequest request = RequestFor(csv);
        request.map = map;
        store::Table items;
        CreateItemTable(items, m_dir->path());
        const SheetImportResult result = ImportSheet(items, request, {});
        QCOMPARE(int(result.run.outcome), int(Outcome::Failed));
        QCOMPARE(QString::fromStdString(result.run.message), message);
        QCOMPARE(items.RecordCount(), 0u);
    }

    // The quoted export read by the spreadsheet import gives every value
    // the quoted import gives.
    void theTextExportReadsBackAsTheQuotedImportReadsIt() {
        store::Table source;
        CreateItemTable(source, m_dir->path(), "SOURCE");
        AddItems(source, {{{"Item", "Lamp, blue"}, {"Brand", "Acme"}, {"Quantity", "3"}, {"PurchDate", "02/29/24"},
                           {"Cost", "1234.56"}, {"RepCost", "0.01"}, {"Value", "-5"}, {"Warranty", "Yes"},
                           {"WarDate", "12/31/99"}, {"UserDef4", "last field"}},
                          {{"Item", std::string(40, 'w')}, {"Descriptio", "says \"hi\""}, {"Warranty", "No"}},
                          {{"Item", "empty amounts"}}});
        const QString text = m_dir->filePath("export.txt");
        ExportRequest out;
        out.path = text.toStdString();
        for (int p = 1; p <= store::kItemFieldCount; ++p) {
            out.positions.push_back(p);
            out.titles.push_back(std::string(store::SchemaAt(p).name));
        }
        QCOMPARE(int(ExportText(source, out, {}).outcome), int(Outcome::Completed));

        store::Table quoted, sheet;
        CreateItemTable(quoted, m_dir->path(), "QUOTED");
        CreateItemTable(sheet, m_dir->path(), "SHEET");
        ImportRequest in;
        in.path = out.path;
        in.map = MapByName(ExamineTextSource(in.path).names);
        QCOMPARE(ImportText(quoted, in, {}).records, 3u);
        const SheetImportRequest request = RequestFor(text);
        const SheetImportResult result = ImportSheet(sheet, request, {});
        QCOMPARE(Problems(result, request), QStringList());
        QCOMPARE(result.run.records, 3u);
        quoted.Close();
        sheet.Close();
        const QJsonArray a = DbfRead(m_dir->filePath("QUOTED.DBF"))["records"].toArray();
        QCOMPARE(DbfRead(m_dir->filePath("SHEET.DBF"))["records"].toArray(), a);
        QCOMPARE(a.size(), 3);
        QCOMPARE(a[0].toArray()[21].toString(), QString("last field"));
    }

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_table;
};

QTEST_GUILESS_MAIN(SheetImportTest)
#include "SheetImportTest.moc"
