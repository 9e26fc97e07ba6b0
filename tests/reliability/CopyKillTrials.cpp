// Kill trials of the commands that replace several files at once: backup
// and restore of the pick lists, of the report definitions, of a database
// with its attachments, and a backup and a restore of everything. A child
// runs one command and is killed with SIGKILL just before one of its
// counted calls (writes, fsyncs, renames, links, unlinks, folder changes;
// see KillShim.c), once for every call the command makes. Then, as the
// program's next start does, the interrupted copies are finished, and the
// files the command replaces must be exactly the old set or exactly the new
// one. Running the command again must then complete and leave no temporary
// file, journal or staged folder behind.
//
//   copy_kill_trials [--keep]            every command, every counted call
//   copy_kill_trials --child DIR CMD     the child (started by the driver)

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <map>
#include <stdexcept>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "AttachmentStore.h"
#include "BackupRestore.h"
#include "ItemSchema.h"
#include "ReportDefinition.h"
#include "ReportFile.h"
#include "Table.h"
#include "TableInvariants.h"

namespace {

using exchange::CopyKind;

struct Command {
    const char* name;
    bool restore;
    std::vector<CopyKind> kinds;
};

const Command kCommands[] = {
    {"backup lists", false, {CopyKind::Lists}},
    {"restore lists", true, {CopyKind::Lists}},
    {"backup reports", false, {CopyKind::Reports}},
    {"restore reports", true, {CopyKind::Reports}},
    {"backup database", false, {CopyKind::Database}},
    {"restore database", true, {CopyKind::Database}},
    {"backup everything", false, {CopyKind::Settings, CopyKind::Database, CopyKind::Lists, CopyKind::Reports}},
    {"restore everything", true, {CopyKind::Settings, CopyKind::Database, CopyKind::Lists, CopyKind::Reports}},
};

const Command* CommandNamed(const std::string& name) {
    for (const Command& c : kCommands)
        if (name == c.name) return &c;
    return nullptr;
}

exchange::CopyResult RunCommand(const std::string& dir, const Command& c) {
    if (c.restore) {
        exchange::RestoreRequest r;
        r.chosenFile = dir + "/saved/MASTER.DBF";
        r.programDir = dir + "/data";
        r.configDir = dir + "/config";
        return exchange::Restore(r, c.kinds, {});
    }
    exchange::BackupRequest b;
    b.folder = dir + "/saved";
    b.dataFile = dir + "/data/MASTER.DBF";
    b.programDir = dir + "/data";
    b.configDir = dir + "/config";
    return exchange::Backup(b, c.kinds, {});
}

void WriteFile(const std::string& path, const std::string& bytes) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) throw std::runtime_error("cannot write " + path);
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
}

std::vector<std::string> Names(const std::string& dir) {
    std::vector<std::string> names;
    if (DIR* d = ::opendir(dir.c_str())) {
        while (dirent* e = ::readdir(d))
            if (std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0) names.push_back(e->d_name);
        ::closedir(d);
    }
    return names;
}

