// Times export and import on generated item tables and compares them with
// GDAL's ogr2ogr over the same files in the same run: export to delimited
// text against "ogr2ogr -f CSV", export to a new dBASE table, import of the
// exported text and of the exported table into an empty item table against
// ogr2ogr writing the same text into a DBF; the same text through the
// spreadsheet import (checked, then imported), and a workbook written and
// read back. Prints records per second, the ratio to ogr2ogr and the peak
// memory of each run.
//
//   bench_exchange [size ...]      sizes as 10000, 100k or 1M; default 10k 100k 1M
//
// Timings are printed, never checked (the machine is shared); counts and a
// few values are checked so that a fast wrong answer cannot pass for a
// result. ogr2ogr comes from Debian's gdal-bin; without it only our own
// figures are printed.

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "BenchItems.h"
#include "BenchRng.h"
#include "BenchRuns.h"
#include "DateFormat.h"
#include "ExportEngine.h"
#include "HeaderMapping.h"
#include "ImportEngine.h"
#include "SheetImport.h"
#include "ItemSchema.h"
#include "ItemTable.h"
#include "Table.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point from) { return std::chrono::duration<double>(Clock::now() - from).count(); }

// Resident anonymous memory (heap and stacks, not mapped files) in MB.
using bench::AnonMegabytes;

struct Run {
    std::string operation;
    uint64_t records = 0;
    double seconds = 0;
    double peakMb = 0;  // ours: sampled resident anonymous memory; ogr2ogr: its peak resident set
    double cpuSeconds = 0;  // user and system time: what a loaded machine's waiting leaves out
    double Rate() const { return seconds > 0 ? double(records) / seconds : 0; }
};

double CpuSeconds(const rusage& u) {
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) + double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

double OwnCpuSeconds() {
    rusage u{};
    ::getrusage(RUSAGE_SELF, &u);
    return CpuSeconds(u);
}

void Print(const Run& r, const std::optional<Run>& reference = std::nullopt) {
    std::printf("  %-36s %8llu rec %8.3f s %11.0f rec/s  cpu %7.3f s  peak %6.1f MB", r.operation.c_str(),
                static_cast<unsigned long long>(r.records), r.seconds, r.Rate(), r.cpuSeconds, r.peakMb);
    if (reference && reference->Rate() > 0) {
        std::printf("   %.1fx ogr2ogr", r.Rate() / reference->Rate());
        if (r.cpuSeconds > 0 && reference->cpuSeconds > 0)
            std::printf(" (%.1fx by cpu)", reference->cpuSeconds / r.cpuSeconds);
    }
    std::printf("\n");
    std::fflush(stdout);
}

