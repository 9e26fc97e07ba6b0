// Bulk appends into a table ordered by a tag: the new records are merged
// into the tag's order in runs, which must give the order a rebuild gives
// (equal keys by record number, the last record, a read in the middle of a
// run, a run cut short by a full disk). The record being filled lies among
// the collected ones and must survive whatever writes them.

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QTemporaryDir>
#include <QTest>

#include <cstdio>
#include <memory>
#include <random>

#include "ChildRun.h"
#include "IndexFile.h"
#include "ItemTable.h"
#include "StoreTestSupport.h"

using namespace store;
using namespace testsupport;

namespace {

// Keys drawn from a few categories and items, in mixed letter case, so
// that equal keys are common.
struct KeyMaker {
    std::string style;  // "mixed", "equal", "outside"
    std::mt19937 rng{7};

    std::pair<std::string, std::string> Next(bool late) {
        static const char* kCats[] = {"Kitchen", "tools", "TOOLS", "Garden", "attic"};
        static const char* kItems[] = {"saw", "Saw", "pan", "lamp", "Axe", "zither", "Bench"};
        if (style == "equal") return {rng() % 2 ? "Same" : "SAME", rng() % 2 ? "thing" : "Thing"};
        if (style == "outside" && late) return {rng() % 2 ? "Aardvark" : "Zz top", kItems[rng() % 7]};
        return {kCats[rng() % 5], kItems[rng() % 7]};
    }
};

void Fill(Table& t, KeyMaker& keys, int count, bool late) {
    for (int i = 0; i < count; ++i) {
        const auto [category, item] = keys.Next(late);
        AppendItem(t, item, category);
    }
}

}  // namespace

class BulkAppendTest : public QObject {
    Q_OBJECT

private slots:
    void init() {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
    }

    void bulkAppendOrdersAsARebuildDoes_data() {
        QTest::addColumn<int>("existing");
        QTest::addColumn<int>("added");
        QTest::addColumn<QString>("style");
        QTest::addColumn<bool>("readHalfway");
        // A few new records find their places one by one; many are merged
        // in one walk.
        QTest::newRow("a few among many") << 3000 << 40 << "mixed" << false;
        QTest::newRow("many among a few") << 20 << 3000 << "mixed" << false;
        QTest::newRow("into an empty table") << 0 << 2000 << "mixed" << false;
        QTest::newRow("every key equal") << 500 << 1500 << "equal" << false;
        QTest::newRow("before and after every old key") << 800 << 900 << "outside" << false;
        QTest::newRow("read in the middle of the run") << 1000 << 3000 << "mixed" << true;
    }
    void bulkAppendOrdersAsARebuildDoes() {
        QFETCH(int, existing);
        QFETCH(int, added);
        QFETCH(QString, style);
        QFETCH(bool, readHalfway);
        KeyMaker keys{style.toStdString()};
        Table t;
        CreateItemTable(t, m_dir->path());
        t.AddIndex("NewIndex", kSortExpr);
        t.SetActiveIndex("NewIndex");
        Fill(t, keys, existing, false);
        t.BeginBulkAppend();
        for (int i = 0; i < added; ++i) {
            Fill(t, keys, 1, true);
            if (readHalfway && i == added / 2) QCOMPARE(WalkOrder(t), ReferenceOrder(t));
        }
        QCOMPARE(t.EndBulkAppend(), uint32_t(added));
        const std::vector<uint32_t> expected = ReferenceOrder(t);
        QCOMPARE(expected.size(), size_t(existing + added));
        QCOMPARE(WalkOrder(t), expected);
        // The index file holds the merged order, and a rebuild agrees.
        t.Close();
        t.Open();
        QCOMPARE(WalkOrder(t), expected);
        // Regenerating writes the index file at once, over whatever damaged it.
        QFile index(QString::fromStdString(t.IndexFilePath()));
        QVERIFY(index.open(QIODevice::WriteOnly));
        index.write("damaged");
        index.close();
        t.RegenerateIndexes();
        QCOMPARE(WalkOrder(t), expected);
        const auto written = store::ReadIndexFile(t.IndexFilePath());
        QVERIFY(written && written->ordersValid && written->tags.size() == 1);
        QVERIFY(written->tags[0].order == expected);
    }

    // With sole use nothing else maps the file again: appends that outgrow
    // the mapping's room for growth (64 MB and a quarter) must do it.
    void appendsPastTheMappingsRoomAreRead() {
        const std::string path = m_dir->filePath("WIDE.DBF").toStdString();
        Table t;
        PointAt(t, path);
        t.Create({store::FieldDef::String("TEXT", 250)});
        t.SetExclusive(true);
        t.Open();
        constexpr uint32_t kCount = 300000;  // 75 MB
        t.BeginBulkAppend();
        for (uint32_t i = 0; i < kCount; ++i) {
            t.Append();
            t.SetText("TEXT", "record " + std::to_string(i + 1));
            t.Post();
        }
        QCOMPARE(t.EndBulkAppend(), kCount);
        QCOMPARE(t.ViewOf(kCount - 1).Text(0), std::string("record 300000"));
        t.Append();
        t.SetText("TEXT", "one more");
        t.Post();
        QCOMPARE(t.ViewOf(kCount).Text(0), std::string("one more"));
    }

