// Behaviour of the table engine on real files: text forms, refusals, navigation,
// the record filter, index tags kept in step, stale and foreign index files,
// and two processes sharing one table.

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <cmath>
#include <functional>
#include <memory>
#include <numeric>
#include <optional>
#include <random>
#include <set>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "Expression.h"
#include "IndexFile.h"
#include "IndexKey.h"
#include "ItemTable.h"
#include "ChangeLog.h"
#include "FileBytes.h"
#include "StoreTestSupport.h"

using namespace store;
using namespace testsupport;

namespace {

// Appends a record the way another program would: raw bytes at the end and
// a new count in the header, without touching our index file.
void AppendBehindTheEnginesBack(const QString& path, const std::string& item, const std::string& category) {
    QFile f(path);
    QVERIFY(f.open(QIODevice::ReadWrite));
    QByteArray head = f.read(12);
    uint32_t count = uint8_t(head[4]) | (uint8_t(head[5]) << 8) | (uint8_t(head[6]) << 16) | (uint32_t(uint8_t(head[7])) << 24);
    const int headerLength = uint8_t(head[8]) | (uint8_t(head[9]) << 8);
    const int recordLength = uint8_t(head[10]) | (uint8_t(head[11]) << 8);
    QByteArray rec(recordLength, ' ');
    rec.replace(1, int(item.size()), item.c_str());
    // Category is field 12: offset 1 + widths of fields 1 to 11.
    const int catOffset = 1 + 40 + 20 + 20 + 20 + 30 + 110 + 40 + 60 + 11 + 8 + 20;
    rec.replace(catOffset, int(category.size()), category.c_str());
    f.seek(headerLength + qint64(count) * recordLength);
    f.write(rec);
    f.write("\x1A", 1);
    ++count;
    f.seek(4);
    const char c[4] = {char(count), char(count >> 8), char(count >> 16), char(count >> 24)};
    f.write(c, 4);
}

}  // namespace

class EngineTest : public QObject {
    Q_OBJECT

private slots:
    // Many records written as one change: the tag follows (a few records
    // moved within it, many by building it again), a record put back to
    // live is delivered again, and every refusal writes nothing.
    void recordsRewrittenAsOneChange_data() {
        QTest::addColumn<int>("changed");
        QTest::newRow("a few, moved within the tag") << 3;
        QTest::newRow("many, the tag built again") << 40;
    }
    void recordsRewrittenAsOneChange() {
        QFETCH(int, changed);
        QTemporaryDir dir;
        Table t;
        CreateItemTable(t, dir.path());
        t.AddIndex("NewIndex", kSortExpr);
        t.SetActiveIndex("NewIndex");
        for (int i = 0; i < 200; ++i) AppendItem(t, "Item " + std::to_string(i), i % 2 ? "Books" : "Tools");
        const int category = t.FieldIndex("Category");
        const size_t length = size_t(t.Layout().RecordLength());
        std::vector<uint32_t> recnos;
        std::vector<char> before, after;
        for (int i = 0; i < changed; ++i) {
            const uint32_t r = uint32_t(i * 199 / std::max(1, changed - 1));
            recnos.push_back(r);
            const char* rec = t.ViewOf(r).Data();
            before.insert(before.end(), rec, rec + length);
            after.insert(after.end(), rec, rec + length);
            t.FormatField(category, i == 0 ? "" : "Attic", after.data() + size_t(i) * length);
        }
        after[0] = '*';  // the first goes, the others move to Attic
        ChangeLog log;
        t.SetChangeLog(&log);
        t.GoTo(0);
        t.Rewrite(recnos, before.data(), after.data());
        t.SetChangeLog(nullptr);
        QCOMPARE(log.Count(), size_t(changed));
        QVERIFY(!t.HasCurrent() || t.RecNo() != 0);
        QCOMPARE(WalkOrder(t), ReferenceOrder(t));
        QCOMPARE(t.RecordCount(), 199u);
        QCOMPARE(t.ViewOf(199).Text(category), std::string("Attic"));
        // Back again, from the log: the first is delivered once more.
        log.Seal(t);
        QCOMPARE(log.Records(), recnos);
        t.Rewrite(log.Records(), after.data(), log.Restore().data());
        QCOMPARE(t.RecordCount(), 200u);
        QCOMPARE(WalkOrder(t), ReferenceOrder(t));
        QCOMPARE(t.ViewOf(0).Text(category), std::string("Tools"));
        // Without the bytes it expects, the log keeps the records as they stood.
        ChangeLog unexpected;
        t.SetChangeLog(&unexpected);
        t.Rewrite(recnos, nullptr, after.data());
        t.SetChangeLog(nullptr);
        unexpected.Seal(t);
        QVERIFY(unexpected.Restore() == before);
        t.Rewrite(recnos, after.data(), before.data());
        // Closed and opened, the saved tag agrees.
        t.Close();
        t.Open();
        QCOMPARE(WalkOrder(t), ReferenceOrder(t));

        // The refusal's message, "file changed" when the file did.
        auto refusal = [&](const std::vector<uint32_t>& which, const char* expected) {
            const QByteArray file = testsupport::ReadAll(QString::fromStdString(t.DataFilePath()));
            QString said;
            try {
                t.Rewrite(which, expected, after.data());
            } catch (const EngineError& e) {
                said = QString::fromUtf8(e.what());
            }
            return testsupport::ReadAll(QString::fromStdString(t.DataFilePath())) == file ? said : "file changed";
        };
        // Expected bytes that are not the record's (the first changed record
        // stands in for the second).
        QCOMPARE(refusal({recnos[1]}, before.data()),
                 QString("Record %1 was changed by another program in the meantime; nothing was written.").arg(recnos[1] + 1));
        QCOMPARE(refusal({recnos[1], recnos[0]}, nullptr), QString("The records to write are out of order."));
        QCOMPARE(refusal({recnos[0], recnos[0]}, nullptr), QString("The records to write are out of order."));
        QCOMPARE(refusal({recnos[0], 200}, nullptr), QString("Record 201 does not exist."));
        // Each refusal let go of the file: no write lock is left behind for
        // other copies to wait on.
        {
            const int fd = ::open(t.DataFilePath().c_str(), O_RDONLY | O_CLOEXEC);
            QVERIFY(fd >= 0);
            struct flock probe {};
            probe.l_type = F_RDLCK;
            probe.l_whence = SEEK_SET;
            QVERIFY(::fcntl(fd, F_OFD_GETLK, &probe) == 0);
            ::close(fd);
            QCOMPARE(probe.l_type, short(F_UNLCK));
        }
        t.GoTo(1);
        t.Edit();
        QCOMPARE(refusal({recnos[0]}, nullptr), QString("A record is being edited."));
        t.Cancel();
        // A record another copy added meanwhile is delivered after the rewrite.
        {
            Table other;
            PointAt(other, t.DataFilePath());
            other.Open();
            AppendItem(other, "Theirs", "Books");
        }
        t.Rewrite(recnos, before.data(), after.data());
        QCOMPARE(t.RecordCount(), 200u);  // one of ours deleted, theirs added
        QCOMPARE(WalkOrder(t), ReferenceOrder(t));
        t.Rewrite(recnos, after.data(), before.data());
    }

    // A bulk append after another copy appended and deleted: the tag takes
    // in the other copy's record as well as this run's, and its delete holds.
    void bulkAppendAfterAnotherCopysChangesSeesThem() {
        QTemporaryDir dir;
        Table t;
        CreateItemTable(t, dir.path());
        t.AddIndex("NewIndex", kSortExpr);
        t.SetActiveIndex("NewIndex");
        for (const char* item : {"D", "B"}) AppendItem(t, item, "Tools");
        Table other;
        other.SetDirectory(dir.path().toStdString());
        other.SetTableName("MASTER");
        other.Open();
        AppendItem(other, "A", "Tools");
        other.GoTo(0);
        other.Delete();  // "D"
        other.Close();
        t.BeginBulkAppend();
        for (const char* item : {"E", "C"}) AppendItem(t, item, "Tools");
        QCOMPARE(t.EndBulkAppend(), 2u);
        QCOMPARE(ItemsInOrder(t), (std::vector<std::string>{"A", "B", "C", "E"}));
        QCOMPARE(WalkOrder(t), ReferenceOrder(t));
    }

