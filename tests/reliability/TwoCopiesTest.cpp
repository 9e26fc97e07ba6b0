// Two copies of the program on one table: two processes append, edit and
// delete records and add and remove index tags at the same time, each on
// its own records and tags, while a third holds the table so that neither
// can take it for sole use. Nothing either copy posted may be lost, no
// record may appear twice, each copy's tags stay as it left them, and the
// tags order the records. Commands that need the table alone are refused
// while another copy holds it, and refused in the other direction too.

#include <QDir>
#include <QJsonArray>
#include <QTemporaryDir>
#include <QTest>

#include <map>
#include <random>
#include <sstream>
#include <sys/wait.h>
#include <unistd.h>

#include "ItemTable.h"
#include "StoreTestSupport.h"
#include "TableHolder.h"
#include "TableInvariants.h"

using namespace store;
using namespace testsupport;

namespace {

// One copy's work; what it leaves behind comes back as lines:
// "live <item> <version>", "gone <item>", "tag <name>", "refused <message>".
std::string CopyWork(const std::string& path, char who, unsigned seed) {
    std::mt19937 rng(seed);
    Table t;
    PointAt(t, path);
    t.Open();
    std::map<std::string, int> mine;  // item -> version
    std::vector<std::string> gone;
    std::vector<std::string> tags;
    std::string refusals;
    int next = 0;
    auto find = [&](const std::string& item) {
        const int f = t.NeedField("Item");
        for (uint32_t r = 0; r < t.PhysicalCount(); ++r) {
            const RecordView v = t.ViewOf(r);
            if (FlagOf(v) == ' ' && v.Text(f) == item) return long(r);
        }
        return -1L;
    };
    for (int step = 0; step < 400; ++step) {
        const unsigned roll = rng() % 100;
        if (roll < 45 || mine.empty()) {
            const std::string item = std::string(1, who) + std::to_string(next++);
            t.Append();
            t.SetText("Item", item);
            t.SetText("Category", roll % 2 ? "Shared" : std::string(1, who));
            t.SetText("UserDef1", "0");
            t.Post();
            mine[item] = 0;
        } else if (roll < 88) {
            // One of this copy's records, made current.
            auto it = mine.begin();
            std::advance(it, long(rng() % mine.size()));
            const long r = find(it->first);
            if (r < 0) return "error: my record " + it->first + " went missing";
            t.GoTo(uint32_t(r));
            if (roll < 75) {
                t.Edit();
                t.SetText("UserDef1", std::to_string(++it->second));
                t.Post();
                continue;
            }
            t.Delete();
            gone.push_back(it->first);
            mine.erase(it);
        } else if (roll < 96) {
            const std::string tag = std::string(1, who) + std::to_string(rng() % 3);
            const auto at = std::find(tags.begin(), tags.end(), tag);
            if (at == tags.end()) {
                t.AddIndex(tag, tag.back() == '0' ? "UPPER(ITEM)" : "UPPER(CATEGORY)+USERDEF1");
                tags.push_back(tag);
            } else {
                t.DeleteIndex(tag);
                tags.erase(at);
            }
        } else if (roll < 98) {
            t.Refresh();
        } else {
            // Sole use: the holder keeps it from either copy.
            Table alone;
            PointAt(alone, path);
            alone.SetExclusive(true);
            try {
                alone.Open();
                return std::string("error: sole use was granted while others held the table");
            } catch (const EngineError& e) {
                refusals = e.what();
            }
        }
    }
    t.Close();
    std::ostringstream out;
    for (const auto& [item, version] : mine) out << "live " << item << " " << version << "\n";
    for (const auto& item : gone) out << "gone " << item << "\n";
    for (const auto& tag : tags) out << "tag " << tag << "\n";
    if (!refusals.empty()) out << "refused " << refusals << "\n";
    return out.str();
}

struct Running {
    pid_t pid;
    int fd;
};

Running Start(const std::string& path, char who, unsigned seed) {
    int fds[2];
    if (::pipe(fds) != 0) return {-1, -1};
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::close(fds[0]);
        std::string result;
        try {
            result = CopyWork(path, who, seed);
        } catch (const std::exception& e) {
            result = std::string("error: ") + e.what();
        }
        (void)!::write(fds[1], result.data(), result.size());
        ::_exit(0);
    }
    ::close(fds[1]);
    return {pid, fds[0]};
}

