// Output of recorded reports: the preview's zoom, paging and page image,
// printing page ranges and copies, PDF files checked with poppler-utils,
// and what happens without a printer or with a file that cannot be written.

#include <QFile>
#include <QPrinter>
#include <QTemporaryDir>
#include <QTest>

#include "EngineTestSupport.h"
#include "RecordedPagePreview.h"
#include "PrinterPageEngine.h"

using namespace enginetest;

namespace {

class FakeScrollBox : public PreviewScrollBox {
public:
    Geometry geometry;
    QImage image;
    int border = -1;
    int shown = 0;
    bool released = false;
    Geometry ScrollBoxGeometry() const override { return geometry; }
    void ShowPageImage(const QImage& i, int b) override {
        image = i;
        border = b;
        ++shown;
    }
    void ReleasePageImage() override { released = true; }
};

// A preview set up as the preview window sets it up (a 2.5 % border), on a
// 96 dpi screen, over a recorded report of the sample.
struct PreviewOnScreen {
    QByteArray stream;
    QBuffer buffer{&stream};
    FakeScrollBox box;
    RecordedPagePreview preview;
    explicit PreviewOnScreen(int pages) : stream(Record(pages)) {
        preview.SetScreenResolution(96, 96);
        preview.SetMarginPercent(2.5);
        preview.SetScrollBox(&box);
        preview.SetStream(&buffer);
    }
};

QString PdfText(const QString& file, int page = 0) {
    QStringList args{"-layout"};
    if (page > 0) args << "-f" << QString::number(page) << "-l" << QString::number(page);
    return Poppler("pdftotext", args << file << "-");
}

}  // namespace

class OutputTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { AsWithoutPrinter(); }
    void init() { m_messages = std::make_unique<MessageRecorder>(); }
    void cleanup() { m_messages.reset(); }

    void zoomKeepsItsLimits_data();
    void zoomKeepsItsLimits();
    void zoomStepsAndEvents();
    void fitZoom_data();
    void fitZoom();
    void pagesAreReachedThroughTheChain();
    void pageImageAndBorder();
    void monochromeHasNoColour();
    void printPagesRangeAndCopies_data();
    void printPagesRangeAndCopies();
    void pdfKeepsTheTextAsText();
    void pdfThatCannotBeWrittenLeavesNothing();
    void noPrinterRefusesPrintingButPreviews();
    void directPrintingOutputsOnlyTheRange();

private:
    std::unique_ptr<MessageRecorder> m_messages;
    QTemporaryDir m_dir;
};

void OutputTest::zoomKeepsItsLimits_data() {
    QTest::addColumn<double>("asked");
    QTest::addColumn<double>("kept");
    QTest::newRow("5 gives 10") << 5.0 << 10.0;
    QTest::newRow("negative") << -40.0 << 10.0;
    QTest::newRow("10 kept") << 10.0 << 10.0;
    QTest::newRow("33.3 kept") << 33.3 << 33.3;
    QTest::newRow("200 kept") << 200.0 << 200.0;
    QTest::newRow("250 gives 200") << 250.0 << 200.0;
}

void OutputTest::zoomKeepsItsLimits() {
    QFETCH(double, asked);
    QFETCH(double, kept);
    RecordedPagePreview preview;
    preview.SetZoom(asked);
    QCOMPARE(preview.ZoomFactor(), kept);
}

void OutputTest::zoomStepsAndEvents() {
    RecordedPagePreview preview;
    QCOMPARE(preview.ZoomFactor(), 100.0);
    QCOMPARE(preview.ZoomInc(), 10.0);
    preview.SetZoom(195);
    preview.ZoomIn();
    QCOMPARE(preview.ZoomFactor(), 200.0);
    preview.SetZoom(15);
    preview.ZoomOut();
    QCOMPARE(preview.ZoomFactor(), 10.0);
    preview.SetZoom(std::nan(""));
    QCOMPARE(preview.ZoomFactor(), 10.0);
    // With a zoom handler the handler redraws; without one the preview does.
    QByteArray s = Record(1);
    QBuffer buffer(&s);
    FakeScrollBox box;
    preview.SetScrollBox(&box);
    preview.SetStream(&buffer);
    QVERIFY(preview.StartPreview());
    QCOMPARE(box.shown, 1);
    preview.ZoomIn();
    QCOMPARE(box.shown, 2);
    int changes = 0;
    preview.OnZoomChange = [&](RecordedPagePreview& p) {
        ++changes;
        QCOMPARE(p.ZoomFactor(), 30.0);
    };
    preview.ZoomIn();
    QCOMPARE(changes, 1);
    QCOMPARE(box.shown, 2);
}

