// Times the page engine on a report of ruled pages: each page has a title,
// 60 lines of 8 bordered columns (one of them shaded) and a footer, as the
// report writer draws a one-line definition with vertical and horizontal
// lines. Prints pages per second for
//
//   - recording every page into a memory stream (the preview's road), with
//     the text as given and with every cell's text fitted to its column
//     (MeasureText against ColumnTextWidth, as the report writer does);
//   - reading and checking the recorded report (what the preview and the
//     printer do first);
//   - replaying every page to an image at 100 % (the preview);
//   - replaying every page to a PDF file.
//
//   bench_report_engine [pages] [--keep DIR]
//
// pages defaults to 2000. With --keep, page 1 at 100 % (page-1.png) and the
// PDF (report.pdf) stay in DIR for a look. Timings are printed, never
// checked; the page counts are.

#include <QBuffer>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QTemporaryDir>
#include <array>
#include <chrono>
#include <cstdio>

#include "BenchRng.h"
#include "EngineServices.h"
#include "ReportStream.h"
#include "RecordedPagePreview.h"
#include "ReportRecorder.h"

namespace {

using namespace reports::engine;
using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point from) { return std::chrono::duration<double>(Clock::now() - from).count(); }

const std::array<const char*, 10> kItems = {"Television", "Cordless Drill", "Sofa", "Laptop computer",
                                            "Lawn Mower", "Wedding Ring", "Stand Mixer", "Turntable",
                                            "Oak bookcase, five shelves", "Violin"};
const std::array<const char*, 8> kBrands = {"Kestrilon", "Valmora", "Pellison", "Quorvex",
                                            "Harbelson", "Sonteva", "Brisolm", "Feltmark"};
const std::array<const char*, 6> kPlaces = {"Living Room", "Kitchen", "Study", "Basement", "Garage", "Attic"};
constexpr int kLines = 60;
constexpr double kWidths[8] = {1.6, 1.0, 1.0, 0.9, 0.7, 0.8, 0.8, 0.7};

// The cells of the report, made once so that the timings hold the engine only.
std::vector<QString> MakeCells(int pages) {
    bench::Rng rng(0x9A6E);
    std::vector<QString> cells;
    cells.reserve(size_t(pages) * kLines * 8);
    for (int i = 0; i < pages * kLines; ++i) {
        const int cost = rng.Below(250000);
        cells.push_back(QString::fromLatin1(rng.Pick(kItems)));
        cells.push_back(QString::fromLatin1(rng.Pick(kBrands)));
        cells.push_back(QStringLiteral("M-%1").arg(rng.Below(100000)));
        cells.push_back(QString::fromLatin1(rng.Pick(kPlaces)));
        cells.push_back(QString::number(1 + rng.Below(4)));
        cells.push_back(QStringLiteral("%1.%2").arg(cost / 100).arg(cost % 100, 2, 10, QLatin1Char('0')));
        cells.push_back(QStringLiteral("%1.00").arg(cost / 80));
        cells.push_back(QStringLiteral("03/%1/2019").arg(1 + rng.Below(28), 2, 10, QLatin1Char('0')));
    }
    return cells;
}

