// The engine where data is at stake: field sizes a type cannot have, a
// folder the user may not write, a full disk, a second copy of the program
// on a file system with whole-second times, index files that are empty,
// damaged or another program's, links and permissions kept by pack, a
// file cut short or replaced by a FIFO, expressions too deep to evaluate,
// and an append killed half-way. The conditions are made to happen: a
// child process drops to an unprivileged user or runs under a file size
// limit.

#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QJsonArray>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <numeric>
#include <random>
#include <set>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "ChildRun.h"
#include "FileBytes.h"
#include "DbfFile.h"
#include "IndexFile.h"
#include "ItemTable.h"
#include "LegacyConversion.h"
#include "MappingGuard.h"
#include "TableCheck.h"
#include "StoreTestSupport.h"

using namespace store;
using namespace testsupport;

namespace {

using testsupport::ReadAll;
using testsupport::WriteAll;

int Byte28(const QString& path) { return int(uint8_t(ReadAll(path).at(28))); }

QString Join(const std::vector<std::string>& items) {
    QStringList out;
    for (const auto& s : items) out << QString::fromStdString(s);
    return out.join(',');
}

// An item table named name in dir holding the items (category "Misc").
QString MakeTable(const QString& dir, const QString& name, const std::vector<std::string>& items) {
    Table t;
    CreateItemTable(t, dir, name.toStdString());
    t.BeginBulkAppend();
    for (const auto& item : items) AppendItem(t, item, "Misc");
    t.EndBulkAppend();
    t.Close();
    return QDir(dir).filePath(name + ".DBF");
}

void OpenAt(Table& t, const QString& path, bool exclusive = false) {
    PointAt(t, path.toStdString());
    t.SetExclusive(exclusive);
    t.Open();
}

// A dBASE III table of two fields written byte by byte, one record.
QByteArray TwoFieldTable(char shortType, int shortLength, bool shortLast) {
    struct F { const char* name; char type; int length; };
    const F text{"NAME", 'C', 10}, odd{"ODD", shortType, shortLength};
    const F fields[2] = {shortLast ? text : odd, shortLast ? odd : text};
    const int recordLength = 1 + 10 + shortLength;
    const int headerLength = 32 + 64 + 1;
    QByteArray b(headerLength, '\0');
    b[0] = 0x03;
    b[4] = 1;
    b[8] = char(headerLength);
    b[10] = char(recordLength);
    for (int i = 0; i < 2; ++i) {
        char* d = b.data() + 32 + 32 * i;
        std::memcpy(d, fields[i].name, std::strlen(fields[i].name));
        d[11] = fields[i].type;
        d[16] = char(fields[i].length);
    }
    b[headerLength - 1] = 0x0D;
    QByteArray record(recordLength, ' ');
    record.replace(shortLast ? 1 : 1 + shortLength, 10, "Grandma's ");
    return b + record + QByteArray(1, 0x1A);
}

// The records a reader that goes by the end mark (and not by the count)
// sees: it reads record after record until the mark.
int RecordsBeforeTheMark(const QByteArray& file) {
    const int headerLength = uint8_t(file[8]) | (uint8_t(file[9]) << 8);
    const int recordLength = uint8_t(file[10]) | (uint8_t(file[11]) << 8);
    int n = 0;
    for (qsizetype at = headerLength; at < file.size() && file[at] != 0x1A; at += recordLength) ++n;
    return n;
}

uint32_t HeaderCount(const QByteArray& file) {
    return uint8_t(file[4]) | (uint8_t(file[5]) << 8) | (uint8_t(file[6]) << 16) | (uint32_t(uint8_t(file[7])) << 24);
}

// Folder and files as a user who may not write the folder meets them:
// owned by root, readable by everybody; the files themselves belong to the
// unprivileged user (when the test runs as root) so that only the folder
// stands in the way.
void MakeFolderReadOnly(const QString& root, const QString& folder, bool filesWritable) {
    ::chmod(root.toLocal8Bit().constData(), 0755);
    for (const QString& f : QDir(folder).entryList(QDir::Files)) {
        const QByteArray p = QDir(folder).filePath(f).toLocal8Bit();
        if (RunningAsRoot() && filesWritable) (void)!::chown(p.constData(), kNobody, kNobody);
        ::chmod(p.constData(), filesWritable ? 0644 : 0444);
    }
    ::chmod(folder.toLocal8Bit().constData(), 0555);
}

timespec ModificationTime(const QString& path) {
    struct stat st {};
    ::stat(path.toLocal8Bit().constData(), &st);
    return st.st_mtim;
}

void SetModificationTime(const QString& path, timespec time) {
    const timespec times[2] = {time, time};
    ::utimensat(AT_FDCWD, path.toLocal8Bit().constData(), times, 0);
}

}  // namespace