    void fullDiskInATaggedBulkAppendLeavesTheOrderRight() {
        const QString path = m_dir->filePath("MASTER.DBF");
        const auto [before, recordLength] = MakeTaggedTable(path, 300);
        const std::string report = AppendInChild(path, 10000, false, rlim_t(before + 5000 * recordLength));
        QVERIFY2(report.find("[in order]") != std::string::npos, report.c_str());
        unsigned written = 0, accepted = 0;
        const size_t only = report.find("Only ");
        QVERIFY2(only != std::string::npos &&
                     std::sscanf(report.c_str() + only, "Only %u of the %u", &written, &accepted) == 2,
                 report.c_str());
        QVERIFY2(written > 0 && written < accepted, report.c_str());

        Table t;
        PointAt(t, path.toStdString());
        t.SetActiveIndex("NewIndex");
        t.Open();
        QCOMPARE(t.RecordCount(), 300u + written);
        QCOMPARE(WalkOrder(t), ReferenceOrder(t));
        QCOMPARE(ReadWithDbfread(path)["records"].toArray().size(), 300 + int(written));
    }

    void recordBeingFilledSurvivesWhatWritesTheBatch() {
        Table t;
        CreateItemTable(t, m_dir->path());
        t.AddIndex("NewIndex", kSortExpr);
        t.SetActiveIndex("NewIndex");
        t.BeginBulkAppend();
        for (int i = 0; i < 10; ++i) AppendItem(t, "item " + std::to_string(i), "Misc");
        // A read writes the collected records; the one being filled stays.
        t.Append();
        t.SetText("Item", "kept");
        t.SetText("Brand", "Sony");
        QCOMPARE(t.RecordCount(), 10u);
        QVERIFY_THROWS_EXCEPTION(EngineError, t.SetText("Brand", std::string(21, 'x')));
        QVERIFY_THROWS_EXCEPTION(EngineError, t.SetText("Brand", "\xd0\x96uk"));
        QCOMPARE(t.GetText("Item"), std::string("kept"));
        QCOMPARE(t.GetText("Brand"), std::string("Sony"));
        t.Post();
        // A cancelled one leaves nothing behind.
        t.Append();
        t.SetText("Item", "cancelled");
        t.Cancel();
        AppendItem(t, "after", "Misc");
        // One still being filled when the run ends is posted on its own.
        t.Append();
        t.SetText("Item", "last");
        QCOMPARE(t.EndBulkAppend(), 12u);
        t.Post();
        QCOMPARE(t.RecordCount(), 13u);
        QCOMPARE(WalkOrder(t), ReferenceOrder(t));
        t.Close();

        const QJsonArray records = ReadWithDbfread(m_dir->filePath("MASTER.DBF"))["records"].toArray();
        QCOMPARE(records.size(), 13);
        QCOMPARE(records[10].toArray()[0].toString(), QString("kept"));
        QCOMPARE(records[10].toArray()[1].toString(), QString("Sony"));
        QCOMPARE(records[11].toArray()[0].toString(), QString("after"));
        QCOMPARE(records[12].toArray()[0].toString(), QString("last"));
    }

