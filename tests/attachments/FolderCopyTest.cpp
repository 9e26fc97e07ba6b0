// Copies of an attachments folder as backup, restore and export make them:
// what is copied and what is passed over, a copy stopped half-way, a
// restore that keeps the live files it replaces or refuses a backup that
// lacks files, and items found again by their fingerprints.

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

#include <unistd.h>

#include <ctime>

#include "AttachmentFolderCopy.h"
#include "AttachmentsTestSupport.h"
#include "DbfFile.h"
#include "Fingerprint.h"
#include "FolderFiles.h"
#include "Manifest.h"

using namespace attachments;
using namespace testsupport;

namespace {

QStringList Entries(const QString& folder) {
    QStringList names = QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    names.removeAll(".lock");
    names.sort();
    return names;
}

std::string Today() {
    const std::time_t now = std::time(nullptr);
    std::tm local {};
    ::localtime_r(&now, &local);
    char text[16];
    std::strftime(text, sizeof text, "%Y-%m-%d", &local);
    return text;
}

// A table of items with a photo each, its attachments folder written.
struct Household {
    QTemporaryDir dir;
    store::Table table;
    AttachmentStore store;
    QString folder;

    explicit Household(const std::vector<TestItem>& items) {
        MakeItemTable(table, dir.path(), items);
        store.Attach(table);
        for (uint32_t r = 0; r < items.size(); ++r)
            store.Add(r, {Photo(WriteFile(dir.filePath(QString("p%1.jpg").arg(r)), QByteArray(items[r].item.c_str())))});
        folder = QString::fromStdString(store.Folder());
        for (uint32_t r = 0; r < items.size(); ++r) stored.push_back(store.Of(r).front().stored);
    }
    std::vector<std::string> stored;  // each item's file as first added
    std::string StoredOf(uint32_t recno) const { return stored[recno]; }
};

}  // namespace

class FolderCopyTest : public QObject {
    Q_OBJECT

private slots:
    void backupTakesListsAndStoredFilesButNoLinks();
    void stoppedOrEmptyCopiesLeaveTheTargetAsItWas();
    void restoreKeepsTheLiveFilesItReplaces();
    void restoreOfABackupLackingAListedFile();
    void itemsAreFoundAgainByFingerprint();
    void exportTakesTheChosenRecordsInTheirNewPlaces();
    void restoreOfTheDataFileAloneKeepsTheLiveAttachments();
    void filesAreReadWithStandardInputClosed();
};

void FolderCopyTest::backupTakesListsAndStoredFilesButNoLinks() {
    Household h({{"Sofa"}, {"Lamp"}});
    const QString link = h.folder + "/" + QString(64, 'c') + ".jpg";
    QVERIFY(QFile::link(h.dir.filePath("p0.jpg"), link));
    QVERIFY(QDir(h.folder).mkdir(kThumbnailFolder));
    QVERIFY(QDir(h.dir.path()).mkdir("backup"));
    const std::string target = h.dir.filePath("backup/MASTER.files").toStdString();

    std::vector<uint64_t> told;
    AttachmentFolderCopy copy;
    std::string reason;
    QVERIFY(copy.StageFolder(h.folder.toStdString(), target, [&](uint64_t b) { told.push_back(b); return true; },
                             &reason));
    QCOMPARE(copy.Files(), 3);
    QCOMPARE(copy.Skipped(), std::vector<std::string>{"\"" + link.toStdString() +
                                                      "\" is a link, which the attachments folder does not follow.  "
                                                      "It was not copied."});
    QCOMPARE(told.size(), size_t(3));
    QCOMPARE(told.back(), AttachmentFolderCopy::SizeOf(h.folder.toStdString()));
    QVERIFY2(copy.Commit(&reason), reason.c_str());
    const QString copied = QString::fromStdString(target);
    QStringList expected{QString::fromStdString(h.StoredOf(0)), QString::fromStdString(h.StoredOf(1)), "manifest.txt"};
    expected.sort();
    QCOMPARE(Entries(copied), expected);
    QCOMPARE(ReadFile(copied + "/" + QString::fromStdString(h.StoredOf(0))), QByteArray("Sofa"));
    QCOMPARE(ReadFile(copied + "/manifest.txt"), ReadFile(h.folder + "/manifest.txt"));
    QCOMPARE(Entries(h.dir.filePath("backup")), QStringList{"MASTER.files"});
}

