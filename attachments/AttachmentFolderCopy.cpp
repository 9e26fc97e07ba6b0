#include "AttachmentFolderCopy.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <ctime>
#include <fcntl.h>
#include <set>
#include <sys/stat.h>
#include <unistd.h>
#include <unordered_map>

#include "AttachmentStore.h"
#include "DbfFile.h"
#include "Fingerprint.h"
#include "FolderFiles.h"
#include "ReplacementSet.h"

namespace attachments {
namespace {

constexpr const char* kDamagedCopyPrefix = "manifest.bad";

std::string Join(const std::string& folder, const std::string& name) {
    return folder.empty() || folder.back() == '/' ? folder + name : folder + "/" + name;
}

std::string ParentOf(const std::string& path) {
    std::string p = path;
    while (p.size() > 1 && p.back() == '/') p.pop_back();
    const auto slash = p.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : p.substr(0, slash);
}

bool IsLink(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode);
}

bool IsRealFolder(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool IsDamagedCopyName(const std::string& name) { return name.rfind(kDamagedCopyPrefix, 0) == 0; }

// The files a folder copy takes: the lists (and kept copies of damaged
// ones) and the stored files.
bool Copied(const std::string& name) {
    return name == kManifestName || name == kPackedManifestName || IsDamagedCopyName(name) || ValidStoredName(name);
}


std::string Today() {
    const std::time_t now = std::time(nullptr);
    std::tm local {};
    ::localtime_r(&now, &local);
    char text[16];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d", local.tm_year + 1900, local.tm_mon + 1, local.tm_mday);
    return text;
}

// A name for a folder inside folder that is not taken: name, name-2, ...
std::string FreeName(const std::string& folder, const std::string& name) {
    std::string candidate = name;
    for (int n = 2; files::Exists(Join(folder, candidate)) && n < 10000; ++n) candidate = name + "-" + std::to_string(n);
    return candidate;
}

std::string Quoted(const std::string& text) { return "\"" + (text.empty() ? std::string("(no name)") : text) + "\""; }

}  // namespace

bool IsReplacedFolderName(const std::string& name) {
    const std::string prefix = kReplacedPrefix;
    return name.size() > prefix.size() && name.compare(0, prefix.size(), prefix) == 0 &&
           name.find_first_not_of("0123456789-", prefix.size()) == std::string::npos;
}

AttachmentFolderCopy::~AttachmentFolderCopy() { Discard(); }

uint64_t AttachmentFolderCopy::SizeOf(const std::string& folder) {
    uint64_t total = 0;
    if (!IsDirectory(folder)) return 0;
    for (const std::string& name : FolderNames(folder)) {
        const std::string path = Join(folder, name);
        if (Copied(name)) {
            total += FileSize(path).value_or(0);
        } else if (IsReplacedFolderName(name) && IsRealFolder(path)) {
            for (const std::string& inner : FolderNames(path)) total += FileSize(Join(path, inner)).value_or(0);
        }
    }
    return total;
}

void AttachmentFolderCopy::Reset(const std::string& target) {
    Discard();
    m_target = target;
    m_staging = true;
    m_cancelled = false;
    m_refused = false;
    m_copied = 0;
    m_files = 0;
    m_skipped.clear();
    m_kept.clear();
}

bool AttachmentFolderCopy::Prepare(const std::string& target, std::string* reason) {
    Reset(target);
    const std::string parent = ParentOf(target);
    // What a killed copy left beside the target goes first.
    files::RemoveStaleTemporaries(parent);
    m_staged = Join(parent, TemporaryName("stage"));
    if (::mkdir(m_staged.c_str(), 0755) != 0) {
        *reason = SystemMessage("Cannot make the folder", m_staged, errno);
        m_staged.clear();
        return false;
    }
    return true;
}

bool AttachmentFolderCopy::CopyOne(const std::string& from, const std::string& name, const CopyProgress& progress,
                                   std::string* reason, bool* copied) {
    if (copied) *copied = false;
    const int fd = OpenInFolder(from);
    if (fd < 0) {
        const int error = errno;
        if (error == ELOOP || error == EINVAL) {
            m_skipped.push_back(UnreadableReason(from, error) + "  It was not copied.");
            return true;
        }
        *reason = UnreadableReason(from, error);
        return false;
    }
    ::close(fd);
    try {
        CopyFile(from, Join(m_staged, name));
    } catch (const AttachmentError& e) {
        *reason = e.what();
        return false;
    }
    if (copied) *copied = true;
    m_copied += FileSize(Join(m_staged, name)).value_or(0);
    ++m_files;
    if (progress && !progress(m_copied)) {
        m_cancelled = true;
        return false;
    }
    return true;
}

bool AttachmentFolderCopy::LinkOne(const std::string& from, const std::string& name, std::string* reason) {
    const std::string to = Join(m_staged, name);
    if (!IsRegularFile(from)) return true;
    if (::link(from.c_str(), to.c_str()) != 0) {
        try {
            CopyFile(from, to);  // a file system without hard links
        } catch (const AttachmentError& e) {
            *reason = e.what();
            return false;
        }
    }
    ++m_files;
    return true;
}

bool AttachmentFolderCopy::CarryReplacedFolders(const std::string& source, bool link, const CopyProgress& progress,
                                                std::string* reason) {
    for (const std::string& name : FolderNames(source)) {
        const std::string from = Join(source, name);
        if (!IsReplacedFolderName(name)) continue;
        if (!IsRealFolder(from)) {
            if (IsLink(from)) m_skipped.push_back(UnreadableReason(from, ELOOP) + "  It was not copied.");
            continue;
        }
        const std::string inside = FreeName(m_staged, name);
        if (::mkdir(Join(m_staged, inside).c_str(), 0755) != 0) {
            *reason = SystemMessage("Cannot make the folder", Join(m_staged, inside), errno);
            return false;
        }
        for (const std::string& file : FolderNames(from)) {
            const std::string path = Join(from, file);
            if (IsRealFolder(path)) continue;
            const bool done = link ? LinkOne(path, inside + "/" + file, reason)
                                   : CopyOne(path, inside + "/" + file, progress, reason);
            if (!done) return false;
        }
        SyncFolder(Join(m_staged, inside));
    }
    return true;
}

bool AttachmentFolderCopy::KeepReplaced(const std::string& live, std::string* reason) {
    std::vector<std::string> keep;
    for (const std::string& name : FolderNames(live))
        if ((ValidStoredName(name) || IsDamagedCopyName(name)) && IsRegularFile(Join(live, name)) &&
            !files::Exists(Join(m_staged, name)))
            keep.push_back(name);
    if (keep.empty()) return true;
    const std::string inside = FreeName(m_staged, kReplacedPrefix + Today());
    if (::mkdir(Join(m_staged, inside).c_str(), 0755) != 0) {
        *reason = SystemMessage("Cannot make the folder", Join(m_staged, inside), errno);
        return false;
    }
    // The live list goes with them: it tells which item each belonged to.
    if (IsRegularFile(Join(live, kManifestName))) keep.push_back(kManifestName);
    for (const std::string& name : keep)
        if (!LinkOne(Join(live, name), inside + "/" + name, reason)) return false;
    SyncFolder(Join(m_staged, inside));
    m_kept = Join(m_target, inside);
    return true;
}

bool AttachmentFolderCopy::StageFolder(const std::string& source, const std::string& target,
                                       const CopyProgress& progress, std::string* reason) {
    if (!IsDirectory(source)) {
        Reset(target);
        return true;
    }
    if (!Prepare(target, reason)) return false;
    for (const std::string& name : FolderNames(source)) {
        if (!Copied(name)) continue;
        if (!CopyOne(Join(source, name), name, progress, reason)) {
            Discard();
            return false;
        }
    }
    if (!CarryReplacedFolders(source, false, progress, reason)) {
        Discard();
        return false;
    }
    // A backup that lacks a listed file cannot give it back: say so now.
    try {
        if (const auto text = ReadWholeFile(Join(source, kManifestName), kMaxManifestBytes)) {
            std::set<std::string> told;
            for (const ItemEntry& e : ReadManifest(*text).manifest.items)
                for (const Attachment& a : e.files)
                    if (!IsRegularFile(Join(m_staged, a.stored)) && told.insert(a.stored).second)
                        m_skipped.push_back("The file " + Quoted(a.original) + " of " + Quoted(e.label) + " (" +
                                            a.stored + ") is not in the attachments folder \"" + source +
                                            "\"; the backup does not hold it.");
        }
    } catch (const AttachmentError&) {
        // A list that cannot be read is copied as it is; the check tells.
    }
    SyncFolder(m_staged);
    return true;
}

bool AttachmentFolderCopy::StageRestore(const std::string& source, const std::string& target,
                                        const store::DbfFile& restoredTable, const CopyProgress& progress,
                                        std::string* reason) {
    const bool sourceThere = IsDirectory(source), liveThere = IsDirectory(target);
    if (!sourceThere && !liveThere) {
        Reset(target);
        m_staging = false;  // nothing there, nothing to put there
        return true;
    }
    std::optional<std::string> listText;
    if (sourceThere) {
        try {
            listText = ReadWholeFile(Join(source, kManifestName), kMaxManifestBytes);
        } catch (const AttachmentError& e) {
            *reason = e.what();
            return false;
        }
    }
    if (!Prepare(target, reason)) return false;
    auto fail = [&] {
        Discard();
        return false;
    };
    if (sourceThere) {
        for (const std::string& name : FolderNames(source))
            if (Copied(name) && !CopyOne(Join(source, name), name, progress, reason)) return fail();
    }
    if (listText) {
        // A listed file the backup lacks is taken from the live folder
        // (stored names are contents: the same name holds the same bytes);
        // one that is in neither refuses the restore before anything changes.
        std::vector<std::string> missing;
        for (const ItemEntry& e : ReadManifest(*listText).manifest.items)
            for (const Attachment& a : e.files) {
                if (IsRegularFile(Join(m_staged, a.stored))) continue;
                if (liveThere && IsRegularFile(Join(target, a.stored))) {
                    if (!LinkOne(Join(target, a.stored), a.stored, reason)) return fail();
                    continue;
                }
                missing.push_back("the file " + Quoted(a.original) + " of " + Quoted(e.label) + " (" + a.stored + ")");
            }
        if (!missing.empty()) {
            m_refused = true;
            *reason = "The backup's list of attachments names " + std::to_string(missing.size()) +
                      (missing.size() == 1 ? " file" : " files") + " that neither the backup nor the attachments "
                      "folder \"" + target + "\" holds, " + missing.front() +
                      (missing.size() > 1 ? " among them" : "") + ".  Nothing was restored.";
            return fail();
        }
    } else if (liveThere) {
        // A backup of the data file alone (made by hand, or by an older
        // version): the live items the restored table still holds keep
        // their attachments.
        try {
            if (const auto text = ReadWholeFile(Join(target, kManifestName), kMaxManifestBytes)) {
                std::vector<ItemEntry> left;
                const Manifest kept = RelinkToTable(ReadManifest(*text).manifest, restoredTable, &left);
                for (const ItemEntry& e : kept.items)
                    for (const Attachment& a : e.files)
                        if (!files::Exists(Join(m_staged, a.stored)) && !LinkOne(Join(target, a.stored), a.stored, reason))
                            return fail();
                if (!kept.items.empty()) ReplaceFile(Join(m_staged, kManifestName), WriteManifest(kept));
            }
        } catch (const AttachmentError&) {
            // A live list that cannot be read relinks nothing; its files
            // are kept below all the same.
        }
    }
    if (sourceThere && !CarryReplacedFolders(source, false, progress, reason)) return fail();
    if (liveThere && (!CarryReplacedFolders(target, true, progress, reason) || !KeepReplaced(target, reason)))
        return fail();
    SyncFolder(m_staged);
    return true;
}

bool AttachmentFolderCopy::StageRecords(const AttachmentStore& store, const std::vector<uint32_t>& records,
                                        const std::string& target, const CopyProgress& progress,
                                        std::string* reason) {
    Manifest manifest;
    for (size_t k = 0; k < records.size(); ++k) {
        const std::vector<Attachment>& files = store.Of(records[k]);
        if (files.empty()) continue;
        for (const ItemEntry& e : store.Current().items) {
            if (e.record != records[k]) continue;
            ItemEntry copy = e;
            copy.record = uint32_t(k);
            copy.nextFingerprint.reset();
            manifest.items.push_back(std::move(copy));
        }
    }
    if (manifest.items.empty()) {
        // Nothing to copy: an older folder of that name does not belong to
        // the new file and goes.
        Reset(target);
        return true;
    }
    if (!Prepare(target, reason)) return false;
    std::set<std::string> done, copied;
    for (const ItemEntry& e : manifest.items) {
        for (const Attachment& a : e.files) {
            if (!done.insert(a.stored).second) continue;
            bool made = false;
            if (!CopyOne(store.PathOf(a), a.stored, progress, reason, &made)) {
                Discard();
                return false;
            }
            if (made) copied.insert(a.stored);
        }
    }
    // What could not be copied is not listed in the copy either.
    for (ItemEntry& e : manifest.items)
        e.files.erase(std::remove_if(e.files.begin(), e.files.end(),
                                     [&](const Attachment& a) { return !copied.count(a.stored); }),
                      e.files.end());
    manifest.items.erase(std::remove_if(manifest.items.begin(), manifest.items.end(),
                                        [](const ItemEntry& e) { return e.files.empty(); }),
                         manifest.items.end());
    try {
        ReplaceFile(Join(m_staged, kManifestName), WriteManifest(manifest));
    } catch (const AttachmentError& e) {
        *reason = e.what();
        Discard();
        return false;
    }
    SyncFolder(m_staged);
    return true;
}

void AttachmentFolderCopy::AddTo(files::ReplacementSet& set) {
    if (!m_staging) return;
    if (m_staged.empty()) set.RemoveFolder(m_target);
    else set.ReplaceFolder(m_staged, m_target);
    m_staged.clear();
    m_staging = false;
}

bool AttachmentFolderCopy::Commit(std::string* reason) {
    files::ReplacementSet set(ParentOf(m_target));
    AddTo(set);
    return set.Commit(reason);
}

void AttachmentFolderCopy::Discard() {
    if (!m_staged.empty()) files::RemoveTree(m_staged);
    m_staged.clear();
    m_staging = false;
}

Manifest RelinkToRecords(const Manifest& manifest, const store::RecordLayout& layout, uint32_t count,
                         const std::function<store::RecordView(uint32_t)>& viewOf, std::vector<ItemEntry>* left) {
    const FingerprintFields fields(layout);
    std::unordered_map<Fingerprint, int> wanted;
    for (const ItemEntry& e : manifest.items) {
        ++wanted[e.fingerprint];
        if (e.nextFingerprint && *e.nextFingerprint != e.fingerprint) ++wanted[*e.nextFingerprint];
    }
    std::unordered_map<Fingerprint, std::vector<uint32_t>> where;
    for (uint32_t r = 0; r < count; ++r) {
        const store::RecordView view = viewOf(r);
        if (view.IsDeleted()) continue;
        const Fingerprint f = fields.Of(view);
        if (!wanted.count(f)) continue;
        std::vector<uint32_t>& at = where[f];
        if (at.size() < 2) at.push_back(r);
    }
    Manifest kept;
    for (const ItemEntry& e : manifest.items) {
        std::optional<uint32_t> only;
        bool ambiguous = false;
        for (const std::optional<Fingerprint>& f : {std::optional<Fingerprint>(e.fingerprint), e.nextFingerprint}) {
            if (!f) continue;
            const auto it = where.find(*f);
            if (it == where.end()) continue;
            if (wanted[*f] != 1 || it->second.size() != 1 || (only && *only != it->second.front())) ambiguous = true;
            else only = it->second.front();
        }
        if (!only || ambiguous) {
            if (left) left->push_back(e);
            continue;
        }
        ItemEntry moved = e;
        const store::RecordView view = viewOf(*only);
        moved.record = *only;
        moved.fingerprint = fields.Of(view);
        moved.nextFingerprint.reset();
        moved.label = fields.Label(view);
        kept.items.push_back(std::move(moved));
    }
    return kept;
}

Manifest RelinkToTable(const Manifest& manifest, const store::DbfFile& table, std::vector<ItemEntry>* left) {
    return RelinkToRecords(manifest, table.Layout(), table.RecordCount(),
                           [&](uint32_t r) { return store::RecordView(table.Record(r), table.Layout()); }, left);
}

}  // namespace attachments
