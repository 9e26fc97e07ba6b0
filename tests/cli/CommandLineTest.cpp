// The command line's arguments: which face a run shows, what a command is
// given, and that every wrong argument comes back as one printable line.

#include <QtTest>
#include <random>

#include "CommandLine.h"

using cli::Invocation;
using Face = cli::Invocation::Face;

namespace {

std::vector<std::string> Args(const QString& line) {
    std::vector<std::string> args;
    for (const QString& a : line.split(' ', Qt::SkipEmptyParts)) args.push_back(a.toStdString());
    return args;
}

bool Printable(const std::string& s) {
    for (char c : s)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) return false;
    return true;
}

}  // namespace

class CommandLineTest : public QObject {
    Q_OBJECT

private slots:
    void faces_data() {
        QTest::addColumn<QString>("args");
        QTest::addColumn<int>("face");
        QTest::addColumn<QString>("command");
        QTest::newRow("nothing: the window") << "" << int(Face::Window) << "";
        QTest::newRow("a table: the window") << "items/HOME.DBF" << int(Face::Window) << "";
        QTest::newRow("lower-case extension") << "home.dbf" << int(Face::Window) << "";
        QTest::newRow("help") << "--help" << int(Face::Help) << "";
        QTest::newRow("short help") << "-h" << int(Face::Help) << "";
        QTest::newRow("help of a command") << "help report" << int(Face::Help) << "report";
        QTest::newRow("command --help") << "export --help" << int(Face::Help) << "export";
        QTest::newRow("help wins over a bad option") << "export --bogus --help" << int(Face::Help) << "export";
        QTest::newRow("version") << "--version" << int(Face::Version) << "";
        QTest::newRow("a command") << "check" << int(Face::Command) << "check";
        QTest::newRow("help after -- is an operand") << "export -- --help" << int(Face::Command) << "export";
    }
    void faces() {
        QFETCH(QString, args);
        QFETCH(int, face);
        QFETCH(QString, command);
        const Invocation inv = cli::Parse(Args(args));
        QCOMPARE(int(inv.face), face);
        QCOMPARE(QString::fromStdString(inv.command ? std::string(inv.command->name) : ""), command);
        if (args.endsWith(".DBF", Qt::CaseInsensitive)) QCOMPARE(QString::fromStdString(inv.file), args);
    }

    void optionsAndOperands() {
        Invocation inv = cli::Parse({"export", "--table=/t/M.DBF", "--fields", "Item,Brand", "--no-titles", "-"});
        QCOMPARE(int(inv.face), int(Face::Command));
        QCOMPARE(*inv.Value("table"), std::string("/t/M.DBF"));
        QCOMPARE(*inv.Value("fields"), std::string("Item,Brand"));
        QVERIFY(inv.Flag("no-titles"));
        QVERIFY(!inv.Flag("titles"));
        QVERIFY(!inv.Value("format"));
        QCOMPARE(inv.operands, std::vector<std::string>{"-"});

        inv = cli::Parse({"import", "--map", "a=Item", "in.csv", "--map=b=Brand"});
        QCOMPARE(inv.Values("map"), (std::vector<std::string>{"a=Item", "b=Brand"}));
        QCOMPARE(inv.operands, std::vector<std::string>{"in.csv"});

        inv = cli::Parse({"export", "--", "-odd name"});
        QCOMPARE(inv.operands, std::vector<std::string>{"-odd name"});
        inv = cli::Parse({"backup", "--to", "/media/x", "--lists", "--settings"});
        QCOMPARE(int(inv.face), int(Face::Command));
        QVERIFY(inv.Flag("lists") && inv.Flag("settings") && !inv.Flag("database"));
    }

