#include "DbfFile.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <mutex>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include "FileSystem.h"
#include "MappingGuard.h"
#include "EngineError.h"

namespace store {

using files::CopyOwnershipAndMode;
using files::FolderOf;
using files::OpenRegularForReading;
using files::ResolvedPath;
using files::SyncFolder;
using files::TemporaryPathBeside;

namespace {

std::string FileName(const std::string& path) { return files::NameOf(path); }

constexpr off_t kWriteLockOffset = 0x7FFFFFF0;
constexpr off_t kIndexLockOffset = 0x7FFFFFF1;
constexpr char kEndMark = 0x1A;

std::string SysError(const std::string& what, const std::string& path) {
    return what + " \"" + path + "\": " + std::strerror(errno) + ".";
}

uint16_t Le16(const unsigned char* p) { return uint16_t(p[0] | (p[1] << 8)); }
uint32_t Le32(const unsigned char* p) { return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24); }
uint32_t Date3(const unsigned char* p) { return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16); }

void PutLe16(unsigned char* p, uint16_t v) { p[0] = uint8_t(v); p[1] = uint8_t(v >> 8); }
void PutLe32(unsigned char* p, uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = uint8_t(v >> (8 * i));
}

void PutDate(unsigned char* p) {
    const Date today = Date::Today();
    p[0] = uint8_t(today.year - 1900);
    p[1] = uint8_t(today.month);
    p[2] = uint8_t(today.day);
}

bool IsFoxPro(uint8_t version) { return version == 0x30 || version == 0x31 || version == 0x32 || version == 0xF5 || version == 0xFB; }

void WriteAll(int fd, const void* data, size_t size, off_t offset, const std::string& path) {
    const char* p = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t n = ::pwrite(fd, p, size, offset);
        if (n < 0) {
            if (errno == EINTR) continue;
            throw EngineError(SysError("Cannot write to", path));
        }
        if (n == 0) {
            errno = ENOSPC;
            throw EngineError(SysError("Cannot write to", path));
        }
        p += n;
        size -= size_t(n);
        offset += n;
    }
}

// ---------------------------------------------------------------- header

std::vector<unsigned char> BuildHeader(const std::vector<FieldDef>& fields, int codePage, uint32_t count) {
    if (fields.empty()) throw EngineError("A table needs at least one field.");
    if (fields.size() > 255) throw EngineError("A table can have at most 255 fields.");
    int recordLength = 1;
    for (const auto& f : fields) {
        if (f.name.empty() || f.name.size() > 10)
            throw EngineError("The field name \"" + f.name + "\" must be 1 to 10 characters long.");
        const std::string problem = FieldSizeProblem(f, true);
        if (!problem.empty()) throw EngineError(problem);
        recordLength += f.length;
    }
    if (recordLength > 65535) throw EngineError("The fields are too wide for one record.");
    const size_t headerLength = 32 + 32 * fields.size() + 1;
    std::vector<unsigned char> h(headerLength, 0);
    h[0] = 0x03;
    PutDate(&h[1]);
    PutLe32(&h[4], count);
    PutLe16(&h[8], uint16_t(headerLength));
    PutLe16(&h[10], uint16_t(recordLength));
    h[29] = CodePage::LanguageDriverFor(codePage);
    for (size_t i = 0; i < fields.size(); ++i) {
        unsigned char* d = &h[32 + 32 * i];
        std::memcpy(d, fields[i].name.data(), fields[i].name.size());
        d[11] = uint8_t(fields[i].type);
        d[16] = uint8_t(fields[i].length);
        d[17] = uint8_t(fields[i].decimals);
    }
    h[headerLength - 1] = 0x0D;
    return h;
}

}  // namespace

