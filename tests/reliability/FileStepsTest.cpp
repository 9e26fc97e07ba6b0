// The order in which the built program changes files on disk, as the kill
// trials' shim traces it: every file a command replaces is written whole
// under another name before one rename puts it in place, and what a command
// promises to keep after a power cut is synced before that rename and its
// folder after it.

#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

namespace {

QString FolderOf(const QString& path) { return path.left(path.lastIndexOf('/')); }

// The lines of a trace, one call each: "write P", "fsync P",
// "rename A -> B", "unlink P" ...
class Trace {
public:
    explicit Trace(QStringList lines) : m_lines(std::move(lines)) {}

    qsizetype Find(const QString& line, qsizetype from = 0) const { return m_lines.indexOf(line, from); }
    qsizetype LastOf(const QString& line, qsizetype before) const {
        return before <= 0 ? -1 : m_lines.lastIndexOf(line, before - 1);
    }
    // The rename that put target in place: its source, and where it stands.
    std::pair<QString, qsizetype> RenameOnto(const QString& target) const {
        const QString tail = " -> " + target;
        for (qsizetype i = m_lines.size() - 1; i >= 0; --i)
            if (m_lines[i].startsWith("rename ") && m_lines[i].endsWith(tail))
                return {m_lines[i].mid(7, m_lines[i].size() - 7 - tail.size()), i};
        return {QString(), -1};
    }
    // The first line that matches.
    qsizetype Match(const QRegularExpression& pattern) const {
        for (qsizetype i = 0; i < m_lines.size(); ++i)
            if (pattern.match(m_lines[i]).hasMatch()) return i;
        return -1;
    }
    const QString& Line(qsizetype i) const { return m_lines[i]; }
    QString Text() const { return m_lines.join('\n'); }

private:
    QStringList m_lines;
};

}  // namespace

class FileStepsTest : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_home;
    QString m_data, m_config;

    QString Home(const QString& name) const { return m_home->filePath(name); }

    // The built program run with the shim tracing its file calls.
    Trace Run(const QStringList& args) {
        const QString trace = Home("trace.txt");
        QFile::remove(trace);
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("XDG_CONFIG_HOME", Home("config"));
        env.insert("XDG_DATA_HOME", Home("data"));
        env.insert("HOME", m_home->path());
        env.insert("LD_PRELOAD", HALVENOR_KILL_SHIM);
        env.insert("HALVENOR_TRACE_FILE", trace);
        p.setProcessEnvironment(env);
        p.setWorkingDirectory(m_home->path());
        p.start(HALVENOR_PROGRAM, args);
        if (!p.waitForFinished(120000) || p.exitCode() != 0)
            qWarning("%s: %s", qPrintable(args.join(' ')), p.readAllStandardError().constData());
        QFile f(trace);
        if (!f.open(QIODevice::ReadOnly)) return Trace({});
        return Trace(QString::fromUtf8(f.readAll()).split('\n', Qt::SkipEmptyParts));
    }

    static void WriteFile(const QString& path, const QByteArray& bytes) {
        QDir().mkpath(FolderOf(path));
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    }

    // target was written whole under another name in its folder and renamed
    // into place once; durably: the new file synced before the rename, the
    // folder after it.
    static void CheckReplaced(const Trace& t, const QString& target, bool durable) {
        const auto [temp, renamed] = t.RenameOnto(target);
        QVERIFY2(renamed >= 0, qPrintable(target + " was not renamed into place:\n" + t.Text()));
        QVERIFY2(FolderOf(temp) == FolderOf(target), qPrintable(temp));
        const qsizetype written = t.LastOf("write " + temp, renamed);
        QVERIFY2(written >= 0, qPrintable(temp + " was never written:\n" + t.Text()));
        // (Once in place, a table is the engine's to change.)
        QVERIFY2(t.LastOf("write " + target, renamed) < 0, qPrintable(target + " was written in place:\n" + t.Text()));
        if (!durable) return;
        const qsizetype synced = t.LastOf("fsync " + temp, renamed);
        QVERIFY2(synced > written, qPrintable(temp + " was not synced after its last write:\n" + t.Text()));
        QVERIFY2(t.Find("fsync " + FolderOf(target), renamed + 1) > renamed,
                 qPrintable(FolderOf(target) + " was not synced after the rename:\n" + t.Text()));
    }

private slots:
    void init() {
        m_home = std::make_unique<QTemporaryDir>();
        QVERIFY(m_home->isValid());
        m_data = Home("data/halvenor");
        m_config = Home("config/halvenor");
        WriteFile(Home("items.csv"), "\"Lamp\",\"Orvane\"\r\n\"Kettle\",\"Brisk\"\r\n\"Chair\",\"Orvane\"\r\n");
        QVERIFY(Run({"import", "--no-skip-first", "items.csv"}).Find("write " + m_data + "/MASTER.DBF") >= 0);
        Run({"report", "--list"});  // the report definitions, as at a first start
        WriteFile(m_config + "/KELDOR.INI", "[Misc]\r\nInsurance Company=Northwind Mutual\r\n");
        for (const char* list : {"BRAND.LST", "LOCATION.LST", "BOUGHT.LST", "CATEGORY.LST", "OWNER.LST"})
            WriteFile(m_data + "/" + list, QByteArray(list) + "\r\n");
    }

    // An export replaces its file in one step; it is a copy of what the
    // table keeps, so it is not synced.
    void exportsReplaceTheirFileInOneStep() {
        for (const char* name : {"out.csv", "out.dbf"}) {
            const QString out = Home(name);
            WriteFile(out, "an older export");
            const Trace t = Run({"export", out});
            CheckReplaced(t, out, false);
        }
    }

    // A backup and a restore put every file in place durably, after the
    // journal that lets the next start finish them; nothing of theirs is
    // left beside the files.
    void backupAndRestorePutEveryFileInPlaceDurably() {
        const QString saved = Home("saved");
        Trace t = Run({"backup", "--to", saved});
        // The journal in place: written, synced, renamed, its folder synced.
        const qsizetype journalAt =
            t.Match(QRegularExpression("^rename .*/\\.halvenor-journal-[0-9-]+\\.new -> .*/\\.halvenor-journal-[0-9-]+$"));
        QVERIFY2(journalAt >= 0, qPrintable(t.Text()));
        CheckReplaced(t, t.Line(journalAt).section(" -> ", 1), true);
        for (const char* name : {"MASTER.DBF", "KELDOR.INI", "KELDOR.URP", "BRAND.LST", "OWNER.LST"}) {
            CheckReplaced(t, saved + "/" + name, true);
            QVERIFY(t.RenameOnto(saved + "/" + name).second > journalAt);
        }
        QCOMPARE(QDir(saved).entryList(QDir::Files | QDir::Hidden).filter(QRegularExpression("^\\.")), QStringList());

        t = Run({"restore", "--from", saved});
        for (const char* name : {"MASTER.DBF", "KELDOR.URP", "BRAND.LST", "OWNER.LST"}) CheckReplaced(t, m_data + "/" + name, true);
        CheckReplaced(t, m_config + "/KELDOR.INI", true);  // and again when the restored table becomes current
        CheckReplaced(t, m_data + "/MASTER.MDX", true);     // the index of the restored table, built afresh
    }
};

QTEST_GUILESS_MAIN(FileStepsTest)
#include "FileStepsTest.moc"
