#include "IndexFile.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

#include "EngineError.h"

namespace store {
namespace {

constexpr char kMagic[8] = {'H', 'L', 'V', 'N', 'I', 'D', 'X', '\x1A'};
constexpr uint32_t kVersion = 1;

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
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return false;
    std::fseek(f, 0, SEEK_END);
    const long size = std::ftell(f);
    std::fseek(f, 0, SEEK_SET);
    if (size < 0) { std::fclose(f); return false; }
    out.resize(size_t(size));
    const bool ok = std::fread(out.data(), 1, out.size(), f) == out.size();
    std::fclose(f);
    return ok;
}

}  // namespace

IndexFileKind ProbeIndexFile(const std::string& path) {
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return IndexFileKind::Missing;
    char head[8] = {};
    const size_t n = std::fread(head, 1, sizeof head, f);
    std::fclose(f);
    return n == sizeof head && std::memcmp(head, kMagic, sizeof head) == 0 ? IndexFileKind::Ours
                                                                          : IndexFileKind::Foreign;
}

std::optional<IndexFileContent> ReadIndexFile(const std::string& path) {
    std::vector<char> data;
    if (!ReadWhole(path, data) || data.size() < sizeof kMagic || std::memcmp(data.data(), kMagic, sizeof kMagic) != 0)
        return std::nullopt;
    Reader r(data.data(), data.size());
    char magic[8];
    for (char& c : magic) r.Get(c);
    uint32_t version = 0, tagCount = 0;
    if (!r.Get(version) || version != kVersion) return std::nullopt;
    IndexFileContent content;
    if (!r.Get(tagCount) || tagCount > 4096) return std::nullopt;
    for (uint32_t i = 0; i < tagCount; ++i) {
        IndexFileTag t;
        if (!r.GetString(t.name) || !r.GetString(t.expression)) return std::nullopt;
        content.tags.push_back(std::move(t));
    }
    if (!r.CheckSum(0)) return std::nullopt;

    const size_t ordersStart = r.Pos();
    FileState& s = content.state;
    bool ok = r.Get(s.size) && r.Get(s.mtimeSec) && r.Get(s.mtimeNsec) && r.Get(s.recordCount) &&
              r.GetArray(content.deleted);
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
    w.PutArray(content.deleted);
    for (const auto& t : content.tags) w.PutArray(t.order);
    w.PutChecksum(ordersStart);

    const std::string tmp = path + ".tmp" + std::to_string(::getpid());
    const int fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) throw EngineError("Cannot write the index file \"" + path + "\": " + std::strerror(errno) + ".");
    size_t done = 0;
    while (done < w.buf.size()) {
        const ssize_t n = ::write(fd, w.buf.data() + done, w.buf.size() - done);
        if (n <= 0) {
            if (n < 0 && errno == EINTR) continue;
            const std::string why = n < 0 ? std::strerror(errno) : "disk full";
            ::close(fd);
            ::unlink(tmp.c_str());
            throw EngineError("Cannot write the index file \"" + path + "\": " + why + ".");
        }
        done += size_t(n);
    }
    ::close(fd);
    if (::rename(tmp.c_str(), path.c_str()) != 0) {
        ::unlink(tmp.c_str());
        throw EngineError("Cannot write the index file \"" + path + "\": " + std::strerror(errno) + ".");
    }
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
