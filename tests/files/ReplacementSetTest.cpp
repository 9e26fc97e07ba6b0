// Files and folders replaced together: the whole set in place, a failing
// step that undoes the others, and journals a killed process left behind,
// finished by the next process in the direction they were going.

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>
#include <sys/stat.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include "ReplacementSet.h"

namespace {

void Write(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(bytes);
}

QByteArray Read(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("(missing)");
}

// Every entry under a folder with its content, hidden ones too.
QStringList Tree(const QString& dir, const QString& prefix = {}) {
    QStringList out;
    for (const QFileInfo& i : QDir(dir).entryInfoList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot | QDir::System,
                                                      QDir::Name)) {
        if (i.isDir() && !i.isSymLink()) out << prefix + i.fileName() + "/" << Tree(i.filePath(), prefix + i.fileName() + "/");
        else out << prefix + i.fileName() + "=" + Read(i.filePath());
    }
    return out;
}

std::string S(const QString& s) { return s.toStdString(); }

// The pid of a process that has ended.
pid_t DeadPid() {
    const pid_t pid = ::fork();
    if (pid == 0) ::_exit(0);
    int status = 0;
    ::waitpid(pid, &status, 0);
    return pid;
}

}  // namespace

class ReplacementSetTest : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_dir;
    QString P(const QString& name) const { return m_dir->path() + "/" + name; }

    // Old set: a.txt, b.txt and folder f/ with one file; new ones staged
    // beside them under hidden names.
    void MakeOldAndStaged() {
        Write(P("a.txt"), "old a");
        Write(P("b.txt"), "old b");
        QDir().mkpath(P("f"));
        Write(P("f/one"), "old one");
        Write(P(".a.new"), "new a");
        Write(P(".b.new"), "new b");
        QDir().mkpath(P(".f.new"));
        Write(P(".f.new/two"), "new two");
    }

    const QStringList kOld = {"a.txt=old a", "b.txt=old b", "f/", "f/one=old one"};
    const QStringList kNew = {"a.txt=new a", "b.txt=new b", "f/", "f/two=new two"};

    // A journal as a process would have written it before it was killed.
    void WriteJournal(pid_t pid, const char* direction, const QStringList& steps) {
        QByteArray text = "Halvenor Inventory replacement 1\n" + QByteArray(direction) + "\n";
        for (const QString& s : steps) text += s.toUtf8() + "\n";
        text += "end\n";
        Write(P(QString(".halvenor-journal-%1-0").arg(pid)), text);
    }
    QStringList Steps(pid_t pid) const {
        const QString base = QString(".halvenor-journal-%1-0").arg(pid);
        return {"file\t" + P(".a.new") + "\t" + P("a.txt") + "\t" + P(base + ".aside0") + "\t1",
                "folder\t" + P(".f.new") + "\t" + P("f") + "\t" + P(base + ".aside1") + "\t1",
                "file\t" + P(".b.new") + "\t" + P("b.txt") + "\t" + P(base + ".aside2") + "\t1"};
    }

