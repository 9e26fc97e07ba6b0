// Reports that print each item's first photo: the option in the definition
// record, and real reports to PDF checked with the PDF tools (pages, the
// images on each page, the text), to a text file, and recorded.

#include <QBuffer>
#include <QDir>
#include <QImage>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

#include "AttachmentStore.h"
#include "DefaultReports.h"
#include "ReportDefinition.h"
#include "ReportJob.h"
#include "ReportPhotos.h"
#include "ReportTestSupport.h"
#include "Table.h"

using namespace reports;

namespace {

QString Run(const QString& program, const QStringList& args) {
    QProcess p;
    p.start(program, args);
    if (!p.waitForFinished(60000)) return {};
    return QString::fromUtf8(p.readAllStandardOutput());
}

// Page number of every image in the PDF, in order.
QList<int> ImagePages(const QString& pdf) {
    QList<int> pages;
    const QStringList lines = Run("pdfimages", {"-list", pdf}).split('\n');
    for (const QString& line : lines.mid(2)) {
        const QStringList cells = line.simplified().split(' ');
        // Soft masks belong to the image before them.
        if (cells.size() > 2 && cells[2] == "image") pages << cells[0].toInt();
    }
    return pages;
}

int PageCount(const QString& pdf) {
    for (const QString& line : Run("pdfinfo", {pdf}).split('\n'))
        if (line.startsWith("Pages:")) return line.mid(6).trimmed().toInt();
    return -1;
}

QString Image(const QString& path, QColor color, QSize size) {
    QImage image(size, QImage::Format_RGB32);
    image.fill(color);
    return image.save(path) ? path : QString();
}

ReportDefinition PhotoReport() {
    ReportDefinition def = DefaultReportDefinitions().front();
    def.printPhotos = true;
    return def;
}

}  // namespace

class ReportPhotosTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    store::Table m_table;
    attachments::AttachmentStore m_store;

