// Kill trials: a child process works on an item table (appends, edits,
// deletes, bulk appends, imports, exports, backups and restores, packs,
// reindexes, tag changes, reopening)
// and is killed with SIGKILL, either just before one of its write, fsync,
// truncate or rename calls (counted by the preloaded kill shim) or at a
// random moment. After every kill the table must:
//   - have a sound file: header, record length, end mark after the last
//     counted record, flags live or deleted;
//   - open for writing, with every tag ordering exactly the live records;
//   - hold every record the child reported as posted, with the values it
//     reported last, no record twice and none that nobody posted;
//   - read the same in an independent reader (dbfread);
//   - leave no temporary file behind once opened for sole use, or once the
//     next export or backup writes into the folder;
//   - and the backup copy must still be a sound item table.
//
// The child reports each operation through a pipe before it starts
// ("B <operation> <arguments>") and when it returned ("D"); an operation
// begun and not done may or may not have reached the file.
//
//   kill_trials [--trials N] [--long] [--keep]
//       runs N trials (20; at least 500 with --long) and prints the figures.
//       --long kills at every counted call of each script, not a spread.
//   kill_trials --child FOLDER SEED      the child (started by the driver)
//
// To add an operation: write a function of Child that reports "B name ..."
// through Begin(), does the work and calls Done(); list it in kOperations
// with a weight; teach Model::Apply what it changes when done and what it
// may change when interrupted.

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <map>
#include <optional>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "BackupRestore.h"
#include "ExportEngine.h"
#include "ImportEngine.h"
#include "ItemSchema.h"
#include "Table.h"
#include "TableInvariants.h"

namespace {

constexpr int kReportFd = 3;
constexpr int kStartRecords = 300;
constexpr int kImportFiles = 3;
constexpr int kImportLines = 250;
constexpr const char* kCategories[] = {"Tools", "Kitchen", "Books", "Garden", "Attic"};

std::string IdText(int id) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "K%07d", id);
    return buf;
}

// What a record holds when it is first posted: every way of adding a
// record (append, bulk, import, the starting table) gives the same values.
struct Values {
    std::string category;
    std::string version;
    bool operator==(const Values&) const = default;
};

Values FirstValues(int id) { return {kCategories[id % 5], "v0"}; }

int ImportFirstId(int file) { return 500000 + file * 1000; }

// ---------------------------------------------------------------- child

class Child {
public:
    Child(const std::string& dir, unsigned seed) : m_rng(seed), m_nextId(1000 + int(seed % 1000) * 1000) {
        m_table.SetDirectory(dir);
        m_table.SetTableName("MASTER");
        m_dir = dir;
    }

    void Run(int operations);

    void Append();
    void Edit();
    void Delete();
    void Bulk();
    void Import();
    void Pack();
    void Reindex();
    void TagChange();
    void Reopen();
    void Export();
    void Backup();
    void Restore();

private:
    void Begin(const std::string& line) { Report("B " + line + "\n"); }
    void Done() { Report("D\n"); }
    static void Report(const std::string& text) { (void)!::write(kReportFd, text.data(), text.size()); }
    int Pick(int n) { return int(m_rng() % unsigned(n)); }
    void Open(bool exclusive) {
        m_table.Close();
        m_table.SetExclusive(exclusive);
        m_table.Open();
    }
    // The live record holding the id; -1 when none.
    long Find(int id) {
        const int item = m_table.NeedField("Item");
        const std::string wanted = IdText(id);
        for (uint32_t r = 0; r < m_table.PhysicalCount(); ++r) {
            const store::RecordView v = m_table.ViewOf(r);
            if (testsupport::FlagOf(v) == ' ' && v.Text(item) == wanted) return long(r);
        }
        return -1;
    }
    void Fill(int id) {
        const Values v = FirstValues(id);
        m_table.SetText("Item", IdText(id));
        m_table.SetText("Category", v.category);
        m_table.SetText("UserDef1", v.version);
        m_table.SetText("Cost", std::to_string(id % 997) + ".25");
    }
    int SomeLiveId() {
        const std::vector<uint32_t> live = testsupport::LiveRecords(m_table);
        if (live.empty()) return -1;
        const std::string item = m_table.ViewOf(live[size_t(Pick(int(live.size())))]).Text(m_table.NeedField("Item"));
        return std::atoi(item.c_str() + 1);
    }

