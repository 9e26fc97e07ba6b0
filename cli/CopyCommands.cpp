// backup and restore: the copies the Backup and Restore windows make, one
// kind of file after the other, each replacing its targets only when it is
// complete.

#include <QDir>
#include <algorithm>
#include <optional>
#include <sys/stat.h>

#include "BackupRestore.h"
#include "DateFormats.h"
#include "ItemTable.h"
#include "ReportFile.h"
#include "Session.h"
#include "Settings.h"
#include "Table.h"

namespace cli {
namespace {

using exchange::CopyKind;

struct Kind {
    const char* option;
    CopyKind kind;
    const char* what;  // as messages name it
};

// Restore goes in this order: restored settings name the database whose copy
// is restored next.
constexpr Kind kKinds[] = {{"settings", CopyKind::Settings, "settings"},
                           {"database", CopyKind::Database, "database"},
                           {"lists", CopyKind::Lists, "pick lists"},
                           {"reports", CopyKind::Reports, "report definitions"}};

bool IsFolder(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool IsFile(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// Kinds chosen by their options; none chosen: all of them.
std::vector<Kind> Chosen(Session& s) {
    std::vector<Kind> chosen;
    for (const Kind& k : kKinds)
        if (s.Args().Flag(k.option)) chosen.push_back(k);
    if (chosen.empty()) chosen.assign(std::begin(kKinds), std::end(kKinds));
    return chosen;
}

void Tell(Session& s, const exchange::CopyResult& result, const Kind& kind) {
    for (const std::string& warning : result.warnings) s.Note(warning);
    switch (result.status) {
    case exchange::CopyStatus::Completed: s.Done(std::string(kind.what) + ": " + result.message); return;
    case exchange::CopyStatus::Cancelled:
        throw CommandError(std::string(kind.what) + ": cancelled; nothing was changed.", kExitCancelled);
    default: break;
    }
    std::string line = std::string(kind.what) + ": " + result.message;
    if (!result.reason.empty()) line += "  " + result.reason;
    throw CommandError(line);
}

exchange::ProgressFn Progress(ProgressLine& line) {
    return [&line](const exchange::Progress& p) { return line.Show(p.done, p.total, "bytes"); };
}

// The database's backup copy in the folder, by the name given or the
// current database's.
std::string DatabaseCopy(Session& s, const std::string& folder) {
    // The window's last database names the copy even where that file is
    // gone (a new machine, restored settings).
    std::string current = s.Settings().lastDatabase.toStdString();
    if (current.empty()) current = s.TablePath();
    const std::string name = store::FileNameOf(s.Args().Value("table").value_or(exchange::BackupFileName(current)));
    return reports::ReportFile::PathIn(folder, name.c_str());
}

// After a database restore the window opens the copy as the current
// database with its sort tag built afresh: so does the command, and the
// window's next start opens it.
void OpenRestored(Session& s, const std::string& restored) {
    store::Table items;
    try {
        s.OpenItemTable(items, restored, true);
    } catch (const CommandError& e) {
        throw CommandError("database: restored to " + Quote(restored) + ", but it does not open: " + e.what());
    }
    items.Close();
    QString& last = s.Settings().lastDatabase;
    if (last == QString::fromStdString(restored)) return;
    last = QString::fromStdString(restored);
    if (!common::SaveAppSettings())
        throw CommandError("database: restored to " + Quote(restored) +
                           ", but the settings file could not be written to make it the current database.");
    s.Note(Quote(restored) + " is now the current database.");
}

}  // namespace

int RunBackup(Session& s) {
    const std::string folder = Absolute(*s.Args().Value("to"));
    const bool all = !std::any_of(std::begin(kKinds), std::end(kKinds), [&](const Kind& k) { return s.Args().Flag(k.option); });
    // Report definitions the window never wrote (it writes them at its
    // first start), lists never saved and a settings file never written are
    // nothing to back up; where each would be, for the message.
    auto missingFrom = [&](const Kind& k) -> std::optional<std::string> {
        switch (k.kind) {
        case CopyKind::Reports:
            if (!IsFile(reports::ReportFile::PathIn(s.DataDir(), reports::kReportFileName))) return s.DataDir();
            break;
        case CopyKind::Lists:
            if (!exchange::HasListFiles(s.DataDir())) return s.DataDir();
            break;
        case CopyKind::Settings:
            if (!IsFile(reports::ReportFile::PathIn(s.ConfigDir(), exchange::kSettingsFileName))) return s.ConfigDir();
            break;
        case CopyKind::Database: break;
        }
        return std::nullopt;
    };
    // Asked for by name, they are refused before anything is created or
    // copied: a backup the user takes for a copy of them must hold them.
    if (!all)
        for (const Kind& kind : Chosen(s))
            if (const auto where = missingFrom(kind))
                throw CommandError(std::string(kind.what) + ": " + Quote(*where) + " holds none; none has been saved yet, so there are none to back up.");
    if (!IsFolder(folder) && !QDir().mkpath(QString::fromStdString(folder)))
        throw CommandError("The folder " + Quote(folder) + " cannot be created.");
    for (const Kind& kind : Chosen(s)) {
        // Left to choose, what there is none of is passed over with a word:
        // the user may expect it in the folder.
        if (all && missingFrom(kind)) {
            s.Note(std::string(kind.what) + ": none has been saved yet; none backed up.");
            continue;
        }
        exchange::BackupRequest request;
        request.kind = kind.kind;
        request.folder = folder;
        request.programDir = s.DataDir();
        request.configDir = s.ConfigDir();
        if (kind.kind == CopyKind::Database) {
            request.dataFile = s.TablePath();
            s.NeedItemTable(request.dataFile);
        }
        ProgressLine line(s.Io(), std::string("backup, ") + kind.what);
        const exchange::CopyResult result = exchange::Backup(request, Progress(line));
        line.Clear();
        Tell(s, result, kind);
    }
    return kExitOk;
}

int RunRestore(Session& s) {
    const std::string folder = Absolute(*s.Args().Value("from"));
    if (!IsFolder(folder)) throw CommandError("The folder " + Quote(folder) + " does not exist.");
    std::vector<Kind> kinds;
    bool anyChosen = s.Args().Flag("table");
    for (const Kind& k : kKinds) anyChosen = anyChosen || s.Args().Flag(k.option);
    for (const Kind& k : kKinds) {
        const bool chosen = s.Args().Flag(k.option) || (k.kind == CopyKind::Database && s.Args().Flag("table"));
        if (anyChosen ? chosen : true) kinds.push_back(k);
    }
    // Left to choose, only what the folder holds a copy of is restored.
    auto held = [&](const Kind& k) {
        switch (k.kind) {
        case CopyKind::Settings: return IsFile(reports::ReportFile::PathIn(folder, exchange::kSettingsFileName));
        case CopyKind::Database: return IsFile(DatabaseCopy(s, folder));
        case CopyKind::Reports: return IsFile(reports::ReportFile::PathIn(folder, reports::kReportFileName));
        case CopyKind::Lists:
            for (const char* name : exchange::kListFileNames)
                if (IsFile(reports::ReportFile::PathIn(folder, name))) return true;
            return false;
        }
        return false;
    };
    if (!anyChosen && std::none_of(kinds.begin(), kinds.end(), held))
        throw CommandError(Quote(folder) + " holds no backup of this program's files.");
    // What was asked for by name must be there before anything is replaced
    // (the database's copy is looked for below: restored settings name it).
    for (const Kind& kind : kinds)
        if (anyChosen && kind.kind != CopyKind::Database && !held(kind))
            throw CommandError(std::string(kind.what) + ": " + Quote(folder) + " holds no copy of the " + kind.what +
                               ".");
    for (const Kind& kind : kinds) {
        // Asked only now: restored settings may name another database.
        if (!anyChosen && !held(kind)) continue;
        exchange::RestoreRequest request;
        request.kind = kind.kind;
        request.programDir = s.DataDir();
        request.configDir = s.ConfigDir();
        switch (kind.kind) {
        case CopyKind::Database:
            request.chosenFile = DatabaseCopy(s, folder);
            if (!IsFile(request.chosenFile))
                throw CommandError("database: " + Quote(folder) + " holds no copy named " +
                                   Quote(store::FileNameOf(request.chosenFile)) + ".");
            break;
        case CopyKind::Lists: request.chosenFile = exchange::JoinPath(folder, exchange::kListFileNames[0]); break;
        case CopyKind::Reports: request.chosenFile = exchange::JoinPath(folder, reports::kReportFileName); break;
        case CopyKind::Settings: request.chosenFile = exchange::JoinPath(folder, exchange::kSettingsFileName); break;
        }
        ProgressLine line(s.Io(), std::string("restore, ") + kind.what);
        const exchange::CopyResult result = exchange::Restore(request, Progress(line));
        line.Clear();
        Tell(s, result, kind);
        if (kind.kind == CopyKind::Settings) {
            common::LoadAppSettings();
            common::DateFormats::Apply(s.Settings().dateFormat);
        }
        if (kind.kind == CopyKind::Database) OpenRestored(s, result.restored);
    }
    return kExitOk;
}

}  // namespace cli
