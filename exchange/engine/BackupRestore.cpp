#include "BackupRestore.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <memory>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include "AttachmentFolderCopy.h"
#include "AttachmentStore.h"
#include "DbfFile.h"
#include "EngineError.h"
#include "ItemSchema.h"
#include "ItemTable.h"
#include "ReplacementSet.h"
#include "FileSystem.h"
#include "ReplacingFile.h"
#include "ReportDefinition.h"
#include "ReportFile.h"

namespace exchange {
namespace {

constexpr size_t kBlockSize = 64 * 1024;
constexpr uint64_t kReportEvery = 1024 * 1024;  // bytes between progress reports
constexpr uint64_t kIndexMarkOffset = 28;

std::string SystemReason(const std::string& what, const std::string& path, int error = errno) {
    return what + " \"" + path + "\": " + std::strerror(error) + ".";
}

using Fd = files::FileDescriptor;

// Size of a regular file; nothing when there is none.
std::optional<uint64_t> SizeOf(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return std::nullopt;
    return uint64_t(st.st_size);
}

// Holds a data file the way the table engine holds it for sole use (an
// exclusive flock), so that no other program or copy of the program opens
// it while it is copied or replaced.
class SoleUse {
public:
    // False when another handle holds the file. A file that is not there,
    // or that cannot be opened, holds nobody up: the copy tells what is
    // wrong with it.
    bool Take(const std::string& path, bool wait) {
        m_fd.Reset(files::OpenRegularForReading(path));
        if (m_fd.Get() < 0) return true;
        int result;
        do {
            result = ::flock(m_fd.Get(), LOCK_EX | (wait ? 0 : LOCK_NB));
        } while (result != 0 && errno == EINTR);
        if (result == 0) return true;
        m_fd.Reset();
        return false;
    }

private:
    Fd m_fd;
};

// The progress of one command over all its files.
class Run {
public:
    Run(const ProgressFn& progress, uint64_t total) : m_progress(progress) { m_state.total = total; }
    bool Tell() { return !m_progress || m_progress(m_state); }
    bool Advance(uint64_t bytes) {
        m_state.done += bytes;
        if (m_state.done - m_told < kReportEvery) return true;
        m_told = m_state.done;
        return Tell();
    }
    bool FileDone() {
        ++m_state.records;
        m_told = m_state.done;
        return Tell();
    }

private:
    const ProgressFn& m_progress;
    Progress m_state;
    uint64_t m_told = 0;
};

struct Job {
    std::string source;
    std::string target;
    bool table = false;           // checked as an item table before it replaces anything
    // The source announces an index file, which is not copied: the copy
    // goes without the mark so that it opens on its own.
    bool clearIndexMark = false;
};

// One file copied beside its target, complete and checked, not yet in place.
struct Staged {
    files::ReplacingFile file;
};

enum class Step { Done, Cancelled, Failed };

// Reads the header of a table file: whether it is an item table and whether
// it announces a production index.
bool ReadItemTableHeader(const std::string& path, std::string* message, bool* indexMark) {
    try {
        store::DbfFile file;
        file.Open(path, store::DbfFile::Access::ReadOnly);
        const auto& fields = file.Layout().Fields();
        bool valid = fields.size() == size_t(store::kItemFieldCount);
        for (int i = 0; valid && i < store::kItemFieldCount; ++i)
            valid = store::SchemaPosition(fields[size_t(i)].name) == i + 1;
        if (!valid) {
            if (message) *message = store::kNotItemTableMessage;
            return false;
        }
        if (indexMark) *indexMark = file.UsesIndexFlag() && file.ProductionIndexFlag();
        return true;
    } catch (const store::EngineError& e) {
        if (message) *message = e.what();
        return false;
    }
}

Step StageCopy(const Job& job, Staged& staged, Run& run, std::string* reason) {
    Fd in(files::OpenRegularForReading(job.source));
    if (in.Get() < 0) {
        *reason = SystemReason("Cannot open", job.source);
        return Step::Failed;
    }
    if (!staged.file.Reserve(job.target, "", reason)) return Step::Failed;
    std::vector<char> block(kBlockSize);
    uint64_t copied = 0;
    for (;;) {
        const ssize_t n = ::read(in.Get(), block.data(), block.size());
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            *reason = SystemReason("Cannot read", job.source);
            return Step::Failed;
        }
        if (n == 0) break;
        if (job.clearIndexMark && copied <= kIndexMarkOffset && kIndexMarkOffset < copied + uint64_t(n))
            block[size_t(kIndexMarkOffset - copied)] = 0;
        if (!staged.file.Write(std::string_view(block.data(), size_t(n)), reason)) return Step::Failed;
        copied += uint64_t(n);
        if (!run.Advance(uint64_t(n))) return Step::Cancelled;
    }
    if (!staged.file.Finish(reason)) return Step::Failed;
    // The copy holds exactly what the source holds, or it replaces nothing.
    struct stat after {}, copy {};
    if (::fstat(in.Get(), &after) != 0 || ::stat(staged.file.TempPath().c_str(), &copy) != 0 ||
        uint64_t(after.st_size) != copied || uint64_t(copy.st_size) != copied) {
        *reason = "The copy of \"" + job.source + "\" does not have the size of the file.";
        return Step::Failed;
    }
    if (job.table && !ReadItemTableHeader(staged.file.TempPath(), reason, nullptr)) {
        *reason = "The copy of \"" + job.source + "\" does not open: " + *reason;
        return Step::Failed;
    }
    return Step::Done;
}

CopyResult Refusal(CopyStatus status, std::string message, std::string reason = {}) {
    CopyResult result;
    result.status = status;
    result.message = std::move(message);
    result.reason = std::move(reason);
    return result;
}

// A table's attachments folder copied with it.
struct FolderJob {
    std::string source;
    std::string target;
    bool restore = false;  // keeps the live attachments the restored table does not name
};

// The attachments folders of a data file and of its copy.
FolderJob AttachmentsOf(const std::string& source, const std::string& target, bool restore) {
    return {attachments::AttachmentFolderFor(source), attachments::AttachmentFolderFor(target), restore};
}

// What one kind of a command copies, once it has been checked.
struct KindPlan {
    CopyKind kind = CopyKind::Database;
    std::vector<Job> jobs;
    std::optional<FolderJob> folder;
    std::vector<std::string> warnings;
    const char* done = nullptr;
    const char* failed = nullptr;
    std::string restored;  // a restored data file
};

// A whole command: every kind checked first (and its files held), then
// everything copied beside its target, then all of it put in place at once.
class Transaction {
public:
    Transaction(std::string journalFolder, const char* doneAll)
        : m_journalFolder(std::move(journalFolder)), m_doneAll(doneAll) {}

