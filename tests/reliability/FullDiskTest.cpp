// A full disk in the middle of every command that writes: append, bulk
// append, pack, index build, export to text and to dBASE, import from text
// and from dBASE. The disk fills for real (a file size limit in a child
// process). Each time the user gets a message that says what failed, the
// files that were there are whole (unchanged, or changed only by whole
// records the message counts), nothing temporary is left, and the table
// opens afterwards and reads the same in an independent reader.

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QTemporaryDir>
#include <QTest>

#include <cstdio>
#include <functional>

#include "ChildRun.h"
#include "ExportEngine.h"
#include "ImportEngine.h"
#include "ItemTable.h"
#include "StoreTestSupport.h"
#include "TableInvariants.h"

using namespace store;
using namespace testsupport;

namespace {

constexpr int kRecords = 2000;

QByteArray ReadAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void WriteText(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    if (f.open(QIODevice::WriteOnly | QIODevice::Truncate)) f.write(bytes);
}

std::string Outcome(const exchange::RunResult& r) {
    if (r.outcome == exchange::Outcome::Completed) return "completed";
    return "failed " + std::to_string(r.records) + ": " + r.message;
}

}  // namespace

class FullDiskTest : public QObject {
    Q_OBJECT

private slots:
    void init() {
        m_dir = std::make_unique<QTemporaryDir>();
        m_data = QDir(m_dir->path()).filePath("MASTER.DBF");
        m_index = QDir(m_dir->path()).filePath("MASTER.MDX");
        Table t;
        CreateItemTable(t, m_dir->path());
        t.BeginBulkAppend();
        for (int i = 0; i < kRecords; ++i) AppendItem(t, "item " + std::to_string(i), i % 2 ? "Odd" : "Even", "1.5");
        t.EndBulkAppend();
        // Every other record deleted, so that a pack has work to do.
        for (t.First(); !t.Eof(); t.Next()) {
            if (t.GetText("Category") == "Odd") t.Delete();
            if (t.Eof()) break;
        }
        t.AddIndex("ITEM", "UPPER(ITEM)");
        t.Close();
        m_live = kRecords / 2;
    }

    void fullDiskLeavesFilesWholeAndSaysWhy_data() {
        QTest::addColumn<QString>("command");
        QTest::addColumn<bool>("tableUnchanged");
        QTest::addColumn<bool>("indexUnchanged");
        QTest::newRow("append") << "append" << true << true;
        QTest::newRow("bulk append") << "bulk append" << false << false;
        QTest::newRow("pack") << "pack" << true << true;
        QTest::newRow("index build") << "index build" << true << true;
        QTest::newRow("export to text") << "export text" << true << true;
        QTest::newRow("export to dBASE") << "export dbase" << true << true;
        QTest::newRow("import from text") << "import text" << false << false;
        QTest::newRow("import from dBASE") << "import dbase" << false << false;
    }