std::string Finish(const Running& r) {
    std::string out;
    char buf[4096];
    ssize_t n;
    while ((n = ::read(r.fd, buf, sizeof buf)) > 0 || (n < 0 && errno == EINTR))
        if (n > 0) out.append(buf, size_t(n));
    ::close(r.fd);
    int status = 0;
    ::waitpid(r.pid, &status, 0);
    if (!WIFEXITED(status)) return "error: the copy died with signal " + std::to_string(WTERMSIG(status));
    return out;
}

}  // namespace

class TwoCopiesTest : public QObject {
    Q_OBJECT

private slots:
    void init() { m_dir = std::make_unique<QTemporaryDir>(); }

    void twoCopiesWorkingAtOnceLoseNothing() {
        const std::string path = QDir(m_dir->path()).filePath("MASTER.DBF").toStdString();
        {
            Table t;
            CreateItemTable(t, m_dir->path());
            t.AddIndex("ITEM", "UPPER(ITEM)");
            AppendItem(t, "start");
        }
        std::map<std::string, std::string> live;  // item -> version
        std::vector<std::string> gone, tags{"ITEM"};
        {
            const TableHolder holder(path);
            QVERIFY(holder.Holding());
            const Running a = Start(path, 'A', 11), b = Start(path, 'B', 29);
            for (const Running& r : {a, b}) {
                const std::string report = Finish(r);
                QVERIFY2(report.rfind("error", 0) != 0, report.c_str());
                std::istringstream in(report);
                for (std::string kind; in >> kind;) {
                    std::string name, rest;
                    in >> name;
                    std::getline(in, rest);
                    if (kind == "live") live[name] = rest.substr(1);
                    else if (kind == "gone") gone.push_back(name);
                    else if (kind == "tag") tags.push_back(name);
                    else if (kind == "refused") QVERIFY2((name + rest).find("in use") != std::string::npos, rest.c_str());
                }
            }
        }
        QVERIFY(live.size() > 100);
        QVERIFY(!gone.empty());

        Table t;
        PointAt(t, path);
        t.Open();
        std::map<std::string, std::string> found;
        const int item = t.NeedField("Item"), version = t.NeedField("UserDef1");
        for (uint32_t r : LiveRecords(t)) {
            const RecordView v = t.ViewOf(r);
            const std::string name = v.Text(item);
            if (name == "start") continue;
            QVERIFY2(!found.count(name), ("twice: " + name).c_str());
            found[name] = v.Text(version);
        }
        for (const auto& [name, v] : live) {
            QVERIFY2(found.count(name), ("lost: " + name).c_str());
            QCOMPARE(found[name], v);
        }
        for (const std::string& name : gone) QVERIFY2(!found.count(name), ("deleted but back: " + name).c_str());
        QCOMPARE(found.size(), live.size());

        std::vector<std::string> names = t.IndexNames();
        std::sort(names.begin(), names.end());
        std::sort(tags.begin(), tags.end());
        QCOMPARE(names, tags);
        const std::string orderProblem = TagOrderProblem(t);
        QVERIFY2(orderProblem.empty(), orderProblem.c_str());
        const uint32_t count = t.RecordCount();
        t.Close();
        QCOMPARE(uint32_t(ReadWithDbfread(QString::fromStdString(path))["records"].toArray().size()), count);
    }

    void soleUseIsRefusedWhileTheOtherCopyHoldsTheTable() {
        const std::string path = QDir(m_dir->path()).filePath("MASTER.DBF").toStdString();
        {
            Table t;
            CreateItemTable(t, m_dir->path());
            AppendItem(t, "one");
        }
        {
            const TableHolder other(path);
            QVERIFY(other.Holding());
            Table t;
            PointAt(t, path);
            t.SetExclusive(true);
            QVERIFY_THROWS_EXCEPTION(EngineError, t.Open());
            try {
                t.Open();
            } catch (const EngineError& e) {
                QVERIFY2(std::string(e.what()).find("in use") != std::string::npos, e.what());
            }
            // A shared handle may not pack either.
            t.SetExclusive(false);
            t.Open();
            QVERIFY_THROWS_EXCEPTION(EngineError, t.Pack());
            QCOMPARE(t.RecordCount(), 1u);
        }
        // The other way round: held alone here, the other copy cannot open it.
        Table alone;
        PointAt(alone, path);
        alone.SetExclusive(true);
        alone.Open();
        const TableHolder other(path);
        QVERIFY(!other.Holding());
        alone.Close();
        const TableHolder later(path);
        QVERIFY(later.Holding());
    }

private:
    std::unique_ptr<QTemporaryDir> m_dir;
};

QTEST_GUILESS_MAIN(TwoCopiesTest)
#include "TwoCopiesTest.moc"