std::string FieldSizeProblem(const FieldDef& f, bool creating) {
    const std::string kind = std::string("Field ") + f.name + " of type " + f.type;
    auto need = [&](int size) {
        return f.length == size ? std::string()
                                : kind + " has a size of " + std::to_string(f.length) + "; this type needs " +
                                      std::to_string(size) + ".";
    };
    if (f.length < 1) return kind + " has a size of " + std::to_string(f.length) + ".";
    switch (f.type) {
    case 'C':
        if (creating && f.length > 254) return kind + " has a size of " + std::to_string(f.length) + "; at most 254 is allowed.";
        return {};
    case 'N':
    case 'F':
        if (!creating) return {};  // numbers are written as text that must fit, never past the field
        if (f.length > 20) return kind + " has a size of " + std::to_string(f.length) + "; at most 20 is allowed.";
        if (f.decimals < 0 || (f.decimals > 0 && f.decimals > f.length - 2))
            return kind + " cannot have " + std::to_string(f.decimals) + " decimals in " + std::to_string(f.length) +
                   " characters.";
        return {};
    case 'D': return need(8);
    case 'L': return need(1);
    default: break;
    }
    if (creating) return std::string("Field ") + f.name + " has the type " + f.type + ", which new tables cannot have.";
    switch (f.type) {
    case 'I': case '+': return need(4);
    case 'Y': case 'O': case 'T': case '@': return need(8);
    default: return {};  // memo pointers and unknown types are never written
    }
}

DbfFile::~DbfFile() { Close(); }

void DbfFile::Create(const std::string& path, const std::vector<FieldDef>& fields, int codePage) {
    const std::vector<unsigned char> header = BuildHeader(fields, codePage, 0);
    struct stat st {};
    const bool existed = ::lstat(path.c_str(), &st) == 0;
    // Replacing a file that someone holds would pull it from under them.
    if (existed) {
        const int old = OpenRegularForReading(path);
        if (old < 0) {
            if (errno == EINVAL) throw EngineError("\"" + path + "\" is not a table file and cannot be replaced.");
        } else {
            const bool busy = ::flock(old, LOCK_EX | LOCK_NB) != 0;
            ::close(old);
            if (busy) throw EngineError("The table \"" + path + "\" is in use and cannot be replaced.");
        }
    }
    // A link stays a link: the file it points to is the one replaced.
    const std::string target = ResolvedPath(path);
    const std::string tmp = TemporaryPathBeside(target);
    const int fd = ::open(tmp.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0) throw EngineError(SysError("Cannot create", path));
    try {
        if (existed) CopyOwnershipAndMode(fd, target);
        WriteAll(fd, header.data(), header.size(), 0, path);
        WriteAll(fd, &kEndMark, 1, off_t(header.size()), path);
        if (::fsync(fd) != 0) throw EngineError(SysError("Cannot write to", path));
    } catch (...) {
        ::close(fd);
        ::unlink(tmp.c_str());
        throw;
    }
    ::close(fd);
    if (::rename(tmp.c_str(), target.c_str()) != 0) {
        const int saved = errno;
        ::unlink(tmp.c_str());
        errno = saved;
        throw EngineError(SysError("Cannot create", path));
    }
    SyncFolder(FolderOf(target));
}

void DbfFile::Open(const std::string& path, Access access, bool exclusiveLock) {
    Close();
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        if (errno == ENOENT) throw EngineError("The table \"" + path + "\" does not exist.");
        throw EngineError(SysError("Cannot open", path));
    }
    // A FIFO or device would block the open or the reads.
    if (!S_ISREG(st.st_mode)) throw EngineError("\"" + path + "\" is not a table file.");
    const int flags = (access == Access::ReadOnly ? O_RDONLY : O_RDWR) | O_CLOEXEC | O_NONBLOCK;
    const int fd = ::open(path.c_str(), flags);
    if (fd < 0) {
        if (errno == ENOENT) throw EngineError("The table \"" + path + "\" does not exist.");
        if (access != Access::ReadOnly && (errno == EACCES || errno == EROFS || errno == EPERM))
            throw NotWritableError(SysError("Cannot open for writing", path));
        throw EngineError(SysError("Cannot open", path));
    }
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        throw EngineError("\"" + path + "\" is not a table file.");
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    const int lock = (access == Access::Exclusive || exclusiveLock) ? LOCK_EX : LOCK_SH;
    if (::flock(fd, lock | LOCK_NB) != 0) {
        ::close(fd);
        throw EngineError("The table \"" + path + "\" is in use by another program or user.");
    }
    m_fd = fd;
    m_access = access;
    m_path = path;
    m_counterMoved = false;
    PutDate(m_today);
    try {
        LockReads();
        ::fstat(fd, &st);
        Map(uint64_t(st.st_size));
        ParseHeader(path, m_map, m_mapSize);
        m_known = StatNow();
        m_knownStale = false;
        UnlockWrites();
    } catch (...) {
        UnlockWrites();
        Close();
        throw;
    }
}

