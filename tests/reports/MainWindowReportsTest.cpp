// The Reports command of the main window, linked as the program is: the
// Reports window it opens runs a report over the open item table and
// shows it in the preview, the search in force comes back afterwards, and
// the page engine's refusal to print without a printer reaches the user as
// a message box followed by the hint at PDF.

#include <QAction>
#include <QLabel>
#include <QListWidget>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>

#include "EngineServices.h"
#include "ReportTestSupport.h"
#include "ScriptedUiServices.h"
#include "Settings.h"
#include "MainWindow.h"
#include "WindowCases.h"
#include "ReportViewer.h"
#include "ReportsWindow.h"
#include "ReportStatusWindow.h"

using common::ScriptedUiServices;

class MainWindowReportsTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_home;

private slots:
    void initTestCase() {
        QVERIFY(m_home.isValid());
        qputenv("XDG_DATA_HOME", m_home.filePath("data").toUtf8());
        qputenv("XDG_CONFIG_HOME", m_home.filePath("config").toUtf8());
        reports::engine::SetPrintersAvailableOverride(false);
    }

    // Every control where it stood when the windows were last looked at.
    void windowsKeepTheirLayout() {
        shell::MainWindow main(QSize(1600, 1200));
        QVERIFY(main.Created());
        bool notComparable = false;
        const QString differences = window_cases::CompareLayouts(main, "reports", &notComparable);
        if (notComparable) QSKIP(qPrintable(differences));
        QVERIFY2(differences.isEmpty(), qPrintable(differences));
    }

    // Every window of the reports as a user sees it at the smallest and the
    // largest size: no text cut off, no control lying on another.
    void windowsShowEveryControlWhole() {
        shell::MainWindow main(QSize(1600, 1200));
        QVERIFY(main.Created());
        for (double factor : {1.0, 2.0}) {
            const QStringList faults = window_cases::FolderFaults(main, "reports", factor);
            QVERIFY2(faults.isEmpty(), qPrintable(faults.join('\n')));
        }
    }

    void reportsCommandRunsAndPreviews() {
        ScriptedUiServices ui;
        shell::MainWindow main(QSize(1600, 1200));
        QVERIFY(main.Created());
        reporttest::AddItems(main.ItemTable(), reporttest::Household());
        main.SetSearchTest([](const store::RecordView& r) { return r.Text(r.Layout().FieldIndex("Category")) == "Kitchen"; });
        main.EnableEndSearch();
        main.RefreshGrid();
        main.DisplayCount();
        QCOMPARE(main.CountLabel()->text(), QStringLiteral("3"));

        int pages = 0;
        ui.ExpectModal("Reports", [&](QDialog& d) {
            auto& reports = static_cast<reports::ReportsWindow&>(d);
            QCOMPARE(reports.ReportList->count(), 8);
            QVERIFY(reports.PrintSearchCriteria->isChecked());
            reports.PrintEntireDatabase->setChecked(true);
            reports.ViewReport();
            QVERIFY(main.SearchOn());
            QCOMPARE(main.CountLabel()->text(), QStringLiteral("3"));  // the search's count shown again
            reports.PrintReport();
            reports.CloseWindow();
        });
        ui.ExpectModal("Report Status Screen", [&](QDialog& d) {
            QVERIFY(!main.SearchOn());
            auto& form = static_cast<reports::ReportStatusWindow&>(d);
            form.StartReport();
            QVERIFY(!form.Aborted());
            form.CancelOrClose();
        });
        ui.ExpectModal("Short Narrow Report", [&](QDialog& d) {
            auto& preview = static_cast<reports::ReportViewer&>(d);
            pages = preview.MyFilePreview.PageCount();
            preview.CloseViewer();
        });
        ui.ExpectModal("Report Status Screen", [](QDialog& d) { static_cast<reports::ReportStatusWindow&>(d).StartReport(); });
        ui.ExpectBeep().ExpectMessage("Error", "No printers are defined, aborting print job.").ExpectMessage("Notice");
        main.Action("&Reports")->trigger();
        HALVENOR_VERIFY_UI(ui);
        QCOMPARE(pages, 1);
        QVERIFY(main.SearchOn());
        QCOMPARE(main.ItemTable().RecordCount(), 3u);
    }
};

QTEST_MAIN(MainWindowReportsTest)
#include "MainWindowReportsTest.moc"