// An export of some records takes their files and lists them at the
// records' places in the new table; a file of the folder that became a
// link is neither copied nor listed.
void FolderCopyTest::exportTakesTheChosenRecordsInTheirNewPlaces() {
    Household h({{"Sofa"}, {"Lamp"}, {"Rug"}});
    const QString lamp = h.folder + "/" + QString::fromStdString(h.StoredOf(1));
    QVERIFY(QFile::remove(lamp));
    QVERIFY(QFile::link(h.dir.filePath("p1.jpg"), lamp));
    const std::string target = h.dir.filePath("EXPORT.files").toStdString();
    AttachmentFolderCopy copy;
    std::string reason;
    QVERIFY2(copy.StageRecords(h.store, {2, 1, 0}, target, {}, &reason), reason.c_str());
    QVERIFY2(copy.Commit(&reason), reason.c_str());
    QStringList expected{QString::fromStdString(h.StoredOf(0)), QString::fromStdString(h.StoredOf(2)), "manifest.txt"};
    expected.sort();
    QCOMPARE(Entries(QString::fromStdString(target)), expected);
    const Manifest written = ReadManifest(ReadFile(QString::fromStdString(target) + "/manifest.txt").toStdString()).manifest;
    std::vector<std::pair<uint32_t, std::string>> listed;
    for (const ItemEntry& e : written.items)
        for (const Attachment& a : e.files) listed.emplace_back(e.record.value_or(99), a.stored);
    std::sort(listed.begin(), listed.end());
    QCOMPARE(listed, (std::vector<std::pair<uint32_t, std::string>>{{0, h.StoredOf(2)}, {2, h.StoredOf(0)}}));
}

void FolderCopyTest::stoppedOrEmptyCopiesLeaveTheTargetAsItWas() {
    Household h({{"Sofa"}, {"Lamp"}});
    const QString target = h.dir.filePath("old.files");
    QVERIFY(QDir(h.dir.path()).mkdir("old.files"));
    WriteFile(target + "/manifest.txt", "old");
    const QStringList before = Entries(h.dir.path());
    // What a copy killed midway left beside the target goes with the next
    // copy there (no process has a number above the system's highest).
    QFile highest("/proc/sys/kernel/pid_max");
    QVERIFY(highest.open(QIODevice::ReadOnly));
    const QString stale = h.dir.filePath(".tmp" + QString::number(highest.readAll().trimmed().toLongLong() + 1) + ".0.stage");
    QVERIFY(QDir().mkdir(stale));
    WriteFile(stale + "/manifest.txt", "half");
    AttachmentFolderCopy copy;
    std::string reason;
    QVERIFY(!copy.StageFolder(h.folder.toStdString(), target.toStdString(), [](uint64_t) { return false; }, &reason));
    QVERIFY(copy.Cancelled());
    QVERIFY(!copy.Refused());
    QCOMPARE(Entries(h.dir.path()), before);
    QCOMPARE(Entries(target), QStringList{"manifest.txt"});

    // The same copy, from a source with no folder: the target folder goes
    // with the commit.
    QVERIFY(copy.StageFolder(h.dir.filePath("missing.files").toStdString(), target.toStdString(), {}, &reason));
    QVERIFY(!copy.Cancelled());
    QCOMPARE(copy.Files(), 0);
    QVERIFY2(copy.Commit(&reason), reason.c_str());
    QVERIFY(!QFileInfo::exists(target));
}