void OutputTest::fitZoom_data() {
    QTest::addColumn<int>("outerWidth");
    QTest::addColumn<int>("outerHeight");
    QTest::addColumn<double>("pageWidth");
    QTest::addColumn<double>("wholePage");
    // 96 dpi, letter paper, border 2.5 % of 816 px = 20 px, frame 4, scroll bar 17.
    QTest::newRow("window of 640 by 480: the page scrolls") << 640 << 480 << (596.0 - 17) / 816 * 100
                                                          << (480.0 - 4 - 40) / 1056 * 100;
    QTest::newRow("tall window: no scroll bar") << 900 << 1300 << 856.0 / 816 * 100 << 856.0 / 816 * 100;
    // The page and its borders (1108 + 40 px) just fit the 1156 px inside.
    QTest::newRow("just tall enough: no scroll bar") << 900 << 1160 << 856.0 / 816 * 100 << 856.0 / 816 * 100;
    QTest::newRow("huge window: 200 at most") << 4000 << 6000 << 200.0 << 200.0;
}

void OutputTest::fitZoom() {
    QFETCH(int, outerWidth);
    QFETCH(int, outerHeight);
    QFETCH(double, pageWidth);
    QFETCH(double, wholePage);
    PreviewOnScreen screen(1);
    screen.box.geometry = {outerWidth, outerHeight, outerWidth - 4, outerHeight - 4, 17};
    RecordedPagePreview& preview = screen.preview;
    QVERIFY(preview.StartPreview());
    QCOMPARE(preview.PageWidthZoom(), pageWidth);
    QCOMPARE(preview.ZoomFactor(), pageWidth);
    QCOMPARE(preview.WholePageZoom(), wholePage);
}

void OutputTest::pagesAreReachedThroughTheChain() {
    QByteArray s = Record(5, 2, 4);
    QBuffer buffer(&s);
    RecordedPagePreview preview;
    preview.SetStream(&buffer);
    QList<int> shown;
    preview.OnPageChange = [&](RecordedPagePreview& p) { shown << p.CurrentPage(); };
    QVERIFY(preview.StartPreview());
    QCOMPARE(preview.PageCount(), 3);
    preview.NextPage();
    preview.NextPage();
    preview.NextPage();  // already on the last page: nothing
    preview.ShowPage(99);
    preview.ShowPage(-5);
    preview.PreviousPage();  // already on the first page: nothing
    preview.ShowPage(2);
    preview.Redraw();
    QCOMPARE(shown, (QList<int>{1, 2, 3, 3, 1, 2, 2}));
    preview.EndPreview();
    QVERIFY(preview.PageImage().isNull());
    preview.ShowPage(1);  // not previewing: nothing
    QCOMPARE(shown.size(), 7);
}

void OutputTest::pageImageAndBorder() {
    PreviewOnScreen screen(1);
    RecordedPagePreview& preview = screen.preview;
    const FakeScrollBox& box = screen.box;
    QVERIFY(preview.StartPreview());
    QCOMPARE(box.image.size(), QSize(816, 1056));
    QCOMPARE(box.border, 20);
    preview.SetZoom(50);
    QCOMPARE(box.image.size(), QSize(408, 528));
    QCOMPARE(box.border, 20);  // fixed in screen pixels
    preview.SetMarginMethod(MarginMethod::mmScaled);
    preview.Redraw();
    QCOMPARE(box.border, 10);
    preview.EndPreview();
    QVERIFY(box.released);
    // The page image carries the screen's resolution; a resolution that is
    // not a positive number is not taken.
    QVERIFY(preview.StartPreview());
    for (const auto& [x, y] : {std::pair{0.0, 96.0}, {96.0, -1.0}, {qQNaN(), 96.0}, {96.0, qInf()}})
        preview.SetScreenResolution(x, y);
    QImage page = preview.RenderPage(1, 100);
    QCOMPARE(page.size(), QSize(816, 1056));
    QCOMPARE(page.dotsPerMeterX(), 3780);
    QCOMPARE(page.dotsPerMeterY(), 3780);
    preview.SetScreenResolution(144, 72);
    page = preview.RenderPage(1, 100);
    QCOMPARE(page.size(), QSize(1224, 792));
    QCOMPARE(page.dotsPerMeterX(), 5669);
    QCOMPARE(page.dotsPerMeterY(), 2835);
}

