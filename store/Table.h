#pragma once
// A handle on one dBASE table: what the rest of the program calls "the
// table engine". It names the table by folder and name, opens it shared,
// exclusive or read-only, keeps its index tags in step with every change,
// delivers records in the active index's order through the record filter,
// and reads and writes field values as text or typed values.
//
// Navigation follows the usual dataset rules: First() and Last() set the
// beginning or end mark on a non-empty table; Next() past the last record
// sets the end mark and stays on it; an empty table is at its beginning and
// end at once. Every failing call throws EngineError.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "ChangeLog.h"
#include "DateFormat.h"
#include "DbfFile.h"
#include "EngineError.h"
#include "Expression.h"
#include "FieldDef.h"
#include "RecordLayout.h"
#include "RecordOrder.h"

namespace store {

class Table {
public:
    enum class State { Browse, Edit, Insert };
    using Filter = std::function<bool(const RecordView&)>;

    Table();
    ~Table();
    Table(const Table&) = delete;
    Table& operator=(const Table&) = delete;

    // Naming; only while closed. The name may carry its extension
    // ("MASTER.DBF", "my.items.dbf"); without one ".DBF" is added. The data
    // file is found in the folder in any letter case.
    void SetDirectory(std::string directory);
    void SetTableName(std::string name);
    const std::string& Directory() const { return m_directory; }
    const std::string& TableName() const { return m_tableName; }
    std::string DataFilePath() const;
    std::string IndexFilePath() const;

    // Access mode; only while closed.
    void SetExclusive(bool exclusive);
    bool Exclusive() const { return m_exclusive; }
    void SetReadOnly(bool readOnly);
    bool ReadOnly() const { return m_readOnly; }

    // Opens the data file and its index. Fails when the file is missing, not
    // a valid table, held exclusively elsewhere (or, for an exclusive open,
    // held at all), when its header announces an index file that is gone
    // (a read-only open does without it), or when the active index names
    // no tag. A shared open of a file the user may not write, or whose
    // index file cannot be written, opens it read-only and says why in
    // Notice(). An exclusive open removes what temporary files of ours a
    // killed pack or index write left beside the table.
    void Open();
    // Why the table, asked for writing, is open read-only, or why its sort
    // order is kept in memory only: for the user to be told once. Empty
    // when all is well; set anew by every Open.
    const std::string& Notice() const { return m_notice; }
    // Whether the last Open sorted the records again because the index file
    // did not describe them (for benchmarks and tests).
    bool SortedAtOpen() const { return m_sortedAtOpen; }
    // Open, and not read-only (asked for, or fallen back to).
    bool Writable() const { return m_file.IsOpen() && m_file.Mode() != DbfFile::Access::ReadOnly; }
    // Tags that could not be saved are kept by the handle and come back at
    // its next open of the same table.
    // Posts nothing: a pending edit is cancelled. Writes the index file when
    // it changed.
    void Close();
    bool IsOpen() const { return m_file.IsOpen(); }

    // Creates an empty table from the definitions, replacing any file of
    // that name; the table must be closed. No index is defined.
    void Create(const std::vector<FieldDef>& fields);

    // Fields of the open table.
    int FieldCount() const;
    const FieldDef& Field(int index) const;
    // -1 when no field has that name (letter case ignored).
    int FieldIndex(std::string_view name) const;
    const RecordLayout& Layout() const;

