// The table check on files damaged in every way it looks for, and on
// randomly damaged files (also under the sanitizers): each finding named,
// nothing written, never a crash.

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>
#include <algorithm>
#include <cctype>
#include <numeric>
#include <random>

#include "DbfFile.h"
#include "Expression.h"
#include "FileBytes.h"
#include "IndexKey.h"
#include "IndexFile.h"
#include "ItemSchema.h"
#include "ItemTable.h"
#include "Table.h"
#include "TableCheck.h"

using store::IndexState;

namespace {

using testsupport::ReadAll;
using testsupport::WriteAll;

// Ten items with a tag on Item, two of them deleted.
void MakeTable(const std::string& path) {
    store::Table t;
    store::PointAt(t, path);
    t.Create(store::ItemTableFieldDefs());
    t.Open();
    for (int i = 0; i < 10; ++i) {
        t.Append();
        t.SetText("Item", std::string(1, char('J' - i)) + " thing");
        t.SetText("Cost", std::to_string(i) + ".5");
        t.SetText("PurchDate", "02/29/2000");
        t.Post();
    }
    t.AddIndex("ByItem", "UPPER(Item)");
    t.GoTo(2);
    t.Delete();
    t.GoTo(7);
    t.Delete();
}

bool Mentions(const store::TableCheckReport& r, const QString& text) {
    for (const std::string& p : r.problems)
        if (QString::fromStdString(p).contains(text)) return true;
    return false;
}

bool Notes(const store::TableCheckReport& r, const QString& text) {
    for (const std::string& n : r.notes)
        if (QString::fromStdString(n).contains(text)) return true;
    return false;
}

}  // namespace

class TableCheckTest : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_data, m_index;

