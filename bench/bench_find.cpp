// Times searching and locating on generated item tables and prints records
// per second: applying a two-level search of three criteria (what "&Ok" of
// the search window makes the table do: compile the criteria, filter every
// record) in physical and in index order, and locating a value that lies
// near the end of the table (from the first record, as "Fi&rst" does), on a
// text field and, exactly, on a money field; and search and replace of one
// field as the command runs it (sole use, the sort tag dropped, every match
// posted through the engine's ordinary record writes, the tag built again
// and the table shared again). Each size runs in a temporary folder that is
// removed afterwards.
//
//   bench_find [size ...]      sizes as 10000, 100k or 1M; default 10k 100k 1M
//
// Timings are printed, never checked. The answers are: a fast wrong count
// or a wrong record would make every figure meaningless.

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <unistd.h>
#include <string>
#include <vector>

#include "BenchRng.h"
#include "BulkEdit.h"
#include "ChangeLog.h"
#include "DateFormat.h"
#include "EngineError.h"
#include "GlobalReplace.h"
#include "ItemSchema.h"
#include "ItemTable.h"
#include "LocateSearch.h"
#include "SearchCriteria.h"
#include "SearchFilter.h"
#include "WordFilter.h"
#include "Table.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point from, Clock::time_point to) { return std::chrono::duration<double>(to - from).count(); }

// splitmix64: the same data on every machine so that runs compare.
using bench::Rng;

const std::array<const char*, 12> kCategories = {"Appliances", "Audio", "Video", "Computers", "Furniture", "Jewelry",
                                                 "Tools", "Garden", "Power Tools", "Books", "Music", "Kitchenware"};
const std::array<const char*, 12> kItems = {"Television", "Cordless Drill", "Sofa", "Laptop", "Lawn Mower",
                                            "Wedding Ring", "Stand Mixer", "Turntable", "Bookcase", "Violin",
                                            "Circular Saw", "Refrigerator"};
// Invented makers; some hold "son".
const std::array<const char*, 12> kBrands = {"Kestrilon", "Valmora", "Pellison", "Quorvex", "Harbelson", "Sonteva",
                                             "Brisolm", "Feltmark", "Orvelson", "Tamberlin", "Zephrane", "Drummore"};
const std::array<const char*, 8> kLocations = {"Living Room", "Kitchen", "Study", "Basement",
                                               "Attic", "Garage", "Garden Shed", "Hallway"};

std::string Money(int cents) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%d.%02d", cents / 100, cents % 100);
    return buf;
}

bool ContainsUpper(std::string text, const char* needle) {
    for (char& c : text)
        if (c >= 'a' && c <= 'z') c = char(c - 32);
    return text.find(needle) != std::string::npos;
}

struct Expected {
    uint32_t matches = 0;  // of the search
    uint32_t garages = 0;  // items kept in the garage
};

// Fills the table; returns what the search must find. Serial numbers are
// unique ("SN" and the record number), costs run up to 15,000.00.
Expected Fill(store::Table& table, uint32_t n) {
    Rng rng(0x5EA4C4 + n);
    Expected e;
    const int item = table.FieldIndex("Item"), brand = table.FieldIndex("Brand"), serial = table.FieldIndex("Serial"),
              location = table.FieldIndex("Location"), cost = table.FieldIndex("Cost"),
              category = table.FieldIndex("Category"), quantity = table.FieldIndex("Quantity"),
              date = table.FieldIndex("PurchDate");
    const long firstDay = store::Date{1995, 1, 1}.DayNumber();
    for (uint32_t r = 0; r < n; ++r) {
        const std::string b = rng.Pick(kBrands);
        const std::string c = rng.Pick(kCategories);
        const int cents = 199 + rng.Below(1500000);
        table.Append();
        table.SetText(item, rng.Pick(kItems));
        table.SetText(brand, b);
        table.SetText(serial, "SN" + std::to_string(r));
        const std::string where = rng.Pick(kLocations);
        table.SetText(location, where);
        e.garages += where == "Garage" ? 1 : 0;
        table.SetText(cost, Money(cents));
        table.SetText(category, c);
        table.SetText(quantity, std::to_string(1 + rng.Below(4)));
        table.SetDate(date, store::Date::FromDayNumber(firstDay + rng.Below(30 * 365)));
        table.Post();
        const bool level1 = ContainsUpper(b, "SON") && cents > 100000;
        const bool level2 = ContainsUpper(c, "TOOL");
        e.matches += (level1 || level2) ? 1 : 0;
    }
    return e;
}

void Report(const char* operation, uint64_t records, double seconds, const char* target) {
    std::printf("  %-44s %9llu records %8.3f s %13.0f records/s  %s\n", operation,
                static_cast<unsigned long long>(records), seconds, seconds > 0 ? double(records) / seconds : 0.0,
                target);
    std::fflush(stdout);
}

int g_failures = 0;
void Check(bool ok, const std::string& what) {
    if (ok) return;
    ++g_failures;
    std::printf("  CHECK FAILED: %s\n", what.c_str());
}