bool IsFolder(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

void RemoveFolder(const std::string& dir) {
    for (const std::string& n : Names(dir)) {
        const std::string path = dir + "/" + n;
        if (IsFolder(path)) RemoveFolder(path);
        else ::unlink(path.c_str());
    }
    ::rmdir(dir.c_str());
}

void CopyFolder(const std::string& from, const std::string& to) {
    ::mkdir(to.c_str(), 0755);
    for (const std::string& n : Names(from)) {
        if (IsFolder(from + "/" + n)) CopyFolder(from + "/" + n, to + "/" + n);
        else WriteFile(to + "/" + n, testsupport::ReadWholeFile(from + "/" + n));
    }
}

// What the user finds: every visible file under the folders, with its
// content. Hidden names (temporary files, staged folders, journals, the
// attachments folder's lock) are what the next command clears away.
using Snapshot = std::map<std::string, std::string>;
void Take(const std::string& dir, const std::string& prefix, Snapshot& out) {
    for (const std::string& n : Names(dir)) {
        if (n[0] == '.') continue;
        const std::string path = dir + "/" + n;
        if (IsFolder(path)) Take(path, prefix + n + "/", out);
        else out[prefix + n] = testsupport::ReadWholeFile(path);
    }
}
Snapshot Take(const std::string& dir) {
    Snapshot s;
    Take(dir, "", s);
    return s;
}

// Hidden names left anywhere but the attachments folders' lock files.
std::string Leftover(const std::string& dir) {
    for (const std::string& n : Names(dir)) {
        const std::string path = dir + "/" + n;
        if (n[0] == '.' && n != ".lock") return path;
        if (IsFolder(path))
            if (std::string inner = Leftover(path); !inner.empty()) return inner;
    }
    return {};
}

std::string Difference(const Snapshot& found, const Snapshot& old, const Snapshot& fresh) {
    auto describe = [&](const Snapshot& want, const char* which) {
        for (const auto& [name, bytes] : want) {
            const auto it = found.find(name);
            if (it == found.end()) return std::string(which) + " set has " + name + ", which is missing";
            if (it->second != bytes) return std::string(which) + " set differs in " + name;
        }
        for (const auto& [name, bytes] : found)
            if (!want.count(name)) return std::string(which) + " set lacks " + name + ", which is there";
        return std::string();
    };
    return describe(old, "the old") + "; " + describe(fresh, "the new");
}

// The starting files: a data folder, a settings folder and a backup that
// differs from them in every file.
void MakeItemTable(const std::string& dir, const std::vector<std::string>& items) {
    store::Table t;
    t.SetDirectory(dir);
    t.SetTableName("MASTER.DBF");
    t.Create(store::ItemTableFieldDefs());
    t.Open();
    for (const std::string& item : items) {
        t.Append();
        t.SetText("Item", item);
        t.Post();
    }
}

void Attach(const std::string& dir, uint32_t record, const std::string& name, const std::string& bytes) {
    WriteFile(dir + "/../" + name, bytes);
    store::Table t;
    t.SetDirectory(dir);
    t.SetTableName("MASTER.DBF");
    t.Open();
    attachments::AttachmentStore store;
    store.Attach(t);
    store.Add(record, {{dir + "/../" + name, attachments::Kind::Photo, {}}});
}

void MakeTemplate(const std::string& dir) {
    for (const char* f : {"data", "config", "saved"}) ::mkdir((dir + "/" + f).c_str(), 0755);
    const std::string data = dir + "/data", saved = dir + "/saved";
    MakeItemTable(data, {"Sofa", "Lamp", "Clock"});
    Attach(data, 0, "sofa.jpg", std::string(70000, 's'));
    Attach(data, 1, "lamp.jpg", "lamp");
    MakeItemTable(saved, {"Lamp", "Piano"});
    Attach(saved, 0, "lamp2.jpg", "lamp, older photo");
    Attach(saved, 1, "piano.jpg", std::string(3000, 'p'));
    for (const char* list : exchange::kListFileNames) {
        WriteFile(data + "/" + list, std::string("live ") + list + "\r\n");
        WriteFile(saved + "/" + list, std::string("saved ") + list + "\r\n");
    }
    reports::ReportDefinition def = reports::NewReportDefinition();
    def.name = "Live";
    reports::ReportFile(data + "/KELDOR.URP").Append(def);
    def.name = "Saved";
    reports::ReportFile(saved + "/KELDOR.URP").Append(def);
    reports::ReportFile(saved + "/KELDOR.URP").Append(def);
    WriteFile(dir + "/config/KELDOR.INI", "[Misc]\r\nInsurance Company=Live\r\n");
    WriteFile(saved + "/KELDOR.INI", "[Misc]\r\nInsurance Company=Saved\r\n");
    for (const char* f : {"sofa.jpg", "lamp.jpg", "lamp2.jpg", "piano.jpg"}) ::unlink((dir + "/" + f).c_str());
}

std::string g_self;

struct ChildRun {
    bool killed = false;
    int exitCode = 0;
    long calls = -1;
};

ChildRun RunChild(const std::string& dir, const Command& c, long killAt) {
    const std::string countFile = dir + ".count";
    ::unlink(countFile.c_str());
    const pid_t pid = ::fork();
    if (pid < 0) throw std::runtime_error("no fork");
    if (pid == 0) {
        ::setenv("LD_PRELOAD", HALVENOR_KILL_SHIM, 1);
        ::setenv("HALVENOR_KILL_AT", std::to_string(killAt).c_str(), 1);
        ::setenv("HALVENOR_COUNT_FILE", countFile.c_str(), 1);
        ::execl(g_self.c_str(), g_self.c_str(), "--child", dir.c_str(), c.name, static_cast<char*>(nullptr));
        ::_exit(127);
    }
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    ChildRun run;
    run.killed = WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL;
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    const std::string count = testsupport::ReadWholeFile(countFile);
    if (!count.empty()) run.calls = std::atol(count.c_str());
    ::unlink(countFile.c_str());
    return run;
}

int ChildMain(const std::string& dir, const std::string& name) {
    const Command* c = CommandNamed(name);
    if (!c) return 2;
    const exchange::CopyResult r = RunCommand(dir, *c);
    if (r.status != exchange::CopyStatus::Completed) {
        std::fprintf(stderr, "%s: %s %s\n", name.c_str(), r.message.c_str(), r.reason.c_str());
        return 1;
    }
    return 0;
}

int DriverMain(bool keep) {
    char base[] = "/tmp/halvenor-copy-trials-XXXXXX";
    if (!::mkdtemp(base)) return 2;
    const std::string templ = std::string(base) + "/template";
    ::mkdir(templ.c_str(), 0755);
    MakeTemplate(templ);
    const Snapshot old = Take(templ);
    int trials = 0, failures = 0;
    for (const Command& c : kCommands) {
        // A run to the end: how many calls, and what the new set is.
        const std::string dry = std::string(base) + "/dry";
        CopyFolder(templ, dry);
        const ChildRun whole = RunChild(dry, c, 0);
        const Snapshot fresh = Take(dry);
        RemoveFolder(dry);
        if (whole.exitCode != 0 || whole.calls <= 0 || fresh == old) {
            std::fprintf(stderr, "FAIL: %s does not run to its end, or changes nothing\n", c.name);
            return 1;
        }
        int failedHere = 0;
        for (long at = 1; at <= whole.calls; ++at) {
            const std::string dir = std::string(base) + "/trial" + std::to_string(trials++);
            CopyFolder(templ, dir);
            const ChildRun run = RunChild(dir, c, at);
            std::string problem;
            if (!run.killed) problem = "the child was not killed (exit " + std::to_string(run.exitCode) + ")";
            // The next start of the program, and the next backup into the
            // backup folder, finish what the kill interrupted.
            exchange::FinishInterruptedCopies(dir + "/data");
            exchange::FinishInterruptedCopies(dir + "/saved");
            const Snapshot found = Take(dir);
            if (problem.empty() && found != old && found != fresh)
                problem = "a mix of old and new files: " + Difference(found, old, fresh);
            if (problem.empty()) {
                const exchange::CopyResult again = RunCommand(dir, c);
                if (again.status != exchange::CopyStatus::Completed)
                    problem = "the command run again fails: " + again.message + " " + again.reason;
                else if (Take(dir) != fresh)
                    problem = "the command run again does not give the new set: " + Difference(Take(dir), old, fresh);
                else if (const std::string left = Leftover(dir); !left.empty())
                    problem = "left behind: " + left;
            }
            if (!problem.empty()) {
                ++failures;
                ++failedHere;
                std::fprintf(stderr, "FAIL %s, killed at call %ld of %ld: %s\n  kept in %s\n", c.name, at, whole.calls,
                             problem.c_str(), dir.c_str());
                if (failedHere >= 3) break;
                continue;
            }
            if (!keep) RemoveFolder(dir);
        }
        std::printf("%s: killed at each of %ld counted calls, %s\n", c.name, whole.calls,
                    failedHere ? "FAILED" : "old or new set every time");
    }
    if (failures == 0 && !keep) RemoveFolder(base);
    std::printf("%d trials, %d failed\n", trials, failures);
    return failures == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    char resolved[4096];
    const ssize_t n = ::readlink("/proc/self/exe", resolved, sizeof resolved - 1);
    g_self = n > 0 ? std::string(resolved, size_t(n)) : std::string("/proc/self/exe");
    if (argc == 4 && std::strcmp(argv[1], "--child") == 0) return ChildMain(argv[2], argv[3]);
    const bool keep = argc == 2 && std::strcmp(argv[1], "--keep") == 0;
    if (argc > 2 || (argc == 2 && !keep)) {
        std::fprintf(stderr, "usage: copy_kill_trials [--keep]\n");
        return 2;
    }
    try {
        return DriverMain(keep);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "copy kill trials: %s\n", e.what());
        return 2;
    }
}