    void wrongArguments_data() {
        QTest::addColumn<QString>("args");
        QTest::addColumn<QString>("message");
        QTest::newRow("unknown command") << "expotr out.csv" << "no command named \"expotr\"";
        QTest::newRow("unknown command alone") << "frobnicate" << "no command named \"frobnicate\"";
        QTest::newRow("a file that is no table") << "notes.txt" << "\"notes.txt\" is neither a command nor a table";
        QTest::newRow("a path that is no table") << "old/inventory" << "\"old/inventory\" is neither a command nor a table";
        QTest::newRow("unknown program option") << "--bogus" << "unknown option \"--bogus\"";
        QTest::newRow("unknown command option") << "export --bogus x.csv" << "export: unknown option \"--bogus\"";
        QTest::newRow("short option") << "export -x x.csv" << "export: unknown option \"-x\"";
        QTest::newRow("a long name after one dash") << "export -xformat csv x.csv"
                                                     << "export: unknown option \"-xformat\"";
        QTest::newRow("operand missing") << "export" << "export needs OUT";
        QTest::newRow("operand too many") << "export a.csv b.csv" << "\"b.csv\" is one too many";
        QTest::newRow("no operands taken") << "check x.dbf" << "check takes no file names";
        QTest::newRow("no operands taken by restore") << "restore --from saved x.dbf"
                                                      << "restore takes no file names, but was given \"x.dbf\"";
        QTest::newRow("value not a choice") << "export --format xls a" << "--format must be csv, xlsx or dbf, not \"xls\"";
        QTest::newRow("value missing at the end") << "export a --table" << "--table needs a value (PATH)";
        QTest::newRow("option where a value belongs") << "export --table --format csv a" << "--table needs a value";
        QTest::newRow("empty value") << "export --table= a" << "--table needs a value";
        QTest::newRow("flag given a value") << "export --titles=yes a" << "--titles takes no value";
        QTest::newRow("given twice") << "export --format=csv --format dbf a" << "--format is given twice";
        QTest::newRow("required option") << "backup --lists" << "backup needs --to FOLDER";
        QTest::newRow("help of no command") << "help frobnicate" << "no command named \"frobnicate\"";
    }
    void wrongArguments() {
        QFETCH(QString, args);
        QFETCH(QString, message);
        const Invocation inv = cli::Parse(Args(args));
        QCOMPARE(int(inv.face), int(Face::Error));
        QVERIFY2(QString::fromStdString(inv.error).contains(message), inv.error.c_str());
        QVERIFY2(QString::fromStdString(inv.error).contains("--help"), inv.error.c_str());
        QVERIFY(Printable(inv.error));
    }

    // What comes from the terminal is shown shortened and without control
    // characters: an escape sequence in a file name cannot repaint the screen.
    void argumentsInMessagesStayOneShortLine() {
        const std::string nasty = "\x1b[2J\nrm -rf" + std::string(500, 'x') + ".txt";
        for (const auto& args : {std::vector<std::string>{nasty}, {"export", "--" + nasty}, {"export", "--format", nasty, "a"}}) {
            const Invocation inv = cli::Parse(args);
            QCOMPARE(int(inv.face), int(Face::Error));
            QVERIFY(Printable(inv.error));
            QVERIFY2(inv.error.size() < 200, inv.error.c_str());
        }
        const Invocation empty = cli::Parse({"export", ""});
        QCOMPARE(int(empty.face), int(Face::Error));
    }

    // The help is made from the command table: every command and option
    // shows up, and lines fit a terminal of 80 columns without touching
    // its last one.
    void helpCoversEveryCommandAndOption() {
        const QString overview = QString::fromStdString(cli::HelpText());
        for (const cli::CommandSpec& c : cli::Commands()) {
            QVERIFY(overview.contains(QString::fromStdString("halvenor " + std::string(c.name))));
            const QString help = QString::fromStdString(cli::CommandHelp(c));
            for (const cli::OptionSpec& o : c.options) QVERIFY(help.contains("--" + QString::fromStdString(std::string(o.name))));
            QVERIFY(!c.examples.empty());
            for (const QString& text : {overview, help})
                for (const QString& line : text.split('\n')) QVERIFY2(line.size() <= 79, qPrintable(line));
            // Its summary in a column of its own, from the thirteenth character.
            const QString lead = ("  " + QString::fromLatin1(c.name.data(), qsizetype(c.name.size()))).leftJustified(12) +
                                 QString::fromStdString(std::string(c.summary)).section(' ', 0, 0) + ' ';
            QVERIFY2(overview.contains('\n' + lead), qPrintable(lead));
        }
        QVERIFY(QString::fromStdString(cli::VersionText()).startsWith("halvenor (Halvenor Inventory) "));
    }

