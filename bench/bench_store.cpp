// Times the table engine on generated item tables of realistic content and
// prints records per second for the operations a household inventory
// leans on: appending, reading every field, building and opening an index,
// filtering and packing. Each size runs in a temporary folder that is
// removed afterwards.
//
//   bench_store [size ...]      sizes as 10000, 100k or 1M; default 10k 100k 1M
//
// Timings are printed, never checked: this machine is shared, so a number
// that misses its target is a finding to look into, not a failed build.
// Counts, orders and engine errors are checked, since a fast wrong answer
// would make every figure meaningless.

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/wait.h>
#include <fcntl.h>
#include <unistd.h>
#include <vector>

#include "BenchRng.h"
#include "BenchSizes.h"
#include "DateFormat.h"
#include "EngineError.h"
#include "IndexFile.h"
#include "ItemSchema.h"
#include "ItemTable.h"
#include "Table.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr const char* kIndexTag = "NewIndex";
constexpr const char* kIndexExpression = "Upper(Left(Category,20))+Upper(Left(Item,20))";
// Generated records are handed to the engine in blocks so that making up the
// values stays outside the measured time without a clock call per record.
constexpr uint32_t kBlock = 4096;
// A 1M table is ~670 MB; packing writes a second copy beside it and the index
// adds a little more, so ask for about 3 KB of free space per record.
constexpr uint64_t kBytesNeededPerRecord = 3000;
// Single appends and deletes timed at each size, and their names.
constexpr uint32_t kSingleChanges = 2000;
constexpr const char* kAppendOne = "append one record (sort tag)";
constexpr const char* kDeleteOne = "delete one record (sort tag)";

double Seconds(Clock::time_point from, Clock::time_point to) {
    return std::chrono::duration<double>(to - from).count();
}

using bench::Rng;

struct CategoryItems {
    const char* category;
    std::array<const char*, 4> items;
};

// About 30 categories, each with things a household really owns, so that the
// index on category and item sees the duplicates a real inventory has.
const std::array<CategoryItems, 30> kCategories = {{
    {"Appliances", {"Refrigerator", "Dishwasher", "Microwave Oven", "Washing Machine"}},
    {"Audio", {"Stereo Receiver", "Bookshelf Speakers", "Turntable", "Headphones"}},
    {"Video", {"Television", "Projector", "Blu-ray Player", "Streaming Box"}},
    {"Computers", {"Laptop", "Desktop Computer", "Monitor", "Printer"}},
    {"Phones", {"Mobile Phone", "Cordless Phone", "Tablet", "Smart Watch"}},
    {"Cameras", {"Digital Camera", "Camera Lens", "Tripod", "Camcorder"}},
    {"Furniture", {"Dining Table", "Sofa", "Armchair", "Bookcase"}},
    {"Bedroom", {"Bed Frame", "Mattress", "Dresser", "Nightstand"}},
    {"Kitchenware", {"Stand Mixer", "Cookware Set", "Knife Block", "Coffee Maker"}},
    {"Tableware", {"Dinner Service", "Crystal Glasses", "Silver Cutlery", "Serving Platter"}},
    {"Jewelry", {"Wedding Ring", "Pearl Necklace", "Gold Bracelet", "Diamond Earrings"}},
    {"Watches", {"Wristwatch", "Pocket Watch", "Mantel Clock", "Wall Clock"}},
    {"Art", {"Oil Painting", "Framed Print", "Bronze Sculpture", "Watercolour"}},
    {"Antiques", {"Writing Desk", "Grandfather Clock", "Tea Chest", "Porcelain Vase"}},
    {"Books", {"Encyclopedia Set", "First Edition Novel", "Atlas", "Cookbook Collection"}},
    {"Music", {"Upright Piano", "Acoustic Guitar", "Violin", "Digital Keyboard"}},
    {"Sports", {"Road Bicycle", "Golf Clubs", "Skis", "Tennis Racket"}},
    {"Fitness", {"Treadmill", "Exercise Bike", "Dumbbell Set", "Rowing Machine"}},
    {"Tools", {"Cordless Drill", "Circular Saw", "Tool Chest", "Socket Set"}},
    {"Garden", {"Lawn Mower", "Hedge Trimmer", "Leaf Blower", "Patio Set"}},
    {"Outdoor", {"Gas Grill", "Camping Tent", "Kayak", "Sleeping Bag"}},
    {"Clothing", {"Winter Coat", "Leather Jacket", "Evening Dress", "Wool Suit"}},
    {"Luggage", {"Suitcase", "Garment Bag", "Backpack", "Travel Trunk"}},
    {"Toys", {"Train Set", "Dollhouse", "Building Blocks", "Board Games"}},
    {"Collectibles", {"Coin Collection", "Stamp Album", "Trading Cards", "Model Ships"}},
    {"Lighting", {"Floor Lamp", "Chandelier", "Desk Lamp", "Table Lamp"}},
    {"Rugs", {"Persian Rug", "Hall Runner", "Wool Carpet", "Bath Mat Set"}},
    {"Linens", {"Duvet", "Bed Linen Set", "Table Cloth", "Towel Set"}},
    {"Office", {"Office Chair", "Filing Cabinet", "Paper Shredder", "Label Printer"}},
    {"Vehicles", {"Lawn Tractor", "Electric Scooter", "Trailer", "Golf Cart"}},
}};