void FolderCopyTest::restoreKeepsTheLiveFilesItReplaces() {
    Household h({{"Sofa"}, {"Lamp"}});
    const std::string live = h.folder.toStdString();
    const std::string backup = h.dir.filePath("backup.files").toStdString();
    const std::string lampFile = h.StoredOf(1);
    const QByteArray liveList = ReadFile(h.folder + "/manifest.txt");
    // The backup knows the sofa only.
    h.store.Remove(1, 0);
    const QByteArray backupList = ReadFile(h.folder + "/manifest.txt");
    {
        AttachmentFolderCopy copy;
        std::string reason;
        QVERIFY(copy.StageFolder(live, backup, {}, &reason));
        QVERIFY2(copy.Commit(&reason), reason.c_str());
    }
    // The live folder as it was, lamp and all.
    WriteFile(h.folder + "/" + QString::fromStdString(lampFile), "Lamp");
    WriteFile(h.folder + "/manifest.txt", liveList);
    h.store.Detach();

    store::DbfFile restored;
    restored.Open(h.table.DataFilePath(), store::DbfFile::Access::ReadOnly);
    AttachmentFolderCopy copy;
    std::string reason;
    QVERIFY2(copy.StageRestore(backup, live, restored, {}, &reason), reason.c_str());
    QVERIFY2(copy.Commit(&reason), reason.c_str());
    const std::string kept = "replaced-" + Today();
    QCOMPARE(copy.KeptFolder(), live + "/" + kept);
    QCOMPARE(ReadFile(h.folder + "/manifest.txt"), backupList);
    QVERIFY(!QFileInfo::exists(h.folder + "/" + QString::fromStdString(lampFile)));
    const QString keptFolder = QString::fromStdString(copy.KeptFolder());
    QCOMPARE(Entries(keptFolder), (QStringList{QString::fromStdString(lampFile), "manifest.txt"}));
    QCOMPARE(ReadFile(keptFolder + "/manifest.txt"), liveList);
    QCOMPARE(ReadFile(keptFolder + "/" + QString::fromStdString(lampFile)), QByteArray("Lamp"));

    // A second restore the same day keeps its own dated folder beside the
    // first, which it carries over.
    WriteFile(h.folder + "/" + QString::fromStdString(lampFile), "Lamp");
    AttachmentFolderCopy again;
    QVERIFY2(again.StageRestore(backup, live, restored, {}, &reason), reason.c_str());
    QVERIFY2(again.Commit(&reason), reason.c_str());
    QCOMPARE(again.KeptFolder(), live + "/" + kept + "-2");
    QCOMPARE(Entries(keptFolder), (QStringList{QString::fromStdString(lampFile), "manifest.txt"}));
    QCOMPARE(Entries(h.dir.path()).filter(".tmp").size(), 0);
}

// A backup of the data file alone has no attachments folder: the live
// items the restored table still holds keep theirs, listed again.
void FolderCopyTest::restoreOfTheDataFileAloneKeepsTheLiveAttachments() {
    Household h({{"Sofa"}, {"Lamp"}});
    const std::string live = h.folder.toStdString();
    h.store.Detach();
    store::DbfFile restored;
    restored.Open(h.table.DataFilePath(), store::DbfFile::Access::ReadOnly);
    AttachmentFolderCopy copy;
    std::string reason;
    QVERIFY2(copy.StageRestore(h.dir.filePath("none.files").toStdString(), live, restored, {}, &reason), reason.c_str());
    QVERIFY2(copy.Commit(&reason), reason.c_str());
    const Manifest listed = ReadManifest(ReadFile(h.folder + "/manifest.txt").toStdString()).manifest;
    std::vector<std::pair<uint32_t, std::string>> files;
    for (const ItemEntry& e : listed.items)
        for (const Attachment& a : e.files) files.emplace_back(e.record.value_or(99), a.stored);
    std::sort(files.begin(), files.end());
    QCOMPARE(files, (std::vector<std::pair<uint32_t, std::string>>{{0, h.StoredOf(0)}, {1, h.StoredOf(1)}}));
    QCOMPARE(ReadFile(h.folder + "/" + QString::fromStdString(h.StoredOf(1))), QByteArray("Lamp"));
}

void FolderCopyTest::restoreOfABackupLackingAListedFile() {
    Household h({{"Sofa"}, {"Lamp"}});
    const std::string live = h.folder.toStdString();
    const std::string backup = h.dir.filePath("backup.files").toStdString();
    {
        AttachmentFolderCopy copy;
        std::string reason;
        QVERIFY(copy.StageFolder(live, backup, {}, &reason));
        QVERIFY2(copy.Commit(&reason), reason.c_str());
    }
    h.store.Detach();
    store::DbfFile restored;
    restored.Open(h.table.DataFilePath(), store::DbfFile::Access::ReadOnly);
    const QString sofa = QString::fromStdString(h.StoredOf(0)), lamp = QString::fromStdString(h.StoredOf(1));

    // The backup lacks the lamp's file, which the live folder holds: it is
    // taken from there (stored names are contents).
    QVERIFY(QFile::remove(QString::fromStdString(backup) + "/" + lamp));
    {
        AttachmentFolderCopy copy;
        std::string reason;
        QVERIFY2(copy.StageRestore(backup, live, restored, {}, &reason), reason.c_str());
        QVERIFY2(copy.Commit(&reason), reason.c_str());
        QCOMPARE(copy.KeptFolder(), std::string());
        QCOMPARE(ReadFile(h.folder + "/" + lamp), QByteArray("Lamp"));
        QCOMPARE(ReadFile(h.folder + "/" + sofa), QByteArray("Sofa"));
    }

    // Neither holds it: refused before anything changes.
    QVERIFY(QFile::remove(h.folder + "/" + lamp));
    const QStringList before = Entries(h.folder);
    AttachmentFolderCopy copy;
    std::string reason;
    QVERIFY(!copy.StageRestore(backup, live, restored, {}, &reason));
    QVERIFY(copy.Refused());
    QCOMPARE(reason, "The backup's list of attachments names 1 file that neither the backup nor the attachments folder \"" +
                         live + "\" holds, the file \"p1.jpg\" of \"Lamp\" (" + lamp.toStdString() +
                         ").  Nothing was restored.");
    QCOMPARE(Entries(h.folder), before);
    QCOMPARE(Entries(h.dir.path()).filter(".tmp").size(), 0);
}