    // A command's help: the usage wrapped under itself, each option's help
    // in a column from the 25th character.
    void commandHelpKeepsItsColumns() {
        const cli::CommandSpec* command = cli::FindCommand("export");
        QVERIFY(command);
        const std::string help = cli::CommandHelp(*command);
        QVERIFY2(help.rfind("Usage: halvenor export [--table PATH] [--format csv|xlsx|dbf] [--fields LIST]\n"
                            "               [--titles] [--no-titles] [--attachments] OUT\n\n",
                            0) == 0,
                 help.c_str());
        QVERIFY2(help.find("\n  --table PATH          The item table (.DBF) to work on. Default: the database\n"
                           "                        the window last had open") != std::string::npos,
                 help.c_str());
        QVERIFY2(help.find("\n  --titles              ") != std::string::npos, help.c_str());

        // An option that fills its column to two blanks before the help
        // keeps its help beside it; one character more puts it below.
        const cli::CommandSpec wide{"wide", "", 0, 0, "", "Wide options.",
                                    {{"abcdefghijklmnopqr", "", "Fits."}, {"abcdefghijklmnopqrs", "", "Below."}}, {"x"}};
        const std::string widths = cli::CommandHelp(wide);
        QVERIFY2(widths.find("\n  --abcdefghijklmnopqr  Fits.\n") != std::string::npos, widths.c_str());
        QVERIFY2(widths.find("\n  --abcdefghijklmnopqrs\n                        Below.\n") != std::string::npos,
                 widths.c_str());
    }

    // The manual page is written by hand: it must not fall behind the table.
    void manualPageNamesEveryCommandAndOption() {
        QFile page(QStringLiteral(HALVENOR_SOURCE_DIR "/dist/halvenor.1"));
        QVERIFY(page.open(QIODevice::ReadOnly));
        const QString text = QString::fromUtf8(page.readAll());
        for (const cli::CommandSpec& c : cli::Commands()) {
            QVERIFY2(text.contains(".B halvenor " + QString::fromStdString(std::string(c.name))), c.name.data());
            for (const cli::OptionSpec& o : c.options) {
                const QString option = "\\-\\-" + QString::fromStdString(std::string(o.name)).replace("-", "\\-");
                QVERIFY2(text.contains(option), qPrintable(option));
            }
        }
    }

    // Any arguments at all give one of the faces, never a crash; errors are
    // one printable line.
    void randomArgumentsNeverBreakTheParser() {
        std::mt19937 rng(19);
        const std::vector<std::string> pieces = {"export", "import", "report", "check", "backup", "restore", "--table",
                                                 "--format", "csv", "--map", "a=b", "--to", "-", "--", "--help", "x.dbf",
                                                 "=", "--=", "---", "", "\xff\xfe", "--list", "--fields=", "help"};
        for (int round = 0; round < 5000; ++round) {
            std::vector<std::string> args(rng() % 6);
            for (auto& a : args) a = pieces[rng() % pieces.size()];
            const Invocation inv = cli::Parse(args);
            if (inv.face == Face::Error) QVERIFY(Printable(inv.error) && !inv.error.empty());
            if (inv.face == Face::Command) {
                QVERIFY(inv.command);
                QVERIFY(int(inv.operands.size()) <= inv.command->maxOperands);
            }
        }
    }
};

QTEST_APPLESS_MAIN(CommandLineTest)
#include "CommandLineTest.moc"