    store::Table m_table;
    std::string m_dir;
    std::mt19937 m_rng;
    int m_nextId;
    int m_version = 0;
    std::set<int> m_imported;
};

struct TrialOperation {
    const char* name;
    int weight;
    void (Child::*run)();
};

const TrialOperation kOperations[] = {
    {"append", 30, &Child::Append}, {"edit", 20, &Child::Edit},       {"delete", 10, &Child::Delete},
    {"bulk", 8, &Child::Bulk},      {"import", 6, &Child::Import},   {"pack", 5, &Child::Pack},
    {"reindex", 5, &Child::Reindex}, {"tag", 6, &Child::TagChange}, {"reopen", 5, &Child::Reopen},
    {"export", 4, &Child::Export},    {"backup", 4, &Child::Backup},   {"restore", 4, &Child::Restore},
};

void Child::Run(int operations) {
    m_table.Open();
    int total = 0;
    for (const auto& op : kOperations) total += op.weight;
    for (int i = 0; i < operations; ++i) {
        int roll = Pick(total);
        for (const auto& op : kOperations) {
            if (roll < op.weight) {
                (this->*op.run)();
                break;
            }
            roll -= op.weight;
        }
    }
    m_table.Close();
}

void Child::Append() {
    const int id = m_nextId++;
    Begin("append " + std::to_string(id));
    m_table.Append();
    Fill(id);
    m_table.Post();
    Done();
}

void Child::Edit() {
    const int id = SomeLiveId();
    if (id < 0) return;
    const std::string category = kCategories[Pick(5)];
    const std::string version = "v" + std::to_string(++m_version);
    Begin("edit " + std::to_string(id) + " " + category + " " + version);
    m_table.GoTo(uint32_t(Find(id)));
    m_table.Edit();
    m_table.SetText("Category", category);
    m_table.SetText("UserDef1", version);
    m_table.Post();
    Done();
}

void Child::Delete() {
    const int id = SomeLiveId();
    if (id < 0) return;
    Begin("delete " + std::to_string(id));
    m_table.GoTo(uint32_t(Find(id)));
    m_table.Delete();
    Done();
}

void Child::Bulk() {
    const int first = m_nextId, count = 20 + Pick(400);
    m_nextId += count;
    Begin("bulk " + std::to_string(first) + " " + std::to_string(count));
    m_table.BeginBulkAppend();
    for (int id = first; id < first + count; ++id) {
        m_table.Append();
        Fill(id);
        m_table.Post();
    }
    m_table.EndBulkAppend();
    Done();
}

void Child::Import() {
    const int file = Pick(kImportFiles);
    if (!m_imported.insert(file).second) return;  // each file's ids once
    Begin("import " + std::to_string(ImportFirstId(file)) + " " + std::to_string(kImportLines));
    exchange::ImportRequest request;
    request.path = m_dir + "/import" + std::to_string(file) + ".txt";
    request.map = exchange::MapByName({"Item", "Category", "UserDef1", "Cost"});
    const exchange::RunResult result = exchange::ImportText(m_table, request, {});
    if (result.outcome != exchange::Outcome::Completed) throw store::EngineError(result.message);
    Done();
}

void Child::Pack() {
    Begin("pack");
    Open(true);
    m_table.Pack();
    Open(false);
    Done();
}

void Child::Reindex() {
    Begin("reindex");
    m_table.RegenerateIndexes();
    Done();
}

void Child::TagChange() {
    const auto names = m_table.IndexNames();
    const bool present = std::find(names.begin(), names.end(), "EXTRA") != names.end();
    Begin(present ? "untag" : "tag");
    if (present) m_table.DeleteIndex("EXTRA");
    else m_table.AddIndex("EXTRA", "UPPER(USERDEF1)+ITEM");
    Done();
}

void Child::Reopen() {
    Begin("reopen");
    m_table.SetActiveIndex(Pick(2) ? "CAT" : "");
    Open(false);
    Done();
}

void Child::Export() {
    Begin("export");
    const exchange::RunResult result =
        exchange::ExportText(m_table, {m_dir + "/export.txt", {1, 12, 19}, {"Item", "Category", "UserDef1"}}, {});
    if (result.outcome != exchange::Outcome::Completed) throw store::EngineError(result.message);
    Done();
}