    // Index tags. Adding and deleting work on an open or a closed table; the
    // index file is written at once, after the tags other copies of the
    // program wrote into it since are read again and kept. Adding an
    // existing name or deleting a missing one is an error. When the index
    // file cannot be written the table goes on read-only with its tags in
    // memory (see Notice()).
    void AddIndex(const std::string& name, const std::string& expression);
    void DeleteIndex(const std::string& name);
    std::vector<std::string> IndexNames() const;
    std::string IndexExpression(const std::string& name) const;
    // "" for physical order. On a closed table the name is used at Open.
    void SetActiveIndex(const std::string& name);
    const std::string& ActiveIndex() const { return m_activeName; }
    // Rebuilds every tag from the records. Needs the table open for writing.
    void RegenerateIndexes();
    // Removes the records the data file marks deleted for good and rebuilds
    // the tags. Needs the table open exclusively. The packed file replaces
    // the old one only when it is complete, with the old one's permissions;
    // through a symbolic link the file it points to is packed. Steps given
    // run inside the replacement (see PackSteps).
    void Pack(const PackSteps* steps = nullptr);

    // Told before an edited record is written over the old one, with the
    // record's bytes before and after (the layout's record length each), so
    // that files naming records by their content can follow the change
    // first. It must not throw. Appends are not told: a new record has no
    // such files yet.
    using EditObserver = std::function<void(uint32_t recno, const char* before, const char* after)>;
    void SetEditObserver(EditObserver observer) { m_editObserver = std::move(observer); }

    // The log told of every record this handle changes or adds from now on
    // (null for none); the caller keeps it alive while attached.
    void SetChangeLog(ChangeLog* log) { m_changeLog = log; }
    // How many times this handle found the file changed by another program
    // (kept across closing and opening).
    uint64_t ForeignChanges() const { return m_foreignChanges; }

    // Writes the records recnos (ascending, each once) with the bytes lying
    // one after the other in records, deletion flags included, as one
    // change: all of them or none (see DbfFile::WriteRecords). expected,
    // when given, is what the records must hold now; a record another
    // program changed since then stops it before anything is written. The
    // tags follow; the edit observer is told of each record first.
    void Rewrite(const std::vector<uint32_t>& recnos, const char* expected, const char* records);
    // The bytes of a field at its place in record (the layout's length)
    // for the text form of a value, as SetText would write them; a value
    // the field cannot hold is refused before anything is written.
    void FormatField(int field, std::string_view text, char* record) const;

    // Record filter, asked for every record the table would deliver.
    void SetFilter(Filter filter);
    void SetFiltered(bool on);
    bool Filtered() const { return m_filtered; }
    // Records chosen by number beside the filter (the filter box's answer,
    // worked out elsewhere): a record below the set's size is delivered only
    // when its entry is set; records added after the set was made are. Null
    // for none.
    using RecordSet = std::shared_ptr<const std::vector<uint8_t>>;
    void SetRecordSet(RecordSet set);
    const RecordSet& ChosenRecords() const { return m_recordSet; }

    // Records the filter delivers, in the active order. The list lives as
    // long as the handle: a change of the records or of what is delivered
    // may empty it, and the next call fills it again.
    uint32_t RecordCount();
    const std::vector<uint32_t>& DeliveredRecords();
    // Re-reads the file (changes by other programs) and the filter's answers,
    // keeping the current record when it is still delivered.
    void Refresh();

    void First();
    void Last();
    void Next();
    void Prior();
    bool Bof() const { return m_bof; }
    bool Eof() const { return m_eof; }
    bool HasCurrent() const { return m_current.has_value(); }
    // Record number (0-based) of the current record; error when none.
    uint32_t RecNo() const;
    // Makes a record current (a bookmark). Error when it is gone.
    void GoTo(uint32_t recno);

    // Bulk appending (imports, exports to a new table): between the two
    // calls posted new records are collected and written together, which is
    // many times faster than one write each. Any other operation writes the
    // collected records first; EndBulkAppend and Close always do. A write
    // that fails (a full disk) leaves the file as it was before that batch
    // and throws, saying how many records of the run were written.
    //
    // whole: the run is one change. The collected records are written only
    // by EndBulkAppend, all in one write, so that a failure leaves the table
    // as it was before the run; until then no read sees them and nothing
    // else writes them. DiscardBulkAppend, or a Close, drops them.
    void BeginBulkAppend(bool whole = false);
    // Returns how many records the run wrote.
    uint32_t EndBulkAppend();
    void DiscardBulkAppend();
    uint32_t BulkWritten() const { return m_bulkWritten; }