void DbfFile::Close() {
    Unmap();
    if (m_fd >= 0) {
        ::close(m_fd);  // releases the flock
        m_fd = -1;
    }
    m_count = 0;
}

void DbfFile::Map(uint64_t size) {
    if (m_map && size <= m_mapCapacity && !GuardCut(m_guard)) {
        // Pages past the end of the file are never read: the record count
        // only covers what the file holds.
        m_mapSize = size;
        return;
    }
    Unmap();
    if (size == 0) return;
    // Room for growth, so that appending does not remap the file each time.
    const size_t capacity = size + size / 4 + (size_t(64) << 20);
    void* p = ::mmap(nullptr, capacity, PROT_READ, MAP_SHARED, m_fd, 0);
    if (p == MAP_FAILED) throw EngineError(SysError("Cannot read", m_path));
    m_map = static_cast<const char*>(p);
    m_mapSize = size;
    m_mapCapacity = capacity;
    m_guard = GuardMapping(m_map, m_mapCapacity);
}

namespace {

// Reads up to want bytes at offset at; how many the file held.
size_t ReadAt(int fd, char* out, size_t want, off_t at) {
    size_t got = 0;
    while (got < want) {
        const ssize_t n = ::pread(fd, out + got, want - got, at + off_t(got));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        got += size_t(n);
    }
    return got;
}

}  // namespace

uint32_t DbfFile::ReadRecords(uint32_t first, uint32_t count, std::vector<char>& block) const {
    const size_t len = size_t(m_layout.RecordLength());
    const size_t want = std::min<size_t>(count, std::max<size_t>(1, kReadBlockBytes / len)) * len;
    if (block.size() < want) block.resize(want);
    return uint32_t(ReadAt(m_fd, block.data(), want, off_t(m_headerLength + uint64_t(first) * len)) / len);
}

bool DbfFile::CopyRecord(uint32_t recno, char* out) const {
    const size_t len = size_t(m_layout.RecordLength());
    return ReadAt(m_fd, out, len, off_t(m_headerLength + uint64_t(recno) * len)) == len;
}

void DbfFile::Unmap() {
    ReleaseGuard(m_guard);
    m_guard = -1;
    if (m_map) ::munmap(const_cast<char*>(m_map), m_mapCapacity);
    m_map = nullptr;
    m_mapSize = 0;
    m_mapCapacity = 0;
}

