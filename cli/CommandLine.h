#pragma once
// The command line of the program: which face a run shows (the window, or
// a command that works without one), the commands with their options, and
// the help texts made from the same table. Parsing is a pure function of
// the arguments, without Qt and without touching any file, so that it can
// be tested and fuzzed on its own.
//
// A command's options are rows of its table: adding an option is one row
// here and one look-up (Invocation::Flag / Value) where the command runs.

#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace cli {

struct OptionSpec {
    std::string_view name;   // without the leading "--"
    std::string_view value;  // the value's name in the help ("PATH"); empty for a flag
    std::string_view help;
    // When not empty, the only values accepted.
    std::vector<std::string_view> choices = {};
    // A valued option that may be given more than once (values collected).
    bool repeatable = false;
    // The command cannot run without it.
    bool required = false;
};

struct CommandSpec {
    std::string_view name;
    std::string_view operands;  // as the usage line shows them ("OUT"); empty when none
    int minOperands = 0;
    int maxOperands = 0;
    std::string_view summary;      // one line for the overview
    std::string_view description;  // the paragraph of the command's own help
    std::vector<OptionSpec> options;
    std::vector<std::string_view> examples;
};

// Every command, in the order the help lists them.
const std::vector<CommandSpec>& Commands();
const CommandSpec* FindCommand(std::string_view name);

struct Invocation {
    enum class Face {
        Window,       // no arguments, or one table file to open
        Help,         // the overview, or one command's help
        Version,
        Command,      // a command to run without a window
        Error,        // the arguments are wrong: message says how
    };
    Face face = Face::Window;
    const CommandSpec* command = nullptr;  // Command, and Help of one command
    std::string file;                      // Window: the table to open, if any
    std::vector<std::string> operands;
    // Option name -> values given (one empty value for a flag).
    std::map<std::string, std::vector<std::string>, std::less<>> options;
    std::string error;  // Error: one line, without the program's name

    bool Flag(std::string_view name) const { return options.find(name) != options.end(); }
    // The value of a single-valued option; nothing when it was not given.
    std::optional<std::string> Value(std::string_view name) const;
    // Every value of a repeatable option, in the order given.
    std::vector<std::string> Values(std::string_view name) const;
};

// args are the arguments after the program's name.
Invocation Parse(const std::vector<std::string>& args);

// The overview of every command; one command's help.
std::string HelpText();
std::string CommandHelp(const CommandSpec& command);
std::string VersionText();

// Exit codes of the commands.
inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed = 1;     // the command ran and failed, or found problems
inline constexpr int kExitUsage = 2;      // the arguments were wrong; nothing was done
inline constexpr int kExitCancelled = 130;  // stopped by an interrupt; nothing was changed

}  // namespace cli