    // A kind that refused stops the command before anything is copied.
    std::optional<CopyResult> Add(std::optional<CopyResult> refusal, KindPlan plan) {
        if (refusal) {
            refusal->failedKind = plan.kind;
            return refusal;
        }
        m_plans.push_back(std::move(plan));
        return std::nullopt;
    }
    SoleUse& Hold() { return *m_holds.emplace_back(std::make_unique<SoleUse>()); }

    CopyResult Execute(const ProgressFn& progress) {
        uint64_t total = 0;
        for (const KindPlan& plan : m_plans) {
            for (const Job& job : plan.jobs) total += SizeOf(job.source).value_or(0);
            if (plan.folder) total += attachments::AttachmentFolderCopy::SizeOf(plan.folder->source);
        }
        Run run(progress, total);
        if (!run.Tell()) return Refusal(CopyStatus::Cancelled, {});
        std::vector<std::unique_ptr<Staged>> staged;
        std::vector<std::unique_ptr<attachments::AttachmentFolderCopy>> folders;
        std::vector<std::string> warnings;
        std::string kept;
        for (const KindPlan& plan : m_plans) {
            std::string reason;
            auto failure = [&](CopyStatus status, std::string message) {
                CopyResult r = Refusal(status, status == CopyStatus::Cancelled ? std::string() : std::move(message),
                                       status == CopyStatus::Cancelled ? std::string() : reason);
                r.failedKind = plan.kind;
                return r;
            };
            const Staged* table = nullptr;
            for (const Job& job : plan.jobs) {
                auto copy = std::make_unique<Staged>();
                switch (StageCopy(job, *copy, run, &reason)) {
                case Step::Done: break;
                case Step::Cancelled: return failure(CopyStatus::Cancelled, {});
                case Step::Failed: return failure(CopyStatus::Failed, plan.failed);
                }
                if (job.table) table = copy.get();
                staged.push_back(std::move(copy));
                if (!run.FileDone()) return failure(CopyStatus::Cancelled, {});
            }
            if (plan.folder) {
                auto folder = std::make_unique<attachments::AttachmentFolderCopy>();
                uint64_t told = 0;
                const attachments::CopyProgress step = [&](uint64_t bytes) {
                    const uint64_t more = bytes >= told ? bytes - told : 0;
                    told = bytes;
                    return run.Advance(more);
                };
                bool done;
                if (plan.folder->restore) {
                    try {
                        store::DbfFile restored;
                        restored.Open(table->file.TempPath(), store::DbfFile::Access::ReadOnly);
                        done = folder->StageRestore(plan.folder->source, plan.folder->target, restored, step, &reason);
                    } catch (const store::EngineError& e) {
                        reason = e.what();
                        done = false;
                    }
                } else {
                    done = folder->StageFolder(plan.folder->source, plan.folder->target, step, &reason);
                }
                if (!done) {
                    if (folder->Cancelled()) return failure(CopyStatus::Cancelled, {});
                    if (folder->Refused()) return failure(CopyStatus::SourceInvalid, reason);
                    return failure(CopyStatus::Failed, plan.failed);
                }
                warnings.insert(warnings.end(), folder->Skipped().begin(), folder->Skipped().end());
                if (!folder->KeptFolder().empty()) kept = folder->KeptFolder();
                folders.push_back(std::move(folder));
            }
            warnings.insert(warnings.end(), plan.warnings.begin(), plan.warnings.end());
        }
        files::ReplacementSet set(m_journalFolder);
        for (auto& folder : folders) folder->AddTo(set);
        for (auto& copy : staged) copy->file.AddTo(set);
        std::string reason;
        if (m_plans.empty()) return Refusal(CopyStatus::Completed, m_doneAll);
        if (!set.Commit(&reason)) {
            CopyResult r = Refusal(CopyStatus::Failed, m_plans.front().failed, reason);
            r.failedKind = m_plans.front().kind;
            return r;
        }
        CopyResult result;
        result.message = m_plans.size() == 1 ? m_plans.front().done : m_doneAll;
        for (const KindPlan& plan : m_plans)
            if (!plan.restored.empty()) result.restored = plan.restored;
        result.warnings = std::move(warnings);
        result.keptAttachments = kept;
        if (!kept.empty()) result.message += "  " + messages::KeptAttachments(kept);
        result.files = int(staged.size());
        for (const auto& folder : folders) result.files += folder->Files();
        return result;
    }

private:
    std::string m_journalFolder;
    const char* m_doneAll;
    std::vector<KindPlan> m_plans;
    std::vector<std::unique_ptr<SoleUse>> m_holds;
};

bool RoomFor(uint64_t needed, const std::string& folder, const std::string& target, const FreeSpaceFn& freeSpace) {
    const std::optional<uint64_t> free = freeSpace ? freeSpace(folder) : files::FreeSpace(folder);
    if (!free) return true;
    return *free + SizeOf(target).value_or(0) >= needed;
}

std::string Found(const std::string& folder, const char* name) { return reports::ReportFile::PathIn(folder, name); }

// A kind's checks: a refusal, or nothing when its plan is made.
using Refused = std::optional<CopyResult>;

Refused TooLarge(const std::string& path, uint64_t largest) {
    const std::optional<uint64_t> size = SizeOf(path);
    if (size && *size > largest) return Refusal(CopyStatus::SourceInvalid, messages::FileTooLarge(path, largest));
    return std::nullopt;
}

Refused PlanBackupDatabase(const BackupRequest& request, Transaction& t, KindPlan& plan) {
    plan.done = messages::kBackupDone;
    plan.failed = messages::kBackupFailed;
    // The index file stays behind: the copy must not announce one.
    bool indexMark = false;
    ReadItemTableHeader(request.dataFile, nullptr, &indexMark);
    if (!t.Hold().Take(request.dataFile, false)) return Refusal(CopyStatus::InUse, messages::kBackupInUse);
    const std::string target = Found(request.folder, BackupFileName(request.dataFile).c_str());
    if (files::SameFile(request.dataFile, target)) return Refusal(CopyStatus::SameFile, messages::kBackupSameFile);
    const std::optional<uint64_t> size = SizeOf(request.dataFile);
    if (!size)
        return Refusal(CopyStatus::Failed, messages::kBackupFailed, SystemReason("Cannot open", request.dataFile, ENOENT));
    const FolderJob folder = AttachmentsOf(request.dataFile, target, false);
    if (!RoomFor(*size + attachments::AttachmentFolderCopy::SizeOf(folder.source), request.folder, target,
                 request.freeSpace))
        return Refusal(CopyStatus::NoRoom, messages::kBackupNoRoom);
    plan.jobs.push_back({request.dataFile, target, true, indexMark});
    plan.folder = folder;
    return std::nullopt;
}

Refused PlanBackupLists(const BackupRequest& request, Transaction&, KindPlan& plan) {
    plan.done = messages::kBackupDone;
    plan.failed = messages::kBackupFailed;
    for (const char* name : kListFileNames) {
        const std::string source = JoinPath(request.programDir, name);
        if (!SizeOf(source)) continue;  // a list never saved has nothing to back up
        const std::string target = Found(request.folder, name);
        if (files::SameFile(source, target)) return Refusal(CopyStatus::SameFile, messages::kBackupSameFile);
        if (Refused r = TooLarge(source, kLargestListFile)) return r;
        plan.jobs.push_back({source, target});
    }
    if (plan.jobs.empty()) return Refusal(CopyStatus::SourceMissing, messages::kNoListsToBackUp);
    return std::nullopt;
}

Refused PlanBackupReports(const BackupRequest& request, Transaction& t, KindPlan& plan) {
    plan.done = messages::kBackupDone;
    plan.failed = messages::kBackupFailed;
    const std::string source = Found(request.programDir, reports::kReportFileName);
    const std::string target = Found(request.folder, reports::kReportFileName);
    if (files::SameFile(source, target)) return Refusal(CopyStatus::SameFile, messages::kBackupSameFile);
    const std::optional<uint64_t> size = SizeOf(source);
    if (!size) return Refusal(CopyStatus::Failed, messages::kBackupFailed, SystemReason("Cannot open", source, ENOENT));
    if (Refused r = TooLarge(source, reports::kLargestReportFile)) return r;
    if (!RoomFor(*size, request.folder, target, request.freeSpace))
        return Refusal(CopyStatus::NoRoom, messages::kBackupNoRoomReports);
    // A definition another copy of the program is writing goes in whole or not at all.
    t.Hold().Take(source, true);
    plan.jobs.push_back({source, target});
    return std::nullopt;
}

Refused PlanBackupSettings(const BackupRequest& request, Transaction&, KindPlan& plan) {
    plan.done = messages::kBackupDone;
    plan.failed = messages::kBackupFailed;
    const std::string source = Found(request.configDir, kSettingsFileName);
    if (!SizeOf(source)) return std::nullopt;  // every setting is still its default: nothing to copy
    const std::string target = Found(request.folder, kSettingsFileName);
    if (files::SameFile(source, target)) return Refusal(CopyStatus::SameFile, messages::kBackupSameFile);
    if (Refused r = TooLarge(source, kLargestSettingsFile)) return r;
    if (!RoomFor(*SizeOf(source), request.folder, target, request.freeSpace))
        return Refusal(CopyStatus::NoRoom, messages::kBackupNoRoom);
    plan.jobs.push_back({source, target});
    return std::nullopt;
}

// A settings file is a short text of [sections] and keys; anything else
// (a binary file, a table chosen by mistake) would replace every setting
// with its default.
bool LooksLikeSettings(const std::string& path) {
    const std::optional<uint64_t> size = SizeOf(path);
    if (!size || *size > kLargestSettingsFile) return false;
    Fd in(files::OpenRegularForReading(path));
    if (in.Get() < 0) return false;
    std::string text(size_t(*size), '\0');
    size_t got = 0;
    while (got < text.size()) {
        const ssize_t n = ::read(in.Get(), text.data() + got, text.size() - got);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        got += size_t(n);
    }
    text.resize(got);
    if (text.find('\0') != std::string::npos) return false;
    size_t line = 0;
    while (line < text.size()) {
        const size_t first = text.find_first_not_of(" \t", line);
        if (first != std::string::npos && text[first] == '[') return true;
        const size_t next = text.find('\n', line);
        if (next == std::string::npos) break;
        line = next + 1;
    }
    return false;
}

Refused PlanRestoreSettings(const RestoreRequest& request, Transaction&, KindPlan& plan) {
    plan.done = messages::kRestoreDone;
    plan.failed = messages::kRestoreFailed;
    const std::string source = Found(store::DirectoryOf(request.chosenFile), kSettingsFileName);
    const std::optional<uint64_t> size = SizeOf(source);
    if (!size) return Refusal(CopyStatus::SourceMissing, messages::kSettingsMissing);
    if (Refused r = TooLarge(source, kLargestSettingsFile)) return r;
    if (!LooksLikeSettings(source)) return Refusal(CopyStatus::SourceInvalid, messages::NotSettingsFile(source));
    // The config folder exists only once settings were saved; on a new
    // machine not even the folder above it may be there.
    std::error_code ignored;
    std::filesystem::create_directories(std::filesystem::path(request.configDir).parent_path(), ignored);
    if (::mkdir(request.configDir.c_str(), 0700) != 0 && errno != EEXIST)
        return Refusal(CopyStatus::Failed, messages::kRestoreFailed, SystemReason("Cannot create", request.configDir));
    const std::string target = Found(request.configDir, kSettingsFileName);
    if (!RoomFor(*size, request.configDir, target, request.freeSpace))
        return Refusal(CopyStatus::NoRoom, messages::kRestoreNoRoom);
    plan.jobs.push_back({source, target});
    return std::nullopt;
}

Refused PlanRestoreDatabase(const RestoreRequest& request, Transaction& t, KindPlan& plan) {
    plan.done = messages::kRestoreDone;
    plan.failed = messages::kRestoreFailed;
    const std::string& source = request.chosenFile;
    // A data file of that name in another letter case is the one replaced:
    // the engine would find either.
    const std::string target = Found(request.programDir, store::FileNameOf(source).c_str());
    std::string message;
    bool indexMark = false;
    if (!ReadItemTableHeader(source, &message, &indexMark)) return Refusal(CopyStatus::SourceInvalid, message);
    if (!t.Hold().Take(target, false)) return Refusal(CopyStatus::InUse, messages::kRestoreInUse);
    const FolderJob folder = AttachmentsOf(source, target, true);
    const uint64_t size = SizeOf(source).value_or(0) + attachments::AttachmentFolderCopy::SizeOf(folder.source);
    if (!RoomFor(size, request.programDir, target, request.freeSpace))
        return Refusal(CopyStatus::NoRoom, messages::kRestoreNoRoom);
    plan.jobs.push_back({source, target, true, indexMark});
    plan.folder = folder;
    plan.restored = target;
    return std::nullopt;
}

Refused PlanRestoreLists(const RestoreRequest& request, Transaction&, KindPlan& plan) {
    plan.failed = messages::kRestoreFailed;
    const std::string folder = store::DirectoryOf(request.chosenFile);
    for (const char* name : kListFileNames) {
        const std::string source = Found(folder, name);
        if (!SizeOf(source)) {
            plan.warnings.push_back(messages::ListMissing(name));
            continue;
        }
        if (Refused r = TooLarge(source, kLargestListFile)) return r;
        // The program reads its lists under these exact names.
        plan.jobs.push_back({source, JoinPath(request.programDir, name)});
    }
    plan.done = plan.warnings.empty() ? messages::kListsRestored : messages::kListsMissing;
    return std::nullopt;
}

Refused PlanRestoreReports(const RestoreRequest& request, Transaction& t, KindPlan& plan) {
    plan.done = messages::kRestoreDone;
    plan.failed = messages::kRestoreFailed;
    // Whatever file was chosen, the definitions come from KELDOR.URP beside it.
    const std::string source = Found(store::DirectoryOf(request.chosenFile), reports::kReportFileName);
    const std::optional<uint64_t> size = SizeOf(source);
    if (!size) return Refusal(CopyStatus::SourceMissing, messages::kReportsMissing);
    if (Refused r = TooLarge(source, reports::kLargestReportFile)) return r;
    if (*size % reports::kRecordSize != 0)
        return Refusal(CopyStatus::SourceInvalid, messages::NotReportFile(source));
    const std::string target = Found(request.programDir, reports::kReportFileName);
    if (!RoomFor(*size, request.programDir, target, request.freeSpace))
        return Refusal(CopyStatus::NoRoom, messages::kRestoreNoRoom);
    // Another copy of the program changes the file under this lock; it
    // finishes the change first and then finds the restored file.
    t.Hold().Take(target, true);
    plan.jobs.push_back({source, target});
    return std::nullopt;
}

}  // namespace


