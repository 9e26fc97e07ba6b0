// A pack killed at every write it makes: the data file, the index, the
// manifest and the removal of unused files. After each kill the table and
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
#include <dlfcn.h>
#include <fcntl.h>
#include <stdio.h>
#include <sys/wait.h>
#include <unistd.h>

#include "AttachmentsTestSupport.h"
#include "FolderFiles.h"

using namespace attachments;
using namespace testsupport;

namespace {

long g_killAt = 0;  // 0: counting off
long g_calls = 0;

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

QTEST_GUILESS_MAIN(PackKillTest)
#include "PackKillTest.moc"
