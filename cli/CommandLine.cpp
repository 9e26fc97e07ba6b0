#include "CommandLine.h"

#include <algorithm>

#ifndef HALVENOR_VERSION
#define HALVENOR_VERSION "unknown"
#endif

namespace cli {
namespace {

const OptionSpec kTableOption{"table", "PATH",
                              "The item table (.DBF) to work on. Default: the database the window last had open "
                              "(MASTER.DBF in the data folder on a fresh start)."};

std::vector<CommandSpec> MakeCommands() {
    std::vector<CommandSpec> commands;
    commands.push_back(
        {"export",
         "OUT",
         1,
         1,
         "write the items to a delimited text file, a workbook or a new dBASE table",
         "Writes every item of the table, in the current sort order, to OUT: delimited text (the export window's "
         "format, UTF-8), a workbook (.xlsx: a bold first row of titles, amounts and dates as such) or a new dBASE "
         "table. OUT is replaced only when it is complete; \"-\" writes the text to "
         "standard output. Fields, their order and the title line default to the export window's last choices. "
         "A line of the text holds one item, so a line break inside a stored value goes out as blanks, one for each "
         "of its characters (a CR LF break as two blanks); a dBASE table keeps it.",
         {kTableOption,
          {"format", "FORMAT",
           "csv, xlsx or dbf. Default: dbf for an OUT ending in .dbf, xlsx for .xlsx, csv for .csv or .txt, else "
           "the export window's last choice.",
           {"csv", "xlsx", "dbf"}},
          {"fields", "LIST",
           "Comma-separated fields in the order written, by field name or title (Item,Brand,\"Purchase Date\")."},
          {"titles", "", "Write a first line of field titles (text only; a workbook always has one)."},
          {"no-titles", "", "Write no title line."},
          {"attachments", "",
           "Also copy the exported items' photos and documents into a folder beside OUT (OUT's name up to its "
           "extension, then .files)."}},
         {"halvenor export items.csv", "halvenor export items.xlsx", "halvenor export --attachments insured.dbf", "halvenor export --fields Item,Location,Value - | sort",
          "halvenor export --format dbf --table ~/old/HOME.DBF copy.dbf"}});
    commands.push_back(
        {"import",
         "IN",
         1,
         1,
         "add the records of a delimited text file, a CSV file or a dBASE table",
         "Adds one item per record of IN to the table. --format says how IN is read: dbf (the default for a name "
         "ending in .dbf), xlsx (a workbook's sheet, the default for a name ending in .xlsx), quoted (the export's "
         "delimited text, the default otherwise) or csv (values as spreadsheets write them). Each source field goes to the item field of the same name or title; --map says "
         "otherwise. Quoted text and dBASE: a value that cannot be stored stops the import with the line and field; "
         "the items added before it stay. Lines off the quoted format (a value without quotes, a line break inside "
         "quotes, another number of values than the first line) are imported all the same and named at the end, "
         "with exit status 1. CSV and workbooks: every row is read and converted first (dates in the current format, as "
         "2024-03-31, 31.03.2024 or a spreadsheet's day number; amounts with currency signs and thousands "
         "separators; Yes/No, true/false or 1/0 for the warranty); each value that does not convert is named with "
         "its row and column and its row left out, with exit status 1; the other rows go in together or not at all.",
         {kTableOption,
          {"format", "FORMAT", "quoted, csv, xlsx or dbf.", {"quoted", "csv", "xlsx", "dbf"}},
          {"skip-first", "", "The first line holds titles: do not import it (CSV: the default)."},
          {"no-skip-first", "", "Import the first line too; the fields go to the item fields in order."},
          {"map", "LIST",
           "SOURCE=FIELD pairs separated by commas: the source field (by name, or by number from 1) and the item "
           "field (by name or title) that receives it. Only the fields listed are imported.",
           {},
           true},
          {"separator", "SEP", "CSV: the separator. Default: the one the file's first lines use.",
           {"comma", "semicolon", "tab"}},
          {"encoding", "ENC",
           "CSV: the file's encoding. Default: UTF-8 when the file is UTF-8 throughout, else Windows-1252.",
           {"utf-8", "windows-1252"}},
          {"decimal", "MARK",
           "CSV and workbooks: the decimal mark of amounts written as text. Default: the one the amounts of the "
           "first rows use.",
           {"point", "comma"}},
          {"sheet", "NAME", "Workbooks: the sheet to import, by name. Default: the first."},
          {"check", "", "CSV and workbooks: read and convert every row, name every problem, write nothing; exit "
                        "status 1 if there is a problem."}},
         {"halvenor import items.csv", "halvenor import --map Thing=Item,Room=Location --skip-first list.csv",
          "halvenor import --format csv --check spreadsheet.csv", "halvenor import --sheet Kitchen inventory.xlsx",
          "halvenor import --table ~/inventory/HOME.DBF old.dbf"}});
    commands.push_back({"report",
                        "NAME",
                        0,
                        1,
                        "write a report of the definition file to PDF or text",
                        "Runs the report NAME (as the report window lists it, letter case ignored) over every item "
                        "in the current sort order, with the insurance details and number formats of the settings, "
                        "and writes it to a PDF file or a text file, replaced only when complete. A figure is never "
                        "cut: too wide for its column it is written whole to a text file, and printed smaller or as "
                        "\"####\" in a PDF, with a line on stderr naming the items to widen.",
                        {kTableOption,
                         {"pdf", "OUT", "Write the report as a PDF file."},
                         {"text", "OUT", "Write the report as a text file."},
                         {"list", "", "List the reports of the definition file and write nothing."}},
                        {"halvenor report \"Full Report\" --pdf full.pdf", "halvenor report Warranty --text warranty.txt",
                         "halvenor report --list"}});
    commands.push_back(
        {"backup",
         "",
         0,
         0,
         "copy the database, pick lists, report definitions and settings to a folder",
         "Copies the chosen files into FOLDER, each through a temporary file renamed when complete and checked; "
         "the database goes with its attachments folder (MASTER.files beside MASTER.DBF). "
         "Without a choice all four are backed up. The database needs sole use: it is refused while the window "
         "or another program has the table open.",
         {{"to", "FOLDER", "The folder the copies go to.", {}, false, true},
          kTableOption,
          {"database", "", "The item table's data file."},
          {"lists", "", "The five pick lists."},
          {"reports", "", "The report definition file KELDOR.URP."},
          {"settings", "", "The settings file KELDOR.INI."}},
         {"halvenor backup --to /media/stick/inventory", "halvenor backup --to ~/backups --database"}});
    commands.push_back(
        {"restore",
         "",
         0,
         0,
         "copy backed-up files from a folder back into place",
         "Copies the chosen files from FOLDER back into the data and config folders, each replaced only when its "
         "copy is complete and checked; the database comes back with its attachments folder as it was backed up. "
         "Without a choice everything FOLDER holds a copy of is restored. The database needs sole use; a restored table becomes the current database.",
         {{"from", "FOLDER", "The folder holding the backup.", {}, false, true},
          {"table", "NAME",
           "The backed-up table to restore, by its file name in FOLDER. Default: the current database's name."},
          {"database", "", "The item table's data file."},
          {"lists", "", "The five pick lists."},
          {"reports", "", "The report definition file KELDOR.URP."},
          {"settings", "", "The settings file KELDOR.INI (read by the window at its next start)."}},
         {"halvenor restore --from /media/stick/inventory", "halvenor restore --from ~/backups --lists"}});
    commands.push_back({"check",
                        "",
                        0,
                        0,
                        "check a table's header, records and index without changing anything",
                        "Opens the table for reading only and checks its header against the file, every record's "
                        "deletion flag and values, the index file against the data, and the attachments folder's "
                        "list against the table and the files. Prints the records, the deleted records, the index "
                        "state and the attachments; exits with 1 when something is wrong.",
                        {kTableOption},
                        {"halvenor check", "halvenor check --table ~/inventory/HOME.DBF"}});
    commands.push_back({"find",
                        "WORDS...",
                        1,
                        64,
                        "write the items the filter box shows for some words",
                        "Writes the items in which every one of WORDS occurs in some text field (in any order; letter "
                        "case and accents do not count, so cafe finds Café), in the current sort order, as export "
                        "writes them: to standard output as delimited text, or to the file given with --out (text, "
                        "a workbook or a new dBASE table, replaced only when it is complete). Fields, their order and "
                        "the title line default to the export window's last choices. Exits with 0 also when no item "
                        "is found (the text then holds its title line only).",
                        {kTableOption,
                         {"out", "FILE", "Where to write the items. Default: standard output (text only)."},
                         {"format", "FORMAT",
                          "csv, xlsx or dbf. Default: dbf for a FILE ending in .dbf, xlsx for .xlsx, else csv.",
                          {"csv", "xlsx", "dbf"}},
                         {"fields", "LIST",
                          "Comma-separated fields in the order written, by field name or title (Item,Brand,\"Purchase "
                          "Date\")."},
                         {"titles", "", "Write a first line of field titles (text only; a workbook always has one)."},
                         {"no-titles", "", "Write no title line."}},
                        {"halvenor find blue lamp", "halvenor find --out attic.dbf attic"}});
    commands.push_back({"overview",
                        "",
                        0,
                        0,
                        "print what the items are worth, where, and which warranties end soon",
                        "Prints, over every item of the table: the item count and the items without any amount; "
                        "total Cost, Replacement Cost and Value, each item counted Quantity times as the reports "
                        "total them; the Value by Category, by Location and by Owner, largest first (past the "
                        "eleventh the rest together as \"Other\"); purchases by year from the Purchase Date; the "
                        "warranties that end within the next DAYS days and those that ended in the last 30.",
                        {kTableOption,
                         {"days", "DAYS", "How far ahead a warranty's end is listed. Default: 90."},
                         {"json", "", "Print the figures as one JSON object instead of text."}},
                        {"halvenor overview", "halvenor overview --json --days 30"}});
    return commands;
}

bool EndsWithDbf(std::string_view s) {
    if (s.size() < 5) return false;
    std::string tail(s.substr(s.size() - 4));
    for (char& c : tail) c = char(c >= 'A' && c <= 'Z' ? c + 32 : c);
    return tail == ".dbf";
}

const OptionSpec* FindOption(const CommandSpec& command, std::string_view name) {
    for (const OptionSpec& o : command.options)
        if (o.name == name) return &o;
    return nullptr;
}

std::string Quoted(std::string_view s) {
    // Arguments come from anywhere: keep the message one short, printable line.
    std::string out = "\"";
    size_t n = 0;
    for (char c : s) {
        if (++n > 60) {
            out += "...";
            break;
        }
        out += (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) ? '?' : c;
    }
    return out + "\"";
}

std::string SeeHelp(const CommandSpec* command) {
    return command ? "; see halvenor " + std::string(command->name) + " --help" : "; see halvenor --help";
}

Invocation Failure(std::string message, const CommandSpec* command) {
    Invocation inv;
    inv.face = Invocation::Face::Error;
    inv.command = command;
    inv.error = std::move(message) + SeeHelp(command);
    return inv;
}

// "a, b or c" (joiner " or "), or "a|b|c" (joiner "|").
std::string ChoiceList(const OptionSpec& o, const char* joiner) {
    const std::string_view last = joiner;
    const std::string_view between = last == "|" ? last : std::string_view(", ");
    std::string s;
    for (size_t i = 0; i < o.choices.size(); ++i) {
        if (i > 0) s += i + 1 == o.choices.size() ? last : between;
        s += o.choices[i];
    }
    return s;
}

bool IsHelp(std::string_view a) { return a == "--help" || a == "-h"; }

Invocation ParseCommand(const CommandSpec& command, const std::vector<std::string>& args) {
    // Help wins over everything else before "--".
    for (size_t i = 1; i < args.size() && args[i] != "--"; ++i) {
        if (IsHelp(args[i])) {
            Invocation help;
            help.face = Invocation::Face::Help;
            help.command = &command;
            return help;
        }
    }
    Invocation inv;
    inv.face = Invocation::Face::Command;
    inv.command = &command;
    const std::string name(command.name);
    bool optionsEnded = false;
    for (size_t i = 1; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (optionsEnded || a == "-" || a.empty() || a[0] != '-') {
            if (a.empty()) return Failure(name + ": an empty argument is no file name", &command);
            inv.operands.push_back(a);
            continue;
        }
        if (a == "--") {
            optionsEnded = true;
            continue;
        }
        if (a.size() < 3 || a[1] != '-') return Failure(name + ": unknown option " + Quoted(a), &command);
        const size_t eq = a.find('=');
        const std::string optionName = a.substr(2, eq == std::string::npos ? std::string::npos : eq - 2);
        const OptionSpec* option = FindOption(command, optionName);
        if (!option) return Failure(name + ": unknown option " + Quoted(a.substr(0, eq)), &command);
        const std::string shown = "--" + optionName;
        std::string value;
        if (option->value.empty()) {
            if (eq != std::string::npos) return Failure(name + ": " + shown + " takes no value", &command);
        } else if (eq != std::string::npos) {
            value = a.substr(eq + 1);
        } else if (i + 1 < args.size() && args[i + 1].rfind("--", 0) != 0) {
            value = args[++i];
        } else {
            return Failure(name + ": " + shown + " needs a value (" + std::string(option->value) + ")", &command);
        }
        if (!option->value.empty() && value.empty())
            return Failure(name + ": " + shown + " needs a value (" + std::string(option->value) + ")", &command);
        if (!option->choices.empty() &&
            std::find(option->choices.begin(), option->choices.end(), value) == option->choices.end())
            return Failure(name + ": " + shown + " must be " + ChoiceList(*option, " or ") + ", not " + Quoted(value),
                           &command);
        auto& values = inv.options[optionName];
        if (!values.empty() && !option->repeatable) return Failure(name + ": " + shown + " is given twice", &command);
        values.push_back(value);
    }
    for (const OptionSpec& o : command.options) {
        if (o.required && !inv.Flag(o.name))
            return Failure(name + " needs --" + std::string(o.name) + " " + std::string(o.value), &command);
    }
    const int count = int(inv.operands.size());
    if (count < command.minOperands)
        return Failure(name + " needs " + std::string(command.operands), &command);
    if (count > command.maxOperands) {
        const std::string extra = inv.operands[size_t(command.maxOperands)];
        if (command.maxOperands == 0)
            return Failure(name + " takes no file names, but was given " + Quoted(extra), &command);
        return Failure(name + " takes one " + std::string(command.operands) + "; " + Quoted(extra) + " is one too many",
                       &command);
    }
    return inv;
}

// Words of text wrapped to width columns, each line after the first
// starting with indent blanks.
std::string Wrap(std::string_view text, size_t indent, size_t first, size_t width = 79) {
    std::string out;
    size_t column = first;
    size_t pos = 0;
    bool lineEmpty = true;
    while (pos < text.size()) {
        const size_t end = std::min(text.find(' ', pos), text.size());
        const std::string_view word = text.substr(pos, end - pos);
        pos = end + 1;
        if (word.empty()) continue;
        if (!lineEmpty && column + 1 + word.size() > width) {
            out += "\n" + std::string(indent, ' ');
            column = indent;
            lineEmpty = true;
        }
        if (!lineEmpty) {
            out += ' ';
            ++column;
        }
        out += word;
        column += word.size();
        lineEmpty = false;
    }
    return out;
}

std::string ValueShown(const OptionSpec& o) {
    return o.choices.empty() ? std::string(o.value) : ChoiceList(o, "|");
}

// The usage line wrapped as it stands after first columns of other text.
std::string UsageLine(const CommandSpec& c, size_t first = 0) {
    std::string line = "halvenor " + std::string(c.name);
    for (const OptionSpec& o : c.options) {
        std::string part = "--" + std::string(o.name);
        if (!o.value.empty()) part += " " + ValueShown(o);
        line += " " + (o.required ? part : "[" + part + "]");
    }
    if (!c.operands.empty()) line += c.minOperands == 0 ? " [" + std::string(c.operands) + "]" : " " + std::string(c.operands);
    return Wrap(line, first + 8, first);
}

}  // namespace

const std::vector<CommandSpec>& Commands() {
    static const std::vector<CommandSpec> commands = MakeCommands();
    return commands;
}

const CommandSpec* FindCommand(std::string_view name) {
    for (const CommandSpec& c : Commands())
        if (c.name == name) return &c;
    return nullptr;
}

std::optional<std::string> Invocation::Value(std::string_view name) const {
    const auto it = options.find(name);
    if (it == options.end() || it->second.empty()) return std::nullopt;
    return it->second.back();
}

std::vector<std::string> Invocation::Values(std::string_view name) const {
    const auto it = options.find(name);
    return it == options.end() ? std::vector<std::string>{} : it->second;
}

Invocation Parse(const std::vector<std::string>& args) {
    Invocation inv;
    if (args.empty()) return inv;
    const std::string& first = args[0];
    if (IsHelp(first) || first == "help") {
        inv.face = Invocation::Face::Help;
        if (args.size() > 1) {
            inv.command = FindCommand(args[1]);
            if (!inv.command) return Failure("no command named " + Quoted(args[1]), nullptr);
        }
        return inv;
    }
    if (first == "--version") {
        inv.face = Invocation::Face::Version;
        return inv;
    }
    if (const CommandSpec* command = FindCommand(first)) return ParseCommand(*command, args);
    if (!first.empty() && first[0] == '-' && first != "-") return Failure("unknown option " + Quoted(first), nullptr);
    if (args.size() == 1 && EndsWithDbf(first)) {
        inv.file = first;
        return inv;
    }
    if (args.size() == 1 && (first.find('/') != std::string::npos || first.find('.') != std::string::npos))
        return Failure(Quoted(first) + " is neither a command nor a table (.DBF) to open", nullptr);
    return Failure("no command named " + Quoted(first), nullptr);
}

std::string HelpText() {
    std::string text =
        "Usage: halvenor                 start the window\n"
        "       halvenor FILE.DBF        start the window on that item table\n"
        "       halvenor COMMAND [OPTION...] [ARGUMENT]\n"
        "\n"
        "Halvenor Inventory keeps a household's possessions in a dBASE table. The\n"
        "commands work without a window, on the same settings and data folder as the\n"
        "window. Progress goes to standard error when it is a terminal; the exit code\n"
        "is 0 on success, 1 when a command failed or found a problem, 2 for wrong\n"
        "arguments.\n"
        "\n"
        "Commands:\n";
    for (const CommandSpec& c : Commands()) {
        std::string name = "  " + std::string(c.name);
        name.resize(12, ' ');
        text += name + Wrap(c.summary, 12, 12) + "\n";
    }
    text += "\n";
    for (const CommandSpec& c : Commands()) text += UsageLine(c) + "\n";
    text +=
        "\n"
        "Examples:\n";
    for (const CommandSpec& c : Commands()) text += "  " + std::string(c.examples.front()) + "\n";
    text +=
        "\n"
        "halvenor COMMAND --help tells a command's options. --version shows the\n"
        "version. Settings: $XDG_CONFIG_HOME/halvenor/KELDOR.INI; data:\n"
        "$XDG_DATA_HOME/halvenor.\n";
    return text;
}

std::string CommandHelp(const CommandSpec& c) {
    std::string text = "Usage: " + UsageLine(c, 7) + "\n\n" + Wrap(c.description, 0, 0) + "\n\nOptions:\n";
    for (const OptionSpec& o : c.options) {
        std::string left = "  --" + std::string(o.name);
        if (!o.value.empty()) left += " " + ValueShown(o);
        if (left.size() + 2 > 24) {
            text += left + "\n" + std::string(24, ' ');
        } else {
            left.resize(24, ' ');
            text += left;
        }
        text += Wrap(o.help, 24, 24) + "\n";
    }
    text += "  --help                Show this help.\n\nExamples:\n";
    for (std::string_view e : c.examples) text += "  " + std::string(e) + "\n";
    return text;
}

std::string VersionText() { return std::string("halvenor (Halvenor Inventory) ") + HALVENOR_VERSION + "\n"; }

}  // namespace cli