void FolderCopyTest::itemsAreFoundAgainByFingerprint() {
    QTemporaryDir dir;
    store::Table t;
    MakeItemTable(t, dir.path(), {{"Chair", "Ikon"}, {"Lamp", "Lumo"}, {"Sofa", "Acme"}, {"Chair", "Ikon"}});
    const FingerprintFields fields(t.Layout());
    auto entry = [&](const std::string& label, Fingerprint print, uint32_t record) {
        ItemEntry e;
        e.label = label;
        e.fingerprint = print;
        e.record = record;
        e.files = {{std::string(64, 'a'), Kind::Photo, label + ".jpg", ""}};
        return e;
    };
    Manifest m;
    ItemEntry sofa = entry("Sofa", fields.Of(t.ViewOf(2)), 7);  // moved
    sofa.nextFingerprint = sofa.fingerprint;                     // an edit that kept what identifies it
    m.items.push_back(sofa);
    ItemEntry lamp = entry("Lamp", 12345, 0);                     // edited before a crash
    lamp.nextFingerprint = fields.Of(t.ViewOf(1));
    m.items.push_back(lamp);
    m.items.push_back(entry("Chair", fields.Of(t.ViewOf(0)), 0));  // two records fit it
    m.items.push_back(entry("Rug", 999, 3));                       // gone
    std::vector<ItemEntry> left;
    const Manifest found = RelinkToRecords(m, t.Layout(), t.PhysicalCount(), [&](uint32_t r) { return t.ViewOf(r); },
                                           &left);
    QCOMPARE(found.items.size(), size_t(2));
    QCOMPARE(found.items[0].label, std::string("Sofa"));
    QCOMPARE(found.items[0].record, std::optional<uint32_t>(2));
    QCOMPARE(found.items[1].label, std::string("Lamp"));
    QCOMPARE(found.items[1].record, std::optional<uint32_t>(1));
    QCOMPARE(found.items[1].fingerprint, fields.Of(t.ViewOf(1)));
    QCOMPARE(left.size(), size_t(2));
    QCOMPARE(left[0].label, std::string("Chair"));
    QCOMPARE(left[1].label, std::string("Rug"));
}

// A program started with its standard input closed hands out descriptor 0
// to the first file it opens: a content hash and a backup read through it.
void FolderCopyTest::filesAreReadWithStandardInputClosed() {
    Household h({{"Sofa"}});
    const std::string stored = h.StoredOf(0);
    const std::string target = h.dir.filePath("copy.files").toStdString();
    AttachmentFolderCopy copy;
    std::string reason;
    const int input = ::dup(0);
    ::close(0);
    std::string hash;
    try {
        hash = ContentHash((h.folder + "/" + QString::fromStdString(stored)).toStdString());
    } catch (const AttachmentError& e) {
        hash = e.what();
    }
    const bool staged = copy.StageFolder(h.folder.toStdString(), target, {}, &reason);
    ::dup2(input, 0);
    ::close(input);
    QCOMPARE(hash + ".jpg", stored);
    QVERIFY2(staged, reason.c_str());
    QCOMPARE(copy.Files(), 2);
    QCOMPARE(copy.Skipped(), std::vector<std::string>{});
}

QTEST_GUILESS_MAIN(FolderCopyTest)
#include "FolderCopyTest.moc"