    // What a command changed, for its undo: an edited record keeps the bytes
    // of before its first change; added runs join; records a pack took away
    // leave the log.
    void changeLogKeepsFirstBytesAndJoinsAddedRuns() {
        QTemporaryDir dir;
        Table t;
        CreateItemTable(t, dir.path());
        for (int i = 0; i < 10; ++i) AppendItem(t, "Item " + std::to_string(i));
        ChangeLog log;
        QVERIFY(log.Empty());
        const std::string first(size_t(t.Layout().RecordLength()), 'a'), second(first.size(), 'b');
        log.Edited(4, first.data(), first.size());
        log.Edited(4, second.data(), second.size());
        log.Edited(2, second.data(), second.size());
        log.Appended(8, 1);
        log.Appended(9, 3);  // runs of one command follow each other
        log.Edited(9, second.data(), second.size());  // added in the command: nothing to put back
        QVERIFY(!log.Empty());
        QCOMPARE(log.Count(), size_t(2 + 4));
        log.Seal(t);
        QCOMPARE(log.Records(), (std::vector<uint32_t>{2, 4}));
        QCOMPARE(std::string(log.Restore().data() + first.size(), first.size()), first);
        QCOMPARE(std::string(log.Restore().data(), first.size()), second);
        QCOMPARE(log.AppendedFirst(), 8u);
        QCOMPARE(log.AppendedCount(), 2u);  // records 10 and 11 are not in the table
        QCOMPARE(log.ForeignMark(), t.ForeignChanges());
        ChangeLog before;
        before.Appended(12, 2);
        before.Appended(10, 1);
        before.Seal(t);
        QCOMPARE(before.AppendedCount(), 0u);
        ChangeLog single;  // one record added, then edited: nothing to put back
        single.Appended(7, 1);
        single.Edited(7, second.data(), second.size());
        QCOMPARE(single.Count(), size_t(1));

        // Told by the table: one record added alone, then a bulk run of
        // three, then an edit and a delete.
        ChangeLog told;
        t.SetChangeLog(&told);
        AppendItem(t, "one");
        t.BeginBulkAppend();
        for (int i = 0; i < 3; ++i) AppendItem(t, "run " + std::to_string(i));
        t.EndBulkAppend();
        const std::string third(t.ViewOf(3).Data(), first.size());
        t.GoTo(3);
        t.Edit();
        t.SetText("Item", "changed");
        t.Post();
        t.GoTo(5);
        t.Delete();
        t.SetChangeLog(nullptr);
        told.Seal(t);
        QCOMPARE(told.AppendedFirst(), 10u);
        QCOMPARE(told.AppendedCount(), 4u);
        QCOMPARE(told.Records(), (std::vector<uint32_t>{3, 5}));
        QCOMPARE(std::string(told.Restore().data(), first.size()), third);
        QCOMPARE(told.Restore()[first.size()], ' ');  // record 5 was live
    }

    // A view built again keeps the current record's place in it: Next goes
    // to the record after it, and an empty table has no current record.
    void aRebuiltViewKeepsTheCurrentPlace() {
        QTemporaryDir dir;
        Table t;
        CreateItemTable(t, dir.path());
        QVERIFY_THROWS_EXCEPTION(EngineError, t.RecNo());
        try {
            t.RecNo();
        } catch (const EngineError& e) {
            QCOMPARE(std::string(e.what()), std::string("There is no current record."));
        }
        for (const char* item : {"A", "B", "C", "D", "E"}) AppendItem(t, item);
        t.GoTo(2);
        t.Refresh();  // a current record still delivered stays current
        QCOMPARE(t.GetText("Item"), std::string("C"));
        t.SetFilter([&t](const RecordView& v) { return v.Text(t.FieldIndex("Item")) != "A"; });
        t.SetFiltered(true);
        t.Next();
        QCOMPARE(t.GetText("Item"), std::string("D"));
        t.Prior();
        t.Prior();
        QCOMPARE(t.GetText("Item"), std::string("B"));
        t.Prior();
        QVERIFY(t.Bof());
        // Deleting the current record of a view about to be built again
        // moves to the one after it.
        t.GoTo(2);
        t.SetFiltered(false);
        t.Delete();
        QCOMPARE(t.GetText("Item"), std::string("D"));
    }


    void init() {
        SetCurrentDateFormat(DateFormat::FromPattern("m/d/yyyy", '/'));
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
    }

    void itemTableReadsBackInIndependentReader() {
        Table t;
        CreateItemTable(t, m_dir->path());
        t.Append();
        const std::vector<std::pair<const char*, const char*>> values = {
            {"Item", "Caf\xc3\xa9 espresso machine"}, {"Brand", "Sony"}, {"Model", "X-100"}, {"Serial", "SN 42"},
            {"Location", "Kitchen"}, {"Descriptio", "Chrome, \"quoted\" word"}, {"BoughtFrom", "Main St."},
            {"IDMarks", "Scratch"}, {"Quantity", "3"}, {"PurchDate", "3/7/1996"}, {"Cost", "1234.5"},
            {"Category", "Appliance"}, {"RepCost", "-0.25"}, {"Warranty", "Yes"}, {"WarDate", "12/31/2030"},
            {"WarNotes", "Two years"}, {"Owner", "Ann"}, {"Value", "1000000"}, {"UserDef1", "u1"},
            {"UserDef2", "u2"}, {"UserDef3", "u3"}, {"UserDef4", "u4"}};
        for (const auto& [name, value] : values) t.SetText(name, value);
        t.Post();
        AppendItem(t, "Old radio");
        t.Delete();
        t.Close();

        const QJsonObject r = ReadWithDbfread(m_dir->filePath("MASTER.DBF"));
        const QJsonArray fields = r["fields"].toArray();
        QCOMPARE(fields.size(), 22);
        // The layout other programs and older files rely on, byte for byte.
        const int lengths[22] = {40, 20, 20, 20, 30, 110, 40, 60, 11, 8, 20, 20, 20, 3, 8, 30, 30, 20, 40, 40, 40, 40};
        for (int i = 0; i < 22; ++i) {
            const SchemaField& s = SchemaAt(i + 1);
            const QJsonArray f = fields[i].toArray();
            QCOMPARE(f[0].toString(), QString::fromLatin1(s.name.data(), int(s.name.size())));
            QCOMPARE(f[1].toString(), QString(QChar(s.kind)));
            QCOMPARE(f[2].toInt(), lengths[i]);
            QCOMPARE(f[3].toInt(), s.typeCode == 3 ? 4 : 0);
        }
        QCOMPARE(r["encoding"].toString(), QString("cp1252"));
        const QJsonArray rec = r["records"].toArray()[0].toArray();
        QCOMPARE(r["records"].toArray().size(), 1);
        QCOMPARE(rec[0].toString(), QString::fromUtf8("Caf\xc3\xa9 espresso machine"));
        QCOMPARE(rec[5].toString(), QString("Chrome, \"quoted\" word"));
        QCOMPARE(rec[8].toString(), QString("3"));
        QCOMPARE(rec[9].toString(), QString("19960307"));
        QCOMPARE(rec[10].toString(), QString("1234.5"));
        QCOMPARE(rec[12].toString(), QString("-0.25"));
        QCOMPARE(rec[14].toString(), QString("20301231"));
        QCOMPARE(rec[17].toString(), QString("1000000.0"));
        QCOMPARE(rec[21].toString(), QString("u4"));
        const QJsonArray deleted = r["deleted"].toArray();
        QCOMPARE(deleted.size(), 1);
        QCOMPARE(deleted[0].toArray()[0].toString(), QString("Old radio"));
    }

    // A new table is its header and the end mark, nothing after; its
    // fields are found by name in any letter case, also when the name is
    // part of a longer text.
    void aNewTableIsItsHeaderAndTheEndMark() {
        Table t;
        CreateItemTable(t, m_dir->path());
        QCOMPARE(t.FieldIndex(std::string_view("itemS").substr(0, 4)), 0);
        QCOMPARE(t.FieldIndex(std::string_view("UserDef4x").substr(0, 8)), 21);
        QCOMPARE(t.FieldIndex("Ite"), -1);
        t.Close();
        QFile file(m_dir->filePath("MASTER.DBF"));
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray bytes = file.readAll();
        const auto le = [&](int at, int n) {
            uint32_t v = 0;
            for (int i = n - 1; i >= 0; --i) v = v << 8 | uint8_t(bytes[at + i]);
            return v;
        };
        QCOMPARE(le(4, 4), 0u);
        QCOMPARE(le(8, 2), 32u + 22 * 32 + 1);
        QCOMPARE(le(10, 2), 671u);
        QCOMPARE(bytes.size(), qsizetype(32 + 22 * 32 + 1 + 1));
        QCOMPARE(bytes.back(), '\x1A');
    }

    void textFormsOfStoredValues_data() {
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("input");
        QTest::addColumn<QString>("shown");
        QTest::newRow("float keeps only needed digits") << "Cost" << "1234.50" << "1234.5";
        QTest::newRow("float tenth round-trips") << "Cost" << "0.1" << "0.1";
        QTest::newRow("float with exponent") << "Value" << "1E3" << "1000";
        QTest::newRow("negative float") << "RepCost" << "-12.75" << "-12.75";
        QTest::newRow("zeros that add nothing") << "Cost" << "007.50" << "7.5";
        QTest::newRow("negative zero") << "Cost" << "-0.0000" << "0";
        QTest::newRow("small fraction") << "Value" << "0.0001" << "0.0001";
        QTest::newRow("empty float stays empty") << "Cost" << "" << "";
        QTest::newRow("integer") << "Quantity" << "-7" << "-7";
        QTest::newRow("date in short format") << "PurchDate" << " 03/07/1996 " << "3/7/1996";
        QTest::newRow("empty date") << "WarDate" << "" << "";
        QTest::newRow("text loses trailing blanks only") << "Brand" << "  Sony  " << "  Sony";
        QTest::newRow("empty text") << "Brand" << "" << "";
    }
    void textFormsOfStoredValues() {
        QFETCH(QString, field);
        QFETCH(QString, input);
        QFETCH(QString, shown);
        Table t;
        CreateItemTable(t, m_dir->path());
        t.Append();
        // Over a value the field held before: an empty value leaves none of it.
        t.SetText(field.toStdString(), field.endsWith("Date") ? "12/31/1999" : "9");
        // An empty value as a view of nothing at all, as readers hand it out.
        const std::string value = input.toStdString();
        t.SetText(field.toStdString(), value.empty() ? std::string_view() : std::string_view(value));
        t.Post();
        t.Close();
        t.Open();
        QCOMPARE(QString::fromStdString(t.GetText(field.toStdString())), shown);
    }