CopyResult Backup(const BackupRequest& request, const ProgressFn& progress) {
    return Backup(request, {request.kind}, progress);
}

CopyResult Backup(const BackupRequest& request, const std::vector<CopyKind>& kinds, const ProgressFn& progress) {
    FinishInterruptedCopies(request.folder);
    Transaction t(request.folder, messages::kBackupDone);
    for (CopyKind kind : kinds) {
        KindPlan plan;
        plan.kind = kind;
        Refused refusal;
        switch (kind) {
        case CopyKind::Database: refusal = PlanBackupDatabase(request, t, plan); break;
        case CopyKind::Lists: refusal = PlanBackupLists(request, t, plan); break;
        case CopyKind::Reports: refusal = PlanBackupReports(request, t, plan); break;
        case CopyKind::Settings: refusal = PlanBackupSettings(request, t, plan); break;
        }
        if (Refused r = t.Add(std::move(refusal), std::move(plan))) return *r;
    }
    return t.Execute(progress);
}

CopyResult Restore(const RestoreRequest& request, const ProgressFn& progress) {
    return Restore(request, {request.kind}, progress);
}

CopyResult Restore(const RestoreRequest& request, const std::vector<CopyKind>& kinds, const ProgressFn& progress) {
    FinishInterruptedCopies(request.programDir);
    FinishInterruptedCopies(store::DirectoryOf(request.chosenFile));
    Transaction t(request.programDir, messages::kRestoreDone);
    for (CopyKind kind : kinds) {
        KindPlan plan;
        plan.kind = kind;
        Refused refusal;
        switch (kind) {
        case CopyKind::Database: refusal = PlanRestoreDatabase(request, t, plan); break;
        case CopyKind::Lists: refusal = PlanRestoreLists(request, t, plan); break;
        case CopyKind::Reports: refusal = PlanRestoreReports(request, t, plan); break;
        case CopyKind::Settings: refusal = PlanRestoreSettings(request, t, plan); break;
        }
        if (Refused r = t.Add(std::move(refusal), std::move(plan))) return *r;
    }
    return t.Execute(progress);
}