void DbfFile::ParseHeader(const std::string& path, const char* data, uint64_t size) {
    const std::string name = FileName(path);
    auto bad = [&](const std::string& why) { return EngineError("\"" + name + "\" is not a valid dBASE table: " + why); };
    if (size < 32) throw bad("the file is too short to hold a table header.");
    const auto* h = reinterpret_cast<const unsigned char*>(data);
    const uint8_t version = h[0];
    switch (version) {
    case 0x03: case 0x83: case 0x8B: case 0x8E: case 0xCB:
    case 0x30: case 0x31: case 0x32: case 0xF5: case 0xFB:
        break;
    case 0x02:
        throw EngineError("\"" + name + "\" is a dBASE II table, whose layout this program cannot read.");
    case 0x04: case 0x8C:
        throw EngineError("\"" + name + "\" is a dBASE 7 table, whose layout this program cannot read.");
    default:
        throw bad("its first byte does not name a known dBASE version.");
    }
    const uint32_t count = Le32(h + 4);
    const uint32_t headerLength = Le16(h + 8);
    const uint32_t recordLength = Le16(h + 10);
    if (headerLength < 33 || headerLength > size)
        throw bad("the header length " + std::to_string(headerLength) + " does not fit the file.");

    std::vector<FieldDef> fields;
    size_t pos = 32;
    bool terminated = false;
    while (pos < headerLength) {
        if (h[pos] == 0x0D || h[pos] == 0x0A) { terminated = true; break; }
        if (pos + 32 > headerLength) break;
        const unsigned char* d = h + pos;
        size_t n = 0;
        while (n < 11 && d[n] != 0) ++n;
        std::string fieldName = CodePage(CodePage::FromLanguageDriver(h[29]) ? CodePage::FromLanguageDriver(h[29]) : 1252)
                                    .Decode(std::string_view(reinterpret_cast<const char*>(d), n));
        while (!fieldName.empty() && fieldName.back() == ' ') fieldName.pop_back();
        if (fieldName.empty()) throw bad("field " + std::to_string(fields.size() + 1) + " has no name.");
        FieldDef f;
        f.name = fieldName;
        f.type = char(d[11]);
        f.length = d[16];
        f.decimals = d[17];
        if (f.type == 'C' && d[17] != 0 && IsFoxPro(version)) {
            f.length = d[16] | (d[17] << 8);  // long character fields
            f.decimals = 0;
        }
        if (f.length == 0) throw bad("field " + f.name + " has a size of 0.");
        // A size the type cannot have would make every write of the field
        // run into the next one.
        const std::string problem = FieldSizeProblem(f, false);
        if (!problem.empty()) throw bad(problem);
        fields.push_back(std::move(f));
        pos += 32;
    }
    if (!terminated) throw bad("the field descriptors are not terminated within the header.");
    if (fields.empty()) throw bad("it has no fields.");
    if (fields.size() > 2046) throw bad("it claims " + std::to_string(fields.size()) + " fields.");
    size_t sum = 1;
    for (const auto& f : fields) sum += size_t(f.length);
    if (sum != recordLength)
        throw bad("the record length " + std::to_string(recordLength) + " disagrees with its fields, which need " +
                  std::to_string(sum) + ".");
    const uint64_t needed = uint64_t(headerLength) + uint64_t(count) * recordLength;
    if (needed > size)
        throw bad("the file is shorter than its " + std::to_string(count) + " records need (" +
                  std::to_string(size) + " of " + std::to_string(needed) + " bytes).");

    int codePage = CodePage::FromLanguageDriver(h[29]);
    if (codePage == 0) codePage = 1252;
    m_version = version;
    m_headerLength = headerLength;
    m_count = count;
    m_counter = Le16(h + 12);
    m_headerDate = Date3(h + 1);
    m_layout = RecordLayout(std::move(fields), codePage);
}

FileState DbfFile::State() const {
    if (m_knownStale) {
        m_known = StatNow();
        m_knownStale = false;
    }
    // Whoever records this state must see the next change of the records
    // move the counter again, even with sole use.
    m_counterMoved = false;
    return m_known;
}

FileState DbfFile::StatNow() const {
    struct stat st {};
    FileState s;
    if (::fstat(m_fd, &st) == 0) {
        s.size = uint64_t(st.st_size);
        s.mtimeSec = st.st_mtim.tv_sec;
        s.mtimeNsec = st.st_mtim.tv_nsec;
    }
    s.recordCount = m_count;
    s.changeCounter = m_counter;
    s.headerDate = m_headerDate;
    return s;
}

bool DbfFile::UsesIndexFlag() const { return !IsFoxPro(m_version); }

bool DbfFile::ProductionIndexFlag() const {
    return m_map && m_mapSize > 28 && UsesIndexFlag() && m_map[28] != 0;
}

