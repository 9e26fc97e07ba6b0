#pragma once
// The program's command-line face: runs what the arguments ask for except
// the window (help, version, a command) and gives the exit code.

#include <string>
#include <vector>

#include "CommandLine.h"
#include "Console.h"

namespace cli {

// Help, version, an argument error or a command. A command needs a Qt GUI
// application object (reports measure text with Qt) and loads the settings
// of the current XDG folders.
int Run(const Invocation& invocation, Console& console);

// The arguments after the program's name.
std::vector<std::string> ArgumentsOf(int argc, char** argv);

// Everything but the window, from the program's entry: makes the Qt
// application a command needs (no display: the offscreen platform), quiets
// Qt's own warnings, stops a command cleanly on an interrupt, and writes to
// the process's standard streams.
int RunWithoutWindow(const Invocation& invocation, int argc, char** argv);

}  // namespace cli