private slots:
    void init() { m_dir = std::make_unique<QTemporaryDir>(); }

    void commitPutsEveryFileAndFolderInPlaceAndLeavesNothingElse() {
        MakeOldAndStaged();
        files::ReplacementSet set(S(m_dir->path()));
        set.ReplaceFile(S(P(".a.new")), S(P("a.txt")));
        set.ReplaceFolder(S(P(".f.new")), S(P("f")));
        set.ReplaceFile(S(P(".b.new")), S(P("b.txt")));
        std::string reason;
        QVERIFY2(set.Commit(&reason), reason.c_str());
        QCOMPARE(Tree(m_dir->path()), kNew);
    }

    void newTargetsAndARemovedFolderAreOneStepToo() {
        Write(P(".c.new"), "c");
        QDir().mkpath(P("gone"));
        Write(P("gone/x"), "x");
        files::ReplacementSet set(S(m_dir->path()));
        set.ReplaceFile(S(P(".c.new")), S(P("c.txt")));
        set.RemoveFolder(S(P("gone")));
        std::string reason;
        QVERIFY(set.Commit(&reason));
        QCOMPARE(Tree(m_dir->path()), QStringList({"c.txt=c"}));
    }

    void aStepThatFailsUndoesTheStepsBeforeIt() {
        MakeOldAndStaged();
        // The last new file lies on another file system, so that it cannot
        // be renamed into place (as a folder that refuses new names would
        // refuse it, even to a privileged user).
        QTemporaryDir elsewhere("/dev/shm/halvenor-test-XXXXXX");
        struct stat here {}, there {};
        if (!elsewhere.isValid() || ::stat(P("").toLocal8Bit(), &here) != 0 ||
            ::stat(elsewhere.path().toLocal8Bit(), &there) != 0 || here.st_dev == there.st_dev)
            QSKIP("no second file system");
        Write(elsewhere.path() + "/z.new", "new z");
        Write(P("z"), "old z");
        files::ReplacementSet set(S(m_dir->path()));
        set.ReplaceFile(S(P(".a.new")), S(P("a.txt")));
        set.ReplaceFolder(S(P(".f.new")), S(P("f")));
        set.ReplaceFile(S(elsewhere.path() + "/z.new"), S(P("z")));
        std::string reason;
        QVERIFY(!set.Commit(&reason));
        QVERIFY2(reason.find("Cannot replace \"" + S(P("z")) + "\": Invalid cross-device link.") == 0, reason.c_str());
        QCOMPARE(Tree(m_dir->path()), QStringList({".b.new=new b", "a.txt=old a", "b.txt=old b", "f/", "f/one=old one",
                                                   "z=old z"}));
        QCOMPARE(Tree(elsewhere.path()), QStringList());
    }

    void aSetNeverCommittedRemovesWhatWasStaged() {
        MakeOldAndStaged();
        {
            files::ReplacementSet set(S(m_dir->path()));
            set.ReplaceFile(S(P(".a.new")), S(P("a.txt")));
            set.ReplaceFolder(S(P(".f.new")), S(P("f")));
        }
        QCOMPARE(Tree(m_dir->path()), QStringList({".b.new=new b", "a.txt=old a", "b.txt=old b", "f/", "f/one=old one"}));
    }

    // A kill after the journal: whatever step it reached, the next process
    // finishes the whole set.
    void anInterruptedReplacementIsFinishedByTheNextProcess_data() {
        QTest::addColumn<int>("stepsDone");
        QTest::newRow("killed right after the journal") << 0;
        QTest::newRow("killed after the first file") << 1;
        QTest::newRow("killed after the folder") << 2;
        QTest::newRow("killed after the last file, before the clean-up") << 3;
    }
    void anInterruptedReplacementIsFinishedByTheNextProcess() {
        QFETCH(int, stepsDone);
        MakeOldAndStaged();
        const pid_t pid = DeadPid();
        const QString base = QString(".halvenor-journal-%1-0").arg(pid);
        WriteJournal(pid, "forward", Steps(pid));
        if (stepsDone >= 1) {
            QVERIFY(::link(P("a.txt").toLocal8Bit(), P(base + ".aside0").toLocal8Bit()) == 0);
            QVERIFY(::rename(P(".a.new").toLocal8Bit(), P("a.txt").toLocal8Bit()) == 0);
        }
        if (stepsDone >= 2) {
            QVERIFY(::rename(P("f").toLocal8Bit(), P(base + ".aside1").toLocal8Bit()) == 0);
            QVERIFY(::rename(P(".f.new").toLocal8Bit(), P("f").toLocal8Bit()) == 0);
        }
        if (stepsDone >= 3) QVERIFY(::rename(P(".b.new").toLocal8Bit(), P("b.txt").toLocal8Bit()) == 0);
        files::FinishInterruptedReplacements(S(m_dir->path()));
        QCOMPARE(Tree(m_dir->path()), kNew);
    }

    void aReplacementBeingUndoneEndsWithTheOldSet() {
        MakeOldAndStaged();
        const pid_t pid = DeadPid();
        const QString base = QString(".halvenor-journal-%1-0").arg(pid);
        WriteJournal(pid, "back", Steps(pid));
        // The first file and the folder had been put in place.
        QVERIFY(::link(P("a.txt").toLocal8Bit(), P(base + ".aside0").toLocal8Bit()) == 0);
        QVERIFY(::rename(P(".a.new").toLocal8Bit(), P("a.txt").toLocal8Bit()) == 0);
        QVERIFY(::rename(P("f").toLocal8Bit(), P(base + ".aside1").toLocal8Bit()) == 0);
        QVERIFY(::rename(P(".f.new").toLocal8Bit(), P("f").toLocal8Bit()) == 0);
        files::FinishInterruptedReplacements(S(m_dir->path()));
        QCOMPARE(Tree(m_dir->path()), kOld);
    }

    void journalsOfRunningProcessesAndDamagedOnesAreLeftAlone() {
        MakeOldAndStaged();
        // This process runs; its journal is held.
        WriteJournal(::getpid(), "forward", Steps(::getpid()));
        const QString mine = QString(".halvenor-journal-%1-0").arg(::getpid());
        QFile held(P(mine));
        QVERIFY(held.open(QIODevice::ReadOnly));
        QVERIFY(::flock(held.handle(), LOCK_EX) == 0);
        const pid_t dead = DeadPid();
        const QString damaged = QString(".halvenor-journal-%1-0").arg(dead);
        Write(P(damaged), "Halvenor Inventory replacement 1\nforward\nfile\trelative\tpath\tx\t1\nend\n");
        const QStringList before = Tree(m_dir->path());
        files::FinishInterruptedReplacements(S(m_dir->path()));
        QCOMPARE(Tree(m_dir->path()), before);
    }

    void leftoversOfAJournalNeverWrittenWholeGo() {
        Write(P("a.txt"), "old a");
        const pid_t dead = DeadPid();
        Write(P(QString(".halvenor-journal-%1-3.new").arg(dead)), "Halvenor Inventory repl");
        Write(P(QString(".halvenor-journal-%1-3.new").arg(::getpid())), "being written");
        files::FinishInterruptedReplacements(S(m_dir->path()));
        QCOMPARE(Tree(m_dir->path()),
                 QStringList({QString(".halvenor-journal-%1-3.new=being written").arg(::getpid()), "a.txt=old a"}));
    }
};

QTEST_GUILESS_MAIN(ReplacementSetTest)
#include "ReplacementSetTest.moc"