const std::array<const char*, 12> kItemAdjectives = {
    "Large", "Small", "Black", "White", "Oak", "Antique", "Vintage", "Stainless", "Red", "Blue", "Walnut", "Compact"};

// Invented makers; a few hold "son" so that the Brand filter has matches.
const std::array<const char*, 24> kBrands = {
    "Kestrilon", "Valmora", "Tundrik", "Osmaren", "Pellison", "Quorvex", "Harbelson", "Lindqvar",
    "Merrowick", "Sonteva", "Brisolm", "Caddwyn", "Feltmark", "Glimsor", "Jorvessa", "Nalbury",
    "Ostrana", "Rivenholt", "Orvelson", "Tamberlin", "Vexhaven", "Ylvane", "Zephrane", "Drummore"};

const std::array<const char*, 16> kLocations = {
    "Living Room", "Kitchen", "Dining Room", "Master Bedroom", "Guest Bedroom", "Kids Room",
    "Study", "Basement", "Attic", "Garage", "Garden Shed", "Hallway", "Bathroom", "Laundry Room",
    "Porch", "Storage Unit 14"};

const std::array<const char*, 14> kVendors = {
    "Corner Hardware", "Main Street Furniture", "Riverside Electronics", "Online order", "Garage sale",
    "Gift", "Department store", "Outlet mall", "Antique shop", "Estate sale", "Home center",
    "Appliance depot", "Music shop on Elm Street", "Inherited"};

const std::array<const char*, 6> kOwners = {"Mara", "Tobin", "Elsa", "Joren", "Family", "Mara and Tobin"};

const std::array<const char*, 10> kConditions = {
    "in good condition", "like new", "some scratches on the side", "original box kept",
    "repaired in spring", "minor wear", "still sealed", "missing remote", "repainted", "café style finish"};

const std::array<const char*, 8> kMarks = {
    "Engraved initials on base", "UV pen mark under lid", "Sticker with house number", "Scratch near serial plate",
    "Name label inside", "Etched postcode on back", "Red paint dot on foot", "Photo on file"};

struct ItemValues {
    std::array<std::string, store::kItemFieldCount> text;
    bool brandHasSon = false;
};

// Fills one record's 22 fields in schema order, as a user would type them.
class ItemGenerator {
public:
    explicit ItemGenerator(uint64_t seed) : m_rng(seed), m_firstDay(store::Date{1995, 1, 1}.DayNumber()) {}