void DbfFile::SetProductionIndexFlag(bool on) {
    if (m_access == Access::ReadOnly || !UsesIndexFlag() || ProductionIndexFlag() == on) return;
    LockWrites();
    const char b = on ? 1 : 0;
    try {
        // A change by another program since the last look must still show
        // at the next one: the known state moves only when it was current.
        const FileState before = StatNow();
        const bool current = m_knownStale || (before.size == m_known.size && before.mtimeSec == m_known.mtimeSec &&
                                              before.mtimeNsec == m_known.mtimeNsec);
        WriteAll(m_fd, &b, 1, 28, m_path);
        if (current) {
            m_known = StatNow();
            m_knownStale = false;
        }
    } catch (...) {
        UnlockWrites();
        throw;
    }
    UnlockWrites();
}

namespace {

void RangeLock(int fd, short type, off_t offset, bool wait, const std::string& path) {
    struct flock fl {};
    fl.l_type = type;
    fl.l_whence = SEEK_SET;
    fl.l_start = offset;
    fl.l_len = 1;
    while (::fcntl(fd, wait ? F_OFD_SETLKW : F_OFD_SETLK, &fl) != 0) {
        if (errno != EINTR) throw EngineError(SysError("Cannot lock", path));
    }
}

}  // namespace

void DbfFile::LockReads() { RangeLock(m_fd, F_RDLCK, kWriteLockOffset, true, m_path); }

void DbfFile::LockWrites() {
    if (m_access == Access::ReadOnly) throw EngineError("The table \"" + FileName(m_path) + "\" is open read-only.");
    RangeLock(m_fd, F_WRLCK, kWriteLockOffset, true, m_path);
}

void DbfFile::UnlockWrites() {
    struct flock fl {};
    fl.l_type = F_UNLCK;
    fl.l_whence = SEEK_SET;
    fl.l_start = kWriteLockOffset;
    fl.l_len = 1;
    ::fcntl(m_fd, F_OFD_SETLK, &fl);
}

void DbfFile::LockIndex() {
    if (m_access == Access::ReadOnly) throw EngineError("The table \"" + FileName(m_path) + "\" is open read-only.");
    RangeLock(m_fd, F_WRLCK, kIndexLockOffset, true, m_path);
}

void DbfFile::UnlockIndex() {
    struct flock fl {};
    fl.l_type = F_UNLCK;
    fl.l_whence = SEEK_SET;
    fl.l_start = kIndexLockOffset;
    fl.l_len = 1;
    ::fcntl(m_fd, F_OFD_SETLK, &fl);
}

bool DbfFile::Sync() {
    if (Sole() && !GuardCut(m_guard)) return false;
    LockReads();
    try {
        const bool changed = SyncLocked();
        UnlockWrites();
        return changed;
    } catch (...) {
        UnlockWrites();
        throw;
    }
}

bool DbfFile::SyncLocked() {
    const bool cut = GuardCut(m_guard);
    const FileState now = StatNow();
    unsigned char head[32];
    const ssize_t got = ::pread(m_fd, head, sizeof head, 0);
    if (got < 0) throw EngineError(SysError("Cannot read", m_path));
    if (got != ssize_t(sizeof head)) throw EngineError("\"" + FileName(m_path) + "\" was cut short by another program.");
    const uint32_t count = Le32(head + 4);
    const uint16_t counter = Le16(head + 12);
    const uint32_t date = Date3(head + 1);
    if (!cut && count == m_count && counter == m_counter && date == m_headerDate && now.size == m_known.size &&
        now.mtimeSec == m_known.mtimeSec && now.mtimeNsec == m_known.mtimeNsec)
        return false;
    const uint64_t needed = uint64_t(m_headerLength) + uint64_t(count) * m_layout.RecordLength();
    if (needed > now.size)
        throw EngineError("\"" + FileName(m_path) + "\" was cut short by another program.");
    if (cut || now.size != m_mapSize) Map(now.size);
    m_count = count;
    m_counter = counter;
    m_headerDate = date;
    m_counterMoved = false;
    m_known = StatNow();
    m_knownStale = false;
    return true;
}

