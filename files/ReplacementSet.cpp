#include "ReplacementSet.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <set>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace files {
namespace {

constexpr const char* kJournalPrefix = ".halvenor-journal-";
constexpr const char* kHeader = "Halvenor Inventory replacement 1";
constexpr size_t kLargestJournal = 1 << 20;

std::atomic<unsigned> g_counter{0};



bool IsFolder(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool SameInode(const std::string& a, const std::string& b) {
    struct stat x {}, y {};
    return ::lstat(a.c_str(), &x) == 0 && ::lstat(b.c_str(), &y) == 0 && x.st_dev == y.st_dev && x.st_ino == y.st_ino;
}

// Paths are written with tabs, line breaks and backslashes escaped.
std::string Escaped(const std::string& text) {
    if (text.empty()) return "-";
    std::string out;
    for (char c : text) {
        switch (c) {
        case '\\': out += "\\\\"; break;
        case '\t': out += "\\t"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        default: out += c;
        }
    }
    return out;
}

bool Unescape(const std::string& text, std::string* out) {
    out->clear();
    if (text == "-") return true;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\') {
            *out += text[i];
            continue;
        }
        if (++i == text.size()) return false;
        switch (text[i]) {
        case '\\': *out += '\\'; break;
        case 't': *out += '\t'; break;
        case 'n': *out += '\n'; break;
        case 'r': *out += '\r'; break;
        default: return false;
        }
    }
    return !out->empty() && (*out)[0] == '/';
}

std::vector<std::string> Split(const std::string& line, char separator) {
    std::vector<std::string> parts;
    size_t start = 0;
    for (;;) {
        const size_t end = line.find(separator, start);
        parts.push_back(line.substr(start, end == std::string::npos ? std::string::npos : end - start));
        if (end == std::string::npos) return parts;
        start = end + 1;
    }
}

std::string Absolute(const std::string& path) {
    if (!path.empty() && path[0] == '/') return path;
    char buf[4096];
    if (!::getcwd(buf, sizeof buf)) return path;
    return Join(buf, path);
}

enum class Direction { Forward, Back };

std::string JournalText(Direction direction, const std::vector<ReplacementSet::Step>& steps) {
    std::string text = std::string(kHeader) + "\n" + (direction == Direction::Forward ? "forward" : "back") + "\n";
    for (const ReplacementSet::Step& s : steps)
        text += std::string(s.folder ? "folder" : "file") + "\t" + Escaped(s.staged) + "\t" + Escaped(s.target) + "\t" +
                Escaped(s.aside) + "\t" + (s.hadTarget ? "1" : "0") + "\n";
    return text + "end\n";
}

bool ParseJournal(const std::string& text, Direction* direction, std::vector<ReplacementSet::Step>* steps) {
    std::vector<std::string> lines = Split(text, '\n');
    if (lines.size() < 4 || lines[0] != kHeader || !lines.back().empty()) return false;
    lines.pop_back();
    if (lines.back() != "end") return false;
    if (lines[1] == "forward") *direction = Direction::Forward;
    else if (lines[1] == "back") *direction = Direction::Back;
    else return false;
    for (size_t i = 2; i + 1 < lines.size(); ++i) {
        const std::vector<std::string> f = Split(lines[i], '\t');
        if (f.size() != 5 || (f[0] != "file" && f[0] != "folder") || (f[4] != "0" && f[4] != "1")) return false;
        ReplacementSet::Step s;
        s.folder = f[0] == "folder";
        if (!Unescape(f[1], &s.staged) || !Unescape(f[2], &s.target) || !Unescape(f[3], &s.aside) ||
            s.target.empty() || s.aside.empty() || (s.staged.empty() && !s.folder))
            return false;
        s.hadTarget = f[4] == "1";
        steps->push_back(std::move(s));
    }
    return true;
}

bool WriteAll(int fd, const std::string& bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            if (n == 0) errno = ENOSPC;
            return false;
        }
        done += size_t(n);
    }
    return true;
}

// Replaces path with text through a temporary file of the journal's own
// name, so that a journal is always whole. The descriptor of the new file
// comes back locked in *fd (closed first when it held one).
bool WriteJournal(const std::string& path, const std::string& text, int* fd, std::string* reason) {
    const std::string temp = path + ".new";
    const int out = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (out < 0) {
        *reason = SystemMessage("Cannot create a file in the folder", FolderOf(path), errno);
        return false;
    }
    ::flock(out, LOCK_EX);
    if (!WriteAll(out, text) || ::fsync(out) != 0 || ::rename(temp.c_str(), path.c_str()) != 0) {
        *reason = SystemMessage("Cannot write to", temp, errno);
        ::close(out);
        ::unlink(temp.c_str());
        return false;
    }
    SyncFolder(FolderOf(path));
    if (*fd >= 0) ::close(*fd);
    *fd = out;
    return true;
}

