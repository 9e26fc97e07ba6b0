#pragma once
// One open .DBF file: its header, its field layout, its records mapped into
// memory for reading, and the locked writes that change it. Shared and
// read-only opens take flock(LOCK_SH), exclusive opens flock(LOCK_EX), both
// without waiting; every write runs under a short byte-range lock so that
// two programs sharing the file never lose each other's appends.
//
// Every change of the records also moves a change counter kept in header
// bytes 12-13 (reserved and zero in other programs' files), so that a copy
// sharing the file sees the change even where the file system keeps
// modification times to the whole second. Appends write the new records
// out of sight first, then the count, then the byte that makes the first
// one visible: a failed append leaves the file as other readers knew it,
// and one killed after its count is finished by the next open for writing.

#include <cstdint>
#include <functional>
#include <string>
#include <sys/types.h>
#include <vector>

#include "EngineError.h"
#include "RecordLayout.h"

namespace store {

// Thrown by an open for writing that the file's permissions or its file
// system refuse: the caller may open it read-only instead.
class NotWritableError : public EngineError {
public:
    using EngineError::EngineError;
};

// What identifies one state of a data file: an index that was built for
// another state is stale. The record count, the change counter and the
// header date are content of the file; size and time add what other
// programs' writers change.
struct FileState {
    uint64_t size = 0;
    int64_t mtimeSec = 0;
    int64_t mtimeNsec = 0;
    uint32_t recordCount = 0;
    uint16_t changeCounter = 0;
    uint32_t headerDate = 0;  // bytes 1-3 of the header
    bool operator==(const FileState&) const = default;
};

// The size a field of this type must have, or why it cannot be; empty when
// the declared size suits the type. creating: only the types this program
// writes into new tables are allowed.
std::string FieldSizeProblem(const FieldDef& field, bool creating);

// What a caller keeps in step with a pack: files beside the table that
// name records by their number.
struct PackSteps {
    // Runs once the packed file is complete on the disk, before it replaces
    // the old one; kept[i] is the old number of the new record i. A throw
    // abandons the pack and leaves the old file.
    std::function<void(const std::vector<uint32_t>& kept)> beforeReplace;
    // Runs once the packed file has replaced the old one; must not throw.
    std::function<void()> afterReplace;
};

class DbfFile {
public:
    enum class Access { ReadOnly, Shared, Exclusive };

    DbfFile() = default;
    ~DbfFile();
    DbfFile(const DbfFile&) = delete;
    DbfFile& operator=(const DbfFile&) = delete;

    // Writes a new, empty table at path, replacing any file there. Refuses a
    // file that another handle holds, and field sizes their types cannot
    // have. Throws EngineError.
    static void Create(const std::string& path, const std::vector<FieldDef>& fields, int codePage = 1252);

    // A read-only open normally takes a shared lock; exclusiveLock asks for
    // sole use even then (the in-use test). Anything but a regular file is
    // refused before it is opened.
    void Open(const std::string& path, Access access, bool exclusiveLock = false);
    void Close();
    bool IsOpen() const { return m_fd >= 0; }
    Access Mode() const { return m_access; }
    const std::string& Path() const { return m_path; }
    // From now on this handle refuses to write; its lock is kept.
    void DropWriteAccess() { if (m_access != Access::ReadOnly) m_access = Access::ReadOnly; }

    const RecordLayout& Layout() const { return m_layout; }
    uint8_t Version() const { return m_version; }
    uint32_t RecordCount() const { return m_count; }
    uint32_t HeaderLength() const { return m_headerLength; }
    const char* Record(uint32_t recno) const { return m_map + m_headerLength + size_t(recno) * m_layout.RecordLength(); }
    // Calls each(recno, bytes) for the records [first, last) in file order.
    // A pass over many of them reads the file a block at a time into memory
    // of its own: where this process has not touched the mapping's pages
    // yet, a copy costs far less than a fault for every page. What the file
    // no longer holds (cut by another program) is read through the mapping,
    // as Record reads it.
    template <typename Each>
    void ForEachRecord(uint32_t first, uint32_t last, Each&& each) const;
    // One record's bytes read with one call into out (RecordLength bytes):
    // a single record on a page this process has not touched yet costs a
    // fraction of the mapping's first touch. False when the file no longer
    // holds the whole record (cut by another program).
    bool CopyRecord(uint32_t recno, char* out) const;
    FileState State() const;

    // Header byte 28: a production index is announced.
    bool ProductionIndexFlag() const;
    void SetProductionIndexFlag(bool on);
    // dBASE (not FoxPro) tables use byte 28 as the production index flag.
    bool UsesIndexFlag() const;

