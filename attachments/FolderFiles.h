#pragma once
// The file work that belongs to the attachments folder alone: files copied
// in under the hash of their content, who a file is (to notice another
// copy's change), and the names of the folder's own files. The general
// steps (files replaced whole, read without following links, the folder's
// lock, stale temporary files) are the files library's, named here as the
// attachments code uses them.

#include <cstdint>
#include <optional>
#include <string>
#include <sys/types.h>

#include "FileSystem.h"

namespace attachments {

// A failure of the attachments, with the message for the user. Whatever
// threw it left the folder as it was.
using AttachmentError = files::FileError;

using files::CopyFile;
using files::FileSize;
using files::FolderLock;
using files::FolderNames;
using files::IsDirectory;
using files::IsRegularFile;
using files::MakeFolder;
using files::OpenInFolder;
using files::ReadWholeFile;
using files::RemoveFile;
using files::RemoveStaleTemporaries;
using files::ReplaceFile;
using files::SyncFolder;
using files::SystemMessage;
using files::TemporaryName;
using files::UnreadableReason;

// Who a file is: changes to it (by this or another program) change this.
struct FileIdentity {
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = -1;  // -1: no file
    int64_t mtime = 0;
    bool operator==(const FileIdentity&) const = default;
};
FileIdentity IdentityOf(const std::string& path);

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

inline constexpr const char* kManifestName = "manifest.txt";
inline constexpr const char* kPackedManifestName = "manifest.pack";
inline constexpr const char* kThumbnailFolder = ".thumbs";

}  // namespace attachments
