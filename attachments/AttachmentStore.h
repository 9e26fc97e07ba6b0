#pragma once
// The photos, receipts and documents of an item table's items. They live in
// a folder beside the data file named after it ("MASTER.DBF" keeps them in
// "MASTER.files/"), never inside the table, so other programs open the
// table unchanged. Each file is copied in once under the hash of its
// content (identical files are stored once); the manifest (Manifest.h)
// lists each item's files in order.
//
// An item is found by its record number together with the fingerprint of
// its identifying fields. While the two agree the number is trusted. When
// they disagree (another program rewrote the table) the item is found again
// by its fingerprint where exactly one record has it; otherwise its link is
// lost and the user is told, once. A lost item's files stay in the folder;
// one item's files are never shown on another.
//
// Edits of an identifying field are followed through the table's edit
// observer, before the record is written. A pack rewrites the manifest
// with the new numbers in step with the data file (PackTable): the new
// manifest is written under a name of its own before the packed table
// replaces the old one, and takes the manifest's place after; whichever
// step a crash interrupts, the next attach finds the manifest that fits.
// Every change takes the folder's lock and reads the manifest again when
// another copy of the program changed it.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "DbfFile.h"
#include "FolderFiles.h"
#include "Manifest.h"

namespace store {
class Table;
}

namespace attachments {

struct NewAttachment {
    std::string path;  // the file to copy in
    Kind kind = Kind::Photo;
    std::string caption;
};

// What reading the manifest and checking the links found, for the user.
struct LinkReport {
    std::vector<std::string> problems;  // lines of the manifest left out, a copy kept
    std::vector<std::string> lost;      // names of the items whose link was lost now
    int relinked = 0;                   // items found again at another record
    bool Empty() const { return problems.empty() && lost.empty(); }
    // One message for all of it; empty when there is nothing to tell.
    std::string Message() const;
};

// The folder beside a data file: its name up to the last "." and ".files".
std::string AttachmentFolderFor(const std::string& dataFile);
// Photo for the usual image extensions, document otherwise.
Kind KindForName(const std::string& fileName);

class AttachmentStore {
public:
    AttachmentStore();
    ~AttachmentStore();
    AttachmentStore(const AttachmentStore&) = delete;
    AttachmentStore& operator=(const AttachmentStore&) = delete;

    // Takes the attachments of the table (open, kept open while attached):
    // reads the manifest, finishes a pack a crash interrupted, checks every
    // link and relinks what moved, and follows the table's edits from now
    // on. What the user should hear comes back, this once.
    // readOnly: for commands that only read (export, report, check): the
    // folder is never written, whatever was found; relinks and a pack's
    // list are used in memory only, and every change is refused.
    LinkReport Attach(store::Table& table, bool readOnly = false);
    void Detach();
    bool Attached() const { return m_table != nullptr; }
    const std::string& Folder() const { return m_folder; }

    // Reads the manifest again when another copy of the program changed it
    // and checks the links against the table as it is now.
    LinkReport Refresh();

    const Manifest& Current() const { return m_manifest; }
    // An item's attachments in order (empty when it has none).
    const std::vector<Attachment>& Of(uint32_t recno) const;
    size_t CountOf(uint32_t recno) const;
    std::string PathOf(const Attachment& attachment) const;

    // Changes, each whole or not at all: on failure AttachmentError says
    // why and the folder and the manifest are as they were. The record
    // must exist.
    void Add(uint32_t recno, const std::vector<NewAttachment>& files);
    void Remove(uint32_t recno, size_t index);
    void SetCaption(uint32_t recno, size_t index, const std::string& caption);
    void SetKind(uint32_t recno, size_t index, Kind kind);
    void Move(uint32_t recno, size_t from, size_t to);

    // What a pack would remove: the files of the deleted items that no
    // other item has, and the files in the folder that no item names at all
    // (left by a damaged list or an interrupted command; a pack removes
    // these only when told to).
    struct PackPreview {
        size_t filesOfDeleted = 0;
        size_t unreferenced = 0;
    };
    PackPreview PreviewPack() const;
    // Files in the folder that no item names.
    std::vector<std::string> Unreferenced() const;

    // For PackTable: the steps that keep the manifest in step with a pack,
    // and the clean-up when the pack failed before its end.
    store::PackSteps PackSteps(bool removeUnreferenced);
    void PackAbandoned();

    // Gives files back to the items they belonged to: the lists kept from
    // damaged lists ("manifest.bad") and from restores (the dated folders)
    // name items by their fingerprints; every such item found in exactly
    // one record of the table gets its files again (those it lacks), copied
    // back into the folder. Whole or not at all.
    struct Recovery {
        size_t items = 0;       // items that got files back
        size_t files = 0;       // attachments given back
        size_t unmatched = 0;   // listed items no record fits (or several do)
        size_t unreferenced = 0;  // files that still belong to no item afterwards
    };
    Recovery RecoverAttachments();

private:
    void Index();
    // Reads manifest (and a pack's manifest) from the disk into memory.
    void ReadFromDisk(LinkReport& report);
    // Checks every link against the table; true when the manifest changed.
    bool Relink(LinkReport& report);
    // Whether every linked item of the manifest is on its record.
    bool LinksHold(const Manifest& manifest) const;
    void Write(const Manifest& manifest);
    // Writes the manifest when the folder lets it; otherwise it is written
    // with the next change.
    void WriteBestEffort(LinkReport& report);
    // Keeps the damaged manifest under a name of its own; returns the name.
    std::string KeepDamagedCopy();
    // Takes the lock, reads again what another copy changed, runs change on
    // a copy of the manifest and writes it; created names are removed
    // again when it fails.
    void Change(const std::function<void(Manifest&, std::vector<std::string>& created)>& change);
    ItemEntry& EntryFor(Manifest& manifest, uint32_t recno);
    void NeedAttached() const;
    void OnEdit(uint32_t recno, const char* before, const char* after);
    // Removes those of the stored files (and their thumbnails) that no
    // entry names now; other files no entry names stay.
    void CollectGarbage(const std::vector<std::string>& candidates);
    bool Referenced(const std::string& stored) const;
    void RemoveStored(const std::string& stored);
    std::string InFolder(const std::string& name) const;

    store::Table* m_table = nullptr;
    std::string m_folder;
    Manifest m_manifest;
    std::unordered_map<uint32_t, size_t> m_byRecord;
    FileIdentity m_identity;
    // The file on disk held lines the manifest in memory lacks: a copy is
    // kept before it is written over.
    bool m_damaged = false;
    // A change that could not be written yet (a folder that cannot be written).
    bool m_unsaved = false;
    bool m_readOnly = false;
    bool m_packRemovesUnreferenced = false;
    // Between the two steps of a pack.
    std::unique_ptr<FolderLock> m_packLock;
    std::optional<Manifest> m_packed;
    // What a change or a pack found on reading the manifest again, told by
    // the next Refresh.
    LinkReport m_pendingReport;
    std::string m_keptCopy;
};

// Packs the table (open for sole use) with its attachments following:
// those of removed records go, the others take the new numbers. Files no
// item names stay unless removeUnreferenced. store may be nullptr or
// detached: then the table alone is packed.
void PackTable(store::Table& table, AttachmentStore* store, bool removeUnreferenced = false);

// Names stored files in a list of attachments.
std::vector<std::string> StoredNames(const Manifest& manifest);

}  // namespace attachments
