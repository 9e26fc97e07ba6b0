#include "AttachmentStore.h"

#include <algorithm>
#include <cerrno>
#include <unistd.h>
#include <unordered_set>

#include "AttachmentFolderCopy.h"
#include "EngineError.h"
#include "Fingerprint.h"
#include "Table.h"

namespace attachments {
namespace {

const std::vector<Attachment> kNone;
constexpr size_t kLostNamesShown = 20;

std::string Join(const std::string& folder, const std::string& name) {
    return folder.empty() || folder.back() == '/' ? folder + name : folder + "/" + name;
}

std::string BaseName(const std::string& path) {
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

ItemEntry* Find(Manifest& manifest, uint32_t recno) {
    for (ItemEntry& e : manifest.items)
        if (e.record == recno) return &e;
    return nullptr;
}

ItemEntry& Need(Manifest& manifest, uint32_t recno, size_t index) {
    ItemEntry* e = Find(manifest, recno);
    if (!e || index >= e->files.size())
        throw AttachmentError("The attachment was changed by another copy of the program.  Look at the item again.");
    return *e;
}

}  // namespace

// ---------------------------------------------------------------- names and reports

std::string AttachmentFolderFor(const std::string& dataFile) {
    const auto slash = dataFile.rfind('/');
    std::string name = slash == std::string::npos ? dataFile : dataFile.substr(slash + 1);
    const auto dot = name.rfind('.');
    if (dot != std::string::npos && dot > 0) name.resize(dot);
    return (slash == std::string::npos ? std::string() : dataFile.substr(0, slash + 1)) + name + ".files";
}

Kind KindForName(const std::string& fileName) {
    static const std::unordered_set<std::string> kImages = {"jpg", "jpeg", "jpe", "jfif", "png", "gif", "bmp",
                                                            "webp", "tif", "tiff", "pbm", "pgm", "ppm", "xpm",
                                                            "xbm", "heic", "heif", "avif", "ico"};
    return kImages.count(StoredExtension(fileName)) ? Kind::Photo : Kind::Document;
}

std::string LinkReport::Message() const {
    std::string out;
    for (const std::string& p : problems) {
        if (!out.empty()) out += "\n";
        out += p;
    }
    if (!lost.empty()) {
        if (!out.empty()) out += "\n\n";
        out += "The item table was changed by another program, and the attachments of these items could not be "
               "matched to their records again: ";
        for (size_t i = 0; i < lost.size() && i < kLostNamesShown; ++i) {
            if (i > 0) out += ", ";
            out += "\"" + (lost[i].empty() ? std::string("(no name)") : lost[i]) + "\"";
        }
        if (lost.size() > kLostNamesShown) out += " and " + std::to_string(lost.size() - kLostNamesShown) + " more";
        out += ".  They are no longer shown with any item; their files stay in the attachments folder.";
    }
    return out;
}

// ---------------------------------------------------------------- attaching

AttachmentStore::AttachmentStore() = default;

AttachmentStore::~AttachmentStore() { Detach(); }

void AttachmentStore::Detach() {
    if (m_table && !m_readOnly) m_table->SetEditObserver({});
    m_readOnly = false;
    m_table = nullptr;
    m_folder.clear();
    m_manifest = {};
    m_byRecord.clear();
    m_identity = {};
    m_damaged = m_unsaved = false;
    m_packLock.reset();
    m_packed.reset();
    m_pendingReport = {};
}

LinkReport AttachmentStore::Attach(store::Table& table, bool readOnly) {
    Detach();
    m_table = &table;
    m_readOnly = readOnly;
    m_folder = AttachmentFolderFor(table.DataFilePath());
    if (!readOnly)
        table.SetEditObserver([this](uint32_t recno, const char* before, const char* after) { OnEdit(recno, before, after); });
    LinkReport report;
    if (!IsDirectory(m_folder)) return report;
    std::unique_ptr<FolderLock> lock;
    if (!readOnly) {
        try {
            lock = std::make_unique<FolderLock>(m_folder);
            RemoveStaleTemporaries(m_folder);
        } catch (const AttachmentError&) {
            // A folder this user may only read is read without the lock.
        }
    }
    ReadFromDisk(report);
    const bool changed = Relink(report);
    if (lock && (changed || m_damaged || m_unsaved)) WriteBestEffort(report);
    else if (changed) m_unsaved = true;
    return report;
}

LinkReport AttachmentStore::Refresh() {
    LinkReport report = std::move(m_pendingReport);
    m_pendingReport = {};
    if (!m_table || !m_table->IsOpen()) return report;
    if (!IsDirectory(m_folder)) {
        if (!m_manifest.items.empty()) {
            m_manifest = {};
            Index();
        }
        return report;
    }
    std::unique_ptr<FolderLock> lock;
    if (!m_readOnly) {
        try {
            lock = std::make_unique<FolderLock>(m_folder);
        } catch (const AttachmentError&) {
        }
    }
    if (IdentityOf(InFolder(kManifestName)) != m_identity || IsRegularFile(InFolder(kPackedManifestName)))
        ReadFromDisk(report);
    const bool changed = Relink(report);
    if (lock && (changed || m_unsaved)) WriteBestEffort(report);
    return report;
}

void AttachmentStore::NeedAttached() const {
    if (!m_table || !m_table->IsOpen()) throw AttachmentError("No item table is open.");
}

std::string AttachmentStore::InFolder(const std::string& name) const { return Join(m_folder, name); }

std::string AttachmentStore::PathOf(const Attachment& attachment) const { return InFolder(attachment.stored); }

void AttachmentStore::Index() {
    m_byRecord.clear();
    for (size_t i = 0; i < m_manifest.items.size(); ++i)
        if (m_manifest.items[i].record) m_byRecord.emplace(*m_manifest.items[i].record, i);
}

const std::vector<Attachment>& AttachmentStore::Of(uint32_t recno) const {
    const auto it = m_byRecord.find(recno);
    return it == m_byRecord.end() ? kNone : m_manifest.items[it->second].files;
}

size_t AttachmentStore::CountOf(uint32_t recno) const { return Of(recno).size(); }

// ---------------------------------------------------------------- reading and linking

bool AttachmentStore::LinksHold(const Manifest& manifest) const {
    const FingerprintFields fields(m_table->Layout());
    const uint32_t count = m_table->PhysicalCount();
    for (const ItemEntry& e : manifest.items) {
        if (!e.record) continue;
        if (*e.record >= count) return false;
        const Fingerprint now = fields.Of(m_table->ViewOf(*e.record));
        if (now != e.fingerprint && now != e.nextFingerprint) return false;
    }
    return true;
}

void AttachmentStore::ReadFromDisk(LinkReport& report) {
    const std::string path = InFolder(kManifestName);
    m_manifest = {};
    m_damaged = false;
    m_unsaved = false;
    m_identity = IdentityOf(path);
    const std::string prefix = "The list of attachments \"" + path + "\" is damaged.  ";
    try {
        if (const std::optional<std::string> text = ReadWholeFile(path, kMaxManifestBytes)) {
            ManifestReading reading = ReadManifest(*text);
            if (reading.damaged) {
                m_damaged = true;
                for (size_t i = 0; i < reading.problems.size(); ++i)
                    report.problems.push_back((i == 0 ? prefix : std::string()) + reading.problems[i]);
            }
            m_manifest = std::move(reading.manifest);
        }
    } catch (const AttachmentError& e) {
        m_damaged = true;
        report.problems.push_back(e.what());
    }
    // A manifest that took a pack's place keeps the pack's line; it tells
    // nothing any more.
    m_manifest.packedCount.reset();

    // A pack a crash interrupted: its manifest is the one when the packed
    // table took the old one's place, otherwise it goes.
    const std::string packedPath = InFolder(kPackedManifestName);
    if (IsRegularFile(packedPath)) {
        std::optional<Manifest> adopted;
        try {
            if (const std::optional<std::string> text = ReadWholeFile(packedPath, kMaxManifestBytes)) {
                ManifestReading reading = ReadManifest(*text);
                if (!reading.damaged && reading.manifest.packedCount &&
                    *reading.manifest.packedCount == m_table->PhysicalCount() && LinksHold(reading.manifest))
                    adopted = std::move(reading.manifest);
            }
        } catch (const AttachmentError&) {
        }
        if (adopted) {
            adopted->packedCount.reset();
            // The files of the items the pack removed go; files no list
            // named before stay.
            const std::vector<std::string> before = StoredNames(m_manifest);
            m_manifest = std::move(*adopted);
            m_damaged = false;
            if (m_readOnly) {
                m_unsaved = true;
            } else if (::rename(packedPath.c_str(), path.c_str()) == 0) {
                SyncFolder(m_folder);
                m_identity = IdentityOf(path);
                Index();
                CollectGarbage(before);
            } else {
                m_unsaved = true;
            }
        } else if (!m_readOnly) {
            RemoveFile(packedPath);
        }
    }
    Index();
}

bool AttachmentStore::Relink(LinkReport& report) {
    if (!m_table || !m_table->IsOpen() || m_manifest.items.empty()) return false;
    const FingerprintFields fields(m_table->Layout());
    const uint32_t count = m_table->PhysicalCount();
    bool changed = false;
    std::vector<bool> matched(m_manifest.items.size(), false);
    bool anyUnmatched = false;
    for (size_t i = 0; i < m_manifest.items.size(); ++i) {
        ItemEntry& e = m_manifest.items[i];
        if (!e.record) continue;
        if (*e.record < count) {
            const store::RecordView view = m_table->ViewOf(*e.record);
            const Fingerprint now = fields.Of(view);
            if (now == e.fingerprint || now == e.nextFingerprint) {
                matched[i] = true;
                if (now != e.fingerprint || e.nextFingerprint) {
                    // An edit of the identifying fields was written (or not).
                    e.fingerprint = now;
                    e.nextFingerprint.reset();
                    e.label = fields.Label(view);
                    changed = true;
                }
                continue;
            }
        }
        anyUnmatched = true;
    }
    if (!anyUnmatched) {
        if (changed) Index();
        return changed;
    }

    // Numbers and fingerprints disagree: another program rewrote the table.
    // Every item is looked for by its fingerprint.
    std::unordered_map<Fingerprint, int> wanted;
    for (const ItemEntry& e : m_manifest.items) {
        if (!e.record) continue;
        ++wanted[e.fingerprint];
        if (e.nextFingerprint && *e.nextFingerprint != e.fingerprint) ++wanted[*e.nextFingerprint];
    }
    std::unordered_map<Fingerprint, std::vector<uint32_t>> where;
    for (uint32_t r = 0; r < count; ++r) {
        const Fingerprint f = fields.Of(m_table->ViewOf(r));
        if (!wanted.count(f)) continue;
        std::vector<uint32_t>& at = where[f];
        if (at.size() < 2) at.push_back(r);
    }
    // The one record an item can be on, when exactly one can be.
    auto onlyRecord = [&](const ItemEntry& e) -> std::optional<uint32_t> {
        std::vector<uint32_t> candidates;
        for (const std::optional<Fingerprint>& f : {std::optional<Fingerprint>(e.fingerprint), e.nextFingerprint}) {
            if (!f || wanted[*f] != 1) {
                if (f) return std::nullopt;
                continue;
            }
            for (uint32_t r : where[*f])
                if (std::find(candidates.begin(), candidates.end(), r) == candidates.end()) candidates.push_back(r);
        }
        if (candidates.size() != 1) return std::nullopt;
        return candidates.front();
    };
    // Did records move? Only then can an item whose number still fits be on
    // a twin's record; when they did not, the items that fit stay.
    bool moved = false;
    for (size_t i = 0; i < m_manifest.items.size() && !moved; ++i) {
        const ItemEntry& e = m_manifest.items[i];
        if (!e.record || matched[i]) continue;
        const auto only = onlyRecord(e);
        moved = only && *only != *e.record;
    }
    for (size_t i = 0; i < m_manifest.items.size(); ++i) {
        ItemEntry& e = m_manifest.items[i];
        if (!e.record) continue;
        const auto only = onlyRecord(e);
        if (matched[i] && (!moved || only)) continue;
        if (only) {
            if (*only != *e.record) ++report.relinked;
            e.record = *only;
            const store::RecordView view = m_table->ViewOf(*only);
            e.fingerprint = fields.Of(view);
            e.nextFingerprint.reset();
            e.label = fields.Label(view);
        } else {
            report.lost.push_back(e.label);
            e.record.reset();
        }
        changed = true;
    }
    Index();
    return changed;
}

// ---------------------------------------------------------------- writing

std::string AttachmentStore::KeepDamagedCopy() {
    const std::string path = InFolder(kManifestName);
    if (!IsRegularFile(path)) return {};
    for (int n = 1; n < 1000; ++n) {
        const std::string copy = InFolder(n == 1 ? "manifest.bad" : "manifest.bad" + std::to_string(n));
        if (::access(copy.c_str(), F_OK) == 0) continue;
        // The manifest is replaced by a new file: a second name keeps the old one.
        if (::link(path.c_str(), copy.c_str()) != 0) {
            if (errno == EEXIST) continue;
            CopyFile(path, copy);
        }
        SyncFolder(m_folder);
        return copy;
    }
    throw AttachmentError("No name is free for a copy of the damaged list of attachments in \"" + m_folder + "\".");
}

void AttachmentStore::Write(const Manifest& manifest) {
    if (m_damaged) m_keptCopy = KeepDamagedCopy();
    Manifest plain = manifest;
    plain.packedCount.reset();
    const std::string path = InFolder(kManifestName);
    ReplaceFile(path, WriteManifest(plain));
    m_identity = IdentityOf(path);
    m_damaged = false;
}

void AttachmentStore::WriteBestEffort(LinkReport& report) {
    try {
        m_keptCopy.clear();
        Write(m_manifest);
        m_unsaved = false;
        if (!m_keptCopy.empty())
            report.problems.push_back("The list was written again without those lines; the damaged list is kept as \"" +
                                      m_keptCopy + "\".");
    } catch (const AttachmentError&) {
        m_unsaved = true;  // tried again with the next change
    }
}

void AttachmentStore::Change(const std::function<void(Manifest&, std::vector<std::string>&)>& change) {
    NeedAttached();
    if (m_readOnly) throw AttachmentError("The attachments are open for reading only.");
    MakeFolder(m_folder);
    FolderLock lock(m_folder);
    if (IdentityOf(InFolder(kManifestName)) != m_identity) {
        ReadFromDisk(m_pendingReport);
        Relink(m_pendingReport);
    }
    Manifest next = m_manifest;
    std::vector<std::string> created;
    try {
        change(next, created);
        Write(next);
    } catch (...) {
        for (const std::string& name : created) RemoveFile(InFolder(name));
        if (!created.empty()) SyncFolder(m_folder);
        throw;
    }
    m_manifest = std::move(next);
    m_unsaved = false;
    Index();
}

ItemEntry& AttachmentStore::EntryFor(Manifest& manifest, uint32_t recno) {
    if (ItemEntry* e = Find(manifest, recno)) return *e;
    const FingerprintFields fields(m_table->Layout());
    const store::RecordView view = m_table->ViewOf(recno);
    ItemEntry entry;
    entry.record = recno;
    entry.fingerprint = fields.Of(view);
    entry.label = fields.Label(view);
    manifest.items.push_back(std::move(entry));
    return manifest.items.back();
}

void AttachmentStore::Add(uint32_t recno, const std::vector<NewAttachment>& files) {
    NeedAttached();
    if (recno >= m_table->PhysicalCount()) throw AttachmentError("The item is no longer in the table.");
    if (files.empty()) return;
    for (const NewAttachment& f : files)
        if (f.caption.size() > kMaxTextBytes) throw AttachmentError("The caption is too long.");
    Change([&](Manifest& m, std::vector<std::string>& created) {
        ItemEntry& e = EntryFor(m, recno);
        for (const NewAttachment& f : files) {
            const StoredCopy copy = CopyIntoFolder(f.path, m_folder, StoredExtension(f.path));
            if (copy.created) created.push_back(copy.name);
            e.files.push_back({copy.name, f.kind, BaseName(f.path), f.caption});
        }
        SyncFolder(m_folder);
    });
}

void AttachmentStore::Remove(uint32_t recno, size_t index) {
    std::string stored;
    Change([&](Manifest& m, std::vector<std::string>&) {
        ItemEntry& e = Need(m, recno, index);
        stored = e.files[index].stored;
        e.files.erase(e.files.begin() + std::ptrdiff_t(index));
        if (e.files.empty())
            m.items.erase(m.items.begin() + (&e - m.items.data()));
    });
    if (!Referenced(stored)) RemoveStored(stored);
}

void AttachmentStore::SetCaption(uint32_t recno, size_t index, const std::string& caption) {
    if (caption.size() > kMaxTextBytes) throw AttachmentError("The caption is too long.");
    Change([&](Manifest& m, std::vector<std::string>&) { Need(m, recno, index).files[index].caption = caption; });
}

void AttachmentStore::SetKind(uint32_t recno, size_t index, Kind kind) {
    Change([&](Manifest& m, std::vector<std::string>&) { Need(m, recno, index).files[index].kind = kind; });
}

void AttachmentStore::Move(uint32_t recno, size_t from, size_t to) {
    Change([&](Manifest& m, std::vector<std::string>&) {
        ItemEntry& e = Need(m, recno, from);
        if (to >= e.files.size()) throw AttachmentError("The attachment cannot move there.");
        Attachment moving = std::move(e.files[from]);
        e.files.erase(e.files.begin() + std::ptrdiff_t(from));
        e.files.insert(e.files.begin() + std::ptrdiff_t(to), std::move(moving));
    });
}

// ---------------------------------------------------------------- following edits

void AttachmentStore::OnEdit(uint32_t recno, const char* /*before*/, const char* after) {
    const auto it = m_byRecord.find(recno);
    if (it == m_byRecord.end() || !m_table) return;
    const FingerprintFields fields(m_table->Layout());
    const Fingerprint now = fields.Of(after);
    const std::string label = fields.Label(store::RecordView(after, m_table->Layout()));
    {
        const ItemEntry& e = m_manifest.items[it->second];
        if (now == e.fingerprint && !e.nextFingerprint) return;
    }
    // The manifest accepts both fingerprints before the record changes, so
    // that a crash between the two writes loses no link.
    try {
        Change([&](Manifest& m, std::vector<std::string>&) {
            if (ItemEntry* e = Find(m, recno)) {
                e->nextFingerprint = now;
                e->label = label;
            }
        });
    } catch (const std::exception&) {
        ItemEntry& e = m_manifest.items[it->second];
        e.nextFingerprint = now;
        e.label = label;
        m_unsaved = true;
    }
}

// ---------------------------------------------------------------- removing files

bool AttachmentStore::Referenced(const std::string& stored) const {
    for (const ItemEntry& e : m_manifest.items)
        for (const Attachment& a : e.files)
            if (a.stored == stored) return true;
    return false;
}

void AttachmentStore::RemoveStored(const std::string& stored) {
    RemoveFile(InFolder(stored));
    const std::string thumbs = InFolder(kThumbnailFolder);
    const std::string hash = stored.substr(0, 64);
    for (const std::string& name : FolderNames(thumbs))
        if (name.compare(0, 64, hash) == 0) RemoveFile(Join(thumbs, name));
}

void AttachmentStore::CollectGarbage(const std::vector<std::string>& candidates) {
    std::unordered_set<std::string> used;
    for (const ItemEntry& e : m_manifest.items)
        for (const Attachment& a : e.files) used.insert(a.stored);
    bool removed = false;
    for (const std::string& name : candidates) {
        if (!ValidStoredName(name) || used.count(name) || !IsRegularFile(InFolder(name))) continue;
        RemoveStored(name);
        removed = true;
    }
    if (removed) SyncFolder(m_folder);
}

std::vector<std::string> StoredNames(const Manifest& manifest) {
    std::vector<std::string> names;
    std::unordered_set<std::string> seen;
    for (const ItemEntry& e : manifest.items)
        for (const Attachment& a : e.files)
            if (seen.insert(a.stored).second) names.push_back(a.stored);
    return names;
}

std::vector<std::string> AttachmentStore::Unreferenced() const {
    std::vector<std::string> out;
    if (m_folder.empty()) return out;
    for (const std::string& name : FolderNames(m_folder))
        if (ValidStoredName(name) && !Referenced(name) && IsRegularFile(InFolder(name))) out.push_back(name);
    std::sort(out.begin(), out.end());
    return out;
}

AttachmentStore::PackPreview AttachmentStore::PreviewPack() const {
    PackPreview preview;
    if (!m_table || !m_table->IsOpen()) return preview;
    std::unordered_set<std::string> kept, dropped;
    const uint32_t count = m_table->PhysicalCount();
    for (const ItemEntry& e : m_manifest.items) {
        const bool deleted = e.record && *e.record < count && m_table->ViewOf(*e.record).IsDeleted();
        for (const Attachment& a : e.files) (deleted ? dropped : kept).insert(a.stored);
    }
    for (const std::string& name : dropped)
        if (!kept.count(name) && IsRegularFile(InFolder(name))) ++preview.filesOfDeleted;
    preview.unreferenced = Unreferenced().size();
    return preview;
}

// ---------------------------------------------------------------- recovering

AttachmentStore::Recovery AttachmentStore::RecoverAttachments() {
    NeedAttached();
    Recovery recovery;
    // Every list kept aside, with the folder its files may still be in.
    struct Listed {
        ItemEntry entry;
        std::vector<std::string> folders;
    };
    std::vector<Listed> listed;
    std::unordered_map<Fingerprint, size_t> byFingerprint;
    auto readList = [&](const std::string& path, const std::string& folder) {
        try {
            const std::optional<std::string> text = ReadWholeFile(path, kMaxManifestBytes);
            if (!text) return;
            for (const ItemEntry& e : ReadManifest(*text).manifest.items) {
                // The same item in several lists is one item with the files of all.
                const auto it = byFingerprint.find(e.fingerprint);
                if (it == byFingerprint.end()) {
                    byFingerprint.emplace(e.fingerprint, listed.size());
                    listed.push_back({e, {folder}});
                    continue;
                }
                Listed& l = listed[it->second];
                for (const Attachment& a : e.files)
                    if (std::none_of(l.entry.files.begin(), l.entry.files.end(),
                                     [&](const Attachment& b) { return b.stored == a.stored; }))
                        l.entry.files.push_back(a);
                if (std::find(l.folders.begin(), l.folders.end(), folder) == l.folders.end()) l.folders.push_back(folder);
            }
        } catch (const AttachmentError&) {
            // A list that cannot be read gives nothing back.
        }
    };
    for (const std::string& name : FolderNames(m_folder)) {
        const std::string path = InFolder(name);
        if (name.rfind("manifest.bad", 0) == 0) {
            readList(path, m_folder);
        } else if (IsReplacedFolderName(name) && IsDirectory(path)) {
            for (const std::string& inner : FolderNames(path))
                if (inner == kManifestName || inner.rfind("manifest.bad", 0) == 0) readList(Join(path, inner), path);
        }
    }
    if (listed.empty()) {
        recovery.unreferenced = Unreferenced().size();
        return recovery;
    }
    Manifest all;
    for (const Listed& l : listed) all.items.push_back(l.entry);
    std::vector<ItemEntry> left;
    const Manifest found = RelinkToRecords(all, m_table->Layout(), m_table->PhysicalCount(),
                                           [this](uint32_t r) { return m_table->ViewOf(r); }, &left);
    recovery.unmatched = left.size();
    Change([&](Manifest& m, std::vector<std::string>& created) {
        for (const ItemEntry& e : found.items) {
            const Listed& l = listed[byFingerprint.at(e.fingerprint)];
            size_t given = 0;
            for (const Attachment& a : e.files) {
                ItemEntry* now = Find(m, *e.record);
                if (now && std::any_of(now->files.begin(), now->files.end(),
                                       [&](const Attachment& b) { return b.stored == a.stored; }))
                    continue;
                if (!IsRegularFile(InFolder(a.stored))) {
                    const auto from = std::find_if(l.folders.begin(), l.folders.end(), [&](const std::string& f) {
                        return IsRegularFile(Join(f, a.stored));
                    });
                    if (from == l.folders.end()) continue;  // nowhere to be found
                    const std::string source = Join(*from, a.stored), target = InFolder(a.stored);
                    if (::link(source.c_str(), target.c_str()) != 0) CopyFile(source, target);
                    created.push_back(a.stored);
                }
                EntryFor(m, *e.record).files.push_back(a);
                ++given;
            }
            if (given > 0) {
                ++recovery.items;
                recovery.files += given;
            }
        }
        SyncFolder(m_folder);
    });
    recovery.unreferenced = Unreferenced().size();
    return recovery;
}

// ---------------------------------------------------------------- pack

store::PackSteps AttachmentStore::PackSteps(bool removeUnreferenced) {
    m_packRemovesUnreferenced = removeUnreferenced;
    store::PackSteps steps;
    steps.beforeReplace = [this](const std::vector<uint32_t>& kept) {
        if (!m_table || !IsDirectory(m_folder)) return;
        try {
            m_packLock = std::make_unique<FolderLock>(m_folder);
            if (IdentityOf(InFolder(kManifestName)) != m_identity) ReadFromDisk(m_pendingReport);
            Relink(m_pendingReport);
            Manifest packed;
            for (const ItemEntry& e : m_manifest.items) {
                ItemEntry moved = e;
                if (e.record) {
                    const auto it = std::lower_bound(kept.begin(), kept.end(), *e.record);
                    if (it == kept.end() || *it != *e.record) continue;  // a removed record's attachments go
                    moved.record = uint32_t(it - kept.begin());
                }
                packed.items.push_back(std::move(moved));
            }
            packed.packedCount = uint32_t(kept.size());
            if (m_damaged) m_keptCopy = KeepDamagedCopy();
            ReplaceFile(InFolder(kPackedManifestName), WriteManifest(packed));
            m_packed = std::move(packed);
        } catch (const AttachmentError& e) {
            m_packLock.reset();
            throw store::EngineError(std::string("The list of attachments could not be written for the pack.  ") +
                                     e.what());
        }
    };
    steps.afterReplace = [this] {
        if (!m_packed) return;
        try {
            const std::string path = InFolder(kManifestName);
            const bool renamed = ::rename(InFolder(kPackedManifestName).c_str(), path.c_str()) == 0;
            if (renamed) SyncFolder(m_folder);
            // What the list named before the pack may go now; files no
            // list named stay unless the user chose to remove them.
            std::vector<std::string> candidates = StoredNames(m_manifest);
            if (m_packRemovesUnreferenced) {
                const std::vector<std::string> loose = Unreferenced();
                candidates.insert(candidates.end(), loose.begin(), loose.end());
            }
            m_manifest = std::move(*m_packed);
            m_manifest.packedCount.reset();
            m_identity = IdentityOf(path);
            m_damaged = false;
            m_unsaved = !renamed;
            Index();
            if (renamed) CollectGarbage(candidates);
        } catch (...) {
            // The next attach finishes what is left.
        }
        m_packed.reset();
        m_packLock.reset();
    };
    return steps;
}

void AttachmentStore::PackAbandoned() {
    if (m_packed && m_table && m_table->IsOpen()) {
        // Whether the packed table took the old one's place decides which
        // manifest is the one, as after a crash.
        try {
            ReadFromDisk(m_pendingReport);
            Relink(m_pendingReport);
        } catch (...) {
        }
    }
    m_packed.reset();
    m_packLock.reset();
}

void PackTable(store::Table& table, AttachmentStore* store, bool removeUnreferenced) {
    if (!store || !store->Attached()) {
        table.Pack();
        return;
    }
    const store::PackSteps steps = store->PackSteps(removeUnreferenced);
    try {
        table.Pack(&steps);
    } catch (...) {
        store->PackAbandoned();
        throw;
    }
}

}  // namespace attachments
