// The report definition file as bytes: the default reports checked against
// their own transcription with an independent reader of the record layout,
// the record operations, the conversion of the older file, damaged files
// (read under the sanitizers too), and the rules that keep a line's widths
// summing to the report width.

#include <signal.h>
#include <sys/resource.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>
#include <cstring>
#include <random>

#include "DefaultReports.h"
#include "RecordBytes.h"
#include "ReportDefinition.h"
#include "ReportFile.h"
#include "ReportFileSetup.h"

using namespace reports;

namespace {

using Bytes = QByteArray;

// ---------------------------------------------------------------- an independent reader

int U8(const Bytes& b, int at) { return uint8_t(b[at]); }
int I16(const Bytes& b, int at) { return int16_t(uint16_t(U8(b, at) | (U8(b, at + 1) << 8))); }
double Real(const Bytes& b, int at) {
    double d;
    std::memcpy(&d, b.constData() + at, 8);  // the build machine is little-endian like the file
    return d;
}
QByteArray Text(const Bytes& b, int at) { return b.mid(at + 1, U8(b, at)); }

constexpr int kItem = 75, kLine = 1500, kBodyAt = 2122, kTotalsAt = 345;

const char* const kFieldNames[22] = {"Item",     "Brand",     "Model",   "Serial",   "Location", "Descriptio",
                                     "BoughtFrom", "IDMarks", "Quantity", "PurchDate", "Cost",    "Category",
                                     "RepCost",  "Warranty",  "WarDate", "WarNotes", "Owner",    "Value",
                                     "UserDef1", "UserDef2",  "UserDef3", "UserDef4"};
int FieldPosition(const QByteArray& name) {
    for (int i = 0; i < 22; ++i)
        if (name == kFieldNames[i]) return i + 1;
    return -1;
}
int TotalPosition(const QByteArray& name) {
    const QList<QByteArray> totals = {"Cost", "Value", "Replacement Cost", "Quantity"};
    return int(totals.indexOf(name)) + 1;
}

// A line written as the defaults are listed: Field=width, "Label"=width,
// _=width for a filler, #Total=width on the totals line; items apart by "|".
void CheckLine(const Bytes& b, int at, const QString& expected, const QString& where) {
    const QStringList items = expected.split('|');
    for (int i = 0; i < 20; ++i) {
        const int item = at + i * kItem;
        const QString ctx = where + QString(" item %1").arg(i + 1);
        if (i >= items.size()) {
            QVERIFY2(I16(b, item + 32) == 0, qPrintable(ctx));
            QCOMPARE(Text(b, item), QByteArray("<FILLER>"));
            continue;
        }
        const QString token = items[i].trimmed();
        const int eq = int(token.lastIndexOf('='));
        const QByteArray what = token.left(eq).toLatin1();
        QVERIFY2(I16(b, item + 32) == token.mid(eq + 1).toInt(), qPrintable(ctx + " width"));
        if (what == "_") {
            QCOMPARE(Text(b, item), QByteArray("<FILLER>"));
            QCOMPARE(Text(b, item + 34), QByteArray());
        } else if (what.startsWith('"')) {
            QCOMPARE(Text(b, item), QByteArray("<LABEL>"));
            QCOMPARE(Text(b, item + 34), what.mid(1, what.size() - 2));
        } else if (what.startsWith('#')) {
            QCOMPARE(Text(b, item), what.mid(1));
            QVERIFY2(U8(b, item + 31) == TotalPosition(what.mid(1)), qPrintable(ctx + " total number"));
        } else {
            QCOMPARE(Text(b, item), what);
            QVERIFY2(U8(b, item + 31) == FieldPosition(what), qPrintable(ctx + " field number"));
            QCOMPARE(Text(b, item + 34), QByteArray());
        }
    }
}

const QString kStandardTotals =
    R"("Cost:"=10|_=1|#Cost=12|"Replacement Cost:"=19|_=1|#Replacement Cost=12|"Value:"=8|_=1|#Value=12|_=60)";

QByteArray ReadFile(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void WriteFile(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(f.write(bytes), bytes.size());
}

Bytes Record(const ReportDefinition& d) {
    const auto v = EncodeDefinition(d);
    return Bytes(reinterpret_cast<const char*>(v.data()), qsizetype(v.size()));
}

DecodedDefinition Decode(const Bytes& record) {
    return DecodeDefinition({reinterpret_cast<const uint8_t*>(record.constData()), size_t(record.size())});
}

// ---------------------------------------------------------------- older records, written by hand

void PutText(Bytes& b, int at, const QByteArray& text) {
    b[at] = char(text.size());
    for (int i = 0; i < text.size(); ++i) b[at + 1 + i] = text[i];
}
void PutI16(Bytes& b, int at, int v) {
    b[at] = char(v & 0xFF);
    b[at + 1] = char((v >> 8) & 0xFF);
}
void PutOldItem(Bytes& b, int at, const QByteArray& text, int width, const QByteArray& label = {}) {
    PutText(b, at, text);
    b[at + 31] = char(0x7F);  // the byte after the text means nothing in the older file
    PutI16(b, at + 32, width);
    PutText(b, at + 36, label);
}
Bytes OldRecord(const QByteArray& name, int width, int lines) {
    Bytes b(kOldRecordSize, '\0');
    PutText(b, 0, name);
    PutI16(b, 31, width);
    b[95] = 1;  // column headers
    b[96] = 0;  // page numbers
    b[97] = 1;  // use totals
    PutI16(b, 98, lines);
    return b;
}
constexpr int kOldTotals = 102, kOldBody = 1885, kOldItem = 77, kOldLine = 1540;

// Restores the file size limit when a test is done with it.
struct FileSizeLimit {
    rlimit old{};
    explicit FileSizeLimit(rlim_t bytes) {
        ::signal(SIGXFSZ, SIG_IGN);
        ::getrlimit(RLIMIT_FSIZE, &old);
        rlimit tight = old;
        tight.rlim_cur = bytes;
        ::setrlimit(RLIMIT_FSIZE, &tight);
    }
    ~FileSizeLimit() { ::setrlimit(RLIMIT_FSIZE, &old); }
};

}  // namespace

class ReportFileTest : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_dir;
    QString Dir() const { return m_dir->path(); }
    QString FilePath() const { return m_dir->filePath("KELDOR.URP"); }
    Bytes FileBytes() const { return ReadFile(FilePath()); }
    Bytes RecordAt(int k) const { return FileBytes().mid(k * kRecordSize, kRecordSize); }
    SetupResult Prepare() const { return PrepareReportFiles(Dir().toStdString()); }

private slots:
    void init() {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
    }