// The backup and the restore need the table to themselves: the child lets
// go of it for them, as the main window does.
void Child::Backup() {
    Begin("backup");
    m_table.Close();
    exchange::BackupRequest request;
    request.folder = m_dir + "/saved";
    request.dataFile = m_dir + "/MASTER.DBF";
    request.programDir = m_dir;
    const exchange::CopyResult result = exchange::Backup(request, {});
    if (result.status != exchange::CopyStatus::Completed) throw store::EngineError(result.message + " " + result.reason);
    m_table.Open();
    Done();
}

void Child::Restore() {
    Begin("restore");
    m_table.Close();
    exchange::RestoreRequest request;
    request.chosenFile = m_dir + "/saved/MASTER.DBF";
    request.programDir = m_dir;
    const exchange::CopyResult result = exchange::Restore(request, {});
    if (result.status != exchange::CopyStatus::Completed) throw store::EngineError(result.message + " " + result.reason);
    m_table.Open();
    Done();
}

int ChildMain(const std::string& dir, unsigned seed) {
    try {
        Child child(dir, seed);
        child.Run(24);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "trial child %u: %s\n", seed, e.what());
        return 1;
    }
    return 0;
}

// ---------------------------------------------------------------- the table at the start

void WriteImportFile(const std::string& path, int firstId) {
    std::string text = "\"Item\",\"Category\",\"UserDef1\",\"Cost\"\r\n";
    for (int id = firstId; id < firstId + kImportLines; ++id) {
        const Values v = FirstValues(id);
        text += "\"" + IdText(id) + "\",\"" + v.category + "\",\"" + v.version + "\",\"" + std::to_string(id % 997) + ".25\"\r\n";
    }
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) throw std::runtime_error("cannot write " + path);
    std::fwrite(text.data(), 1, text.size(), f);
    std::fclose(f);
}

void MakeTemplate(const std::string& dir) {
    store::Table t;
    t.SetDirectory(dir);
    t.SetTableName("MASTER");
    t.Create(store::ItemTableFieldDefs());
    t.Open();
    t.BeginBulkAppend();
    for (int id = 1; id <= kStartRecords; ++id) {
        const Values v = FirstValues(id);
        t.Append();
        t.SetText("Item", IdText(id));
        t.SetText("Category", v.category);
        t.SetText("UserDef1", v.version);
        t.Post();
    }
    t.EndBulkAppend();
    t.AddIndex("ITEM", "UPPER(ITEM)");
    t.AddIndex("CAT", "UPPER(CATEGORY)+ITEM");
    t.Close();
    // A backup of the starting table, for restores before the first backup.
    exchange::BackupRequest backup;
    backup.folder = dir + "/saved";
    backup.dataFile = dir + "/MASTER.DBF";
    backup.programDir = dir;
    ::mkdir(backup.folder.c_str(), 0755);
    if (exchange::Backup(backup, {}).status != exchange::CopyStatus::Completed) throw std::runtime_error("no backup");
    for (int f = 0; f < kImportFiles; ++f) WriteImportFile(dir + "/import" + std::to_string(f) + ".txt", ImportFirstId(f));
}

// Every entry of a folder, hidden ones too (temporary files are hidden).
std::vector<std::string> FilesIn(const std::string& dir) {
    std::vector<std::string> names;
    if (DIR* d = ::opendir(dir.c_str())) {
        while (dirent* e = ::readdir(d))
            if (std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0) names.push_back(e->d_name);
        ::closedir(d);
    }
    std::sort(names.begin(), names.end());
    return names;
}

