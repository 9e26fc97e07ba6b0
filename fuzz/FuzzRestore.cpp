// Any bytes as the file a user picks to restore: a backed-up item table, or
// the report definition file of a backup folder (first input byte chooses).
// A restore either refuses with a message and leaves the program's files
// exactly as they were, or completes; a restored table then opens as the
// program would open it, and restored definitions read. Either way nothing
// temporary is left in the program's folder.

#include <dirent.h>

#include "BackupRestore.h"
#include "FuzzSupport.h"
#include "ItemSchema.h"
#include "ReportFile.h"
#include "Table.h"
#include "TableInvariants.h"

namespace {

// The program's folder before the restore: an item table with a record and
// its index, and one report definition record.
void PrepareProgramFolder(const std::string& dir) {
    static const std::string table = [] {
        store::Table t;
        t.SetDirectory(fuzzsupport::Scratch());
        t.SetTableName("MASTER.DBF");
        t.Create(store::ItemTableFieldDefs());
        t.Open();
        t.Append();
        t.SetText("Item", "Lamp");
        t.Post();
        t.Close();
        return testsupport::ReadWholeFile(fuzzsupport::ScratchPath("MASTER.DBF"));
    }();
    fuzzsupport::WriteFile(dir + "/MASTER.DBF", table);
    fuzzsupport::WriteFile(dir + "/KELDOR.URP", std::string(size_t(reports::kRecordSize), '\0'));
}

// Empties and removes the backup folder, so that the next run (and the
// scratch folder's own clean-up) starts from nothing.
void RemoveFolder(const std::string& dir) {
    if (DIR* d = ::opendir(dir.c_str())) {
        while (dirent* e = ::readdir(d)) {
            const std::string name = e->d_name;
            if (name != "." && name != "..") ::unlink((dir + "/" + name).c_str());
        }
        ::closedir(d);
    }
    ::rmdir(dir.c_str());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzzsupport::Clear();
    if (size == 0) return 0;
    const bool reportsKind = data[0] & 1;
    const std::string program = fuzzsupport::Scratch();
    const std::string saved = program + "/saved";
    ::mkdir(saved.c_str(), 0755);
    PrepareProgramFolder(program);
    const std::string chosen = saved + (reportsKind ? "/KELDOR.URP" : "/MASTER.DBF");
    fuzzsupport::WriteFile(chosen, data + 1, size - 1);
    const std::string target = program + (reportsKind ? "/KELDOR.URP" : "/MASTER.DBF");
    const std::string before = testsupport::ReadWholeFile(target);

    exchange::RestoreRequest request;
    request.kind = reportsKind ? exchange::CopyKind::Reports : exchange::CopyKind::Database;
    request.chosenFile = chosen;
    request.programDir = program;
    request.freeSpace = [](const std::string&) { return std::optional<uint64_t>(uint64_t(1) << 40); };
    const exchange::CopyResult result = exchange::Restore(request, {});

    fuzzsupport::Require(!result.message.empty(), "a restore ended without a message");
    if (result.status != exchange::CopyStatus::Completed) {
        fuzzsupport::Require(testsupport::ReadWholeFile(target) == before, "a refused restore changed the program's file");
    } else if (reportsKind) {
        try {
            reports::ReportFile file(target);
            for (int k = 0; k < file.Count(); ++k) (void)file.Read(k);
        } catch (const reports::ReportFileError& e) {
            std::fprintf(stderr, "restored definitions do not read: %s\n", e.what());
            std::abort();
        }
    } else {
        store::Table t;
        t.SetDirectory(program);
        t.SetTableName("MASTER.DBF");
        try {
            t.Open();
            (void)t.RecordCount();
        } catch (const store::EngineError& e) {
            std::fprintf(stderr, "a restored table does not open: %s\n", e.what());
            std::abort();
        }
    }
    if (DIR* d = ::opendir(program.c_str())) {
        while (dirent* e = ::readdir(d)) {
            const std::string name = e->d_name;
            fuzzsupport::Require(name.find(".part") == std::string::npos && name.find(".tmp") == std::string::npos,
                                 "a restore left a temporary file");
        }
        ::closedir(d);
    }
    RemoveFolder(saved);
    return 0;
}