    // ------------------------------------------------------------ the defaults

    void missingFileGetsTheEightDefaults() {
        const SetupResult r = Prepare();
        QVERIFY(r.errors.empty() && r.notices.empty());
        QCOMPARE(FileBytes().size(), 8 * kRecordSize);
        const auto names = ReportFile(FilePath().toStdString()).Names();
        QVERIFY(names == (std::vector<std::string>{"Short Narrow Report", "Short Wide Report", "Medium Report",
                                           "Medium Large Report", "Full Report", "Warranty Report",
                                           "Location & Owner Report", "Statistics/Summary Report"}));
        // A second start leaves the file alone.
        WriteFile(FilePath(), FileBytes().left(kRecordSize));
        Prepare();
        QCOMPARE(FileBytes().size(), kRecordSize);
    }

    void defaultRecordBytes_data() {
        QTest::addColumn<int>("index");
        QTest::addColumn<QByteArray>("name");
        QTest::addColumn<int>("width");
        QTest::addColumn<bool>("headers");
        QTest::addColumn<bool>("gridLines");
        QTest::addColumn<bool>("totals");
        QTest::addColumn<QStringList>("lines");
        QTest::newRow("1 short narrow") << 0 << QByteArray("Short Narrow Report") << 90 << true << true << true
                                        << QStringList{"Item=32|Location=17|Cost=14|RepCost=14|Quantity=13"};
        QTest::newRow("2 short wide") << 1 << QByteArray("Short Wide Report") << 120 << true << true << true
                                      << QStringList{"Item=26|Brand=12|Model=12|Serial=12|Location=17|Cost=14|"
                                                     "RepCost=14|Quantity=13"};
        const QString itemLocationCategory =
            R"("Item:"=5|_=1|Item=40|"Location:"=11|_=1|Location=30|"Category:"=11|_=1|Category=20)";
        const QString brandModelCost = R"("Brand:"=6|_=1|Brand=20|"Model:"=8|_=1|Model=15|"Serial:"=9|_=1|Serial=14|)"
                                       R"("Cost:"=7|_=1|Cost=12|"Rep Cost:"=11|_=1|RepCost=12)";
        QTest::newRow("3 medium") << 2 << QByteArray("Medium Report") << 120 << false << false << true
                                  << QStringList{itemLocationCategory, brandModelCost};
        QTest::newRow("4 medium large")
            << 3 << QByteArray("Medium Large Report") << 120 << false << false << true
            << QStringList{itemLocationCategory, brandModelCost, R"("Desc:"=5|_=1|Descriptio=110)", "_=150"};
        QTest::newRow("7 location and owner") << 6 << QByteArray("Location & Owner Report") << 90 << true << true
                                              << true << QStringList{"Item=33|Location=30|Owner=27"};
        QTest::newRow("5 full") << 4 << QByteArray("Full Report") << 120 << false << false << true
                                << QStringList{
                                       R"("Item:"=5|_=1|Item=40|"Location:"=11|_=1|Location=30|"Category:"=11|_=1|Category=20)",
                                       R"("Brand:"=6|_=1|Brand=20|"Model:"=8|_=1|Model=15|"Serial:"=9|_=1|Serial=20|"Owner:"=8|_=1|Owner=30)",
                                       R"("Desc:"=5|_=1|Descriptio=110)",
                                       R"("Cost:"=5|_=1|Cost=13|"Rep. Cost:"=11|_=1|RepCost=13|"Value:"=8|_=1|Value=13|"Purch From:"=13|_=1|BoughtFrom=40)",
                                       R"("Purch Date:"=11|_=1|PurchDate=11|"Warranty:"=12|_=1|Warranty=3|"Expiration Date:"=19|_=1|WarDate=11|"Warranty Notes:"=18|_=1|WarNotes=30)",
                                       R"("ID Marks:"=9|_=1|IDMarks=60|"Quantity:"=11|_=1|Quantity=10)",
                                       "_=150"};
        QTest::newRow("6 warranty") << 5 << QByteArray("Warranty Report") << 120 << true << false << false
                                    << QStringList{"Item=30|_=2|Location=15|_=2|PurchDate=11|_=2|Warranty=3|_=2|"
                                                   "WarDate=11|_=2|WarNotes=30"};
        QTest::newRow("8 summary") << 7 << QByteArray("Statistics/Summary Report") << 120 << false << false << true
                                   << QStringList{};
    }
    void defaultRecordBytes() {
        QFETCH(int, index);
        QFETCH(QByteArray, name);
        QFETCH(int, width);
        QFETCH(bool, headers);
        QFETCH(bool, gridLines);
        QFETCH(bool, totals);
        QFETCH(QStringList, lines);
        Prepare();
        const Bytes b = RecordAt(index);
        QCOMPARE(Text(b, 0), name);
        QCOMPARE(I16(b, 31), width);
        for (int f = 0; f < 5; ++f) {
            const int at = 33 + f * 61;
            QCOMPARE(Text(b, at), QByteArray("Arial"));
            QCOMPARE(I16(b, at + 51), width == 90 ? 10 : 8);
            for (int flag = 53; flag <= 56; ++flag) QCOMPARE(U8(b, at + flag), 0);
            QCOMPARE(b.mid(at + 57, 4), QByteArray(4, '\0'));  // black
        }
        QCOMPARE(U8(b, 338), int(headers));
        QCOMPARE(U8(b, 339), 1);  // page numbers
        QCOMPARE(U8(b, 340), 0);  // landscape
        QCOMPARE(U8(b, 341), 1);  // date on pages
        QCOMPARE(U8(b, 342), int(totals));
        QCOMPARE(I16(b, 343), int(lines.size()));
        CheckLine(b, kTotalsAt, totals ? kStandardTotals : "_=150", "totals");
        for (int m = 0; m < 4; ++m) QCOMPARE(Real(b, 1845 + 8 * m), 0.5);
        QCOMPARE(U8(b, 1877), int(gridLines));
        QCOMPARE(U8(b, 1878), int(gridLines));
        for (int t = 0; t < 3; ++t) QCOMPARE(U8(b, 1879 + 81 * t), 0);
        for (int n = 0; n < 12; ++n)
            CheckLine(b, kBodyAt + n * kLine, n < lines.size() ? lines[n] : "_=150", QString("line %1").arg(n + 1));
        QCOMPARE(U8(b, 20122), 1);
        QCOMPARE(U8(b, 20123), 0);
        QCOMPARE(b.mid(20124), QByteArray(498, '\0'));
    }

