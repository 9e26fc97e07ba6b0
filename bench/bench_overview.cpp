// Times the Overview's figures on generated item tables: one pass over
// every item for the totals, the three groupings, the purchase years and
// the warranty lists. Prints the time, the rate and the memory the pass
// added beyond the open table's.
//
//   bench_overview [size ...]      sizes as 10000, 100k or 1M; default 10k 100k 1M
//
// Timings are printed, never checked; the figures are checked against
// what the generated items must give, so that a fast wrong answer cannot
// pass for a result.

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>

#include "BenchItems.h"
#include "BenchSizes.h"
#include "ItemSchema.h"
#include "OverviewFigures.h"
#include "Table.h"

namespace {

namespace fs = std::filesystem;

double AnonMegabytes() {
    std::ifstream status("/proc/self/status");
    std::string key;
    while (status >> key) {
        long kb = 0;
        if (key == "RssAnon:" && status >> kb) return double(kb) / 1024.0;
        std::getline(status, key);
    }
    return 0;
}

bool RunSize(uint32_t n, const std::string& folder) {
    store::Table items;
    items.SetDirectory(folder);
    items.SetTableName("ITEMS");
    items.Create(store::ItemTableFieldDefs());
    items.Open();
    bench::AppendItems(items, n, 0x4F56 + n);
    items.Close();
    items.Open();  // as the window finds it: the records mapped, none read yet
    overview::Request request;
    request.records = items.DeliveredRecords();
    request.today = store::Date{2026, 12, 10};
    const double before = AnonMegabytes();
    double peak = before;
    const auto start = std::chrono::steady_clock::now();
    const auto figures = overview::ComputeFigures(items, request, [&](uint64_t, uint64_t) {
        peak = std::max(peak, AnonMegabytes());
        return true;
    });
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    peak = std::max(peak, AnonMegabytes());
    std::printf("%8u items   figures %.3f s   %.0f items/s   memory beyond the table's %.1f MB\n", n, seconds,
                seconds > 0 ? n / seconds : 0.0, peak - before);
    bool ok = figures && figures->items == n && figures->byLocation.size() == bench::kRooms.size() &&
              figures->byCategory.size() == 2 && figures->value > 0;
    uint64_t grouped = 0;
    if (figures)
        for (const auto& g : figures->byLocation) grouped += g.items;
    ok = ok && grouped == n;
    if (!ok) std::printf("  the figures are not what the items give\n");
    return ok;
}

}  // namespace

int main(int argc, char** argv) {
    const auto sizes = bench::SizesFromArguments(argc, argv);
    if (!sizes) return 2;
    std::string pattern = (fs::temp_directory_path() / "halvenor-overview-XXXXXX").string();
    if (!::mkdtemp(pattern.data())) {
        std::perror("cannot create a temporary folder");
        return 1;
    }
    bool ok = true;
    for (uint32_t n : *sizes) {
        ok = RunSize(n, pattern) && ok;
        std::error_code ignored;
        for (const auto& entry : fs::directory_iterator(pattern, ignored)) fs::remove_all(entry.path(), ignored);
    }
    std::error_code ignored;
    fs::remove_all(pattern, ignored);
    return ok ? 0 : 1;
}