    void Fill(ItemValues& v) {
        auto& t = v.text;
        const CategoryItems& cat = m_rng.Pick(kCategories);
        const char* noun = cat.items[size_t(m_rng.Below(int(cat.items.size())))];
        t[0] = m_rng.Chance(60) ? std::string(m_rng.Pick(kItemAdjectives)) + " " + noun : std::string(noun);
        t[1] = m_rng.Pick(kBrands);
        t[2] = Code(2, 4);
        t[3] = Serial();
        t[4] = m_rng.Pick(kLocations);
        t[5] = std::string(noun) + ", " + m_rng.Pick(kConditions) + "; bought for the " + m_rng.Pick(kLocations) +
               (m_rng.Chance(40) ? ", receipt in the blue folder" : "");
        t[6] = m_rng.Pick(kVendors);
        t[7] = m_rng.Chance(35) ? m_rng.Pick(kMarks) : "";
        t[8] = std::to_string(1 + m_rng.Below(5));
        const long bought = m_firstDay + m_rng.Below(30 * 365);
        t[9] = store::CurrentDateFormat().Format(store::Date::FromDayNumber(bought));
        const int costCents = 199 + m_rng.Below(m_rng.Chance(90) ? 150000 : 2500000);
        t[10] = Money(costCents);
        t[11] = cat.category;
        t[12] = Money(costCents + m_rng.Below(costCents / 2 + 1));
        const bool warranty = m_rng.Chance(30);
        t[13] = warranty ? "Yes" : "No";
        t[14] = warranty ? store::CurrentDateFormat().Format(store::Date::FromDayNumber(bought + 365 * (1 + m_rng.Below(5))))
                         : std::string();
        t[15] = warranty ? std::string("Extended plan, card in drawer") : std::string();
        t[16] = m_rng.Pick(kOwners);
        t[17] = Money(costCents / (1 + m_rng.Below(4)));
        t[18] = m_rng.Chance(50) ? "Insured under policy HX-" + std::to_string(10000 + m_rng.Below(90000)) : "";
        t[19] = m_rng.Chance(20) ? "Gift from grandparents" : "";
        t[20] = m_rng.Chance(10) ? "Appraised " + std::to_string(2000 + m_rng.Below(25)) : "";
        t[21] = m_rng.Chance(5) ? "Lent to neighbour" : "";
        v.brandHasSon = ContainsSon(t[1]);
    }

    static bool ContainsSon(std::string_view text) {
        std::string up(text);
        for (char& c : up)
            if (c >= 'a' && c <= 'z') c = char(c - 32);
        return up.find("SON") != std::string::npos;
    }

private:
    std::string Code(int letters, int digits) {
        std::string s;
        for (int i = 0; i < letters; ++i) s += char('A' + m_rng.Below(26));
        s += '-';
        for (int i = 0; i < digits; ++i) s += char('0' + m_rng.Below(10));
        return s;
    }
    std::string Serial() {
        static constexpr char kChars[] = "ABCDEFGHJKLMNPQRSTUVWXYZ0123456789";
        std::string s(size_t(10 + m_rng.Below(7)), ' ');
        for (char& c : s) c = kChars[m_rng.Below(int(sizeof kChars - 1))];
        return s;
    }
    static std::string Money(int cents) {
        char buf[32];
        std::snprintf(buf, sizeof buf, "%d.%02d", cents / 100, cents % 100);
        return buf;
    }

    Rng m_rng;
    long m_firstDay;
};

// Targets hold for 1M items on the shared 2-core build machine; smaller
// tables are shown for the trend only.
constexpr uint32_t kTargetSize = 1000000;

struct Target {
    std::string_view operation;
    double minRate;  // records per second
    const char* text;
};

const std::array<Target, 8> kTargets = {{
    {"append", 300000, ">= 300k records/s"},
    {"full scan, 22 fields (First/Next)", 1000000, ">= 1M records/s"},
    {"full scan, 22 fields (ViewOf)", 1000000, ">= 1M records/s"},
    {"index build \"NewIndex\"", 500000, "< 2 s"},
    {"open with valid index", 5000000, "< 0.2 s"},
    {"open a copy with its index", 10000000, "< 0.1 s"},
    {"filter Brand contains \"son\" (index)", 3000000, ">= 3M records/s"},
    {"filter Brand contains \"son\" (phys.)", 3000000, ">= 3M records/s"},
}};

const Target* TargetOf(std::string_view operation) {
    for (const auto& t : kTargets)
        if (t.operation == operation) return &t;
    return nullptr;
}