    void recordsSurviveAReadAndWrite() {
        // Every byte the program writes is read back into the same bytes.
        for (const ReportDefinition& d : DefaultReportDefinitions()) {
            const DecodedDefinition read = Decode(Record(d));
            QVERIFY(read.problems.empty());
            QCOMPARE(Record(read.definition), Record(d));
        }
        // And every field of the record lands where it belongs.
        ReportDefinition d = NewReportDefinition();
        d.name = "Küche & Keller";  // a character beyond ASCII, in Windows-1252 on disk
        d.width = 150;
        d.Font(FontSlot::Footnote) = {"Liberation Serif", 14, true, true, true, true, 0x80123456};  // a fourth byte kept as found
        d.landscape = true;
        d.lines = 12;
        d.leftMargin = 1.25;
        d.titles = {"One", std::string(80, 'x'), "Three"};
        d.Body(12)[19] = {"Value", 18, 7, ""};
        d.groupLevel2 = true;
        const Bytes b = Record(d);
        QCOMPARE(Text(b, 0), QByteArray("K\xFC" "che & Keller"));
        QCOMPARE(Text(b, 33 + 4 * 61), QByteArray("Liberation Serif"));
        QCOMPARE(b.mid(33 + 4 * 61 + 51, 6), QByteArray("\x0e\x00\x01\x01\x01\x01", 6));  // 14 points, B I U S
        QCOMPARE(b.mid(33 + 4 * 61 + 57, 4), QByteArray("\x56\x34\x12\x80", 4));
        QCOMPARE(Real(b, 1861), 1.25);
        QCOMPARE(Text(b, 1960).size(), 80);
        QCOMPARE(Text(b, kBodyAt + 11 * kLine + 19 * kItem), QByteArray("Value"));
        QCOMPARE(U8(b, 20123), 1);
        QCOMPARE(Decode(b).definition, d);
    }