private slots:
    void init() {
        m_dir = std::make_unique<QTemporaryDir>();
        m_data = m_dir->filePath("ITEMS.DBF");
        m_index = m_dir->filePath("ITEMS.MDX");
        MakeTable(m_data.toStdString());
    }

    void goodTableIsCountedAndPasses() {
        // Told how far it is every 65536 records and once at the end: a
        // small table runs through to the one call at its end.
        std::vector<std::pair<uint64_t, uint64_t>> told;
        const auto r = store::CheckTableFiles(m_data.toStdString(), [&](uint64_t done, uint64_t all) {
            told.emplace_back(done, all);
            return true;
        });
        QCOMPARE(told, (std::vector<std::pair<uint64_t, uint64_t>>{{10, 10}}));
        QVERIFY2(r.Ok(), r.problems.empty() ? "" : r.problems.front().c_str());
        QVERIFY(r.opened && r.itemTable);
        QCOMPARE(r.records, 10u);
        QCOMPARE(r.deleted, 2u);
        QCOMPARE(int(r.index), int(IndexState::UpToDate));
        QCOMPARE(r.tags, std::vector<std::string>{"ByItem"});
        QVERIFY(r.notes.empty());
        // The engine takes the index as it stands, deleted records and all.
        store::Table t;
        store::PointAt(t, m_data.toStdString());
        t.Open();
        QVERIFY(!t.SortedAtOpen());
        QCOMPARE(t.RecordCount(), 8u);
    }

    // Orders and deleted lists that disagree with the data while the file
    // state still matches: only looking at the records tells.
    void indexThatLiesAboutTheDataIsDamaged_data() {
        QTest::addColumn<int>("lie");
        QTest::addColumn<QString>("found");
        QTest::newRow("two records swapped") << 0 << "is out of order";
        QTest::newRow("a record twice") << 1 << "is listed twice";
        QTest::newRow("a record missing") << 2 << "orders 9 records, the table has 10";
        QTest::newRow("deleted list") << 3 << "other records as deleted";
        QTest::newRow("equal keys against record order") << 4 << "record 1 is out of order (after record 2)";
        QTest::newRow("a record past the last") << 5 << "record 11 is listed twice or does not exist.";
    }
    void indexThatLiesAboutTheDataIsDamaged() {
        QFETCH(int, lie);
        QFETCH(QString, found);
        if (lie == 4) {
            // Two items of one key: listed by record number, which passes.
            store::Table t;
            store::PointAt(t, m_data.toStdString());
            t.Open();
            for (uint32_t r : {0u, 1u}) {
                t.GoTo(r);
                t.Edit();
                t.SetText("Item", "Same thing");
                t.Post();
            }
            t.Close();
            QVERIFY(store::CheckTableFiles(m_data.toStdString()).Ok());
        }
        auto content = store::ReadIndexFile(m_index.toStdString());
        QVERIFY(content && content->ordersValid);
        auto& order = content->tags.at(0).order;
        if (lie == 4) {
            const auto first = std::find(order.begin(), order.end(), 0u);
            QVERIFY(first != order.end() && first + 1 != order.end() && first[1] == 1u);
            std::swap(first[0], first[1]);
        }
        if (lie == 0) std::swap(order[3], order[4]);
        if (lie == 1) order[5] = order[6];
        if (lie == 2) order.pop_back();
        if (lie == 3) content->deleted = {2};
        if (lie == 5) order[0] = 10;
        store::WriteIndexFile(m_index.toStdString(), *content);
        const QByteArray data = ReadAll(m_data), index = ReadAll(m_index);
        const auto r = store::CheckTableFiles(m_data.toStdString());
        QCOMPARE(int(r.index), int(IndexState::Damaged));
        QVERIFY2(Mentions(r, found), r.problems.empty() ? "" : r.problems.front().c_str());
        QCOMPARE(ReadAll(m_data), data);
        QCOMPARE(ReadAll(m_index), index);
    }

    void indexFileStates() {
        // Gone while the header still announces it.
        QVERIFY(QFile::remove(m_index));
        auto r = store::CheckTableFiles(m_data.toStdString());
        QCOMPARE(int(r.index), int(IndexState::Missing));
        QVERIFY(!r.Ok());
        // Empty: what an interrupted write leaves.
        WriteAll(m_index, {});
        r = store::CheckTableFiles(m_data.toStdString());
        QCOMPARE(int(r.index), int(IndexState::Damaged));
        // Another program's (48 tag entries of 32 bytes, a name): a note only.
        QByteArray foreign(2048, '\0');
        foreign[0] = 2;
        foreign.replace(4, 5, "ITEMS");
        foreign[25] = 48;
        foreign[26] = 32;
        WriteAll(m_index, foreign);
        r = store::CheckTableFiles(m_data.toStdString());
        QCOMPARE(int(r.index), int(IndexState::Foreign));
        QVERIFY(r.Ok());
        QVERIFY(Notes(r, "another program"));
    }

    // A copy's deletion flags are read in the pass that makes the keys of
    // its first tag, whether the keys are copied from the record or worked
    // out: the deleted records stay out, an append cut short before its
    // last byte is made whole, and nothing is sorted again. An order
    // refused before any key is made leaves the flags to a pass of their own.
    void copysFlagsAreReadWithItsKeys() {
        const std::pair<const char*, bool> cases[] = {
            {"UPPER(Item)", false}, {"TRIM(Item)+STR(Cost,10,2)", false}, {"UPPER(Item)", true}};
        for (const auto& [expression, listedTwice] : cases) {
            store::Table t;
            store::PointAt(t, m_data.toStdString());
            t.Open();
            t.AddIndex("First", expression);
            t.DeleteIndex("ByItem");  // the only tag, so the first
            t.Close();
            QByteArray data = ReadAll(m_data);
            const int header = int(uchar(data[8])) | int(uchar(data[9])) << 8;
            const int length = int(uchar(data[10])) | int(uchar(data[11])) << 8;
            data[header + 5 * length] = '\x1A';  // record 6's append killed before its last byte
            const QString copy = m_dir->filePath("copy/ITEMS.DBF"), copyIndex = m_dir->filePath("copy/ITEMS.MDX");
            QVERIFY(QDir().mkpath(m_dir->filePath("copy")));
            WriteAll(copy, data);
            WriteAll(copyIndex, ReadAll(m_index));
            if (listedTwice) {
                auto content = store::ReadIndexFile(copyIndex.toStdString());
                QVERIFY(content && content->ordersValid);
                content->tags.at(0).order[5] = content->tags.at(0).order[6];
                store::WriteIndexFile(copyIndex.toStdString(), *content);
            }
            store::PointAt(t, copy.toStdString());
            t.SetActiveIndex("First");
            t.Open();
            QCOMPARE(t.SortedAtOpen(), listedTwice);
            QStringList items;
            for (t.First(); !t.Eof(); t.Next()) items << QString::fromStdString(t.GetText("Item")).left(1);
            QCOMPARE(items, (QStringList{"A", "B", "D", "E", "F", "G", "I", "J"}));
            t.Close();
            init();
        }
    }

    // A copy of the table and its index has a time of its own: the index
    // still describes the records, so the check calls it up to date and the
    // engine uses it (writing it again with the copy's state); a copy whose
    // keys another program changed in place is stale for both, and the
    // engine orders it afresh.
    void copiedTableKeepsItsIndex_data() {
        QTest::addColumn<bool>("keysChanged");
        QTest::addColumn<bool>("deletedInPlace");
        QTest::newRow("plain copy") << false << false;
        QTest::newRow("keys changed in place") << true << false;
        QTest::newRow("a record deleted in place") << false << true;
    }
    void copiedTableKeepsItsIndex() {
        QFETCH(bool, keysChanged);
        QFETCH(bool, deletedInPlace);
        const bool stale = keysChanged || deletedInPlace;
        const QString copy = m_dir->filePath("copy/ITEMS.DBF"), copyIndex = m_dir->filePath("copy/ITEMS.MDX");
        QVERIFY(QDir().mkpath(m_dir->filePath("copy")));
        QByteArray data = ReadAll(m_data);
        if (keysChanged) {
            // The first record's Item "J thing" becomes "A thing": same size,
            // same count, another order.
            const int header = int(uchar(data[8])) | int(uchar(data[9])) << 8;
            data[header + 1] = 'A';
        }
        if (deletedInPlace) {
            // The first record ("J thing") marked deleted: same size.
            const int header = int(uchar(data[8])) | int(uchar(data[9])) << 8;
            data[header] = '*';
        }
        WriteAll(copy, data);
        WriteAll(copyIndex, ReadAll(m_index));
        {
            QFile file(copy);
            QVERIFY(file.open(QIODevice::ReadWrite));
            QVERIFY(file.setFileTime(QDateTime::currentDateTime().addSecs(3600), QFileDevice::FileModificationTime));
        }
        const auto r = store::CheckTableFiles(copy.toStdString());
        QCOMPARE(int(r.index), int(stale ? IndexState::Stale : IndexState::UpToDate));
        QCOMPARE(r.Ok(), !stale);

        const QByteArray indexBefore = ReadAll(copyIndex);
        {
            store::Table t;
            store::PointAt(t, copy.toStdString());
            t.SetActiveIndex("ByItem");
            t.Open();
            QCOMPARE(t.SortedAtOpen(), stale);
            // A copy's index that describes it is written again at the next
            // save, not while the open is waited for.
            if (!stale) QCOMPARE(ReadAll(copyIndex), indexBefore);
            QStringList items;
            for (t.First(); !t.Eof(); t.Next()) items << QString::fromStdString(t.GetText("Item")).left(1);
            QCOMPARE(items.join(""), QString(keysChanged ? "AABDEFGI" : deletedInPlace ? "ABDEFGI" : "ABDEFGIJ"));
        }
        // Written again for the copy's state either way: the next check and
        // open find it up to date.
        QVERIFY(ReadAll(copyIndex) != indexBefore);
        QCOMPARE(int(store::CheckTableFiles(copy.toStdString()).index), int(IndexState::UpToDate));
    }

    // What other programs and interrupted appends leave after the records.
    void endOfFile() {
        QByteArray data = ReadAll(m_data);
        QCOMPARE(data.back(), '\x1A');
        QByteArray noMark = data;
        noMark.chop(1);
        WriteAll(m_data, noMark);
        auto r = store::CheckTableFiles(m_data.toStdString());
        QVERIFY(Notes(r, "no end-of-file mark"));
        WriteAll(m_data, data + QByteArray(30, 'x'));
        r = store::CheckTableFiles(m_data.toStdString());
        QVERIFY(Notes(r, "30 bytes follow the end-of-file mark"));
        // A counted record still flagged with the mark: its append never ended.
        const int length = int(uchar(data[10])) | int(uchar(data[11])) << 8;
        data[data.size() - 1 - length] = '\x1A';
        WriteAll(m_data, data);
        r = store::CheckTableFiles(m_data.toStdString());
        QVERIFY(Notes(r, "Record 10 is the remains of an interrupted append"));
        QCOMPARE(r.deleted, 3u);
    }

    // Many damaged values: each counted, ten listed and the rest summed up.
    void manyProblemsAreCountedAndListedShortly() {
        {
            store::Table t;
            store::PointAt(t, m_data.toStdString());
            t.Open();
            for (int i = 0; i < 30; ++i) {
                t.Append();
                t.SetText("Item", "more");
                t.Post();
            }
        }
        QByteArray data = ReadAll(m_data);
        const int header = int(uchar(data[8])) | int(uchar(data[9])) << 8;
        const int length = int(uchar(data[10])) | int(uchar(data[11])) << 8;
        const int costAt = 1 + 40 + 20 + 20 + 20 + 30 + 110 + 40 + 60 + 11 + 8;
        for (int r = 0; r < 40; ++r)
            if (r != 2 && r != 7) data.replace(header + r * length + costAt, 20, QByteArray(18, ' ') + "??");
        WriteAll(m_data, data);
        const auto r = store::CheckTableFiles(m_data.toStdString());
        // The index, written before the file was, still describes it: Cost is
        // in no key.
        QCOMPARE(r.problemCount, 38u);
        QCOMPARE(r.index, store::IndexState::UpToDate);
        QVERIFY(Mentions(r, "and 28 more values that cannot be read"));
        QVERIFY(r.problems.size() <= 12u);
    }

    // Any damage to header or records: a report, never a crash or a read
    // past the file (the sanitizer build runs this too).
    void randomDamageNeverBreaksTheCheck() {
        const QByteArray good = ReadAll(m_data);
        std::mt19937 rng(19);
        for (int round = 0; round < 400; ++round) {
            QByteArray bad = good;
            const int flips = 1 + int(rng() % 8);
            for (int i = 0; i < flips; ++i) {
                const int at = int(rng() % (round % 2 ? 64u : uint32_t(bad.size())));
                bad[at] = char(rng());
            }
            if (round % 7 == 0) bad.truncate(int(rng() % uint32_t(bad.size())));
            WriteAll(m_data, bad);
            const auto r = store::CheckTableFiles(m_data.toStdString());
            QVERIFY(r.opened || !r.problems.empty());
            QCOMPARE(ReadAll(m_data), bad);
        }
    }

    // Long enough to be keyed in two halves at once: the tag built is the
    // one a stable sort gives (equal keys by record number, across the
    // middle too), and a disagreement is found in either half and between
    // the two records either side of the middle, the first one named.
    void longOrdersAreKeyedAndCheckedInHalves() {
        const std::string path = m_dir->filePath("LONG.DBF").toStdString();
        constexpr uint32_t kCount = (1u << 17) + 7;
        std::vector<std::string> keys(kCount);
        {
            store::Table t;
            store::PointAt(t, path);
            t.Create({store::FieldDef::String("NAME", 6), store::FieldDef::String("CAT", 2)});
            t.Open();
            t.BeginBulkAppend();
            std::mt19937 rng(5);
            for (uint32_t i = 0; i < kCount; ++i) {
                const char cat = "aBc"[rng() % 3];
                t.Append();
                t.SetText("NAME", std::to_string(rng() % 100000));
                t.SetText("CAT", std::string(1, cat));
                t.Post();
                keys[i] = std::string(1, char(std::toupper(cat))) + " ";
            }
            t.EndBulkAppend();
            t.AddIndex("BYCAT", "UPPER(CAT)");
            t.AddIndex("BYNAME", "TRIM(NAME)+CAT");
        }
        std::vector<uint32_t> expected(kCount);
        std::iota(expected.begin(), expected.end(), 0u);
        std::stable_sort(expected.begin(), expected.end(), [&](uint32_t a, uint32_t b) { return keys[a] < keys[b]; });
        const auto content = store::ReadIndexFile(store::IndexPathFor(path));
        QVERIFY(content && content->ordersValid && content->tags.size() == 2);
        QVERIFY(content->tags[0].order == expected);

        store::DbfFile file;
        file.Open(path, store::DbfFile::Access::ReadOnly);
        const store::Expression byName("TRIM(NAME)+CAT", file.Layout());
        QCOMPARE(store::CheckKeyOrder(file, byName, content->tags[1].order), std::string());
        const store::Expression byCat("UPPER(CAT)", file.Layout());
        QCOMPARE(store::CheckKeyOrder(file, byCat, expected), std::string());
        const auto lastOf = [&](char cat) {
            return uint32_t(std::count_if(keys.begin(), keys.end(), [&](const std::string& k) { return k[0] <= cat; }) - 1);
        };
        const uint32_t lastA = lastOf('A'), lastB = lastOf('B'), half = kCount / 2;
        QVERIFY(lastA + 1 < half && half < lastB);
        const auto swapped = [&](std::vector<uint32_t> order, std::initializer_list<uint32_t> at) {
            for (uint32_t i : at) std::swap(order[i], order[i + 1]);
            return store::CheckKeyOrder(file, byCat, order);
        };
        const auto outOfOrder = [&](uint32_t at, uint32_t after) {
            return "record " + std::to_string(at + 1) + " is out of order (after record " + std::to_string(after + 1) + ").";
        };
        QCOMPARE(swapped(expected, {lastA, lastB}), outOfOrder(expected[lastA], expected[lastA + 1]));
        QCOMPARE(swapped(expected, {lastB}), outOfOrder(expected[lastB], expected[lastB + 1]));
        QCOMPARE(swapped(expected, {half - 1}), outOfOrder(expected[half - 1], expected[half]));
        std::vector<uint32_t> pastTheLast = expected;
        pastTheLast[7] = kCount;
        QCOMPARE(store::CheckKeyOrder(file, byCat, pastTheLast),
                 "record " + std::to_string(kCount + 1) + " is listed twice or does not exist.");

        // The flags are read in halves too: an append cut short before its
        // first byte, in either half, is still made whole at the open.
        for (const uint32_t r : {kCount - 1, 5u}) {
            QByteArray data = ReadAll(QString::fromStdString(path));
            const int header = int(uchar(data[8])) | int(uchar(data[9])) << 8;
            const int at = header + int(r) * (int(uchar(data[10])) | int(uchar(data[11])) << 8);
            data[at] = '\x1A';
            WriteAll(QString::fromStdString(path), data);
            store::Table t;
            store::PointAt(t, path);
            t.Open();
            QCOMPARE(t.RecordCount(), kCount);
            QCOMPARE(ReadAll(QString::fromStdString(path))[at], ' ');
            QVERIFY(!t.SortedAtOpen());  // the index still describes the records
        }
    }
};

QTEST_MAIN(TableCheckTest)
#include "TableCheckTest.moc"