void OutputTest::monochromeHasNoColour() {
    QByteArray s = Record(1);
    QBuffer buffer(&s);
    RecordedPagePreview preview;
    preview.SetStream(&buffer);
    preview.SetMonochrome(true);
    QVERIFY(preview.StartPreview());
    const QImage page = preview.RenderPage(1, 100);
    int dark = 0;
    for (int y = 0; y < page.height(); ++y)
        for (int x = 0; x < page.width(); ++x) {
            const QRgb c = page.pixel(x, y);
            QVERIFY(qRed(c) == qGreen(c) && qGreen(c) == qBlue(c));
            dark += qRed(c) < 64;
        }
    QVERIFY(dark > 1000);
}

void OutputTest::printPagesRangeAndCopies_data() {
    QTest::addColumn<int>("first");
    QTest::addColumn<int>("last");
    QTest::addColumn<int>("copies");
    QTest::addColumn<int>("pages");
    QTest::addColumn<int>("firstPrinted");
    QTest::addColumn<int>("copyCount");  // what the printer is asked for
    QTest::newRow("0, 0, 0: every page") << 0 << 0 << 0 << 5 << 1 << 1;
    QTest::newRow("3, 99, 1: pages 3 to 5") << 3 << 99 << 1 << 3 << 3 << 1;
    QTest::newRow("one page") << 2 << 2 << 0 << 1 << 2 << 1;
    QTest::newRow("last equal to the count") << 4 << 5 << 0 << 2 << 4 << 1;
    QTest::newRow("last below 1") << 4 << -1 << 0 << 2 << 4 << 1;
    QTest::newRow("two copies") << 1 << 2 << 2 << 4 << 1 << 2;
}

void OutputTest::printPagesRangeAndCopies() {
    QFETCH(int, first);
    QFETCH(int, last);
    QFETCH(int, copies);
    QFETCH(int, pages);
    QFETCH(int, firstPrinted);
    QFETCH(int, copyCount);
    QByteArray s = Record(5);
    QBuffer buffer(&s);
    const QString file = m_dir.filePath(QString("range-%1-%2-%3.pdf").arg(first).arg(last).arg(copies));
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFileName(file);
    RecordedReportPrinter filePrinter;
    filePrinter.SetPrinter(&printer);
    filePrinter.SetStream(&buffer);
    QVERIFY(filePrinter.PrintPages(first, last, copies));
    QCOMPARE(printer.copyCount(), copyCount);
    QCOMPARE(PdfPageCount(file), pages);
    QVERIFY(PdfText(file, 1).contains(QString("Page %1").arg(firstPrinted)));
    QVERIFY(PdfText(file, pages).contains(QString("Item 12 of page")));
    QVERIFY(m_messages->texts.isEmpty());
    if (copies > 1) {
        // One copy asked for after more is one copy.
        QVERIFY(filePrinter.PrintPages(first, last, 1));
        QCOMPARE(printer.copyCount(), 1);
    }
}

void OutputTest::pdfKeepsTheTextAsText() {
    for (Orientation orientation : {Orientation::poPortrait, Orientation::poLandScape}) {
        QByteArray s = Record(3, 1, 9999, orientation);
        QBuffer buffer(&s);
        RecordedReportPrinter filePrinter;
        filePrinter.SetStream(&buffer);
        const QString file = m_dir.filePath("report.pdf");
        QVERIFY(filePrinter.WritePdf(file));
        QCOMPARE(PdfPageCount(file), 3);
        const QString text = PdfText(file);
        for (const char* expected : {"Household Inventory", "Item 7 of page 2", "1000.00", "Kitchen",
                                     "Mutual Household", "Page 3", "03/15/2024"})
            QVERIFY2(text.contains(expected), expected);
        const QString info = Poppler("pdfinfo", {file});
        QVERIFY2(info.contains(orientation == Orientation::poPortrait ? "612 x 792 pts" : "792 x 612 pts"),
                 qPrintable(info));
        QVERIFY(filePrinter.WritePdf(file, 2, 2));
        QCOMPARE(PdfPageCount(file), 1);
        QVERIFY(PdfText(file).contains("Item 1 of page 2"));
    }
    QVERIFY(m_messages->texts.isEmpty());
}

