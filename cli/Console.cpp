#include "Console.h"

namespace cli {

std::atomic<bool>& InterruptRequested() {
    static std::atomic<bool> requested{false};
    return requested;
}

ProgressLine::ProgressLine(Console& console, std::string label) : m_console(console), m_label(std::move(label)) {}

ProgressLine::~ProgressLine() { Clear(); }

bool ProgressLine::Show(uint64_t done, uint64_t total, const char* unit) {
    if (InterruptRequested().load()) return false;
    if (!m_console.progress) return true;
    const auto now = std::chrono::steady_clock::now();
    if (m_drawn && now - m_last < std::chrono::milliseconds(100) && done < total) return true;
    m_last = now;
    std::string line = "\r" + m_label + ": " + std::to_string(done);
    if (total > 0) line += " of " + std::to_string(total) + " " + unit + " (" + std::to_string(done * 100 / total) + "%)";
    else line += std::string(" ") + unit;
    m_console.err << line << "\x1b[K" << std::flush;
    m_drawn = true;
    return true;
}

void ProgressLine::Clear() {
    if (!m_drawn) return;
    m_console.err << "\r\x1b[K" << std::flush;
    m_drawn = false;
}

}  // namespace cli
