#include "DbfFile.h"

#include <cerrno>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include "EngineError.h"

namespace store {
namespace {

constexpr off_t kWriteLockOffset = 0x7FFFFFF0;

std::string FileName(const std::string& path) {
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string SysError(const std::string& what, const std::string& path) {
    return what + " \"" + path + "\": " + std::strerror(errno) + ".";
}

uint16_t Le16(const unsigned char* p) { return uint16_t(p[0] | (p[1] << 8)); }
uint32_t Le32(const unsigned char* p) { return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24); }

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

std::vector<unsigned char> BuildHeader(const std::vector<FieldDef>& fields, int codePage, uint32_t count) {
    if (fields.empty()) throw EngineError("A table needs at least one field.");
    if (fields.size() > 255) throw EngineError("A table can have at most 255 fields.");
    int recordLength = 1;
    for (const auto& f : fields) {
        if (f.name.empty() || f.name.size() > 10)
            throw EngineError("The field name \"" + f.name + "\" must be 1 to 10 characters long.");
        if (f.length < 1 || f.length > 254)
            throw EngineError("Field " + f.name + " has an invalid size " + std::to_string(f.length) + ".");
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

std::string TempPathBeside(const std::string& path) {
    return path + ".tmp" + std::to_string(::getpid());
}

}  // namespace

DbfFile::~DbfFile() { Close(); }

void DbfFile::Create(const std::string& path, const std::vector<FieldDef>& fields, int codePage) {
    const std::vector<unsigned char> header = BuildHeader(fields, codePage, 0);
    // Replacing a file that someone holds would pull it from under them.
    const int old = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (old >= 0) {
        const bool busy = ::flock(old, LOCK_EX | LOCK_NB) != 0;
        ::close(old);
        if (busy) throw EngineError("The table \"" + path + "\" is in use and cannot be replaced.");
    }
    const std::string tmp = TempPathBeside(path);
    const int fd = ::open(tmp.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) throw EngineError(SysError("Cannot create", path));
    try {
        WriteAll(fd, header.data(), header.size(), 0, path);
        const char eof = 0x1A;
        WriteAll(fd, &eof, 1, off_t(header.size()), path);
        if (::fsync(fd) != 0) throw EngineError(SysError("Cannot write to", path));
    } catch (...) {
        ::close(fd);
        ::unlink(tmp.c_str());
        throw;
    }
    ::close(fd);
    if (::rename(tmp.c_str(), path.c_str()) != 0) {
        ::unlink(tmp.c_str());
        throw EngineError(SysError("Cannot create", path));
    }
}

void DbfFile::Open(const std::string& path, Access access, bool exclusiveLock) {
    Close();
    const int flags = (access == Access::ReadOnly ? O_RDONLY : O_RDWR) | O_CLOEXEC;
    const int fd = ::open(path.c_str(), flags);
    if (fd < 0) {
        if (errno == ENOENT) throw EngineError("The table \"" + path + "\" does not exist.");
        throw EngineError(SysError("Cannot open", path));
    }
    const int lock = (access == Access::Exclusive || exclusiveLock) ? LOCK_EX : LOCK_SH;
    if (::flock(fd, lock | LOCK_NB) != 0) {
        ::close(fd);
        throw EngineError("The table \"" + path + "\" is in use by another program or user.");
    }
    struct stat st{};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        throw EngineError("\"" + path + "\" is not a table file.");
    }
    m_fd = fd;
    m_access = access;
    m_path = path;
    PutDate(m_today);
    try {
        LockReads();
        ::fstat(fd, &st);
        Map(uint64_t(st.st_size));
        ParseHeader(path, m_map, m_mapSize);
        m_known = StatNow();
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
    if (m_map && size <= m_mapCapacity) {
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
}

void DbfFile::Unmap() {
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
    m_layout = RecordLayout(std::move(fields), codePage);
}

FileState DbfFile::State() const {
    if (m_knownStale) {
        m_known = StatNow();
        m_knownStale = false;
    }
    return m_known;
}

FileState DbfFile::StatNow() const {
    struct stat st{};
    FileState s;
    if (::fstat(m_fd, &st) == 0) {
        s.size = uint64_t(st.st_size);
        s.mtimeSec = st.st_mtim.tv_sec;
        s.mtimeNsec = st.st_mtim.tv_nsec;
    }
    s.recordCount = m_count;
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
        WriteAll(m_fd, &b, 1, 28, m_path);
    } catch (...) {
        UnlockWrites();
        throw;
    }
    m_known = StatNow();
    m_knownStale = false;
    UnlockWrites();
}

void DbfFile::LockReads() {
    struct flock fl{};
    fl.l_type = F_RDLCK;
    fl.l_whence = SEEK_SET;
    fl.l_start = kWriteLockOffset;
    fl.l_len = 1;
    while (::fcntl(m_fd, F_OFD_SETLKW, &fl) != 0) {
        if (errno != EINTR) throw EngineError(SysError("Cannot lock", m_path));
    }
}

void DbfFile::LockWrites() {
    if (m_access == Access::ReadOnly) throw EngineError("The table \"" + FileName(m_path) + "\" is open read-only.");
    struct flock fl{};
    fl.l_type = F_WRLCK;
    fl.l_whence = SEEK_SET;
    fl.l_start = kWriteLockOffset;
    fl.l_len = 1;
    while (::fcntl(m_fd, F_OFD_SETLKW, &fl) != 0) {
        if (errno != EINTR) throw EngineError(SysError("Cannot lock", m_path));
    }
}

void DbfFile::UnlockWrites() {
    struct flock fl{};
    fl.l_type = F_UNLCK;
    fl.l_whence = SEEK_SET;
    fl.l_start = kWriteLockOffset;
    fl.l_len = 1;
    ::fcntl(m_fd, F_OFD_SETLK, &fl);
}

bool DbfFile::Sync() {
    if (Sole()) return false;
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
    const FileState now = StatNow();
    if (now.size == m_known.size && now.mtimeSec == m_known.mtimeSec && now.mtimeNsec == m_known.mtimeNsec)
        return false;
    unsigned char head[12];
    if (::pread(m_fd, head, sizeof head, 0) != ssize_t(sizeof head)) throw EngineError(SysError("Cannot read", m_path));
    const uint32_t count = Le32(head + 4);
    const uint64_t needed = uint64_t(m_headerLength) + uint64_t(count) * m_layout.RecordLength();
    if (needed > now.size)
        throw EngineError("\"" + FileName(m_path) + "\" was cut short by another program.");
    if (now.size != m_mapSize) Map(now.size);
    m_count = count;
    m_known = StatNow();
    return true;
}

bool DbfFile::WriteRecord(uint32_t recno, const char* data) {
    if (Sole()) {
        if (recno >= m_count) throw EngineError("Record " + std::to_string(recno + 1) + " does not exist.");
        WriteAll(m_fd, data, size_t(m_layout.RecordLength()),
                 off_t(m_headerLength + uint64_t(recno) * m_layout.RecordLength()), m_path);
        m_knownStale = true;
        return false;
    }
    LockWrites();
    bool foreign = false;
    try {
        foreign = SyncLocked();
        if (recno >= m_count) throw EngineError("Record " + std::to_string(recno + 1) + " does not exist.");
        WriteAll(m_fd, data, size_t(m_layout.RecordLength()),
                 off_t(m_headerLength + uint64_t(recno) * m_layout.RecordLength()), m_path);
        m_known = StatNow();
    } catch (...) {
        UnlockWrites();
        throw;
    }
    UnlockWrites();
    return foreign;
}

void DbfFile::WriteHeaderCount(uint32_t count) {
    unsigned char head[7];
    std::memcpy(head, m_today, 3);
    PutLe32(head + 3, count);
    WriteAll(m_fd, head, 7, 1, m_path);
}

uint32_t DbfFile::AppendRecord(const char* data, bool* foreign) { return AppendRecords(data, 1, foreign); }

uint32_t DbfFile::AppendRecords(const char* data, uint32_t count, bool* foreign) {
    const size_t len = size_t(m_layout.RecordLength());
    auto write = [&](uint32_t first) {
        m_appendBuffer.assign(data, data + len * count);
        m_appendBuffer.push_back(0x1A);
        WriteAll(m_fd, m_appendBuffer.data(), m_appendBuffer.size(), off_t(m_headerLength + uint64_t(first) * len),
                 m_path);
        // The count follows the records, so a reader never counts a record
        // that is not all there.
        WriteHeaderCount(first + count);
        m_count = first + count;
        Map(uint64_t(m_headerLength) + uint64_t(m_count) * len + 1);
    };
    *foreign = false;
    if (Sole()) {
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

void DbfFile::PackInto(const std::vector<uint32_t>& keep) {
    if (m_access != Access::Exclusive) throw EngineError("Packing requires exclusive use of the table.");
    const std::string tmp = TempPathBeside(m_path);
    const int fd = ::open(tmp.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) throw EngineError(SysError("Cannot create", tmp));
    const size_t len = size_t(m_layout.RecordLength());
    try {
        std::vector<char> header(m_map, m_map + m_headerLength);
        auto* h = reinterpret_cast<unsigned char*>(header.data());
        PutDate(h + 1);
        PutLe32(h + 4, uint32_t(keep.size()));
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
        const char eof = 0x1A;
        WriteAll(fd, &eof, 1, offset, tmp);
        if (::fsync(fd) != 0) throw EngineError(SysError("Cannot write to", tmp));
        if (::flock(fd, LOCK_EX | LOCK_NB) != 0) throw EngineError(SysError("Cannot lock", tmp));
        if (::rename(tmp.c_str(), m_path.c_str()) != 0) throw EngineError(SysError("Cannot replace", m_path));
    } catch (...) {
        ::close(fd);
        ::unlink(tmp.c_str());
        throw;
    }
    Unmap();
    ::close(m_fd);
    m_fd = fd;
    struct stat st{};
    ::fstat(m_fd, &st);
    Map(uint64_t(st.st_size));
    m_count = uint32_t(keep.size());
    m_known = StatNow();
}

}  // namespace store
