#include "IndexFile.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "FileSystem.h"
#include "EngineError.h"

namespace store {
namespace {

constexpr char kMagic[8] = {'H', 'L', 'V', 'N', 'I', 'D', 'X', '\x1A'};
// Version 2 records the data file's change counter and header date.
constexpr uint32_t kVersion = 2;

uint64_t Fnv(const char* p, size_t n, uint64_t h = 1469598103934665603ULL) {
    for (size_t i = 0; i < n; ++i) {
        h ^= static_cast<unsigned char>(p[i]);
        h *= 1099511628211ULL;
    }
    return h;
}

class Writer {
public:
    template <class T>
    void Put(T v) {
        const char* p = reinterpret_cast<const char*>(&v);
        buf.insert(buf.end(), p, p + sizeof v);
    }
    void PutString(const std::string& s) {
        Put<uint16_t>(uint16_t(s.size()));
        buf.insert(buf.end(), s.begin(), s.end());
    }
    void PutArray(const std::vector<uint32_t>& v) {
        Put<uint32_t>(uint32_t(v.size()));
        if (v.empty()) return;
        const char* p = reinterpret_cast<const char*>(v.data());
        buf.insert(buf.end(), p, p + v.size() * sizeof(uint32_t));
    }
    void PutChecksum(size_t from) { Put<uint64_t>(Fnv(buf.data() + from, buf.size() - from)); }
    std::vector<char> buf;
};

class Reader {
public:
    Reader(const char* p, size_t n) : m_p(p), m_n(n) {}
    template <class T>
    bool Get(T& v) {
        if (m_pos + sizeof v > m_n) return false;
        std::memcpy(&v, m_p + m_pos, sizeof v);
        m_pos += sizeof v;
        return true;
    }
    bool GetString(std::string& s) {
        uint16_t len = 0;
        if (!Get(len) || m_pos + len > m_n) return false;
        s.assign(m_p + m_pos, len);
        m_pos += len;
        return true;
    }
    bool GetArray(std::vector<uint32_t>& v) {
        uint32_t len = 0;
        if (!Get(len) || (m_n - m_pos) / sizeof(uint32_t) < len) return false;
        v.resize(len);
        if (len > 0) std::memcpy(v.data(), m_p + m_pos, size_t(len) * sizeof(uint32_t));
        m_pos += size_t(len) * sizeof(uint32_t);
        return true;
    }
    bool CheckSum(size_t from) {
        const uint64_t expect = Fnv(m_p + from, m_pos - from);
        uint64_t stored = 0;
        return Get(stored) && stored == expect;
    }
    size_t Pos() const { return m_pos; }
    bool AtEnd() const { return m_pos == m_n; }

private:
    const char* m_p;
    size_t m_n;
    size_t m_pos = 0;
};

bool ReadWhole(const std::string& path, std::vector<char>& out) {
    const int fd = files::OpenRegularForReading(path);
    if (fd < 0) return false;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || st.st_size < 0) {
        ::close(fd);
        return false;
    }
    out.resize(size_t(st.st_size));
    size_t done = 0;
    while (done < out.size()) {
        const ssize_t n = ::read(fd, out.data() + done, out.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        done += size_t(n);
    }
    ::close(fd);
    return done == out.size();
}

// The header of another program's production index: the number of tag
// entries (48) and the length of one (32) at fixed places, and the data
// file's name before them.
bool LooksLikeForeignIndex(const unsigned char* h, size_t n) {
    if (n < 48 || h[25] != 48 || h[26] != 32) return false;
    for (int i = 4; i < 20; ++i)
        if (h[i] != 0 && (h[i] < 0x20 || h[i] > 0x7E)) return false;
    return true;
}

[[noreturn]] void WriteFailed(const std::string& path, const std::string& why) {
    throw EngineError("Cannot write the index file \"" + path + "\": " + why + ".");
}

}  // namespace

IndexFileKind ProbeIndexFile(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return errno == ENOENT || errno == ENOTDIR ? IndexFileKind::Missing
                                                                                  : IndexFileKind::Damaged;
    if (!S_ISREG(st.st_mode)) return IndexFileKind::NotAFile;
    const int fd = files::OpenRegularForReading(path);
    if (fd < 0) return errno == EINVAL ? IndexFileKind::NotAFile : IndexFileKind::Damaged;
    unsigned char head[48] = {};
    size_t n = 0;
    while (n < sizeof head) {
        const ssize_t got = ::read(fd, head + n, sizeof head - n);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) break;
        n += size_t(got);
    }
    ::close(fd);
    if (n >= sizeof kMagic && std::memcmp(head, kMagic, sizeof kMagic) == 0) return IndexFileKind::Ours;
    return LooksLikeForeignIndex(head, n) ? IndexFileKind::Foreign : IndexFileKind::Damaged;
}