    void numberTextAlwaysReadsBackAsTheStoredValue() {
        Table t;
        CreateItemTable(t, m_dir->path());
        std::mt19937_64 rng(11);
        std::uniform_real_distribution<double> wide(-1e10, 1e10);
        const int cost = t.FieldIndex("Cost"), qty = t.FieldIndex("Quantity");
        for (int i = 0; i < 2000; ++i) {
            double v = wide(rng);
            if (i % 3 == 0) v = std::round(v);
            if (i % 5 == 0) v /= 1e9;
            t.Append();
            t.SetNumber(cost, v);
            t.SetNumber(qty, std::round(v / 1e4));
            t.Post();
            const std::string text = t.GetText(cost);
            QCOMPARE(text, FormatNumber(t.GetNumber(cost)));
            QCOMPARE(ParseNumber(text), std::optional<double>(t.GetNumber(cost)));
            QCOMPARE(t.GetText(qty), FormatNumber(t.GetNumber(qty)));
        }
        // Past 15 significant digits the stored digits say more than the
        // value holds: the text is the value's (stored .3000, held .25).
        t.Append();
        t.SetText("Cost", "900719925474099.3");
        t.Post();
        QCOMPARE(t.GetText(cost), std::string("900719925474099.2"));
    }

    void valuesTheFieldCannotHoldAreRefused_data() {
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("input");
        QTest::addColumn<QString>("mentions");
        QTest::newRow("text longer than the field") << "Brand" << QString(21, 'x') << "at most 20";
        QTest::newRow("character outside the code page") << "Item" << QString::fromUtf8("\xd0\x96" "ar") << "Item";
        QTest::newRow("thousands separator") << "Cost" << "1,000" << "Cost";
        QTest::newRow("word for a number") << "Quantity" << "twelve" << "Quantity";
        QTest::newRow("impossible date") << "PurchDate" << "2/30/2001" << "PurchDate";
        QTest::newRow("number too large for the field") << "Quantity" << "123456789012" << "too large";
        // A replacement of 1e99 used to be named with all its hundred digits.
        QTest::newRow("huge number is named in a short form")
            << "Cost" << "1e99" << "The number 1e+99 is too large for field Cost.";
    }
    void valuesTheFieldCannotHoldAreRefused() {
        QFETCH(QString, field);
        QFETCH(QString, input);
        QFETCH(QString, mentions);
        Table t;
        CreateItemTable(t, m_dir->path());
        AppendItem(t, "Lamp");
        t.Edit();
        try {
            t.SetText(field.toStdString(), input.toStdString());
            QFAIL("the value was accepted");
        } catch (const EngineError& e) {
            QVERIFY2(QString::fromUtf8(e.what()).contains(mentions), e.what());
        }
        t.Post();
        t.Close();
        t.Open();
        QCOMPARE(t.GetText("Item"), std::string("Lamp"));
        QCOMPARE(t.GetText(field.toStdString()), field == "Item" ? std::string("Lamp") : std::string());
    }

    // Dates typed in each order: every month's last day, leap days of
    // century years, two-digit years in their window.
    void datesAreReadInTheFormatsOrder_data() {
        QTest::addColumn<QString>("pattern");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("read");  // yyyymmdd; empty: refused
        const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
        for (int m = 1; m <= 12; ++m) {
            QTest::addRow("last day of month %d", m)
                << "m/d/yyyy" << QString("%1/%2/2021").arg(m).arg(days[m - 1])
                << QString("2021%1%2").arg(m, 2, 10, QChar('0')).arg(days[m - 1]);
            QTest::addRow("a day past month %d", m) << "m/d/yyyy" << QString("%1/%2/2021").arg(m).arg(days[m - 1] + 1) << "";
        }
        QTest::newRow("leap day of 2000") << "m/d/yyyy" << "2/29/2000" << "20000229";
        QTest::newRow("no leap day in 1900") << "m/d/yyyy" << "2/29/1900" << "";
        QTest::newRow("day first") << "d/m/yyyy" << "14/2/2003" << "20030214";
        QTest::newRow("day first, no month 14") << "d/m/yyyy" << "2/14/2003" << "";
        QTest::newRow("blanks and dots") << "d.m.yyyy" << " 1 . 12 . 1999 " << "19991201";
        QTest::newRow("two digits, this century") << "m/d/yy" << "1/2/05" << "20050102";
        QTest::newRow("two digits, the last century") << "m/d/yy" << "1/2/99" << "19990102";
        QTest::newRow("four parts") << "m/d/yyyy" << "1/2/3/2004" << "";
    }
    // A pattern's year is written whole from three y's on.
    void yearDigitsOfAPattern() {
        QCOMPARE(DateFormat::FromPattern("m/d/yy", '/').Format(Date{2005, 1, 2}), std::string("1/2/05"));
        QCOMPARE(DateFormat::FromPattern("m/d/yyy", '/').Format(Date{2005, 1, 2}), std::string("1/2/2005"));
        QCOMPARE(DateFormat::FromPattern("yyyy.mm.dd", '.').Format(Date{2005, 1, 2}), std::string("2005.1.2"));
    }

    void datesAreReadInTheFormatsOrder() {
        QFETCH(QString, pattern);
        QFETCH(QString, text);
        QFETCH(QString, read);
        const DateFormat format = DateFormat::FromPattern(pattern.toStdString(), pattern.at(1).toLatin1());
        const std::optional<Date> d = format.Parse(text.toStdString());
        QCOMPARE(d ? QString("%1%2%3").arg(d->year).arg(d->month, 2, 10, QChar('0')).arg(d->day, 2, 10, QChar('0'))
                   : QString(),
                 read);
    }

    void valuesAtTheEdgesOfTheirField_data() {
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("input");
        QTest::addColumn<QString>("stored");  // the field's bytes; empty: refused
        QTest::newRow("text that fills the field") << "Brand" << QString(20, 'x') << QString(20, 'x');
        QTest::newRow("accented text that fills it") << "Brand" << QString(20, QChar(0xE9)) << QString(20, QChar(0xE9));
        QTest::newRow("accented text one too long") << "Brand" << QString(21, QChar(0xE9)) << "";
        QTest::newRow("largest count") << "Quantity" << "99999999999" << "99999999999";
        QTest::newRow("smallest count") << "Quantity" << "-9999999999" << "-9999999999";
        QTest::newRow("count one digit too long") << "Quantity" << "-99999999999" << "";
        QTest::newRow("largest amount") << "Cost" << "999999999999999.875" << "999999999999999.8750";
        QTest::newRow("smallest amount") << "Cost" << "-99999999999999.875" << "-99999999999999.8750";
        QTest::newRow("amount that rounds past the field") << "Cost" << "999999999999999.9999" << "";
        QTest::newRow("smallest fraction") << "Cost" << "0.0001" << "              0.0001";
        QTest::newRow("half of it rounds up") << "Cost" << "0.00005" << "              0.0001";
        QTest::newRow("negative that rounds to zero") << "Cost" << "-0.00004" << "              0.0000";
        QTest::newRow("negative amount") << "RepCost" << "-12.5" << "            -12.5000";
        QTest::newRow("last day") << "PurchDate" << "12/31/9999" << "99991231";
        QTest::newRow("first day") << "PurchDate" << "1/1/0001" << "00010101";
        QTest::newRow("leap day") << "PurchDate" << "2/29/2000" << "20000229";
        QTest::newRow("no leap day in 1900") << "PurchDate" << "2/29/1900" << "";
    }
    void valuesAtTheEdgesOfTheirField() {
        QFETCH(QString, field);
        QFETCH(QString, input);
        QFETCH(QString, stored);
        Table t;
        CreateItemTable(t, m_dir->path());
        const int f = t.FieldIndex(field.toStdString());
        // A refused value must leave the one before it as it was.
        const std::string earlier = t.Field(f).Kind() == FieldKind::Date ? "1/2/2003" : "7";
        t.Append();
        t.SetText(f, earlier);
        try {
            t.SetText(f, input.toStdString());
            QVERIFY2(!stored.isEmpty(), "the value was accepted");
        } catch (const EngineError& e) {
            QVERIFY2(stored.isEmpty(), e.what());
            QCOMPARE(t.GetText(f), earlier);
            return;
        }
        t.Post();
        const std::string raw(t.ViewOf(t.RecNo()).Raw(f));
        QCOMPARE(QString::fromLatin1(raw.data(), int(raw.size())), stored.leftJustified(int(raw.size()), ' '));
    }

    void numbersAreStoredAsExactRoundingGives() {
        // What the C library prints is the exact rounding of the double; a
        // negative that rounds to zero loses its sign.
        auto expected = [](double v, const FieldDef& f) {
            char buf[512];
            std::snprintf(buf, sizeof buf, "%.*f", f.decimals, v);
            std::string s = buf;
            if (s[0] == '-' && s.find_first_not_of("-0.") == std::string::npos) s.erase(0, 1);
            return int(s.size()) > f.length ? std::string() : std::string(size_t(f.length) - s.size(), ' ') + s;
        };
        Table t;
        t.SetDirectory(m_dir->path().toStdString());
        t.SetTableName("NUMBERS");
        t.Create({{"WIDE", 'N', 20, 4}, {"WHOLE", 'N', 11, 0}, {"NARROW", 'N', 6, 2}, {"FINE", 'F', 20, 10}});
        t.Open();
        std::mt19937_64 rng(3);
        std::uniform_int_distribution<int> digits(0, 9), exponent(-12, 16);
        std::vector<double> values = {0.5, 1.5, 2.5, -2.5, 0.125, 0.005, 0.015, 1.005, -0.0, 1e15, 1e16, 99.995};
        for (int i = 0; i < 4000; ++i) {
            const double mantissa = std::uniform_real_distribution<double>(-10, 10)(rng);
            values.push_back(mantissa * std::pow(10.0, exponent(rng)));
            // Decimals a person types, some just short of a halfway point.
            const double typed = double(int64_t(rng() % 100000000)) / std::pow(10.0, digits(rng) % 7);
            values.push_back(i % 2 ? typed : -typed);
            values.push_back(typed + 0.5 * std::pow(10.0, -(digits(rng) % 11)));
        }
        for (double v : values) {
            std::string want[4];
            t.Append();
            for (int f = 0; f < 4; ++f) {
                want[f] = expected(v, t.Field(f));
                try {
                    t.SetNumber(f, v);
                    QVERIFY2(!want[f].empty(), qPrintable(QString::number(v, 'g', 17) + " was accepted"));
                } catch (const EngineError&) {
                    QVERIFY2(want[f].empty(), qPrintable(QString::number(v, 'g', 17) + " was refused"));
                    want[f] = std::string(size_t(t.Field(f).length), ' ');
                }
            }
            t.Post();
            const RecordView view = t.ViewOf(t.RecNo());
            for (int f = 0; f < 4; ++f) QCOMPARE(std::string(view.Raw(f)), want[f]);
        }
    }