class DataSafetyTest : public QObject {
    Q_OBJECT

private slots:
    void init() {
        SetCurrentDateFormat(DateFormat::FromPattern("m/d/yyyy", '/'));
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
    }
    void cleanup() {
        // Folders a test made read-only must go with the rest.
        QDirIterator it(m_dir->path(), QDir::Dirs | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
        while (it.hasNext()) ::chmod(it.next().toLocal8Bit().constData(), 0755);
        m_dir.reset();
    }

    void shortFixedWidthFieldIsRefusedNotOverflowed_data() {
        QTest::addColumn<char>("type");
        QTest::addColumn<int>("length");
        QTest::addColumn<bool>("last");
        QTest::newRow("date of one byte before a text field") << 'D' << 1 << false;
        QTest::newRow("date of one byte as the last field") << 'D' << 1 << true;
        QTest::newRow("integer of two bytes") << 'I' << 2 << false;
        QTest::newRow("timestamp of four bytes") << 'T' << 4 << true;
        QTest::newRow("logical of two bytes") << 'L' << 2 << false;
    }
    void shortFixedWidthFieldIsRefusedNotOverflowed() {
        QFETCH(char, type);
        QFETCH(int, length);
        QFETCH(bool, last);
        const QString path = m_dir->filePath("FOREIGN.DBF");
        const QByteArray bytes = TwoFieldTable(type, length, last);
        WriteAll(path, bytes);
        Table t;
        try {
            OpenAt(t, path);
            QFAIL("a field shorter than its type was accepted");
        } catch (const EngineError& e) {
            QVERIFY2(QString(e.what()).contains("ODD") && QString(e.what()).contains("needs"), e.what());
        }
        QCOMPARE(ReadAll(path), bytes);  // nothing written, nothing overwritten

        // Nor can the engine make such a table itself.
        Table create;
        PointAt(create, m_dir->filePath("NEW.DBF").toStdString());
        const FieldDef odd{"ODD", type, length, 0};
        QVERIFY_THROWS_EXCEPTION(EngineError, create.Create({FieldDef::String("NAME", 10), odd}));
        QVERIFY(!QFile::exists(m_dir->filePath("NEW.DBF")));
    }

    // A logical value as other programs write it: T, t, Y or y is true,
    // F, f, N or n false, and anything else (a blank, "?") no value.
    void logicalValuesOtherProgramsWrote() {
        const QString path = m_dir->filePath("FLAGS.DBF");
        QByteArray bytes = TwoFieldTable('L', 1, true);
        const int at = 32 + 64 + 1 + 1 + 10;
        QStringList read;
        for (char c : QByteArray("TtYyFfNn? x")) {
            bytes[at] = c;
            WriteAll(path, bytes);
            Table t;
            OpenAt(t, path);
            read << QString::fromStdString(t.GetText("ODD"));
        }
        QCOMPARE(read.join(','), QStringLiteral("T,T,T,T,F,F,F,F,,,"));

        // Written from text, each as the one letter other programs read.
        Table t;
        OpenAt(t, path);
        const int odd = t.FieldIndex("ODD");
        QStringList written;
        for (const char* text : {"T", "t", "Y", "y", "F", "f", "N", "n", "", " "}) {
            t.First();
            t.Edit();
            t.SetText(odd, text);
            t.Post();
            written << QString(QChar(t.ViewOf(0).Raw(odd)[0]));
        }
        QCOMPARE(written.join(','), QStringLiteral("T,T,T,T,F,F,F,F, , "));
        t.First();
        t.Edit();
        try {
            t.SetText(odd, "x");
            QFAIL("x was taken for a logical value");
        } catch (const EngineError& e) {
            QCOMPARE(QString(e.what()), QStringLiteral("\"x\" is not a logical value for field ODD."));
        }
    }

    // A timestamp of day number 0 is no date; day 1 is 1 January 4713 BC
    // in the Julian calendar, and 2,440,588 is 1 January 1970.
    void timestampsOfOtherPrograms() {
        const QString path = m_dir->filePath("STAMP.DBF");
        QByteArray bytes = TwoFieldTable('T', 8, true);
        const int at = 32 + 64 + 1 + 1 + 10;
        auto dayOf = [&](int32_t julian) {
            for (int i = 0; i < 4; ++i) bytes[at + i] = char((julian >> (8 * i)) & 0xFF);
            WriteAll(path, bytes);
            Table t;
            OpenAt(t, path);
            t.First();
            const auto d = t.GetDate(t.FieldIndex("ODD"));
            return d ? QString("%1-%2-%3").arg(d->year).arg(d->month).arg(d->day) : QString("none");
        };
        QCOMPARE(dayOf(0), QStringLiteral("none"));
        QCOMPARE(dayOf(2440588), QStringLiteral("1970-1-1"));
        QCOMPARE(dayOf(2440588 + 59), QStringLiteral("1970-3-1"));
        QVERIFY(dayOf(1) != QStringLiteral("none"));
    }

    // A text field holds up to 254 bytes, as other readers allow; one more
    // is refused before a file is made, as are more decimals than a
    // number's width leaves room for.
    void textFieldsOfAtMost254Bytes() {
        Table wide;
        PointAt(wide, m_dir->filePath("WIDE.DBF").toStdString());
        wide.Create({FieldDef::String("NOTES", 254)});
        wide.Open();
        QCOMPARE(wide.Field(0).length, 254);
        Table wider;
        PointAt(wider, m_dir->filePath("WIDER.DBF").toStdString());
        try {
            wider.Create({FieldDef::String("NOTES", 255)});
            QFAIL("a text field of 255 bytes was made");
        } catch (const EngineError& e) {
            QVERIFY2(QString(e.what()).endsWith("has a size of 255; at most 254 is allowed."), e.what());
        }
        QVERIFY(!QFile::exists(m_dir->filePath("WIDER.DBF")));
        // A number keeps a character for its digits and one for the point
        // beside its decimals: "0.99" fits four characters, three decimals
        // in four do not.
        Table money;
        PointAt(money, m_dir->filePath("MONEY.DBF").toStdString());
        money.Create({FieldDef{"PRICE", 'N', 4, 2}});
        money.Open();
        QCOMPARE(money.Field(0).decimals, 2);
        money.Close();
        try {
            PointAt(wider, m_dir->filePath("WIDER.DBF").toStdString());
            wider.Create({FieldDef{"PRICE", 'N', 4, 3}});
            QFAIL("three decimals in four characters were made");
        } catch (const EngineError& e) {
            QVERIFY2(QString(e.what()).endsWith("Field PRICE of type N cannot have 3 decimals in 4 characters."), e.what());
        }
        QVERIFY(!QFile::exists(m_dir->filePath("WIDER.DBF")));
    }

    // Read-only folder, full disk, read-only file: the index cannot be
    // written, so the header keeps saying what is true and the table opens
    // read-only with its order in memory.
    void indexThatCannotBeWrittenLeavesTheFlagAndOpensReadOnly_data() {
        QTest::addColumn<char>("condition");  // f folder, d disk, r read-only file
        QTest::addColumn<bool>("staleIndex");
        QTest::newRow("read-only folder, no index yet") << 'f' << false;
        QTest::newRow("read-only folder, index that needs rebuilding") << 'f' << true;
        QTest::newRow("full disk, no index yet") << 'd' << false;
        QTest::newRow("full disk, index that needs rebuilding") << 'd' << true;
        QTest::newRow("data file of mode 444") << 'r' << false;
    }
    void indexThatCannotBeWrittenLeavesTheFlagAndOpensReadOnly() {
        QFETCH(char, condition);
        QFETCH(bool, staleIndex);
        QVERIFY(QDir(m_dir->path()).mkdir("t"));
        const QString folder = m_dir->filePath("t");
        const QString path = MakeTable(folder, "T", {"Wrist Watch", "Laptop Computer", "Camera"});
        if (staleIndex) {
            // Saved before one more record came: it must be built again.
            Table t;
            OpenAt(t, path);
            t.AddIndex("NewIndex", "Upper(Item)");
            t.Close();
            const QByteArray old = ReadAll(folder + "/T.MDX");
            OpenAt(t, path);
            AppendItem(t, "Armchair", "Misc");
            t.Close();
            WriteAll(folder + "/T.MDX", old);
        }
        const int flagBefore = Byte28(path);
        const QByteArray dataBefore = ReadAll(path);
        const QByteArray indexBefore = ReadAll(folder + "/T.MDX");
        if (condition != 'd') MakeFolderReadOnly(m_dir->path(), folder, condition == 'f');

        const std::string report = RunInChild(
            [&] {
                Table t;
                OpenAt(t, path);
                t.AddIndex(staleIndex ? "Other" : "NewIndex", "Upper(Item)");
                t.SetActiveIndex(staleIndex ? "Other" : "NewIndex");
                std::string out = "notice:" + std::string(t.Notice().empty() ? "none" : "told") +
                                  " order:" + Join(ItemsInOrder(t)).toStdString();
                try {
                    t.Append();
                    out += " append:allowed";
                } catch (const EngineError&) {
                    out += " append:refused";
                }
                return out;
            },
            condition == 'd' ? ChildOptions{false, 64} : ChildOptions{true});
        const QString expectedOrder = staleIndex ? "Armchair,Camera,Laptop Computer,Wrist Watch"
                                                 : "Camera,Laptop Computer,Wrist Watch";
        QCOMPARE(QString::fromStdString(report), "notice:told order:" + expectedOrder + " append:refused");
        QCOMPARE(Byte28(path), flagBefore);
        QCOMPARE(ReadAll(path), dataBefore);
        QCOMPARE(ReadAll(folder + "/T.MDX"), indexBefore);
        QStringList expected{"T.DBF"};
        if (staleIndex) expected << "T.MDX";
        QCOMPARE(QDir(folder).entryList(QDir::Files, QDir::Name), expected);  // nothing left behind
        ::chmod(folder.toLocal8Bit().constData(), 0755);
        Table t;
        OpenAt(t, path);  // and the table opens as before
        QCOMPARE(t.RecordCount(), staleIndex ? 4u : 3u);
    }

    // An index saved before an edit never passes for the edited table's,
    // however the table was opened for the edit, even where the file's time
    // did not move (a clock of whole seconds, a copy that keeps times): the
    // older index is built again, and the order holds the edited value.
    void indexSavedBeforeAnEditIsBuiltAgain_data() {
        QTest::addColumn<bool>("exclusive");
        QTest::newRow("shared") << false;
        QTest::newRow("exclusive") << true;
    }
    void indexSavedBeforeAnEditIsBuiltAgain() {
        QFETCH(bool, exclusive);
        const QString path = MakeTable(m_dir->path(), "T", {"Wrist Watch", "Laptop Computer", "Camera"});
        const QString index = m_dir->filePath("T.MDX");
        Table t;
        OpenAt(t, path);
        t.AddIndex("NewIndex", "Upper(Item)");
        t.Close();
        const QByteArray old = ReadAll(index);
        struct stat before {};
        QCOMPARE(::stat(path.toLocal8Bit().constData(), &before), 0);
        OpenAt(t, path, exclusive);
        t.GoTo(0);
        t.Edit();
        t.SetText("Item", "Armchair");
        t.Post();
        t.Close();
        WriteAll(index, old);
        const struct timespec times[2] = {before.st_atim, before.st_mtim};
        QCOMPARE(::utimensat(AT_FDCWD, path.toLocal8Bit().constData(), times, 0), 0);
        QCOMPARE(int(store::CheckTableFiles(path.toStdString()).index), int(store::IndexState::Stale));
        OpenAt(t, path);
        t.SetActiveIndex("NewIndex");
        QCOMPARE(Join(ItemsInOrder(t)), QStringLiteral("Armchair,Camera,Laptop Computer"));
    }

    void checksNeverWriteIntoTheFilesTheyLookAt_data() {
        QTest::addColumn<QString>("fixture");
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("table of another family with index and memo flags") << "foxprodb_types.dbf" << QByteArray();
        QTest::newRow("dBASE 7 table") << "dbase_8c.dbf" << QByteArray();
        QTest::newRow("ten bytes that are no table") << "" << QByteArray("0123456789");
    }
    void checksNeverWriteIntoTheFilesTheyLookAt() {
        QFETCH(QString, fixture);
        QFETCH(QByteArray, bytes);
        if (!fixture.isEmpty()) {
            bytes = ReadAll(FixturePath(fixture.toLatin1().constData()));
            QVERIFY(bytes.size() > 32);
            bytes[28] = char(0x03);
        }
        for (const char* name : {"CHECK.DBF", "H2LOG.DBF", "HLOG.DBF"}) {
            const QString path = m_dir->filePath(name);
            WriteAll(path, bytes);
            Table check;
            std::string message;
            try {
                QVERIFY(!CheckDBaseFormat(check, path.toStdString(), &message));
            } catch (const EngineError&) {
                // refused as unreadable: as good
            }
            QVERIFY(!CheckDBaseFormatV2(check, path.toStdString()));
            QVERIFY(!CheckDBaseFormatV1(check, path.toStdString()));
            QCOMPARE(ReadAll(path), bytes);
        }
    }

    void olderDataFileDatesKeepTheirCentury() {
        // Under the default short format, with its two-digit years.
        SetCurrentDateFormat(DateFormat());
        std::vector<FieldDef> fields{FieldDef::String("Rec", 5)};
        const auto schema = ItemTableFieldDefs();
        fields.insert(fields.end(), schema.begin(), schema.begin() + 18);
        const QString old = m_dir->filePath("H2LOG.DBF");
        {
            Table t;
            PointAt(t, old.toStdString());
            t.Create(fields);
            t.Open();
            t.Append();
            t.SetText("Item", "Mantel clock");
            t.SetDate(t.NeedField("PurchDate"), Date{1929, 12, 31});
            t.SetDate(t.NeedField("WarDate"), Date{2075, 6, 15});
            t.Post();
        }
        Table items, check;
        CreateItemTable(items, m_dir->path(), "ITEMS");
        check.SetActiveIndex("NewIndex");  // left from the handle's last table
        QVERIFY(CheckDBaseFormatV2(check, old.toStdString()));
        ConvertV2(check, items, old.toStdString());
        items.First();
        QCOMPARE(items.GetDate(items.NeedField("PurchDate")), std::optional<Date>(Date{1929, 12, 31}));
        QCOMPARE(items.GetDate(items.NeedField("WarDate")), std::optional<Date>(Date{2075, 6, 15}));
    }

    // A 1.X file, field names in lower case as another tool may have saved
    // them: the day, month name and year become one date, a room a location.
    void firstGenerationFileIsConverted() {
        // Whatever order the menu says, the date is built month first.
        const DateFormat dayFirst('.', DateFormat::Order::DayMonthYear, true);
        SetCurrentDateFormat(dayFirst);
        std::vector<FieldDef> fields{FieldDef::String("Rec", 5)};
        for (const char* name : {"item", "brand", "model", "serial", "room", "descriptio", "boughtfrom", "idmarks",
                                 "quantity", "purchday", "purchmonth", "purchyear", "cost", "category"})
            fields.push_back(FieldDef::String(name, 20));
        const QString old = m_dir->filePath("HLOG.DBF");
        {
            Table t;
            PointAt(t, old.toStdString());
            t.Create(fields);
            t.Open();
            for (const auto& [item, day, month, year] :
                 std::vector<std::array<const char*, 4>>{{"Mantel clock", "29", "Feb", "1996"}, {"Lamp", "2", "12", "2003"}}) {
                t.Append();
                t.SetText("item", item);
                t.SetText("room", "Den");
                t.SetText("purchday", day);
                t.SetText("purchmonth", month);
                t.SetText("purchyear", year);
                t.Post();
            }
        }
        Table items, check;
        CreateItemTable(items, m_dir->path(), "ITEMS");
        QVERIFY(CheckDBaseFormatV1(check, old.toStdString()));
        QVERIFY(!CheckDBaseFormatV2(check, old.toStdString()));
        ConvertV1(check, items, old.toStdString());
        QVERIFY(CurrentDateFormat() == dayFirst);
        items.First();
        QCOMPARE(items.GetText("Item"), std::string("Mantel clock"));
        QCOMPARE(items.GetText("Location"), std::string("Den"));
        QCOMPARE(items.GetDate(items.NeedField("PurchDate")), std::optional<Date>(Date{1996, 2, 29}));
        items.Next();
        QCOMPARE(items.GetDate(items.NeedField("PurchDate")), std::optional<Date>(Date{2003, 12, 2}));
        QCOMPARE(VersionOneDateText("31", "Sep", "1999"), std::string("9/31/1999"));
        // Each part is taken to four characters, the whole to fourteen.
        QCOMPARE(VersionOneDateText("12345", "Jan", "199912"), std::string("1/1234/1999"));
        QCOMPARE(VersionOneDateText("1", "Sept", "1999"), std::string("Sept/1/1999"));

        // A date that is none stops the conversion, which names its record.
        {
            Table t;
            PointAt(t, old.toStdString());
            t.Open();
            t.Append();
            t.SetText("item", "Vase");
            t.SetText("purchday", "31");
            t.SetText("purchmonth", "Sep");
            t.SetText("purchyear", "1999");
            t.Post();
        }
        Table again, checkAgain;
        CreateItemTable(again, m_dir->path(), "AGAIN");
        try {
            ConvertV1(checkAgain, again, old.toStdString());
            QFAIL("a date that is none was converted");
        } catch (const EngineError& e) {
            QCOMPARE(std::string(e.what()),
                     std::string("Record 3 of HLOG.DBF could not be converted: \"9/31/1999\" is not a valid date."));
        }
        // The record it stopped at is not left half made.
        QVERIFY(again.CurrentState() == Table::State::Browse);
        again.Close();
        again.Open();
        QCOMPARE(again.RecordCount(), 2u);
    }

    void packKeepsARecordAnotherCopyPostedOnACoarseClock() {
        // Where the file system keeps whole seconds, every write within a
        // second leaves the time as it was: each copy finds the time it
        // last saw when it looks again.
        const QString path = MakeTable(m_dir->path(), "T", {"one", "two", "three"});
        Table a, b;
        OpenAt(a, path);
        a.AddIndex("NewIndex", kSortExpr);
        timespec seenByA = ModificationTime(path);
        OpenAt(b, path);
        timespec seenByB = ModificationTime(path);
        // One copy is editing "two" when the other deletes it; the edit is
        // posted after the delete.
        b.GoTo(1);
        b.Edit();
        b.SetText("Item", "two, edited");
        SetModificationTime(path, seenByA);
        a.GoTo(1);
        a.Delete();
        seenByA = ModificationTime(path);
        SetModificationTime(path, seenByB);
        b.Post();
        b.Close();
        SetModificationTime(path, seenByA);
        a.Close();
        a.SetExclusive(true);
        a.Open();
        // The pack counts as one change in the header, as an edit does.
        auto counter = [&] {
            const QByteArray header = ReadAll(path).left(14);
            return int(uint8_t(header[12])) | int(uint8_t(header[13])) << 8;
        };
        const int before = counter();
        a.Pack();
        QCOMPARE(counter(), before + 1);
        QCOMPARE(Join(ItemsInOrder(a)), QString("one,two, edited,three"));
    }

    void unreadableIndexIsOursToRebuildAnotherProgramsIsLeftAlone_data() {
        QByteArray foreign(2048, '\0');
        foreign[0] = 0x02;
        std::memcpy(foreign.data() + 4, "T", 1);
        foreign[20] = 0x02;
        foreign[23] = 0x04;
        foreign[24] = 0x01;
        foreign[25] = 48;
        foreign[26] = 32;
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<bool>("foreign");
        QTest::newRow("empty file") << QByteArray() << false;
        QTest::newRow("garbage") << QByteArray("dBASE IV production index, not ours") << false;
        QTest::newRow("our own, cut short") << QByteArray("HLVNIDX\x1A\x02\x00", 10) << false;
        QTest::newRow("another program's index") << foreign << true;
    }
    void unreadableIndexIsOursToRebuildAnotherProgramsIsLeftAlone() {
        QFETCH(QByteArray, content);
        QFETCH(bool, foreign);
        const QString path = MakeTable(m_dir->path(), "T", {"C", "B", "A"});
        {
            // The first record deleted: its flag is read again without the index.
            Table first;
            OpenAt(first, path);
            first.GoTo(0);
            first.Delete();
        }
        const QString mdx = m_dir->filePath("T.MDX");
        WriteAll(mdx, content);
        Table t;
        OpenAt(t, path);
        t.AddIndex("NewIndex", "Upper(Item)");
        t.SetActiveIndex("NewIndex");
        QCOMPARE(Join(ItemsInOrder(t)), QString("A,B"));
        QCOMPARE(t.Notice().empty(), !foreign);
        if (foreign) QVERIFY2(QString::fromStdString(t.Notice()).contains("in memory"), t.Notice().c_str());
        t.Close();
        t.Open();  // this handle keeps the order it could not save
        QCOMPARE(Join(ItemsInOrder(t)), QString("A,B"));
        t.Close();
        Table fresh;
        OpenAt(fresh, path);
        QCOMPARE(fresh.IndexNames().size(), foreign ? size_t(0) : size_t(1));
        if (foreign) QCOMPARE(ReadAll(mdx), content);
        else QCOMPARE(ProbeIndexFile(mdx.toStdString()), IndexFileKind::Ours);
    }

    // The locks other copies of the program wait on are single bytes far
    // past any record: writes at 0x7FFFFFF0, the index at 0x7FFFFFF1. Each
    // is taken and freed alone: freeing the write lock must not free the
    // index lock that lies after it.
    void locksAreTheBytesOtherCopiesWaitOn() {
        const QString path = MakeTable(m_dir->path(), "T", {"a"});
        const QByteArray name = path.toLocal8Bit();
        auto held = [&](off_t at) {
            const int fd = ::open(name.constData(), O_RDWR);
            struct flock fl {};
            fl.l_type = F_WRLCK;
            fl.l_whence = SEEK_SET;
            fl.l_start = at;
            fl.l_len = 1;
            const bool ok = ::fcntl(fd, F_OFD_GETLK, &fl) == 0;
            ::close(fd);
            return ok && fl.l_type != F_UNLCK;
        };
        DbfFile f;
        f.Open(path.toStdString(), DbfFile::Access::Shared);
        f.LockIndex();
        QVERIFY(held(0x7FFFFFF1));
        QVERIFY(!held(0x7FFFFFF0));
        QVERIFY(!held(0x7FFFFFF2));
        // A write takes and frees its own lock; the index lock stays.
        const std::string record(size_t(f.Layout().RecordLength()), ' ');
        bool foreign = false;
        QCOMPARE(f.AppendRecord(record.data(), &foreign), 1u);
        QVERIFY(held(0x7FFFFFF1));
        QVERIFY(!held(0x7FFFFFF0));
        // Its own last change is not taken for another program's.
        QVERIFY(!foreign);
        QCOMPARE(f.AppendRecord(record.data(), &foreign), 2u);
        QVERIFY(!foreign);
        f.UnlockIndex();
        QVERIFY(!held(0x7FFFFFF1));
    }

    // A bus error outside the tables' mappings is handled as it would be
    // without them: by the handler the program had (of either kind), or,
    // with none, by ending the program. Each in a process of its own: the
    // tables' handler is put in place once per process.
    void busErrorsElsewhereGoToTheHandlerBefore() {
        for (const QString kind : {"plain", "siginfo", "none"}) {
            QProcess p;
            QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
            env.insert("HALVENOR_BUS_HANDLER", kind);
            p.setProcessEnvironment(env);
            p.start(QCoreApplication::applicationFilePath(), {"busErrorInAProcessOfItsOwn"});
            QVERIFY(p.waitForFinished(60000));
            if (kind == "none") {
                QCOMPARE(p.exitStatus(), QProcess::CrashExit);
            } else {
                QCOMPARE(p.exitStatus(), QProcess::NormalExit);
                QCOMPARE(p.exitCode(), kind == "plain" ? 42 : 43);
            }
        }
    }
    // Run by the test above; does nothing without its setting.
    void busErrorInAProcessOfItsOwn() {
        const QByteArray kind = qgetenv("HALVENOR_BUS_HANDLER");
        if (kind.isEmpty()) return;
        struct sigaction sa {};
        sigemptyset(&sa.sa_mask);
        if (kind == "plain") {
            sa.sa_handler = [](int) { ::_exit(42); };
        } else if (kind == "siginfo") {
            sa.sa_flags = SA_SIGINFO;
            sa.sa_sigaction = [](int, siginfo_t*, void*) { ::_exit(43); };
        } else {
            sa.sa_handler = SIG_DFL;
        }
        ::sigaction(SIGBUS, &sa, nullptr);
        Table t;
        OpenAt(t, MakeTable(m_dir->path(), "T", {"a"}));
        // A page of another file, cut to nothing, read through its own mapping.
        const int fd = ::open(m_dir->filePath("other").toLocal8Bit().constData(), O_RDWR | O_CREAT | O_TRUNC, 0600);
        QVERIFY(fd >= 0 && ::ftruncate(fd, 4096) == 0);
        void* page = ::mmap(nullptr, 4096, PROT_READ, MAP_SHARED, fd, 0);
        QVERIFY(page != MAP_FAILED && ::ftruncate(fd, 0) == 0);
        (void)*static_cast<volatile const char*>(page);
        ::_exit(0);
    }

    // Another copy renames items between this copy's single appends: a new
    // item goes where the renamed items stand now, not where this copy's
    // earlier searches found them.
    void anotherCopysRenamesDecideWhereTheNextItemGoes() {
        std::mt19937 rng(11);
        auto name = [&] { return "item " + std::to_string(100 + rng() % 900); };
        std::vector<std::string> items(300);
        for (std::string& item : items) item = name();
        const QString path = MakeTable(m_dir->path(), "T", items);
        Table a, b;
        OpenAt(a, path);
        a.AddIndex("ByItem", "Upper(Item)");
        a.SetActiveIndex("ByItem");
        OpenAt(b, path);
        for (int i = 0; i < 80; ++i) {
            b.GoTo(uint32_t(rng() % 300));
            b.Edit();
            b.SetText("Item", name());
            b.Post();
            // The first append sees the rename and sorts afresh; the second
            // searches for its place among the keys as they are now.
            for (int k = 0; k < 2; ++k) {
                a.Append();
                a.SetText("Item", name());
                a.Post();
            }
            std::vector<std::string> sorted = ItemsInOrder(a);
            std::stable_sort(sorted.begin(), sorted.end());
            QCOMPARE(ItemsInOrder(a), sorted);
        }
    }

    void twoCopiesKeepEachOthersTags() {
        const QString path = MakeTable(m_dir->path(), "T", {"b", "a"});
        auto names = [&] {
            Table t;
            OpenAt(t, path);
            QStringList out;
            for (const auto& n : t.IndexNames()) out << QString::fromStdString(n);
            out.sort();
            return out.join(',');
        };
        {
            Table a, b;
            OpenAt(a, path);
            OpenAt(b, path);
            a.AddIndex("ByCat", "Upper(Category)");
            b.AddIndex("ByItem", "Upper(Item)");
            b.SetActiveIndex("ByItem");
            QCOMPARE(Join(ItemsInOrder(b)), QString("a,b"));
        }
        QCOMPARE(names(), QString("ByCat,ByItem"));
        {
            // A removal by one copy holds too.
            Table a, b;
            OpenAt(a, path);
            OpenAt(b, path);
            a.DeleteIndex("ByCat");
            b.AddIndex("ByCost", "Cost");
        }
        QCOMPARE(names(), QString("ByCost,ByItem"));
    }

    void fullDiskAppendLeavesTheFileAsItWas() {
        const QString path = MakeTable(m_dir->path(), "T", {"one", "two", "three"});
        const QByteArray before = ReadAll(path);
        std::string report = RunInChild(
            [&] {
                Table t;
                OpenAt(t, path);
                AppendItem(t, "four", "Misc");
                return std::string("appended");
            },
            ChildOptions{false, rlim_t(before.size() + 100)});
        QVERIFY2(report.find("error: Cannot write") == 0, report.c_str());
        QCOMPARE(ReadAll(path), before);
        QCOMPARE(ReadWithDbfread(path)["records"].toArray().size(), 3);

        // In bulk the error says how many made it; those are all there.
        const int recordLength = uint8_t(before[10]) | (uint8_t(before[11]) << 8);
        report = RunInChild(
            [&] {
                Table t;
                OpenAt(t, path);
                t.BeginBulkAppend();
                for (int i = 0; i < 10000; ++i) AppendItem(t, "bulk " + std::to_string(i), "Misc");
                return std::to_string(t.EndBulkAppend());
            },
            ChildOptions{false, rlim_t(before.size() + 5000 * recordLength)});
        // The records go in batches: those before the one that failed stay.
        unsigned written = 0, accepted = 0;
        const size_t only = report.find("Only ");
        QVERIFY2(only != std::string::npos &&
                     std::sscanf(report.c_str() + only, "Only %u of the %u new records were written", &written,
                                 &accepted) == 2,
                 report.c_str());
        QVERIFY2(written > 0 && written < accepted && accepted < 10000, report.c_str());
        QVERIFY(written <= 5000);  // what the size limit leaves room for
        QCOMPARE(ReadWithDbfread(path)["records"].toArray().size(), 3 + int(written));
        Table t;
        OpenAt(t, path);
        QCOMPARE(t.RecordCount(), 3u + written);
        t.Last();
        QCOMPARE(t.GetText("Item"), "bulk " + std::to_string(written - 1));
    }

    void deepKeyExpressionIsAClearError_data() {
        QTest::addColumn<QString>("expression");
        QTest::addColumn<QString>("mentions");
        QTest::newRow("25,000 nested parentheses")
            << QString(25000, '(') + "Item" + QString(25000, ')') << "characters long";
        QTest::newRow("80 nested functions") << QString("Upper(").repeated(80) + "Item" + QString(80, ')') << "deep";
        QString terms = "Item";
        for (int i = 1; i < 20000; ++i) terms += "+Item";
        QTest::newRow("20,000 terms") << terms << "characters long";
    }
    void deepKeyExpressionIsAClearError() {
        QFETCH(QString, expression);
        QFETCH(QString, mentions);
        const QString path = MakeTable(m_dir->path(), "T", {"b", "a"});
        Table t;
        OpenAt(t, path);
        try {
            t.AddIndex("Deep", expression.toStdString());
            QFAIL("accepted");
        } catch (const EngineError& e) {
            QVERIFY2(QString(e.what()).contains(mentions), e.what());
            QVERIFY(std::string(e.what()).size() < 300);
        }
        // An index file holding it costs the tag, not the start.
        t.AddIndex("NewIndex", "Upper(Item)");
        t.Close();
        auto content = ReadIndexFile(m_dir->filePath("T.MDX").toStdString());
        QVERIFY(content);
        content->tags.push_back({"Deep", expression.left(65535).toStdString(), {}});
        WriteIndexFile(m_dir->filePath("T.MDX").toStdString(), *content);
        t.SetActiveIndex("NewIndex");
        t.Open();
        QCOMPARE(t.IndexNames(), std::vector<std::string>{"NewIndex"});
        QCOMPARE(Join(ItemsInOrder(t)), QString("a,b"));
    }

    // The version an index file names: the earlier one is read for its
    // tags, one this program does not know yet is not read at all, nor is
    // version 0.
    void indexFileVersions() {
        const std::string path = m_dir->filePath("V.MDX").toStdString();
        IndexFileContent written;
        written.ordersValid = true;
        WriteIndexFile(path, written);
        const QByteArray bytes = ReadAll(QString::fromStdString(path));
        // Magic, version, no tags, then the checksum of those 16 bytes.
        auto withVersion = [&](uint32_t version) {
            QByteArray b = bytes;
            for (int i = 0; i < 4; ++i) b[8 + i] = char((version >> (8 * i)) & 0xFF);
            uint64_t h = 1469598103934665603ULL;
            for (int i = 0; i < 16; ++i) {
                h ^= uint8_t(b[i]);
                h *= 1099511628211ULL;
            }
            for (int i = 0; i < 8; ++i) b[16 + i] = char((h >> (8 * i)) & 0xFF);
            WriteAll(QString::fromStdString(path), b);
            const auto content = ReadIndexFile(path);
            return !content ? QString("unread") : content->ordersValid ? QString("orders") : QString("tags only");
        };
        QCOMPARE(withVersion(2), QStringLiteral("orders"));
        QCOMPARE(withVersion(1), QStringLiteral("tags only"));
        QCOMPARE(withVersion(0), QStringLiteral("unread"));
        QCOMPARE(withVersion(3), QStringLiteral("unread"));
    }

    void packKeepsPermissionsGroupAndLinks() {
        QVERIFY(QDir(m_dir->path()).mkdir("real"));
        const QString real = MakeTable(m_dir->filePath("real"), "REAL", {"keep", "gone", "also kept"});
        const QByteArray realPath = real.toLocal8Bit();
        ::chmod(realPath.constData(), 0660);
        const gid_t group = RunningAsRoot() ? kNobody : ::getegid();
        QCOMPARE(::chown(realPath.constData(), uid_t(-1), group), 0);
        const QString link = m_dir->filePath("LINK.DBF");
        QVERIFY(QFile::link(real, link));

        Table t;
        OpenAt(t, link, true);
        t.GoTo(1);
        t.Delete();
        t.Pack();
        t.Close();
        QVERIFY(QFileInfo(link).isSymLink());
        struct stat st {};
        QCOMPARE(::stat(realPath.constData(), &st), 0);
        QCOMPARE(int(st.st_mode & 07777), 0660);
        QCOMPARE(st.st_gid, group);
        const QJsonArray records = ReadWithDbfread(real)["records"].toArray();
        QCOMPARE(records.size(), 2);
        QCOMPARE(ReadWithDbfread(real)["deleted"].toArray().size(), 0);
        // The index file is written the same way.
        const QString realIndex = m_dir->filePath("real/REAL.MDX");
        OpenAt(t, real);
        t.AddIndex("ByCat", "Upper(Category)");
        t.Close();
        ::chmod(realIndex.toLocal8Bit().constData(), 0660);
        QVERIFY(QFile::link(realIndex, m_dir->filePath("LINK.MDX")));
        OpenAt(t, link);
        t.AddIndex("NewIndex", "Upper(Item)");
        t.Close();
        QVERIFY(QFileInfo(m_dir->filePath("LINK.MDX")).isSymLink());
        QCOMPARE(ProbeIndexFile(realIndex.toStdString()), IndexFileKind::Ours);
        QCOMPARE(::stat(realIndex.toLocal8Bit().constData(), &st), 0);
        QCOMPARE(int(st.st_mode & 07777), 0660);

        // What a killed pack or index write left is ours to remove, once
        // nobody else has the table; a live process's file stays.
        const QString path = MakeTable(m_dir->path(), "T", {"x"});
        const QStringList stale{"T.DBF.tmp999999999", "T.MDX.tmp999999999"};
        const QStringList kept{"T.DBF.tmp1", "T.DBF.tmpold", "T.DBF.tmp999999999x"};
        for (const QString& name : stale + kept) WriteAll(m_dir->filePath(name), "partial");
        OpenAt(t, path);
        t.Close();
        for (const QString& name : stale) QVERIFY(QFile::exists(m_dir->filePath(name)));
        OpenAt(t, path, true);
        for (const QString& name : stale) QVERIFY2(!QFile::exists(m_dir->filePath(name)), qPrintable(name));
        for (const QString& name : kept) QVERIFY2(QFile::exists(m_dir->filePath(name)), qPrintable(name));
    }

    // A change moves the header's change counter on by one, over a byte's
    // end too; a pack stamps the header with the day it was made.
    void headerCounterAndDateFollowChanges() {
        const QString path = MakeTable(m_dir->path(), "H", {"one", "two"});
        auto poke = [&](qint64 at, const QByteArray& bytes) {
            QFile f(path);
            QVERIFY(f.open(QIODevice::ReadWrite));
            QVERIFY(f.seek(at));
            QCOMPARE(f.write(bytes), bytes.size());
        };
        poke(12, QByteArray("\xFF\x00", 2));
        Table t;
        OpenAt(t, path);
        t.GoTo(0);
        t.Edit();
        t.SetText("Item", "uno");
        t.Post();
        QCOMPARE(ReadAll(path).mid(12, 2), QByteArray("\x00\x01", 2));
        t.Close();
        poke(1, QByteArray("\x63\x01\x02", 3));  // 1999-01-02
        OpenAt(t, path, true);
        t.Pack();
        const Date today = Date::Today();
        const char stamped[3] = {char(today.year - 1900), char(today.month), char(today.day)};
        QCOMPARE(ReadAll(path).mid(1, 3), QByteArray(stamped, 3));
        QCOMPARE(ReadAll(path).mid(12, 2), QByteArray("\x01\x01", 2));
    }

    // An edit posted after another copy appended takes the new record in:
    // counted, delivered and in its place in the order.
    void anEditTakesInAnotherCopysAppend() {
        const QString path = MakeTable(m_dir->path(), "E", {"pear", "fig"});
        Table a, b;
        OpenAt(a, path);
        a.AddIndex("ByItem", "Upper(Item)");
        a.SetActiveIndex("ByItem");
        QCOMPARE(a.RecordCount(), 2u);
        OpenAt(b, path);
        AppendItem(b, "apple", "Misc");
        a.GoTo(1);
        a.Edit();
        a.SetText("Item", "zucchini");
        a.Post();
        QCOMPARE(a.RecordCount(), 3u);
        QCOMPARE(ItemsInOrder(a), std::vector<std::string>({"apple", "pear", "zucchini"}));
    }

    // Shared or held alone, a table another program cuts short reads as
    // blanks where it was cut and is reported at the next look.
    void shrunkTableGivesAnErrorNotACrash_data() {
        QTest::addColumn<bool>("exclusive");
        QTest::newRow("shared") << false;
        QTest::newRow("exclusive") << true;
    }
    void shrunkTableGivesAnErrorNotACrash() {
        QFETCH(bool, exclusive);
        std::vector<std::string> items;
        for (int i = 0; i < 3000; ++i) items.push_back("item " + std::to_string(i));
        const QString path = MakeTable(m_dir->path(), exclusive ? "X" : "T", items);
        Table t;
        OpenAt(t, path, exclusive);
        QCOMPARE(t.ViewOf(2999).Text(0), std::string("item 2999"));
        const int headerLength = uint8_t(ReadAll(path)[8]) | (uint8_t(ReadAll(path)[9]) << 8);
        QCOMPARE(::truncate(path.toLocal8Bit().constData(), headerLength), 0);  // another program cuts it
        QCOMPARE(t.ViewOf(2999).Text(0), std::string());
        try {
            t.Refresh();
            QFAIL("a table cut short went unnoticed");
        } catch (const EngineError& e) {
            QVERIFY2(QString(e.what()).contains("cut short"), e.what());
        }
    }

    // Long passes read the file a block at a time: every record once, in
    // order, with the bytes the mapping holds, before a cut another program
    // made and after it.
    void passesReadEveryRecordOnceAsTheMappingHoldsIt() {
        std::vector<std::string> items;
        for (int i = 0; i < 1000; ++i) items.push_back("item " + std::to_string(i));  // 2.5 blocks
        const QString path = MakeTable(m_dir->path(), "T", items);
        store::DbfFile file;
        file.Open(path.toStdString(), store::DbfFile::Access::ReadOnly);
        const size_t len = size_t(file.Layout().RecordLength());
        const auto pass = [&] {
            std::vector<uint32_t> seen;
            uint32_t differing = 0;
            file.ForEachRecord(1, 1000, [&](uint32_t r, const char* record) {
                seen.push_back(r);
                if (std::memcmp(record, file.Record(r), len) != 0) ++differing;
            });
            std::vector<uint32_t> expected(999);
            std::iota(expected.begin(), expected.end(), 1u);
            return seen == expected && differing == 0;
        };
        QVERIFY(pass());
        QCOMPARE(std::string(file.Record(999) + 1, 8), std::string("item 999"));
        const off_t cut = off_t(file.HeaderLength() + 600 * len + 100);  // in the middle of record 600
        QCOMPARE(::truncate(path.toLocal8Bit().constData(), cut), 0);
        QVERIFY(pass());
        QCOMPARE(std::string(file.Record(599) + 1, 8), std::string("item 599"));
        QCOMPARE(file.Record(999)[1], '\0');
    }

    // 256 open tables are watched at once, each in a slot of its own that
    // is free again once it closes; one more goes unwatched, not unopened.
    void openTablesAreWatchedUpTo256() {
        static const char mapped[300] = {};
        std::vector<int> taken;
        for (const char& byte : mapped) {
            const int slot = store::GuardMapping(&byte, 1);
            if (slot < 0) break;
            taken.push_back(slot);
        }
        for (int slot : taken) store::ReleaseGuard(slot);
        QCOMPARE(std::set<int>(taken.begin(), taken.end()).size(), size_t(256));
        const int again = store::GuardMapping(mapped, 1);
        QCOMPARE(again, taken.front());
        store::ReleaseGuard(again);
    }

    void fifoInPlaceOfATableOrIndexIsRefused() {
        const QString fifo = m_dir->filePath("PIPE.DBF");
        QCOMPARE(::mkfifo(fifo.toLocal8Bit().constData(), 0644), 0);
        const QString path = MakeTable(m_dir->path(), "T", {"x"});
        QCOMPARE(::mkfifo(m_dir->filePath("T.MDX").toLocal8Bit().constData(), 0644), 0);
        const std::string report = RunInChild(
            [&] {
                std::string out;
                auto attempt = [&](const char* what, const std::function<void()>& f) {
                    try {
                        f();
                        out += std::string(what) + ":opened ";
                    } catch (const EngineError&) {
                        out += std::string(what) + ":refused ";
                    }
                };
                Table t, check;
                std::string message;
                attempt("table", [&] { OpenAt(t, fifo); });
                attempt("check", [&] { CheckDBaseFormat(check, fifo.toStdString(), &message); });
                attempt("create", [&] { DbfFile::Create(fifo.toStdString(), ItemTableFieldDefs()); });
                attempt("index", [&] { OpenAt(t, path); });
                return out;
            },
            ChildOptions{false, RLIM_INFINITY, 20});
        QCOMPARE(report, std::string("table:refused check:refused create:refused index:refused "));
    }

    void hugeNumbersInKeyExpressionsStayDefined_data() {
        QTest::addColumn<QString>("expression");
        QTest::newRow("LEFT") << "LEFT(Item, VAL('1e300'))+LEFT(Item, 0-VAL('1e300'))";
        QTest::newRow("SUBSTR") << "SUBSTR(Item, VAL('1e300'))+SUBSTR(Item, 0-VAL('1e300'), VAL('1e300'))";
        QTest::newRow("STR") << "STR(Cost, VAL('1e300'), VAL('1e300'))+STR(Cost, 0-VAL('1e300'), 0-VAL('1e300'))";
        QTest::newRow("date plus") << "DTOS(PurchDate + VAL('1e300'))";
        QTest::newRow("date minus") << "DTOS(PurchDate - VAL('1e18'))";
    }
    void hugeNumbersInKeyExpressionsStayDefined() {
        QFETCH(QString, expression);
        Table t;
        CreateItemTable(t, m_dir->path());
        for (const char* item : {"b", "a"}) {
            t.Append();
            t.SetText("Item", item);
            t.SetText("Cost", "12.5");
            t.SetText("PurchDate", "2/29/2000");
            t.Post();
        }
        t.AddIndex("K", expression.toStdString());
        t.SetActiveIndex("K");
        QCOMPARE(ItemsInOrder(t).size(), size_t(2));
    }

    void killedAppendShowsNoUncountedRecord() {
        const QString path = MakeTable(m_dir->path(), "T", {"first"});
        // An append stopped between its count and its last byte: counted,
        // but readers going by the mark do not see it yet.
        {
            QByteArray file = ReadAll(path);
            const int recordLength = uint8_t(file[10]) | (uint8_t(file[11]) << 8);
            QByteArray record(recordLength, ' ');
            record.replace(1, 11, "interrupted");
            record[0] = 0x1A;
            file.chop(1);
            file += record + QByteArray(1, 0x1A);
            file[4] = 2;
            WriteAll(path, file);
            QCOMPARE(ReadWithDbfread(path)["records"].toArray().size(), 1);
        }
        Table t;
        OpenAt(t, path);  // finished: the count took it in
        QCOMPARE(ItemsInOrder(t), (std::vector<std::string>{"first", "interrupted"}));
        AppendItem(t, "after", "Misc");
        t.Close();
        QCOMPARE(ReadWithDbfread(path)["records"].toArray().size(), 3);
        QCOMPARE(ReadWithDbfread(path)["deleted"].toArray().size(), 0);

        // And for real: a copy killed at random points while appending.
        std::mt19937 rng(12);
        for (int round = 0; round < 12; ++round) {
            const pid_t pid = ::fork();
            if (pid == 0) {
                try {
                    Table w;
                    OpenAt(w, path);
                    for (int i = 0;; ++i) AppendItem(w, "round " + std::to_string(round) + " item " + std::to_string(i));
                } catch (...) {
                }
                ::_exit(1);
            }
            ::usleep(useconds_t(2000 + rng() % 20000));
            ::kill(pid, SIGKILL);
            ::waitpid(pid, nullptr, 0);
            const QByteArray file = ReadAll(path);
            QVERIFY(RecordsBeforeTheMark(file) <= int(HeaderCount(file)));
        }
        OpenAt(t, path);
        const QJsonArray records = ReadWithDbfread(path)["records"].toArray();
        QCOMPARE(int(t.RecordCount()), records.size());
        for (const auto& r : records) {
            const QString item = r.toArray()[0].toString();
            QVERIFY2(item == "first" || item == "interrupted" || item == "after" || item.contains(" item "), qPrintable(item));
        }
    }

    // A bulk append killed between its count and its last byte kept all
    // its records but the first, which was marked deleted: a batch is
    // written whole or not at all.
    void interruptedBulkAppendKeepsAllItsRecords() {
        const QString path = MakeTable(m_dir->path(), "T", {"first"});
        QByteArray file = ReadAll(path);
        const int recordLength = uint8_t(file[10]) | (uint8_t(file[11]) << 8);
        file.chop(1);
        const qsizetype firstAt = file.size();
        for (const char* item : {"batch 1", "batch 2", "batch 3"}) {
            QByteArray record(recordLength, ' ');
            record.replace(1, int(std::strlen(item)), item);
            file += record;
        }
        file[firstAt] = 0x1A;  // the first one's flag is still the old end mark
        file += QByteArray(1, 0x1A);
        file[4] = 4;
        WriteAll(path, file);
        Table t;
        OpenAt(t, path);
        QCOMPARE(ItemsInOrder(t), (std::vector<std::string>{"first", "batch 1", "batch 2", "batch 3"}));
        t.Close();
        QCOMPARE(ReadWithDbfread(path)["records"].toArray().size(), 4);
        QCOMPARE(ReadWithDbfread(path)["deleted"].toArray().size(), 0);
    }

private:
    std::unique_ptr<QTemporaryDir> m_dir;
};

QTEST_GUILESS_MAIN(DataSafetyTest)
#include "DataSafetyTest.moc"
