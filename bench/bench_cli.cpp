// Times the command line against the engines it runs, on generated item
// tables that carry the sort tag as the window leaves them:
//
//   - "halvenor export OUT.csv" as a separate process (start, settings,
//     table open, export) against ExportText in this process over the same
//     table in the same order;
//   - "halvenor check" (every record's values and the index against the
//     data) as a separate process.
//
//   bench_cli [size ...]      sizes as 10000, 100k or 1M; default 10k 100k 1M
//
// Timings are printed, never checked (the machine is shared); the exported
// files are compared so that a fast wrong answer cannot pass for a result.

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "BenchItems.h"
#include "BenchRuns.h"
#include "ExportEngine.h"
#include "ItemTable.h"
#include "SortExpression.h"
#include "Table.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point from) { return std::chrono::duration<double>(Clock::now() - from).count(); }

// Runs the program with the folder as its data and config home; the wall
// time, or nothing when it failed.
std::optional<double> RunProgram(const std::string& home, const std::vector<std::string>& args) {
    std::fflush(stdout);
    const auto start = Clock::now();
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::setenv("XDG_DATA_HOME", (home + "/data").c_str(), 1);
        ::setenv("XDG_CONFIG_HOME", (home + "/config").c_str(), 1);
        ::unsetenv("DISPLAY");
        ::unsetenv("QT_QPA_PLATFORM");
        std::vector<char*> argv;
        std::string program = HALVENOR_PROGRAM;
        argv.push_back(program.data());
        for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        if (!std::freopen("/dev/null", "w", stdout)) ::_exit(126);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    int status = 0;
    if (pid < 0 || ::waitpid(pid, &status, 0) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return std::nullopt;
    return Seconds(start);
}

bool SameFile(const std::string& a, const std::string& b) {
    std::ifstream x(a, std::ios::binary), y(b, std::ios::binary);
    std::string p((std::istreambuf_iterator<char>(x)), {}), q((std::istreambuf_iterator<char>(y)), {});
    return !p.empty() && p == q;
}

void Line(const char* what, uint32_t n, double seconds, const char* extra = "") {
    std::printf("  %-44s %8u rec %8.3f s %11.0f rec/s%s\n", what, n, seconds, seconds > 0 ? n / seconds : 0.0, extra);
    std::fflush(stdout);
}

bool RunSize(uint32_t n, const std::string& home) {
    std::printf("\n%u items\n", n);
    const std::string data = home + "/data/halvenor";
    fs::create_directories(data);
    const std::string table = data + "/MASTER.DBF";
    {
        store::Table items;
        store::PointAt(items, table);
        items.Create(store::ItemTableFieldDefs());
        items.Open();
        bench::AppendItems(items, n, 0x434C49 + n);
    }
    // The sort order of fresh settings (by Category), as the window builds it.
    const std::string expression = find::BuildSortString({12, 0, 0, 0});
    std::vector<int> all;
    std::vector<std::string> titles;
    for (int p = 1; p <= store::kItemFieldCount; ++p) {
        all.push_back(p);
        titles.emplace_back(store::SchemaAt(p).defaultTitle);
    }
    {
        // The window's first open builds the sort tag; the command finds it.
        store::Table items;
        store::PointAt(items, table);
        find::OpenInSortOrder(items, expression);
    }
    double engine = 0, open = 0;
    {
        store::Table items;
        store::PointAt(items, table);
        const auto opening = Clock::now();
        find::OpenInSortOrder(items, expression);
        open = Seconds(opening);
        const auto start = Clock::now();
        const auto result = exchange::ExportText(items, {home + "/engine.csv", all, titles}, {});
        engine = Seconds(start);
        if (result.outcome != exchange::Outcome::Completed || result.records != n) {
            std::printf("  engine export failed: %s\n", result.message.c_str());
            return false;
        }
    }
    Line("open in the sort order, engine", n, open);
    Line("export to text, engine (sorted)", n, engine);
    const auto command = RunProgram(home, {"export", home + "/command.csv"});
    if (!command || !SameFile(home + "/engine.csv", home + "/command.csv")) {
        std::printf("  halvenor export failed or wrote another file\n");
        return false;
    }
    char ratio[64];
    std::snprintf(ratio, sizeof ratio, "   %.1f%% of the engine's open and export", 100.0 * *command / (open + engine));
    Line("halvenor export (whole process)", n, *command, ratio);

    const auto check = RunProgram(home, {"check"});
    if (!check) {
        std::printf("  halvenor check failed\n");
        return false;
    }
    Line("halvenor check (whole process)", n, *check);
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    store::SetCurrentDateFormat(store::DateFormat('/', store::DateFormat::Order::MonthDayYear, false));
    return bench::RunSizes(argc, argv, "halvenor-cli", RunSize);
}