    void plainDecimalsReadAsTheFullConversionReadsThem() {
        std::mt19937_64 rng(5);
        for (int i = 0; i < 20000; ++i) {
            std::string text = i % 3 == 0 ? "-" : (i % 3 == 1 ? "+" : "");
            const int whole = int(rng() % 17), fraction = int(rng() % 17);
            for (int d = 0; d < whole; ++d) text += char('0' + rng() % 10);
            if (fraction > 0 || whole == 0) text += '.';
            for (int d = 0; d < fraction || (whole == 0 && d == 0); ++d) text += char('0' + rng() % 10);
            const auto parsed = ParseNumber(text);
            QVERIFY2(parsed.has_value(), text.c_str());
            const double reference = std::strtod(text.c_str(), nullptr);
            QVERIFY2(std::memcmp(&*parsed, &reference, sizeof reference) == 0, text.c_str());
        }
        // Text after the digits, or a decimal comma, makes no number.
        for (const char* text : {"12a", "1,5", "1x5", "12 a", "1e5x", "1e5.", "2e+3a"}) QVERIFY2(!ParseNumber(text), text);
    }

    void navigationFollowsDatasetRules() {
        Table t;
        CreateItemTable(t, m_dir->path());
        QVERIFY(t.Bof() && t.Eof());
        QCOMPARE(t.RecordCount(), 0u);
        QCOMPARE(t.GetText("Item"), std::string());
        QVERIFY_THROWS_EXCEPTION(EngineError, t.Delete());

        for (const char* name : {"A", "B", "C"}) AppendItem(t, name);
        t.First();
        QVERIFY(t.Bof() && !t.Eof());
        t.Prior();
        QVERIFY(t.Bof());
        QCOMPARE(t.GetText("Item"), std::string("A"));
        t.Next();
        t.Next();
        QCOMPARE(t.GetText("Item"), std::string("C"));
        QVERIFY(!t.Eof());
        t.Prior();
        QCOMPARE(t.GetText("Item"), std::string("B"));  // one back, not two
        t.Next();
        t.Next();
        QVERIFY(t.Eof());
        QCOMPARE(t.GetText("Item"), std::string("C"));
        const uint32_t bookmark = t.RecNo();
        t.First();
        t.GoTo(bookmark);
        QCOMPARE(t.GetText("Item"), std::string("C"));

        // Deleting moves to the record after it; deleted records are never delivered.
        t.First();
        t.Delete();
        QCOMPARE(t.GetText("Item"), std::string("B"));
        QCOMPARE(t.RecordCount(), 2u);
        QVERIFY_THROWS_EXCEPTION(EngineError, t.GoTo(0));
    }

    // An edit posted is told to the table's observer with the record as it
    // was and as it is now; an added record is not an edit.
    void anEditIsToldToItsObserver() {
        Table t;
        CreateItemTable(t, m_dir->path());
        for (const char* name : {"Lamp", "Sofa"}) AppendItem(t, name);
        const int item = t.FieldIndex("Item");
        std::vector<std::string> told;
        t.SetEditObserver([&](uint32_t recno, const char* before, const char* after) {
            told.push_back(std::to_string(recno) + ":" + RecordView(before, t.Layout()).Text(item) + ">" +
                           RecordView(after, t.Layout()).Text(item));
        });
        AppendItem(t, "Desk");
        t.GoTo(1);
        t.Edit();
        t.SetText("Item", "Couch");
        t.Post();
        t.SetEditObserver(nullptr);
        QCOMPARE(told, std::vector<std::string>{"1:Sofa>Couch"});
    }

    void filterDecidesWhatIsDelivered() {
        Table t;
        CreateItemTable(t, m_dir->path());
        for (const char* name : {"Sony TV", "Radio", "SONY camera", "Jackson amp"}) AppendItem(t, name);
        const int item = t.FieldIndex("Item");
        t.SetFilter([item](const RecordView& v) { return v.Text(item).find("o") != std::string::npos; });
        t.SetFiltered(true);
        t.Refresh();
        QCOMPARE(t.RecordCount(), 3u);
        QCOMPARE(ItemsInOrder(t), (std::vector<std::string>{"Sony TV", "Radio", "Jackson amp"}));
        // A posted record the filter rejects is not delivered afterwards.
        AppendItem(t, "CAMERA");
        QCOMPARE(t.RecordCount(), 3u);
        t.SetFiltered(false);
        QCOMPARE(t.RecordCount(), 5u);
        // The filter kept but not in force: a record it would reject is
        // delivered where it was added.
        AppendItem(t, "Lamp");
        QCOMPARE(t.RecordCount(), 6u);
        QCOMPARE(ItemsInOrder(t).back(), std::string("Lamp"));

        // A filter whose answers changed is asked again by Refresh.
        std::string wanted = "o";
        t.SetFilter([item, &wanted](const RecordView& v) { return v.Text(item).find(wanted) != std::string::npos; });
        t.SetFiltered(true);
        QCOMPARE(t.RecordCount(), 3u);
        wanted = "a";
        t.Refresh();
        QCOMPARE(ItemsInOrder(t), (std::vector<std::string>{"Radio", "SONY camera", "Jackson amp", "Lamp"}));
        // Another filter while filtering is in force is asked at once.
        t.SetFilter([item](const RecordView& v) { return v.Text(item).find("amp") != std::string::npos; });
        QCOMPARE(ItemsInOrder(t), (std::vector<std::string>{"Jackson amp", "Lamp"}));
    }

    // What may only be done in its own state is refused, with the reason.
    void callsOutOfTheirStateAreRefused() {
        Table t;
        CreateItemTable(t, m_dir->path());
        AppendItem(t, "A");
        auto refusal = [](const std::function<void()>& call) {
            try {
                call();
            } catch (const EngineError& e) {
                return std::string(e.what());
            }
            return std::string("(done)");
        };
        QCOMPARE(refusal([&] { t.Post(); }), std::string("The table is not in edit or insert mode."));
        QCOMPARE(refusal([&] { t.SetText("Item", "B"); }), std::string("The table is not in edit or insert mode."));
        QCOMPARE(refusal([&] { t.SetNumber(t.FieldIndex("Cost"), 2); }), std::string("The table is not in edit or insert mode."));
        QCOMPARE(refusal([&] { t.SetDate(t.FieldIndex("PurchDate"), std::nullopt); }),
                 std::string("The table is not in edit or insert mode."));
        QCOMPARE(refusal([&] { t.SetBlank(0); }), std::string("The table is not in edit or insert mode."));
        QCOMPARE(refusal([&] { t.SetReadOnly(true); }), std::string("Cannot change the access of an open table."));
        QCOMPARE(refusal([&] { t.SetExclusive(true); }), std::string("Cannot change the sharing of an open table."));
        QCOMPARE(t.ReadOnly(), false);
        QCOMPARE(t.Exclusive(), false);
        QCOMPARE(t.GetText("Item"), std::string("A"));
        // Fields past either end, while browsing and while editing; the
        // edited value before it is posted.
        const int count = t.FieldCount();
        QCOMPARE(refusal([&] { t.GetText(count); }), "Field number " + std::to_string(count + 1) + " does not exist.");
        QCOMPARE(refusal([&] { t.GetText(-1); }), std::string("Field number 0 does not exist."));
        QCOMPARE(refusal([&] { t.IsBlank(count); }), "Field number " + std::to_string(count + 1) + " does not exist.");
        QCOMPARE(refusal([&] { t.ViewOf(1); }), std::string("Record 2 does not exist."));  // just past the last
        t.Edit();
        t.SetText("Item", "B");
        QCOMPARE(t.GetText("Item"), std::string("B"));
        QCOMPARE(refusal([&] { t.GetText(count); }), "Field number " + std::to_string(count + 1) + " does not exist.");
        t.Cancel();
        QCOMPARE(t.GetText("Item"), std::string("A"));
        t.Edit();
        t.SetText("Item", "C");
        t.Close();  // an edit not posted is dropped
        t.Open();
        QCOMPARE(t.GetText("Item"), std::string("A"));
        t.Close();
        QCOMPARE(refusal([&] { t.GetText(0); }), std::string("The table MASTER is not open."));
        QCOMPARE(refusal([&] { t.ViewOf(0); }), std::string("The table MASTER is not open."));
        QCOMPARE(refusal([&] { t.SetText("Item", "C"); }), std::string("The table MASTER is not open."));
        QCOMPARE(refusal([&] { t.Post(); }), std::string("The table MASTER is not open."));
        QCOMPARE(refusal([&] { t.SetNumber(0, 1); }), std::string("The table MASTER is not open."));
        QCOMPARE(refusal([&] { t.SetBlank(0); }), std::string("The table MASTER is not open."));
        QCOMPARE(refusal([&] { t.IndexExpression("X"); }), std::string("The table MASTER is not open."));
        QCOMPARE(refusal([&] { t.RecNo(); }), std::string("The table MASTER is not open."));
        Table empty;
        CreateItemTable(empty, m_dir->path(), "EMPTY");
        QCOMPARE(refusal([&] { empty.Edit(); }), std::string("Cannot edit: the table has no current record."));
    }

