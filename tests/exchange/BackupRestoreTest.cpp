// Backup and restore without any window, through the real engine and real
// files: each kind there and back, the room check with an older copy at the
// target, sole use of a held table, the sources a restore looks for, and
// copies that fail or are cancelled halfway and must leave every target as
// it was and no temporary file.

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>
#include <sys/stat.h>

#include "BackupRestore.h"
#include "ExchangeTestSupport.h"
#include "FileSizeLimit.h"
#include "ItemTable.h"
#include "ReportDefinition.h"
#include "ReportFile.h"
#include "ReportFileSetup.h"
#include "TableHolder.h"
#include "AttachmentStore.h"

using namespace exchange;
using namespace exchangetest;

namespace {

QStringList Entries(const QString& dir) {
    return QDir(dir).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
}

// An item table with a sort tag, so that it announces an index file.
void MakeTable(const QString& dir, const char* name, const std::vector<Item>& items) {
    store::Table t;
    CreateItemTable(t, dir, name);
    AddItems(t, items);
    t.AddIndex("NewIndex", "UPPER(Item)");
    t.Close();
}

std::vector<Item> Things(int count, const std::string& prefix) {
    std::vector<Item> items;
    for (int i = 0; i < count; ++i)
        items.push_back({{"Item", prefix + std::to_string(i)}, {"Descriptio", std::string(60, 'x')}});
    return items;
}

QStringList ItemsOf(const QString& path) {
    store::Table t;
    store::PointAt(t, path.toStdString());
    t.Open();
    return Column(t, "Item");
}

QString Q(const std::string& s) { return QString::fromStdString(s); }

}  // namespace

class BackupRestoreTest : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_root;
    QString m_data, m_backup;

    QString Data(const QString& name) const { return m_data + "/" + name; }
    QString Saved(const QString& name) const { return m_backup + "/" + name; }

    std::map<QString, QByteArray> Snapshot() const {
        std::map<QString, QByteArray> files;
        for (const QString& dir : {m_data, m_backup})
            for (const QString& name : Entries(dir)) files[dir + "/" + name] = ReadAll(dir + "/" + name);
        return files;
    }

    CopyResult BackUp(CopyKind kind, FreeSpaceFn freeSpace = {}, const ProgressFn& progress = {}) {
        return Backup({kind, m_backup.toStdString(), Data("MASTER.DBF").toStdString(), m_data.toStdString(),
                       std::move(freeSpace), {}},
                      progress);
    }
    CopyResult RestoreFrom(CopyKind kind, const QString& chosen, FreeSpaceFn freeSpace = {},
                           const ProgressFn& progress = {}) {
        return Restore({kind, chosen.toStdString(), m_data.toStdString(), std::move(freeSpace), {}}, progress);
    }

    void WriteLists(const QString& dir, const QByteArray& tag) {
        for (const char* name : kListFileNames) WriteAll(dir + "/" + name, tag + " " + name + "\r\n");
    }

