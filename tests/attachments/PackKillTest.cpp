// A pack killed at every write it makes: the data file, the index, the
// manifest and the removal of unused files; and the steps whose last
// rename fails. After each kill the table and
// its attachments must agree as the next start finds them: every item shows
// exactly its own files (by content), the deleted items' files are still
// theirs when the packed table did not take the old one's place, and no
// link is reported lost.
//
// The kill comes from the test program itself: it defines the system calls
// that write (write, pwrite, fsync, rename, unlink, ...), counts them in a
// forked child and kills the child with SIGKILL just before call N. Our
// libraries are linked into this program, so their calls reach these
// definitions first. Not run under the sanitizers, which define the same
// calls.

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <cstring>
#include <dlfcn.h>
#include <fcntl.h>
#include <stdio.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include "AttachmentFolderCopy.h"
#include "AttachmentsTestSupport.h"
#include "EngineError.h"
#include "FolderFiles.h"

using namespace attachments;
using namespace testsupport;

namespace {

long g_killAt = 0;  // 0: counting off
long g_calls = 0;
std::string g_failRenameTo;  // a rename to a path ending so fails as a full disk would

bool RenameFails(const char* to) {
    const size_t n = std::strlen(to);
    return !g_failRenameTo.empty() && n >= g_failRenameTo.size() &&
           std::memcmp(to + n - g_failRenameTo.size(), g_failRenameTo.data(), g_failRenameTo.size()) == 0;
}

bool FolderIsFree(const QString& folder) {
    const int fd = ::open((folder + "/.lock").toLocal8Bit().constData(), O_RDWR | O_CLOEXEC);
    if (fd < 0) return false;
    const bool free = ::flock(fd, LOCK_EX | LOCK_NB) == 0;
    ::close(fd);
    return free;
}

// A table of two items, the second with a photo.
struct LampWithAPhoto {
    QTemporaryDir dir;
    store::Table table;
    AttachmentStore store;
    LampWithAPhoto() {
        MakeItemTable(table, dir.path(), {{"Sofa"}, {"Lamp"}});
        store.Attach(table);
        store.Add(1, {Photo(WriteFile(dir.filePath("l.jpg"), "lamp"))});
    }
};

QStringList Entries(const QString& folder) {
    QStringList names = QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    names.sort();
    return names;
}

void Count() {
    if (g_killAt > 0 && ++g_calls >= g_killAt) ::kill(::getpid(), SIGKILL);
}

template <class F>
F Real(const char* name) {
    return reinterpret_cast<F>(::dlsym(RTLD_NEXT, name));
}

}  // namespace

extern "C" {
ssize_t write(int fd, const void* buf, size_t n) {
    static auto real = Real<ssize_t (*)(int, const void*, size_t)>("write");
    Count();
    return real(fd, buf, n);
}
ssize_t pwrite(int fd, const void* buf, size_t n, off_t off) {
    static auto real = Real<ssize_t (*)(int, const void*, size_t, off_t)>("pwrite");
    Count();
    return real(fd, buf, n, off);
}
ssize_t pwrite64(int fd, const void* buf, size_t n, off64_t off) {
    static auto real = Real<ssize_t (*)(int, const void*, size_t, off64_t)>("pwrite64");
    Count();
    return real(fd, buf, n, off);
}
int fsync(int fd) {
    static auto real = Real<int (*)(int)>("fsync");
    Count();
    return real(fd);
}
int fdatasync(int fd) {
    static auto real = Real<int (*)(int)>("fdatasync");
    Count();
    return real(fd);
}
int ftruncate(int fd, off_t length) {
    static auto real = Real<int (*)(int, off_t)>("ftruncate");
    Count();
    return real(fd, length);
}
int rename(const char* from, const char* to) {
    static auto real = Real<int (*)(const char*, const char*)>("rename");
    Count();
    if (RenameFails(to)) {
        errno = ENOSPC;
        return -1;
    }
    return real(from, to);
}
int link(const char* from, const char* to) {
    static auto real = Real<int (*)(const char*, const char*)>("link");
    Count();
    return real(from, to);
}
int unlink(const char* path) {
    static auto real = Real<int (*)(const char*)>("unlink");
    Count();
    return real(path);
}
}

class PackKillTest : public QObject {
    Q_OBJECT

private slots:
    void packKilledAtEveryWriteKeepsEachItemsAttachments();
    void packWhoseTableCannotTakeItsPlaceChangesNothing();
    void copyWhoseListCannotBeWrittenLeavesNothingStaged();
    void recoveryWhoseListCannotBeWrittenTakesItsFilesBack();
};