    // A run that is one change: nothing reaches the file or a reader before
    // its end, and a run dropped, closed unfinished or cut short by a full
    // disk leaves the file byte for byte as it was.
    void wholeRunIsWrittenAtItsEndOrNotAtAll_data() {
        QTest::addColumn<QString>("end");
        QTest::newRow("ended") << "end";
        QTest::newRow("discarded") << "discard";
        QTest::newRow("closed unfinished") << "close";
    }
    void wholeRunIsWrittenAtItsEndOrNotAtAll() {
        QFETCH(QString, end);
        const QString path = m_dir->filePath("MASTER.DBF");
        Table t;
        CreateItemTable(t, m_dir->path());
        t.AddIndex("NewIndex", kSortExpr);
        t.SetActiveIndex("NewIndex");
        KeyMaker keys{"mixed"};
        Fill(t, keys, 50, false);
        t.Close();
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray before = file.readAll();
        file.close();
        // The file the records wait in goes with the run, whatever ends it.
        auto descriptors = [] { return QDir("/proc/self/fd").entryList(QDir::AllEntries | QDir::NoDotAndDotDot).size(); };
        const qsizetype open = descriptors();

        t.Open();
        t.BeginBulkAppend(true);
        Fill(t, keys, 3000, true);  // many batches' worth
        QCOMPARE(t.RecordCount(), 50u);
        QCOMPARE(WalkOrder(t).size(), size_t(50));
        Table other;
        PointAt(other, path.toStdString());
        other.Open();
        QCOMPARE(other.RecordCount(), 50u);
        other.Close();
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), before);
        file.close();
        t.Append();
        t.SetText("Item", "being filled");

        if (end == "end") {
            QCOMPARE(t.EndBulkAppend(), 3000u);
            t.Post();
            QCOMPARE(t.RecordCount(), 3051u);
            QCOMPARE(WalkOrder(t), ReferenceOrder(t));
            t.Close();
            QCOMPARE(descriptors(), open);
            QCOMPARE(ReadWithDbfread(path)["records"].toArray().size(), 3051);
            return;
        }
        if (end == "discard") {
            t.DiscardBulkAppend();
            QCOMPARE(t.CurrentState(), Table::State::Browse);
            // The handle works on as before, one record at a time.
            AppendItem(t, "after", "Misc");
            QCOMPARE(t.RecordCount(), 51u);
            t.Close();
            QCOMPARE(descriptors(), open);
            QCOMPARE(ReadWithDbfread(path)["records"].toArray().size(), 51);
            return;
        }
        t.Close();
        QCOMPARE(descriptors(), open);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), before);
    }

    // A full disk while the records are collected, or when they go in at
    // the end: the file stays as it was, and the message says which.
    void fullDiskInAWholeRunWritesNone_data() {
        QTest::addColumn<int>("existing");
        QTest::addColumn<int>("added");
        QTest::addColumn<int>("room");  // records' worth of bytes the file may grow by
        QTest::addColumn<QString>("says");
        QTest::newRow("while collected") << 300 << 10000 << 5000 << "Cannot keep the new records beside \"";
        QTest::newRow("at the end") << 2000 << 2500 << 1000 << "Only 0 of the 2500 new records were written";
    }
    void fullDiskInAWholeRunWritesNone() {
        QFETCH(int, existing);
        QFETCH(int, added);
        QFETCH(int, room);
        QFETCH(QString, says);
        const QString path = m_dir->filePath("MASTER.DBF");
        const auto [before, recordLength] = MakeTaggedTable(path, existing);
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray bytes = file.readAll();
        file.close();
        const std::string report = AppendInChild(path, added, true, rlim_t(before + room * recordLength), existing);
        QVERIFY2(report.find(says.toStdString()) != std::string::npos, report.c_str());
        QVERIFY2(report.find("[in order]") != std::string::npos, report.c_str());
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), bytes);
        // Nothing of the run is left in the folder.
        QCOMPARE(QDir(m_dir->path()).entryList(QDir::Files | QDir::Hidden), (QStringList{"MASTER.DBF", "MASTER.MDX"}));
    }

private:
    // A tagged item table of existing records; its size in bytes and its
    // record length.
    std::pair<qint64, int> MakeTaggedTable(const QString& path, int existing) {
        Table t;
        CreateItemTable(t, m_dir->path());
        t.AddIndex("NewIndex", kSortExpr);
        KeyMaker keys{"mixed"};
        Fill(t, keys, existing, false);
        const int recordLength = t.Layout().RecordLength();
        t.Close();
        return {QFileInfo(path).size(), recordLength};
    }

    // Appends added records in one bulk run in a child whose files may not
    // grow past limit bytes: the engine's message (or "no error") and
    // whether the tag's order is right afterwards, " [in order]" or
    // " [out of order]"; with expected set, also whether that many records
    // are there.
    static std::string AppendInChild(const QString& path, int added, bool whole, rlim_t limit, int expected = -1) {
        return RunInChild(
            [&] {
                Table t;
                PointAt(t, path.toStdString());
                t.SetActiveIndex("NewIndex");
                t.Open();
                KeyMaker keys{"outside"};
                std::string error = "no error";
                try {
                    t.BeginBulkAppend(whole);
                    Fill(t, keys, added, true);
                    t.EndBulkAppend();
                } catch (const EngineError& e) {
                    error = e.what();
                    if (whole) t.DiscardBulkAppend();
                }
                // What stayed is in order at once and after the index is saved.
                const bool ordered =
                    WalkOrder(t) == ReferenceOrder(t) && (expected < 0 || t.RecordCount() == uint32_t(expected));
                t.Close();
                return error + (ordered ? " [in order]" : " [out of order]");
            },
            ChildOptions{false, limit});
    }

    std::unique_ptr<QTemporaryDir> m_dir;
};

QTEST_GUILESS_MAIN(BulkAppendTest)
#include "BulkAppendTest.moc"
