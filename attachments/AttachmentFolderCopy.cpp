#include "AttachmentFolderCopy.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "AttachmentStore.h"
#include "FolderFiles.h"

namespace attachments {
namespace {

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

bool Exists(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0;
}

// The files a folder copy takes: the manifests and the stored files.
bool Copied(const std::string& name) {
    return name == kManifestName || name == kPackedManifestName || ValidStoredName(name);
}

// Staged folders of processes that no longer run, beside the target.
void RemoveStaleStaging(const std::string& parent) {
    for (const std::string& name : FolderNames(parent)) {
        if (name.rfind(".tmp", 0) != 0 || name.size() < 7 || name.compare(name.size() - 6, 6, ".stage") != 0) continue;
        const size_t dot = name.find('.', 4);
        if (dot == std::string::npos || dot == 4) continue;
        const std::string digits = name.substr(4, dot - 4);
        if (digits.size() > 9 || digits.find_first_not_of("0123456789") != std::string::npos) continue;
        const pid_t pid = pid_t(std::atol(digits.c_str()));
        if (pid == ::getpid() || pid <= 0 || ::kill(pid, 0) == 0 || errno != ESRCH) continue;
        RemoveFolderTree(Join(parent, name));
    }
}

}  // namespace

void RemoveFolderTree(const std::string& folder) {
    if (folder.empty() || IsLink(folder)) {
        ::unlink(folder.c_str());
        return;
    }
    for (const std::string& name : FolderNames(folder)) {
        const std::string path = Join(folder, name);
        struct stat st {};
        if (::lstat(path.c_str(), &st) != 0) continue;
        if (S_ISDIR(st.st_mode)) {
            for (const std::string& inner : FolderNames(path)) ::unlink(Join(path, inner).c_str());
            ::rmdir(path.c_str());
        } else {
            ::unlink(path.c_str());
        }
    }
    ::rmdir(folder.c_str());
}

AttachmentFolderCopy::~AttachmentFolderCopy() {
    if (m_committed) Finish();
    else Discard();
}

uint64_t AttachmentFolderCopy::SizeOf(const std::string& folder) {
    uint64_t total = 0;
    if (!IsDirectory(folder)) return 0;
    for (const std::string& name : FolderNames(folder))
        if (Copied(name)) total += FileSize(Join(folder, name)).value_or(0);
    return total;
}

bool AttachmentFolderCopy::Prepare(const std::string& target, std::string* reason) {
    Discard();
    m_target = target;
    m_staging = true;
    m_cancelled = false;
    m_copied = 0;
    m_files = 0;
    const std::string parent = ParentOf(target);
    RemoveStaleStaging(parent);
    m_staged = Join(parent, TemporaryName("stage"));
    if (::mkdir(m_staged.c_str(), 0755) != 0) {
        *reason = SystemMessage("Cannot make the folder", m_staged, errno);
        m_staged.clear();
        return false;
    }
    return true;
}

bool AttachmentFolderCopy::CopyOne(const std::string& from, const std::string& name, const CopyProgress& progress,
                                   std::string* reason) {
    try {
        CopyFile(from, Join(m_staged, name));
    } catch (const AttachmentError& e) {
        *reason = e.what();
        return false;
    }
    m_copied += FileSize(from).value_or(0);
    ++m_files;
    if (progress && !progress(m_copied)) {
        m_cancelled = true;
        return false;
    }
    return true;
}

bool AttachmentFolderCopy::StageFolder(const std::string& source, const std::string& target,
                                       const CopyProgress& progress, std::string* reason) {
    if (!IsDirectory(source)) {
        Discard();
        m_target = target;
        m_staging = true;
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
        Discard();
        m_target = target;
        m_staging = true;
        return true;
    }
    if (!Prepare(target, reason)) return false;
    std::vector<std::string> done;
    for (const ItemEntry& e : manifest.items) {
        for (const Attachment& a : e.files) {
            if (std::find(done.begin(), done.end(), a.stored) != done.end()) continue;
            done.push_back(a.stored);
            if (!CopyOne(store.PathOf(a), a.stored, progress, reason)) {
                Discard();
                return false;
            }
        }
    }
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

bool AttachmentFolderCopy::Commit(std::string* reason) {
    if (!m_staging) return true;
    const std::string parent = ParentOf(m_target);
    const bool targetThere = Exists(m_target);
    if (m_staged.empty()) {
        // No folder to put in place: the old one goes (kept until Finish).
        if (targetThere) {
            m_old = Join(parent, TemporaryName("stage"));
            if (::rename(m_target.c_str(), m_old.c_str()) != 0) {
                *reason = SystemMessage("Cannot replace", m_target, errno);
                m_old.clear();
                return false;
            }
            SyncFolder(parent);
        }
        m_committed = true;
        return true;
    }
    if (!targetThere) {
        if (::rename(m_staged.c_str(), m_target.c_str()) != 0) {
            *reason = SystemMessage("Cannot create", m_target, errno);
            return false;
        }
    } else if (::renameat2(AT_FDCWD, m_staged.c_str(), AT_FDCWD, m_target.c_str(), RENAME_EXCHANGE) == 0) {
        m_old = m_staged;
    } else {
        // A file system that cannot exchange two names: two renames.
        const std::string old = Join(parent, TemporaryName("stage"));
        if (::rename(m_target.c_str(), old.c_str()) != 0) {
            *reason = SystemMessage("Cannot replace", m_target, errno);
            return false;
        }
        if (::rename(m_staged.c_str(), m_target.c_str()) != 0) {
            *reason = SystemMessage("Cannot replace", m_target, errno);
            ::rename(old.c_str(), m_target.c_str());
            return false;
        }
        m_old = old;
    }
    m_staged.clear();
    SyncFolder(parent);
    m_committed = true;
    return true;
}

void AttachmentFolderCopy::Rollback() {
    if (!m_committed) return;
    const std::string parent = ParentOf(m_target);
    if (m_old.empty()) {
        // There was no folder: the new one goes.
        const std::string gone = Join(parent, TemporaryName("stage"));
        if (::rename(m_target.c_str(), gone.c_str()) == 0) RemoveFolderTree(gone);
    } else if (Exists(m_target)) {
        if (::renameat2(AT_FDCWD, m_old.c_str(), AT_FDCWD, m_target.c_str(), RENAME_EXCHANGE) == 0) {
            RemoveFolderTree(m_old);
        } else {
            const std::string gone = Join(parent, TemporaryName("stage"));
            if (::rename(m_target.c_str(), gone.c_str()) == 0) {
                ::rename(m_old.c_str(), m_target.c_str());
                RemoveFolderTree(gone);
            }
        }
    } else {
        ::rename(m_old.c_str(), m_target.c_str());
    }
    SyncFolder(parent);
    m_old.clear();
    m_committed = false;
    m_staging = false;
}

void AttachmentFolderCopy::Finish() {
    if (!m_old.empty()) RemoveFolderTree(m_old);
    m_old.clear();
    m_committed = false;
    m_staging = false;
}

void AttachmentFolderCopy::Discard() {
    if (!m_staged.empty()) RemoveFolderTree(m_staged);
    m_staged.clear();
    m_staging = false;
}

}  // namespace attachments