const char* const kSortExpr = "UPPER(LEFT(Category,20))+UPPER(LEFT(Item,20))";

// What "&Start Search" makes the table do, timed from the exclusive open
// to the table shared again with its sort tag.
void TimeReplace(store::Table& table, uint32_t n, const char* what, int position, const std::string& search,
                 const std::string& replacement, uint32_t expected) {
    find::GlobalReplace replace;
    Check(!replace.Prepare(position, search, replacement), std::string(what) + ": refused");
    const auto start = Clock::now();
    table.Close();
    table.SetExclusive(true);
    table.SetActiveIndex("");
    table.Open();
    table.DeleteIndex("NewIndex");
    replace.Run(table, {}, [](const find::GlobalReplace::Counters&) {});
    table.AddIndex("NewIndex", kSortExpr);
    table.Close();
    table.SetExclusive(false);
    table.SetActiveIndex("NewIndex");
    table.Open();
    Report(what, n, Seconds(start, Clock::now()), "target < 2 s at 100k, < 20 s at 1M");
    const auto& c = replace.Count();
    Check(c.processed == int(n) && c.found == int(expected) && c.changed == int(expected),
          std::string(what) + ": changed " + std::to_string(c.changed) + ", expected " + std::to_string(expected));
}

// Every record's bytes as the table reads them.
std::string AllRecords(const store::Table& table) {
    std::string out;
    const size_t length = size_t(table.Layout().RecordLength());
    out.reserve(table.PhysicalCount() * length);
    for (uint32_t r = 0; r < table.PhysicalCount(); ++r) out.append(table.ViewOf(r).Data(), length);
    return out;
}