void FinishInterruptedCopies(const std::string& folder) {
    if (!folder.empty()) files::FinishInterruptedReplacements(folder);
}

std::string JoinPath(const std::string& folder, const std::string& name) {
    if (folder.empty()) return name;
    return folder + (folder.back() == '/' ? "" : "/") + name;
}

std::string BackupFileName(const std::string& dataFile) {
    const std::string name = store::FileNameOf(dataFile);
    const auto dot = name.rfind('.');
    return (dot == std::string::npos || dot == 0 ? name : name.substr(0, dot)) + ".DBF";
}

bool HasListFiles(const std::string& programDir) {
    return std::any_of(kListFileNames.begin(), kListFileNames.end(),
                       [&](const char* name) { return SizeOf(JoinPath(programDir, name)).has_value(); });
}

bool IsItemTableFile(const std::string& path, std::string* message) {
    return ReadItemTableHeader(path, message, nullptr);
}

namespace messages {

std::string ListMissing(const std::string& name) {
    return std::string("The following file ") + "\"" + name + "\"" + " could not be" +
           " located on the specified source drive.";
}

std::string NotReportFile(const std::string& path) {
    return "The file \"" + path + "\" does not hold whole report definitions.  Restore not completed.";
}

std::string NotSettingsFile(const std::string& path) {
    return "The file \"" + path + "\" is not a settings file.  Restore not completed.";
}

std::string FileTooLarge(const std::string& path, uint64_t largest) {
    const uint64_t size = SizeOf(path).value_or(0);
    auto megabytes = [](uint64_t bytes) { return std::to_string((bytes + (1 << 20) - 1) >> 20); };
    return "The file \"" + path + "\" is " + megabytes(size) + " MB, far larger than any file of its kind (at most " +
           megabytes(largest) + " MB); it was not copied.";
}

std::string KeptAttachments(const std::string& folder) {
    return "The attachments that the restored items do not name were kept in \"" + folder + "\".";
}

}  // namespace messages

}  // namespace exchange