// The step done: staged is in target's place, the old target aside.
bool Forward(const ReplacementSet::Step& s, std::string* reason) {
    if (s.staged.empty()) {
        if (Exists(s.target) && !Exists(s.aside) && ::rename(s.target.c_str(), s.aside.c_str()) != 0) {
            *reason = SystemMessage("Cannot remove", s.target, errno);
            return false;
        }
        return true;
    }
    if (!Exists(s.staged)) return true;  // done before
    if (s.folder) {
        if (Exists(s.target) && !Exists(s.aside) && ::rename(s.target.c_str(), s.aside.c_str()) != 0) {
            *reason = SystemMessage("Cannot replace", s.target, errno);
            return false;
        }
    } else if (s.hadTarget && Exists(s.target) && !Exists(s.aside) && ::link(s.target.c_str(), s.aside.c_str()) != 0) {
        // The old file stays reachable until the replacement is complete: a
        // second name where the file system has them, else the old name
        // moved aside for the moment until the new file takes it.
        if (::rename(s.target.c_str(), s.aside.c_str()) != 0) {
            *reason = SystemMessage("Cannot replace", s.target, errno);
            return false;
        }
    }
    if (::rename(s.staged.c_str(), s.target.c_str()) != 0) {
        *reason = SystemMessage("Cannot replace", s.target, errno);
        return false;
    }
    return true;
}

// The step undone: the old target back, the new one gone.
void Back(const ReplacementSet::Step& s) {
    if (s.staged.empty()) {
        if (Exists(s.aside) && !Exists(s.target)) ::rename(s.aside.c_str(), s.target.c_str());
        return;
    }
    if (s.folder) {
        const bool movedIn = !Exists(s.staged);
        if (!movedIn) RemoveTree(s.staged);
        if (Exists(s.aside)) {
            if (Exists(s.target) && ::rename(s.target.c_str(), s.staged.c_str()) == 0) RemoveTree(s.staged);
            ::rename(s.aside.c_str(), s.target.c_str());
        } else if (!s.hadTarget && movedIn && Exists(s.target) && ::rename(s.target.c_str(), s.staged.c_str()) == 0) {
            RemoveTree(s.staged);
        }
        return;
    }
    const bool movedIn = !Exists(s.staged);
    if (Exists(s.aside)) {
        if (SameInode(s.aside, s.target)) ::unlink(s.aside.c_str());
        else ::rename(s.aside.c_str(), s.target.c_str());
    } else if (!s.hadTarget && movedIn) {
        ::unlink(s.target.c_str());
    }
    ::unlink(s.staged.c_str());
}

void RemoveAside(const ReplacementSet::Step& s) {
    if (s.folder) RemoveTree(s.aside);
    else ::unlink(s.aside.c_str());
}

void SyncTargets(const std::vector<ReplacementSet::Step>& steps) {
    std::set<std::string> folders;
    for (const ReplacementSet::Step& s : steps) folders.insert(FolderOf(s.target));
    for (const std::string& f : folders) SyncFolder(f);
}

// Runs a journal to its end in the given direction and removes it.
void Complete(const std::string& journal, Direction direction, const std::vector<ReplacementSet::Step>& steps) {
    if (direction == Direction::Forward) {
        std::string ignored;
        for (const ReplacementSet::Step& s : steps) Forward(s, &ignored);
        SyncTargets(steps);
        for (const ReplacementSet::Step& s : steps) RemoveAside(s);
    } else {
        for (auto it = steps.rbegin(); it != steps.rend(); ++it) Back(*it);
        SyncTargets(steps);
    }
    ::unlink(journal.c_str());
    SyncFolder(FolderOf(journal));
}

// "<prefix><pid>-<n>" and what follows; the pid, or 0 when the name is not
// one of ours.
pid_t PidOf(const std::string& name, std::string* rest) {
    const size_t prefix = std::strlen(kJournalPrefix);
    if (name.compare(0, prefix, kJournalPrefix) != 0) return 0;
    const size_t dash = name.find('-', prefix);
    if (dash == std::string::npos || dash == prefix || dash - prefix > 9) return 0;
    const std::string digits = name.substr(prefix, dash - prefix);
    if (digits.find_first_not_of("0123456789") != std::string::npos) return 0;
    size_t end = dash + 1;
    while (end < name.size() && name[end] >= '0' && name[end] <= '9') ++end;
    if (end == dash + 1) return 0;
    *rest = name.substr(end);
    return pid_t(std::atol(digits.c_str()));
}