// Runs a command, returning its time and peak resident set; nullopt when it
// cannot run or fails.
std::optional<Run> RunCommand(const std::string& name, const std::vector<std::string>& args, uint64_t records) {
    std::fflush(stdout);  // or the child would print what is still buffered
    const auto start = Clock::now();
    const pid_t pid = ::fork();
    if (pid == 0) {
        std::vector<char*> argv;
        for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        if (!std::freopen("/dev/null", "w", stdout) || !std::freopen("/dev/null", "w", stderr)) ::_exit(126);
        ::execvp(argv[0], argv.data());
        ::_exit(127);
    }
    int status = 0;
    rusage usage{};
    if (pid < 0 || ::wait4(pid, &status, 0, &usage) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return std::nullopt;
    return Run{name, records, Seconds(start), double(usage.ru_maxrss) / 1024.0, CpuSeconds(usage)};
}

class Checks {
public:
    void Expect(bool ok, const std::string& what) {
        if (ok) return;
        ++m_failures;
        std::printf("  CHECK FAILED: %s\n", what.c_str());
    }
    int Failures() const { return m_failures; }

private:
    int m_failures = 0;
};

// Times one of our runs, sampling memory at its progress reports.
template <class F>
Run Measure(const std::string& name, F run) {
    double peak = AnonMegabytes();
    const exchange::ProgressFn progress = [&](const exchange::Progress&) {
        peak = std::max(peak, AnonMegabytes());
        return true;
    };
    const auto start = Clock::now();
    const double cpuStart = OwnCpuSeconds();
    const exchange::RunResult result = run(progress);
    Run r{name, result.records, Seconds(start), std::max(peak, AnonMegabytes()), OwnCpuSeconds() - cpuStart};
    if (result.outcome != exchange::Outcome::Completed) {
        std::printf("  %s failed: %s\n", name.c_str(), result.message.c_str());
        r.records = 0;
    }
    return r;
}

// Whether the delivered records follow Category, then Item, letter case
// ignored, as the sort tag orders them.
bool InKeyOrder(store::Table& t) {
    const int category = t.FieldIndex("Category"), item = t.FieldIndex("Item");
    auto key = [&](uint32_t r) {
        const store::RecordView v = t.ViewOf(r);
        std::string k = std::string(v.Raw(category).substr(0, 20)) + std::string(v.Raw(item).substr(0, 20));
        for (char& c : k)
            if (c >= 'a' && c <= 'z') c = char(c - 32);
        return k;
    };
    const std::vector<uint32_t>& order = t.DeliveredRecords();
    for (size_t i = 1; i < order.size(); ++i) {
        const int c = key(order[i - 1]).compare(key(order[i]));
        if (c > 0 || (c == 0 && order[i - 1] > order[i])) return false;
    }
    return true;
}

void FreshItemTable(store::Table& t, const std::string& folder, const std::string& name) {
    t.Close();
    t.SetActiveIndex("");
    t.SetDirectory(folder);
    t.SetTableName(name);
    t.Create(store::ItemTableFieldDefs());
    t.Open();
}

void RunSize(uint32_t n, const std::string& folder, Checks& checks) {
    std::printf("\n%u items\n", n);
    store::Table items;
    FreshItemTable(items, folder, "ITEMS");
    bench::AppendItems(items, n, 0x45584348 + n);
    const std::string source = folder + "/ITEMS.DBF";
    const std::string text = folder + "/export.txt";
    const std::string table = folder + "/EXPORT.DBF";
    std::vector<int> all;
    std::vector<std::string> titles;
    for (int p = 1; p <= store::kItemFieldCount; ++p) {
        all.push_back(p);
        titles.emplace_back(store::SchemaAt(p).defaultTitle);
    }

    // Export.
    const auto ogrCsv = RunCommand("ogr2ogr -f CSV (dBASE to text)",
                                   {"ogr2ogr", "-f", "CSV", folder + "/ogr.csv", source}, n);
    const Run toText = Measure("export to text", [&](const exchange::ProgressFn& p) {
        return exchange::ExportText(items, {text, all, titles}, p);
    });
    if (ogrCsv) Print(*ogrCsv);
    Print(toText, ogrCsv);
    checks.Expect(toText.records == n, "export to text wrote every record");
    const Run toTable = Measure("export to dBASE", [&](const exchange::ProgressFn& p) {
        return exchange::ExportDbf(items, {table, all, {}}, p);
    });
    Print(toTable, ogrCsv);
    checks.Expect(toTable.records == n, "export to dBASE wrote every record");
    items.Close();
    fs::remove(source);

    // Import into an empty item table.
    const auto ogrDbf = RunCommand("ogr2ogr text to DBF",
                                   {"ogr2ogr", "-f", "ESRI Shapefile", folder + "/ogr.dbf", "CSV:" + text}, n);
    store::Table target;
    FreshItemTable(target, folder, "TARGET");
    const Run fromText = Measure("import text", [&](const exchange::ProgressFn& p) {
        exchange::ImportRequest request;
        request.path = text;
        request.map = all;
        return exchange::ImportText(target, request, p);
    });
    if (ogrDbf) Print(*ogrDbf);
    Print(fromText, ogrDbf);
    checks.Expect(fromText.records == n && target.RecordCount() == n, "text import added every record");

    // The same text through the spreadsheet import: checked (read and
    // converted, nothing written), then imported as one change.
    exchange::SheetImportRequest sheet;
    sheet.source.path = text;
    sheet.map = all;
    FreshItemTable(target, folder, "TARGET");
    sheet.checkOnly = true;
    exchange::SheetImportResult checked;
    const Run checkCsv = Measure("check text as CSV (nothing written)", [&](const exchange::ProgressFn& p) {
        checked = exchange::ImportSheet(target, sheet, p);
        return exchange::RunResult{checked.run.outcome, checked.rows, checked.run.message};
    });
    Print(checkCsv, ogrDbf);
    checks.Expect(checked.rows == n && checked.problemCount == 0 && target.RecordCount() == 0,
                  "the check read every row, found no problem and wrote nothing");
    sheet.checkOnly = false;
    const Run fromCsv = Measure("import text as CSV", [&](const exchange::ProgressFn& p) {
        return exchange::ImportSheet(target, sheet, p).run;
    });
    Print(fromCsv, ogrDbf);
    checks.Expect(fromCsv.records == n && target.RecordCount() == n, "CSV import added every record");
    if (fromCsv.seconds > 0)
        std::printf("  the CSV import (every row converted before anything is written) takes %.2fx the quoted import's "
                    "time; a check alone (import --check) %.0f %% of the import's\n",
                    fromCsv.seconds / fromText.seconds, 100.0 * checkCsv.seconds / fromCsv.seconds);

    FreshItemTable(target, folder, "TARGET");
    // The exported table's fields, each to the item field of its name.
    exchange::ImportRequest byName;
    byName.path = table;
    byName.map = exchange::MapByName(exchange::ExamineDbfSource(table).names);
    const Run fromTable = Measure("import dBASE", [&](const exchange::ProgressFn& p) {
        return exchange::ImportDbf(target, byName, p);
    });
    Print(fromTable, ogrDbf);
    checks.Expect(fromTable.records == n && target.RecordCount() == n, "dBASE import added every record");
    // The main window's item table carries the sort tag; the engine keeps
    // it in step with the records added, merging them into its order in
    // long runs.
    {
        store::Table sorted;
        FreshItemTable(sorted, folder, "SORTED");
        sorted.AddIndex("NewIndex", "UPPER(LEFT(Category,20))+UPPER(LEFT(Item,20))");
        sorted.SetActiveIndex("NewIndex");
        const Run withTag = Measure("import dBASE, sort tag kept", [&](const exchange::ProgressFn& p) {
            return exchange::ImportDbf(sorted, byName, p);
        });
        Print(withTag, ogrDbf);
        checks.Expect(withTag.records == n && sorted.RecordCount() == n, "import with a sort tag added every record");
        checks.Expect(InKeyOrder(sorted), "the sort tag's order holds after the import");
    }
    // A workbook: out of the exported table's copy, and back in.
    {
        store::Table copy;
        FreshItemTable(copy, folder, "COPY");
        exchange::ImportDbf(copy, byName, {});
        const std::string book = folder + "/export.xlsx";
        const Run toBook = Measure("export to workbook", [&](const exchange::ProgressFn& p) {
            return exchange::ExportXlsx(copy, {book, all, titles}, p);
        });
        Print(toBook, ogrCsv);
        checks.Expect(toBook.records == n, "export to workbook wrote every record");
        copy.Close();
        store::Table back;
        FreshItemTable(back, folder, "BACK");
        exchange::SheetImportRequest fromBook;
        fromBook.source = {book, exchange::SheetFormat::Xlsx};
        fromBook.map = all;
        const Run bookIn = Measure("import workbook", [&](const exchange::ProgressFn& p) {
            return exchange::ImportSheet(back, fromBook, p).run;
        });
        Print(bookIn, ogrDbf);
        checks.Expect(bookIn.records == n && back.RecordCount() == n, "workbook import added every record");
    }
    // What went out came back: the last record's Item and Cost.
    if (n > 0) {
        target.Last();
        store::Table exported;
        store::PointAt(exported, table);
        exported.Open();
        exported.Last();
        checks.Expect(target.GetText("Item") == exported.GetText("Item") &&
                          target.GetText("Cost") == exported.GetText("Cost"),
                      "the last record came back as it went out");
    }
    if (!ogrCsv || !ogrDbf) std::printf("  (ogr2ogr did not run: install Debian's gdal-bin for the comparison)\n");
}

}  // namespace

int main(int argc, char** argv) {
    const auto sizes = bench::SizesFromArguments(argc, argv);
    if (!sizes) return 2;
    store::SetCurrentDateFormat(store::DateFormat('/', store::DateFormat::Order::MonthDayYear, true));

    std::string pattern = (fs::temp_directory_path() / "halvenor-exchange-XXXXXX").string();
    if (!::mkdtemp(pattern.data())) {
        std::perror("cannot create a temporary folder");
        return 1;
    }
    Checks checks;
    for (uint32_t n : *sizes) {
        RunSize(n, pattern, checks);
        std::error_code ignored;
        for (const auto& entry : fs::directory_iterator(pattern, ignored)) fs::remove_all(entry.path(), ignored);
    }
    std::error_code ignored;
    fs::remove_all(pattern, ignored);
    if (checks.Failures() > 0) {
        std::printf("\n%d check(s) failed\n", checks.Failures());
        return 1;
    }
    return 0;
}