void OutputTest::pdfThatCannotBeWrittenLeavesNothing() {
    QTemporaryDir dir;
    QByteArray s = Record(2);
    QBuffer buffer(&s);
    RecordedReportPrinter filePrinter;
    filePrinter.SetStream(&buffer);
    QVERIFY(!filePrinter.WritePdf(dir.filePath("missing/report.pdf")));
    QCOMPARE(m_messages->titles, QStringList{"Error"});
    QVERIFY(m_messages->texts.at(0).contains("missing/report.pdf"));
    // A damaged report leaves the earlier file as it was.
    const QString file = dir.filePath("kept.pdf");
    QVERIFY(filePrinter.WritePdf(file));
    QFile f(file);
    QVERIFY(f.open(QIODevice::ReadOnly));
    const QByteArray before = f.readAll();
    f.close();
    // Stopped before its second page: the earlier file stays, nothing is said.
    int asked = 0;
    filePrinter.OnReplayProgress = [&](int done, int count) {
        ++asked;
        return count == 2 && done < 1;
    };
    QVERIFY(!filePrinter.WritePdf(file));
    QCOMPARE(asked, 2);
    QVERIFY(filePrinter.Aborted());
    QCOMPARE(m_messages->texts.size(), 1);
    QVERIFY(f.open(QIODevice::ReadOnly));
    QCOMPARE(f.readAll(), before);
    f.close();
    filePrinter.OnReplayProgress = nullptr;
    s.truncate(s.size() - 1);
    QVERIFY(!filePrinter.WritePdf(file));
    QVERIFY(f.open(QIODevice::ReadOnly));
    QCOMPARE(f.readAll(), before);
    QVERIFY(!filePrinter.WritePdf(file, 7, 9));  // no such pages
    QCOMPARE(m_messages->texts.size(), 3);
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{"kept.pdf"});
}

void OutputTest::noPrinterRefusesPrintingButPreviews() {
    QByteArray s = Record(2);  // recorded without a printer
    QBuffer buffer(&s);
    RecordedPagePreview preview;
    preview.SetStream(&buffer);
    QVERIFY(!preview.PrintPages(0, 0, 0));
    QVERIFY(!preview.RunJob());
    QCOMPARE(m_messages->texts, QStringList(2, "No printers are defined, aborting print job."));
    QCOMPARE(m_messages->titles, QStringList(2, "Error"));
    QVERIFY(preview.StartPreview());
    QCOMPARE(preview.PageCount(), 2);
}

void OutputTest::directPrintingOutputsOnlyTheRange() {
    const QString file = m_dir.filePath("direct.pdf");
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFileName(file);
    printer.setPageSize(QPageSize(QPageSize::Letter));
    PrinterPageEngine direct;
    direct.SetPrinter(&printer);
    direct.SetFirstPage(2);
    direct.SetLastPage(3);
    ComposeSample(direct, 4);
    QVERIFY(direct.RunJob());
    QCOMPARE(PdfPageCount(file), 2);
    QVERIFY(PdfText(file, 1).contains("Item 1 of page 2"));
    QVERIFY(!PdfText(file).contains("of page 4"));
    QVERIFY(Poppler("pdfinfo", {file}).contains("612 x 792 pts"));
    // A PDF file is the device "PDF" at the file's name.
    QCOMPARE(std::vector<QString>({direct.Devices().device, direct.Devices().port}), std::vector<QString>({"PDF", file}));
    // The report's orientation turns the printer's paper.
    direct.SetOrientation(Orientation::poLandScape);
    QVERIFY(direct.RunJob());
    QVERIFY(Poppler("pdfinfo", {file}).contains("792 x 612 pts"));
    direct.SetOrientation(Orientation::poPortrait);
    QVERIFY(direct.RunJob());
    QVERIFY(Poppler("pdfinfo", {file}).contains("612 x 792 pts"));
    // A range beyond the report prints no blank sheet.
    QFile::remove(file);
    direct.SetFirstPage(9);
    direct.SetLastPage(12);
    QVERIFY(direct.RunJob());
    QVERIFY(!QFile::exists(file));
    QVERIFY(m_messages->texts.isEmpty());
}

QTEST_MAIN(OutputTest)
#include "OutputTest.moc"