void DbfFile::BumpCounter() {
    if (Sole() && m_counterMoved) return;
    unsigned char b[2];
    PutLe16(b, uint16_t(m_counter + 1));
    WriteAll(m_fd, b, 2, 12, m_path);
    ++m_counter;
    m_counterMoved = true;
}

bool DbfFile::WriteRecord(uint32_t recno, const char* data) {
    const off_t offset = off_t(m_headerLength + uint64_t(recno) * m_layout.RecordLength());
    if (Sole()) {
        if (recno >= m_count) throw EngineError("Record " + std::to_string(recno + 1) + " does not exist.");
        // The counter moves first: a copy of the index saved before this
        // write can never pass for one made after it.
        BumpCounter();
        WriteAll(m_fd, data, size_t(m_layout.RecordLength()), offset, m_path);
        m_knownStale = true;
        return false;
    }
    LockWrites();
    bool foreign = false;
    try {
        foreign = SyncLocked();
        if (recno >= m_count) throw EngineError("Record " + std::to_string(recno + 1) + " does not exist.");
        BumpCounter();
        WriteAll(m_fd, data, size_t(m_layout.RecordLength()), offset, m_path);
        m_known = StatNow();
    } catch (...) {
        UnlockWrites();
        throw;
    }
    UnlockWrites();
    return foreign;
}

bool DbfFile::WriteRecords(const std::vector<uint32_t>& recnos, const char* expected, const char* data) {
    const size_t length = size_t(m_layout.RecordLength());
    if (!Sole()) LockWrites();
    bool foreign = false;
    try {
        if (!Sole()) foreign = SyncLocked();
        for (size_t i = 0; i < recnos.size(); ++i) {
            if (recnos[i] >= m_count) throw EngineError("Record " + std::to_string(recnos[i] + 1) + " does not exist.");
            if (i > 0 && recnos[i] <= recnos[i - 1]) throw EngineError("The records to write are out of order.");
            if (expected && std::memcmp(Record(recnos[i]), expected + i * length, length) != 0)
                throw EngineError("Record " + std::to_string(recnos[i] + 1) +
                                  " was changed by another program in the meantime; nothing was written.");
        }
        // What the records hold now, to be put back when a write fails:
        // what was expected, when it was.
        std::vector<char> copied;
        if (!expected) {
            copied.resize(recnos.size() * length);
            for (size_t i = 0; i < recnos.size(); ++i) std::memcpy(copied.data() + i * length, Record(recnos[i]), length);
        }
        const char* before = expected ? expected : copied.data();
        BumpCounter();
        // Neighbouring records go in one write. started: the records up to
        // the end of the run being written.
        auto writeRuns = [&](const char* from, size_t upTo, size_t* started) {
            for (size_t i = 0; i < upTo;) {
                size_t j = i + 1;
                while (j < upTo && recnos[j] == recnos[j - 1] + 1) ++j;
                if (started) *started = j;
                const off_t offset = off_t(m_headerLength + uint64_t(recnos[i]) * length);
                WriteAll(m_fd, from + i * length, (j - i) * length, offset, m_path);
                i = j;
            }
        };
        size_t started = 0;
        try {
            writeRuns(data, recnos.size(), &started);
        } catch (...) {
            try {
                writeRuns(before, started, nullptr);
            } catch (...) {
                // The first failure is the one to tell.
            }
            throw;
        }
        if (Sole()) m_knownStale = true;
        else m_known = StatNow();
    } catch (...) {
        if (!Sole()) UnlockWrites();
        throw;
    }
    if (!Sole()) UnlockWrites();
    return foreign;
}

bool DbfFile::RepairInterruptedAppend(uint32_t recno) {
    if (m_access == Access::ReadOnly || recno >= m_count) return false;
    LockWrites();
    bool repaired = false;
    try {
        const off_t offset = off_t(m_headerLength + uint64_t(recno) * m_layout.RecordLength());
        char flag = 0;
        // Only while nobody else changed the file: a later look repairs it.
        if (!SyncLocked() && ::pread(m_fd, &flag, 1, offset) == 1 && flag == kEndMark) {
            BumpCounter();
            const char live = ' ';
            WriteAll(m_fd, &live, 1, offset, m_path);
            m_known = StatNow();
            m_knownStale = false;
            repaired = true;
        }
    } catch (...) {
        UnlockWrites();
        throw;
    }
    UnlockWrites();
    return repaired;
}

