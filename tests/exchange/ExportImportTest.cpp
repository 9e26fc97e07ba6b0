// The export and import engines without any window: the exact text a
// table exports to, what Python's csv module and dbfread make of our files,
// the round trip, the conversion rules, the runs that stop early and what
// they leave behind, the sample tables of other programs as sources, and
// files too large to hold in memory.

#include <QDir>
#include <QtEndian>
#include <QTemporaryDir>
#include <QtTest>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include "DateFormat.h"
#include "ExchangeTestSupport.h"
#include "ExportEngine.h"
#include "FileSizeLimit.h"
#include "ImportEngine.h"
#include "IndexFile.h"
#include "DbfFile.h"
#include "ItemTable.h"

using exchange::Outcome;
using exchange::RunResult;
using namespace exchangetest;

namespace {

const store::DateFormat kMonthDayYear4('/', store::DateFormat::Order::MonthDayYear, true);
const store::DateFormat kMonthDayYear2('/', store::DateFormat::Order::MonthDayYear, false);

std::vector<int> AllPositions() {
    std::vector<int> p;
    for (int i = 1; i <= store::kItemFieldCount; ++i) p.push_back(i);
    return p;
}

std::vector<std::string> DefaultTitles(const std::vector<int>& positions) {
    std::vector<std::string> titles;
    for (int p : positions) titles.emplace_back(store::SchemaAt(p).defaultTitle);
    return titles;
}

// Every field of every delivered record as text, one line per record.
QStringList Rows(store::Table& t) {
    QStringList rows;
    for (uint32_t recno : t.DeliveredRecords()) {
        QStringList fields;
        const store::RecordView v = t.ViewOf(recno);
        for (int f = 0; f < t.FieldCount(); ++f) fields << QString::fromStdString(v.Text(f));
        rows << fields.join('|');
    }
    return rows;
}

QStringList Entries(const QString& dir) {
    return QDir(dir).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
}

#if !defined(__SANITIZE_ADDRESS__)
// The sanitizer's allocator keeps freed memory aside, so peak memory says
// nothing there.
long PeakKilobytes() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}
#endif

// A dBASE III table of text fields as another program may write it:
// values given whole, padding included.
QByteArray TextFieldsDbf(const std::vector<std::pair<QByteArray, int>>& fields, const std::vector<QList<QByteArray>>& rows) {
    int recordLength = 1;
    for (const auto& f : fields) recordLength += f.second;
    const int headerLength = 32 + 32 * int(fields.size()) + 1;
    QByteArray b(32, '\0');
    b[0] = 0x03;
    b[1] = char(125);
    b[2] = 1;
    b[3] = 1;
    qToLittleEndian<quint32>(quint32(rows.size()), b.data() + 4);
    qToLittleEndian<quint16>(quint16(headerLength), b.data() + 8);
    qToLittleEndian<quint16>(quint16(recordLength), b.data() + 10);
    for (const auto& [name, length] : fields) {
        QByteArray d(32, '\0');
        d.replace(0, name.size(), name);
        d[11] = 'C';
        d[16] = char(length);
        b += d;
    }
    b += '\r';
    for (const QList<QByteArray>& row : rows) {
        b += ' ';
        for (const QByteArray& value : row) b += value;
    }
    b += char(0x1A);
    return b;
}

const std::vector<Item> kSampleItems = {
    {{"Item", "Camera \"Pro\""}, {"Brand", "Optix"}, {"Quantity", "2"}, {"PurchDate", "3/7/1996"},
     {"Cost", "249.5"}, {"Category", "Photo, Video"}, {"RepCost", "300.25"}, {"Warranty", "Yes"},
     {"WarDate", "2/29/2000"}, {"Value", "-0.5"}, {"Descriptio", "Café table, 2 m"}},
    {{"Item", "Heirloom clock"}, {"PurchDate", "12/31/1930"}, {"Quantity", "-3"}, {"Cost", "1234567.8912"},
     {"Warranty", "No"}, {"UserDef4", "last field"}},
    {{"Item", "   "}, {"Brand", "  padded"}},
};

}  // namespace

class ExportImportTest : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_dir;
    store::Table m_items;

    QString Path(const QString& name) const { return m_dir->filePath(name); }

    RunResult Export(bool dbf, const QString& name, const std::vector<int>& positions, bool titles = true,
                     const exchange::ProgressFn& progress = {}) {
        exchange::ExportRequest request;
        request.path = Path(name).toStdString();
        request.positions = positions;
        if (titles) request.titles = DefaultTitles(positions);
        return dbf ? exchange::ExportDbf(m_items, request, progress) : exchange::ExportText(m_items, request, progress);
    }

    // Imports into a fresh item table "TARGET" and returns the run.
    RunResult ImportInto(store::Table& target, bool dbf, const QString& path, std::vector<int> map,
                         bool skipFirst = true, const exchange::ProgressFn& progress = {}) {
        CreateItemTable(target, m_dir->path(), "TARGET");
        exchange::ImportRequest request;
        request.path = path.toStdString();
        request.map = std::move(map);
        request.skipFirst = skipFirst;
        return dbf ? exchange::ImportDbf(target, request, progress) : exchange::ImportText(target, request, progress);
    }

