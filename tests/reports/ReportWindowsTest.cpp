// The report windows driven as a user would: the Reports window with a
// search on and off, the Report Status Screen (completed, cancelled, run
// once, no printer), the preview's pages, zoom and printing, Page Printing's
// checks and Insurance Information, all through the scripted window
// services on a real item table and a real KELDOR.URP in temporary folders.

#include <QAction>
#include <QApplication>
#include <QStyle>
#include <QStyleOptionButton>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPrinter>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <QToolBar>
#include <QScrollArea>
#include <QtTest>

#include "../find/FakeMainContext.h"
#include "engine/EngineTestSupport.h"
#include "AppPaths.h"
#include "ReportCommands.h"
#include "ReportFile.h"
#include "ReportFileSetup.h"
#include "ReportStartup.h"
#include "ReportTestSupport.h"
#include "ScriptedUiServices.h"
#include "WindowFit.h"
#include "Settings.h"
#include "InsuranceDialog.h"
#include "ReportViewer.h"

#include <QScrollBar>
#include "ReportsWindow.h"
#include "PageRangeDialog.h"
#include "ReportStatusWindow.h"
#include "ReportDefinitionDialog.h"

using namespace reports;
using namespace reporttest;
using common::ScriptedUiServices;

namespace {

const QString kNoPrinters = QStringLiteral("No printers are defined, aborting print job.");

// Runs the Report Status Screen's job and closes it with OK.
void RunAndClose(QDialog& d) {
    auto& form = static_cast<ReportStatusWindow&>(d);
    form.StartReport();
    QCOMPARE(form.StatusLabel->text(), QStringLiteral("\nReport Completed!"));
    QCOMPARE(form.Button->text(), QStringLiteral("OK"));
    form.CancelOrClose();
    QCOMPARE(form.result(), int(QDialog::Accepted));
}

// The darkest pixel of a check box's or option button's label as the
// control draws itself, as the sum of its red, green and blue (0 black).
int DarkestOfLabel(QAbstractButton& button) {
    QStyleOptionButton option;
    option.initFrom(&button);
    option.text = button.text();
    const bool radio = qobject_cast<QRadioButton*>(&button) != nullptr;
    const QRect label = button.style()->subElementRect(
        radio ? QStyle::SE_RadioButtonContents : QStyle::SE_CheckBoxContents, &option, &button);
    const QImage image = button.grab().toImage();
    int darkest = 3 * 255;
    for (int y = label.top(); y <= label.bottom() && y < image.height(); ++y)
        for (int x = label.left(); x <= label.right() && x < image.width(); ++x) {
            const QRgb c = image.pixel(x, y);
            darkest = std::min(darkest, qRed(c) + qGreen(c) + qBlue(c));
        }
    return darkest;
}

template <typename F>
ScriptedUiServices::DriveDialog DrivePreview(F f) {
    return [f](QDialog& d) { f(static_cast<ReportViewer&>(d)); };
}

}  // namespace

class ReportWindowsTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_home;
    std::unique_ptr<findtest::FakeMainContext> m_context;
    std::unique_ptr<ReportsWindow> m_window;

    store::Table& Table() { return m_context->ItemTable(); }
    QString Path(const QString& name) const { return m_home.filePath(name); }

    // A search that keeps the Kitchen items only.
    void SearchKitchen() {
        m_context->SetSearchTest([](const store::RecordView& r) {
            return r.Text(r.Layout().FieldIndex("Category")) == "Kitchen";
        });
        m_context->EnableEndSearch();
        Table().Refresh();
    }

    void Show() {
        m_window->PrepareToShow();
        m_window->ReportList->setCurrentRow(0);
    }