void DbfFile::WriteHeaderCount(uint32_t count) {
    // Date, count and the change counter in one write; the two lengths
    // between them are written as they stand.
    unsigned char head[13];
    std::memcpy(head, m_today, 3);
    PutLe32(head + 3, count);
    PutLe16(head + 7, uint16_t(m_headerLength));
    PutLe16(head + 9, uint16_t(m_layout.RecordLength()));
    const bool move = !(Sole() && m_counterMoved);
    PutLe16(head + 11, uint16_t(m_counter + (move ? 1 : 0)));
    WriteAll(m_fd, head, sizeof head, 1, m_path);
    if (move) {
        ++m_counter;
        m_counterMoved = true;
    }
    m_headerDate = Date3(m_today);
}

uint32_t DbfFile::AppendRecord(const char* data, bool* foreign) { return AppendRecords(data, 1, foreign); }

uint32_t DbfFile::AppendRecords(const char* data, uint32_t count, bool* foreign) {
    const size_t len = size_t(m_layout.RecordLength());
    return AppendFrom(
        count, data[0], [&](off_t at) { WriteAll(m_fd, data + 1, len * count - 1, at + 1, m_path); }, foreign);
}

uint32_t DbfFile::AppendStaged(int staged, uint32_t count, bool* foreign) {
    const size_t len = size_t(m_layout.RecordLength());
    char first = ' ';
    if (count > 0 && ::pread(staged, &first, 1, 0) != 1) throw EngineError(SysError("Cannot read the records staged for", m_path));
    // Copied a block at a time: the staged records may be far more than
    // memory should hold at once.
    auto copy = [&](off_t at) {
        const uint64_t total = uint64_t(len) * count;
        uint64_t done = 1;
        // The kernel copies between the files itself where it can.
        while (done < total) {
            loff_t from = loff_t(done), to = loff_t(at) + loff_t(done);
            const ssize_t n = ::copy_file_range(staged, &from, m_fd, &to, size_t(std::min<uint64_t>(total - done, 1u << 30)), 0);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) break;  // not between these files: by hand, below
            done += uint64_t(n);
        }
        std::vector<char> block(done < total ? size_t(1) << 20 : 0);
        while (done < total) {
            const size_t want = size_t(std::min<uint64_t>(block.size(), total - done));
            const ssize_t n = ::pread(staged, block.data(), want, off_t(done));
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) throw EngineError(SysError("Cannot read the records staged for", m_path));
            WriteAll(m_fd, block.data(), size_t(n), at + off_t(done), m_path);
            done += uint64_t(n);
        }
    };
    return AppendFrom(count, first, copy, foreign);
}

