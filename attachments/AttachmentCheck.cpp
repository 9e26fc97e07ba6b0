#include "AttachmentCheck.h"

#include <unordered_set>

#include "AttachmentStore.h"
#include "Fingerprint.h"
#include "FolderFiles.h"
#include "Manifest.h"
#include "Table.h"

namespace attachments {
namespace {

std::string Quoted(const std::string& text) { return "\"" + (text.empty() ? std::string("(no name)") : text) + "\""; }

}  // namespace

CheckResult CheckAttachments(const store::Table& table) {
    CheckResult result;
    const std::string folder = AttachmentFolderFor(table.DataFilePath());
    if (!IsDirectory(folder)) return result;
    auto problem = [&](std::string text) { result.problems.push_back(std::move(text)); };
    const std::string manifestPath = folder + "/" + kManifestName;
    Manifest manifest;
    try {
        if (const auto text = ReadWholeFile(manifestPath, kMaxManifestBytes)) {
            const ManifestReading reading = ReadManifest(*text);
            for (const std::string& p : reading.problems) problem("The list of attachments \"" + manifestPath + "\": " + p);
            manifest = reading.manifest;
        } else if (!FolderNames(folder).empty()) {
            problem("The attachments folder \"" + folder + "\" has no list of attachments.");
        }
    } catch (const AttachmentError& e) {
        problem(e.what());
    }
    if (IsRegularFile(folder + "/" + kPackedManifestName))
        problem("A pack of the table was interrupted; the program finishes it when it next opens the table.");

    const FingerprintFields fields(table.Layout());
    const uint32_t count = table.PhysicalCount();
    std::unordered_set<std::string> listed;
    for (const ItemEntry& e : manifest.items) {
        ++result.items;
        if (!e.record) {
            problem("The attachments of " + Quoted(e.label) + " belong to no record: the table was changed by another "
                    "program and the item could not be told apart.");
        } else if (*e.record >= count) {
            problem("Record " + std::to_string(*e.record + 1) + ", which holds the attachments of " + Quoted(e.label) +
                    ", is not in the table.");
        } else {
            const Fingerprint now = fields.Of(table.ViewOf(*e.record));
            if (now != e.fingerprint && now != e.nextFingerprint)
                problem("Record " + std::to_string(*e.record + 1) + " no longer holds " + Quoted(e.label) +
                        ": its attachments are matched to their item again when the program next opens the table.");
        }
        for (const Attachment& a : e.files) {
            ++result.files;
            listed.insert(a.stored);
            const std::string path = folder + "/" + a.stored;
            if (!IsRegularFile(path)) {
                problem("The file \"" + a.original + "\" of " + Quoted(e.label) + " (" + a.stored + ") is missing.");
                continue;
            }
            try {
                if (ContentHash(path) != a.stored.substr(0, 64))
                    problem("The file \"" + a.original + "\" of " + Quoted(e.label) + " (" + a.stored +
                            ") no longer holds what was added: it was changed or damaged.");
            } catch (const AttachmentError& err) {
                problem(err.what());
            }
        }
    }
    for (const std::string& name : FolderNames(folder))
        if (ValidStoredName(name) && !listed.count(name))
            problem("The file \"" + name + "\" in the attachments folder belongs to no item; Tools > Recover Attachments "
                    "gives files back to the items it can find, and a pack asks before it removes such files.");
    return result;
}

}  // namespace attachments