std::optional<IndexFileContent> ReadIndexFile(const std::string& path) {
    std::vector<char> data;
    if (!ReadWhole(path, data) || data.size() < sizeof kMagic || std::memcmp(data.data(), kMagic, sizeof kMagic) != 0)
        return std::nullopt;
    Reader r(data.data(), data.size());
    char magic[8];
    for (char& c : magic) r.Get(c);
    uint32_t version = 0, tagCount = 0;
    if (!r.Get(version) || version < 1 || version > kVersion) return std::nullopt;
    IndexFileContent content;
    if (!r.Get(tagCount) || tagCount > 4096) return std::nullopt;
    for (uint32_t i = 0; i < tagCount; ++i) {
        IndexFileTag t;
        if (!r.GetString(t.name) || !r.GetString(t.expression)) return std::nullopt;
        content.tags.push_back(std::move(t));
    }
    if (!r.CheckSum(0)) return std::nullopt;
    // An earlier version's orders say nothing of the change counter: its
    // tags are kept and built again.
    if (version != kVersion) return content;

    const size_t ordersStart = r.Pos();
    FileState& s = content.state;
    bool ok = r.Get(s.size) && r.Get(s.mtimeSec) && r.Get(s.mtimeNsec) && r.Get(s.recordCount) &&
              r.Get(s.changeCounter) && r.Get(s.headerDate) && r.GetArray(content.deleted);
    for (auto& t : content.tags) ok = ok && r.GetArray(t.order);
    ok = ok && r.CheckSum(ordersStart) && r.AtEnd();
    content.ordersValid = ok;
    if (!ok)
        for (auto& t : content.tags) t.order.clear();
    return content;
}

void WriteIndexFile(const std::string& path, const IndexFileContent& content) {
    Writer w;
    for (char c : kMagic) w.Put(c);
    w.Put<uint32_t>(kVersion);
    w.Put<uint32_t>(uint32_t(content.tags.size()));
    for (const auto& t : content.tags) {
        w.PutString(t.name);
        w.PutString(t.expression);
    }
    w.PutChecksum(0);
    const size_t ordersStart = w.buf.size();
    w.Put(content.state.size);
    w.Put(content.state.mtimeSec);
    w.Put(content.state.mtimeNsec);
    w.Put(content.state.recordCount);
    w.Put(content.state.changeCounter);
    w.Put(content.state.headerDate);
    w.PutArray(content.deleted);
    for (const auto& t : content.tags) w.PutArray(t.order);
    w.PutChecksum(ordersStart);

    struct stat st {};
    const bool existed = ::stat(path.c_str(), &st) == 0;
    const std::string target = files::ResolvedPath(path);
    const std::string tmp = files::TemporaryPathBeside(target);
    const int fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0) WriteFailed(path, std::strerror(errno));
    auto fail = [&](const std::string& why) {
        ::close(fd);
        ::unlink(tmp.c_str());
        WriteFailed(path, why);
    };
    if (existed) files::CopyOwnershipAndMode(fd, target);
    size_t done = 0;
    while (done < w.buf.size()) {
        const ssize_t n = ::write(fd, w.buf.data() + done, w.buf.size() - done);
        if (n <= 0) {
            if (n < 0 && errno == EINTR) continue;
            fail(n < 0 ? std::strerror(errno) : "disk full");
        }
        done += size_t(n);
    }
    // On the disk before it takes the old file's place.
    if (::fsync(fd) != 0) fail(std::strerror(errno));
    ::close(fd);
    if (::rename(tmp.c_str(), target.c_str()) != 0) {
        const std::string why = std::strerror(errno);
        ::unlink(tmp.c_str());
        WriteFailed(path, why);
    }
    files::SyncFolder(files::FolderOf(target));
}

std::string IndexPathFor(const std::string& dataPath) {
    const auto slash = dataPath.rfind('/');
    const auto dot = dataPath.rfind('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return dataPath + ".MDX";
    std::string ext = dataPath.substr(dot + 1);
    const char* repl = "MDX";
    std::string out;
    for (size_t i = 0; i < 3; ++i) {
        const bool lower = i < ext.size() && ext[i] >= 'a' && ext[i] <= 'z';
        out += lower ? char(repl[i] + 32) : repl[i];
    }
    return dataPath.substr(0, dot + 1) + out;
}

}  // namespace store