    // ------------------------------------------------------------ record operations

    void recordOperations() {
        ReportFile file(FilePath().toStdString());
        QCOMPARE(file.Count(), 0);
        QVERIFY(file.Names().empty());  // a missing file lists nothing
        QVERIFY_THROWS_EXCEPTION(ReportFileError, file.Read(0));
        Prepare();
        const Bytes before = FileBytes();

        ReportDefinition d = file.Read(2).definition;
        QCOMPARE(d.name, std::string("Medium Report"));
        d.name = "Changed";
        file.Write(2, d);
        const Bytes after = FileBytes();
        QCOMPARE(after.size(), before.size());
        QCOMPARE(after.left(2 * kRecordSize), before.left(2 * kRecordSize));
        QCOMPARE(after.mid(3 * kRecordSize), before.mid(3 * kRecordSize));
        QCOMPARE(file.Names()[2], std::string("Changed"));
        try {
            file.Write(8, d);
            QFAIL("a ninth definition was written in place");
        } catch (const ReportFileError& e) {
            QCOMPARE(std::string(e.what()), "Report definition 9 is not in \"" + FilePath().toStdString() + "\".");
        }

        d.name = "Added";
        QCOMPARE(file.Append(d), 8);
        QCOMPARE(file.Count(), 9);

        // Deleting from the middle moves the later records down.
        const Bytes last = RecordAt(8);
        file.Delete(3);
        QCOMPARE(file.Count(), 8);
        QCOMPARE(RecordAt(7), last);
        QCOMPARE(file.Names()[3], std::string("Full Report"));
        // The last record: one record shorter.
        file.Delete(7);
        QCOMPARE(FileBytes().size(), 7 * kRecordSize);
        QCOMPARE(file.Names().back(), std::string("Statistics/Summary Report"));
        // Down to the only one, then none: an empty file that still exists.
        while (file.Count() > 1) file.Delete(0);
        file.Delete(0);
        QVERIFY(QFileInfo::exists(FilePath()));
        QCOMPARE(QFileInfo(FilePath()).size(), 0);
        QVERIFY(file.Names().empty());
        QVERIFY_THROWS_EXCEPTION(ReportFileError, file.Delete(0));
        QCOMPARE(QDir(Dir()).entryList(QDir::Files), QStringList{"KELDOR.URP"});
    }

    void failedWritesLeaveTheFileAsItWas() {
        Prepare();
        ReportFile file(FilePath().toStdString());
        const Bytes before = FileBytes();
        {
            // Room for half a record more: the append fails part way.
            FileSizeLimit limit(rlim_t(before.size() + kRecordSize / 2));
            QVERIFY_THROWS_EXCEPTION(ReportFileError, file.Append(NewReportDefinition()));
        }
        QCOMPARE(FileBytes(), before);
        {
            // The rewrite of a delete cannot be completed.
            FileSizeLimit limit{rlim_t(kRecordSize)};
            QVERIFY_THROWS_EXCEPTION(ReportFileError, file.Delete(0));
        }
        QCOMPARE(FileBytes(), before);
        QCOMPARE(QDir(Dir()).entryList(QDir::Files), QStringList{"KELDOR.URP"});
    }