    void fullDiskLeavesFilesWholeAndSaysWhy() {
        QFETCH(QString, command);
        QFETCH(bool, tableUnchanged);
        QFETCH(bool, indexUnchanged);
        const QDir dir(m_dir->path());
        const std::string path = m_data.toStdString();
        const QByteArray dataBefore = ReadAll(m_data), indexBefore = ReadAll(m_index);
        const qint64 recordLength = uint8_t(dataBefore[10]) | (uint8_t(dataBefore[11]) << 8);
        // Room for part of what the command writes: the limit lies beyond
        // the table for commands that grow it, below it for the others
        // (which only write other files, or the header within the limit).
        rlim_t limit = rlim_t(dataBefore.size() + 6000 * recordLength);
        const QString target = dir.filePath(command.endsWith("dbase") ? "OUT.DBF" : "out.txt");
        const QString source = dir.filePath(command.endsWith("dbase") ? "SOURCE.DBF" : "source.txt");
        if (command.startsWith("export")) WriteText(target, "what was there before\r\n");
        if (command == "import text") {
            QByteArray text = "\"Item\",\"Category\"\r\n";
            for (int i = 0; i < 10000; ++i) text += "\"imported " + QByteArray::number(i) + "\",\"New\"\r\n";
            WriteText(source, text);
        }
        if (command == "import dbase") {
            Table s;
            CreateItemTable(s, m_dir->path(), "SOURCE");
            s.BeginBulkAppend();
            for (int i = 0; i < 10000; ++i) AppendItem(s, "imported " + std::to_string(i), "New");
            s.EndBulkAppend();
        }
        if (command == "pack" || command == "index build" || command.startsWith("export")) limit = 4096;
        if (command == "append") limit = rlim_t(dataBefore.size() + 100);
        const QByteArray targetBefore = ReadAll(target);

        const std::string report = RunInChild(
            [&]() -> std::string {
                Table t;
                PointAt(t, path);
                t.SetExclusive(command == "pack");
                t.Open();
                if (command == "append") {
                    AppendItem(t, "one more");
                } else if (command == "bulk append") {
                    t.BeginBulkAppend();
                    for (int i = 0; i < 10000; ++i) AppendItem(t, "bulk " + std::to_string(i));
                    t.EndBulkAppend();
                } else if (command == "pack") {
                    t.Pack();
                } else if (command == "index build") {
                    t.AddIndex("CATEGORY", "UPPER(CATEGORY)+UPPER(ITEM)");
                    return t.Notice().empty() ? "built" : "notice: " + t.Notice();
                } else if (command == "export text") {
                    return Outcome(exchange::ExportText(t, {target.toStdString(), {1, 12}, {"Item", "Category"}}, {}));
                } else if (command == "export dbase") {
                    return Outcome(exchange::ExportDbf(t, {target.toStdString(), {1, 12}, {}}, {}));
                } else {
                    exchange::ImportRequest request;
                    request.path = source.toStdString();
                    if (command == "import text") {
                        request.map = {1, 12};
                        return Outcome(exchange::ImportText(t, request, {}));
                    }
                    request.map = exchange::MapByName(exchange::ExamineDbfSource(request.path).names);
                    return Outcome(exchange::ImportDbf(t, request, {}));
                }
                return "done";
            },
            ChildOptions{false, limit, 120});

        // One clear message: what could not be written, and why.
        QVERIFY2(report.rfind("error: ", 0) == 0 || report.rfind("failed ", 0) == 0 || report.rfind("notice: ", 0) == 0,
                 report.c_str());
        QVERIFY2(report.find("File too large") != std::string::npos, report.c_str());
        if (tableUnchanged) QVERIFY(ReadAll(m_data) == dataBefore);
        if (indexUnchanged) QVERIFY(ReadAll(m_index) == indexBefore);
        if (command.startsWith("export")) QCOMPARE(ReadAll(target), targetBefore);

        // Whatever was added came in whole records, and the message counts them.
        uint32_t added = 0;
        // Records go in batches: those of the batches before the one that
        // failed stay, within the room the limit left.
        if (command == "bulk append") {
            unsigned accepted = 0;
            const size_t only = report.find("Only ");
            QVERIFY2(only != std::string::npos &&
                         std::sscanf(report.c_str() + only, "Only %u of the %u new records were written", &added,
                                     &accepted) == 2,
                     report.c_str());
            QVERIFY2(added > 0 && added < accepted && accepted <= 10000, report.c_str());
        }
        if (command.startsWith("import")) {
            added = uint32_t(std::stoul(report.substr(7)));
            QVERIFY2(added > 0, report.c_str());
            QVERIFY2(report.find(std::to_string(added) + " records were imported before it") != std::string::npos,
                     report.c_str());
        }
        QVERIFY(added <= 6000);

        const QStringList leftOver = dir.entryList(QDir::Files | QDir::Hidden);
        for (const QString& name : leftOver)
            QVERIFY2(QStringList({"MASTER.DBF", "MASTER.MDX", "SOURCE.DBF", "SOURCE.MDX", "source.txt", "out.txt",
                                  "OUT.DBF"})
                         .contains(name),
                     qPrintable("left behind: " + name));

        const std::string shape = FileShapeProblem(path, false);
        QVERIFY2(shape.empty(), shape.c_str());
        Table t;
        PointAt(t, path);
        t.Open();
        QVERIFY2(t.Notice().empty(), t.Notice().c_str());
        QCOMPARE(t.RecordCount(), m_live + added);
        const std::string order = TagOrderProblem(t);
        QVERIFY2(order.empty(), order.c_str());
        t.Close();
        QCOMPARE(uint32_t(ReadWithDbfread(m_data)["records"].toArray().size()), m_live + added);
    }

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_data, m_index;
    uint32_t m_live = 0;
};

QTEST_GUILESS_MAIN(FullDiskTest)
#include "FullDiskTest.moc"
