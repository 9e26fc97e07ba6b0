// Times the photos of items:
//
//   - the item editor opened on an item with 20 photos of 6 megapixels:
//     the time until the window shows (thumbnails not yet made), until every
//     thumbnail is there the first time (made on worker threads and kept in
//     the folder), and the next opening, which takes them from the folder;
//   - a report that prints each item's first photo, of 1,000 items, to PDF.
//
//   bench_attachments [items] [--distinct N] [--keep DIR]
//
// items defaults to 1000; the items share N distinct photos (default 100),
// each read again for every item as a report reads them. Timings are
// printed, never checked; on a shared machine they are noisy.

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QListWidget>
#include <QPainter>
#include <QTemporaryDir>
#include <array>
#include <chrono>
#include <cstdio>
#include <cstring>

#include "AttachmentStore.h"
#include "DefaultReports.h"
#include "ItemSchema.h"
#include "MainContext.h"
#include "PhotosPage.h"
#include "ReportJob.h"
#include "ReportPhotos.h"
#include "ItemEditor.h"
#include "Table.h"

namespace {

using Clock = std::chrono::steady_clock;
double Seconds(Clock::time_point from) { return std::chrono::duration<double>(Clock::now() - from).count(); }

class BenchMain : public common::MainContext {
public:
    QWidget* Window() override { return nullptr; }
    store::Table& ItemTable() override { return table; }
    store::Table& CheckTable() override { return check; }
    store::Table& CreateTable() override { return create; }
    int& EditorMode() override { return mode; }
    bool SearchOn() const override { return false; }
    void SetSearchTest(RecordTest) override {}
    void EnableEndSearch() override {}
    void DisableEndSearch() override {}
    void DoEndSearch() override {}
    const std::string& SortExpression() const override { return sort; }
    void BuildSortString() override {}
    void SetViewerOptions() override {}
    void DisplayCount() override {}
    void RefreshGrid() override {}
    QStringList& GridPickList(common::PickList list) override { return lists[size_t(int(list) - 1)]; }
    attachments::AttachmentStore* Attachments() override { return &store; }

    store::Table table, check, create;
    attachments::AttachmentStore store;
    int mode = 2;
    std::string sort;
    std::array<QStringList, common::kPickListCount> lists;
};

QString MakePhoto(const QString& path, int n, QSize size) {
    QImage image(size, QImage::Format_RGB32);
    image.fill(QColor::fromHsv((n * 37) % 360, 160, 220));
    QPainter p(&image);
    p.setBrush(QColor::fromHsv((n * 91) % 360, 200, 160));
    p.drawEllipse(QRect(size.width() / 4, size.height() / 4, size.width() / 2, size.height() / 2));
    p.end();
    image.save(path, "JPG", 85);
    return path;
}

bool AllShown(const items::PhotosPage& page) {
    for (int i = 0; i < page.Strip->count(); ++i)
        if (page.ThumbnailKind(i) != "photo") return false;
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    int items = 1000, distinct = 100;
    QString keep;
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--distinct") && i + 1 < argc) distinct = std::max(1, std::atoi(argv[++i]));
        else if (!std::strcmp(argv[i], "--keep") && i + 1 < argc) keep = argv[++i];
        else items = std::max(1, std::atoi(argv[i]));
    }
    QTemporaryDir temp;
    const QString dir = keep.isEmpty() ? temp.path() : keep;
    QDir().mkpath(dir + "/in");
    qputenv("XDG_DATA_HOME", (dir + "/xdg-data").toUtf8());
    qputenv("XDG_CONFIG_HOME", (dir + "/xdg-config").toUtf8());

    BenchMain main;
    main.table.SetDirectory(dir.toStdString());
    main.table.SetTableName("MASTER");
    main.table.Create(store::ItemTableFieldDefs());
    main.table.Open();
    main.table.BeginBulkAppend();
    for (int i = 0; i < items; ++i) {
        main.table.Append();
        main.table.SetText("Item", "Item " + std::to_string(i + 1));
        main.table.SetText("Category", i % 2 ? "Furniture" : "Electronics");
        main.table.SetText("Cost", std::to_string(10 + i % 900));
        main.table.Post();
    }
    main.table.EndBulkAppend();
    main.store.Attach(main.table);

    // ---- the editor on an item with 20 photos of 6 megapixels
    {
        std::vector<attachments::NewAttachment> photos;
        for (int i = 0; i < 20; ++i)
            photos.push_back({MakePhoto(QString("%1/in/big%2.jpg").arg(dir).arg(i), 1000 + i, {3000, 2000})
                                  .toStdString(),
                              attachments::Kind::Photo, "Photo " + std::to_string(i + 1)});
        main.store.Add(0, photos);
        main.table.First();
        items::ItemEditor edit(main);
        for (const char* run : {"first opening (thumbnails made)", "next opening (thumbnails kept)"}) {
            const auto start = Clock::now();
            edit.show();
            QApplication::processEvents();
            const double shown = Seconds(start);
            while (!AllShown(*edit.PhotosTab)) {
                edit.PhotosTab->WaitForThumbnails();
                QApplication::processEvents();
            }
            std::printf("editor, 20 photos, %s: shown in %.3f s, every thumbnail in %.3f s\n", run, shown,
                        Seconds(start));
            edit.hide();
        }
    }

    // ---- a report printing each item's first photo, to PDF
    std::vector<std::string> paths;
    for (int i = 0; i < distinct; ++i)
        paths.push_back(MakePhoto(QString("%1/in/p%2.jpg").arg(dir).arg(i), i, {2400, 1800}).toStdString());
    for (int r = 1; r < items; ++r)
        main.store.Add(uint32_t(r), {{paths[size_t(r % distinct)], attachments::Kind::Photo, "Front"}});
    reports::ReportDefinition def = reports::DefaultReportDefinitions().front();
    def.printPhotos = true;
    reports::ReportSettings settings;
    settings.photos = reports::PhotosOf(&main.store);
    const QString pdf = dir + "/photos.pdf";
    const auto start = Clock::now();
    const reports::ReportResult result = reports::WritePdfReport(def, main.table, settings, pdf);
    const double seconds = Seconds(start);
    std::printf("report with photos, %d items (%d distinct 4 MP photos) to PDF: %.2f s, %d pages, %.1f MB%s\n",
                items, distinct, seconds, result.pages, QFileInfo(pdf).size() / 1e6,
                result.completed ? "" : " (not completed)");
    return result.completed ? 0 : 1;
}