uint32_t DbfFile::AppendFrom(uint32_t count, char firstByte, const std::function<void(off_t)>& writeRest, bool* foreign) {
    const size_t len = size_t(m_layout.RecordLength());
    // The first new record starts where the end mark stands; everything
    // else goes in beyond it, where no reader looks, then the count, then
    // the first byte over the mark. Up to that last byte the file reads as
    // before for readers going by the count and by the mark alike.
    auto write = [&](uint32_t first) {
        const off_t at = off_t(m_headerLength + uint64_t(first) * len);
        struct stat st {};
        if (::fstat(m_fd, &st) != 0) throw EngineError(SysError("Cannot read", m_path));
        const off_t original = st.st_size;
        std::vector<char> overwritten;  // whatever lay past the records
        auto undo = [&] {
            if (!overwritten.empty()) (void)!::pwrite(m_fd, overwritten.data(), overwritten.size(), at);
            (void)!::ftruncate(m_fd, original);
        };
        if (original > at) {
            overwritten.resize(size_t(original - at));
            if (::pread(m_fd, overwritten.data(), overwritten.size(), at) != ssize_t(overwritten.size()))
                throw EngineError(SysError("Cannot read", m_path));
        }
        try {
            if (original <= at) WriteAll(m_fd, &kEndMark, 1, at, m_path);  // a file without its mark
            writeRest(at);
            WriteAll(m_fd, &kEndMark, 1, at + off_t(len * count), m_path);
            WriteHeaderCount(first + count);
        } catch (...) {
            undo();
            throw;
        }
        try {
            WriteAll(m_fd, &firstByte, 1, at, m_path);
        } catch (...) {
            try {
                WriteHeaderCount(first);
            } catch (...) {
            }
            undo();
            throw;
        }
        m_count = first + count;
        Map(uint64_t(m_headerLength) + uint64_t(m_count) * len + 1);
    };
    *foreign = false;
    if (count == 0) return m_count;
    if (Sole()) {
        if (GuardCut(m_guard)) SyncLocked();
        const uint32_t first = m_count;
        write(first);
        m_knownStale = true;
        return first;
    }
    LockWrites();
    uint32_t first = 0;
    try {
        *foreign = SyncLocked();
        first = m_count;
        write(first);
        m_known = StatNow();
    } catch (...) {
        UnlockWrites();
        throw;
    }
    UnlockWrites();
    return first;
}

void DbfFile::PackInto(const std::vector<uint32_t>& keep, const PackSteps* steps) {
    if (m_access != Access::Exclusive) throw EngineError("Packing requires exclusive use of the table.");
    // Through a link the file it points to is packed; the link stays.
    const std::string target = ResolvedPath(m_path);
    const std::string tmp = TemporaryPathBeside(target);
    const int fd = ::open(tmp.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0) throw EngineError(SysError("Cannot create", tmp));
    const size_t len = size_t(m_layout.RecordLength());
    try {
        CopyOwnershipAndMode(fd, target);
        std::vector<char> header(m_map, m_map + m_headerLength);
        auto* h = reinterpret_cast<unsigned char*>(header.data());
        PutDate(h + 1);
        PutLe32(h + 4, uint32_t(keep.size()));
        PutLe16(h + 12, uint16_t(m_counter + 1));
        WriteAll(fd, header.data(), header.size(), 0, tmp);
        std::vector<char> block;
        block.reserve(len * 4096 + 1);
        off_t offset = off_t(m_headerLength);
        for (size_t i = 0; i < keep.size(); ++i) {
            block.insert(block.end(), Record(keep[i]), Record(keep[i]) + len);
            if (block.size() >= len * 4096 || i + 1 == keep.size()) {
                WriteAll(fd, block.data(), block.size(), offset, tmp);
                offset += off_t(block.size());
                block.clear();
            }
        }
        WriteAll(fd, &kEndMark, 1, offset, tmp);
        if (::fsync(fd) != 0) throw EngineError(SysError("Cannot write to", tmp));
        if (::flock(fd, LOCK_EX | LOCK_NB) != 0) throw EngineError(SysError("Cannot lock", tmp));
        if (steps && steps->beforeReplace) steps->beforeReplace(keep);
        if (::rename(tmp.c_str(), target.c_str()) != 0) throw EngineError(SysError("Cannot replace", m_path));
    } catch (...) {
        ::close(fd);
        ::unlink(tmp.c_str());
        throw;
    }
    SyncFolder(FolderOf(target));
    Unmap();
    ::close(m_fd);
    m_fd = fd;
    struct stat st {};
    ::fstat(m_fd, &st);
    Map(uint64_t(st.st_size));
    m_count = uint32_t(keep.size());
    ++m_counter;
    m_counterMoved = true;
    m_headerDate = Date3(reinterpret_cast<const unsigned char*>(m_map) + 1);
    m_known = StatNow();
    m_knownStale = false;
    if (steps && steps->afterReplace) steps->afterReplace();
}

}  // namespace store