bool Running(pid_t pid) { return pid == ::getpid() || ::kill(pid, 0) == 0 || errno != ESRCH; }

}  // namespace



ReplacementSet::ReplacementSet(std::string journalFolder) : m_folder(Absolute(journalFolder)) {}

ReplacementSet::~ReplacementSet() {
    if (m_done) return;
    for (const Step& s : m_steps) {
        if (s.staged.empty()) continue;
        if (s.folder) RemoveTree(s.staged);
        else ::unlink(s.staged.c_str());
    }
}

void ReplacementSet::ReplaceFile(const std::string& staged, const std::string& target) {
    m_steps.push_back({false, Absolute(staged), Absolute(target), {}, false});
}

void ReplacementSet::ReplaceFolder(const std::string& staged, const std::string& target) {
    std::string t = Absolute(target);
    while (t.size() > 1 && t.back() == '/') t.pop_back();
    m_steps.push_back({true, Absolute(staged), t, {}, false});
}

void ReplacementSet::RemoveFolder(const std::string& target) {
    ReplaceFolder(std::string(), target);
    m_steps.back().staged.clear();
}

bool ReplacementSet::Commit(std::string* reason) {
    m_done = true;
    if (m_steps.empty()) return true;
    const std::string base = std::string(kJournalPrefix) + std::to_string(::getpid()) + "-" + std::to_string(g_counter++);
    const std::string journal = Join(m_folder, base);
    for (size_t i = 0; i < m_steps.size(); ++i) {
        Step& s = m_steps[i];
        s.aside = Join(FolderOf(s.target), base + ".aside" + std::to_string(i));
        s.hadTarget = Exists(s.target);
    }
    int fd = -1;
    if (!WriteJournal(journal, JournalText(Direction::Forward, m_steps), &fd, reason)) return false;
    for (size_t i = 0; i < m_steps.size(); ++i) {
        if (Forward(m_steps[i], reason)) continue;
        // Undone in the journal first, so that a kill now still ends with
        // the old set.
        std::string ignored;
        WriteJournal(journal, JournalText(Direction::Back, m_steps), &fd, &ignored);
        Complete(journal, Direction::Back, m_steps);
        ::close(fd);
        return false;
    }
    Complete(journal, Direction::Forward, m_steps);
    ::close(fd);
    return true;
}

void FinishInterruptedReplacements(const std::string& folder) {
    DIR* d = ::opendir(folder.c_str());
    if (!d) return;
    std::vector<std::string> journals, leftovers;
    while (dirent* e = ::readdir(d)) {
        const std::string name = e->d_name;
        std::string rest;
        const pid_t pid = PidOf(name, &rest);
        if (pid <= 0) continue;
        if (rest.empty()) journals.push_back(name);
        else leftovers.push_back(name);
    }
    ::closedir(d);
    std::set<std::string> finished;
    for (const std::string& name : journals) {
        const std::string path = Join(folder, name);
        const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
        if (fd < 0) continue;
        struct stat st {};
        // Its process holds the lock while it runs.
        if (::flock(fd, LOCK_EX | LOCK_NB) != 0 || ::fstat(fd, &st) != 0 || st.st_nlink == 0 || !S_ISREG(st.st_mode) ||
            size_t(st.st_size) > kLargestJournal) {
            ::close(fd);
            continue;
        }
        std::string text(size_t(st.st_size), '\0');
        const ssize_t n = ::pread(fd, text.data(), text.size(), 0);
        Direction direction = Direction::Forward;
        std::vector<ReplacementSet::Step> steps;
        if (n == ssize_t(text.size()) && ParseJournal(text, &direction, &steps)) {
            Complete(path, direction, steps);
            finished.insert(name);
        }
        ::close(fd);
    }
    // What a process left that died before its journal was whole.
    for (const std::string& name : leftovers) {
        std::string rest;
        const pid_t pid = PidOf(name, &rest);
        const std::string journal = name.substr(0, name.size() - rest.size());
        if (Running(pid) || (Exists(Join(folder, journal)) && !finished.count(journal))) continue;
        const std::string path = Join(folder, name);
        if (IsFolder(path)) RemoveTree(path);
        else ::unlink(path.c_str());
    }
}

}  // namespace files