    // Modification.
    State CurrentState() const { return m_state; }
    void Append();  // starts a new blank record
    void Insert() { Append(); }
    void Edit();    // starts editing the current record
    void Post();
    void Cancel();
    void Delete();  // marks the current record deleted

    // Field values of the current record (or of the record being edited).
    // With no current record every field reads empty.
    std::string GetText(int field) const;
    std::string GetText(std::string_view name) const { return GetText(NeedField(name)); }
    double GetNumber(int field) const;
    std::optional<Date> GetDate(int field) const;
    bool IsBlank(int field) const;
    // Read any record by number without moving (for the grid).
    RecordView ViewOf(uint32_t recno) const;
    uint32_t PhysicalCount() const { return m_file.RecordCount(); }

    // Writing; only in Edit or Insert state. Text goes through the field's
    // text form; a value the field cannot hold is refused with a message
    // naming the field.
    void SetText(int field, std::string_view text);
    void SetText(std::string_view name, std::string_view text) { SetText(NeedField(name), text); }
    void SetNumber(int field, double value);
    void SetDate(int field, std::optional<Date> date);
    void SetBlank(int field);

    int NeedField(std::string_view name) const;

private:
    struct Tag {
        std::string name;
        std::string source;
        std::unique_ptr<Expression> expr;
        std::vector<size_t> lines;  // of the key fields, see KeyFieldLines
        RecordOrder order{true};
        // Keys a single record's search compared with, by record number:
        // the first steps of every search meet the same records. Emptied
        // whenever the order is made afresh; a record's entry goes when
        // the record is changed.
        mutable std::unordered_map<uint32_t, std::string> probed;
    };

    void NeedOpen() const;
    void NeedClosed(const char* what) const;
    void NeedWritable() const;
    void NeedEditing() const;
    const char* CurrentRecordBytes() const;
    Tag* FindTag(const std::string& name);
    const Tag* FindTag(const std::string& name) const;
    // Reads the index file, or rebuilds what it cannot use. True when the
    // file describes the records but was written for another state of the
    // file (a copy of the table): worth writing again with this state, but
    // not before it is next saved.
    bool LoadIndex();
    void BuildTag(Tag& tag);
    void RebuildAll();
    void ScanDeleted(uint32_t from);
    // The same from the first bytes of all records, read by another pass.
    void TakeDeletionFlags(const std::vector<char>& firstBytes);
    // Appends killed before their last byte, from record from on, made whole.
    void RepairEndMarks(uint32_t from);
    // Writes the index file; when it cannot be written, the table goes on
    // read-only with its tags in memory.
    void SaveIndex();
    void WriteIndexContent(const std::string& path);
    void MergeTagsFromFile(const std::string& path);
    void KeepIndexInMemory(const std::string& why);
    void RestoreTagsKeptInMemory();
    // A tag from its definition, orders not built; nothing when the
    // expression does not fit this table.
    std::optional<Tag> TagFrom(const std::string& name, const std::string& source) const;
    void TagInsert(Tag& tag, uint32_t recno);
    // Brings every tag's order up to the records in the file: the ones
    // appended since (m_tagged and on) are sorted among themselves and
    // merged in, in one pass.
    void CatchUpTags();
    void MergeIntoTag(Tag& tag, uint32_t from, uint32_t to);
    void TagErase(Tag& tag, uint32_t recno);
    // The first place in order, from lo up to hi, whose record comes after
    // key and recno in the tag's order (equal keys by record number).
    // A search for one record reads the keys it compares with through
    // ProbedKey; searches for a run of records read them where they lie.
    size_t KeyLowerBound(const Tag& tag, const RecordOrder& order, const std::string& key, uint32_t recno, size_t lo,
                         size_t hi, bool alone = true) const;
    // The key of record recno: kept from earlier searches, else read with
    // one call rather than through the mapping (a search's last steps meet
    // records far apart, on pages this process has mostly not touched).
    const std::string& ProbedKey(const Tag& tag, uint32_t recno) const;
    // A record's bytes, read as ProbedKey reads them.
    void CopyRecord(uint32_t recno, std::vector<char>& out) const;
    void OnForeignChange(uint32_t oldCount);
    void InvalidateView() { m_viewValid = false; }
    // Builds the view; the current record stays when still delivered, else
    // the one at its position does.
    void KeepCurrent();
    void EnsureView();
    bool Delivered(uint32_t recno) const;
    // Where recno stands in the view, or would stand if it were delivered.
    size_t PositionOf(uint32_t recno);
    // Puts an edited record where the view now wants it; false when only
    // building the view again can tell.
    bool MoveInView(uint32_t recno);
    void SetCurrentAt(size_t pos);
    // Posts a pending edit and brings the view up to date; false (and no
    // current record) when the view is empty.
    bool StartMove();
    // The text form of a value into the bytes of a field at dst.
    void WriteText(int field, std::string_view text, char* dst) const;
    // The bytes of the record being edited or inserted.
    char* EditBytes();
    const char* EditBytes() const;
    void TakeEditOutOfPending();
    // Forgets the collected records (written or lost); a record being
    // filled stays.
    void DropCollected();
    // Writes the collected new records and brings the tags up to them.
    void FlushPending();
    // Writes them only; the tags catch up later (CatchUpTags).
    void WritePending();
    void StagePending();
    void DropStaged();

