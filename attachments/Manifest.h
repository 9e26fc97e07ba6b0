#pragma once
// The list of an item table's attachments, kept in one text file in the
// folder beside the table: per item, the record it belongs to (its number
// together with a fingerprint of its identifying fields, since numbers
// change when the table is packed or rewritten), and its files in order,
// each with the name it is stored under, its kind, the name it had when it
// was added and a caption.
//
// The file is UTF-8 text, one entry per line, fields separated by tabs:
//
//     Halvenor Inventory attachments 1
//     item    12    0f3a9c51d2e4b788    Sofa
//     file    <64 hex digits>.jpg    photo    IMG_0412.JPG    Living room
//     end     1    1
//
// Record numbers count from 1 as the user sees them; "-" marks an item
// whose record could not be found again. A second fingerprint after "/"
// belongs to an edit being written. Tabs, line breaks and backslashes in
// texts are written as \t, \n, \r and \\. The end line counts the items and
// files, so that a file cut short is told from a whole one. A manifest that
// a pack writes before the packed table takes the old one's place carries
// the packed table's record count on a "packed" line after the first.
//
// The file is outside input: the reader checks everything, leaves out what
// it cannot use and says what, by line, never reading past a limit.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace attachments {

enum class Kind { Photo, Receipt, Document };

// "photo", "receipt", "document".
std::string_view KindName(Kind kind);
std::optional<Kind> KindFromName(std::string_view name);

using Fingerprint = uint64_t;

struct Attachment {
    std::string stored;    // name in the folder: content hash and extension
    Kind kind = Kind::Photo;
    std::string original;  // file name when it was added, for the user
    std::string caption;
    bool operator==(const Attachment&) const = default;
};

struct ItemEntry {
    // Record number from 0; none when the link to the record was lost.
    std::optional<uint32_t> record;
    Fingerprint fingerprint = 0;
    // The fingerprint an edit being written gives the record: until the
    // edit is seen done, the record may hold either.
    std::optional<Fingerprint> nextFingerprint;
    std::string label;  // the item's name when last seen, for messages
    std::vector<Attachment> files;
    bool operator==(const ItemEntry&) const = default;
};

struct Manifest {
    std::vector<ItemEntry> items;
    // Written by a pack only: the record count of the packed table.
    std::optional<uint32_t> packedCount;
    bool operator==(const Manifest&) const = default;
};

struct ManifestReading {
    Manifest manifest;
    // What was left out or could not be trusted, by line, for the user.
    std::vector<std::string> problems;
    // The text held more than the manifest: writing the manifest back would
    // lose it, so a copy of the file is kept first.
    bool damaged = false;
};

inline constexpr std::string_view kManifestHeader = "Halvenor Inventory attachments 1";
// Larger manifests are refused whole (a file of a million items with ten
// attachments each is about 200 MB).
inline constexpr size_t kMaxManifestBytes = size_t(512) << 20;
inline constexpr size_t kMaxLineBytes = 64 * 1024;
inline constexpr size_t kMaxTextBytes = 4096;

ManifestReading ReadManifest(std::string_view text);
std::string WriteManifest(const Manifest& manifest);

// Whether a name can be a stored file's: 64 lower-case hex digits, then
// optionally "." and 1 to 10 lower-case letters or digits. Such a name
// never leaves the folder.
bool ValidStoredName(std::string_view name);
// The extension a stored file keeps: the original's, lower case, when it
// is 1 to 10 letters or digits; otherwise none.
std::string StoredExtension(std::string_view originalName);

}  // namespace attachments