    // A table made again over one whose name differs only in letter case
    // replaces it, under its name, instead of standing beside it.
    void aTableMadeAgainKeepsTheNameItHad() {
        Table first;
        CreateItemTable(first, m_dir->path(), "master.dbf");
        AppendItem(first, "Lamp");
        first.Close();
        Table again;
        CreateItemTable(again, m_dir->path(), "MASTER");
        QCOMPARE(QDir(m_dir->path()).entryList(QDir::Files), QStringList{"master.dbf"});
        QCOMPARE(again.RecordCount(), 0u);
    }

    // Records with equal keys stay in the order they were added, in a tag
    // built afresh as in one kept up to date.
    void equalKeysKeepTheirRecordOrder() {
        Table t;
        CreateItemTable(t, m_dir->path());
        for (int i = 0; i < 300; ++i) AppendItem(t, "Item " + std::to_string(i), i % 2 ? "Same" : "Other");
        t.AddIndex("ByCategory", "UPPER(TRIM(Category))");  // keys of two lengths
        t.SetActiveIndex("ByCategory");
        std::vector<uint32_t> expected;
        for (uint32_t r = 0; r < 300; r += 2) expected.push_back(r);
        for (uint32_t r = 1; r < 300; r += 2) expected.push_back(r);
        QVERIFY(t.DeliveredRecords() == expected);
        AppendItem(t, "Item 300", "Other");
        expected.insert(expected.begin() + 150, 300);
        QVERIFY(t.DeliveredRecords() == expected);
        // Keys of text that varies in length, all equal.
        Table same;
        CreateItemTable(same, m_dir->path(), "SAME");
        for (int i = 0; i < 300; ++i) AppendItem(same, "Lamp", "Light");
        same.AddIndex("NewIndex", kSortExpr);
        same.SetActiveIndex("NewIndex");
        std::vector<uint32_t> physical(300);
        std::iota(physical.begin(), physical.end(), 0u);
        QVERIFY(same.DeliveredRecords() == physical);
    }

    void indexOrderStaysRightThroughMixedChanges() {
        Table t;
        CreateItemTable(t, m_dir->path());
        t.AddIndex("NewIndex", kSortExpr);
        t.SetActiveIndex("NewIndex");
        std::mt19937 rng(7);
        const char* cats[] = {"Tools", "tools", "Kitchen", "", "A very long category"};
        auto randomText = [&](int len) {
            std::string s;
            for (int i = 0; i < len; ++i) s += char("abcXYZ xy"[rng() % 9]);
            while (!s.empty() && s.back() == ' ') s.pop_back();
            return s;
        };
        for (int step = 0; step < 400; ++step) {
            const int op = int(rng() % 10);
            if (op < 5 || t.RecordCount() == 0) {
                AppendItem(t, randomText(int(rng() % 25)), cats[rng() % 5]);
            } else if (op < 8) {
                const auto& view = t.DeliveredRecords();
                t.GoTo(view[rng() % view.size()]);
                t.Edit();
                if (rng() % 2) t.SetText("Item", randomText(int(rng() % 25)));
                else t.SetText("Category", cats[rng() % 5]);
                t.Post();
            } else if (op == 8) {
                const auto& view = t.DeliveredRecords();
                t.GoTo(view[rng() % view.size()]);
                t.Delete();
            } else {
                t.Close();
                if (rng() % 2) {
                    t.SetExclusive(true);
                    t.Open();
                    t.Pack();
                    t.Close();
                    t.SetExclusive(false);
                }
                t.Open();
            }
            if (step % 20 == 0 || step == 399) QCOMPARE(WalkOrder(t), ReferenceOrder(t));
        }
    }

    void singleChangesKeepTheViewInPlace_data() {
        QTest::addColumn<QString>("tag");
        QTest::newRow("sort tag") << "NewIndex";
        QTest::newRow("file order") << "";
    }

    // One record at a time in a filtered table of several thousand: each
    // added, edited or deleted record takes its place in what is delivered,
    // it is the current record, and
    // Next goes on from its place, whether the filter takes it or not and
    // however far before it the nearest delivered record lies.
    void singleChangesKeepTheViewInPlace() {
        QFETCH(QString, tag);
        Table t;
        CreateItemTable(t, m_dir->path());
        t.BeginBulkAppend();
        for (int i = 0; i < 9000; ++i)
            AppendItem(t, "item " + std::to_string(10000 + (i * 7919) % 9000), i % 9 == 0 ? "Tools" : i < 4500 ? "Attic" : "Kitchen");
        t.EndBulkAppend();
        t.AddIndex("NewIndex", kSortExpr);
        t.SetActiveIndex(tag.toStdString());
        const int cat = t.FieldIndex("Category");
        auto takes = [cat](const RecordView& v) { return v.Text(cat) == "Tools" || v.Text(cat).empty(); };
        t.SetFilter(takes);
        t.SetFiltered(true);
        auto expected = [&] {
            std::vector<uint32_t> all;
            if (tag.isEmpty()) {
                for (uint32_t r = 0; r < t.PhysicalCount(); ++r)
                    if (!t.ViewOf(r).IsDeleted()) all.push_back(r);
            } else {
                all = ReferenceOrder(t);
            }
            std::vector<uint32_t> out;
            for (uint32_t r : all)
                if (takes(t.ViewOf(r))) out.push_back(r);
            return out;
        };
        // Where Next goes from a record: the first delivered one after it.
        auto after = [&](uint32_t recno) -> std::optional<uint32_t> {
            std::vector<uint32_t> all = tag.isEmpty() ? std::vector<uint32_t>{} : ReferenceOrder(t);
            if (tag.isEmpty())
                for (uint32_t r = 0; r < t.PhysicalCount(); ++r)
                    if (!t.ViewOf(r).IsDeleted()) all.push_back(r);
            auto it = std::find(all.begin(), all.end(), recno);
            if (it == all.end()) return std::nullopt;
            for (++it; it != all.end(); ++it)
                if (takes(t.ViewOf(*it))) return *it;
            return std::nullopt;
        };
        QCOMPARE(t.DeliveredRecords(), expected());
        struct Added {
            const char* item;
            const char* category;
        };
        // First of all (blank category); first of the tools, far behind the
        // last delivered record; among the tools; last of all; not taken.
        const Added added[] = {{"aaa", ""}, {"item 0", "Tools"}, {"item 12345x", "Tools"}, {"zzz", "Tools"},
                               {"item 12345x", "Attic"}, {"item 5", "Kitchen"}};
        for (const Added& a : added) {
            AppendItem(t, a.item, a.category);
            const uint32_t recno = t.PhysicalCount() - 1;
            QCOMPARE(t.RecNo(), recno);
            QCOMPARE(t.DeliveredRecords(), expected());
            const std::optional<uint32_t> next = after(recno);
            t.Next();
            if (next) QCOMPARE(t.RecNo(), *next);
            else QVERIFY(t.Eof());
        }
        // Edited into and out of the filter, and deleted.
        const std::vector<uint32_t> delivered = t.DeliveredRecords();
        t.GoTo(delivered[delivered.size() / 2]);
        t.Edit();
        t.SetText("Category", "Attic");
        t.Post();
        QCOMPARE(t.DeliveredRecords(), expected());
        t.GoTo(5);  // Attic, not delivered
        t.Edit();
        t.SetText("Category", "Tools");
        t.Post();
        QCOMPARE(t.DeliveredRecords(), expected());
        QCOMPARE(t.RecNo(), 5u);
        for (int i = 0; i < 3; ++i) {
            const std::vector<uint32_t> before = t.DeliveredRecords();
            const size_t place = i == 0 ? 0 : i == 1 ? before.size() - 1 : before.size() / 3;
            t.GoTo(before[place]);
            t.Delete();
            QCOMPARE(t.DeliveredRecords(), expected());
            QCOMPARE(t.RecNo(), before[std::min(place + 1, before.size() - 1) == place ? place - 1 : place + 1]);
        }
        // The view built afresh agrees with the one kept in step.
        t.Close();
        t.Open();
        QCOMPARE(t.DeliveredRecords(), expected());
    }

    // A pack writes the kept records in blocks of 4096: every block, and
    // the last one that is not full, lands once and in order.
    void packOfMoreRecordsThanOneWriteHolds() {
        Table t;
        CreateItemTable(t, m_dir->path());
        t.BeginBulkAppend();
        for (int i = 0; i < 9000; ++i) AppendItem(t, "item " + std::to_string(i));
        t.EndBulkAppend();
        for (uint32_t r = 0; r < 9000; r += 3) {
            t.GoTo(r);
            t.Delete();
        }
        t.Close();
        t.SetExclusive(true);
        t.Open();
        t.Pack();
        QCOMPARE(t.PhysicalCount(), 6000u);
        t.Close();
        const QJsonArray rows = ReadWithDbfread(m_dir->filePath("MASTER.DBF"))["records"].toArray();
        QCOMPARE(rows.size(), 6000);
        int at = 0;
        for (int i = 0; i < 9000; ++i) {
            if (i % 3 == 0) continue;
            QCOMPARE(rows[at++].toArray()[0].toString(), QString("item %1").arg(i));
        }
    }