private slots:
    void init() {
        m_root = std::make_unique<QTemporaryDir>();
        m_data = m_root->filePath("data");
        m_backup = m_root->filePath("backup");
        QVERIFY(QDir().mkpath(m_data) && QDir().mkpath(m_backup));
        MakeTable(m_data, "MASTER", {{{"Item", "Lamp"}}, {{"Item", "Chair"}}});
        WriteLists(m_data, "first");
        QVERIFY(reports::PrepareReportFiles(m_data.toStdString()).errors.empty());
    }

    // No list was ever saved: the backup used to report success with
    // nothing copied.
    void listsNeverSavedAreRefused() {
        for (const char* name : kListFileNames) QVERIFY(QFile::remove(Data(name)));
        QVERIFY(!HasListFiles(m_data.toStdString()));
        const CopyResult r = BackUp(CopyKind::Lists);
        QCOMPARE(r.status, CopyStatus::SourceMissing);
        QCOMPARE(Q(r.message), QString("No pick list has been saved yet, so there are no lists to back up."));
        QVERIFY(Entries(m_backup).isEmpty());
        WriteAll(Data("OWNER.LST"), "Ann\r\n");  // one is enough
        QVERIFY(HasListFiles(m_data.toStdString()));
        QCOMPARE(BackUp(CopyKind::Lists).status, CopyStatus::Completed);
        QCOMPARE(Entries(m_backup), QStringList{"OWNER.LST"});
    }

    void eachKindThereAndBack() {
        const QStringList names = {"MASTER.DBF", "KELDOR.URP"};
        // Back up.
        for (CopyKind kind : {CopyKind::Database, CopyKind::Lists, CopyKind::Reports}) {
            const CopyResult r = BackUp(kind);
            QCOMPARE(r.status, CopyStatus::Completed);
            QCOMPARE(Q(r.message), QString("Backup completed successfully."));
        }
        QStringList expected = names;
        for (const char* name : kListFileNames) expected << name;
        expected.sort();
        QCOMPARE(Entries(m_backup), expected);  // no index file, no temporary file
        for (const QString& name : expected) QCOMPARE(ReadAll(Saved(name)), ReadAll(Data(name)));
        const QJsonObject read = DbfRead(Saved("MASTER.DBF"));
        QCOMPARE(read["records"].toArray().size(), 2);
        QCOMPARE(read["records"].toArray()[0].toArray()[0].toString(), QString("Lamp"));

        // Change everything, then restore it.
        {
            store::Table t;
            store::PointAt(t, Data("MASTER.DBF").toStdString());
            t.Open();
            AddItems(t, {{{"Item", "Sofa"}}});
        }
        WriteLists(m_data, "second");
        reports::ReportFile(Data("KELDOR.URP").toStdString()).Delete(0);
        const QByteArray backupTable = ReadAll(Saved("MASTER.DBF"));
        QCOMPARE(RestoreFrom(CopyKind::Database, Saved("MASTER.DBF")).restored, Data("MASTER.DBF").toStdString());
        QCOMPARE(Q(RestoreFrom(CopyKind::Lists, Saved("BRAND.LST")).message),
                 QString("ALL proper LST files restored successfully."));
        QCOMPARE(Q(RestoreFrom(CopyKind::Reports, Saved("KELDOR.URP")).message), QString("Restore completed successfully."));
        for (const QString& name : expected) {
            if (name != "MASTER.DBF") QCOMPARE(ReadAll(Data(name)), ReadAll(Saved(name)));
        }
        QCOMPARE(ReadAll(Saved("MASTER.DBF")), backupTable);  // the backup is only read
        // The index file beside the restored table described the changed
        // one: the engine builds its tag again from the restored records.
        store::Table t;
        store::PointAt(t, Data("MASTER.DBF").toStdString());
        t.SetActiveIndex("NewIndex");
        t.Open();
        QCOMPARE(Column(t, "Item"), QStringList({"Chair", "Lamp"}));
        QCOMPARE(Entries(m_data).filter(".part").size(), 0);
    }

    void attachmentsGoWithTheDatabaseThereAndBack() {
        // Folder contents by name, thumbnails left out.
        auto folderOf = [](const QString& dir) {
            std::map<QString, QByteArray> out;
            for (const QString& name : Entries(dir))
                if (!name.startsWith('.')) out[name] = ReadAll(dir + "/" + name);
            return out;
        };
        const QString photo = m_root->filePath("photo.jpg"), receipt = m_root->filePath("receipt.pdf");
        // Large enough for a progress report while the folder is copied.
        WriteAll(photo, QByteArray(1200000, 'p'));
        WriteAll(m_root->filePath("photo2.jpg"), QByteArray(5000, 'q'));
        WriteAll(receipt, "%PDF-1.4\n%%EOF\n");
        {
            store::Table t;
            store::PointAt(t, Data("MASTER.DBF").toStdString());
            t.Open();
            attachments::AttachmentStore store;
            QVERIFY(store.Attach(t).Empty());
            store.Add(0, {{photo.toStdString(), attachments::Kind::Photo, "Lamp"}});
            store.Add(1, {{receipt.toStdString(), attachments::Kind::Receipt, {}}});
        }
        const auto original = folderOf(Data("MASTER.files"));
        QCOMPARE(original.size(), size_t(3));  // two files and the manifest

        // A cancelled backup leaves no folder behind.
        QCOMPARE(BackUp(CopyKind::Database, {}, [](const Progress& p) { return p.done < 1000; }).status,
                 CopyStatus::Cancelled);
        QCOMPARE(QDir(m_backup).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden), QStringList());

        const CopyResult r = BackUp(CopyKind::Database);
        QCOMPARE(r.status, CopyStatus::Completed);
        QCOMPARE(folderOf(Saved("MASTER.files")), original);

        // The attachments change (one more photo, the receipt gone); the
        // restore gives back the folder as it was, byte for byte.
        {
            store::Table t;
            store::PointAt(t, Data("MASTER.DBF").toStdString());
            t.Open();
            attachments::AttachmentStore store;
            QVERIFY(store.Attach(t).Empty());
            store.Remove(1, 0);
            store.Add(0, {{m_root->filePath("photo2.jpg").toStdString(), attachments::Kind::Photo, {}}});
        }
        QVERIFY(folderOf(Data("MASTER.files")) != original);
        // A cancelled restore changes nothing either.
        const auto changed = folderOf(Data("MASTER.files"));
        QCOMPARE(RestoreFrom(CopyKind::Database, Saved("MASTER.DBF"), {}, [](const Progress& p) { return p.done < 100000; })
                     .status,
                 CopyStatus::Cancelled);
        QCOMPARE(folderOf(Data("MASTER.files")), changed);
        QCOMPARE(RestoreFrom(CopyKind::Database, Saved("MASTER.DBF")).status, CopyStatus::Completed);
        QCOMPARE(folderOf(Data("MASTER.files")), original);
        QCOMPARE(QDir(m_data).entryList(QDir::Dirs | QDir::Hidden | QDir::NoDotAndDotDot), QStringList{"MASTER.files"});
    }

    // A backup copy announces its index file, which was never copied, and
    // may sit on a medium that cannot be written.
    void restoreWithoutTheIndexFileFromAReadOnlyCopyOverALink() {
        MakeTable(m_backup, "OTHER", {{{"Item", "Clock"}}});
        QFile::remove(Saved("OTHER.MDX"));
        QFile::setPermissions(Saved("OTHER.DBF"), QFileDevice::ReadOwner);
        const QByteArray before = ReadAll(Saved("OTHER.DBF"));
        QCOMPARE(before[28], char(1));
        const CopyResult r = RestoreFrom(CopyKind::Database, Saved("OTHER.DBF"));
        QCOMPARE(r.status, CopyStatus::Completed);
        QCOMPARE(ReadAll(Saved("OTHER.DBF")), before);
        QCOMPARE(ReadAll(Data("OTHER.DBF"))[28], char(0));
        QCOMPARE(ItemsOf(Data("OTHER.DBF")), QStringList({"Clock"}));

        // A target that is a symbolic link stays one; the file it points to
        // keeps its permissions.
        QVERIFY(QDir().mkpath(m_data + "/real"));
        QVERIFY(QFile::rename(Data("MASTER.DBF"), Data("real/MASTER.DBF")));
        QVERIFY(QFile::link(Data("real/MASTER.DBF"), Data("MASTER.DBF")));
        QCOMPARE(::chmod(Data("real/MASTER.DBF").toUtf8().constData(), 0640), 0);
        QFile::copy(Saved("OTHER.DBF"), Saved("MASTER.DBF"));
        QCOMPARE(RestoreFrom(CopyKind::Database, Saved("MASTER.DBF")).status, CopyStatus::Completed);
        QVERIFY(QFileInfo(Data("MASTER.DBF")).isSymLink());
        QCOMPARE(ItemsOf(Data("real/MASTER.DBF")), QStringList({"Clock"}));
        struct stat st {};
        QCOMPARE(::stat(Data("real/MASTER.DBF").toUtf8().constData(), &st), 0);
        QCOMPARE(st.st_mode & 0777, mode_t(0640));
    }

    void roomCheck_data() {
        QTest::addColumn<bool>("backup");
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("refusal");
        QTest::newRow("database backup") << true << int(CopyKind::Database) << "MASTER.DBF"
                                         << messages::kBackupNoRoom;
        QTest::newRow("definitions backup") << true << int(CopyKind::Reports) << "KELDOR.URP"
                                            << messages::kBackupNoRoomReports;
        QTest::newRow("database restore") << false << int(CopyKind::Database) << "MASTER.DBF"
                                          << messages::kRestoreNoRoom;
        QTest::newRow("definitions restore") << false << int(CopyKind::Reports) << "KELDOR.URP"
                                             << messages::kRestoreNoRoom;
    }

    void roomCheck() {
        QFETCH(bool, backup);
        QFETCH(int, kind);
        QFETCH(QString, name);
        QFETCH(QString, refusal);
        const QString source = backup ? Data(name) : Saved(name);
        const QString target = backup ? Saved(name) : Data(name);
        if (backup) WriteAll(target, QByteArray(100, 'o'));  // an older copy
        else if (name == "MASTER.DBF") MakeTable(m_backup, "MASTER", Things(20, "x"));
        else WriteAll(source, ReadAll(target) + ReadAll(target));
        const QByteArray old = ReadAll(target);
        const uint64_t needed = uint64_t(QFileInfo(source).size());
        QVERIFY(needed > uint64_t(old.size()));
        // Exactly enough when the older copy counts as room, then one byte short.
        for (uint64_t missing : {0, 1}) {
            QString asked;
            const FreeSpaceFn freeSpace = [&](const std::string& folder) {
                asked = Q(folder);
                return std::optional<uint64_t>(needed - uint64_t(old.size()) - missing);
            };
            const CopyResult r =
                backup ? BackUp(CopyKind(kind), freeSpace) : RestoreFrom(CopyKind(kind), source, freeSpace);
            QCOMPARE(asked, backup ? m_backup : m_data);
            if (missing == 0) {
                QCOMPARE(r.status, CopyStatus::Completed);
                QByteArray copy = ReadAll(source);
                if (!backup && name == "MASTER.DBF") copy[28] = 0;  // restored without its index file
                QCOMPARE(ReadAll(target), copy);
                WriteAll(target, old);
            } else {
                QCOMPARE(r.status, CopyStatus::NoRoom);
                QCOMPARE(Q(r.message), refusal);
                QCOMPARE(ReadAll(target), old);
            }
        }
    }

    void soleUseOfTheTable() {
        QVERIFY(BackUp(CopyKind::Database).status == CopyStatus::Completed);
        QVERIFY(QFile::copy(Saved("MASTER.DBF"), Saved("OTHER.DBF")));
        const QByteArray before = ReadAll(Data("MASTER.DBF"));
        QFile::remove(Saved("MASTER.DBF"));
        testsupport::TableHolder holder(Data("MASTER.DBF").toStdString());
        QVERIFY(holder.Holding());
        CopyResult r = BackUp(CopyKind::Database);
        QCOMPARE(r.status, CopyStatus::InUse);
        QCOMPARE(Q(r.message), QString(messages::kBackupInUse));
        QVERIFY(!QFile::exists(Saved("MASTER.DBF")));
        QVERIFY(QFile::copy(Saved("OTHER.DBF"), Saved("MASTER.DBF")));
        r = RestoreFrom(CopyKind::Database, Saved("MASTER.DBF"));
        QCOMPARE(r.status, CopyStatus::InUse);
        QCOMPARE(Q(r.message), QString(messages::kRestoreInUse));
        QCOMPARE(ReadAll(Data("MASTER.DBF")), before);
        // Another database needs no sole use of the one held.
        QCOMPARE(RestoreFrom(CopyKind::Database, Saved("OTHER.DBF")).status, CopyStatus::Completed);
        QCOMPARE(ItemsOf(Data("OTHER.DBF")), QStringList({"Lamp", "Chair"}));
    }

    // A copy that breaks off (the disk refuses a write, the user cancels)
    // replaces nothing and leaves no temporary file.
    void brokenCopies_data() {
        QTest::addColumn<int>("what");
        QTest::addColumn<bool>("cancel");
        const char* whats[] = {"database restore", "database backup over an older copy", "lists restore"};
        for (int what = 0; what < 3; ++what) {
            QTest::newRow(qPrintable(QString(whats[what]) + ", write refused")) << what << false;
            QTest::newRow(qPrintable(QString(whats[what]) + ", cancelled")) << what << true;
        }
    }

    void brokenCopies() {
        QFETCH(int, what);
        QFETCH(bool, cancel);
        // Sources of 3 MB, so that the copy reports its progress on the way.
        MakeTable(m_backup, "MASTER", Things(4000, "old"));
        if (what == 1) MakeTable(m_data, "MASTER", Things(4000, "new"));
        WriteLists(m_backup, "saved");
        WriteAll(Saved("OWNER.LST"), QByteArray(3 << 20, 'o'));  // the last list copied
        const auto before = Snapshot();
        int reports = 0;
        const ProgressFn progress = [&](const Progress&) { return !cancel || ++reports < 2; };
        CopyResult r;
        {
            std::optional<testsupport::FileSizeLimit> limit;
            if (!cancel) limit.emplace(1 << 20);
            if (what == 0) r = RestoreFrom(CopyKind::Database, Saved("MASTER.DBF"), {}, progress);
            if (what == 1) r = BackUp(CopyKind::Database, {}, progress);
            if (what == 2) r = RestoreFrom(CopyKind::Lists, Saved("BRAND.LST"), {}, progress);
        }
        QCOMPARE(r.status, cancel ? CopyStatus::Cancelled : CopyStatus::Failed);
        if (!cancel) {
            QCOMPARE(Q(r.message), QString(what == 1 ? messages::kBackupFailed : messages::kRestoreFailed));
            QVERIFY(Q(r.reason).contains("cannot be written"));
        }
        // Every file of both folders as it was, and nothing more.
        QVERIFY(Snapshot() == before);
    }

    void whatARestoreLooksFor() {
        // Lists: a folder lacking one warns once for it, the rest come back.
        WriteLists(m_backup, "saved");
        QFile::remove(Saved("CATEGORY.LST"));
        CopyResult r = RestoreFrom(CopyKind::Lists, Saved("BRAND.LST"));
        QCOMPARE(r.status, CopyStatus::Completed);
        QCOMPARE(r.files, 4);
        QCOMPARE(r.warnings, std::vector<std::string>{
                                 "The following file \"CATEGORY.LST\" could not be located on the specified source drive."});
        QCOMPARE(Q(r.message),
                 QString("One or more files were not restored.  Restore may not have completed successfully."));
        QCOMPARE(ReadAll(Data("OWNER.LST")), QByteArray("saved OWNER.LST\r\n"));
        QCOMPARE(ReadAll(Data("CATEGORY.LST")), QByteArray("first CATEGORY.LST\r\n"));

        // Definitions: KELDOR.URP beside whatever file was chosen, in any letter case.
        const QByteArray one = ReadAll(Data("KELDOR.URP")).left(reports::kRecordSize);
        WriteAll(Saved("keldor.urp"), one);
        WriteAll(Saved("OTHER.URP"), ReadAll(Data("KELDOR.URP")));
        QCOMPARE(RestoreFrom(CopyKind::Reports, Saved("OTHER.URP")).status, CopyStatus::Completed);
        QCOMPARE(ReadAll(Data("KELDOR.URP")), one);
        QCOMPARE(Entries(m_data).filter(QRegularExpression("urp", QRegularExpression::CaseInsensitiveOption)),
                 QStringList{"KELDOR.URP"});
        WriteAll(Saved("keldor.urp"), one + "cut");
        r = RestoreFrom(CopyKind::Reports, Saved("OTHER.URP"));
        QCOMPARE(r.status, CopyStatus::SourceInvalid);
        QVERIFY(Q(r.message).contains("does not hold whole report definitions"));
        QFile::remove(Saved("keldor.urp"));
        r = RestoreFrom(CopyKind::Reports, Saved("OTHER.URP"));
        QCOMPARE(r.status, CopyStatus::SourceMissing);
        QCOMPARE(Q(r.message),
                 QString("The Report Definitions file \"KELDOR.URP\" could not be  located on the specified source drive."));
        QCOMPARE(ReadAll(Data("KELDOR.URP")), one);
    }

    void refusals() {
        const QByteArray table = ReadAll(Data("MASTER.DBF"));
        // Not an item table, and a table cut short.
        store::Table other;
        other.SetDirectory(m_backup.toStdString());
        other.SetTableName("MASTER.DBF");
        other.Create({{"Name", 'C', 20, 0}});
        other.Close();
        CopyResult r = RestoreFrom(CopyKind::Database, Saved("MASTER.DBF"));
        QCOMPARE(r.status, CopyStatus::SourceInvalid);
        QCOMPARE(Q(r.message), QString(store::kNotItemTableMessage));
        MakeTable(m_backup, "MASTER", Things(3, "x"));
        WriteAll(Saved("MASTER.DBF"), ReadAll(Saved("MASTER.DBF")).chopped(100));
        r = RestoreFrom(CopyKind::Database, Saved("MASTER.DBF"));
        QCOMPARE(r.status, CopyStatus::SourceInvalid);
        QVERIFY(Q(r.message).contains("shorter"));
        QCOMPARE(ReadAll(Data("MASTER.DBF")), table);
        // A backup into the folder of the files themselves would copy them onto themselves.
        m_backup = m_data;
        for (CopyKind kind : {CopyKind::Database, CopyKind::Lists, CopyKind::Reports}) {
            r = BackUp(kind);
            QCOMPARE(r.status, CopyStatus::SameFile);
            QCOMPARE(Q(r.message), QString(messages::kBackupSameFile));
        }
        QCOMPARE(ReadAll(Data("MASTER.DBF")), table);
    }

    void names_data() {
        QTest::addColumn<QString>("folder");
        QTest::addColumn<QString>("dataFile");
        QTest::addColumn<QString>("backup");
        QTest::newRow("root of the file system") << "/" << "/data/MASTER.DBF" << "/MASTER.DBF";
        QTest::newRow("folder ending in a slash") << "/media/stick/" << "/data/master.dbf" << "/media/stick/master.DBF";
        QTest::newRow("several points") << "/b" << "/data/home.2023.dbf" << "/b/home.2023.DBF";
        QTest::newRow("no extension") << "/b" << "/data/STUFF" << "/b/STUFF.DBF";
    }

    void names() {
        QFETCH(QString, folder);
        QFETCH(QString, dataFile);
        QFETCH(QString, backup);
        QCOMPARE(Q(JoinPath(folder.toStdString(), BackupFileName(dataFile.toStdString()))), backup);
    }
};

QTEST_GUILESS_MAIN(BackupRestoreTest)
#include "BackupRestoreTest.moc"
