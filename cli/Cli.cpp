#include "Cli.h"

#include <QGuiApplication>
#include <csignal>
#include <iostream>
#include <unistd.h>

#include "AppPaths.h"
#include "EngineError.h"
#include "Session.h"

namespace cli {
namespace {

using CommandFn = int (*)(Session&);

CommandFn CommandFor(std::string_view name) {
    static const std::pair<std::string_view, CommandFn> kCommands[] = {
        {"export", RunExport}, {"import", RunImport}, {"report", RunReport},
        {"backup", RunBackup}, {"restore", RunRestore}, {"check", RunCheck}, {"overview", RunOverview},
        {"find", RunFind},
    };
    for (const auto& [n, fn] : kCommands)
        if (n == name) return fn;
    return nullptr;
}

void OneLine(std::string& text) {
    for (char& c : text)
        if (c == '\n' || c == '\r') c = ' ';
}

// A command stops at its next progress report once asked to. One that is
// waiting (for a lock another program holds) is given a moment and then
// ended: every command leaves its files whole whenever it ends, so the end
// is as clean as a stop.
constexpr unsigned kGraceSeconds = 3;

void EndNow(int) { ::_exit(kExitCancelled); }

void Interrupted(int) {
    // A second interrupt ends the program at once.
    if (InterruptRequested().exchange(true)) ::_exit(kExitCancelled);
    ::alarm(kGraceSeconds);
}

void OnSignal(int signo, void (*handler)(int)) {
    struct sigaction sa {};
    sa.sa_handler = handler;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    ::sigaction(signo, &sa, nullptr);
}

void QuietQt(QtMsgType type, const QMessageLogContext&, const QString& message) {
    if (type == QtFatalMsg) {
        std::cerr << "halvenor: " << message.toStdString() << "\n";
        std::abort();
    }
}

}  // namespace

int Run(const Invocation& inv, Console& console) {
    switch (inv.face) {
    case Invocation::Face::Help:
        console.out << (inv.command ? CommandHelp(*inv.command) : HelpText()) << std::flush;
        return kExitOk;
    case Invocation::Face::Version:
        console.out << VersionText() << std::flush;
        return kExitOk;
    case Invocation::Face::Error:
        console.err << "halvenor: " << inv.error << "\n" << std::flush;
        return kExitUsage;
    case Invocation::Face::Window:
        console.err << "halvenor: the window cannot be started from here\n" << std::flush;
        return kExitUsage;
    case Invocation::Face::Command:
        break;
    }
    const std::string name(inv.command->name);
    const CommandFn run = CommandFor(name);
    std::string message;
    int code = kExitFailed;
    try {
        Session session(inv, console);
        return run(session);
    } catch (const CommandError& e) {
        message = e.what();
        code = e.Code();
    } catch (const std::exception& e) {
        message = e.what();
    }
    OneLine(message);
    console.err << "halvenor " << name << ": " << message << "\n" << std::flush;
    return code;
}

std::vector<std::string> ArgumentsOf(int argc, char** argv) {
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i) args.emplace_back(argv[i]);
    return args;
}

int RunWithoutWindow(const Invocation& inv, int argc, char** argv) {
    Console console{std::cout, std::cerr, ::isatty(2) == 1, 1};
    if (inv.face != Invocation::Face::Command) return Run(inv, console);
    // Commands never show a window; reports still measure text with Qt.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qInstallMessageHandler(QuietQt);
    int qtArgc = argc > 0 ? 1 : 0;
    QGuiApplication app(qtArgc, argv);
    QGuiApplication::setApplicationName("Halvenor Inventory");
    common::AppPaths::RecordStartDirectory();
    OnSignal(SIGALRM, EndNow);
    OnSignal(SIGINT, Interrupted);
    OnSignal(SIGTERM, Interrupted);
    return Run(inv, console);
}

}  // namespace cli