    void bulkAppendKeepsEveryRecordAndTheIndex() {
        Table t;
        CreateItemTable(t, m_dir->path());
        t.AddIndex("NewIndex", kSortExpr);
        t.SetActiveIndex("NewIndex");
        AppendItem(t, "first", "Zoo");
        t.BeginBulkAppend();
        for (int i = 0; i < 6000; ++i) {
            AppendItem(t, "item " + std::to_string(i), i % 2 ? "Kitchen" : "Tools");
            if (i == 2500) QCOMPARE(t.RecordCount(), 2502u);  // reading writes what was collected
        }
        // Another handle sees them once the bulk ends.
        t.EndBulkAppend();
        Table other;
        other.SetDirectory(m_dir->path().toStdString());
        other.SetTableName("MASTER");
        other.SetReadOnly(true);
        other.Open();
        QCOMPARE(other.RecordCount(), 6001u);
        try {
            other.RegenerateIndexes();
            QFAIL("a read-only handle regenerated the orders");
        } catch (const EngineError& e) {
            QCOMPARE(std::string(e.what()), std::string("The table MASTER is open read-only."));
        }
        QCOMPARE(WalkOrder(t), ReferenceOrder(t));
        t.Close();
        t.Open();
        QCOMPARE(WalkOrder(t), ReferenceOrder(t));
        t.Last();
        QCOMPARE(t.GetText("Category"), std::string("Zoo"));
    }

    void staleIndexIsRebuiltOnOpen() {
        Table t;
        CreateItemTable(t, m_dir->path());
        t.AddIndex("NewIndex", kSortExpr);
        AppendItem(t, "Saw", "Tools");
        AppendItem(t, "Pan", "Kitchen");
        t.Close();
        AppendBehindTheEnginesBack(m_dir->filePath("MASTER.DBF"), "Axe", "Garden");
        t.SetActiveIndex("NewIndex");
        t.Open();
        QCOMPARE(ItemsInOrder(t), (std::vector<std::string>{"Axe", "Pan", "Saw"}));
        t.Close();

        // A damaged index file of ours is rebuilt as well.
        QFile mdx(m_dir->filePath("MASTER.MDX"));
        QVERIFY(mdx.open(QIODevice::ReadWrite));
        mdx.seek(mdx.size() - 12);
        mdx.write("garbage!", 8);
        mdx.close();
        t.Open();
        QCOMPARE(ItemsInOrder(t), (std::vector<std::string>{"Axe", "Pan", "Saw"}));
        t.Close();

        // Cut short, down to nothing: ours while its first eight bytes are,
        // else damaged; never a wait for bytes that do not come.
        const QByteArray whole = testsupport::ReadAll(m_dir->filePath("MASTER.MDX"));
        const QString cut = m_dir->filePath("CUT.MDX");
        for (int size : {0, 5, 7, 8, 47}) {
            testsupport::WriteAll(cut, whole.left(size));
            QCOMPARE(int(ProbeIndexFile(cut.toStdString())), int(size >= 8 ? IndexFileKind::Ours : IndexFileKind::Damaged));
        }
        // Another program's: 48 tag entries of 32 bytes; one entry fewer is
        // nobody's, and ours to write again.
        for (const int entries : {48, 47}) {
            QByteArray other(64, '\0');
            other[25] = char(entries);
            other[26] = 32;
            testsupport::WriteAll(cut, other);
            QCOMPARE(int(ProbeIndexFile(cut.toStdString())), int(entries == 48 ? IndexFileKind::Foreign : IndexFileKind::Damaged));
        }
    }

    // With sole use the file's state is looked up only when it is needed:
    // the index written at the close still records the file as it is left
    // after the last change, so the next open takes it as it stands.
    void indexRecordsTheFileAsSoleUseLeftIt() {
        Table t;
        CreateItemTable(t, m_dir->path());
        t.AddIndex("NewIndex", kSortExpr);
        t.Close();
        t.SetExclusive(true);
        t.Open();
        AppendItem(t, "Saw", "Tools");
        t.Close();
        const auto content = ReadIndexFile(m_dir->filePath("MASTER.MDX").toStdString());
        QVERIFY(content && content->ordersValid);
        struct stat st {};
        QCOMPARE(::stat(m_dir->filePath("MASTER.DBF").toUtf8().constData(), &st), 0);
        QCOMPARE(content->state.size, uint64_t(st.st_size));
        QCOMPARE(content->state.mtimeSec, int64_t(st.st_mtim.tv_sec));
        QCOMPARE(content->state.mtimeNsec, int64_t(st.st_mtim.tv_nsec));
        QCOMPARE(content->state.recordCount, 1u);
    }

    // A tag added to a closed table is in its index at the next open; the
    // table stays closed and keeps the active tag it was given.
    void tagAddedToAClosedTable() {
        Table t;
        CreateItemTable(t, m_dir->path());
        AppendItem(t, "b");
        AppendItem(t, "a");
        t.Close();
        t.SetActiveIndex("ByItem");
        t.AddIndex("ByItem", "Upper(Item)");
        QVERIFY(!t.IsOpen());
        QCOMPARE(t.ActiveIndex(), std::string("ByItem"));
        t.Open();
        QCOMPARE(t.IndexNames(), std::vector<std::string>{"ByItem"});
        QCOMPARE(t.IndexExpression("ByItem"), std::string("Upper(Item)"));
        QCOMPARE(ItemsInOrder(t), (std::vector<std::string>{"a", "b"}));
        // Adding and deleting on an open table write the index file at once.
        t.AddIndex("ByBrand", "Upper(Brand)");
        t.DeleteIndex("ByItem");
        const auto written = ReadIndexFile(t.IndexFilePath());
        QVERIFY(written);
        QCOMPARE(int(written->tags.size()), 1);
        QCOMPARE(written->tags[0].name, std::string("ByBrand"));
    }

    // Of two records with the same key the one written first comes first,
    // also when an edit gives a record the key of a neighbour.
    void equalKeysStayInRecordOrder() {
        Table t;
        CreateItemTable(t, m_dir->path());
        t.AddIndex("NewIndex", kSortExpr);
        t.SetActiveIndex("NewIndex");
        for (const char* item : {"Y", "X", "Z", "W"}) AppendItem(t, item);
        QCOMPARE(WalkOrder(t), (std::vector<uint32_t>{3, 1, 0, 2}));
        auto rename = [&](uint32_t recno, const char* item) {
            t.GoTo(recno);
            t.Edit();
            t.SetText("Item", item);
            t.Post();
            return WalkOrder(t);
        };
        // Before the record with its new key and a lower number: after it.
        QCOMPARE(rename(1, "Y"), (std::vector<uint32_t>{3, 0, 1, 2}));
        // After records with its new key and higher numbers: before them.
        QCOMPARE(rename(2, "Y"), (std::vector<uint32_t>{3, 0, 1, 2}));
        QCOMPARE(rename(3, "Y"), (std::vector<uint32_t>{0, 1, 2, 3}));
        QCOMPARE(rename(0, "Y"), (std::vector<uint32_t>{0, 1, 2, 3}));
        // After a record with its new key and a higher number: before all.
        QCOMPARE(rename(0, "Z"), (std::vector<uint32_t>{1, 2, 3, 0}));
        QCOMPARE(rename(0, "Y"), (std::vector<uint32_t>{0, 1, 2, 3}));
        QCOMPARE(WalkOrder(t), ReferenceOrder(t));
    }

    void anotherProgramsIndexFileIsNeverWritten() {
        Table t;
        CreateItemTable(t, m_dir->path());
        AppendItem(t, "B");
        AppendItem(t, "A");
        t.Close();
        // The header of another program's production index: 48 tag entries
        // of 32 bytes, the data file's name.
        QByteArray foreign(1024, '\0');
        foreign[0] = 0x02;
        foreign.replace(4, 6, "MASTER");
        foreign[25] = 48;
        foreign[26] = 32;
        QFile mdx(m_dir->filePath("MASTER.MDX"));
        QVERIFY(mdx.open(QIODevice::WriteOnly));
        mdx.write(foreign);
        mdx.close();
        t.Open();
        t.AddIndex("NewIndex", "Upper(Item)");
        t.SetActiveIndex("NewIndex");
        QCOMPARE(ItemsInOrder(t), (std::vector<std::string>{"A", "B"}));
        t.Close();
        QVERIFY(mdx.open(QIODevice::ReadOnly));
        QCOMPARE(mdx.readAll(), foreign);
        mdx.close();

        // Put in place of ours while the table is open, it stays when the
        // last tag goes.
        Table u;
        PointAt(u, t.DataFilePath());
        QVERIFY(QFile::remove(mdx.fileName()));
        u.Open();
        u.AddIndex("Mine", "Upper(Item)");
        QVERIFY(mdx.open(QIODevice::WriteOnly));
        mdx.write(foreign);
        mdx.close();
        u.DeleteIndex("Mine");
        QVERIFY(mdx.open(QIODevice::ReadOnly));
        QCOMPARE(mdx.readAll(), foreign);
    }

    void announcedIndexThatIsGoneFailsTheOpen() {
        Table t;
        CreateItemTable(t, m_dir->path());
        t.AddIndex("NewIndex", kSortExpr);
        t.Close();
        QVERIFY(QFile::remove(m_dir->filePath("MASTER.MDX")));
        try {
            t.Open();
            QFAIL("opened without its index file");
        } catch (const EngineError& e) {
            QVERIFY2(QString(e.what()).contains("MASTER.MDX"), e.what());
        }
        QVERIFY(!t.IsOpen());
    }

