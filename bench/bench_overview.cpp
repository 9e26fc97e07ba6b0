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
#include <string>

#include "BenchItems.h"
#include "BenchRuns.h"
#include "ItemSchema.h"
#include "OverviewFigures.h"
#include "Table.h"

namespace {

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
    const double before = bench::AnonMegabytes();
    double peak = before;
    const auto start = std::chrono::steady_clock::now();
    const auto figures = overview::ComputeFigures(items, request, [&](uint64_t, uint64_t) {
        peak = std::max(peak, bench::AnonMegabytes());
        return true;
    });
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    peak = std::max(peak, bench::AnonMegabytes());
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

int main(int argc, char** argv) { return bench::RunSizes(argc, argv, "halvenor-overview", RunSize); }