void PackKillTest::packKilledAtEveryWriteKeepsEachItemsAttachments() {
    QTemporaryDir templ;
    const QString templateDir = templ.filePath("template");
    QVERIFY(QDir().mkpath(templateDir));
    store::Table t;
    std::vector<TestItem> items;
    constexpr int kItems = 40;
    for (int i = 0; i < kItems; ++i)
        items.push_back({"Item " + std::to_string(i), i % 4 == 0 ? "Same" : "Brand " + std::to_string(i)});
    MakeItemTable(t, templateDir, items);
    t.AddIndex("ITEM", "Item");
    std::map<std::string, std::vector<QByteArray>> expected;
    {
        AttachmentStore store;
        store.Attach(t);
        for (uint32_t r = 0; r < kItems; ++r) {
            if (r % 5 == 4) continue;
            std::vector<NewAttachment> files;
            for (uint32_t k = 0; k <= r % 3; ++k) {
                // Every fourth item shares its first photo with the others.
                const QByteArray content =
                    k == 0 && r % 4 == 0 ? QByteArray("shared") : "photo " + QByteArray::number(r) + "/" + QByteArray::number(k);
                files.push_back(Photo(WriteFile(templ.filePath(QString("p%1-%2.jpg").arg(r).arg(k)), content)));
                expected["Item " + std::to_string(r)].push_back(content);
            }
            store.Add(r, files);
        }
        for (uint32_t r : {3u, 8u, 9u, 10u, 20u, 21u, 30u}) {
            t.GoTo(r);
            t.Delete();
        }
    }
    t.Close();

    long trials = 0, packsDone = 0;
    for (long killAt = 1;; ++killAt) {
        const QString dir = templ.filePath(QString("trial%1").arg(killAt));
        QVERIFY(QDir().mkpath(dir + "/MASTER.files"));
        for (const QString& name : QDir(templateDir).entryList(QDir::Files))
            QVERIFY(QFile::copy(templateDir + "/" + name, dir + "/" + name));
        for (const QString& name : QDir(templateDir + "/MASTER.files").entryList(QDir::Files | QDir::Hidden))
            QVERIFY(QFile::copy(templateDir + "/MASTER.files/" + name, dir + "/MASTER.files/" + name));

        const pid_t pid = ::fork();
        if (pid == 0) {
            store::Table table;
            store::PointAt(table, (dir + "/MASTER.DBF").toStdString());
            table.SetExclusive(true);
            table.Open();
            AttachmentStore store;
            store.Attach(table);
            g_killAt = killAt;
            PackTable(table, &store);
            table.Close();
            g_killAt = 0;
            ::_exit(0);
        }
        int status = 0;
        QVERIFY(::waitpid(pid, &status, 0) == pid);
        const bool killed = WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL;
        QVERIFY2(killed || (WIFEXITED(status) && WEXITSTATUS(status) == 0), qPrintable(QString::number(status)));

        // The next start: the table opens, its attachments are read.
        store::Table table;
        store::PointAt(table, (dir + "/MASTER.DBF").toStdString());
        table.Open();
        AttachmentStore store;
        const LinkReport report = store.Attach(table);
        const QString where = QString("killed at call %1").arg(killAt);
        QVERIFY2(report.Empty(), qPrintable(where + ": " + QString::fromStdString(report.Message())));
        const bool packed = table.PhysicalCount() == uint32_t(kItems - 7);
        QVERIFY2(packed || table.PhysicalCount() == uint32_t(kItems), qPrintable(where));
        packsDone += packed;
        for (uint32_t r = 0; r < table.PhysicalCount(); ++r) {
            const store::RecordView v = table.ViewOf(r);
            const std::string item = v.Text(table.FieldIndex("Item"));
            const auto it = expected.find(item);
            const std::vector<QByteArray> want = it == expected.end() ? std::vector<QByteArray>{} : it->second;
            QVERIFY2(ContentsOf(store, r) == want, qPrintable(where + ", " + QString::fromStdString(item)));
        }
        QVERIFY2(!QFile::exists(dir + "/MASTER.files/manifest.pack"), qPrintable(where));
        for (const QString& name : QDir(dir + "/MASTER.files").entryList(QDir::Files | QDir::Hidden))
            QVERIFY2(!name.startsWith(".tmp"), qPrintable(where + ": " + name));
        table.Close();
        QDir(dir).removeRecursively();
        ++trials;
        if (!killed) break;
    }
    qInfo("%ld kills, the packed table in place after %ld of them", trials - 1, packsDone - 1);
    QVERIFY(trials > 10);
    QVERIFY(packsDone > 1);
}