    // Overwrites record recno. Returns true when another program changed
    // the file since this handle last looked (the caller must resync).
    bool WriteRecord(uint32_t recno, const char* data);
    // Overwrites the records recnos (ascending, no number twice) with the
    // records lying one after the other in data, all of them or none: when
    // expected is given, a record whose bytes differ from its part of it
    // (another program changed it) stops the change before anything is
    // written, and a write that fails midway (a full disk, an I/O error)
    // puts back what the records held before throwing. Returns true when
    // another program changed the file since this handle last looked.
    bool WriteRecords(const std::vector<uint32_t>& recnos, const char* expected, const char* data);
    // Appends a record; returns its number. *foreign is set when other
    // programs had changed the file (their appends come before ours).
    uint32_t AppendRecord(const char* data, bool* foreign);
    // Appends count records lying one after the other in data; all of them
    // or none reach the file. Returns the number of the first.
    uint32_t AppendRecords(const char* data, uint32_t count, bool* foreign);
    // The same for count records lying one after the other from the start
    // of the file staged (a descriptor open for reading).
    uint32_t AppendStaged(int staged, uint32_t count, bool* foreign);
    // Finishes an append killed between its count and its last byte: the
    // counted record whose first byte still holds the end-of-file mark is
    // whole but for that byte, and the count already took in every record
    // of the append, so the record is made live. All records of the append
    // are then there, as the count says, and readers going by the mark see
    // them too. True when it did.
    bool RepairInterruptedAppend(uint32_t recno);
    // Re-reads the header; true when the file changed behind this handle.
    bool Sync();

    // Serialises the writers of the index file among all handles on this
    // table (a byte-range lock on the data file). Writable handles only.
    void LockIndex();
    void UnlockIndex();

    // Replaces the file by one holding only the records keep() accepts,
    // written beside it and renamed over it when complete. Exclusive only.
    // A symbolic link stays a link: the file it points to is replaced.
    template <class Keep>
    void Pack(Keep keep, const PackSteps* steps = nullptr);

private:
    static constexpr size_t kReadBlockBytes = size_t(256) << 10;  // stays in the processor's cache
    // Reads whole records from first on, at most count and a block's worth,
    // into block; how many it read, 0 when the file holds none of them.
    uint32_t ReadRecords(uint32_t first, uint32_t count, std::vector<char>& block) const;
    // The append both of the above are: writeRest(at) writes every byte of
    // the new records but the first one's first, which lands at offset at.
    uint32_t AppendFrom(uint32_t count, char firstByte, const std::function<void(off_t)>& writeRest, bool* foreign);
    void ParseHeader(const std::string& path, const char* data, uint64_t size);
    // Makes the mapping cover size bytes of the file, with room to grow.
    void Map(uint64_t size);
    void Unmap();
    FileState StatNow() const;
    void LockWrites();
    void LockReads();  // waits out a write in progress in another program
    void UnlockWrites();
    bool SyncLocked();
    // Moves the change counter before the first change of records that
    // this state of the file has not seen yet.
    void BumpCounter();
    void WriteHeaderCount(uint32_t count);
    void PackInto(const std::vector<uint32_t>& keep, const PackSteps* steps);
    void CheckNotCut();

    int m_fd = -1;
    Access m_access = Access::Shared;
    std::string m_path;
    RecordLayout m_layout;
    uint8_t m_version = 0x03;
    uint32_t m_headerLength = 0;
    uint32_t m_count = 0;
    uint16_t m_counter = 0;
    uint32_t m_headerDate = 0;
    // With sole use the counter moves once between two records of the state.
    mutable bool m_counterMoved = false;
    const char* m_map = nullptr;
    size_t m_mapSize = 0;      // bytes of the file the mapping covers
    size_t m_mapCapacity = 0;  // bytes mapped; growth within it needs no new mapping
    int m_guard = -1;          // slot watching the mapping for a file cut short
    uint8_t m_today[3] = {};   // header date of this session's writes
    mutable FileState m_known;
    // With sole use nobody else writes: the state is read once when needed
    // instead of after every write.
    mutable bool m_knownStale = false;
    bool Sole() const { return m_access == Access::Exclusive; }
};

template <typename Each>
void DbfFile::ForEachRecord(uint32_t first, uint32_t last, Each&& each) const {
    const size_t len = size_t(m_layout.RecordLength());
    uint32_t r = first;
    // A few records are read where they lie.
    if (last > first && size_t(last - first) * len >= kReadBlockBytes) {
        std::vector<char> block;
        while (r < last) {
            const uint32_t got = ReadRecords(r, last - r, block);
            if (got == 0) break;
            const char* record = block.data();
            for (const uint32_t end = r + got; r < end; ++r, record += len) each(r, record);
        }
    }
    for (; r < last; ++r) each(r, Record(r));
}

template <class Keep>
void DbfFile::Pack(Keep keep, const PackSteps* steps) {
    std::vector<uint32_t> live;
    for (uint32_t r = 0; r < m_count; ++r)
        if (keep(r)) live.push_back(r);
    PackInto(live, steps);
}

}  // namespace store
