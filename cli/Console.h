#pragma once
// Where a command's output goes: its results to standard output, messages
// and progress to standard error, progress only when standard error is a
// terminal. Tests give string streams and a descriptor of their own.

#include <atomic>
#include <chrono>
#include <cstdint>
#include <ostream>
#include <string>

namespace cli {

struct Console {
    std::ostream& out;
    std::ostream& err;
    bool progress = false;  // draw progress lines on err
    int outFd = 1;          // where "-" (standard output) writes raw bytes
};

// Set by the interrupt handler of the program; a running command stops at
// its next progress report and changes nothing.
std::atomic<bool>& InterruptRequested();

// One line of progress on a terminal, redrawn at most ten times a second
// and cleared when done.
class ProgressLine {
public:
    ProgressLine(Console& console, std::string label);
    ~ProgressLine();
    // done of total in unit ("items", "bytes"); false when the user
    // interrupted the command.
    bool Show(uint64_t done, uint64_t total, const char* unit);
    void Clear();

private:
    Console& m_console;
    std::string m_label;
    std::chrono::steady_clock::time_point m_last{};
    bool m_drawn = false;
};

}  // namespace cli
