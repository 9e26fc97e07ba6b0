#pragma once
// The file work of the attachments folder, in plain system calls so that
// every write can be counted and every failure told: files replaced whole
// (temporary file, flushed to the disk, renamed), files copied in under the
// hash of their content, the folder's lock, and the removal of what a
// killed process left behind.

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <sys/types.h>
#include <vector>

namespace attachments {

// A failure of the attachments, with the message for the user. Whatever
// threw it left the folder as it was.
class AttachmentError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// "what "path": the system's reason."
std::string SystemMessage(const std::string& what, const std::string& path, int error);

bool IsDirectory(const std::string& path);
// Files inside an attachments folder are never reached through a link: a
// link or anything that is not a regular file is not one of them.
bool IsRegularFile(const std::string& path);
std::optional<uint64_t> FileSize(const std::string& path);
// Opens a file of an attachments folder for reading: a regular file, not a
// link, never blocking. -1 with errno set (ELOOP for a link, EINVAL for
// anything else that is not a regular file) when it cannot be.
int OpenInFolder(const std::string& path);
// Why a file of the folder cannot be read, for the user.
std::string UnreadableReason(const std::string& path, int error);

// Who a file is: changes to it (by this or another program) change this.
struct FileIdentity {
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = -1;  // -1: no file
    int64_t mtime = 0;
    bool operator==(const FileIdentity&) const = default;
};
FileIdentity IdentityOf(const std::string& path);

// Reads a whole file of the folder of at most maxBytes; nothing when it is
// missing.
// Throws AttachmentError when it cannot be read or is larger.
std::optional<std::string> ReadWholeFile(const std::string& path, size_t maxBytes);

// Replaces path with the bytes: written to a temporary file in the same
// folder, flushed to the disk, renamed over path, the folder flushed.
// On failure path is as it was and no temporary file stays.
void ReplaceFile(const std::string& path, const std::string& bytes);

// Makes the folder (its parent must exist). Throws when it cannot.
void MakeFolder(const std::string& folder);
void SyncFolder(const std::string& folder);
// Names in the folder, without "." and "..".
std::vector<std::string> FolderNames(const std::string& folder);
// Removes a file; false (and errno) when it cannot.
bool RemoveFile(const std::string& path);

// The name of a temporary file of this process in folder: ".tmp<pid>." and
// a tag. Such files of processes that no longer run are stale.
std::string TemporaryName(const std::string& tag);
void RemoveStaleTemporaries(const std::string& folder);

// The SHA-256 of a file's content as 64 lower-case hex digits.
std::string ContentHash(const std::string& path);

// Copies source into folder under the hash of its content and the
// extension given ("" for none). The copy is flushed to the disk before it
// takes its name; a file of that name is already the same content and is
// kept. created tells whether a new file was made.
struct StoredCopy {
    std::string name;
    bool created = false;
    uint64_t size = 0;
};
StoredCopy CopyIntoFolder(const std::string& source, const std::string& folder, const std::string& extension);

// Copies a file of an attachments folder to target (replacing it), flushed
// to the disk, without renaming: for folders filled under a temporary name.
// Throws when the source is a link or not a regular file.
void CopyFile(const std::string& source, const std::string& target);

// The folder's lock, taken for every change of the folder by any copy of
// the program. The lock file is made when missing.
class FolderLock {
public:
    // Waits for the lock. Throws when the lock file cannot be made.
    explicit FolderLock(const std::string& folder);
    ~FolderLock();
    FolderLock(const FolderLock&) = delete;
    FolderLock& operator=(const FolderLock&) = delete;

private:
    int m_fd = -1;
};

inline constexpr const char* kManifestName = "manifest.txt";
inline constexpr const char* kPackedManifestName = "manifest.pack";
inline constexpr const char* kLockName = ".lock";
inline constexpr const char* kThumbnailFolder = ".thumbs";

}  // namespace attachments
