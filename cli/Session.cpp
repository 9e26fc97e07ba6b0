#include "Session.h"

#include <sys/stat.h>

#include "AppPaths.h"
#include "BackupRestore.h"
#include "DateFormats.h"
#include "ItemSchema.h"
#include "ItemTable.h"
#include "Settings.h"
#include "SortExpression.h"
#include "Table.h"

namespace cli {
namespace {

std::string Folded(std::string_view s) {
    const size_t first = s.find_first_not_of(" \t");
    const size_t last = s.find_last_not_of(" \t");
    std::string out = first == std::string_view::npos ? std::string() : std::string(s.substr(first, last - first + 1));
    for (char& c : out)
        if (c >= 'A' && c <= 'Z') c = char(c + 32);
    return out;
}

bool Exists(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0;
}

}  // namespace

std::string Quote(const std::string& path) { return "\"" + path + "\""; }

std::string Absolute(const std::string& path) { return path.empty() ? path : store::ExpandPath(path); }

std::string_view FileNameOf(std::string_view path) {
    const size_t slash = path.rfind('/');
    return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

bool HasDbfExtension(std::string_view path) {
    const std::string_view name = FileNameOf(path);
    return name.size() > 4 && Folded(name.substr(name.size() - 4)) == ".dbf";
}

Session::Session(const Invocation& invocation, Console& console) : m_args(invocation), m_console(console) {
    // A backup or restore killed midway is finished before any of its files
    // is read, as the window does at its start.
    exchange::FinishInterruptedCopies(DataDir());
    common::LoadAppSettings();
    if (!Settings().loadProblem.isEmpty()) Note(Settings().loadProblem.toStdString());
    common::DateFormats::Apply(Settings().dateFormat);
}

common::Settings& Session::Settings() { return common::AppSettings(); }

std::string Session::DataDir() const { return common::AppPaths::DataDir().toStdString(); }

std::string Session::ConfigDir() const { return common::AppPaths::ConfigDir().toStdString(); }

bool Session::TableGiven() const { return m_args.Value("table").has_value(); }

std::string Session::TablePath() const {
    if (const auto given = m_args.Value("table")) return Absolute(*given);
    const std::string last = common::AppSettings().lastDatabase.toStdString();
    if (!last.empty() && Exists(last)) return last;
    return common::AppPaths::Join(common::AppPaths::DataDir(), "MASTER.DBF").toStdString();
}

void Session::NeedItemTable(const std::string& path) {
    if (!HasDbfExtension(path)) throw CommandError(Quote(path) + " is not a dBASE table: its name does not end in .DBF.");
    if (!Exists(path)) throw CommandError("The table " + Quote(path) + " does not exist.");
    store::Table check;
    std::string message;
    try {
        if (store::CheckDBaseFormat(check, path, &message)) return;
    } catch (const store::EngineError& e) {
        throw CommandError(e.what());
    }
    throw CommandError(Quote(path) + ": " + message);
}

void Session::OpenItemTable(store::Table& items, const std::string& path, bool rebuildSortTag, bool toChange) {
    NeedItemTable(path);
    try {
        store::PointAt(items, path);
        find::OpenInSortOrder(items, find::BuildSortString(Settings().sortFields), rebuildSortTag);
    } catch (const store::EngineError& e) {
        items.Close();
        throw CommandError(e.what());
    }
    if (toChange && !items.Writable()) {
        const std::string why =
            items.Notice().empty() ? "The table " + Quote(path) + " is open for reading only." : items.Notice();
        items.Close();
        throw CommandError(why);
    }
    if (!items.Notice().empty()) Note(items.Notice());
}

void Session::Note(const std::string& text) {
    m_console.err << "halvenor " << m_args.command->name << ": " << text << "\n" << std::flush;
}

void Session::Done(const std::string& text) {
    if (m_console.progress) Note(text);
}

void Session::Usage(const std::string& text) const {
    throw CommandError(text + "; see halvenor " + std::string(m_args.command->name) + " --help", kExitUsage);
}

int Session::FieldNamed(std::string_view text) {
    const std::string wanted = Folded(text);
    if (wanted.empty()) return 0;
    // A stored name wins over another field's title.
    for (int p = 1; p <= store::kItemFieldCount; ++p)
        if (Folded(store::SchemaAt(p).name) == wanted) return p;
    for (int p = 1; p <= store::kItemFieldCount; ++p)
        if (Folded(Settings().Field(p).title.toStdString()) == wanted) return p;
    for (int p = 1; p <= store::kItemFieldCount; ++p)
        if (Folded(store::SchemaAt(p).defaultTitle) == wanted) return p;
    return 0;
}

}  // namespace cli
