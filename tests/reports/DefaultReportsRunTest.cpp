// Every default report over a generated table of 1,000 items, in every
// output: straight to a printer (one writing a PDF file), recorded for the
// preview, as a text file and as a PDF file. Each completes, the PDF files
// have as many pages as the recorded report (counted by poppler's pdfinfo
// and by walking the recorded pages), and the text file has one form feed
// per page.

#include <QPrinter>
#include <QtTest>

#include "EngineServices.h"
#include "ReportTestSupport.h"
#include "engine/EngineTestSupport.h"

using namespace reports;
using namespace reporttest;

class DefaultReportsRunTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    store::Table m_table;

private slots:
    void initTestCase() {
        enginetest::AsWithoutPrinter();
        QVERIFY(m_dir.isValid());
        CreateTable(m_table, m_dir.path());
        GenerateItems(m_table, 1000);
        m_table.AddIndex("NewIndex", "UPPER(LEFT(Category,20))+UPPER(LEFT(Location,20))");
        m_table.SetActiveIndex("NewIndex");
    }

    void everyOutput_data() {
        QTest::addColumn<int>("index");
        const auto defs = DefaultReportDefinitions();
        for (int i = 0; i < int(defs.size()); ++i) QTest::newRow(defs[size_t(i)].name.c_str()) << i;
    }

    void everyOutput() {
        QFETCH(int, index);
        ReportDefinition def = DefaultReportDefinitions()[size_t(index)];
        def.groupLevel2 = index % 2 == 1;  // half of them grouped by two fields
        def.landscape = index == 2;
        ReportSettings settings = HouseholdSettings();
        settings.sortFields = {12, 5, 0, 0};

        QBuffer recorded;
        const ReportResult view = RecordReport(def, m_table, settings, recorded);
        QVERIFY2(view.completed, qPrintable(view.error));
        const int pages = int(RecordedTexts(recorded.buffer()).size());
        QCOMPARE(pages, view.pages);
        QVERIFY(pages > 1);

        const QString pdf = m_dir.filePath("report.pdf");
        const ReportResult written = WritePdfReport(def, m_table, settings, pdf);
        QVERIFY2(written.completed, qPrintable(written.error));
        QCOMPARE(enginetest::PdfPageCount(pdf), pages);
        const QString info = enginetest::Poppler("pdfinfo", {pdf});
        QVERIFY2(info.contains(def.landscape ? "792 x 612 pts" : "612 x 792 pts"), qPrintable(info));

        QPrinter printer(QPrinter::HighResolution);
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(m_dir.filePath("printed.pdf"));
        printer.setPageSize(QPageSize(QPageSize::Letter));
        // Each page's start is reported as it is composed.
        int lastPage = 0;
        const ReportResult printed = PrintReport(def, m_table, settings, &printer, [&](const ReportProgress& p) {
            lastPage = p.page;
            return true;
        });
        QVERIFY2(printed.completed, qPrintable(printed.error));
        QCOMPARE(lastPage, pages);
        QCOMPARE(enginetest::PdfPageCount(m_dir.filePath("printed.pdf")), pages);

        const QString txt = m_dir.filePath("report.txt");
        lastPage = 0;
        const ReportResult text = WriteTextReport(def, m_table, settings, txt, [&](const ReportProgress& p) {
            lastPage = p.page;
            return true;
        });
        QVERIFY2(text.completed, qPrintable(text.error));
        QCOMPARE(lastPage, text.pages);
        const QString content = ReadFile(txt);
        QCOMPARE(int(content.count(QLatin1Char('\f'))), text.pages);
        QVERIFY(content.endsWith(QStringLiteral("\f\n")));
        QCOMPARE(int(content.count(QStringLiteral("GRAND TOTALS"))), def.useTotals ? 1 : 0);
    }
};

QTEST_MAIN(DefaultReportsRunTest)
#include "DefaultReportsRunTest.moc"
