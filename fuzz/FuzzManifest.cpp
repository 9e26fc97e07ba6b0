// Any bytes as the list of an item table's attachments. Reading never
// fails: it keeps what it can use and says what it left out. What it keeps
// is whole: every stored name stays inside the folder, every text within
// its limit, and writing it out and reading it back gives the same list
// with nothing left out.
//
// Then the list is put in a real attachments folder and everything that
// opens the files it names runs over it (the check, an export's copy, a
// backup's copy): in that folder one stored name is a link to a file
// outside and one is a pipe. Every open of the process is watched, and
// opening the outside file, by any path, ends the run.

#include <cerrno>
#include <cstdarg>
#include <cstdint>
#include <cstdlib>
#include <fcntl.h>
#include <string_view>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include "AttachmentCheck.h"
#include "AttachmentFolderCopy.h"
#include "AttachmentStore.h"
#include "FuzzSupport.h"
#include "ItemSchema.h"
#include "Manifest.h"
#include "ReplacementSet.h"
#include "Table.h"

namespace {

dev_t g_outsideDevice = 0;
ino_t g_outsideInode = 0;

// Every descriptor the process opens is looked at: the outside file must
// never be one of them.
int Watched(int fd) {
    struct stat st {};
    if (fd >= 0 && g_outsideInode != 0 && ::fstat(fd, &st) == 0 && st.st_ino == g_outsideInode &&
        st.st_dev == g_outsideDevice)
        std::abort();
    return fd;
}

mode_t ModeOf(int flags, va_list& args) {
    return (flags & O_CREAT) || (flags & O_TMPFILE) == O_TMPFILE ? mode_t(va_arg(args, int)) : 0;
}

}  // namespace

extern "C" {
int open(const char* path, int flags, ...) {
    va_list args;
    va_start(args, flags);
    const mode_t mode = ModeOf(flags, args);
    va_end(args);
    return Watched(int(::syscall(SYS_openat, AT_FDCWD, path, flags, mode)));
}
int open64(const char* path, int flags, ...) {
    va_list args;
    va_start(args, flags);
    const mode_t mode = ModeOf(flags, args);
    va_end(args);
    return Watched(int(::syscall(SYS_openat, AT_FDCWD, path, flags, mode)));
}
int openat(int dir, const char* path, int flags, ...) {
    va_list args;
    va_start(args, flags);
    const mode_t mode = ModeOf(flags, args);
    va_end(args);
    return Watched(int(::syscall(SYS_openat, dir, path, flags, mode)));
}
int openat64(int dir, const char* path, int flags, ...) {
    va_list args;
    va_start(args, flags);
    const mode_t mode = ModeOf(flags, args);
    va_end(args);
    return Watched(int(::syscall(SYS_openat, dir, path, flags, mode)));
}
}

namespace {

const std::string kPhoto = std::string(64, 'a') + ".jpg";  // a file
const std::string kLink = std::string(64, 'b') + ".jpg";   // a link to the outside file
const std::string kPipe = std::string(64, 'c');            // a pipe

// The table, its folder and the outside file, made once.
struct Setting {
    std::string data, folder, outside;
    Setting() {
        const std::string root = fuzzsupport::ScratchPath("manifest");
        data = root + "/data";
        folder = data + "/MASTER.files";
        outside = root + "/outside";
        ::mkdir(root.c_str(), 0755);
        ::mkdir(data.c_str(), 0755);
        ::mkdir(folder.c_str(), 0755);
        fuzzsupport::WriteFile(outside, "secret", 6);
        fuzzsupport::WriteFile(folder + "/" + kPhoto, "photo", 5);
        if (::symlink(outside.c_str(), (folder + "/" + kLink).c_str()) != 0 ||
            ::mkfifo((folder + "/" + kPipe).c_str(), 0644) != 0)
            std::abort();
        store::Table t;
        t.SetDirectory(data);
        t.SetTableName("MASTER.DBF");
        t.Create(store::ItemTableFieldDefs());
        t.Open();
        for (const char* item : {"Sofa", "Lamp", "Clock"}) {
            t.Append();
            t.SetText("Item", item);
            t.Post();
        }
        struct stat st {};
        if (::stat(outside.c_str(), &st) != 0) std::abort();
        g_outsideDevice = st.st_dev;
        g_outsideInode = st.st_ino;
    }
};

void OpenEveryListedFile(const Setting& s, std::string_view text) {
    using namespace attachments;
    fuzzsupport::WriteFile(s.folder + "/" + kManifestName, text.data(), text.size());
    store::Table t;
    t.SetDirectory(s.data);
    t.SetTableName("MASTER.DBF");
    t.SetReadOnly(true);
    t.Open();
    CheckAttachments(t);
    AttachmentStore store;
    store.Attach(t, true);
    std::string reason;
    {
        AttachmentFolderCopy copy;  // an export's copy, never put in place
        copy.StageRecords(store, t.DeliveredRecords(), s.data + "/../export.files", {}, &reason);
    }
    {
        AttachmentFolderCopy copy;  // a backup's copy, never put in place
        copy.StageFolder(s.folder, s.data + "/../backup.files", {}, &reason);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace attachments;
    static const Setting setting;
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const ManifestReading reading = ReadManifest(text);
    for (const ItemEntry& item : reading.manifest.items) {
        if (item.label.size() > kMaxTextBytes) std::abort();
        for (const Attachment& a : item.files)
            if (!ValidStoredName(a.stored) || a.caption.size() > kMaxTextBytes || a.original.size() > kMaxTextBytes)
                std::abort();
    }
    const std::string written = WriteManifest(reading.manifest);
    const ManifestReading again = ReadManifest(written);
    if (!again.problems.empty() || again.damaged || !(again.manifest == reading.manifest)) std::abort();
    OpenEveryListedFile(setting, text);
    return 0;
}