private slots:
    void initTestCase() {
        QVERIFY(m_home.isValid());
        qputenv("XDG_CONFIG_HOME", m_home.filePath("config").toUtf8());
        qputenv("XDG_DATA_HOME", m_home.filePath("data").toUtf8());
        enginetest::AsWithoutPrinter();
        InstallEngineMessages();
    }

    // Each page is shown from its top left corner, wherever the reader had
    // scrolled the page before.
    void aNewPageIsShownFromItsTopLeft() {
        PreviewArea area;
        area.resize(200, 200);
        area.show();
        QImage page(600, 900, QImage::Format_RGB32);
        page.fill(Qt::white);
        area.ShowPageImage(page, 10);
        area.horizontalScrollBar()->setValue(100);
        area.verticalScrollBar()->setValue(300);
        QCOMPARE(area.verticalScrollBar()->value(), 300);
        area.ShowPageImage(page, 10);
        QCOMPARE(area.horizontalScrollBar()->value(), 0);
        QCOMPARE(area.verticalScrollBar()->value(), 0);
        QCOMPARE(area.Page()->size(), QSize(620, 920));
    }

    void init() {
        common::AppSettings() = common::Settings();
        common::AppSettings().sortFields = {12, 0, 0, 0};
        QFile::remove(QString::fromStdString(AppReportFilePath()));
        QVERIFY(PrepareReportFiles(common::AppPaths::DataDir().toStdString()).errors.empty());
        m_context = std::make_unique<findtest::FakeMainContext>();
        CreateTable(Table(), m_home.path());
        AddItems(Table(), Household());
        SortByCategory(Table());
        m_window = std::make_unique<ReportsWindow>(*m_context, nullptr);
    }

    void cleanup() {
        m_window.reset();
        m_context.reset();
    }

    // ------------------------------------------------------------ the Reports window

    void whatToPrintFollowsTheSearch() {
        Show();
        QVERIFY(!m_window->PrintSearchCriteria->isEnabled());
        QVERIFY(m_window->PrintEntireDatabase->isChecked());
        SearchKitchen();
        Show();
        QVERIFY(m_window->PrintSearchCriteria->isEnabled());
        QVERIFY(m_window->PrintSearchCriteria->isChecked());
    }

    // A search on and "Print Entire Database": every item, and the search
    // on again afterwards; "Print Search Criteria": the search's items.
    void entireDatabaseSuspendsTheSearch() {
        SearchKitchen();
        Show();
        m_window->PrintEntireDatabase->setChecked(true);
        ScriptedUiServices ui;
        const QString all = Path("all.txt"), found = Path("found.txt");
        ui.ExpectSaveFile("Save Report As a Text File", all);
        ui.ExpectModal("Report Status Screen", [this](QDialog& d) {
            QVERIFY(!m_context->SearchOn());
            RunAndClose(d);
        });
        m_window->PrintReportToFile();
        HALVENOR_VERIFY_UI(ui);
        QVERIFY(m_context->SearchOn());
        QCOMPARE(m_context->endSearches, 1);
        QCOMPARE(Table().RecordCount(), 3u);
        const QString text = ReadFile(all);
        for (const Item& item : Household()) QVERIFY2(text.contains(QString(item.item).left(32)), item.item);

        m_window->PrintSearchCriteria->setChecked(true);
        ui.ExpectSaveFile("Save Report As a Text File", found);
        ui.ExpectModal("Report Status Screen", RunAndClose);
        m_window->PrintReportToFile();
        HALVENOR_VERIFY_UI(ui);
        QCOMPARE(m_context->endSearches, 1);
        const QString kitchen = ReadFile(found);
        QVERIFY(kitchen.contains("Toaster"));
        QVERIFY(!kitchen.contains("Television"));
    }

    void listReopensOnTheLastEntry() {
        Show();
        QCOMPARE(m_window->ReportList->count(), 8);
        QCOMPARE(m_window->focusWidget(), m_window->ReportList);
        m_window->ReportList->setCurrentRow(5);
        m_window->CloseWindow();
        QCOMPARE(common::AppSettings().lastReport, 5);
        m_window->PrepareToShow();
        QCOMPARE(m_window->ReportList->currentRow(), 5);
        m_window->ReportList->setCurrentRow(2);
        m_window->reject();  // closed otherwise
        QCOMPARE(common::AppSettings().lastReport, 2);
        common::AppSettings().lastReport = 40;  // a file that lost entries
        m_window->PrepareToShow();
        QCOMPARE(m_window->ReportList->currentRow(), 7);
        // Down to one entry: that one.
        for (int k = 7; k >= 1; --k) ReportFile(AppReportFilePath()).Delete(k);
        m_window->PrepareToShow();
        QCOMPARE(m_window->ReportList->count(), 1);
        QCOMPARE(m_window->ReportList->currentRow(), 0);
    }

    void sortOrderPanel() {
        common::AppSettings().Field(5).title = "Room";
        common::AppSettings().sortFields = {12, 0, 5, 0};
        Show();
        QCOMPARE(m_window->SortOrderPanel->text(), QStringLiteral("Category, Room"));
        common::AppSettings().sortFields = {0, 0, 0, 0};
        Show();
        QCOMPARE(m_window->SortOrderPanel->text(), QStringLiteral("No Sort Order Selected"));
    }

    void runningRefusals() {
        Show();
        ScriptedUiServices ui;
        m_window->ReportList->setCurrentRow(-1);
        ui.ExpectBeep().ExpectMessage("Error", "No Report has been selected.  Please choose one.");
        m_window->ViewReport();
        ui.ExpectBeep().ExpectMessage("Error", "No Report has been selected.  Please choose one.");
        m_window->PrintReportToFile();
        HALVENOR_VERIFY_UI(ui);
        m_window->ReportList->setCurrentRow(0);
        QFile::remove(QString::fromStdString(AppReportFilePath()));
        ui.ExpectBeep().ExpectMessage("Error", "Report format could not be located.");
        m_window->PrintReport();
        HALVENOR_VERIFY_UI(ui);
        ui.ExpectHelp("Report Window");
        m_window->ShowHelp();
        HALVENOR_VERIFY_UI(ui);
    }

    // A control that cannot be used reads as one: its label fades, where
    // the scheme's colours used to draw it as black as an enabled one's.
    void disabledOptionsLookDisabled() {
        Show();  // no search: "Print Search Criteria" cannot be chosen
        QVERIFY(!m_window->PrintSearchCriteria->isEnabled());
        const int enabled = DarkestOfLabel(*m_window->PrintEntireDatabase);
        QVERIFY2(enabled < 150, qPrintable(QString::number(enabled)));
        QVERIFY2(DarkestOfLabel(*m_window->PrintSearchCriteria) > enabled + 200,
                 qPrintable(QString::number(DarkestOfLabel(*m_window->PrintSearchCriteria))));

        CurrentReport() = NewReportDefinition();
        CurrentReport().lines = 2;
        QListWidget list;
        ReportDefinitionDialog definition(ReportMode::New, -1, &list);
        definition.show();
        QVERIFY(!definition.ColumnHeaders->isEnabled());
        const int page = DarkestOfLabel(*definition.PageNumbers);
        for (QCheckBox* box : {definition.ColumnHeaders, definition.HorizontalLines, definition.VerticalLines})
            QVERIFY2(DarkestOfLabel(*box) > page + 200, qPrintable(box->text()));
    }

    // ------------------------------------------------------------ the status window

    // Figures too wide for their columns are told when the report is done,
    // with the items of the definition to widen.
    void statusWindowTellsOfFiguresTooWide() {
        AddItems(Table(), {{"Tools", "Workshop", "Barn", "9999999996198.77", "100", "1", "10"}});
        QBuffer recorded;
        ScriptedUiServices ui;
        ReportStatusWindow form(OutputMode::View, DefaultReportDefinitions()[1], Table(), ReportSettings());
        form.SetStream(&recorded);
        ui.ExpectBeep().ExpectMessage("Notice", "Some figures were too wide for their columns and were printed as "
                                                "\"####\"; widen them in the report definition: Totals Line, Item 3 "
                                                "(Cost, width 12).");
        form.StartReport();
        QVERIFY(!form.Aborted());
        HALVENOR_VERIFY_UI(ui);
    }

    // The status window stands centred on the main window it belongs to,
    // through whichever dialog opened it.
    void statusWindowIsCentredOnTheMainWindow() {
        QWidget owner;
        owner.setGeometry(120, 80, 900, 700);
        owner.show();
        QDialog between(&owner);
        ReportStatusWindow form(OutputMode::TextFile, DefaultReportDefinitions()[0], Table(), ReportSettings(), &between);
        form.SetTextFile(Path("centred.txt"));
        form.show();
        QCOMPARE(form.pos(), owner.frameGeometry().center() - QPoint(form.width() / 2, form.height() / 2));
        QVERIFY(form.height() > 20);
        form.hide();
    }

    void cancelledViewOpensNoPreview() {
        Show();
        ScriptedUiServices ui;
        ui.ExpectModal("Report Status Screen", [](QDialog& d) {
            auto& form = static_cast<ReportStatusWindow&>(d);
            QCOMPARE(form.Button->text(), QStringLiteral("Cancel"));
            // The user presses Cancel while the first page is composed.
            QTimer::singleShot(0, &form, [&form] {
                QVERIFY(form.Running());
                form.CancelOrClose();
            });
            form.StartReport();
            QVERIFY(form.Aborted());
            QCOMPARE(form.StatusLabel->text(), QStringLiteral("\nReport Canceled!"));
            form.CancelOrClose();
        });
        m_window->ViewReport();  // no preview is expected
        HALVENOR_VERIFY_UI(ui);
    }

    // However often the window is activated, the report runs once; a
    // cancelled text file leaves nothing under its name.
    void statusWindowRunsOnce() {
        const QString path = Path("once.txt");
        ScriptedUiServices ui;
        ReportStatusWindow form(OutputMode::TextFile, DefaultReportDefinitions()[0], Table(), ReportSettings());
        form.SetTextFile(path);
        form.StartReport();
        QVERIFY(!form.Aborted());
        QVERIFY(QFile::remove(path));
        form.StartReport();
        QVERIFY(!QFile::exists(path));

        HALVENOR_VERIFY_UI(ui);
    }

    // The Cancel button, Escape and the window's close box all cancel a
    // running report and leave the window open on "Report Canceled!".
    void statusWindowCancels_data() {
        QTest::addColumn<int>("way");
        QTest::newRow("Cancel button") << 0;
        QTest::newRow("Escape") << 1;
        QTest::newRow("close box") << 2;
    }
    void statusWindowCancels() {
        QFETCH(int, way);
        const QString path = Path("cancelled.txt");
        ScriptedUiServices ui;
        ReportStatusWindow cancelled(OutputMode::TextFile, DefaultReportDefinitions()[0], Table(), ReportSettings());
        cancelled.SetTextFile(path);
        // As on a desktop with icons.
        const QStringList paths = QIcon::themeSearchPaths();
        QIcon::setThemeSearchPaths(paths + QStringList{"/usr/share/icons"});
        QIcon::setThemeName("Adwaita");
        QString whileRunning;
        QTimer::singleShot(0, &cancelled, [&cancelled, way, &whileRunning] {
            whileRunning = cancelled.Button->text() + " " + cancelled.Button->icon().name();
            if (way == 0) cancelled.CancelOrClose();
            else if (way == 1) cancelled.reject();
            else cancelled.close();
        });
        cancelled.StartReport();
        QVERIFY(cancelled.Aborted());
        QCOMPARE(cancelled.StatusLabel->text(), QStringLiteral("\nReport Canceled!"));
        QCOMPARE(whileRunning, QStringLiteral("Cancel process-stop"));
        QCOMPARE(cancelled.Button->text() + " " + cancelled.Button->icon().name(), QStringLiteral("OK emblem-default"));
        QIcon::setThemeName(QString());
        QIcon::setThemeSearchPaths(paths);
        QVERIFY(!QFile::exists(path));
        HALVENOR_VERIFY_UI(ui);
    }

    void printingWithoutPrinterHintsAtPdf() {
        Show();
        ScriptedUiServices ui;
        ui.ExpectModal("Report Status Screen", [](QDialog& d) {
            auto& form = static_cast<ReportStatusWindow&>(d);
            form.StartReport();
            QCOMPARE(form.StatusLabel->text(), QStringLiteral("\nReport Canceled!"));
            form.CancelOrClose();
        });
        ui.ExpectBeep().ExpectMessage("Error", kNoPrinters).ExpectMessage("Notice");
        m_window->PrintReport();
        HALVENOR_VERIFY_UI(ui);
        QVERIFY(ui.Messages().last().contains("Save as PDF"));
    }

    // Printing straight from the Reports window to a printer that writes a
    // PDF file: the pages the preview records.
    void printsAsThePreviewRecords() {
        QPrinter printer(QPrinter::HighResolution);
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(Path("printed.pdf"));
        printer.setPageSize(QPageSize(QPageSize::Letter));
        ReportsWindow window(*m_context, &printer);
        window.PrepareToShow();
        window.ReportList->setCurrentRow(4);  // Full Report
        ScriptedUiServices ui;
        int recorded = 0;
        ui.ExpectModal("Report Status Screen", RunAndClose);
        ui.ExpectModal("Full Report", DrivePreview([&recorded](ReportViewer& p) { recorded = p.MyFilePreview.PageCount(); }));
        window.ViewReport();
        ui.ExpectModal("Report Status Screen", RunAndClose);
        window.PrintReport();
        HALVENOR_VERIFY_UI(ui);
        QVERIFY(recorded > 1);
        QCOMPARE(enginetest::PdfPageCount(Path("printed.pdf")), recorded);
    }

    // ------------------------------------------------------------ the preview

    void previewPagesAndZoom() {
        common::AppSettings().reportViewLeft = 30;
        common::AppSettings().reportViewTop = 20;
        common::AppSettings().reportViewWidth = 700;
        common::AppSettings().reportViewHeight = 500;
        GenerateItems(Table(), 300);
        Show();
        ScriptedUiServices ui;
        ui.ExpectModal("Report Status Screen", RunAndClose);
        ui.ExpectModal("Short Narrow Report", DrivePreview([](ReportViewer& p) {
            const int count = p.MyFilePreview.PageCount();
            QVERIFY(count > 3);
            QCOMPARE(p.geometry().size(), QSize(700, 500));
            QCOMPARE(p.PageLabel->text(), QStringLiteral("Page 1 of %1").arg(count));
            QCOMPARE(p.ZoomEdit->text(), QStringLiteral("100.0"));
            // The tool bar names its two boxes.
            QStringList captions;
            for (const QLabel* label : p.ToolBar->findChildren<QLabel*>(QString(), Qt::FindDirectChildrenOnly))
                captions << label->text();
            QCOMPARE(captions, (QStringList{"Zoom %", "Page #", QStringLiteral("Page 1 of %1").arg(count)}));
            // And its buttons, in their order.
            QStringList buttons;
            for (QAction* a : p.ToolBar->actions())
                if (!a->isSeparator() && !a->text().isEmpty()) buttons << a->toolTip();
            QCOMPARE(buttons, (QStringList{"Zoom In", "Zoom Out", "Prev Page", "Next Page", "Done", "Print Page",
                                           "Zoom Page Width", "Zoom Whole Page"}));
            p.Action("&Next Page")->trigger();
            QCOMPARE(p.PageEdit->text(), QStringLiteral("2"));
            p.Action("&Last Page")->trigger();
            QCOMPARE(p.PageLabel->text(), QStringLiteral("Page %1 of %1").arg(count));
            p.ShowNextPage();
            QCOMPARE(p.MyFilePreview.CurrentPage(), count);
            p.PageEdit->setText(" 3 ");
            QTest::keyClick(p.PageEdit, Qt::Key_Return);
            QCOMPARE(p.PageLabel->text(), QStringLiteral("Page 3 of %1").arg(count));
            p.PageEdit->setText("x");
            p.GoToTypedPage();
            QCOMPARE(p.PageEdit->text(), QStringLiteral("3"));
            p.Action("&First Page")->trigger();
            QCOMPARE(p.MyFilePreview.CurrentPage(), 1);

            const std::pair<const char*, const char*> typed[] = {
                {"5", "10.0"}, {"300", "200.0"}, {"abc", "200.0"}, {"87.25", "87.3"}, {"", "87.3"}};
            for (auto [text, shown] : typed) {
                p.ZoomEdit->setText(text);
                QTest::keyClick(p.ZoomEdit, Qt::Key_Return);  // typed and finished, as a user does
                QCOMPARE(p.ZoomEdit->text(), QString(shown));
            }
            const std::pair<const char*, const char*> items[] = {
                {"&1 : 1", "100.0"}, {"&2 : 1", "200.0"}, {"1 : &2", "50.0"}, {"1 : &3", "33.3"},
                {"1 : &4", "25.0"}, {"1 : &5", "20.0"}, {"1 : &1", "100.0"}};
            for (auto [item, shown] : items) {
                p.Action(item)->trigger();
                QCOMPARE(p.ZoomEdit->text(), QString(shown));
            }
            p.ZoomIn();
            QCOMPARE(p.ZoomEdit->text(), QStringLiteral("110.0"));
            p.Action("Zoom &Out")->trigger();
            QCOMPARE(p.ZoomEdit->text(), QStringLiteral("100.0"));
            const QSize at100 = p.MyFilePreview.PageImage().size();
            p.SetZoomPercent(50);
            QCOMPARE(p.MyFilePreview.PageImage().width(), (at100.width() + 1) / 2);
            p.ZoomToWholePage();
            const double whole = p.MyFilePreview.ZoomFactor();
            QVERIFY(whole >= 10 && whole < 100);
            QCOMPARE(p.ZoomEdit->text(), QString::number(whole, 'f', 1));

            // Use Color starts the preview again, in black and white.
            p.ShowNextPage();
            QVERIFY(p.UseColorItem->isChecked());
            p.Action("Use Color")->trigger();
            QVERIFY(!p.UseColorItem->isChecked());
            QVERIFY(p.MyFilePreview.Monochrome());
            QCOMPARE(p.MyFilePreview.CurrentPage(), 1);
            p.move(44, 33);
            p.Action("E&xit")->trigger();
            // Closed, it lets go of the page's image.
            QVERIFY(p.PreviewBox->Page()->pixmap().isNull());
            QCOMPARE(p.PreviewBox->Page()->size(), QSize(0, 0));
        }));
        m_window->ViewReport();
        HALVENOR_VERIFY_UI(ui);
        const common::Settings& s = common::AppSettings();
        QCOMPARE(QRect(s.reportViewLeft, s.reportViewTop, s.reportViewWidth, s.reportViewHeight),
                 QRect(44, 33, 700, 500));
    }

    // The window's keys work while the page or zoom box has the focus: the
    // boxes used to keep Ctrl+Z (their undo), Ctrl+X (cut), Ctrl+C (copy)
    // and others for themselves.
    void previewKeysWorkInsideItsBoxes() {
        GenerateItems(Table(), 300);
        QBuffer recorded;
        QVERIFY(RecordReport(DefaultReportDefinitions()[0], Table(), ReportSettings(), recorded).completed);
        ScriptedUiServices ui;
        ReportViewer p(QStringLiteral("Keys"), &recorded, nullptr);
        p.show();
        QApplication::setActiveWindow(&p);
        QVERIFY(QTest::qWaitForWindowActive(&p));
        p.PageEdit->setFocus();
        QTest::keyClick(p.PageEdit, Qt::Key_N, Qt::ControlModifier);
        QTest::keyClick(p.PageEdit, Qt::Key_N, Qt::ControlModifier);
        QCOMPARE(p.MyFilePreview.CurrentPage(), 3);
        QTest::keyClick(p.PageEdit, Qt::Key_E, Qt::ControlModifier);
        QCOMPARE(p.MyFilePreview.CurrentPage(), 2);
        QTest::keyClick(p.PageEdit, Qt::Key_L, Qt::ControlModifier);
        QCOMPARE(p.MyFilePreview.CurrentPage(), p.MyFilePreview.PageCount());
        QTest::keyClick(p.PageEdit, Qt::Key_F, Qt::ControlModifier);
        QCOMPARE(p.MyFilePreview.CurrentPage(), 1);

        p.ZoomEdit->setFocus();
        QTest::keyClick(p.ZoomEdit, Qt::Key_Z, Qt::ControlModifier);
        const double width = p.MyFilePreview.ZoomFactor();
        QVERIFY(width < 100);
        p.SetZoomPercent(100);
        p.ZoomToPageWidth();
        QCOMPARE(p.MyFilePreview.ZoomFactor(), width);
        QTest::keyClick(p.ZoomEdit, Qt::Key_W, Qt::ControlModifier);
        QVERIFY(p.MyFilePreview.ZoomFactor() < width);
        QTest::keyClick(p.ZoomEdit, Qt::Key_C, Qt::ControlModifier);
        QVERIFY(!p.UseColorItem->isChecked());
        QTest::keyClick(p.ZoomEdit, Qt::Key_X, Qt::ControlModifier);
        QVERIFY(!p.isVisible());
        HALVENOR_VERIFY_UI(ui);
    }

    // Printing from the preview: a range to a PDF printer, a PDF file saved
    // through the save dialog, and without any printer the refusal and the
    // hint at PDF.
    void previewPrintsAndSavesPdf() {
        GenerateItems(Table(), 200);
        QBuffer recorded;
        const ReportDefinition def = DefaultReportDefinitions()[0];
        const ReportResult result = RecordReport(def, Table(), ReportSettings(), recorded);
        QVERIFY(result.completed);
        QVERIFY(result.pages >= 4);

        QPrinter printer(QPrinter::HighResolution);
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(Path("range.pdf"));
        ReportViewer preview("Short Narrow Report", &recorded, &printer);
        ScriptedUiServices ui;
        preview.StartPreview();
        // As a user sees it: the tool bar's boxes and captions whole, none on another.
        preview.show();
        QApplication::processEvents();
        const QStringList faults = window_fit::Clipped(preview) + window_fit::Overlapping(preview);
        QVERIFY2(faults.isEmpty(), qPrintable(faults.join('\n')));
        // The page itself is drawn in its area.
        auto* area = preview.findChild<QScrollArea*>();
        QVERIFY(area);
        QVERIFY(!window_fit::InkIn(*area->viewport()).isNull());
        preview.hide();
        preview.ShowNextPage();
        ui.ExpectModal("Page Printing", [](QDialog& d) {
            auto& range = static_cast<PageRangeDialog&>(d);
            QCOMPARE(range.StartingPage->text(), QStringLiteral("1"));
            range.StartingPage->setText("2");
            range.EndingPage->setText("3");
            range.PrintRange();
        });
        preview.Action("Print Ran&ge")->trigger();
        QCOMPARE(preview.MyFilePreview.CurrentPage(), 1);  // started afresh
        QCOMPARE(enginetest::PdfPageCount(Path("range.pdf")), 2);
        // And the whole report, every page.
        preview.Action("Print &Report")->trigger();
        QCOMPARE(enginetest::PdfPageCount(Path("range.pdf")), result.pages);
        // And the page shown, alone.
        QAction* printPage = preview.Action("&Print Page");
        QVERIFY(printPage);
        QCOMPARE(printPage->shortcut(), QKeySequence("Ctrl+P"));
        printPage->trigger();
        QCOMPARE(enginetest::PdfPageCount(Path("range.pdf")), 1);

        ui.ExpectSaveFile("Save Report as PDF", Path("saved.pdf"));
        preview.Action("Save as &PDF...")->trigger();
        HALVENOR_VERIFY_UI(ui);
        QCOMPARE(enginetest::PdfPageCount(Path("saved.pdf")), result.pages);
        QVERIFY(enginetest::Poppler("pdftotext", {Path("saved.pdf"), "-"}).contains("GRAND TOTALS"));

        ReportViewer noPrinter("Short Narrow Report", &recorded, nullptr);
        noPrinter.StartPreview();
        ui.ExpectBeep().ExpectMessage("Error", kNoPrinters).ExpectMessage("Notice");
        noPrinter.PrintCurrentPage();
        ui.ExpectMessage("Notice", "No printers are defined.");
        noPrinter.SetUpPrinter();
        HALVENOR_VERIFY_UI(ui);
    }

    void printRangeChecks_data() {
        QTest::addColumn<QString>("first");
        QTest::addColumn<QString>("last");
        QTest::addColumn<QString>("message");  // empty: accepted
        QTest::newRow("one page") << " 4 " << "4" << "";
        QTest::newRow("whole report") << "1" << "5" << "";
        QTest::newRow("the last page alone") << "5" << "5" << "";
        QTest::newRow("start 0") << "0" << "5" << "Invalid Starting Page specified. Please correct.";
        QTest::newRow("start beyond") << "6" << "6" << "Invalid Starting Page specified. Please correct.";
        QTest::newRow("start not a number") << "a" << "5" << "Invalid Starting Page specified. Please correct.";
        QTest::newRow("end 0") << "1" << "0" << "Invalid Ending Page specified.  Please correct.";
        QTest::newRow("end before start") << "3" << "2" << "Invalid Ending Page specified.  Please correct.";
        QTest::newRow("end beyond") << "1" << "6" << "Invalid Ending Page specified.  Please correct.";
    }

    void printRangeChecks() {
        QFETCH(QString, first);
        QFETCH(QString, last);
        QFETCH(QString, message);
        PageRangeDialog range(5);
        QCOMPARE(range.EndingPage->text(), QStringLiteral("5"));
        range.show();
        range.StartingPage->setText(first);
        range.EndingPage->setText(last);
        ScriptedUiServices ui;
        if (!message.isEmpty()) ui.ExpectBeep().ExpectMessage("Error", message);
        range.PrintRange();
        HALVENOR_VERIFY_UI(ui);
        QCOMPARE(range.isVisible(), !message.isEmpty());
        if (message.isEmpty()) {
            QCOMPARE(range.FirstPage(), first.trimmed().toInt());
            QCOMPARE(range.LastPage(), last.toInt());
        } else {
            QCOMPARE(range.focusWidget(), message.contains("Starting") ? range.StartingPage : range.EndingPage);
        }
    }

    // ------------------------------------------------------------ insurance details

    void insuranceKeptHoweverClosed() {
        common::Settings& s = common::AppSettings();
        s.insuranceCompany = "Mutual Household";
        s.printPolicyNumber = true;
        Show();
        ScriptedUiServices ui;
        ui.ExpectModal("Insurance Information", [](QDialog& d) {
            auto& ins = static_cast<InsuranceDialog&>(d);
            QCOMPARE(ins.InsuranceCompany->text(), QStringLiteral("Mutual Household"));
            QVERIFY(!ins.PrintCompany->isChecked());
            QVERIFY(ins.PrintPolicy->isChecked());
            ins.InsuranceCompany->setText(QString(45, 'C'));
            ins.PolicyNumber->setText("P-778");
            ins.YourName->setText("Pat Halvorsen");
            ins.PrintCompany->setChecked(true);
            ins.PrintStatement->setChecked(true);
            ins.reject();  // the close box
        });
        m_window->EditInsuranceInformation();
        HALVENOR_VERIFY_UI(ui);
        QCOMPARE(s.insuranceCompany, QString(40, 'C'));
        QCOMPARE(s.policyNumber, QStringLiteral("P-778"));
        QCOMPARE(s.yourName, QStringLiteral("Pat Halvorsen"));
        QVERIFY(s.printInsuranceCompany && s.printPolicyNumber && s.printStatement);
        // Opened again, the window shows what was kept.
        ui.ExpectModal("Insurance Information", [](QDialog& d) {
            auto& ins = static_cast<InsuranceDialog&>(d);
            QVERIFY(ins.PrintCompany->isChecked() && ins.PrintPolicy->isChecked() && ins.PrintStatement->isChecked());
            QCOMPARE(ins.YourName->text(), QStringLiteral("Pat Halvorsen"));
            QCOMPARE(ins.PolicyNumber->text(), QStringLiteral("P-778"));
            ins.reject();
        });
        m_window->EditInsuranceInformation();
        HALVENOR_VERIFY_UI(ui);
        // The report takes them.
        const ReportSettings settings = AppReportSettings();
        QCOMPARE(settings.insurance.company, QString(40, 'C'));
        QVERIFY(settings.insurance.printStatement);
    }

    // The number and currency formats are each their own setting; a
    // field's own title replaces its default.
    void reportsTakeTheSettings() {
        common::Settings& s = common::AppSettings();
        s.Field(3).title = QStringLiteral("Maker");
        s.Field(4).title.clear();  // the report's own default stays
        for (int currency : {1, 2}) {
            for (int numeric : {1, 2}) {
                s.currencyFormat = currency;
                s.numericFormat = numeric;
                const ReportSettings settings = AppReportSettings();
                QCOMPARE(settings.numbers.builtInCurrency, currency == 1);
                QCOMPARE(settings.numbers.builtInNumbers, numeric == 1);
                QCOMPARE(settings.fieldTitles[2], QStringLiteral("Maker"));
                QCOMPARE(settings.fieldTitles[3], QStringLiteral("Serial Number"));
                QCOMPARE(settings.sortFields, s.sortFields);
            }
        }
    }
};

QTEST_MAIN(ReportWindowsTest)
#include "ReportWindowsTest.moc"
