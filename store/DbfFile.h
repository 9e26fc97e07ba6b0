#pragma once
// One open .DBF file: its header, its field layout, its records mapped into
// memory for reading, and the locked writes that change it. Shared and
// read-only opens take flock(LOCK_SH), exclusive opens flock(LOCK_EX), both
// without waiting; every write runs under a short byte-range lock so that
// two programs sharing the file never lose each other's appends.

#include <cstdint>
#include <string>
#include <sys/types.h>
#include <vector>

#include "RecordLayout.h"

namespace store {

// What identifies one state of a data file: an index that was built for
// another state is stale.
struct FileState {
    uint64_t size = 0;
    int64_t mtimeSec = 0;
    int64_t mtimeNsec = 0;
    uint32_t recordCount = 0;
    bool operator==(const FileState&) const = default;
};

class DbfFile {
public:
    enum class Access { ReadOnly, Shared, Exclusive };

    DbfFile() = default;
    ~DbfFile();
    DbfFile(const DbfFile&) = delete;
    DbfFile& operator=(const DbfFile&) = delete;

    // Writes a new, empty table at path, replacing any file there. Refuses a
    // file that another handle holds. Throws EngineError.
    static void Create(const std::string& path, const std::vector<FieldDef>& fields, int codePage = 1252);

    // A read-only open normally takes a shared lock; exclusiveLock asks for
    // sole use even then (the in-use test).
    void Open(const std::string& path, Access access, bool exclusiveLock = false);
    void Close();
    bool IsOpen() const { return m_fd >= 0; }
    Access Mode() const { return m_access; }
    const std::string& Path() const { return m_path; }

    const RecordLayout& Layout() const { return m_layout; }
    uint8_t Version() const { return m_version; }
    uint32_t RecordCount() const { return m_count; }
    const char* Record(uint32_t recno) const { return m_map + m_headerLength + size_t(recno) * m_layout.RecordLength(); }
    FileState State() const;

    // Header byte 28: a production index is announced.
    bool ProductionIndexFlag() const;
    void SetProductionIndexFlag(bool on);
    // dBASE (not FoxPro) tables use byte 28 as the production index flag.
    bool UsesIndexFlag() const;

    // Overwrites record recno. Returns true when another program changed
    // the file since this handle last looked (the caller must resync).
    bool WriteRecord(uint32_t recno, const char* data);
    // Appends a record; returns its number. *foreign is set when other
    // programs had changed the file (their appends come before ours).
    uint32_t AppendRecord(const char* data, bool* foreign);
    // Appends count records lying one after the other in data with one
    // write; returns the number of the first.
    uint32_t AppendRecords(const char* data, uint32_t count, bool* foreign);
    // Re-reads the header; true when the file changed behind this handle.
    bool Sync();

    // Replaces the file by one holding only the records keep() accepts,
    // written beside it and renamed over it when complete. Exclusive only.
    template <class Keep>
    void Pack(Keep keep);

private:
    void ParseHeader(const std::string& path, const char* data, uint64_t size);
    // Makes the mapping cover size bytes of the file, with room to grow.
    void Map(uint64_t size);
    void Unmap();
    FileState StatNow() const;
    void LockWrites();
    void LockReads();  // waits out a write in progress in another program
    void UnlockWrites();
    bool SyncLocked();
    void WriteHeaderCount(uint32_t count);
    void PackInto(const std::vector<uint32_t>& keep);

    int m_fd = -1;
    Access m_access = Access::Shared;
    std::string m_path;
    RecordLayout m_layout;
    uint8_t m_version = 0x03;
    uint32_t m_headerLength = 0;
    uint32_t m_count = 0;
    const char* m_map = nullptr;
    size_t m_mapSize = 0;      // bytes of the file the mapping covers
    size_t m_mapCapacity = 0;  // bytes mapped; growth within it needs no new mapping
    uint8_t m_today[3] = {};   // header date of this session's writes
    std::vector<char> m_appendBuffer;
    mutable FileState m_known;
    // With sole use nobody else writes: the state is read once when needed
    // instead of after every write.
    mutable bool m_knownStale = false;
    bool Sole() const { return m_access == Access::Exclusive; }
};

template <class Keep>
void DbfFile::Pack(Keep keep) {
    std::vector<uint32_t> live;
    for (uint32_t r = 0; r < m_count; ++r)
        if (keep(r)) live.push_back(r);
    PackInto(live);
}

}  // namespace store