// The packed table cannot take the old one's place: the table and its
// list stay as they were, the list made for the packed table goes, and the
// folder is free again for this copy and others, in the pack that went
// through and the one that failed.
void PackKillTest::packWhoseTableCannotTakeItsPlaceChangesNothing() {
    QTemporaryDir dir;
    store::Table t;
    MakeItemTable(t, dir.path(), {{"Sofa"}, {"Lamp"}, {"Clock"}, {"Desk"}});
    AttachmentStore store;
    store.Attach(t);
    for (uint32_t r = 0; r < 4; ++r)
        store.Add(r, {Photo(WriteFile(dir.filePath(QString("%1.jpg").arg(r)), "photo " + QByteArray::number(r)))});
    t.GoTo(3);
    t.Delete();
    t.Close();
    t.SetExclusive(true);
    t.Open();
    const QString folder = QString::fromStdString(store.Folder());
    PackTable(t, &store);
    QCOMPARE(t.PhysicalCount(), 3u);
    QVERIFY(FolderIsFree(folder));

    t.GoTo(1);
    t.Delete();
    const QByteArray list = ReadFile(folder + "/manifest.txt");
    const QStringList before = Entries(folder);
    g_failRenameTo = "/MASTER.DBF";
    try {
        PackTable(t, &store);
        g_failRenameTo.clear();
        QFAIL("the pack went through");
    } catch (const store::EngineError& e) {
        g_failRenameTo.clear();
        QCOMPARE(QString(e.what()), "Cannot replace \"" + dir.filePath("MASTER.DBF") + "\": No space left on device.");
    }
    QCOMPARE(t.PhysicalCount(), 3u);
    QCOMPARE(ReadFile(folder + "/manifest.txt"), list);
    QCOMPARE(Entries(folder), before);
    QVERIFY(FolderIsFree(folder));
    QCOMPARE(ContentsOf(store, 1), std::vector<QByteArray>{"photo 1"});
    store.Add(2, {Photo(dir.filePath("0.jpg"))});
    QCOMPARE(ContentsOf(store, 2), (std::vector<QByteArray>{"photo 2", "photo 0"}));
}

// The list of a copy's attachments cannot be written: what was staged for
// it goes at once, not when the copy is given up.
void PackKillTest::copyWhoseListCannotBeWrittenLeavesNothingStaged() {
    LampWithAPhoto h;
    QTemporaryDir& dir = h.dir;
    AttachmentStore& store = h.store;
    const QStringList before = Entries(dir.path());
    AttachmentFolderCopy copy;
    std::string reason;
    g_failRenameTo = "/manifest.txt";
    const bool staged = copy.StageRecords(store, {1}, dir.filePath("copy.files").toStdString(), {}, &reason);
    g_failRenameTo.clear();
    QVERIFY(!staged);
    // The staged folder's name is made afresh for each copy.
    const QString told = QString::fromStdString(reason);
    QVERIFY2(told.startsWith("Cannot replace \"" + dir.path() + "/.tmp") &&
                 told.endsWith(".stage/manifest.txt\": No space left on device."),
             reason.c_str());
    QCOMPARE(Entries(dir.path()), before);
}

// A recovery that brought files back into the folder but cannot write its
// list takes them out again: the folder is as it was.
void PackKillTest::recoveryWhoseListCannotBeWrittenTakesItsFilesBack() {
    LampWithAPhoto h;
    QTemporaryDir& dir = h.dir;
    AttachmentStore& store = h.store;
    const QString folder = QString::fromStdString(store.Folder());
    const QString stored = QString::fromStdString(store.Of(1)[0].stored);
    // The photo is kept aside with the list that named it, then removed.
    const QString aside = folder + "/replaced-2026-12-09";
    QVERIFY(QDir().mkdir(aside));
    WriteFile(aside + "/manifest.txt", ReadFile(folder + "/manifest.txt"));
    QVERIFY(QFile::copy(folder + "/" + stored, aside + "/" + stored));
    store.Remove(1, 0);
    const QStringList before = Entries(folder);
    g_failRenameTo = "/manifest.txt";
    try {
        store.RecoverAttachments();
        g_failRenameTo.clear();
        QFAIL("the recovery went through");
    } catch (const AttachmentError& e) {
        g_failRenameTo.clear();
        QCOMPARE(QString(e.what()), "Cannot replace \"" + folder + "/manifest.txt\": No space left on device.");
    }
    QCOMPARE(Entries(folder), before);
    QCOMPARE(store.CountOf(1), size_t(0));
}

QTEST_GUILESS_MAIN(PackKillTest)
#include "PackKillTest.moc"