    void keyExpressions_data() {
        QTest::addColumn<QString>("expression");
        QTest::addColumn<QStringList>("order");
        QTest::newRow("quantity as STR") << "STR(Quantity,8,0)" << QStringList{"c", "a", "b"};
        QTest::newRow("cost then date") << "STR(Cost,12,2)+DTOS(PurchDate)" << QStringList{"b", "c", "a"};
        QTest::newRow("date alone, empty first") << "DTOS(PurchDate)" << QStringList{"b", "c", "a"};
        QTest::newRow("lower-case function names") << "upper(left(brand,3))" << QStringList{"a", "c", "b"};
        QTest::newRow("lower-case name with an a") << "str(val(Item),3)+Item" << QStringList{"a", "b", "c"};
        QTest::newRow("numeric expression") << "Cost" << QStringList{"b", "c", "a"};
        QTest::newRow("days between two dates") << "STR(PurchDate - PurchDate + Quantity, 5)" << QStringList{"c", "a", "b"};
    }
    void keyExpressions() {
        QFETCH(QString, expression);
        QFETCH(QStringList, order);
        Table t;
        CreateItemTable(t, m_dir->path());
        auto add = [&](const char* item, const char* qty, const char* cost, const char* date, const char* brand) {
            t.Append();
            t.SetText("Item", item);
            t.SetText("Quantity", qty);
            t.SetText("Cost", cost);
            t.SetText("PurchDate", date);
            t.SetText("Brand", brand);
            t.Post();
        };
        add("a", "12", "500", "1/2/2000", "apple");
        add("b", "100", "2.5", "", "zed");
        add("c", "3", "2.5", "1/1/1990", "Bee");
        t.AddIndex("K", expression.toStdString());
        t.SetActiveIndex("K");
        QStringList got;
        for (const auto& s : ItemsInOrder(t)) got << QString::fromStdString(s);
        QCOMPARE(got, order);
    }

    // Numeric keys order to the last bits of a double (a sum a hair above
    // the value stored beside it), negatives before zero and positives.
    void numericKeysOrderToTheLastBit() {
        Table t;
        CreateItemTable(t, m_dir->path());
        const char* values[][3] = {{"a", "0.1", "0.2"}, {"b", "0.3", "0"}, {"c", "-1", "0"},
                                   {"d", "2", "0"},     {"e", "-0.5", "0"}, {"f", "0", "0"}};
        for (const auto& v : values) {
            t.Append();
            t.SetText("Item", v[0]);
            t.SetText("Cost", v[1]);
            t.SetText("RepCost", v[2]);
            t.Post();
        }
        t.AddIndex("K", "Cost+RepCost");
        t.SetActiveIndex("K");
        QCOMPARE(ItemsInOrder(t), std::vector<std::string>({"c", "e", "f", "b", "a", "d"}));
    }

    void textKeysAreTheTextOfTheValue() {
        // Keys of text are built piece by piece; they must be what the
        // value's text is, blanks, cuts and joins included.
        Table t;
        CreateItemTable(t, m_dir->path());
        std::mt19937 rng(9);
        auto text = [&] {
            // The letters' neighbours and letters with the high bit set
            // (0xC1, 0xDA, 0xE1, 0xFA) keep their case.
            static const char* kPieces[] = {"",           " ", "  lead",           "trail  ",
                                            "Mixed Case", "x", "long enough text", "@AZ[`az{ \u00c1\u00da\u00e1\u00fa"};
            return std::string(kPieces[rng() % 8]) + kPieces[rng() % 8];
        };
        // Twenty bytes, not ending inside a two-byte character.
        auto cut = [](std::string s) {
            s.resize(std::min<size_t>(s.size(), 20));
            if (!s.empty() && static_cast<unsigned char>(s.back()) >= 0xC0) s.pop_back();
            return s;
        };
        t.BeginBulkAppend();
        for (int i = 0; i < 200; ++i) {
            t.Append();
            t.SetText("Item", text());
            t.SetText("Brand", cut(text()));
            t.SetText("Model", cut(text()));
            t.SetText("Quantity", std::to_string(int(rng() % 16) - 3));
            if (i % 3) t.SetText("Cost", std::to_string(rng() % 100000) + ".25");
            if (i % 4) t.SetText("PurchDate", "2/" + std::to_string(1 + rng() % 28) + "/1999");
            t.Post();
        }
        t.EndBulkAppend();
        const char* kExpressions[] = {
            "Item", "UPPER(Item)", "LOWER(Brand)+Item", "LEFT(Item,3)+RIGHT(Brand,2)", "SUBSTR(Item,2,3)",
            "SUBSTR(Item,5)", "SUBSTR(Item,50,2)", "TRIM(Brand)+Item", "LTRIM(Item)+'|'", "RTRIM(Item)-Brand",
            "Item-Brand-Model", "UPPER(TRIM(Brand)-Item)", "LEFT(Item,0)+RIGHT(Item,100)", "'x'+Item",
            "LEFT(Item,Quantity)+SUBSTR(Brand,Quantity,2)", "STR(Cost,10,2)+DTOS(PurchDate)+Model",
            "Upper(Left(Category,20))+Upper(Left(Item,20))", "LEFT(UPPER(Brand)+Item,25)", "LEFT(Item,100)+Brand",
            "LEFT(Item,0-2)+Model", "Location-Item", "UPPER(LEFT(Item,3))+LOWER(LEFT(Brand,8))+UPPER(LEFT(Model,9))",
            "LOWER(UPPER(LEFT(Item,17)))+UPPER(LOWER(Brand))+LEFT(Brand+Model,0)+LOWER(Item)", "Model+(Item-Brand)",
            "LEFT(TRIM(Brand)+Item,25)"};
        // Character fields cut and cased are copied, not evaluated; the
        // others are not.
        const std::set<std::string> kCopied = {"Item", "UPPER(Item)", "LOWER(Brand)+Item",
                                                "Upper(Left(Category,20))+Upper(Left(Item,20))",
                                                "LEFT(UPPER(Brand)+Item,25)", "LEFT(Item,100)+Brand",
                                                "UPPER(LEFT(Item,3))+LOWER(LEFT(Brand,8))+UPPER(LEFT(Model,9))",
                                                "LOWER(UPPER(LEFT(Item,17)))+UPPER(LOWER(Brand))+LEFT(Brand+Model,0)+"
                                                "LOWER(Item)"};
        std::string key;
        for (const char* source : kExpressions) {
            const Expression e(source, t.Layout());
            QVERIFY2(e.CopiesKey() == (kCopied.count(source) > 0), source);
            for (uint32_t r = 0; r < t.PhysicalCount(); ++r) {
                const RecordView v = t.ViewOf(r);
                e.Key(v, key);
                QCOMPARE(key, e.Evaluate(v).text);
                if (e.CopiesKey()) QCOMPARE(key.size(), e.CopiedKeyLength());
            }
        }
        // Keys of differing lengths compare as if the shorter were padded
        // with blanks: what follows a blank in the longer one decides.
        QCOMPARE(CompareKeys("ab c", "ab"), 1);
        QCOMPARE(CompareKeys("ab", "ab c"), -1);
        QCOMPARE(CompareKeys("ab \x01", "ab"), -1);
        QCOMPARE(CompareKeys("ab  ", "ab"), 0);
    }

    // A whole number past what a double counts exactly shows as the
    // double's value, not as a count that went round.
    void wholeNumbersPastTheDoublesCount() {
        Table t;
        t.SetDirectory(m_dir->path().toStdString());
        t.SetTableName("BIG");
        t.Create({FieldDef{"N", 'N', 20, 0}});
        t.Open();
        t.Append();
        t.SetText("N", "1");
        t.Post();
        t.Close();
        // As another program may write it: more than a 64-bit count holds.
        QByteArray data = testsupport::ReadAll(m_dir->filePath("BIG.DBF"));
        const int header = int(uchar(data[8])) | int(uchar(data[9])) << 8;
        data.replace(header + 1, 20, "99999999999999999999");
        testsupport::WriteAll(m_dir->filePath("BIG.DBF"), data);
        t.Open();
        QCOMPARE(t.GetText("N"), std::string("100000000000000000000"));
    }

    // Cuts take up to 65,535 characters, which a text joined from many
    // wide fields can pass.
    void cutsReachTheirLongestLength() {
        Table t;
        t.SetDirectory(m_dir->path().toStdString());
        t.SetTableName("WIDE");
        t.Create({FieldDef::String("A", 254)});
        t.Open();
        t.Append();
        t.SetText("A", std::string(254, 'w'));
        t.Post();
        std::string joined = "A";
        for (int i = 0; i < 258; ++i) joined += "+A";  // 259 × 254 = 65,786 characters
        std::string key;
        for (const char* cut : {"LEFT", "RIGHT"}) {
            const Expression e(std::string(cut) + "(" + joined + ",65535)", t.Layout());
            e.Key(t.ViewOf(0), key);
            QCOMPARE(key.size(), size_t(65535));
            QCOMPARE(e.Evaluate(t.ViewOf(0)).text.size(), size_t(65535));
        }
    }

