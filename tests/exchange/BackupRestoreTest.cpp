// Backup and restore without any window, through the real engine and real
// files: each kind there and back, the room check with an older copy at the
// target, sole use of a held table, the sources a restore looks for, and
// copies that fail or are cancelled halfway and must leave every target as
// it was and no temporary file.

#include <QDate>
#include <QDir>
#include <QDirIterator>
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

// Every file under dir (links as "-> target"), by path below dir, with its
// content; the folder's lock file and thumbnails left out.
std::map<QString, QByteArray> TreeOf(const QString& dir) {
    std::map<QString, QByteArray> out;
    QDirIterator it(dir, QDir::Files | QDir::System | QDir::Hidden | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        const QString name = QDir(dir).relativeFilePath(path);
        if (name == ".lock") continue;
        out[name] = QFileInfo(path).isSymLink() ? "-> " + QFileInfo(path).symLinkTarget().toUtf8() : ReadAll(path);
    }
    return out;
}

QString Today() { return QDate::currentDate().toString("yyyy-MM-dd"); }

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

    // The items' attachments by item name: what the user sees in the editor.
    std::map<QString, QList<QByteArray>> PhotosByItem(const QString& dataFile) {
        std::map<QString, QList<QByteArray>> out;
        store::Table t;
        store::PointAt(t, dataFile.toStdString());
        t.SetReadOnly(true);
        t.Open();
        attachments::AttachmentStore store;
        store.Attach(t, true);
        for (uint32_t r = 0; r < t.PhysicalCount(); ++r)
            for (const attachments::Attachment& a : store.Of(r))
                out[Q(t.ViewOf(r).Text(t.NeedField("Item")))] << ReadAll(Q(store.PathOf(a)));
        return out;
    }
    void AttachTo(const QString& dataFile, uint32_t record, const QString& name, const QByteArray& bytes) {
        WriteAll(m_root->filePath(name), bytes);
        store::Table t;
        store::PointAt(t, dataFile.toStdString());
        t.Open();
        attachments::AttachmentStore store;
        store.Attach(t);
        store.Add(record, {{m_root->filePath(name).toStdString(), attachments::KindForName(name.toStdString()), {}}});
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
        // Back up; the last progress report tells all of it done.
        for (CopyKind kind : {CopyKind::Database, CopyKind::Lists, CopyKind::Reports}) {
            Progress last;
            int reports = 0;
            const CopyResult r = BackUp(kind, {}, [&](const Progress& p) {
                last = p;
                ++reports;
                return true;
            });
            QCOMPARE(r.status, CopyStatus::Completed);
            QCOMPARE(Q(r.message), QString("Backup completed successfully."));
            QVERIFY(reports > 0 && last.total > 0);
            QCOMPARE(last.done, last.total);
        }
        QStringList expected = names;
        for (const char* name : kListFileNames) expected << name;
        expected.sort();
        QCOMPARE(Entries(m_backup), expected);  // no index file, no temporary file
        for (const QString& name : expected) {
            QByteArray original = ReadAll(Data(name));
            if (name == "MASTER.DBF") original[28] = 0;  // copied without its index file
            QCOMPARE(ReadAll(Saved(name)), original);
        }
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
                if (name == "MASTER.DBF") copy[28] = 0;  // copied without its index file
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
        // All 22 fields, but the first under another name.
        std::vector<store::FieldDef> renamed = store::ItemTableFieldDefs();
        renamed[0].name = "THING";
        QVERIFY(QFile::remove(Saved("MASTER.DBF")));
        other.Create(renamed);
        other.Close();
        r = RestoreFrom(CopyKind::Database, Saved("MASTER.DBF"));
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

    // A backup of the data file alone (made by hand, or by an older
    // version) used to empty the live attachments folder.
    void restoreFromABackupWithoutAttachmentsKeepsTheLiveOnes() {
        AttachTo(Data("MASTER.DBF"), 0, "lamp.jpg", "lamp photo");
        AttachTo(Data("MASTER.DBF"), 1, "chair.jpg", "chair photo");
        const QByteArray manifest = ReadAll(Data("MASTER.files/manifest.txt"));
        // The copy holds the chair first and no lamp, and a table the
        // attachments never knew.
        MakeTable(m_backup, "MASTER", {{{"Item", "Stool"}}, {{"Item", "Chair"}}});
        const CopyResult r = RestoreFrom(CopyKind::Database, Saved("MASTER.DBF"));
        QCOMPARE(r.status, CopyStatus::Completed);
        const QString kept = Data("MASTER.files/replaced-" + Today());
        QCOMPARE(Q(r.message), "Restore completed successfully.  The attachments that the restored items do not name "
                               "were kept in \"" + kept + "\".");
        QCOMPARE(Q(r.keptAttachments), kept);
        // The chair keeps its photo on its new record; the lamp's is kept
        // aside with the list that tells whose it was.
        QCOMPARE(PhotosByItem(Data("MASTER.DBF")), (std::map<QString, QList<QByteArray>>{{"Chair", {"chair photo"}}}));
        const auto tree = TreeOf(Data("MASTER.files"));
        QCOMPARE(tree.at("replaced-" + Today() + "/manifest.txt"), manifest);
        QCOMPARE(std::count_if(tree.begin(), tree.end(), [](const auto& f) { return f.second == "lamp photo"; }), 1);
        QCOMPARE(std::count_if(tree.begin(), tree.end(), [](const auto& f) { return f.second == "chair photo"; }), 1);
    }

    // ... and a backup whose folder lacks a listed file deleted the live copy.
    void restoreTakesAListedFileTheBackupLacksFromTheLiveFolderOrRefuses() {
        AttachTo(Data("MASTER.DBF"), 0, "lamp.jpg", "lamp photo");
        QCOMPARE(BackUp(CopyKind::Database).status, CopyStatus::Completed);
        const QStringList stored = QDir(Saved("MASTER.files")).entryList({"*.jpg"});
        QCOMPARE(stored.size(), 1);
        QVERIFY(QFile::remove(Saved("MASTER.files/" + stored[0])));
        QCOMPARE(RestoreFrom(CopyKind::Database, Saved("MASTER.DBF")).status, CopyStatus::Completed);
        QCOMPARE(PhotosByItem(Data("MASTER.DBF")), (std::map<QString, QList<QByteArray>>{{"Lamp", {"lamp photo"}}}));
        // Gone from both: refused before anything is replaced.
        QVERIFY(QFile::rename(Data("MASTER.files/" + stored[0]), m_root->filePath("elsewhere.jpg")));
        const auto before = TreeOf(m_data);
        const CopyResult r = RestoreFrom(CopyKind::Database, Saved("MASTER.DBF"));
        QCOMPARE(r.status, CopyStatus::SourceInvalid);
        QCOMPARE(Q(r.message), "The backup's list of attachments names 1 file that neither the backup nor the "
                               "attachments folder \"" + Data("MASTER.files") + "\" holds, the file \"lamp.jpg\" of "
                               "\"Lamp\" (" + stored[0] + ").  Nothing was restored.");
        QCOMPARE(TreeOf(m_data), before);
    }

    void linksInsideTheAttachmentsFolderAreNeverFollowed() {
        AttachTo(Data("MASTER.DBF"), 0, "lamp.jpg", "lamp photo");
        WriteAll(m_root->filePath("secret.txt"), "outside the folder");
        const QString stored = QDir(Data("MASTER.files")).entryList({"*.jpg"}).first();
        // The stored name now leads out of the folder.
        QVERIFY(QFile::remove(Data("MASTER.files/" + stored)));
        QVERIFY(QFile::link(m_root->filePath("secret.txt"), Data("MASTER.files/" + stored)));
        const CopyResult r = BackUp(CopyKind::Database);
        QCOMPARE(r.status, CopyStatus::Completed);
        QCOMPARE(r.warnings.size(), size_t(2));
        QCOMPARE(Q(r.warnings[0]), "\"" + Data("MASTER.files/" + stored) +
                                       "\" is a link, which the attachments folder does not follow.  It was not copied.");
        QVERIFY(Q(r.warnings[1]).startsWith("The file \"lamp.jpg\" of \"Lamp\" (" + stored + ") is not in the"));
        for (const auto& [name, bytes] : TreeOf(m_backup)) QVERIFY2(bytes != "outside the folder", qPrintable(name));
        // A backup folder holding a link: the restore neither copies what it
        // leads to nor takes the link for the file.
        QVERIFY(QFile::link(m_root->filePath("secret.txt"), Saved("MASTER.files/" + stored)));
        QCOMPARE(RestoreFrom(CopyKind::Database, Saved("MASTER.DBF")).status, CopyStatus::SourceInvalid);
        for (const auto& [name, bytes] : TreeOf(m_data)) QVERIFY2(bytes != "outside the folder", qPrintable(name));
    }

    void backupCopiesDoNotAnnounceAnIndexFileTheyLack() {
        QCOMPARE(ReadAll(Data("MASTER.DBF"))[28], char(1));
        QCOMPARE(BackUp(CopyKind::Database).status, CopyStatus::Completed);
        const QByteArray copy = ReadAll(Saved("MASTER.DBF"));
        QCOMPARE(copy[28], char(0));
        QCOMPARE(copy.mid(29), ReadAll(Data("MASTER.DBF")).mid(29));
    }

    // A full restore used to replace the settings first and stop at the
    // database on a full disk, saying nothing of the settings.
    void aRestoreOfSeveralKindsThatFailsChangesNone() {
        const QString config = m_root->filePath("config");
        QVERIFY(QDir().mkpath(config));
        WriteAll(config + "/KELDOR.INI", "[Misc]\r\nInsurance Company=Old\r\n");
        WriteAll(Saved("KELDOR.INI"), "[Misc]\r\nInsurance Company=New\r\n");
        MakeTable(m_backup, "MASTER", Things(2000, "saved "));
        WriteLists(m_backup, "saved");
        QVERIFY(QFile::copy(Data("KELDOR.URP"), Saved("KELDOR.URP")));
        const auto before = TreeOf(m_root->path());
        RestoreRequest request{CopyKind::Database, Saved("MASTER.DBF").toStdString(), m_data.toStdString(), {},
                               config.toStdString()};
        const std::vector<CopyKind> all = {CopyKind::Settings, CopyKind::Database, CopyKind::Lists, CopyKind::Reports};
        CopyResult r;
        {
            const testsupport::FileSizeLimit limit(64 * 1024);  // the table's copy does not fit
            r = Restore(request, all, {});
        }
        QCOMPARE(r.status, CopyStatus::Failed);
        QCOMPARE(r.failedKind, std::optional<CopyKind>(CopyKind::Database));
        QCOMPARE(Q(r.message), QString(messages::kRestoreFailed));
        QCOMPARE(TreeOf(m_root->path()), before);
        // The same restore with room is one step for all of them.
        r = Restore(request, all, {});
        QCOMPARE(r.status, CopyStatus::Completed);
        QCOMPARE(Q(r.message), QString(messages::kRestoreDone));
        QCOMPARE(ReadAll(config + "/KELDOR.INI"), ReadAll(Saved("KELDOR.INI")));
        QCOMPARE(ReadAll(Data("BRAND.LST")), ReadAll(Saved("BRAND.LST")));
        QCOMPARE(ItemsOf(Data("MASTER.DBF")).size(), 2000);
    }

    // A backup of every kind at once holds each file as it is.
    void aBackupOfEveryKindHoldsEachFileAsItIs() {
        const QString config = m_root->filePath("config");
        QVERIFY(QDir().mkpath(config));
        WriteAll(config + "/KELDOR.INI", "[Misc]\r\nInsurance Company=Ours\r\n");
        BackupRequest request{CopyKind::Database, m_backup.toStdString(), Data("MASTER.DBF").toStdString(),
                              m_data.toStdString(), {}, config.toStdString()};
        const CopyResult r =
            Backup(request, {CopyKind::Settings, CopyKind::Database, CopyKind::Lists, CopyKind::Reports}, {});
        QCOMPARE(r.status, CopyStatus::Completed);
        QCOMPARE(ReadAll(Saved("KELDOR.INI")), ReadAll(config + "/KELDOR.INI"));
        QCOMPARE(ReadAll(Saved("KELDOR.URP")), ReadAll(Data("KELDOR.URP")));
        for (const char* name : kListFileNames) QCOMPARE(ReadAll(Saved(name)), ReadAll(Data(name)));
        QCOMPARE(ItemsOf(Saved("MASTER.DBF")), ItemsOf(Data("MASTER.DBF")));
    }

    // A backup into the data folder refused the database but still wrote
    // the settings there.
    void aBackupOfSeveralKindsIsCheckedWholeBeforeAnythingIsWritten() {
        const QString config = m_root->filePath("config");
        QVERIFY(QDir().mkpath(config));
        WriteAll(config + "/KELDOR.INI", "[Misc]\r\n");
        const auto before = TreeOf(m_root->path());
        BackupRequest request{CopyKind::Database, m_data.toStdString(), Data("MASTER.DBF").toStdString(),
                              m_data.toStdString(), {}, config.toStdString()};
        const CopyResult r = Backup(request, {CopyKind::Settings, CopyKind::Database}, {});
        QCOMPARE(r.status, CopyStatus::SameFile);
        QCOMPARE(r.failedKind, std::optional<CopyKind>(CopyKind::Database));
        QCOMPARE(TreeOf(m_root->path()), before);
    }

    // A 2 GiB sparse definition file was copied whole; lists and settings
    // far beyond any real size likewise.
    void filesFarLargerThanAnyOfTheirKindAreRefusedWithoutCopying_data() {
        QTest::addColumn<int>("kind");
        QTest::addColumn<bool>("restore");
        QTest::addColumn<QString>("name");
        QTest::addColumn<qint64>("size");
        QTest::newRow("report definitions, backup") << int(CopyKind::Reports) << false << "KELDOR.URP" << (qint64(1) << 31);
        QTest::newRow("report definitions, restore") << int(CopyKind::Reports) << true << "KELDOR.URP" << (qint64(1) << 31);
        QTest::newRow("a pick list, restore") << int(CopyKind::Lists) << true << "OWNER.LST" << qint64(300) * 1024 * 1024;
        QTest::newRow("a pick list, backup") << int(CopyKind::Lists) << false << "OWNER.LST" << qint64(300) * 1024 * 1024;
    }
    void filesFarLargerThanAnyOfTheirKindAreRefusedWithoutCopying() {
        QFETCH(int, kind);
        QFETCH(bool, restore);
        QFETCH(QString, name);
        QFETCH(qint64, size);
        if (restore) WriteLists(m_backup, "saved");
        const QString big = restore ? Saved(name) : Data(name);
        {
            QFile f(big);
            QVERIFY(f.open(QIODevice::ReadWrite));
            QVERIFY(f.resize(size));  // sparse: no room taken
        }
        const QByteArray target = ReadAll(Data(name));
        const CopyResult r = restore ? RestoreFrom(CopyKind(kind), big) : BackUp(CopyKind(kind));
        QCOMPARE(r.status, CopyStatus::SourceInvalid);
        QCOMPARE(Q(r.message), QString("The file \"%1\" is %2 MB, far larger than any file of its kind (at most %3 MB); "
                                       "it was not copied.")
                                   .arg(big)
                                   .arg(size >> 20)
                                   .arg(kind == int(CopyKind::Reports) ? 40 : 4));
        QCOMPARE(Entries(restore ? m_data : m_backup).filter(".part"), QStringList());
        if (restore) QCOMPARE(ReadAll(Data(name)), target);
        else QVERIFY(!QFileInfo::exists(Saved(name)));
    }

    // A settings file may open with comments; one byte over the limit is
    // refused, one that exactly reaches it restored.
    void settingsAreRestoredUpToTheirLimit() {
        const QString config = m_root->filePath("config");
        QVERIFY(QDir().mkpath(config));
        WriteAll(config + "/KELDOR.INI", "[Misc]\r\nInsurance Company=Live\r\n");
        const QByteArray head = "; saved by hand\r\n[Misc]\r\nInsurance Company=Saved\r\n;";
        for (const qint64 size : {qint64(head.size() + 2), qint64(4) << 20, (qint64(4) << 20) + 1}) {
            const QByteArray text = head + QByteArray(size - head.size() - 2, 'x') + "\r\n";
            WriteAll(Saved("KELDOR.INI"), text);
            const CopyResult r =
                Restore({CopyKind::Settings, Saved("KELDOR.INI").toStdString(), m_data.toStdString(), {},
                         config.toStdString()},
                        {CopyKind::Settings}, {});
            if (size > (qint64(4) << 20)) {
                QCOMPARE(r.status, CopyStatus::SourceInvalid);
                QVERIFY(ReadAll(config + "/KELDOR.INI") != text);
            } else {
                QCOMPARE(r.status, CopyStatus::Completed);
                QCOMPARE(ReadAll(config + "/KELDOR.INI"), text);
            }
        }
    }

    // Only a text of sections and keys is taken for a settings file:
    // restoring anything else would put every setting back to its default.
    void settingsRestoreTakesOnlyASettingsFile_data() {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<bool>("taken");
        QTest::newRow("a section after a comment and blanks") << QByteArray("; mine\r\n\t [Misc]\r\nA=1\r\n") << true;
        QTest::newRow("text without a section") << QByteArray("hello\r\nA=1\r\n") << false;
        QTest::newRow("a section after a zero byte") << QByteArray("x\0\n[Misc]\n", 11) << false;
        QTest::newRow("a bracket inside a line") << QByteArray("key=[Misc]\n") << false;
    }
    void settingsRestoreTakesOnlyASettingsFile() {
        QFETCH(QByteArray, content);
        QFETCH(bool, taken);
        const QString config = m_root->filePath("config");
        QVERIFY(QDir().mkpath(config));
        WriteAll(config + "/KELDOR.INI", "[Misc]\r\nInsurance Company=Live\r\n");
        WriteAll(Saved("KELDOR.INI"), content);
        const CopyResult r = Restore({CopyKind::Settings, Saved("KELDOR.INI").toStdString(), m_data.toStdString(), {},
                                      config.toStdString()},
                                     {CopyKind::Settings}, {});
        if (taken) {
            QCOMPARE(r.status, CopyStatus::Completed);
            QCOMPARE(ReadAll(config + "/KELDOR.INI"), content);
        } else {
            QCOMPARE(r.status, CopyStatus::SourceInvalid);
            QCOMPARE(Q(r.message), QString("The file \"%1\" is not a settings file.  Restore not completed.").arg(Saved("KELDOR.INI")));
            QCOMPARE(ReadAll(config + "/KELDOR.INI"), QByteArray("[Misc]\r\nInsurance Company=Live\r\n"));
        }
    }

    // On a new machine neither the settings folder nor the one above it
    // exists yet: a restore makes both.
    void settingsAreRestoredWhereNoFolderIsYet() {
        const QString config = m_root->filePath("new/.config/halvenor");
        QVERIFY(!QFileInfo::exists(m_root->filePath("new")));
        const QByteArray text = "[Misc]\r\nInsurance Company=Saved\r\n";
        WriteAll(Saved("KELDOR.INI"), text);
        const CopyResult r = Restore({CopyKind::Settings, Saved("KELDOR.INI").toStdString(), m_data.toStdString(), {},
                                      config.toStdString()},
                                     {CopyKind::Settings}, {});
        QCOMPARE(r.status, CopyStatus::Completed);
        QCOMPARE(ReadAll(config + "/KELDOR.INI"), text);
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