struct Measurement {
    std::string operation;
    uint64_t records = 0;
    double seconds = 0;
    double Rate() const { return seconds > 0 ? double(records) / seconds : 0; }
};

class Results {
public:
    void Add(uint32_t size, const std::string& operation, uint64_t records, double seconds) {
        Measurement m{operation, records, seconds};
        std::printf("  %-34s %9llu records %9.3f s %13.0f records/s\n", operation.c_str(),
                    static_cast<unsigned long long>(records), seconds, m.Rate());
        std::fflush(stdout);
        if (std::find(m_operations.begin(), m_operations.end(), operation) == m_operations.end())
            m_operations.push_back(operation);
        m_bySize[size][operation] = m;
    }

    void PrintSummary() const {
        if (m_bySize.empty()) return;
        std::printf("\nSummary (records/s, seconds in brackets)\n%-34s", "operation");
        for (const auto& [size, _] : m_bySize) std::printf(" %22u", size);
        std::printf("  %-18s\n", "target at 1M");
        for (const auto& op : m_operations) {
            std::printf("%-34s", op.c_str());
            for (const auto& [size, ops] : m_bySize) {
                const auto it = ops.find(op);
                if (it == ops.end()) {
                    std::printf(" %22s", "-");
                    continue;
                }
                char cell[64];
                std::snprintf(cell, sizeof cell, "%.0f (%.3f s)", it->second.Rate(), it->second.seconds);
                std::printf(" %22s", cell);
            }
            const Target* target = TargetOf(op);
            const auto atTarget = m_bySize.find(kTargetSize);
            std::string verdict;
            if (target && atTarget != m_bySize.end() && atTarget->second.count(op))
                verdict = atTarget->second.at(op).Rate() >= target->minRate ? " met" : " MISSED";
            std::printf("  %s%s\n", target ? target->text : "", verdict.c_str());
        }
    }

    // A change's cost per record at the largest size beside the smallest:
    // what a table that grows adds to it.
    void PrintGrowth(const char* operation) const {
        if (m_bySize.size() < 2) return;
        const auto& [small, smallOps] = *m_bySize.begin();
        const auto& [large, largeOps] = *m_bySize.rbegin();
        const auto a = smallOps.find(operation), b = largeOps.find(operation);
        if (a == smallOps.end() || b == largeOps.end() || a->second.records == 0 || b->second.records == 0) return;
        const double perSmall = a->second.seconds / double(a->second.records) * 1e6;
        const double perLarge = b->second.seconds / double(b->second.records) * 1e6;
        std::printf("%s: %.1f us at %u items, %.1f us at %u: %.2fx (target <= 1.5x)\n", operation, perLarge, large,
                    perSmall, small, perLarge / perSmall);
    }

private:
    std::vector<std::string> m_operations;
    std::map<uint32_t, std::map<std::string, Measurement>> m_bySize;
};

// A check failure is printed and counted; the run goes on so that one fault
// does not hide the figures of the other operations.
class Checks {
public:
    void Expect(bool ok, const std::string& what) {
        if (ok) return;
        ++m_failures;
        std::printf("  CHECK FAILED: %s\n", what.c_str());
        std::fflush(stdout);
    }
    int Failures() const { return m_failures; }

private:
    int m_failures = 0;
};

uint64_t FreeBytes(const std::string& folder) {
    struct statvfs st{};
    if (::statvfs(folder.c_str(), &st) != 0) return 0;
    return uint64_t(st.f_bavail) * uint64_t(st.f_frsize);
}

