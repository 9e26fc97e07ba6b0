// Times the report writer on generated item tables: each of the eight
// default reports, grouped by Category as the default sort order does, with
// the insurance statement, written
//
//   - into a recorded report in memory (the preview's road; its size per
//     item is printed too),
//   - to a text file,
//   - to a PDF file (recorded, then every page replayed into the PDF).
//
//   bench_reports [sizes...] [--outputs stream,text,pdf] [--reports 1,2,...] [--keep DIR]
//
// Sizes default to 100k and 1M ("100k", "1M" or plain numbers). A table is
// generated once per size in a temporary folder (or DIR with --keep, where
// the outputs of the last report stay for a look). Pages are laid out as the
// program lays them out: on the default printer's paper, or 8.5 by 11 inches
// when the system has no printer, asking the print service as the program
// does. Timings are printed, never checked; every report must complete.

#include <QBuffer>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QTemporaryDir>
#include <array>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <sys/resource.h>

#include "BenchRng.h"
#include "BenchSizes.h"
#include "DefaultReports.h"
#include "EngineServices.h"
#include "ItemSchema.h"
#include "ReportJob.h"
#include "Table.h"

namespace {

using Clock = std::chrono::steady_clock;
double Seconds(Clock::time_point from) { return std::chrono::duration<double>(Clock::now() - from).count(); }

// Processor time of this process, user and system: on a shared machine
// it tells more than the wall clock.
double CpuSeconds() {
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    auto s = [](const timeval& t) { return double(t.tv_sec) + t.tv_usec / 1e6; };
    return s(usage.ru_utime) + s(usage.ru_stime);
}

const std::array<const char*, 12> kCategories = {"Appliances", "Art", "Books", "Clothing", "Electronics",
                                                 "Furniture", "Jewelry", "Kitchen", "Music", "Sports",
                                                 "Tools", "Toys"};
const std::array<const char*, 10> kPlaces = {"Attic", "Basement", "Bedroom", "Den", "Dining Room",
                                             "Garage", "Kitchen", "Living Room", "Office", "Upstairs Workroom"};
const std::array<const char*, 8> kBrands = {"Kestrilon", "Valmora", "Pellison", "Quorvex",
                                            "Harbelson", "Sonteva", "Brisolm", "Feltmark"};
const std::array<const char*, 10> kThings = {"Television", "Cordless Drill", "Sofa", "Laptop computer",
                                             "Lawn Mower", "Wedding Ring", "Stand Mixer", "Turntable",
                                             "Oak bookcase, five shelves", "Violin"};

void Generate(store::Table& t, int count) {
    bench::Rng rng(0x5EED16);
    const int purch = t.FieldIndex("PurchDate"), war = t.FieldIndex("WarDate");
    t.BeginBulkAppend();
    for (int i = 0; i < count; ++i) {
        t.Append();
        t.SetText("Item", std::string(rng.Pick(kThings)) + " " + std::to_string(i + 1));
        t.SetText("Brand", rng.Pick(kBrands));
        t.SetText("Model", "M-" + std::to_string(1000 + rng.Below(9000)));
        t.SetText("Serial", "SN" + std::to_string(100000000 + rng.Below(900000000)));
        t.SetText("Location", rng.Pick(kPlaces));
        t.SetText("Category", rng.Pick(kCategories));
        t.SetText("Owner", rng.Chance(50) ? "Pat" : "Sam");
        t.SetText("Descriptio", std::string("Bought for the ") + rng.Pick(kPlaces) + ", kept with its manual and box");
        t.SetText("BoughtFrom", std::string(rng.Pick(kBrands)) + " Store");
        t.SetText("IDMarks", "Engraved initials on the underside");
        if (!rng.Chance(2)) t.SetText("Quantity", std::to_string(1 + rng.Below(4)));
        t.SetDate(purch, store::Date{2005 + rng.Below(19), 1 + rng.Below(12), 1 + rng.Below(28)});
        const int cents = 100 + rng.Below(250000);
        t.SetText("Cost", std::to_string(cents / 100) + "." + std::to_string(cents % 100));
        t.SetText("RepCost", std::to_string(cents / 80));
        t.SetText("Value", std::to_string(cents / 150));
        t.SetText("Warranty", rng.Chance(60) ? "Yes" : "No");
        t.SetDate(war, store::Date{2015 + rng.Below(14), 12, 31});
        t.SetText("WarNotes", "Keep the receipt");
        t.Post();
    }
    t.EndBulkAppend();
}

// Times one output: wall clock and processor time, and counts the
// questions to the print service (each a round trip where there is one).
struct Timer {
    Clock::time_point wall = Clock::now();
    double cpu = CpuSeconds();
    uint64_t lookups = reports::engine::PrinterLookups();
};

void Report(const char* what, const reports::ReportResult& r, const Timer& timer, int items, double extra = -1) {
    const double seconds = Seconds(timer.wall), cpu = CpuSeconds() - timer.cpu;
    if (!r.completed) {
        std::printf("    %-7s FAILED: %s\n", what, qPrintable(r.error));
        return;
    }
    std::printf("    %-7s %7.2f s (cpu %6.2f s)  %9.0f items/s  %6d pages", what, seconds, cpu, items / seconds,
                r.pages);
    if (extra >= 0) std::printf("  %6.0f bytes/item", extra);
    std::printf("  %llu printer lookups", static_cast<unsigned long long>(reports::engine::PrinterLookups() - timer.lookups));
    std::printf("\n");
    std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    std::vector<int> sizes;
    bool stream = true, text = true, pdf = true;
    std::vector<int> which;
    QString keep;
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--outputs") && i + 1 < argc) {
            const QString o = QString::fromLocal8Bit(argv[++i]);
            stream = o.contains("stream");
            text = o.contains("text");
            pdf = o.contains("pdf");
        } else if (!std::strcmp(argv[i], "--reports") && i + 1 < argc) {
            for (const QString& n : QString::fromLocal8Bit(argv[++i]).split(',')) which.push_back(n.toInt());
        } else if (!std::strcmp(argv[i], "--keep") && i + 1 < argc) {
            keep = QString::fromLocal8Bit(argv[++i]);
        } else if (const auto size = bench::ParseSize(argv[i])) {
            sizes.push_back(int(*size));
        } else {
            std::fprintf(stderr,
                         "usage: %s [sizes such as 100k or 1M] [--outputs stream,text,pdf] [--reports 1,2,...] "
                         "[--keep DIR]\n",
                         argv[0]);
            return 2;
        }
    }
    if (sizes.empty()) sizes = {100000, 1000000};
    if (which.empty()) which = {1, 2, 3, 4, 5, 6, 7, 8};

    const std::vector<reports::ReportDefinition> defaults = reports::DefaultReportDefinitions();
    reports::ReportSettings settings;
    settings.sortFields = {12, 0, 0, 0};
    settings.insurance.company = "Mutual Household";
    settings.insurance.policy = "P-778";
    settings.insurance.yourName = "Pat Halvorsen";
    settings.insurance.printCompany = settings.insurance.printPolicy = settings.insurance.printStatement = true;

    for (int size : sizes) {
        QTemporaryDir temp;
        const QString dir = keep.isEmpty() ? temp.path() : keep;
        QDir().mkpath(dir);
        store::Table table;
        table.SetDirectory(dir.toStdString());
        table.SetTableName("BENCH");
        table.Create(store::ItemTableFieldDefs());
        table.Open();
        Clock::time_point start = Clock::now();
        Generate(table, size);
        table.AddIndex("NewIndex", "Upper(Left(Category,20))");
        table.SetActiveIndex("NewIndex");
        std::printf("%d items (generated and indexed in %.1f s)\n", size, Seconds(start));
        for (int n : which) {
            if (n < 1 || n > int(defaults.size())) continue;
            const reports::ReportDefinition& def = defaults[size_t(n - 1)];
            std::printf("  %d %s\n", n, def.name.c_str());
            if (stream) {
                QBuffer recorded;
                const Timer timer;
                const auto r = reports::RecordReport(def, table, settings, recorded);
                Report("stream", r, timer, size, double(recorded.size()) / size);
            }
            if (text) {
                const QString path = dir + "/report.txt";
                const Timer timer;
                const auto r = reports::WriteTextReport(def, table, settings, path);
                Report("text", r, timer, size, double(QFileInfo(path).size()) / size);
            }
            if (pdf) {
                const QString path = dir + "/report.pdf";
                const Timer timer;
                const auto r = reports::WritePdfReport(def, table, settings, path);
                Report("pdf", r, timer, size, double(QFileInfo(path).size()) / size);
            }
        }
        table.Close();
        if (keep.isEmpty()) QFile::remove(dir + "/BENCH.DBF");
    }
    return 0;
}