void RunSize(uint32_t n, const std::string& folder) {
    const std::string path = folder + "/FIND" + std::to_string(n) + ".DBF";
    std::printf("\n%u items\n", n);
    store::Table table, check;
    std::string message;
    Check(store::MakeNewDB(table, check, path, &message), "creating the table: " + message);
    table.Open();
    const auto fillStart = Clock::now();
    const Expected expected = Fill(table, n);
    std::printf("  (table filled in %.1f s)\n", Seconds(fillStart, Clock::now()));
    table.AddIndex("NewIndex", kSortExpr);

    // Level 1: Brand contains "son" and Cost greater than 1000; level 2:
    // Category contains "tool".
    find::SearchCriteria criteria;
    find::CellTexts level;
    find::OperatorChoices choices;
    choices.fill(find::kChoiceEqual);
    choices[10] = find::kChoiceGreater;
    level[1] = "son";
    level[10] = "> 1000";
    Check(criteria.SaveFields(level, choices, store::CurrentDateFormat()).outcome ==
              find::SearchCriteria::Outcome::Saved,
          "level 1");
    criteria.NextLevel();
    level = {};
    level[11] = "tool";
    Check(criteria.SaveFields(level, choices, store::CurrentDateFormat()).outcome ==
              find::SearchCriteria::Outcome::Saved,
          "level 2");

    // The engine's own cost of asking a filter, for comparison: one that
    // only touches the first byte of each record.
    for (const char* index : {"", "NewIndex"}) {
        table.SetFiltered(false);
        table.SetActiveIndex(index);
        table.First();
        const auto start = Clock::now();
        table.SetFilter([](const store::RecordView& r) { return !r.IsDeleted(); });
        table.SetFiltered(true);
        table.Refresh();
        const uint32_t count = table.RecordCount();
        Report(*index ? "baseline: filter reading 1 byte (index order)" : "baseline: filter reading 1 byte (physical)",
               n, Seconds(start, Clock::now()), "");
        Check(count == n, "baseline filter dropped records");
    }
    for (const char* index : {"", "NewIndex"}) {
        table.SetFiltered(false);
        table.SetActiveIndex(index);
        table.First();
        const auto start = Clock::now();
        table.SetFilter(find::SearchFilter::MakeTest(criteria.Items(), table.Layout()));
        table.SetFiltered(true);
        table.Refresh();
        const uint32_t count = table.RecordCount();
        const double s = Seconds(start, Clock::now());
        Report(*index ? "search, 2 levels, 3 criteria (index order)" : "search, 2 levels, 3 criteria (physical)", n,
               s, "target < 0.5 s at 1M");
        Check(count == expected.matches,
              "search found " + std::to_string(count) + ", expected " + std::to_string(expected.matches));
    }

    // The filter box: three words, each in some text field, letter case
    // and accents aside, in the grid's (index) order.
    {
        table.SetFiltered(false);
        table.SetActiveIndex("NewIndex");
        table.First();
        const auto start = Clock::now();
        const auto words = std::make_shared<find::WordFilter>(table.Layout(), "SON tool sn1");
        table.SetFilter([words](const store::RecordView& r) { return words->Matches(r); });
        table.SetFiltered(true);
        table.Refresh();
        const uint32_t count = table.RecordCount();
        Report("filter box, 3 words (index order)", n, Seconds(start, Clock::now()), "target < 0.3 s at 1M");
        Check(count > 0 && count < n, "the filter box found " + std::to_string(count));
    }

    // Edit Selected on 100k items spread over the table (every one of them
    // at 100k), as the window runs it: the selection taken, the fields set
    // with the undo log kept and sealed; then the undo of it.
    {
        table.SetFiltered(false);
        table.SetActiveIndex("NewIndex");
        table.First();
        const uint32_t chosen = std::min<uint32_t>(n, 100000);
        std::vector<uint32_t> recnos;
        for (uint32_t i = 0; i < chosen; ++i) recnos.push_back(uint32_t(uint64_t(i) * n / chosen));
        const std::string before = AllRecords(table);
        auto start = Clock::now();
        store::ChangeLog log;
        table.SetChangeLog(&log);
        const find::Selection selection = find::Select(table, recnos);
        const size_t changed = find::SetFields(table, selection,
                                               {{table.FieldIndex("Location"), "Attic"}, {table.FieldIndex("Category"), "Boxes"}});
        table.SetChangeLog(nullptr);
        log.Seal(table);
        Report("edit selected, 2 fields (one in the sort tag)", chosen, Seconds(start, Clock::now()),
               "target < 2 s for 100k at 1M");
        Check(changed == chosen, "edit selected changed " + std::to_string(changed));
        start = Clock::now();
        find::Undo(table, log);
        Report("undo of it", chosen, Seconds(start, Clock::now()), "target < 2 s for 100k at 1M");
        Check(AllRecords(table) == before, "the undo left other bytes");
    }

    // Locate in index order, unfiltered, a record 10 from the end.
    table.SetFiltered(false);
    table.SetActiveIndex("NewIndex");
    const std::vector<uint32_t>& order = table.DeliveredRecords();
    const uint32_t target = order[order.size() > 10 ? order.size() - 10 : 0];
    const std::string serial = "sn" + std::to_string(target);  // typed in lower case
    {
        table.First();
        const auto start = Clock::now();
        const find::LocateSearch search(table.Layout(), table.FieldIndex("Serial"), false, find::LocateSearch::kExact,
                                        serial);
        const auto found = search.Find(table, true);
        if (found) table.GoTo(*found);
        const double s = Seconds(start, Clock::now());
        Report("locate Serial exact, near the end", n, s, "target < 0.5 s at 1M");
        Check(found && *found == target, "locate Serial found the wrong record");
    }
    {
        // A cost nobody else has, on the same record.
        table.GoTo(target);
        table.Edit();
        table.SetText(table.FieldIndex("Cost"), "123456.5");
        table.Post();
        table.First();
        const auto start = Clock::now();
        const find::LocateSearch search(table.Layout(), table.FieldIndex("Cost"), false, find::LocateSearch::kExact,
                                        "123456.50");
        const auto found = search.Find(table, true);
        if (found) table.GoTo(*found);
        const double s = Seconds(start, Clock::now());
        Report("locate Cost exact (numbers), near the end", n, s, "target < 0.5 s at 1M");
        Check(found && *found == target, "locate Cost found the wrong record");
    }
    {
        table.First();
        const auto start = Clock::now();
        const find::LocateSearch search(table.Layout(), table.FieldIndex("Item"), false,
                                        find::LocateSearch::kPartialAnywhere, "no such thing");
        const auto found = search.Find(table, true);
        const double s = Seconds(start, Clock::now());
        Report("locate Item anywhere, no match (whole table)", n, s, "");
        Check(!found, "locate found a value nobody has");
    }

    TimeReplace(table, n, "search and replace Location (1 in 8 changed)", 5, "garage", "Carport", expected.garages);
    TimeReplace(table, n, "search and replace Warranty (every record)", 14, "", "No", n);
    table.Close();
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<uint32_t> sizes;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        uint32_t factor = 1;
        if (!a.empty() && (a.back() == 'k' || a.back() == 'K')) factor = 1000, a.pop_back();
        else if (!a.empty() && (a.back() == 'm' || a.back() == 'M')) factor = 1000000, a.pop_back();
        try {
            sizes.push_back(uint32_t(std::stoul(a)) * factor);
        } catch (...) {
            std::fprintf(stderr, "usage: %s [size ...]   sizes such as 10000, 100k or 1M\n", argv[0]);
            return 2;
        }
    }
    if (sizes.empty()) sizes = {10000, 100000, 1000000};
    const fs::path folder = fs::temp_directory_path() / ("halvenor_bench_find_" + std::to_string(::getpid()));
    fs::create_directories(folder);
    for (uint32_t n : sizes) {
        try {
            RunSize(n, folder.string());
        } catch (const store::EngineError& e) {
            Check(false, std::string("engine error: ") + e.what());
        }
    }
    fs::remove_all(folder);
    std::printf("\n%s\n", g_failures ? "SOME CHECKS FAILED" : "all checks passed");
    return g_failures ? 1 : 0;
}