    std::string m_directory = ".";
    std::string m_tableName;
    bool m_exclusive = false;
    bool m_readOnly = false;

    DbfFile m_file;
    std::vector<Tag> m_tags;
    std::string m_activeName;
    Tag* m_active = nullptr;
    bool m_foreignIndex = false;
    bool m_indexDirty = false;
    // Tag names as the index file had them when last read or written, and
    // what this handle added and deleted since.
    std::vector<std::string> m_tagsAtSync;
    std::vector<std::string> m_tagsAdded;
    std::vector<std::string> m_tagsDeleted;
    std::string m_notice;
    // Tags of a table whose index could not be saved, kept for its next
    // open: name and expression.
    std::vector<std::pair<std::string, std::string>> m_memoryTags;
    std::vector<uint8_t> m_deleted;
    // Records the tags' orders cover: all of the file but while a bulk
    // append runs, whose records are merged in together.
    uint32_t m_tagged = 0;
    // The longest key seen, which bounds what a merge holds.
    size_t m_widestKey = 0;

    Filter m_filter;
    RecordSet m_recordSet;
    bool m_filtered = false;
    EditObserver m_editObserver;
    ChangeLog* m_changeLog = nullptr;
    uint64_t m_foreignChanges = 0;
    bool m_sortedAtOpen = false;

    RecordOrder m_view{true};
    bool m_viewValid = false;
    std::optional<uint32_t> m_current;
    size_t m_pos = 0;
    bool m_bof = true;
    bool m_eof = true;

    State m_state = State::Browse;
    std::vector<char> m_buffer;
    std::vector<char> m_blank;  // a new record's bytes

    bool m_bulk = false;
    std::vector<char> m_pending;  // collected new records, one after the other
    uint32_t m_pendingCount = 0;
    // The new record being filled lies in m_pending after the collected
    // ones instead of in m_buffer: posting it copies nothing.
    bool m_inPending = false;
    uint32_t m_bulkAccepted = 0;
    mutable std::vector<char> m_probeRecord;  // a record ProbedKey reads
    bool m_bulkWhole = false;  // the collected records wait for EndBulkAppend
    int m_stageFd = -1;        // where they wait once there are many
    uint32_t m_staged = 0;
    uint32_t m_bulkWritten = 0;
};

}  // namespace store