    void fileFoundInAnyLetterCase() {
        Prepare();
        QVERIFY(QFile::rename(FilePath(), m_dir->filePath("keldor.urp")));
        QCOMPARE(QString::fromStdString(ReportFile::PathIn(Dir().toStdString())), m_dir->filePath("keldor.urp"));
        QVERIFY(Prepare().errors.empty());
        QCOMPARE(QDir(Dir()).entryList(QDir::Files), QStringList{"keldor.urp"});
    }

    // ------------------------------------------------------------ the older file

    void olderFileIsConverted() {
        Bytes mine = OldRecord("My Rooms", 90, 2);
        PutOldItem(mine, kOldBody, "<LABEL>", 6, "Room:");
        PutOldItem(mine, kOldBody + kOldItem, "Location", 30);
        PutOldItem(mine, kOldBody + 2 * kOldItem, "owner", 20);  // any letter case
        PutOldItem(mine, kOldBody + 3 * kOldItem, "Colour", 34, "x");  // no such field
        PutOldItem(mine, kOldBody + kOldLine, "<FILLER>", 90);
        PutOldItem(mine, kOldTotals, "Replacement Cost", 40);
        PutOldItem(mine, kOldTotals + kOldItem, "<FILLER>", 50);
        PutText(mine, 1642 + 81, "Second title");
        Bytes wide = OldRecord("Wide Things", 120, 1);
        PutOldItem(wide, kOldBody, "Item", 120);
        Bytes old;
        for (const char* skipped : {"90 Column 1 Line Report", "120 Column 2 Line Report", "Full Report",
                                    "Statistics/Summary Report", "120 Column 1 Line Report",
                                    "120 Column 4 Line Report", "1 Line Warranty Report"})
            old += OldRecord(skipped, 120, 1);
        old.insert(2 * kOldRecordSize, mine);
        old += wide;
        old += Bytes(kOldRecordSize - 1, '\x01');  // a short record ends the conversion cleanly
        WriteFile(m_dir->filePath("HOME.URP"), old);

        const SetupResult r = Prepare();
        QVERIFY(r.errors.empty());
        QCOMPARE(r.converted, 2);
        QCOMPARE(r.skipped, 7);
        QVERIFY(!QFileInfo::exists(m_dir->filePath("HOME.URP")));
        ReportFile file(FilePath().toStdString());
        QCOMPARE(file.Count(), 10);
        QCOMPARE(file.Names()[8], std::string("My Rooms"));
        QCOMPARE(file.Names()[9], std::string("Wide Things"));

        const DecodedDefinition read = file.Read(8);
        QVERIFY(read.problems.empty());
        const ReportDefinition& d = read.definition;
        CheckLine(RecordAt(8), kBodyAt, R"("Room:"=6|Location=30|Owner=20|_=34)", "converted line 1");
        CheckLine(RecordAt(8), kBodyAt + kLine, "_=90", "converted line 2");
        CheckLine(RecordAt(8), kTotalsAt, "#Replacement Cost=40|_=50", "converted totals");
        QCOMPARE(d.titles[1], std::string("Second title"));
        QVERIFY(d.columnHeaders && !d.pageNumbers && d.useTotals && d.dateOnPages && d.groupLevel1);
        QVERIFY(!d.landscape && !d.verticalLines && !d.horizontalLines && !d.groupLevel2);
        QCOMPARE(d.lines, 2);
        QCOMPARE(d.leftMargin, 0.5);
        for (FontSlot s : {FontSlot::Title, FontSlot::ColumnHeader, FontSlot::Body, FontSlot::Spare,
                           FontSlot::Footnote}) {
            QCOMPARE(d.Font(s).name, std::string("Courier New"));
            QCOMPARE(d.Font(s).size, 10);
            QCOMPARE(d.Font(s).bold, s == FontSlot::Title || s == FontSlot::ColumnHeader || s == FontSlot::Footnote);
        }
        QCOMPARE(file.Read(9).definition.Font(FontSlot::Body).size, 8);
    }

    void olderFileOfOnlyAShortRecordIsDropped() {
        Prepare();
        WriteFile(m_dir->filePath("HOME.URP"), Bytes(100, 'x'));
        const SetupResult r = Prepare();
        QCOMPARE(r.converted, 0);
        QVERIFY(!QFileInfo::exists(m_dir->filePath("HOME.URP")));
        QCOMPARE(FileBytes().size(), 8 * kRecordSize);
    }

