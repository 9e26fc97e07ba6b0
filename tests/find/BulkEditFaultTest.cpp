// Many items changed at once on a disk that fills up: a child process sets
// fields on records in several runs, or undoes an import of more records
// than one write of the undo takes, with the shim making its Nth write fail
// (ENOSPC), for every N until one goes through. Each time the records must
// hold exactly the bytes they held before, or exactly the new ones.

#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>
#include <cstdio>
#include <cstring>

#include "BulkEdit.h"
#include "ChangeLog.h"
#include "FileBytes.h"
#include "ItemSchema.h"
#include "ItemTable.h"
#include "Table.h"

namespace {

constexpr int kRecords = 60;
// Three runs of neighbours and a record on its own, the last among them.
const std::vector<uint32_t> kChosen{2, 3, 4, 10, 20, 21, 22, 23, 24, 25, kRecords - 1};

constexpr uint32_t kImported = 140000;  // three slices of the undo

int Child(const char* path, bool undoImport) {
    try {
        store::Table table;
        store::PointAt(table, path);
        table.Open();
        if (undoImport) {
            // The log an import of every record but the first would leave,
            // with the first edited too (its Item was "Before").
            store::ChangeLog log;
            log.Appended(1, kImported);
            std::string before(table.ViewOf(0).Data(), size_t(table.Layout().RecordLength()));
            table.FormatField(table.NeedField("Item"), "Before", before.data());
            log.Edited(0, before.data(), before.size());
            log.Seal(table);
            find::Undo(table, log);
        } else {
            find::SetFields(table, find::Select(table, kChosen),
                            {{table.NeedField("Location"), "Attic"}, {table.NeedField("Cost"), "7.50"}});
        }
        table.Close();
    } catch (const store::EngineError& e) {
        std::printf("%s\n", e.what());
        return 3;
    }
    return 0;
}

// Runs the child (mode "edit" or "undo") with its nth write failing;
// returns its exit code and what it said.
std::pair<int, QString> RunChild(const QString& path, const char* mode, int n) {
    QProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("LD_PRELOAD", HALVENOR_KILL_SHIM);
    env.insert("HALVENOR_FAIL_AT", QString::number(n));
    child.setProcessEnvironment(env);
    child.start(QCoreApplication::applicationFilePath(), {"--child", path, mode});
    if (!child.waitForFinished(60000)) return {-1, "the child did not finish"};
    return {child.exitCode(), QString::fromUtf8(child.readAllStandardOutput()).trimmed()};
}

// The header's length, from its bytes 8 and 9.
qsizetype HeaderLength(const QByteArray& file) {
    return qsizetype(uint8_t(file.at(8))) | (qsizetype(uint8_t(file.at(9))) << 8);
}

// The records' part of the data file.
QByteArray Records(const QByteArray& file, int recordLength) {
    const qsizetype bytes = qsizetype(kRecords) * recordLength;
    return file.mid(file.size() - bytes - 1, bytes);
}

}  // namespace

class BulkEditFaultTest : public QObject {
    Q_OBJECT

private slots:
    void everyFailedWriteLeavesTheRecordsAsTheyWere() {
        QTemporaryDir dir;
        const QString path = dir.filePath("MASTER.DBF");
        int length = 0;
        // The new bytes of the two fields, as the engine formats them.
        std::vector<std::pair<int, std::string>> fields;
        {
            store::Table t;
            store::PointAt(t, path.toStdString());
            t.Create(store::ItemTableFieldDefs());
            t.Open();
            length = t.Layout().RecordLength();
            for (int i = 0; i < kRecords; ++i) {
                t.Append();
                t.SetText("Item", "Item " + std::to_string(i));
                t.SetText("Location", "Kitchen");
                t.Post();
            }
            std::string rec(size_t(length), ' ');
            for (const char* name : {"Location", "Cost"}) {
                const int f = t.NeedField(name);
                t.FormatField(f, name[0] == 'L' ? "Attic" : "7.50", rec.data());
                fields.emplace_back(t.Layout().Offset(f), rec.substr(size_t(t.Layout().Offset(f)), t.Layout().Field(f).length));
            }
            t.Close();
        }
        const QByteArray original = testsupport::ReadAll(path);
        QByteArray expected = Records(original, length);
        for (uint32_t r : kChosen) {
            char* rec = expected.data() + qsizetype(r) * length;
            for (const auto& [offset, bytes] : fields) std::memcpy(rec + offset, bytes.data(), bytes.size());
        }
        int failures = 0;
        for (int n = 1; n < 40; ++n) {
            testsupport::WriteAll(path, original);
            QFile::remove(dir.filePath("MASTER.MDX"));
            const auto [code, said] = RunChild(path, "edit", n);
            const QByteArray now = Records(testsupport::ReadAll(path), length);
            if (code == 0) {
                QCOMPARE(now, expected);
                break;
            }
            QCOMPARE(code, 3);
            QVERIFY2(said.startsWith("Cannot write to"), qPrintable(said));
            QVERIFY2(said.contains("No space left on device"), qPrintable(said));
            QCOMPARE(now, Records(original, length));
            ++failures;
        }
        // The counter, then the four runs: each could fail.
        QCOMPARE(failures, 5);
    }

    void undoOfAnImportIsWholeOrNothing() {
        QTemporaryDir dir;
        const QString path = dir.filePath("MASTER.DBF");
        {
            store::Table t;
            store::PointAt(t, path.toStdString());
            t.Create(store::ItemTableFieldDefs());
            t.Open();
            t.BeginBulkAppend();
            for (uint32_t i = 0; i <= kImported; ++i) {
                t.Append();
                t.SetText("Item", "Item " + std::to_string(i));
                t.Post();
            }
            t.EndBulkAppend();
            t.Close();
        }
        const QByteArray original = testsupport::ReadAll(path);
        // The deletion flag of every record, as a string of ' ' and '*'.
        auto flags = [](const QByteArray& file) {
            const qsizetype header = HeaderLength(file);
            const qsizetype recordLength = qsizetype(uint8_t(file.at(10))) | (qsizetype(uint8_t(file.at(11))) << 8);
            QByteArray out;
            for (uint32_t r = 0; r <= kImported; ++r) out += file.at(header + qsizetype(r) * recordLength);
            return out;
        };
        int failures = 0;
        for (int n = 1; n < 20; ++n) {
            testsupport::WriteAll(path, original);
            QFile::remove(dir.filePath("MASTER.MDX"));
            const auto [code, said] = RunChild(path, "undo", n);
            QVERIFY2(code == 0 || code == 3, qPrintable(said));
            const QByteArray file = testsupport::ReadAll(path);
            const QByteArray now = flags(file);
            const QByteArray firstItem = file.mid(HeaderLength(file) + 1, 6);
            if (code == 0) {
                QCOMPARE(now, " " + QByteArray(kImported, '*'));
                QCOMPARE(firstItem, QByteArray("Before"));
                break;
            }
            QCOMPARE(firstItem, QByteArray("Item 0"));
            QCOMPARE(now, QByteArray(kImported + 1, ' '));
            ++failures;
        }
        // The edited record, then three slices: each its change counter and its write.
        QCOMPARE(failures, 8);
    }
};

int main(int argc, char** argv) {
    if (argc == 4 && std::strcmp(argv[1], "--child") == 0) return Child(argv[2], std::strcmp(argv[3], "undo") == 0);
    QCoreApplication app(argc, argv);
    BulkEditFaultTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "BulkEditFaultTest.moc"