std::optional<int64_t> ModifiedNanoseconds(const std::string& path) {
    struct stat st{};
    if (::stat(path.c_str(), &st) != 0) return std::nullopt;
    return int64_t(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
}

// Times a command of the system (its output to a file; the C locale, since
// the engine too compares bytes);
// nothing when it cannot be run or fails. The anchors of the figures: what
// standard tools take over the same data in the same run, so that a
// regression shows as a ratio whatever the machine's load.
std::optional<double> TimeCommand(const std::vector<std::string>& args, const std::string& output) {
    const auto start = Clock::now();
    const pid_t pid = ::fork();
    if (pid < 0) return std::nullopt;
    if (pid == 0) {
        // Not /dev/null: grep stops at the first match when it writes there.
        const int out = ::open(output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (out >= 0) ::dup2(out, 1);
        ::setenv("LC_ALL", "C", 1);
        std::vector<char*> argv;
        for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        ::execvp(argv[0], argv.data());
        ::_exit(127);
    }
    int status = 0;
    if (::waitpid(pid, &status, 0) != pid || !WIFEXITED(status) || WEXITSTATUS(status) > 1) return std::nullopt;
    return Seconds(start, Clock::now());
}

// One figure beside its anchor: how many times the anchor's time ours is.
void PrintRatio(const char* what, double ours, std::optional<double> anchor, const char* anchorName) {
    if (!anchor || *anchor <= 0) {
        std::printf("  %s: %s could not be run\n", what, anchorName);
        return;
    }
    std::printf("  %s: %.3f s, %s %.3f s: %.2fx its time\n", what, ours, anchorName, *anchor, ours / *anchor);
    std::fflush(stdout);
}

// The index key the tag is defined by, computed here independently of the
// engine's expression evaluator so that a wrong order is caught. Only ASCII
// reaches Category and Item, so upper-casing a-z is all UPPER has to do.
std::string ExpectedKey(const store::RecordView& v, int categoryField, int itemField) {
    std::string key(v.Raw(categoryField).substr(0, 20));
    key += v.Raw(itemField).substr(0, 20);
    for (char& c : key)
        if (c >= 'a' && c <= 'z') c = char(c - 32);
    return key;
}

// Runs every operation on a fresh table of n items in folder. Engine errors
// end this size's run; the caller goes on with the next size.
void RunSize(uint32_t n, const std::string& folder, Results& results, Checks& checks) {
    const std::string path = folder + "/BENCH" + std::to_string(n) + ".DBF";
    std::printf("\n%u items (%s)\n", n, path.c_str());
    std::string phase = "create";
    store::Table table;
    store::Table checkTable;
    try {
        std::string message;
        checks.Expect(store::MakeNewDB(table, checkTable, path, &message), "creating the table: " + message);
        table.Open();
        checks.Expect(table.FieldCount() == store::kItemFieldCount, "the new table has 22 fields");

        // Append. Values are made up block by block outside the clock.
        phase = "append";
        ItemGenerator generator(0x48414C56 + n);
        std::vector<ItemValues> block(kBlock);
        uint32_t expectedSon = 0;
        double appendSeconds = 0;
        for (uint32_t done = 0; done < n;) {
            const uint32_t count = std::min(kBlock, n - done);
            for (uint32_t i = 0; i < count; ++i) {
                generator.Fill(block[i]);
                expectedSon += block[i].brandHasSon ? 1 : 0;
            }
            // Bulk appending, as imports and dBASE exports append.
            const auto start = Clock::now();
            table.BeginBulkAppend();
            for (uint32_t i = 0; i < count; ++i) {
                table.Append();
                for (int f = 0; f < store::kItemFieldCount; ++f) table.SetText(f, block[i].text[size_t(f)]);
                table.Post();
            }
            table.EndBulkAppend();
            appendSeconds += Seconds(start, Clock::now());
            done += count;
        }
        results.Add(n, "append", n, appendSeconds);
        checks.Expect(table.PhysicalCount() == n, "append: the file holds every record");
        checks.Expect(table.RecordCount() == n, "append: every record is delivered");

        // Full scan through the cursor, as reports and exports read.
        phase = "full scan (cursor)";
        {
            uint64_t chars = 0;
            uint32_t seen = 0;
            const auto start = Clock::now();
            for (table.First(); !table.Eof(); table.Next()) {
                for (int f = 0; f < store::kItemFieldCount; ++f) chars += table.GetText(f).size();
                ++seen;
            }
            results.Add(n, "full scan, 22 fields (First/Next)", seen, Seconds(start, Clock::now()));
            checks.Expect(seen == n, "cursor scan: visited " + std::to_string(seen) + " records");
            checks.Expect(chars > 0, "cursor scan: read some text");
        }

        // Full scan by record number, as the grid reads its rows.
        phase = "full scan (view)";
        {
            uint64_t chars = 0;
            const auto start = Clock::now();
            const std::vector<uint32_t>& rows = table.DeliveredRecords();
            for (uint32_t recno : rows) {
                const store::RecordView view = table.ViewOf(recno);
                for (int f = 0; f < store::kItemFieldCount; ++f) chars += view.Text(f).size();
            }
            const size_t seen = rows.size();
            results.Add(n, "full scan, 22 fields (ViewOf)", seen, Seconds(start, Clock::now()));
            checks.Expect(seen == n, "view scan: delivered " + std::to_string(seen) + " records");
            checks.Expect(chars > 0, "view scan: read some text");
        }

        phase = "index build";
        {
            const auto start = Clock::now();
            table.AddIndex(kIndexTag, kIndexExpression);
            const double built = Seconds(start, Clock::now());
            results.Add(n, "index build \"NewIndex\"", n, built);
            // The anchor: GNU sort over the same keys, one a line.
            const std::string keys = folder + "/keys.txt";
            {
                std::FILE* f = std::fopen(keys.c_str(), "w");
                const int category = table.FieldIndex("Category"), item = table.FieldIndex("Item");
                for (uint32_t r = 0; f && r < table.PhysicalCount(); ++r)
                    std::fprintf(f, "%s\n", ExpectedKey(table.ViewOf(r), category, item).c_str());
                if (f) std::fclose(f);
            }
            PrintRatio("index build", built, TimeCommand({"sort", keys}, folder + "/sorted.txt"), "GNU sort of the keys");
            std::filesystem::remove(keys);
            std::filesystem::remove(folder + "/sorted.txt");
        }

        // Reopening with a valid index must use the stored order, not sort
        // again: the index file's time tells whether it was rewritten.
        phase = "open with index";
        {
            table.Close();
            const auto indexBefore = ModifiedNanoseconds(table.IndexFilePath());
            checks.Expect(indexBefore.has_value(), "the index file exists after closing");
            table.SetActiveIndex(kIndexTag);
            const auto start = Clock::now();
            table.Open();
            const uint32_t count = table.RecordCount();
            results.Add(n, "open with valid index", count, Seconds(start, Clock::now()));
            checks.Expect(count == n, "open with index: " + std::to_string(count) + " records delivered");
            checks.Expect(ModifiedNanoseconds(table.IndexFilePath()) == indexBefore,
                          "open with index: the index was rebuilt although it matched the table");

            const store::RecordLayout& layout = table.Layout();
            const int categoryField = layout.FieldIndex("Category");
            const int itemField = layout.FieldIndex("Item");
            std::string previous;
            uint32_t outOfOrder = 0;
            for (uint32_t recno : table.DeliveredRecords()) {
                std::string key = ExpectedKey(table.ViewOf(recno), categoryField, itemField);
                if (key < previous) ++outOfOrder;
                previous = std::move(key);
            }
            checks.Expect(outOfOrder == 0, "index order: " + std::to_string(outOfOrder) + " records out of order");
        }

        // A copy of the table and its index, made as a file manager makes
        // it (a time of its own): the index still describes the records and
        // is checked against them in one pass instead of being sorted again.
        phase = "open a copy";
        {
            const std::filesystem::path copyDir = std::filesystem::path(table.DataFilePath()).parent_path() / "copy";
            std::filesystem::create_directories(copyDir);
            const std::string copy = (copyDir / std::filesystem::path(table.DataFilePath()).filename()).string();
            std::filesystem::copy_file(table.DataFilePath(), copy, std::filesystem::copy_options::overwrite_existing);
            std::filesystem::copy_file(table.IndexFilePath(), store::IndexPathFor(copy),
                                       std::filesystem::copy_options::overwrite_existing);
            store::Table other;
            store::PointAt(other, copy);
            other.SetActiveIndex(kIndexTag);
            const auto start = Clock::now();
            other.Open();
            const uint32_t count = other.RecordCount();
            results.Add(n, "open a copy with its index", count, Seconds(start, Clock::now()));
            checks.Expect(count == n, "open a copy: " + std::to_string(count) + " records delivered");
            checks.Expect(!other.SortedAtOpen(), "open a copy: the records were sorted again");
            other.Close();
            std::filesystem::remove_all(copyDir);
        }

        // The filter upper-cases the raw bytes itself, as the grid's quick
        // "contains" search does, so the figure is the engine's cost of asking.
        phase = "filter";
        {
            const int brandField = table.Layout().FieldIndex("Brand");
            table.SetFilter([brandField](const store::RecordView& view) {
                const std::string_view raw = view.Raw(brandField);
                char upper[256];
                const size_t len = std::min(raw.size(), sizeof upper);
                for (size_t i = 0; i < len; ++i) {
                    const char c = raw[i];
                    upper[i] = c >= 'a' && c <= 'z' ? char(c - 32) : c;
                }
                return std::string_view(upper, len).find("SON") != std::string_view::npos;
            });
            table.SetFiltered(true);
            auto start = Clock::now();
            uint32_t count = table.RecordCount();
            const double filtered = Seconds(start, Clock::now());
            results.Add(n, "filter Brand contains \"son\" (index)", n, filtered);
            // The anchor: grep over the same items as a CSV of their 22
            // fields, one a line.
            const std::string csv = folder + "/items.csv";
            {
                std::FILE* f = std::fopen(csv.c_str(), "w");
                for (uint32_t r = 0; f && r < table.PhysicalCount(); ++r) {
                    const store::RecordView v = table.ViewOf(r);
                    for (int field = 0; field < store::kItemFieldCount; ++field)
                        std::fprintf(f, field ? ",\"%s\"" : "\"%s\"", v.Text(field).c_str());
                    std::fputc('\n', f);
                }
                if (f) std::fclose(f);
            }
            PrintRatio("filter (index order)", filtered, TimeCommand({"grep", "-c", "-i", "son", csv}, folder + "/count.txt"),
                       "grep -c -i over the CSV");
            std::filesystem::remove(csv);
            std::filesystem::remove(folder + "/count.txt");
            checks.Expect(count == expectedSon, "filter in index order: " + std::to_string(count) + " records, expected " +
                                                    std::to_string(expectedSon));

            table.SetActiveIndex("");
            start = Clock::now();
            count = table.RecordCount();
            results.Add(n, "filter Brand contains \"son\" (phys.)", n, Seconds(start, Clock::now()));
            checks.Expect(count == expectedSon, "filter in physical order: " + std::to_string(count) +
                                                    " records, expected " + std::to_string(expectedSon));
            table.SetFiltered(false);
            table.SetFilter({});
        }

        // Pack: mark every 10th record deleted, then pack on an exclusive open.
        phase = "delete";
        uint32_t deleted = 0;
        {
            const auto start = Clock::now();
            for (uint32_t recno = 0; recno < n; recno += 10) {
                table.GoTo(recno);
                table.Delete();
                ++deleted;
            }
            results.Add(n, "delete every 10th (GoTo/Delete)", deleted, Seconds(start, Clock::now()));
            checks.Expect(table.RecordCount() == n - deleted, "delete: " + std::to_string(table.RecordCount()) +
                                                                  " records left, expected " +
                                                                  std::to_string(n - deleted));
        }
        phase = "pack";
        {
            table.Close();
            table.SetExclusive(true);
            table.SetActiveIndex(kIndexTag);
            table.Open();
            const auto start = Clock::now();
            table.Pack();
            results.Add(n, "pack (1 in 10 deleted)", n, Seconds(start, Clock::now()));
            checks.Expect(table.PhysicalCount() == n - deleted,
                          "pack: " + std::to_string(table.PhysicalCount()) + " records in the file, expected " +
                              std::to_string(n - deleted));
            checks.Expect(table.RecordCount() == n - deleted, "pack: " + std::to_string(table.RecordCount()) +
                                                                  " records delivered, expected " +
                                                                  std::to_string(n - deleted));
            table.Close();
            table.SetExclusive(false);
        }

        // One record at a time, as a user adds and deletes items in the
        // window: each change with the sort tag active and the delivered
        // order brought up to date after it, as the grid asks for it. Its
        // cost should not grow with the table.
        phase = "one record at a time";
        {
            table.SetActiveIndex(kIndexTag);
            table.Open();
            const uint32_t live = table.RecordCount();
            const uint32_t ops = std::min<uint32_t>(kSingleChanges, live / 2);
            std::vector<ItemValues> added(ops);
            for (auto& v : added) generator.Fill(v);
            auto start = Clock::now();
            for (const ItemValues& v : added) {
                table.Append();
                for (int f = 0; f < store::kItemFieldCount; ++f) table.SetText(f, v.text[size_t(f)]);
                table.Post();
                checks.Expect(table.RecordCount() > 0, "append one: the view is empty");
            }
            results.Add(n, kAppendOne, ops, Seconds(start, Clock::now()));
            // Distinct records spread over the file, picked outside the clock.
            Rng pick(0x44454C + n);
            std::vector<uint8_t> chosen(table.PhysicalCount(), 0);
            std::vector<uint32_t> victims;
            while (victims.size() < ops) {
                const uint32_t r = uint32_t(pick.Below(int(live)));
                if (!chosen[r]) victims.push_back(r), chosen[r] = 1;
            }
            start = Clock::now();
            for (uint32_t r : victims) {
                table.GoTo(r);
                table.Delete();
                checks.Expect(table.RecordCount() > 0, "delete one: the view is empty");
            }
            results.Add(n, kDeleteOne, ops, Seconds(start, Clock::now()));
            checks.Expect(table.RecordCount() == live, "one at a time: " + std::to_string(table.RecordCount()) +
                                                           " records delivered, expected " + std::to_string(live));
            const int categoryField = table.FieldIndex("Category"), itemField = table.FieldIndex("Item");
            std::string previous;
            uint32_t wrong = 0;
            for (uint32_t recno : table.DeliveredRecords()) {
                std::string key = ExpectedKey(table.ViewOf(recno), categoryField, itemField);
                if (key < previous || (recno < chosen.size() && chosen[recno])) ++wrong;
                previous = std::move(key);
            }
            checks.Expect(wrong == 0, "one at a time: " + std::to_string(wrong) +
                                          " records out of order or delivered although deleted");
            table.Close();
        }
    } catch (const store::EngineError& e) {
        checks.Expect(false, "engine error during " + phase + ": " + e.what());
        table.Close();
    }
}

}  // namespace

int main(int argc, char** argv) {
    const auto arguments = bench::SizesFromArguments(argc, argv);
    if (!arguments) return 2;
    const std::vector<uint32_t>& sizes = *arguments;

    // Four-digit years: generated dates span 30 years and must not depend on
    // where today's two-digit window ends.
    store::SetCurrentDateFormat(store::DateFormat('/', store::DateFormat::Order::MonthDayYear, true));

    std::string pattern = (fs::temp_directory_path() / "halvenor-bench-XXXXXX").string();
    if (!::mkdtemp(pattern.data())) {
        std::perror("cannot create a temporary folder");
        return 1;
    }
    const std::string folder = pattern;

    Results results;
    Checks checks;
    for (uint32_t n : sizes) {
        const uint64_t needed = uint64_t(n) * kBytesNeededPerRecord;
        const uint64_t available = FreeBytes(folder);
        if (available < needed) {
            std::printf("\n%u items: skipped, %.1f GB free in %s but about %.1f GB needed\n", n,
                        double(available) / 1e9, folder.c_str(), double(needed) / 1e9);
            continue;
        }
        RunSize(n, folder, results, checks);
        std::error_code ignored;
        for (const auto& entry : fs::directory_iterator(folder, ignored)) fs::remove(entry.path(), ignored);
    }
    std::error_code ignored;
    fs::remove_all(folder, ignored);

    results.PrintSummary();
    std::printf("\n");
    results.PrintGrowth(kAppendOne);
    results.PrintGrowth(kDeleteOne);
    if (checks.Failures() > 0) {
        std::printf("\n%d check(s) failed\n", checks.Failures());
        return 1;
    }
    return 0;
}