    // ------------------------------------------------------------ damaged files

    void fileOfTheWrongLength_data() {
        QTest::addColumn<int>("wholeRecords");
        QTest::addColumn<int>("extra");
        QTest::newRow("two and a piece") << 2 << 100;
        QTest::newRow("only a piece") << 0 << 5000;
    }
    void fileOfTheWrongLength() {
        QFETCH(int, wholeRecords);
        QFETCH(int, extra);
        Bytes damaged;
        for (int k = 0; k < wholeRecords; ++k) damaged += Record(DefaultReportDefinitions()[size_t(k) + 3]);
        damaged += Bytes(extra, '\xFF');
        WriteFile(FilePath(), damaged);
        WriteFile(m_dir->filePath("KELDOR.URP.BAD"), "an earlier copy");

        const SetupResult r = Prepare();
        QVERIFY(r.errors.empty());
        QCOMPARE(int(r.notices.size()), 1);
        QVERIFY(QString::fromStdString(r.notices[0]).contains("kept as KELDOR.URP.BAD2"));
        QCOMPARE(ReadFile(m_dir->filePath("KELDOR.URP.BAD2")), damaged);
        QCOMPARE(ReadFile(m_dir->filePath("KELDOR.URP.BAD")), QByteArray("an earlier copy"));
        const auto names = ReportFile(FilePath().toStdString()).Names();
        if (wholeRecords == 0) {
            QCOMPARE(int(names.size()), 8);  // the defaults again
        } else {
            QCOMPARE(int(names.size()), wholeRecords);
            QCOMPARE(FileBytes(), damaged.left(wholeRecords * kRecordSize));
        }
    }

    // A 2 GiB sparse file was "kept" as 104,135 blank definitions and left
    // two 2 GB files behind.
    void aFileFarLargerThanAnyDefinitionFileIsSetAsideWhole() {
        {
            QFile f(FilePath());
            QVERIFY(f.open(QIODevice::WriteOnly));
            QVERIFY(f.resize(qint64(1) << 31));
        }
        QVERIFY_THROWS_EXCEPTION(ReportFileError, ReportFile(FilePath().toStdString()).Names());
        const SetupResult r = Prepare();
        QVERIFY(r.errors.empty());
        QCOMPARE(int(r.notices.size()), 1);
        QCOMPARE(QString::fromStdString(r.notices[0]),
                 "The report definition file \"" + FilePath() + "\" is 2048 MB, far larger than any report definition "
                 "file (2000 definitions take 40 MB).  It was set aside as KELDOR.URP.BAD, and the default reports "
                 "were written again.");
        QCOMPARE(QFileInfo(m_dir->filePath("KELDOR.URP.BAD")).size(), qint64(1) << 31);
        QCOMPARE(int(ReportFile(FilePath().toStdString()).Names().size()), 8);
        QCOMPARE(QDir(m_dir->path()).entryList(QDir::Files | QDir::Hidden).size(), 2);
    }

    void damagedValuesAreCorrected() {
        Bytes b = Record(DefaultReportDefinitions()[0]);
        b[0] = char(200);               // name length beyond its 30 characters
        b[1879] = char(255);            // title length beyond 80
        b[33] = char(51);               // font name beyond 50
        PutI16(b, 33 + 61 + 51, 0);     // column header font of 0 points
        PutI16(b, 33 + 2 * 61 + 51, 30000);
        PutI16(b, 33 + 3 * 61 + 51, 200);  // the largest size kept
        PutI16(b, 343, 99);             // more body lines than there are
        PutI16(b, 31, 0);               // no width
        std::memset(b.data() + 1853, 0xFF, 8);  // bottom margin not a number
        b[kBodyAt + kItem + 31] = char(200);  // item 2: number and name both unknown
        PutText(b, kBodyAt + kItem, "Colour");
        PutText(b, kBodyAt + 2 * kItem, "");  // item 3: no name, a sound number
        b[kBodyAt + 2 * kItem + 31] = 11;
        b[kBodyAt + 3 * kItem + 34] = char(41);  // label length beyond 40
        PutText(b, kBodyAt + 4 * kItem, "");  // item 5: no name, the first field's number
        b[kBodyAt + 4 * kItem + 31] = 1;
        const DecodedDefinition r = Decode(b);
        const ReportDefinition& d = r.definition;
        // Cut to 30 characters, of which the zero bytes after the name go.
        QCOMPARE(d.name, std::string("Short Narrow Report"));
        QCOMPARE(int(d.titles[0].size()), 80);
        QCOMPARE(int(d.Font(FontSlot::Title).name.size()), 50);
        QCOMPARE(d.Font(FontSlot::ColumnHeader).size, 10);
        QCOMPARE(d.Font(FontSlot::Body).size, 10);
        QCOMPARE(d.fonts[3].size, 200);
        QCOMPARE(d.lines, 12);
        QCOMPARE(d.width, 90);
        QCOMPARE(d.bottomMargin, 0.5);
        QVERIFY(d.Body(1)[1].IsFiller());
        QCOMPARE(d.Body(1)[2].text, std::string("Cost"));
        QCOMPARE(d.Body(1)[2].number, 11);
        QCOMPARE(d.Body(1)[4].text, std::string("Item"));
        QCOMPARE(d.Body(1)[4].number, 1);
        QVERIFY(r.problems.size() >= 9);
        // The corrected record is sound from then on.
        QVERIFY(Decode(Record(d)).problems.empty());
    }