bool IsFolder(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

void RemoveFolder(const std::string& dir) {
    for (const std::string& n : FilesIn(dir)) {
        const std::string path = dir + "/" + n;
        if (IsFolder(path)) RemoveFolder(path);
        else ::unlink(path.c_str());
    }
    ::rmdir(dir.c_str());
}

// Copies the files keeping their times, so that the index still describes
// the table as it did in the template.
void CopyFolder(const std::string& from, const std::string& to) {
    ::mkdir(to.c_str(), 0755);
    for (const std::string& n : FilesIn(from)) {
        if (IsFolder(from + "/" + n)) {
            CopyFolder(from + "/" + n, to + "/" + n);
            continue;
        }
        const std::string bytes = testsupport::ReadWholeFile(from + "/" + n);
        FILE* f = std::fopen((to + "/" + n).c_str(), "wb");
        if (!f) throw std::runtime_error("cannot copy " + n);
        std::fwrite(bytes.data(), 1, bytes.size(), f);
        std::fclose(f);
        struct stat st {};
        ::stat((from + "/" + n).c_str(), &st);
        const timespec times[2] = {st.st_atim, st.st_mtim};
        ::utimensat(AT_FDCWD, (to + "/" + n).c_str(), times, 0);
    }
}

// ---------------------------------------------------------------- the driver

struct ChildRun {
    std::vector<std::string> lines;  // what the child reported
    bool killed = false;
    int exitCode = 0;
    long calls = -1;  // counted calls of a run that was not killed
    double seconds = 0;
};

std::string g_self;
std::string g_shim = HALVENOR_KILL_SHIM;

// killAt > 0: the shim kills the child before that call; killAfter > 0: the
// driver kills it after so many microseconds.
ChildRun RunChild(const std::string& dir, unsigned seed, long killAt, long killAfter) {
    int pipeFds[2];
    if (::pipe(pipeFds) != 0) throw std::runtime_error("no pipe");
    const std::string countFile = dir + ".count";
    ::unlink(countFile.c_str());
    const auto start = std::chrono::steady_clock::now();
    const pid_t pid = ::fork();
    if (pid < 0) throw std::runtime_error("no fork");
    if (pid == 0) {
        ::close(pipeFds[0]);
        if (pipeFds[1] != kReportFd) {
            ::dup2(pipeFds[1], kReportFd);
            ::close(pipeFds[1]);
        }
        ::setenv("LD_PRELOAD", g_shim.c_str(), 1);
        ::setenv("HALVENOR_REPORT_FD", std::to_string(kReportFd).c_str(), 1);
        ::setenv("HALVENOR_KILL_AT", std::to_string(killAt).c_str(), 1);
        ::setenv("HALVENOR_COUNT_FILE", countFile.c_str(), 1);
        const std::string seedText = std::to_string(seed);
        ::execl(g_self.c_str(), g_self.c_str(), "--child", dir.c_str(), seedText.c_str(), static_cast<char*>(nullptr));
        ::_exit(127);
    }
    ::close(pipeFds[1]);
    if (killAfter > 0) {
        ::usleep(useconds_t(killAfter));
        ::kill(pid, SIGKILL);
    }
    std::string text;
    char buf[4096];
    for (;;) {
        const ssize_t n = ::read(pipeFds[0], buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        text.append(buf, size_t(n));
    }
    ::close(pipeFds[0]);
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    ChildRun run;
    run.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    run.killed = WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL;
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) run.lines.push_back(line);
    const std::string count = testsupport::ReadWholeFile(countFile);
    if (!count.empty()) run.calls = std::atol(count.c_str());
    ::unlink(countFile.c_str());
    return run;
}

// What the table must hold after the child's reports.
class Model {
public:
    Model() {
        for (int id = 1; id <= kStartRecords; ++id) m_live[id] = FirstValues(id);
        m_saved = m_live;
    }

    // A restore in flight leaves the records as they were or as they were
    // saved: this is the second of the two.
    const std::optional<std::map<int, Values>>& RestoredInFlight() const { return m_restoredInFlight; }

    void Replay(const std::vector<std::string>& lines) {
        for (size_t i = 0; i < lines.size(); ++i) {
            if (lines[i].rfind("B ", 0) != 0) continue;
            const bool done = i + 1 < lines.size() && lines[i + 1] == "D";
            Apply(lines[i].substr(2), done);
        }
    }

    // A done operation changes what must be there; one in flight widens
    // what may be there.
    void Apply(const std::string& line, bool done) {
        std::istringstream in(line);
        std::string op;
        in >> op;
        if (op == "append" || op == "bulk" || op == "import") {
            int first = 0, count = 1;
            in >> first;
            if (op != "append") in >> count;
            for (int id = first; id < first + count; ++id) {
                if (done) m_live[id] = FirstValues(id);
                else m_mayAppear[id] = FirstValues(id);
            }
            if (!done && op == "bulk") m_bulkInFlight = {first, count};
        } else if (op == "edit") {
            int id = 0;
            Values v;
            in >> id >> v.category >> v.version;
            if (done) m_live[id] = v;
            else m_alternative[id] = v;
        } else if (op == "delete") {
            int id = 0;
            in >> id;
            if (done) m_live.erase(id);
            else m_mayVanish.insert(id);
        } else if (op == "backup" && done) {
            m_saved = m_live;
        } else if (op == "restore") {
            if (done) m_live = m_saved;
            else m_restoredInFlight = m_saved;
        }
    }

    // What is wrong with the live records found, measured against the
    // records that must be there (Problem) or, with a restore in flight,
    // against either state.
    std::string ProblemAllowingRestore(const std::multimap<int, Values>& found) const {
        std::string problem = Problem(found);
        if (problem.empty() || !m_restoredInFlight) return problem;
        Model restored;
        restored.m_live = *m_restoredInFlight;
        return restored.Problem(found).empty() ? std::string() : problem;
    }

    // What is wrong with the live records found (id -> values).
    std::string Problem(const std::multimap<int, Values>& found) const {
        for (auto it = found.begin(); it != found.end(); ++it) {
            if (found.count(it->first) > 1) return IdText(it->first) + " is there twice";
            const auto want = m_live.find(it->first);
            if (want == m_live.end()) {
                const auto may = m_mayAppear.find(it->first);
                if (may == m_mayAppear.end()) return IdText(it->first) + " is there though nobody posted it";
                if (may->second != it->second) return IdText(it->first) + " has values nobody posted";
                continue;
            }
            const auto alt = m_alternative.find(it->first);
            if (!(want->second == it->second) && !(alt != m_alternative.end() && alt->second == it->second))
                return IdText(it->first) + " has " + it->second.category + "/" + it->second.version + " instead of " +
                       want->second.category + "/" + want->second.version;
        }
        for (const auto& [id, v] : m_live)
            if (!found.count(id) && !m_mayVanish.count(id)) return IdText(id) + ", reported as posted, is lost";
        // A bulk append writes its records in batches, each whole or not at
        // all: an interrupted one leaves the records of its first batches.
        if (m_bulkInFlight.second > 0) {
            int present = 0;
            for (int id = m_bulkInFlight.first; id < m_bulkInFlight.first + m_bulkInFlight.second; ++id) {
                if (!found.count(id)) continue;
                if (id != m_bulkInFlight.first + present)
                    return "an interrupted bulk append left " + IdText(id) + " but not all the records before it";
                ++present;
            }
        }
        return {};
    }

private:
    std::map<int, Values> m_live;
    std::map<int, Values> m_saved;  // as the last backup holds them
    std::optional<std::map<int, Values>> m_restoredInFlight;
    std::map<int, Values> m_mayAppear;
    std::map<int, Values> m_alternative;
    std::set<int> m_mayVanish;
    std::pair<int, int> m_bulkInFlight{0, 0};
};

std::multimap<int, Values> EngineLiveRecords(store::Table& t) {
    std::multimap<int, Values> found;
    const int item = t.NeedField("Item"), category = t.NeedField("Category"), version = t.NeedField("UserDef1");
    for (uint32_t r : testsupport::LiveRecords(t)) {
        const store::RecordView v = t.ViewOf(r);
        found.emplace(std::atoi(v.Text(item).c_str() + 1), Values{v.Text(category), v.Text(version)});
    }
    return found;
}

std::multimap<int, Values> IndependentLiveRecords(const std::string& path, std::string* problem) {
    const std::string command = "/usr/bin/python3 " HALVENOR_RELIABILITY_DIR "/live_records.py '" + path + "' 2>&1";
    FILE* p = ::popen(command.c_str(), "r");
    std::string out;
    char buf[4096];
    size_t n;
    while (p && (n = std::fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
    const int status = p ? ::pclose(p) : -1;
    std::multimap<int, Values> found;
    if (status != 0) {
        *problem = "dbfread cannot read the table: " + out.substr(0, 300);
        return found;
    }
    std::istringstream in(out);
    for (std::string line; std::getline(in, line);) {
        if (line.rfind("deleted ", 0) == 0) continue;
        std::istringstream fields(line);
        std::string id, category, version;
        std::getline(fields, id, '\t');
        std::getline(fields, category, '\t');
        std::getline(fields, version, '\t');
        found.emplace(std::atoi(id.c_str() + 1), Values{category, version});
    }
    return found;
}

// Everything a table must be after a kill; empty when it is.
std::string CheckTable(const std::string& dir, const Model& model) {
    const std::string data = dir + "/MASTER.DBF";
    if (std::string p = testsupport::FileShapeProblem(data, false); !p.empty()) return "file: " + p;
    store::Table t;
    t.SetDirectory(dir);
    t.SetTableName("MASTER");
    std::multimap<int, Values> engine;
    try {
        t.Open();
        if (!t.Notice().empty()) return "the table opened with a notice: " + t.Notice();
        const auto names = t.IndexNames();
        for (const char* tag : {"ITEM", "CAT"})
            if (std::find(names.begin(), names.end(), tag) == names.end()) return std::string("tag ") + tag + " is lost";
        if (std::string p = testsupport::TagOrderProblem(t); !p.empty()) return "index: " + p;
        engine = EngineLiveRecords(t);
        if (t.RecordCount() != engine.size()) return "the engine delivers another number of records than are live";
        t.Close();
    } catch (const store::EngineError& e) {
        return std::string("the table does not open: ") + e.what();
    }
    if (std::string p = model.ProblemAllowingRestore(engine); !p.empty()) return "records: " + p;
    // Bytes a killed append wrote beyond the end mark may stay there: no
    // reader looks past the mark or the count, and the next append
    // overwrites them.
    if (std::string p = testsupport::FileShapeProblem(data, false); !p.empty()) return "file after opening: " + p;
    std::string problem;
    const std::multimap<int, Values> independent = IndependentLiveRecords(data, &problem);
    if (!problem.empty()) return problem;
    if (independent != engine) return "dbfread reads other live records than the engine";
    // Sole use clears away what a killed pack or index write left.
    try {
        t.SetExclusive(true);
        t.Open();
        t.Close();
    } catch (const store::EngineError& e) {
        return std::string("the table does not open for sole use: ") + e.what();
    }
    // The backup copy is a sound item table, whatever was interrupted.
    const std::string saved = dir + "/saved/MASTER.DBF";
    if (std::string p = testsupport::FileShapeProblem(saved, false); !p.empty()) return "backup copy: " + p;
    // The next export and backup into the folders clear away what killed
    // ones left there.
    try {
        t.SetExclusive(false);
        t.Open();
        if (exchange::ExportText(t, {dir + "/export.txt", {1}, {}}, {}).outcome != exchange::Outcome::Completed)
            return "the table cannot be exported";
        t.Close();
    } catch (const store::EngineError& e) {
        return std::string("the table cannot be exported: ") + e.what();
    }
    exchange::BackupRequest backup;
    backup.folder = dir + "/saved";
    backup.dataFile = dir + "/MASTER.DBF";
    backup.programDir = dir;
    if (exchange::Backup(backup, {}).status != exchange::CopyStatus::Completed) return "the table cannot be backed up";
    for (const std::string& folder : {dir, dir + "/saved"})
        for (const std::string& n : FilesIn(folder))
            if (n.find(".tmp") != std::string::npos || n.find(".part") != std::string::npos)
                return "the temporary file " + n + " is left behind";
    return {};
}

struct Figures {
    int trials = 0, killedAtCall = 0, killedAtRandom = 0, finished = 0, failures = 0;
    long fewestCalls = 0, mostCalls = 0;
    std::map<std::string, int> inFlight;  // operation interrupted -> trials
};

bool Trial(const std::string& base, const std::string& templ, unsigned seed, long killAt, long killAfter,
           Figures& figures, bool keep) {
    const std::string dir = base + "/trial" + std::to_string(figures.trials);
    CopyFolder(templ, dir);
    const ChildRun run = RunChild(dir, seed, killAt, killAfter);
    ++figures.trials;
    std::string problem;
    if (!run.killed && run.exitCode != 0) problem = "the child failed (exit " + std::to_string(run.exitCode) + ")";
    if (run.killed) {
        ++(killAt > 0 ? figures.killedAtCall : figures.killedAtRandom);
        std::string last = "(before the first operation)";
        for (const std::string& l : run.lines) last = l == "D" ? "(between operations)" : l.substr(2, l.find(' ', 2) - 2);
        ++figures.inFlight[last];
    } else {
        ++figures.finished;
    }
    Model model;
    model.Replay(run.lines);
    if (problem.empty()) problem = CheckTable(dir, model);
    if (!problem.empty()) {
        ++figures.failures;
        std::fprintf(stderr, "FAIL trial %d (seed %u, %s %ld): %s\n", figures.trials, seed,
                     killAt > 0 ? "kill at call" : "kill after us", killAt > 0 ? killAt : killAfter, problem.c_str());
        std::fprintf(stderr, "  last reports: ");
        for (size_t i = run.lines.size() > 4 ? run.lines.size() - 4 : 0; i < run.lines.size(); ++i)
            std::fprintf(stderr, "[%s] ", run.lines[i].c_str());
        std::fprintf(stderr, "\n  table kept in %s\n", dir.c_str());
        return false;
    }
    if (!keep) RemoveFolder(dir);
    return true;
}

int DriverMain(int trials, bool longMode, bool keep) {
    char templ[] = "/tmp/halvenor-trials-XXXXXX";
    if (!::mkdtemp(templ)) return 2;
    const std::string base = templ;
    const std::string templateDir = base + "/template";
    ::mkdir(templateDir.c_str(), 0755);
    MakeTemplate(templateDir);

    Figures figures;
    std::mt19937 rng(20261208);
    for (unsigned seed = 1; figures.trials < trials; ++seed) {
        // A run to the end tells how many calls the script makes and how
        // long it takes; the kills are spread over both.
        const std::string dry = base + "/dry";
        CopyFolder(templateDir, dry);
        const ChildRun whole = RunChild(dry, seed, 0, 0);
        RemoveFolder(dry);
        if (whole.exitCode != 0 || whole.calls <= 0) {
            std::fprintf(stderr, "FAIL: the trial script %u does not run to its end\n", seed);
            return 1;
        }
        const int left = trials - figures.trials;
        const long calls = whole.calls;
        figures.fewestCalls = figures.fewestCalls ? std::min(figures.fewestCalls, calls) : calls;
        figures.mostCalls = std::max(figures.mostCalls, calls);
        const int atCalls = longMode ? int(std::min<long>(calls, std::max(left * 3 / 4, 1)))
                                     : std::max(1, left * 7 / 10);
        for (int k = 0; k < atCalls && figures.trials < trials; ++k) {
            // Evenly over the script, and every call when the trials allow.
            const long at = 1 + long((double(k) + 0.5) * double(calls) / atCalls);
            if (!Trial(base, templateDir, seed, std::min(at, calls), 0, figures, keep) && !longMode) break;
        }
        const int atRandom = longMode ? std::min(60, std::max(trials - figures.trials, 0)) : trials - figures.trials;
        for (int k = 0; k < atRandom && figures.trials < trials; ++k) {
            const long after = 1 + long(rng() % std::max<long>(1, long(whole.seconds * 1e6)));
            if (!Trial(base, templateDir, seed, 0, after, figures, keep) && !longMode) break;
        }
        if (figures.failures > 0 && !longMode) break;
    }
    if (!keep && figures.failures == 0) RemoveFolder(templateDir), ::rmdir(base.c_str());

    std::printf("kill trials: %d trials (scripts of %ld to %ld counted calls), %d killed at a counted call, %d at a random moment, %d ran to the end\n",
                figures.trials, figures.fewestCalls, figures.mostCalls, figures.killedAtCall, figures.killedAtRandom, figures.finished);
    std::printf("interrupted operations:");
    for (const auto& [op, n] : figures.inFlight) std::printf(" %s %d;", op.c_str(), n);
    std::printf("\n%d passed, %d failed\n", figures.trials - figures.failures, figures.failures);
    return figures.failures == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    g_self = "/proc/self/exe";
    char resolved[4096];
    const ssize_t n = ::readlink("/proc/self/exe", resolved, sizeof resolved - 1);
    if (n > 0) g_self.assign(resolved, size_t(n));
    if (argc == 4 && std::strcmp(argv[1], "--child") == 0) return ChildMain(argv[2], unsigned(std::atol(argv[3])));
    int trials = 20;
    bool longMode = false, keep = false;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--trials") == 0 && i + 1 < argc) trials = std::atoi(argv[++i]);
        else if (std::strcmp(argv[i], "--long") == 0) longMode = true;
        else if (std::strcmp(argv[i], "--keep") == 0) keep = true;
        else {
            std::fprintf(stderr, "usage: kill_trials [--trials N] [--long] [--keep]\n");
            return 2;
        }
    }
    if (longMode) trials = std::max(trials, 500);
    try {
        return DriverMain(trials, longMode, keep);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "kill trials: %s\n", e.what());
        return 2;
    }
}
