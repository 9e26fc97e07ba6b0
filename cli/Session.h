#pragma once
// What every command shares: the settings of the program (the same file the
// window reads), the item table the command works on, the item fields named
// the way a user names them, and how a command gives up: one line for
// standard error and an exit code.

#include <stdexcept>
#include <string>
#include <string_view>

#include "CommandLine.h"
#include "Console.h"

namespace common {
class Settings;
}

namespace store {
class Table;
}

namespace cli {

// A command's refusal or failure; what() is the line the user reads.
class CommandError : public std::runtime_error {
public:
    explicit CommandError(const std::string& message, int code = kExitFailed)
        : std::runtime_error(message), m_code(code) {}
    int Code() const { return m_code; }

private:
    int m_code;
};

class Session {
public:
    // Loads the settings file and makes its date format the engine's.
    Session(const Invocation& invocation, Console& console);

    const Invocation& Args() const { return m_args; }
    Console& Io() { return m_console; }
    common::Settings& Settings();
    std::string DataDir() const;
    std::string ConfigDir() const;

    // The table the command works on: --table (relative to the current
    // folder), else the database the window last had open, else MASTER.DBF
    // in the data folder.
    std::string TablePath() const;
    bool TableGiven() const;
    // Opens the item table at path as the window opens a database: a .DBF
    // file, an item table, shared (read-only when the user may not write
    // it), in the sort order of the settings. Refusals throw CommandError.
    // toChange: a table that opens read-only is refused (why, in one line)
    // before the command reads anything.
    void OpenItemTable(store::Table& items, const std::string& path, bool rebuildSortTag = false,
                       bool toChange = false);
    // Refuses what the window's open command refuses, without opening.
    void NeedItemTable(const std::string& path);

    // A line on standard error that is not a failure.
    void Note(const std::string& text);
    // Shown only while progress is shown (a terminal): what was done.
    void Done(const std::string& text);
    // Throws CommandError with the exit code for wrong arguments.
    [[noreturn]] void Usage(const std::string& text) const;

    // Item field 1 to 22 by its stored name, its title in the settings or
    // its default title (letter case and surrounding blanks ignored); 0
    // when none.
    int FieldNamed(std::string_view text);

private:
    const Invocation& m_args;
    Console& m_console;
};

// A path as messages show it, in double quotes.
std::string Quote(const std::string& path);
// Path made absolute against the current folder.
std::string Absolute(const std::string& path);
// The last part of a path: what the file itself is called.
std::string_view FileNameOf(std::string_view path);
// Whether the file's own name ends in .dbf after something: ".dbf" alone is
// a hidden file's name, not a table's.
bool HasDbfExtension(std::string_view path);

// The commands; each returns the exit code or throws CommandError.
int RunExport(Session& session);
int RunImport(Session& session);
int RunReport(Session& session);
int RunBackup(Session& session);
int RunRestore(Session& session);
int RunCheck(Session& session);
int RunOverview(Session& session);
int RunFind(Session& session);

}  // namespace cli