    // A damaged name kept its zero bytes and other control characters: the
    // report list showed them, a command line could not name the report,
    // and a message holding the name ended at the first zero byte. They go
    // when the name is read, and the correction is told once.
    void controlCharactersLeaveADamagedName() {
        Bytes b = Record(DefaultReportDefinitions()[4]);
        PutText(b, 0, QByteArray("Full\0Rep\x07ort\x7F\x81", 14));
        // A no-break space is a character, not a control.
        Bytes second = Record(DefaultReportDefinitions()[0]);
        PutText(second, 0, QByteArray("Short\xA0Narrow"));
        WriteFile(FilePath(), b + second);
        const ReportFile file(FilePath().toStdString());
        QCOMPARE(file.Names(), (std::vector<std::string>{"FullReport", "Short\u00A0Narrow"}));
        const DecodedDefinition read = file.Read(0);
        QCOMPARE(read.definition.name, std::string("FullReport"));
        QCOMPARE(read.problems, std::vector<std::string>{"The report name held control characters, which were removed."});
        QVERIFY(file.Read(1).problems.empty());
        // Saved again, the name is clean in the file too.
        ReportFile(FilePath().toStdString()).Write(0, read.definition);
        QCOMPARE(RecordAt(0).mid(0, 11), QByteArray("\x0A" "FullReport"));
        // A definition of the older file likewise, so it reads back as converted.
        const ReportDefinition converted = ConvertOldRecord(
            {reinterpret_cast<const uint8_t*>(OldRecord(QByteArray("Gar\0age", 7), 90, 1).constData()), size_t(kOldRecordSize)});
        QCOMPARE(converted.name, std::string("Garage"));
        QVERIFY(Decode(Record(converted)).problems.empty());
    }

    void randomBytesNeverReadBeyondTheRecord() {
        std::mt19937 random(1234);
        for (int round = 0; round < 200; ++round) {
            Bytes b = Record(DefaultReportDefinitions()[size_t(round % 8)]);
            const int changes = 1 + round % 50;
            for (int c = 0; c < changes; ++c) b[int(random() % kRecordSize)] = char(random());
            if (round % 10 == 0)
                for (char& ch : b) ch = char(random());
            const DecodedDefinition r = Decode(b);
            const ReportDefinition& d = r.definition;
            QVERIFY(d.width == 90 || d.width == 120 || d.width == 150);
            QVERIFY(d.lines >= 0 && d.lines <= 12);
            for (const ReportFont& f : d.fonts) QVERIFY(f.size >= 1 && f.size <= 200);
            for (const ReportLine& line : d.body)
                for (int i = 0; i < LineItemCount(line); ++i)
                    QVERIFY(!line[size_t(i)].IsField() ||
                            (line[size_t(i)].number >= 1 && line[size_t(i)].number <= 22));
            QVERIFY(Decode(Record(d)).problems.empty());
        }
        // The older reader, on records of every length up to a whole one.
        for (int size : {0, 1, 30, 31, 1642, kOldRecordSize - 1}) {
            WriteFile(m_dir->filePath("HOME.URP"), Bytes(size, '\xFF'));
            QVERIFY(Prepare().errors.empty());
        }
        Bytes garbage(kOldRecordSize, '\0');
        for (char& ch : garbage) ch = char(random());
        const ReportDefinition d = ConvertOldRecord(
            {reinterpret_cast<const uint8_t*>(garbage.constData()), size_t(garbage.size())});
        QVERIFY(d.lines >= 0 && d.lines <= 12);
        // Nor is anything written beyond a record: its last byte is the last.
        reports::detail::RecordWriter w(4);
        w.Byte(3, 7);
        QCOMPARE(int(w.Bytes()[3]), 7);
        QVERIFY_THROWS_EXCEPTION(std::out_of_range, w.Byte(4, 7));
        QVERIFY_THROWS_EXCEPTION(std::out_of_range, w.Int16(3, 1));
        w.UInt32(0, 0x04030201u);
        QCOMPARE(w.Bytes(), (std::vector<uint8_t>{1, 2, 3, 4}));
        QVERIFY_THROWS_EXCEPTION(std::out_of_range, w.UInt32(1, 5));
        QCOMPARE(w.Bytes().size(), size_t(4));
    }

