#pragma once
// What every export and import run shares with its caller: the progress it
// reports while it works (and through which the caller may stop it), and
// how it ended. The runs never show anything themselves: a window turns the
// reports into a progress bar and message boxes, the command line into
// lines on stderr and an exit code.

#include <cstdint>
#include <functional>
#include <string>

namespace exchange {

struct Progress {
    uint64_t records = 0;  // records written or imported so far
    uint64_t done = 0;     // work done, in the unit of total
    uint64_t total = 0;    // records to export, source records or source bytes
};

// Called every few thousand records (and at least every megabyte of input);
// returning false cancels the run.
using ProgressFn = std::function<bool(const Progress&)>;

enum class Outcome { Completed, Cancelled, Failed };

struct RunResult {
    RunResult() = default;
    RunResult(Outcome outcome, uint64_t records, std::string message, std::string notice = {})
        : outcome(outcome), records(records), message(std::move(message)), notice(std::move(notice)) {}

    Outcome outcome = Outcome::Completed;
    uint64_t records = 0;  // records written (export) or added to the item table (import)
    std::string message;   // for Failed and Cancelled: what the user is told
    // For Completed: what the user is told besides that the run completed
    // (an import that read lines not in the format); a run with a notice
    // has not gone as it should.
    std::string notice;
};

}  // namespace exchange