    // Date arithmetic reaches the first and the last day of the calendar,
    // and a step past either is an error, not another date.
    void dateArithmeticStaysWithinTheCalendar() {
        Table t;
        CreateItemTable(t, m_dir->path());
        for (const char* date : {"12/30/9999", "01/02/0001"}) {
            t.Append();
            t.SetText("PurchDate", date);
            t.Post();
        }
        auto dtos = [&](uint32_t record, const char* source) -> std::string {
            try {
                return Expression(source, t.Layout()).Evaluate(t.ViewOf(record)).text;
            } catch (const EngineError& e) {
                return e.what();
            }
        };
        const std::string outside = "The date arithmetic leaves the years 1 to 9999.";
        QCOMPARE(dtos(0, "DTOS(PurchDate+1)"), std::string("99991231"));
        QCOMPARE(dtos(0, "DTOS(PurchDate+2)"), outside);
        QCOMPARE(dtos(1, "DTOS(PurchDate-1)"), std::string("00010101"));
        QCOMPARE(dtos(1, "DTOS(PurchDate-2)"), outside);
    }

    // Text is found within its padding at every width up to 64 and wherever
    // it lies: at the start, at the end, alone in the middle, with blanks of
    // its own inside, the field padded with blanks or with NULs (as some
    // programs pad) or both; a number with its padding on either side.
    void paddingIsTakenOffAtEveryWidth() {
        auto isPad = [](char c) { return c == ' ' || c == '\0'; };
        for (int width = 1; width <= 64; ++width) {
            const RecordLayout layout({FieldDef::String("TEXT", width), FieldDef{"AMOUNT", 'N', width, 0}}, 1252);
            for (int start = 0; start <= width; ++start) {
                for (int length : {1, 2, 17, width - start}) {
                    if (length < 0 || start + length > width) continue;
                    for (const std::string pad : {std::string(" "), std::string(1, '\0'), std::string(" \0", 2)}) {
                        std::string record(size_t(1 + 2 * width), ' ');
                        for (int i = 0; i < width; ++i)
                            record[size_t(1 + i)] = record[size_t(1 + width + i)] = pad[size_t(i) % pad.size()];
                        // Letters with a blank after every third; digits.
                        for (int i = 0; i < length; ++i) {
                            record[size_t(1 + start + i)] = i % 4 == 3 ? ' ' : char('a' + i % 26);
                            if (i < 9) record[size_t(1 + width + start + i)] = char('1' + i);
                        }
                        std::string text = record.substr(1, size_t(width));
                        while (!text.empty() && isPad(text.back())) text.pop_back();
                        const std::string digits = length == 0 ? "" : std::string("123456789").substr(0, size_t(std::min(length, 9)));
                        const RecordView v(record.data(), layout);
                        const QString where = QString("width %1, start %2, length %3, pad %4")
                                                  .arg(width).arg(start).arg(length).arg(int(pad.size() + pad[0]));
                        QVERIFY2(v.Text(0) == text, qPrintable(where + ": [" + QString::fromStdString(v.Text(0)) + "]"));
                        QVERIFY2(v.Text(1) == digits, qPrintable(where + ": [" + QString::fromStdString(v.Text(1)) + "]"));
                        QVERIFY2(v.IsBlank(0) == text.empty() && v.IsBlank(1) == digits.empty(), qPrintable(where));
                    }
                }
            }
        }
    }

    // STR at the edges of its width: at least one character, asterisks
    // when the number does not fit, as dBASE writes them.
    void strAtTheEdgesOfItsWidth() {
        Table t;
        CreateItemTable(t, m_dir->path());
        AppendItem(t, "x");
        const RecordView v = t.ViewOf(0);
        const std::pair<const char*, const char*> cases[] = {
            {"STR(5,0)", "5"},       {"STR(12,1)", "*"},        {"STR(123,3)", "123"}, {"STR(1234,3)", "***"},
            {"STR(1.5,5,1)", "  1.5"}, {"STR(0-2,3)", " -2"},    {"STR(7)", "         7"},
            {"STR(PurchDate - WarDate, 3)", "  0"},  // days from or to no date: none
        };
        for (const auto& [source, text] : cases) {
            std::string got;
            try {
                got = Expression(source, t.Layout()).Evaluate(v).text;
            } catch (const EngineError& e) {
                got = e.what();
            }
            QCOMPARE(QString::fromStdString(got) + " " + source, QString(text) + " " + source);
        }
    }

    // Day numbers and dates agree with Qt's calendar from 1600 to 2400:
    // every leap day, every century year, both ways.
    void dayNumbersAgreeWithAnIndependentCalendar() {
        const QDate epoch(1970, 1, 1);
        // The first years of the era too, whose January and February count
        // as the end of year 0.
        for (QDate d(1, 1, 1); d <= QDate(2400, 12, 31); d = d.year() == 3 ? QDate(1600, 1, 1) : d.addDays(1)) {
            const long days = long(epoch.daysTo(d));
            const Date mine = Date::FromDayNumber(days);
            if (mine.year != d.year() || mine.month != d.month() || mine.day != d.day() ||
                (Date{d.year(), d.month(), d.day()}.DayNumber() != days))
                QFAIL(qPrintable(d.toString(Qt::ISODate)));
        }
    }

    // A folder of slashes is the root, not the current folder.
    void theRootFolderStaysTheRoot() {
        Table t;
        for (const char* folder : {"/", "//", "/data/"}) {
            t.SetDirectory(folder);
            t.SetTableName("MASTER");
            QCOMPARE(t.DataFilePath(), std::string(folder) == "/data/" ? std::string("/data/MASTER.DBF") : std::string("/MASTER.DBF"));
        }
    }

    void badExpressionsAreClearErrors_data() {
        QTest::addColumn<QString>("expression");
        QTest::addColumn<QString>("why");
        QTest::newRow("unknown field") << "Upper(Colour)" << "the table has no field Colour.";
        QTest::newRow("unknown function") << "Shout(Item)" << "unknown function Shout.";
        QTest::newRow("unclosed") << "Upper(Item" << "a \")\" is missing after the arguments of Upper.";
        QTest::newRow("text plus number") << "Item+Cost" << "Operator + cannot join text and a number.";
        QTest::newRow("empty") << "" << "the expression is empty.";
        QTest::newRow("blanks only") << "   " << "the expression is empty.";
        QTest::newRow("a stray character after it") << "Item)" << "unexpected \")\".";
        QTest::newRow("a character no value starts with") << "Item+#" << "unexpected \"#\".";
        QTest::newRow("an argument of the wrong kind") << "Left(Cost, 2)"
                                                       << "Function LEFT expects text as argument 1, not a number.";
        QTest::newRow("the second argument of the wrong kind")
            << "Left(Item, Item)" << "Function LEFT expects a number as argument 2, not text.";
        QTest::newRow("a quote never closed") << "Item+'abc" << "a text literal is not closed.";
        QTest::newRow("too few arguments") << "Left(Item)" << "wrong number of arguments for Left.";
        QTest::newRow("no argument") << "Upper()" << "wrong number of arguments for Upper.";
        QTest::newRow("too many arguments") << "Upper(Item, Item)" << "wrong number of arguments for Upper.";
        // Shown whole up to 80 characters, longer ones by their start.
        const QString eighty = "Upper(Colour)" + QString("+Item").repeated(11) + QString("+Model").repeated(2);
        QTest::newRow("80 characters") << eighty << "the table has no field Colour.";
        QTest::newRow("81 characters") << eighty + " " << "the table has no field Colour.";
    }
    void badExpressionsAreClearErrors() {
        QFETCH(QString, expression);
        QFETCH(QString, why);
        Table t;
        CreateItemTable(t, m_dir->path());
        try {
            t.AddIndex("K", expression.toStdString());
            QFAIL("accepted");
        } catch (const EngineError& e) {
            const QString shown = expression.size() > 80 ? expression.left(60) + "..." : expression;
            QCOMPARE(QString(e.what()), QString("Invalid index expression \"%1\": %2").arg(shown, why));
        }
        QVERIFY(t.IndexNames().empty());
    }

    void exclusiveOpenFailsWhileAnotherHandleHoldsTheFile() {
        Table a, b;
        CreateItemTable(a, m_dir->path());
        b.SetDirectory(m_dir->path().toStdString());
        b.SetTableName("master");  // any letter case finds the file
        b.SetExclusive(true);
        QVERIFY_THROWS_EXCEPTION(EngineError, b.Open());
        a.Close();
        b.Open();
        QVERIFY(b.IsOpen());
        QVERIFY_THROWS_EXCEPTION(EngineError, a.Open());
    }

    void twoProcessesAppendingLoseNoRecord() {
        {
            Table t;
            CreateItemTable(t, m_dir->path());
        }
        const int perProcess = 150;
        pid_t children[2];
        for (int c = 0; c < 2; ++c) {
            children[c] = ::fork();
            if (children[c] == 0) {
                int code = 0;
                try {
                    Table t;
                    t.SetDirectory(m_dir->path().toStdString());
                    t.SetTableName("MASTER");
                    t.Open();
                    for (int i = 0; i < perProcess; ++i)
                        AppendItem(t, "p" + std::to_string(c) + "-" + std::to_string(i));
                    t.Close();
                } catch (const std::exception& e) {
                    std::fprintf(stderr, "appending process failed: %s\n", e.what());
                    code = 1;
                }
                ::_exit(code);
            }
        }
        for (pid_t p : children) {
            int status = 0;
            ::waitpid(p, &status, 0);
            QVERIFY(WIFEXITED(status) && WEXITSTATUS(status) == 0);
        }
        Table t;
        t.SetDirectory(m_dir->path().toStdString());
        t.SetTableName("MASTER");
        t.Open();
        QCOMPARE(t.RecordCount(), uint32_t(2 * perProcess));
        std::set<std::string> names;
        for (const auto& s : ItemsInOrder(t)) names.insert(s);
        QCOMPARE(names.size(), size_t(2 * perProcess));
    }

private:
    std::unique_ptr<QTemporaryDir> m_dir;
};

QTEST_GUILESS_MAIN(EngineTest)
#include "EngineTest.moc"