void Compose(PageEngine& r, int pages, const std::vector<QString>& cells, bool fit) {
    r.OnPrintHeader = [](PageEngine& e) {
        e.BodyTop(0.5);
        e.BodyBottom(1.25);
        e.GoToBodyStart();
        e.SelectFont("Arial", 14);
        e.SetFontStyle(true, false, false, false);
        e.WriteCentredAt("Household Inventory", e.PaperWidth() / 2);
        e.NewLine();
    };
    r.OnPrintPage = [&cells, pages, fit](PageEngine& e, int page) {
        e.BodyTop(1.25);
        e.BodyBottom(e.PaperHeight() - 1.25);
        e.GoToBodyStart();
        e.SelectFont("Arial", 8);
        e.ClearColumns();
        for (int c = 0; c < 8; ++c) e.AddColumn(c < 4 ? 1 : 2, 15, c == 5 ? 10 : 0, 2, kWidths[c], -32768);
        size_t at = size_t(page - 1) * kLines * 8;
        QString line;
        for (int l = 0; l < kLines; ++l) {
            line.clear();
            for (int c = 0; c < 8; ++c) {
                QString text = cells[at++];
                if (fit)
                    while (!text.isEmpty() && e.MeasureText(text) > e.ColumnTextWidth(c + 1)) text.chop(1);
                line += QLatin1Char('\t');
                line += text;
            }
            e.WriteLine(line);
        }
        return page < pages;
    };
    r.OnPrintFooter = [](PageEngine& e) {
        e.BodyTop(e.PaperHeight() - 1.0);
        e.BodyBottom(e.PaperHeight() - 0.5);
        e.SelectFont("Arial", 8);
        e.GoToLastLine();
        e.WriteAcross(QStringLiteral("Page %1").arg(e.CurrentPage()), 1);
        e.WriteAcross("Mutual Household    #P-778", 0);
    };
}

void Report(const char* what, int pages, double seconds, const QString& extra = {}) {
    std::printf("%-44s %6d pages  %8.3f s  %9.0f pages/s  %s\n", what, pages, seconds, pages / seconds,
                qPrintable(extra));
}

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
    QGuiApplication app(argc, argv);
    int pages = 2000;
    QString keep;
    const QStringList args = app.arguments();
    for (int i = 1; i < args.size(); ++i) {
        if (args[i] == "--keep" && i + 1 < args.size())
            keep = args[++i];
        else
            pages = std::max(1, args[i].toInt());
    }
    SetMessageHandler([](const QString& title, const QString& text) {
        std::fprintf(stderr, "%s: %s\n", qPrintable(title), qPrintable(text));
    });
    const std::vector<QString> cells = MakeCells(pages);

    QByteArray recorded;
    for (bool fit : {false, true}) {
        ReportRecorder filer;
        Compose(filer, pages, cells, fit);
        const auto start = Clock::now();
        if (!filer.RunJob() || filer.PageCount() != pages) {
            std::fprintf(stderr, "recording failed\n");
            return 1;
        }
        const double s = Seconds(start);
        recorded = qobject_cast<QBuffer*>(filer.Stream())->buffer();
        Report(fit ? "record, every cell fitted with MeasureText" : "record to a memory stream", pages, s,
               QStringLiteral("%1 MB").arg(recorded.size() / 1e6, 0, 'f', 1));
    }

    {
        const auto start = Clock::now();
        ReportStreamReader reader;
        reader.Open(recorded);
        if (reader.PageCount() != pages) return 1;
        Report("read and check the recorded report", pages, Seconds(start));
    }

    QBuffer buffer(&recorded);
    RecordedPagePreview preview;
    preview.SetScreenResolution(96, 96);
    preview.SetStream(&buffer);
    if (!preview.StartPreview() || preview.PageCount() != pages) return 1;
    {
        const auto start = Clock::now();
        qint64 ink = 0;
        for (int n = 1; n <= pages; ++n) ink += preview.RenderPage(n, 100).sizeInBytes();
        Report("replay every page to an image at 100 %", pages, Seconds(start),
               QStringLiteral("%1 MB of pixels").arg(ink / 1e6, 0, 'f', 0));
    }

    QTemporaryDir temporary;
    const QString folder = keep.isEmpty() ? temporary.path() : keep;
    QDir().mkpath(folder);
    const QString pdf = QDir(folder).filePath("report.pdf");
    {
        const auto start = Clock::now();
        if (!preview.WritePdf(pdf)) return 1;
        Report("replay every page to a PDF file", pages, Seconds(start),
               QStringLiteral("%1 MB").arg(QFileInfo(pdf).size() / 1e6, 0, 'f', 1));
    }
    if (!keep.isEmpty()) preview.RenderPage(1, 100).save(QDir(folder).filePath("page-1.png"));
    return 0;
}