private slots:
    void initTestCase() {
        QVERIFY(m_dir.isValid());
        reporttest::CreateTable(m_table, m_dir.path());
        reporttest::AddItems(m_table, reporttest::Household());
        QVERIFY(m_store.Attach(m_table).Empty());
    }

    void optionLivesInTheReservedBytes() {
        ReportDefinition def = DefaultReportDefinitions().front();
        const std::vector<uint8_t> off = EncodeDefinition(def);
        // Off: the record is what it always was, reserved bytes all zero.
        QVERIFY(std::all_of(off.begin() + 20124, off.end(), [](uint8_t b) { return b == 0; }));
        QCOMPARE(DecodeDefinition(off).definition.printPhotos, false);

        def.printPhotos = true;
        def.photoHeight = 2.5;
        std::vector<uint8_t> on = EncodeDefinition(def);
        QCOMPARE(std::vector<uint8_t>(on.begin(), on.begin() + 20124), std::vector<uint8_t>(off.begin(), off.begin() + 20124));
        const DecodedDefinition back = DecodeDefinition(on);
        QVERIFY(back.problems.empty());
        QCOMPARE(back.definition, def);

        // Bytes another program left there without the tag mean nothing.
        std::vector<uint8_t> junk = off;
        std::fill(junk.begin() + 20124, junk.end(), uint8_t(0xFF));
        QCOMPARE(DecodeDefinition(junk).definition.printPhotos, false);
        // A height out of range is set back to the default, and said.
        on[20129] = 0xFF;
        on[20130] = 0x7F;
        const DecodedDefinition wild = DecodeDefinition(on);
        QCOMPARE(wild.definition.photoHeight, kDefaultPhotoHeight);
        QCOMPARE(wild.problems.size(), size_t(1));
    }

    void photosInThePdfMatchTheItemsWithPhotos() {
        // Refrigerator: a photo. Television: a receipt first, then a photo
        // with a caption. Sofa: a photo that no longer reads. Camera: a
        // photo smaller than the box. The rest: none.
        const QString dir = m_dir.filePath("in");
        QVERIFY(QDir().mkpath(dir));
        const auto add = [&](uint32_t recno, std::vector<attachments::NewAttachment> files) { m_store.Add(recno, files); };
        add(0, {{Image(dir + "/fridge.jpg", Qt::white, {3000, 4000}).toStdString(), attachments::Kind::Photo, {}}});
        QFile pdf(dir + "/receipt.pdf");
        QVERIFY(pdf.open(QIODevice::WriteOnly));
        pdf.write("%PDF-1.4\n%%EOF\n");
        pdf.close();
        add(1, {{(dir + "/receipt.pdf").toStdString(), attachments::Kind::Receipt, {}},
                {Image(dir + "/tv.png", Qt::blue, {800, 600}).toStdString(), attachments::Kind::Photo, "Wall mount"}});
        QFile broken(dir + "/sofa.jpg");
        QVERIFY(broken.open(QIODevice::WriteOnly));
        broken.write(QByteArray(500, 'x'));
        broken.close();
        add(2, {{(dir + "/sofa.jpg").toStdString(), attachments::Kind::Photo, {}}});
        add(7, {{Image(dir + "/camera.png", Qt::red, {48, 36}).toStdString(), attachments::Kind::Photo, {}}});

        ReportSettings settings = reporttest::HouseholdSettings();
        settings.photos = PhotosOf(&m_store);
        const QString withPhotos = m_dir.filePath("photos.pdf");
        const ReportResult result = WritePdfReport(PhotoReport(), m_table, settings, withPhotos);
        QVERIFY2(result.completed, qPrintable(result.error));
        QCOMPARE(ImagePages(withPhotos).size(), 3);
        QCOMPARE(PageCount(withPhotos), result.pages);
        const QString text = Run("pdftotext", {"-layout", withPhotos, "-"});
        // Names may be cut to the narrower columns, never left out.
        for (const auto& item : reporttest::Household())
            QVERIFY2(text.contains(QString(item.item).left(14)), item.item);
        QVERIFY(text.contains("Wall mount"));
        // The caption stands under its photo, not on it: the top of its words
        // below the last row of the blue picture on the page drawn at 72 dpi,
        // where a pixel is a point.
        const QRegularExpression wall("<page[^>]*>(?:(?!</page>)[\\s\\S])*?<word xMin=\"[0-9.]+\" yMin=\"([0-9.]+)\"[^>]*>Wall</word>");
        const QString boxes = Run("pdftotext", {"-bbox", withPhotos, "-"});
        const QRegularExpressionMatch at = wall.match(boxes);
        QVERIFY(at.hasMatch());
        const int page = int(boxes.left(at.capturedStart()).count("<page "));
        const QString png = m_dir.filePath("caption");
        Run("pdftoppm", {"-f", QString::number(page), "-l", QString::number(page), "-r", "72", "-png", "-singlefile", withPhotos, png});
        const QImage drawn(png + ".png");
        QVERIFY(!drawn.isNull());
        int blueBottom = -1;
        for (int y = 0; y < drawn.height(); ++y)
            for (int x = 0; x < drawn.width(); ++x) {
                const QColor c = drawn.pixelColor(x, y);
                if (c.blue() > 150 && c.red() < 80 && c.green() < 80) blueBottom = y;
            }
        QVERIFY(blueBottom > 0);
        QVERIFY2(at.captured(1).toDouble() >= blueBottom,
                 qPrintable(QString("caption at %1, picture down to %2").arg(at.captured(1)).arg(blueBottom)));

        // The same report without the option prints no image, and the text
        // file never carries photos.
        const QString plain = m_dir.filePath("plain.pdf");
        QVERIFY(WritePdfReport(DefaultReportDefinitions().front(), m_table, settings, plain).completed);
        QCOMPARE(ImagePages(plain).size(), 0);
        const QString textFile = m_dir.filePath("photos.txt");
        QVERIFY(WriteTextReport(PhotoReport(), m_table, settings, textFile).completed);
        QVERIFY(!reporttest::ReadFile(textFile).contains("Wall mount"));
    }

    void labelsBesideAPhotoReadAsWithoutIt() {
        // The widest default layout, with labels on every line: the values
        // give up the photo's room, the labels keep theirs, so every label
        // reads as it does in the same report without photos.
        const QString dir = m_dir.filePath("labels");
        QVERIFY(QDir().mkpath(dir));
        m_store.Add(0, {{Image(dir + "/wide.png", Qt::green, {800, 600}).toStdString(), attachments::Kind::Photo, {}}});
        ReportDefinition full = DefaultReportDefinitions().at(4);
        ReportSettings settings = reporttest::HouseholdSettings();
        settings.photos = PhotosOf(&m_store);
        const QString plain = m_dir.filePath("labels-plain.pdf");
        QVERIFY(WritePdfReport(full, m_table, settings, plain).completed);
        full.printPhotos = true;
        const QString out = m_dir.filePath("labels.pdf");
        QVERIFY(WritePdfReport(full, m_table, settings, out).completed);
        QVERIFY(ImagePages(out).size() >= 1);
        const auto words = [](const QString& pdf) {
            return Run("pdftotext", {pdf, "-"}).split(QRegularExpression("\\s+"), Qt::SkipEmptyParts);
        };
        const QStringList with = words(out);
        int labels = 0;
        for (const QString& word : words(plain)) {
            if (!word.endsWith(':')) continue;
            ++labels;
            QVERIFY2(with.contains(word), qPrintable(word));
        }
        QVERIFY(labels > 10);
    }

    void photosTakeTheirHeightAndBreakPagesWhole() {
        // Every item with a photo: a page holds only as many as fit whole.
        store::Table table;
        attachments::AttachmentStore store;
        QTemporaryDir dir;
        reporttest::CreateTable(table, dir.path());
        reporttest::GenerateItems(table, 40);
        QVERIFY(store.Attach(table).Empty());
        const QString photo = Image(dir.filePath("p.jpg"), Qt::darkGreen, {1600, 1200});
        for (uint32_t r = 0; r < 40; ++r) store.Add(r, {{photo.toStdString(), attachments::Kind::Photo, "Seen"}});
        ReportSettings settings;
        settings.photos = PhotosOf(&store);
        ReportDefinition def = PhotoReport();
        def.photoHeight = 2.0;
        const QString out = qEnvironmentVariableIsSet("PHOTO_PDF") ? qEnvironmentVariable("PHOTO_PDF") : dir.filePath("all.pdf");
        const ReportResult result = WritePdfReport(def, table, settings, out);
        QVERIFY2(result.completed, qPrintable(result.error));
        const QList<int> pages = ImagePages(out);
        QCOMPARE(pages.size(), 40);
        // 11 inch paper, half inch margins, a title block: at most four 2-inch
        // photos with their captions on a page.
        QMap<int, int> perPage;
        for (int p : pages) ++perPage[p];
        for (int n : perPage) QVERIFY2(n <= 4, qPrintable(QString::number(n)));
        QVERIFY(perPage.first() >= 2);
        QVERIFY(PageCount(out) >= 10);
        // The recorded report (the preview) holds the same images.
        QBuffer recorded;
        QVERIFY(recorded.open(QIODevice::ReadWrite));
        QVERIFY(RecordReport(def, table, settings, recorded).completed);
        QCOMPARE(reporttest::AllTexts(reporttest::RecordedTexts(recorded.data())).count("Seen"), 40);
        // The text file has no pictures, but its pages break where these do;
        // it used to put the 40 items on a page or two.
        const QString text = dir.filePath("all.txt");
        const ReportResult textResult = WriteTextReport(def, table, settings, text);
        QCOMPARE(textResult.pages, result.pages);
        QCOMPARE(reporttest::TextPages(reporttest::ReadFile(text)).size(), result.pages);
    }
};

QTEST_MAIN(ReportPhotosTest)
#include "ReportPhotosTest.moc"