    // Text the file's code page cannot hold: each character the page lacks
    // becomes one "?", whatever its length in UTF-8, and the rest stays.
    void charactersTheFileLacksBecomeOneMarkEach() {
        QCOMPARE(reports::detail::ToFileText("x\u0101y\u20ac\u4e2d\U0001F600z"), std::string("x?y\x80??z"));
        QCOMPARE(reports::detail::ToFileText("caf\u00e9 \u0101"), std::string("caf\xe9 ?"));
        QCOMPARE(reports::detail::FromFileText("caf\xe9 \x80"), std::string("caf\u00e9 \u20ac"));
    }

    // ------------------------------------------------------------ line widths

    void normalisingALine_data() {
        QTest::addColumn<QList<int>>("widths");
        QTest::addColumn<int>("reportWidth");
        QTest::addColumn<QList<int>>("expected");
        QTest::newRow("an item made narrower: a sixth takes the rest")
            << QList<int>{32, 10, 14, 14, 13} << 90 << QList<int>{32, 10, 14, 14, 13, 7};
        QTest::newRow("a new report's filler of 150 in 90") << QList<int>{150} << 90 << QList<int>{90};
        QTest::newRow("an item made wider cuts the line") << QList<int>{32, 70, 14} << 90 << QList<int>{32, 58};
        QTest::newRow("an exact line stays") << QList<int>{60, 60} << 120 << QList<int>{60, 60};
        QList<int> twenty(20, 1);
        QList<int> longLast(19, 1);
        longLast << 71;
        QTest::newRow("twenty items short of the width") << twenty << 90 << longLast;
        QTest::newRow("an empty line takes the width") << QList<int>{} << 150 << QList<int>{150};
    }
    void normalisingALine() {
        QFETCH(QList<int>, widths);
        QFETCH(int, reportWidth);
        QFETCH(QList<int>, expected);
        ReportLine line;
        for (int i = 0; i < widths.size(); ++i) line[size_t(i)].width = widths[i];
        NormaliseLine(line, reportWidth);
        QList<int> got;
        for (int i = 0; i < LineItemCount(line); ++i) got << line[size_t(i)].width;
        QCOMPARE(got, expected);
    }

    void changingTheReportWidth() {
        ReportDefinition d = NewReportDefinition();
        d.width = 150;
        d.lines = 2;
        for (int n = 1; n <= 3; ++n) {
            d.Body(n)[0].width = 100;
            d.Body(n)[1].width = 50;
        }
        d.totals[0].width = 150;
        ChangeReportWidth(d, 120);
        QCOMPARE(d.width, 120);
        QCOMPARE(d.Body(1)[1].width, 20);
        QCOMPARE(d.Body(2)[1].width, 20);
        QCOMPARE(d.Body(3)[1].width, 50);  // beyond the number of lines
        QCOMPARE(d.totals[0].width, 150);  // the totals line is not adjusted
        QCOMPARE(d.Font(FontSlot::Body).size, 8);
        ChangeReportWidth(d, 90);
        QCOMPARE(d.Body(1)[0].width, 90);
        QCOMPARE(d.Body(1)[1].width, 0);
        QCOMPARE(d.Font(FontSlot::Body).size, 10);
        // Widening fills the line with the item after its last.
        ChangeReportWidth(d, 150);
        QCOMPARE(d.Body(1)[0].width, 90);
        QCOMPARE(d.Body(1)[1].width, 60);
        QCOMPARE(d.Font(FontSlot::Body).size, 6);
    }
};

QTEST_GUILESS_MAIN(ReportFileTest)
#include "ReportFileTest.moc"