private slots:
    void init() {
        m_dir = std::make_unique<QTemporaryDir>();
        store::SetCurrentDateFormat(kMonthDayYear4);
        CreateItemTable(m_items, m_dir->path());
    }
    void cleanup() {
        m_items.Close();
        m_items.SetActiveIndex("");
        m_items.SetFiltered(false);
        m_items.SetFilter(nullptr);
        m_dir.reset();
        store::SetCurrentDateFormat(store::DateFormat());
    }

    // ---------------------------------------------------------------- export

    void exportsTheDelimitedFormat() {
        AddItems(m_items, kSampleItems);
        // Two-digit years on screen; the file keeps the century.
        store::SetCurrentDateFormat(kMonthDayYear2);
        const RunResult r = Export(false, "out.txt", {1, 11, 10, 9, 2});
        QCOMPARE(int(r.outcome), int(Outcome::Completed));
        QCOMPARE(r.records, uint64_t(3));
        QCOMPARE(ReadAll(Path("out.txt")),
                 QByteArray("\"Item\",\"Cost\",\"Purchase Date\",\"Quantity\",\"Brand\"\r\n"
                            "\"Camera \"\"Pro\"\"\",\"249.5\",\"3/7/1996\",\"2\",\"Optix\"\r\n"
                            "\"Heirloom clock\",\"1234567.8912\",\"12/31/1930\",\"-3\",\"\"\r\n"
                            "\"\",\"\",\"\",\"\",\"padded\"\r\n"));
        QCOMPARE(Entries(m_dir->path()), QStringList({"MASTER.DBF", "out.txt"}));
    }

    void emptyTableWritesOnlyTheTitleLine() {
        QCOMPARE(int(Export(false, "titles.txt", {1, 11}).outcome), int(Outcome::Completed));
        QCOMPARE(ReadAll(Path("titles.txt")), QByteArray("\"Item\",\"Cost\"\r\n"));
        QCOMPARE(int(Export(false, "nothing.txt", {1, 11}, false).outcome), int(Outcome::Completed));
        QVERIFY(QFile::exists(Path("nothing.txt")));
        QCOMPARE(ReadAll(Path("nothing.txt")), QByteArray());
    }

    void exportFollowsTheTableOrderAndFilter() {
        AddItems(m_items, {{{"Item", "b"}, {"Cost", "2"}}, {{"Item", "c"}, {"Cost", "30"}}, {{"Item", "a"}, {"Cost", "1"}}});
        m_items.AddIndex("NewIndex", "UPPER(Item)");
        m_items.SetActiveIndex("NewIndex");
        const int cost = m_items.NeedField("Cost");
        m_items.SetFilter([cost](const store::RecordView& v) { return v.Number(cost) < 10; });
        m_items.SetFiltered(true);
        QCOMPARE(int(Export(false, "few.txt", {1}, false).outcome), int(Outcome::Completed));
        QCOMPARE(ReadAll(Path("few.txt")), QByteArray("\"a\"\r\n\"b\"\r\n"));
        m_items.SetFiltered(false);
        QCOMPARE(int(Export(false, "all.txt", {1}, false).outcome), int(Outcome::Completed));
        QCOMPARE(ReadAll(Path("all.txt")), QByteArray("\"a\"\r\n\"b\"\r\n\"c\"\r\n"));
    }

    void csvModuleReadsTheTextExport() {
        AddItems(m_items, kSampleItems);
        QCOMPARE(int(Export(false, "csv.txt", AllPositions()).outcome), int(Outcome::Completed));
        const QJsonArray rows = CsvRows(Path("csv.txt"));
        QCOMPARE(rows.size(), 4);
        QCOMPARE(Strings(rows[0].toArray()).mid(0, 3), QStringList({"Item", "Brand", "Model"}));
        const QStringList first = Strings(rows[1].toArray());
        QCOMPARE(first.size(), store::kItemFieldCount);
        QCOMPARE(first[0], QString("Camera \"Pro\""));
        QCOMPARE(first[5], QString("Café table, 2 m"));
        QCOMPARE(first[9], QString("3/7/1996"));
        QCOMPARE(first[10], QString("249.5"));
        QCOMPARE(first[11], QString("Photo, Video"));
        QCOMPARE(first[14], QString("2/29/2000"));
        QCOMPARE(first[17], QString("-0.5"));
        QCOMPARE(Strings(rows[2].toArray()).last(), QString("last field"));
        QCOMPARE(Strings(rows[3].toArray())[0], QString());
    }

    void dbfreadReadsTheDbfExport() {
        AddItems(m_items, kSampleItems);
        // The new table holds the chosen fields in the chosen order.
        QCOMPARE(int(Export(true, "new.DBF", {22, 1, 9, 11, 10, 14}).outcome), int(Outcome::Completed));
        const QJsonObject t = DbfRead(Path("new.DBF"));
        QStringList fields;
        for (const auto& f : t["fields"].toArray()) {
            const QJsonArray a = f.toArray();
            fields << QString("%1 %2 %3,%4").arg(a[0].toString(), a[1].toString()).arg(a[2].toInt()).arg(a[3].toInt());
        }
        QCOMPARE(fields, QStringList({"UserDef4 C 40,0", "Item C 40,0", "Quantity N 11,0", "Cost N 20,4",
                                      "PurchDate D 8,0", "Warranty C 3,0"}));
        const QJsonArray records = t["records"].toArray();
        QCOMPARE(records.size(), 3);
        QCOMPARE(Strings(records[0].toArray()),
                 QStringList({"", "Camera \"Pro\"", "2", "249.5", "19960307", "Yes"}));
        QCOMPARE(Strings(records[1].toArray()),
                 QStringList({"last field", "Heirloom clock", "-3", "1234567.8912", "19301231", "No"}));
        QCOMPARE(Strings(records[2].toArray()), QStringList({"", "", "", "", "", ""}));
        QCOMPARE(Entries(m_dir->path()), QStringList({"MASTER.DBF", "new.DBF"}));
    }

    void dbfExportOfATableWithOtherFieldSizes() {
        // An item table another program made: the same names, other sizes
        // and another code page. The new table has the program's own.
        std::vector<store::FieldDef> defs = store::ItemTableFieldDefs();
        defs[0].length = 12;                            // Item
        defs[8] = {"QUANTITY", 'N', 4, 0};              // Quantity
        defs[10] = {"COST", 'N', 9, 2};                 // Cost
        defs[9] = {"PurchDate", 'C', 10, 0};            // a date kept as text
        store::DbfFile::Create(Path("OTHER.DBF").toStdString(), defs, 850);
        store::Table other;
        store::PointAt(other, Path("OTHER.DBF").toStdString());
        other.Open();
        AddItems(other, {{{"Item", "Café chair"}, {"Quantity", "12"}, {"Cost", "19.99"}, {"PurchDate", "3/7/1996"}}});
        exchange::ExportRequest request{Path("mine.DBF").toStdString(), {1, 9, 11, 10}, {}};
        const RunResult r = exchange::ExportDbf(other, request, {});
        QVERIFY2(r.outcome == Outcome::Completed, r.message.c_str());
        const QJsonObject t = DbfRead(Path("mine.DBF"));
        QCOMPARE(t["fields"].toArray()[0].toArray()[2].toInt(), 40);
        QCOMPARE(t["fields"].toArray()[2].toArray()[3].toInt(), 4);
        QCOMPARE(Strings(t["records"].toArray()[0].toArray()), QStringList({"Café chair", "12", "19.99", "19960307"}));

        // In the new table's own code page, with only the first field kept
        // otherwise (a date as text): still converted, not copied as it lies.
        std::vector<store::FieldDef> dateAsText = store::ItemTableFieldDefs();
        dateAsText[9] = {"PurchDate", 'C', 10, 0};
        store::DbfFile::Create(Path("TEXTDATE.DBF").toStdString(), dateAsText, 1252);
        store::Table table;
        store::PointAt(table, Path("TEXTDATE.DBF").toStdString());
        table.Open();
        AddItems(table, {{{"Item", "Café chair"}, {"PurchDate", "3/7/1996"}}});
        const exchange::ExportRequest dateFirst{Path("dated.DBF").toStdString(), {10, 1}, {}};
        QCOMPARE(int(exchange::ExportDbf(table, dateFirst, {}).outcome), int(Outcome::Completed));
        QCOMPARE(Strings(DbfRead(Path("dated.DBF"))["records"].toArray()[0].toArray()),
                 QStringList({"19960307", "Café chair"}));
    }

    void dbfExportReplacesATableAndItsStaleIndex() {
        AddItems(m_items, {{{"Item", "new"}}});
        store::Table old;
        CreateItemTable(old, m_dir->path(), "OLD");
        AddItems(old, {{{"Item", "old one"}}, {{"Item", "old two"}}});
        old.AddIndex("ByItem", "Item");
        old.Close();
        QVERIFY(QFile::exists(Path("OLD.MDX")));
        QCOMPARE(int(Export(true, "OLD.DBF", {1}).outcome), int(Outcome::Completed));
        QVERIFY(!QFile::exists(Path("OLD.MDX")));
        store::Table reread;
        store::PointAt(reread, Path("OLD.DBF").toStdString());
        reread.Open();
        QCOMPARE(reread.IndexNames().size(), size_t(0));
        QCOMPARE(Column(reread, "Item"), QStringList{"new"});
    }

    void aStoppedExportLeavesNothingBehind_data() {
        QTest::addColumn<bool>("dbf");
        QTest::newRow("text") << false;
        QTest::newRow("dBASE") << true;
    }
    void aStoppedExportLeavesNothingBehind() {
        QFETCH(bool, dbf);
        std::vector<Item> many(5000, Item{{"Item", "thing"}, {"Cost", "1.5"}});
        many.back() = Item{{"Item", "last"}, {"Cost", "2"}};
        AddItems(m_items, many);

        // Written in blocks: every record arrives, the last one too, and
        // progress is told at the start, after each block and at the end.
        QList<uint64_t> told;
        QCOMPARE(int(Export(dbf, dbf ? "all.DBF" : "all.txt", {1, 11}, true,
                            [&](const exchange::Progress& p) {
                                told << p.done;
                                return p.total == 5000;
                            })
                         .outcome),
                 int(Outcome::Completed));
        QCOMPARE(told, (QList<uint64_t>{0, 2048, 4096, 5000}));
        if (dbf) {
            store::DbfFile all;
            all.Open(Path("all.DBF").toStdString(), store::DbfFile::Access::ReadOnly);
            QCOMPARE(all.RecordCount(), 5000u);
            QCOMPARE(std::string(all.Record(4999) + 1, 5), std::string("last "));
            QCOMPARE(std::string(all.Record(4998) + 1, 6), std::string("thing "));
        } else {
            const QList<QByteArray> lines = ReadAll(Path("all.txt")).split('\n');
            QCOMPARE(lines.size(), 5002);  // the titles, 5000 records, nothing after the last line end
            QCOMPARE(lines[5000], QByteArray("\"last\",\"2\"\r"));
        }
        QVERIFY(QFile::remove(Path(dbf ? "all.DBF" : "all.txt")));

        const QString name = dbf ? "keep.DBF" : "keep.txt";
        if (dbf) {
            store::Table keep;
            CreateItemTable(keep, m_dir->path(), "keep");
        } else {
            WriteAll(Path(name), "old content");
        }
        const QByteArray before = ReadAll(Path(name));
        const QStringList files = Entries(m_dir->path());

        // Cancelled halfway: the old file is as it was, no temporary file.
        int reports = 0;
        const RunResult cancelled =
            Export(dbf, name, {1, 11}, true, [&](const exchange::Progress& p) { return ++reports < 2 || p.done == 0; });
        QCOMPARE(int(cancelled.outcome), int(Outcome::Cancelled));
        QCOMPARE(ReadAll(Path(name)), before);
        QCOMPARE(Entries(m_dir->path()), files);

        // A target that cannot be replaced (a folder of that name) fails
        // after the whole file was written: the temporary file goes too.
        QVERIFY(QDir(m_dir->path()).mkdir(dbf ? "folder.DBF" : "folder.txt"));
        const RunResult failed = Export(dbf, dbf ? "folder.DBF" : "folder.txt", {1});
        QCOMPARE(int(failed.outcome), int(Outcome::Failed));
        QVERIFY2(failed.message.find("cannot be replaced") != std::string::npos, failed.message.c_str());
        QCOMPARE(Entries(m_dir->path()), files);

        // A folder that does not exist: nothing is created.
        const RunResult nowhere = Export(dbf, dbf ? "missing/x.DBF" : "missing/x.txt", {1});
        QCOMPARE(int(nowhere.outcome), int(Outcome::Failed));
        QVERIFY2(nowhere.message.find("cannot be created") != std::string::npos, nowhere.message.c_str());
    }

    // Text written to a descriptor is the text the file gets, byte for byte.
    void anExportToADescriptorIsTheFilesText() {
        AddItems(m_items, kSampleItems);
        exchange::ExportRequest request;
        request.positions = {1, 10, 11};
        request.titles = DefaultTitles(request.positions);
        const int fd = ::open(Path("streamed.txt").toLocal8Bit().constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        QVERIFY(fd >= 0);
        const RunResult streamed = exchange::ExportTextTo(fd, m_items, request, {});
        ::close(fd);
        QCOMPARE(int(streamed.outcome), int(Outcome::Completed));
        QCOMPARE(int(Export(false, "file.txt", request.positions).outcome), int(Outcome::Completed));
        QFile a(Path("streamed.txt")), b(Path("file.txt"));
        QVERIFY(a.open(QIODevice::ReadOnly) && b.open(QIODevice::ReadOnly));
        const QByteArray text = b.readAll();
        QVERIFY(text.count('\n') > 1);
        QCOMPARE(a.readAll(), text);
    }

    // Standard output that cannot take the text: the reason, not a loop.
    void anExportThatCannotBeWrittenSaysWhy() {
        AddItems(m_items, kSampleItems);
        const int fd = ::open("/dev/full", O_WRONLY);
        QVERIFY(fd >= 0);
        exchange::ExportRequest request;
        request.positions = {1};
        const RunResult r = exchange::ExportTextTo(fd, m_items, request, {});
        ::close(fd);
        QCOMPARE(int(r.outcome), int(Outcome::Failed));
        QCOMPARE(r.message, std::string("The export could not be written: No space left on device."));
    }

    // An export, backup or restore killed while it wrote left its hidden
    // temporary file in the folder for good; the next one writing there
    // removes those of processes that no longer run.
    void killedExportLeavesNoTemporaryFileForGood() {
        AddItems(m_items, kSampleItems);
        const pid_t gone = ::fork();
        if (gone == 0) ::_exit(0);
        ::waitpid(gone, nullptr, 0);
        const QString stale = QString(".out.txt.%1-0.part").arg(gone);
        const QString staleTable = QString(".MASTER.DBF.%1-3.part").arg(gone);
        const QString running = QString(".out.txt.%1-1.part").arg(::getppid());  // still running
        for (const QString& name : {stale, staleTable, running}) WriteAll(Path(name), "half a file");
        QCOMPARE(int(Export(false, "out.txt", {1}).outcome), int(Outcome::Completed));
        const QStringList left = QDir(m_dir->path()).entryList(QDir::Files | QDir::Hidden);
        QVERIFY(!left.contains(stale));
        QVERIFY(!left.contains(staleTable));
        QVERIFY(left.contains(running));
    }

    void exportRefusesToReplaceTheItemTable() {
        AddItems(m_items, {{{"Item", "precious"}}});
        for (bool dbf : {false, true}) {
            const RunResult r = Export(dbf, "MASTER.DBF", {1});
            QCOMPARE(int(r.outcome), int(Outcome::Failed));
            QVERIFY2(r.message.find("open item table") != std::string::npos, r.message.c_str());
        }
        m_items.Close();
        m_items.Open();
        QCOMPARE(Column(m_items, "Item"), QStringList{"precious"});
        QCOMPARE(m_items.FieldCount(), store::kItemFieldCount);
    }

    void dbfExportRefusesATableAnotherProgramHolds() {
        store::Table held;
        CreateItemTable(held, m_dir->path(), "HELD");
        const RunResult r = Export(true, "HELD.DBF", {1});
        QCOMPARE(int(r.outcome), int(Outcome::Failed));
        QVERIFY2(r.message.find("in use") != std::string::npos, r.message.c_str());
        QCOMPARE(held.FieldCount(), store::kItemFieldCount);
    }

    // ------------------------------------------------------------ round trip

    void roundTripGivesBackTheValues_data() {
        QTest::addColumn<bool>("dbf");
        QTest::addColumn<bool>("fourDigitYears");
        QTest::newRow("text, mm/dd/yy on screen") << false << false;
        QTest::newRow("text, mm/dd/yyyy") << false << true;
        QTest::newRow("dBASE") << true << false;
    }
    void roundTripGivesBackTheValues() {
        QFETCH(bool, dbf);
        QFETCH(bool, fourDigitYears);
        AddItems(m_items, kSampleItems);
        store::SetCurrentDateFormat(fourDigitYears ? kMonthDayYear4 : kMonthDayYear2);
        // An empty number comes back as 0; leading blanks of text do not
        // survive the text format.
        QStringList expected;
        for (const QString& row : Rows(m_items)) {
            QStringList fields = row.split('|');
            for (int p = 1; p <= store::kItemFieldCount; ++p) {
                const int type = store::SchemaAt(p).typeCode;
                if ((type == 2 || type == 3) && fields[p - 1].isEmpty()) fields[p - 1] = "0";
                if (!dbf && type == 1) fields[p - 1] = fields[p - 1].trimmed();
            }
            expected << fields.join('|');
        }
        const QString name = dbf ? "trip.DBF" : "trip.txt";
        QCOMPARE(int(Export(dbf, name, AllPositions()).outcome), int(Outcome::Completed));

        store::Table back;
        std::vector<int> map = AllPositions();
        if (dbf) {
            const auto ex = exchange::ExamineDbfSource(Path(name).toStdString());
            QVERIFY(ex.accepted);
            map = exchange::MapByName(ex.names);
        }
        const RunResult r = ImportInto(back, dbf, Path(name), map);
        QVERIFY2(r.outcome == Outcome::Completed, r.message.c_str());
        QCOMPARE(r.records, uint64_t(3));
        QCOMPARE(Rows(back), expected);
        QCOMPARE(Column(back, "Brand").last(), dbf ? QString("  padded") : QString("padded"));
    }

    // ---------------------------------------------------------------- import

    void convertsEachKindOfField_data() {
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("value");
        QTest::addColumn<QString>("stored");
        QTest::newRow("text as given, not trimmed") << "Item" << "  lead and trail " << "  lead and trail";
        QTest::newRow("text cut to its width") << "Brand" << QString(25, 'b') << QString(20, 'b');
        QTest::newRow("text that exactly fills its field") << "Warranty" << "Yes" << "Yes";
        QTest::newRow("quantity with a word after it") << "Quantity" << "3 abc" << "3";
        QTest::newRow("empty quantity") << "Quantity" << "" << "0";
        QTest::newRow("negative quantity") << "Quantity" << "-2" << "-2";
        QTest::newRow("sign dropped before a stray character") << "Quantity" << "-2x" << "2";
        QTest::newRow("hexadecimal quantity") << "Quantity" << "$1F" << "31";
        QTest::newRow("lower-case hexadecimal quantity") << "Quantity" << "$ff" << "255";
        QTest::newRow("quantity that fills its field") << "Quantity" << "9999" << "9999";
        QTest::newRow("quantity with zeros") << "Quantity" << "100" << "100";
        QTest::newRow("quantity without digits") << "Quantity" << "many" << "0";
        QTest::newRow("empty float") << "Cost" << "" << "0";
        QTest::newRow("float with exponent") << "Cost" << "1.5e3" << "1500";
        QTest::newRow("float with blanks and sign") << "Value" << " -12.25 " << "-12.25";
        QTest::newRow("date") << "PurchDate" << "3/7/1996" << "3/7/1996";
        QTest::newRow("leap day") << "WarDate" << "2/29/2000" << "2/29/2000";
        QTest::newRow("two-digit year") << "PurchDate" << "3/7/96" << "3/7/1996";
        QTest::newRow("date with a letter") << "PurchDate" << "Mar/7/1996" << "";
        QTest::newRow("date ending in the first letter") << "PurchDate" << "3/7/1996a" << "";
        QTest::newRow("date ending in the first capital") << "PurchDate" << "3/7/1996A" << "";
        QTest::newRow("date ending in the last letter") << "PurchDate" << "3/7/1996z" << "";
        QTest::newRow("date ending in the last capital") << "PurchDate" << "3/7/1996Z" << "";
        QTest::newRow("date without the separator") << "PurchDate" << "3-7-1996" << "";
        QTest::newRow("date title") << "WarDate" << "Warranty Date" << "";
    }
    void convertsEachKindOfField() {
        QFETCH(QString, field);
        QFETCH(QString, value);
        QFETCH(QString, stored);
        QByteArray line = "\"x\",\"";
        line += value.toUtf8().replace("\"", "\"\"") + "\"\r\n";
        WriteAll(Path("one.txt"), line);
        store::Table back;
        const RunResult r =
            ImportInto(back, false, Path("one.txt"), {1, store::SchemaPosition(field.toStdString())}, false);
        QVERIFY2(r.outcome == Outcome::Completed, r.message.c_str());
        QCOMPARE(Column(back, field.toUtf8().constData()), QStringList{stored});
    }

    // A number that fills an integer reads whole; the digit that would
    // overflow it ends the number like a stray character.
    void leadingIntegersAtTheirLimits_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("value");
        QTest::newRow("largest") << "2147483647" << INT_MAX;
        QTest::newRow("smallest") << "-2147483648" << INT_MIN;
        QTest::newRow("one past the largest") << "2147483648" << 214748364;
        QTest::newRow("one below the smallest") << "-2147483649" << 214748364;
        QTest::newRow("hexadecimal wraps to negative") << "$FFFFFFFF" << -1;
        QTest::newRow("nine hexadecimal digits") << "$100000000" << 0x10000000;
        QTest::newRow("blanks and a plus sign") << "  +7" << 7;
    }
    void leadingIntegersAtTheirLimits() {
        QFETCH(QString, text);
        QFETCH(int, value);
        QCOMPARE(exchange::ReadLeadingInteger(text.toStdString()), value);
    }

    void linesFillTheLeadingFields() {
        // A short line, more source fields than item fields, a source
        // field left unused, a trailing line end and an empty middle line.
        QByteArray text = "\"t1\",\"t2\",\"t3\"";
        for (int i = 4; i <= 24; ++i) text += ",\"t" + QByteArray::number(i) + "\"";
        text += "\r\n\"one\",\"2\"\r\n\r\n\"two\"" + QByteArray(",\"5\"").repeated(23) + "\r\n";
        WriteAll(Path("wide.txt"), text);
        const auto ex = exchange::ExamineTextSource(Path("wide.txt").toStdString());
        QVERIFY(ex.accepted);
        QCOMPARE(ex.names.size(), size_t(24));
        std::vector<int> map = AllPositions();
        map[1] = 0;  // the second source field is not used
        map.push_back(0);
        map.push_back(0);
        store::Table back;
        const RunResult r = ImportInto(back, false, Path("wide.txt"), map);
        QVERIFY2(r.outcome == Outcome::Completed, r.message.c_str());
        QCOMPARE(Column(back, "Item"), QStringList({"one", "two"}));
        QCOMPARE(Column(back, "Brand"), QStringList({"", ""}));
        QCOMPARE(Column(back, "Model"), QStringList({"", "5"}));
        QCOMPARE(Column(back, "UserDef4"), QStringList({"", "5"}));
        QCOMPARE(Column(back, "Quantity"), QStringList({"", "5"}));
        QCOMPARE(Column(back, "PurchDate"), QStringList({"", ""}));
        // The short line is read, and named as off the format; the empty one is no line at all.
        QVERIFY2(r.notice.ends_with(": line 2."), r.notice.c_str());
    }

    // A file whose text is quoted and numbers are not, as spreadsheets
    // write it, is read by the rules all the same, and values land in other
    // fields; a line break inside quotes makes an item of its own. Every line
    // off the format is counted and the first are named, however the run
    // ends; the import used to end with "Import Complete." alone.
    void linesOffTheFormatAreCounted() {
        WriteAll(Path("sheet.txt"), "\"Item\",\"Location\",\"Quantity\"\r\n"
                                    "\"Lamp\",1,12/31/00,0.01,\"multi\"\r\n"
                                    "\"Rug\",\"Hall\",\"2\"\r\n"
                                    "\"Note\",\"Attic\r\n"
                                    "Upstairs\"\r\n"
                                    "\"Vase\",\"Den\",\"1\"\r\n\r\n");
        store::Table back;
        RunResult r = ImportInto(back, false, Path("sheet.txt"), {1, 5, 9});
        QCOMPARE(int(r.outcome), int(Outcome::Completed));
        QCOMPARE(r.records, uint64_t(5));
        QCOMPARE(r.notice, std::string("3 lines do not follow the format (every value in double quotes, separated by "
                                       "commas, as many values as the first line), so their values may be in the "
                                       "wrong fields: lines 2, 4 and 5."));
        QCOMPARE(Column(back, "Item"), QStringList({"Lamp", "Rug", "Note", "Upstairs", "Vase"}));
        QCOMPARE(Column(back, "Location"), QStringList({"1,12/31/00,0.01,multi", "Hall", "Attic", "", "Den"}));

        // Beyond five lines the rest are counted; a run that stops says it too.
        QByteArray many = "\"Item\",\"Cost\"\r\n";
        for (int i = 0; i < 8; ++i) many += "\"a\"," + QByteArray::number(i) + "\r\n";
        WriteAll(Path("many.txt"), many + "\"b\",\"x\"\r\n");
        r = ImportInto(back, false, Path("many.txt"), {1, 11});
        QCOMPARE(int(r.outcome), int(Outcome::Failed));
        QCOMPARE(r.message, std::string("The import stopped at line 10, field 2 (Cost): \"x\" is not a number.  8 "
                                        "records were imported before it.  8 lines do not follow the format (every "
                                        "value in double quotes, separated by commas, as many values as the first "
                                        "line), so their values may be in the wrong fields: lines 2, 3, 4, 5, 6 and 3 "
                                        "more."));
        // One line, and a file in the format: nothing to tell.
        WriteAll(Path("one.txt"), "\"Item\"\r\nLamp\r\n");
        QCOMPARE(ImportInto(back, false, Path("one.txt"), {1}).notice,
                 std::string("1 line does not follow the format (every value in double quotes, separated by commas, "
                             "as many values as the first line), so its values may be in the wrong fields: line 2."));
        // A first line skipped as titles is looked at too.
        WriteAll(Path("titles.txt"), "Item,Location\r\n\"Lamp\",\"Hall\"\r\n");
        r = ImportInto(back, false, Path("titles.txt"), {1, 5});
        QCOMPARE(r.records, uint64_t(1));
        QCOMPARE(r.notice, std::string("1 line does not follow the format (every value in double quotes, separated by "
                                       "commas, as many values as the first line), so its values may be in the wrong "
                                       "fields: line 1."));
        AddItems(m_items, kSampleItems);
        QCOMPARE(int(Export(false, "good.txt", AllPositions()).outcome), int(Outcome::Completed));
        QCOMPARE(ImportInto(back, false, Path("good.txt"), AllPositions()).notice, std::string());
    }

    // GDAL (the shapefile library under it) fills an empty number with "*",
    // which other readers take as empty; the import stopped at the first
    // one ("... is not a number.").
    void emptyNumbersOfGdalAreEmpty() {
        WriteAll(Path("gdal.csv"), "Item,Cost,Quantity,Value\nLamp,,,\nChair,12.5,2,\n");
        WriteAll(Path("gdal.csvt"), "\"String\",\"Real\",\"Integer\",\"Real\"\n");
        QProcess ogr;
        ogr.start("ogr2ogr", {"-f", "ESRI Shapefile", Path("gdal.dbf"), Path("gdal.csv")});
        QVERIFY2(ogr.waitForFinished(60000) && ogr.exitCode() == 0, "ogr2ogr (Debian gdal-bin) must run");
        QVERIFY(ReadAll(Path("gdal.dbf")).contains(QByteArray(24, '*')));
        const auto ex = exchange::ExamineDbfSource(Path("gdal.dbf").toStdString());
        QVERIFY2(ex.accepted, ex.message.c_str());
        store::Table back;
        const RunResult r = ImportInto(back, true, Path("gdal.dbf"), exchange::MapByName(ex.names));
        QVERIFY2(r.outcome == Outcome::Completed, r.message.c_str());
        QCOMPARE(Column(back, "Item"), QStringList({"Lamp", "Chair"}));
        QCOMPARE(Column(back, "Cost"), QStringList({"0", "12.5"}));
        QCOMPARE(Column(back, "Quantity"), QStringList({"0", "2"}));
        QCOMPARE(Column(back, "Value"), QStringList({"0", "0"}));
    }

    // Text fields another program padded with zero bytes, or wider than the
    // item table's with blanks beyond what it holds: the values arrive as
    // they read.
    void paddingOfOtherProgramsIsNotImported() {
        const QByteArray item38(38, 'x');
        WriteAll(Path("PADDED.DBF"),
                 TextFieldsDbf({{"ITEM", 60}, {"BRAND", 9}},
                               {{QByteArray("Lamp") + QByteArray(56, '\0'), QByteArray("Orvane") + QByteArray(3, '\0')},
                                {item38 + QByteArray(22, ' '), QByteArray("Brisk") + QByteArray(4, ' ')}}));
        const auto ex = exchange::ExamineDbfSource(Path("PADDED.DBF").toStdString());
        QVERIFY2(ex.accepted, ex.message.c_str());
        store::Table back;
        const RunResult r = ImportInto(back, true, Path("PADDED.DBF"), exchange::MapByName(ex.names));
        QVERIFY2(r.outcome == Outcome::Completed, r.message.c_str());
        QCOMPARE(Column(back, "Item"), QStringList({"Lamp", QString(item38)}));
        QCOMPARE(Column(back, "Brand"), QStringList({"Orvane", "Brisk"}));
        for (uint32_t recno : back.DeliveredRecords())
            for (const char* name : {"Item", "Brand"}) {
                const std::string_view raw = back.ViewOf(recno).Raw(back.NeedField(name));
                QVERIFY2(raw.find('\0') == std::string_view::npos, name);
            }
    }

    // A value of a dBASE source the item table cannot hold stops the run at
    // its record and names the field it was going to.
    void aDbfValueTooLargeNamesItsRecordAndField() {
        store::Table source;
        source.SetDirectory(m_dir->path().toStdString());
        source.SetTableName("WIDE.DBF");
        source.Create({store::FieldDef::String("Item", 30), {"Cost", 'N', 20, 2}});
        source.Open();
        for (const auto& [item, cost] : {std::pair{"Lamp", 12.5}, std::pair{"Safe", 1e15}}) {
            source.Append();
            source.SetText("Item", item);
            source.SetNumber(source.NeedField("Cost"), cost);
            source.Post();
        }
        source.Close();
        const auto ex = exchange::ExamineDbfSource(Path("WIDE.DBF").toStdString());
        QVERIFY2(ex.accepted, ex.message.c_str());
        store::Table back;
        const RunResult r = ImportInto(back, true, Path("WIDE.DBF"), exchange::MapByName(ex.names));
        QCOMPARE(int(r.outcome), int(Outcome::Failed));
        QCOMPARE(QString::fromStdString(r.message),
                 QString("The import stopped at record 2, field 2 (Cost): The number 1000000000000000 is too large for "
                         "field Cost.  1 record was imported before it."));
        QCOMPARE(Column(back, "Item"), QStringList{"Lamp"});
        // A text field whose value is no number, going to an amount.
        back.Close();
        store::Table text;
        text.SetDirectory(m_dir->path().toStdString());
        text.SetTableName("TEXT.DBF");
        text.Create({store::FieldDef::String("Item", 30), store::FieldDef::String("Cost", 10)});
        text.Open();
        for (const auto& [item, cost] : {std::pair{"Lamp", "12.5"}, std::pair{"Safe", "abc"}}) {
            text.Append();
            text.SetText("Item", item);
            text.SetText("Cost", cost);
            text.Post();
        }
        text.Close();
        store::Table again;
        const RunResult fromText = ImportInto(again, true, Path("TEXT.DBF"), exchange::MapByName({"Item", "Cost"}));
        QCOMPARE(int(fromText.outcome), int(Outcome::Failed));
        QCOMPARE(QString::fromStdString(fromText.message),
                 QString("The import stopped at record 2, field 2 (Cost): \"abc\" is not a number.  1 record was "
                         "imported before it."));
    }

    void withoutSkipFirstTheTitlesAreARecord() {
        AddItems(m_items, {kSampleItems[0]});
        const std::vector<int> fields = {1, 9, 10, 15, 14};
        QCOMPARE(int(Export(false, "titled.txt", fields).outcome), int(Outcome::Completed));
        store::Table back;
        const RunResult r = ImportInto(back, false, Path("titled.txt"), fields, false);
        QVERIFY2(r.outcome == Outcome::Completed, r.message.c_str());
        QCOMPARE(r.records, uint64_t(2));
        QCOMPARE(Column(back, "Item"), QStringList({"Item", "Camera \"Pro\""}));
        QCOMPARE(Column(back, "Quantity"), QStringList({"0", "2"}));
        QCOMPARE(Column(back, "PurchDate"), QStringList({"", "3/7/1996"}));
        QCOMPARE(Column(back, "WarDate"), QStringList({"", "2/29/2000"}));
        QCOMPARE(Column(back, "Warranty"), QStringList({"War", "Yes"}));
        // A float title is no number: with floats chosen the first line stops the run.
        QCOMPARE(int(Export(false, "costs.txt", {1, 11}).outcome), int(Outcome::Completed));
        const RunResult costs = ImportInto(back, false, Path("costs.txt"), {1, 11}, false);
        QCOMPARE(QString::fromStdString(costs.message),
                 QString("The import stopped at line 1, field 2 (Cost): \"Cost\" is not a number.  No records were "
                         "imported."));
    }

    void readsWindows1252Text() {
        WriteAll(Path("legacy.txt"), "\"Item\"\r\n\"Caf\xE9 \x80\"\r\n");
        store::Table back;
        const RunResult r = ImportInto(back, false, Path("legacy.txt"), {1});
        QVERIFY2(r.outcome == Outcome::Completed, r.message.c_str());
        QCOMPARE(Column(back, "Item"), QStringList{QString("Café €")});
    }

    void badValuesStopTheImport_data() {
        QTest::addColumn<QByteArray>("badLine");
        QTest::addColumn<QString>("message");
        const QString kept = "  2 records were imported before it.";
        QTest::newRow("float that is not a number")
            << QByteArray("\"c\",\"12,50\",\"1/1/2000\"")
            << "The import stopped at line 4, field 2 (Cost): \"12,50\" is not a number." + kept;
        QTest::newRow("date that is no date")
            << QByteArray("\"c\",\"1\",\"2/30/1996\"")
            << "The import stopped at line 4, field 3 (Purchase Date): \"2/30/1996\" is not a valid date in the "
               "format mm/dd/yyyy." + kept;
        QTest::newRow("character the code page lacks")
            << QString("\"Жук\",\"1\",\"\"").toUtf8()
            << "The import stopped at line 4, field 1 (Item): The character \"Ж\" in field Item cannot be stored in "
               "this table (code page 1252)." + kept;
        QTest::newRow("value over 255 characters")
            << QByteArray("\"c\",\"" + QByteArray(300, '1') + "\"")
            << "The import stopped at line 4, field 2 (Cost): the value is longer than 255 characters." + kept;
        QTest::newRow("values beyond the first line's")
            << QByteArray("\"c\",\"1\",\"\",\"extra\"")
            << "The import stopped at line 4: it holds more than the 3 values of the first line." + kept;
        QTest::newRow("undoubled quote") << QByteArray("\"c\"d\",\"1\"")
                                         << "The import stopped at line 4, field 1 (Item): a double quote inside "
                                            "the value is not doubled." + kept;
        QTest::newRow("number too large for its field")
            << QByteArray("\"c\",\"1e30\",\"\"")
            << "The import stopped at line 4, field 2 (Cost): The number 1e+30 is too "
               "large for field Cost." + kept;
    }
    void badValuesStopTheImport() {
        QFETCH(QByteArray, badLine);
        QFETCH(QString, message);
        WriteAll(Path("bad.txt"), "\"Item\",\"Cost\",\"Bought\"\r\n\"a\",\"1\",\"\"\r\n\"b\",\"2\",\"\"\r\n" + badLine +
                                      "\r\n\"after\",\"3\",\"\"\r\n");
        store::Table back;
        const RunResult r = ImportInto(back, false, Path("bad.txt"), {1, 11, 10});
        QCOMPARE(int(r.outcome), int(Outcome::Failed));
        QCOMPARE(QString::fromStdString(r.message), message);
        QCOMPARE(r.records, uint64_t(2));
        // The records before it stay; the one being read does not.
        back.Close();
        back.Open();
        QCOMPARE(Column(back, "Item"), QStringList({"a", "b"}));
    }

    void cancelledImportKeepsWhatItImported() {
        QByteArray text = "\"Item\"\r\n";
        for (int i = 0; i < 10000; ++i) text += "\"item " + QByteArray::number(i) + "\"\r\n";
        WriteAll(Path("long.txt"), text);
        store::Table back;
        int reports = 0;
        const RunResult r =
            ImportInto(back, false, Path("long.txt"), {1}, true, [&](const exchange::Progress&) { return ++reports < 2; });
        QCOMPARE(int(r.outcome), int(Outcome::Cancelled));
        QVERIFY(r.records > 0 && r.records < 10000);
        QCOMPARE(QString::fromStdString(r.message),
                 QString("The import was cancelled.  %1 records were imported.").arg(r.records));
        back.Close();
        back.Open();
        QCOMPARE(uint64_t(back.RecordCount()), r.records);
        QCOMPARE(Column(back, "Item").last(), QString("item %1").arg(r.records - 1));
    }

    // From either kind of source: refused before anything is read, none
    // said to be imported.
    void importNeedsAWritableTable_data() {
        QTest::addColumn<bool>("dbf");
        QTest::newRow("text") << false;
        QTest::newRow("dBASE") << true;
    }
    void importNeedsAWritableTable() {
        QFETCH(bool, dbf);
        WriteAll(Path("a.txt"), "\"Item\"\r\n\"x\"\r\n");
        store::Table source;
        CreateItemTable(source, m_dir->path(), "SOURCE");
        source.Append();
        source.SetText("Item", "x");
        source.Post();
        source.Close();
        store::Table readOnly;
        CreateItemTable(readOnly, m_dir->path(), "RO");
        readOnly.Close();
        readOnly.SetReadOnly(true);
        readOnly.Open();
        exchange::ImportRequest request;
        request.path = Path(dbf ? "SOURCE.DBF" : "a.txt").toStdString();
        request.map = {1};
        const RunResult r = dbf ? exchange::ImportDbf(readOnly, request, {}) : exchange::ImportText(readOnly, request, {});
        QCOMPARE(int(r.outcome), int(Outcome::Failed));
        QVERIFY2(r.message.find("read-only") != std::string::npos, r.message.c_str());
        QCOMPARE(r.records, uint64_t(0));
        QCOMPARE(readOnly.RecordCount(), 0u);
    }

    // A disk with room for a new table's header and no record: the dBASE
    // export stops at its first record, and the file it would replace is
    // left as it was.
    void aFullDiskStopsTheDbaseExportAtItsFirstRecord() {
        AddItems(m_items, kSampleItems);
        WriteAll(Path("out.dbf"), "kept");
        RunResult r;
        {
            const testsupport::FileSizeLimit limit(120);  // a header of two fields, not a record
            r = Export(true, "out.dbf", {1, 11});
        }
        QCOMPARE(int(r.outcome), int(Outcome::Failed));
        QVERIFY2(r.message.rfind("The export stopped at record 1: ", 0) == 0, r.message.c_str());
        QFile kept(Path("out.dbf"));
        QVERIFY(kept.open(QIODevice::ReadOnly));
        QCOMPARE(kept.readAll(), QByteArray("kept"));
    }

    // A disk that fills while the records are written stops the import at
    // its line or record, and blames no field: the value went in, the write
    // failed.
    void aFullDiskStopsTheImportWithoutBlamingAField_data() {
        QTest::addColumn<bool>("dbf");
        QTest::newRow("text") << false;
        QTest::newRow("dBASE") << true;
    }
    void aFullDiskStopsTheImportWithoutBlamingAField() {
        QFETCH(bool, dbf);
        QString source = Path("many.txt");
        std::vector<int> map{1, 6};
        if (dbf) {
            store::Table many;
            CreateItemTable(many, m_dir->path(), "MANY");
            many.BeginBulkAppend();
            for (int i = 0; i < 6000; ++i) {
                many.Append();
                many.SetText("Item", "item " + std::to_string(i));
                many.SetText("Descriptio", std::string(30, 'x'));
                many.Post();
            }
            many.EndBulkAppend();
            many.Close();
            source = m_dir->filePath("MANY.DBF");
            map.clear();
            for (int p = 1; p <= store::kItemFieldCount; ++p) map.push_back(p);
        } else {
            QByteArray text;
            for (int i = 0; i < 6000; ++i) text += "\"item " + QByteArray::number(i) + "\",\"" + QByteArray(30, 'x') + "\"\r\n";
            WriteAll(source, text);
        }
        store::Table target;
        RunResult r;
        {
            const testsupport::FileSizeLimit limit(256 * 1024);
            r = ImportInto(target, dbf, source, map, false);
        }
        QCOMPARE(int(r.outcome), int(Outcome::Failed));
        const QRegularExpression told(QString("^The import stopped at %1 \\d+: [^(]*File too large").arg(dbf ? "record" : "line"));
        QVERIFY2(told.match(QString::fromStdString(r.message)).hasMatch(), r.message.c_str());
    }

    // A field number past the last item field is refused before anything
    // is read, as is one below 0.
    void importRefusesFieldsThatAreNone() {
        WriteAll(Path("a.txt"), "\"x\",\"y\"\r\n");
        store::Table target;
        for (int wrong : {store::kItemFieldCount + 1, -1}) {
            const RunResult r = ImportInto(target, false, Path("a.txt"), {1, wrong}, false);
            QCOMPARE(int(r.outcome), int(Outcome::Failed));
            QCOMPARE(r.message, "Field number " + std::to_string(wrong) + " is not an item field.");
            QCOMPARE(target.RecordCount(), 0u);
            target.Close();
        }
        // A file that is not there: none imported, and the count says so.
        const RunResult gone = ImportInto(target, false, Path("gone.txt"), {1}, false);
        QCOMPARE(int(gone.outcome), int(Outcome::Failed));
        QCOMPARE(gone.records, uint64_t(0));
        QVERIFY2(gone.message.find("gone.txt") != std::string::npos, gone.message.c_str());
        target.Close();
    }

    // ----------------------------------------------- other programs' tables

    void sampleTablesAsSources_data() {
        QTest::addColumn<QString>("file");
        QTest::addColumn<int>("records");  // -1: refused
        QTest::newRow("dBASE III, no code page") << "dbase_03.dbf" << 14;
        QTest::newRow("a deleted record") << "people.dbf" << 2;
        QTest::newRow("shapefile table") << "mexico_cities.dbf" << 36;
        QTest::newRow("descriptors ended by LF") << "3dpoints.dbf" << 22;
        QTest::newRow("code page 437, F fields") << "pline.dbf" << 460;
        QTest::newRow("Visual FoxPro, Cyrillic") << "cp1251.dbf" << 4;
        QTest::newRow("Visual FoxPro with 145 fields") << "dbase_30.dbf" << -1;
        QTest::newRow("binary integer field") << "foxprodb_types.dbf" << 2;
        QTest::newRow("memo file missing") << "dbase_83_missing_memo.dbf" << 67;
        QTest::newRow("dBASE IV with memo") << "dbase_8b.dbf" << 10;
        QTest::newRow("no records") << "mazovia.dbf" << 0;
        QTest::newRow("UTF-8 bytes, no code page") << "dbase_03_cyrillic.dbf" << 2;
        QTest::newRow("a date holding NotAYear") << "invalid_value.dbf" << 2;
        QTest::newRow("items written by GDAL") << "gdal_items.dbf" << 20;
        QTest::newRow("items written by a spreadsheet") << "lo_items.dbf" << 20;
        QTest::newRow("dBASE II") << "dbase_02.dbf" << -1;
        QTest::newRow("dBASE 7") << "dbase_8c.dbf" << -1;
        QTest::newRow("no fields") << "polygon.dbf" << -1;
    }
    void sampleTablesAsSources() {
        QFETCH(QString, file);
        QFETCH(int, records);
        // The fixtures are read-only: each is imported from a copy.
        const QString source = Path(file.toUpper());
        QVERIFY(QFile::copy(QString(HALVENOR_FIXTURES) + "/dbf/" + file, source));
        const auto ex = exchange::ExamineDbfSource(source.toStdString());
        if (records < 0) {
            QVERIFY(!ex.accepted);
            QVERIFY(!ex.message.empty());
            return;
        }
        QVERIFY2(ex.accepted, ex.message.c_str());
        QVERIFY(!ex.names.empty() && ex.names.size() <= 32);
        store::Table back;
        const RunResult r = ImportInto(back, true, source, exchange::MapByName(ex.names));
        QVERIFY2(r.outcome == Outcome::Completed, r.message.c_str());
        QCOMPARE(int(r.records), records);
        QCOMPARE(int(back.RecordCount()), records);
    }

    void itemsOfOtherProgramsArriveWhole() {
        for (const QString& file : {QString("gdal_items.dbf"), QString("lo_items.dbf")}) {
            const QString source = Path(file.toUpper());
            QVERIFY(QFile::copy(QString(HALVENOR_FIXTURES) + "/dbf/" + file, source));
            const auto ex = exchange::ExamineDbfSource(source.toStdString());
            store::Table back;
            QVERIFY(ImportInto(back, true, source, exchange::MapByName(ex.names)).outcome == Outcome::Completed);
            QCOMPARE(Column(back, "Item").mid(0, 3), QStringList({"Clothes Dryer", "Book Collection", "Cable Modem"}));
            QCOMPARE(Column(back, "Descriptio")[1], QString("says \"Property of R.M.\" inside, hand made, framed"));
            QCOMPARE(Column(back, "PurchDate").mid(0, 3), QStringList({"12/8/2003", "11/4/1989", "10/21/2021"}));
            QCOMPARE(Column(back, "Cost")[0], QString("752.53"));
            QCOMPARE(Column(back, "Quantity")[0], QString("1"));
            // GDAL keeps the warranty date as a date; the spreadsheet wrote
            // "2026-05-30" as text, which has no "/" and stays empty.
            QCOMPARE(Column(back, "WarDate")[2], file.startsWith("gdal") ? QString("5/30/2026") : QString());
            QCOMPARE(Column(back, "WarDate")[0], QString());
        }
    }

    // A number of a source table goes to a number field as its value and to
    // a text field as the text of its value.
    void sourceNumbersAsValuesOrAsTheirCharacters() {
        const QString source = Path("PRICES.DBF");
        {
            store::Table t;
            t.SetDirectory(m_dir->path().toStdString());
            t.SetTableName("PRICES.DBF");
            t.Create({store::FieldDef{"PRICE", 'N', 8, 2}, store::FieldDef{"AMOUNT", 'N', 8, 2}});
            t.Open();
            t.Append();
            t.SetNumber(t.NeedField("PRICE"), 12.5);
            t.SetNumber(t.NeedField("AMOUNT"), 7.25);
            t.Post();
        }
        store::Table back;
        const RunResult r = ImportInto(back, true, source, {1, 11});
        QVERIFY2(r.outcome == Outcome::Completed, r.message.c_str());
        QCOMPARE(Column(back, "Item"), QStringList{"12.5"});
        QCOMPARE(Column(back, "Cost"), QStringList{"7.25"});
    }

    // --------------------------------------------------------- large files

    void aMillionLinesStreamThrough() {
        // 120 MB of lines that yield no record, with a record now and then.
        const QString path = Path("million.txt");
        {
            QFile f(path);
            QVERIFY(f.open(QIODevice::WriteOnly));
            const QByteArray empty = "\"\"" + QByteArray(116, '\t') + "\r\n";
            QByteArray block;
            for (int i = 0; i < 1000; ++i) block += empty;
            for (int b = 0; b < 1000; ++b) {
                QVERIFY(f.write(block) == block.size());
                f.write("\"record " + QByteArray::number(b) + "\",\"7\"\r\n");
            }
        }
#if !defined(__SANITIZE_ADDRESS__)
        const long before = PeakKilobytes();
#endif
        store::Table back;
        uint64_t reports = 0;
        const RunResult r = ImportInto(back, false, path, {1, 9}, false, [&](const exchange::Progress& p) {
            ++reports;
            return p.done <= p.total;
        });
        QVERIFY2(r.outcome == Outcome::Completed, r.message.c_str());
        QCOMPARE(r.records, uint64_t(1000));
        QCOMPARE(Column(back, "Item").last(), QString("record 999"));
        QVERIFY(reports >= 100);  // a report at least every megabyte
#if !defined(__SANITIZE_ADDRESS__)
        QVERIFY2(PeakKilobytes() - before < 64 * 1024, qPrintable(QString::number(PeakKilobytes() - before)));
#endif
    }

    void aTenMegabyteLineStopsAtItsLimit() {
        QByteArray text = "\"Item\"\r\n\"";
        text += QByteArray(10 * 1024 * 1024, 'x');
        WriteAll(Path("huge.txt"), text);
        store::Table back;
        const RunResult r = ImportInto(back, false, Path("huge.txt"), {1});
        QCOMPARE(int(r.outcome), int(Outcome::Failed));
        QCOMPARE(QString::fromStdString(r.message),
                 QString("The import stopped at line 2, field 1 (Item): the value is longer than 255 characters.  "
                         "No records were imported."));
    }
};

QTEST_GUILESS_MAIN(ExportImportTest)
#include "ExportImportTest.moc"
