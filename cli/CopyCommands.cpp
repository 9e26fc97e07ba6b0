// backup and restore: the copies the Backup and Restore windows make, one
// kind of file after the other, each replacing its targets only when it is
// complete.

#include <QDir>
#include <algorithm>
#include <cerrno>
#include <optional>
#include <unistd.h>
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

const char* KindName(CopyKind kind) {
    for (const Kind& k : kKinds)
        if (k.kind == kind) return k.what;
    return "";
}

void Tell(Session& s, const exchange::CopyResult& result, const char* command) {
    for (const std::string& warning : result.warnings) s.Note(warning);
    const std::string what = result.failedKind ? KindName(*result.failedKind) : command;
    switch (result.status) {
    case exchange::CopyStatus::Completed: s.Done(std::string(command) + ": " + result.message); return;
    case exchange::CopyStatus::Cancelled:
        throw CommandError(what + ": cancelled; nothing was changed.", kExitCancelled);
    default: break;
    }
    std::string line = what + ": " + result.message;
    if (!result.reason.empty()) line += "  " + result.reason;
    throw CommandError(line);
}

// The folders from the first missing one down to folder, made; the ones
// made, deepest last. Throws when one cannot be made.
std::vector<std::string> MakeFolders(const std::string& folder) {
    std::vector<std::string> missing;
    for (std::string f = folder; !f.empty() && f != "/" && !IsFolder(f); f = store::DirectoryOf(f)) missing.push_back(f);
    std::reverse(missing.begin(), missing.end());
    std::vector<std::string> made;
    for (const std::string& f : missing) {
        if (::mkdir(f.c_str(), 0755) != 0 && errno != EEXIST) {
            for (auto it = made.rbegin(); it != made.rend(); ++it) ::rmdir(it->c_str());
            throw CommandError("The folder " + Quote(folder) + " cannot be created.");
        }
        made.push_back(f);
    }
    return made;
}

// Removes folders made for a command that did not take place, as far as
// they are still empty.
void RemoveEmptyFolders(const std::vector<std::string>& made) {
    for (auto it = made.rbegin(); it != made.rend(); ++it)
        if (::rmdir(it->c_str()) != 0) break;
}

exchange::ProgressFn Progress(ProgressLine& line) {
    return [&line](const exchange::Progress& p) { return line.Show(p.done, p.total, "bytes"); };
}

// The database's backup copy in the folder, by the name given or the
// current database's (the one the settings being restored name, when they
// are restored too).
std::string DatabaseCopy(Session& s, const std::string& folder, const std::string& restoredSettings) {
    // The window's last database names the copy even where that file is
    // gone (a new machine, restored settings).
    std::string current = s.Settings().lastDatabase.toStdString();
    if (!restoredSettings.empty()) {
        common::Settings restored;
        restored.Load(QString::fromStdString(restoredSettings));
        if (!restored.lastDatabase.isEmpty()) current = restored.lastDatabase.toStdString();
    }
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
    std::vector<CopyKind> kinds;
    for (const Kind& kind : Chosen(s)) {
        // Left to choose, what there is none of is passed over with a word:
        // the user may expect it in the folder.
        if (all && missingFrom(kind)) {
            s.Note(std::string(kind.what) + ": none has been saved yet; none backed up.");
            continue;
        }
        kinds.push_back(kind.kind);
    }
    exchange::BackupRequest request;
    request.folder = folder;
    request.programDir = s.DataDir();
    request.configDir = s.ConfigDir();
    if (std::find(kinds.begin(), kinds.end(), CopyKind::Database) != kinds.end()) {
        request.dataFile = s.TablePath();
        s.NeedItemTable(request.dataFile);
    }
    // Folders made for the backup go again when it does not take place.
    const std::vector<std::string> made = MakeFolders(folder);
    ProgressLine line(s.Io(), "backup");
    const exchange::CopyResult result = exchange::Backup(request, kinds, Progress(line));
    line.Clear();
    if (result.status != exchange::CopyStatus::Completed) RemoveEmptyFolders(made);
    Tell(s, result, "backup");
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
    const std::string settingsCopy = reports::ReportFile::PathIn(folder, exchange::kSettingsFileName);
    const bool withSettings = std::any_of(kinds.begin(), kinds.end(), [&](const Kind& k) {
        return k.kind == CopyKind::Settings && IsFile(settingsCopy);
    });
    // Restored settings name the database whose copy is restored with them.
    const std::string databaseCopy = DatabaseCopy(s, folder, withSettings ? settingsCopy : std::string());
    auto held = [&](const Kind& k) {
        switch (k.kind) {
        case CopyKind::Settings: return IsFile(settingsCopy);
        case CopyKind::Database: return IsFile(databaseCopy);
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
    // What was asked for by name must be there before anything is replaced.
    std::vector<CopyKind> restored;
    for (const Kind& kind : kinds) {
        if (!held(kind)) {
            if (!anyChosen) continue;  // left to choose, only what the folder holds
            if (kind.kind == CopyKind::Database)
                throw CommandError("database: " + Quote(folder) + " holds no copy named " +
                                   Quote(store::FileNameOf(databaseCopy)) + ".");
            throw CommandError(std::string(kind.what) + ": " + Quote(folder) + " holds no copy of the " + kind.what +
                               ".");
        }
        restored.push_back(kind.kind);
    }
    exchange::RestoreRequest request;
    request.programDir = s.DataDir();
    request.configDir = s.ConfigDir();
    request.chosenFile = databaseCopy;  // its folder is where every copy comes from
    ProgressLine line(s.Io(), "restore");
    const exchange::CopyResult result = exchange::Restore(request, restored, Progress(line));
    line.Clear();
    Tell(s, result, "restore");
    if (std::find(restored.begin(), restored.end(), CopyKind::Settings) != restored.end()) {
        common::LoadAppSettings();
        common::DateFormats::Apply(s.Settings().dateFormat);
    }
    if (!result.restored.empty()) OpenRestored(s, result.restored);
    return kExitOk;
}

}  // namespace cli
