// What a user sees of the windows, with the libraries linked as the program
// links them: help pages for every help keyword, every dialog whole and
// centred at every screen size, menus, tabs and speed buttons readable
// under every colour preset, and the grid and search titles as they should
// look.

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QDialog>
#include <QDirIterator>
#include <QHeaderView>
#include <QImage>
#include <QLineEdit>
#include <QListWidget>
#include <QMenuBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QTabBar>
#include <QTabWidget>
#include <QTableView>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBrowser>
#include <QStyleOptionButton>
#include <QToolButton>
#include <functional>
#include <memory>
#include <tuple>

#include "ColorPresets.h"
#include "HelpWindow.h"
#include "ScriptedUiServices.h"
#include "Settings.h"
#include "ColorConfigDialog.h"
#include "ImportFormatDialog.h"
#include "MainWindow.h"
#include "ItemEditor.h"
#include "PickListDialog.h"
#include "Locator.h"
#include "LocateDialog.h"
#include "SearchWindow.h"
#include "SortOrderDialog.h"
#include "InsuranceDialog.h"
#include "ReportsWindow.h"
#include "PageRangeDialog.h"
#include "ExportDialog.h"
#include "ImportDialog.h"
#include "SearchAndReplaceDialog.h"
#include "ReportLayoutDialog.h"
#include "ReportFontsDialog.h"
#include "ReportPartDialog.h"
#include "SearchOperatorList.h"
#include "TipOfDayDialog.h"
#include "ReportDefinitionDialog.h"
#include "ViewerConfigDialog.h"
#include "WindowCases.h"
#include "WindowFit.h"
#include "WindowLayout.h"

using shell::MainWindow;
using window_cases::DialogCase;
using window_cases::Dialogs;

namespace {

const double kFactors[] = {1.0, 1.25, 1.6, 2.0};

// Hides a window however the test ends, so that the next test shows it
// afresh.
struct HideAtEnd {
    QWidget* window;
    ~HideAtEnd() { window->hide(); }
};

// Pixels that stand out from the most common colour of the image: the ink
// of text and glyphs on their background.
int Ink(const QImage& image, const QRect& area = {}) {
    const QRect r = area.isNull() ? image.rect() : area;
    const int light = qGray(window_fit::Background(image, r));
    int ink = 0;
    for (int y = r.top(); y <= r.bottom(); ++y)
        for (int x = r.left(); x <= r.right(); ++x)
            if (std::abs(qGray(image.pixel(x, y)) - light) > 60) ++ink;
    return ink;
}

// The indicator of a check box or option button as its own style places
// it, and the part of it that is drawn.
struct Indicator {
    QSize placed;
    QSize drawn;
};

Indicator IndicatorOf(QAbstractButton& button) {
    QStyleOptionButton option;
    option.initFrom(&button);
    const bool check = qobject_cast<QCheckBox*>(&button) != nullptr;
    const QRect placed = button.style()->subElementRect(
        check ? QStyle::SE_CheckBoxIndicator : QStyle::SE_RadioButtonIndicator, &option, &button);
    const QImage image = button.grab().toImage();
    return {placed.size(), window_fit::InkBounds(image, placed.adjusted(-1, -1, 1, 1) & image.rect()).size()};
}

}  // namespace

class WindowFitTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        QVERIFY(m_home.isValid());
        qputenv("XDG_DATA_HOME", m_home.filePath("data").toUtf8());
        qputenv("XDG_CONFIG_HOME", m_home.filePath("config").toUtf8());
        common::ScriptedUiServices quiet;
        quiet.AllowBeeps(true);
        m_main = std::make_unique<MainWindow>(QSize(1600, 1200));
        QVERIFY(m_main->Created());
        common::AppSettings().showTips = false;
        store::Table& t = m_main->ItemTable();
        for (const char* item : {"Television", "Lawn mower"}) {
            t.Append();
            t.SetText("Item", item);
            t.SetText("Cost", "250");
            t.SetText("Quantity", "1");
            t.Post();
        }
        m_main->RefreshGrid();
        m_main->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_main.get()));
        HALVENOR_VERIFY_UI(quiet);
    }

    void cleanup() {
        common::SetWindowSizeFactor(1.0);
        common::AppSettings().scheme = common::Settings().scheme;
    }

    void cleanupTestCase() { m_main.reset(); }

    // The pages are compiled into the shell library: a program linking it
    // used to lose them and show an empty help window for every keyword.
    void helpShowsAPageForEveryKeyword_data() {
        QTest::addColumn<QString>("keyword");
        QStringList keywords{"Input Window",       "Search Window",        "Export Window", "Import Window",
                             "Backup and Restore", "User Defined Reports", "Report Window"};
        for (int page = 0; page < appearance::ViewerConfigDialog::kPageCount; ++page)
            keywords << appearance::ViewerConfigDialog::HelpKeyword(page);
        // And whatever keyword the program's windows ask for.
        const QRegularExpression asked("OpenHelp\\((?:QStringLiteral\\()?\"([^\"]+)\"");
        QDirIterator files(HALVENOR_SOURCE_DIR, {"*.cpp"}, QDir::Files, QDirIterator::Subdirectories);
        while (files.hasNext()) {
            const QString path = files.next();
            if (path.contains("/tests/") || path.contains("/build")) continue;
            QFile f(path);
            if (!f.open(QIODevice::ReadOnly)) continue;
            auto it = asked.globalMatch(QString::fromUtf8(f.readAll()));
            while (it.hasNext()) keywords << it.next().captured(1);
        }
        keywords.removeDuplicates();
        QTest::newRow("contents") << QString();
        for (const QString& k : keywords) QTest::newRow(qPrintable(k)) << k;
    }
    void helpShowsAPageForEveryKeyword() {
        QFETCH(QString, keyword);
        shell::HelpWindow* help = m_main->Help();
        help->ShowKeyword(keyword);
        QCOMPARE(help->CurrentPage(),
                 keyword.isEmpty() ? QString("contents.html") : shell::HelpWindow::PageFor(keyword));
        if (!keyword.isEmpty()) QVERIFY2(help->CurrentPage() != "contents.html", "no page of its own");
        QVERIFY2(help->PageText().simplified().size() > 80, qPrintable(help->PageText()));
        help->close();
    }

    // Help asked for from a modal dialog used to take no keyboard input
    // until the dialog closed; from the main window it stays beside it.
    void helpIsUsableFromAModalDialog() {
        shell::HelpWindow* help = m_main->Help();
        QDialog dialog(m_main.get());
        dialog.setWindowModality(Qt::ApplicationModal);
        dialog.show();
        QCOMPARE(QApplication::activeModalWidget(), &dialog);
        help->ShowKeyword("Input Window");
        QCOMPARE(QApplication::activeModalWidget(), help);
        help->close();
        QCOMPARE(QApplication::activeModalWidget(), &dialog);
        dialog.close();
        help->ShowKeyword({});
        QVERIFY(!QApplication::activeModalWidget());
        QVERIFY(help->isVisible());
        help->close();
    }

    // The help window kept its 640 x 480 size and lettering at every
    // screen size.
    void helpWindowGrowsWithTheFactor() {
        shell::HelpWindow* help = m_main->Help();
        const HideAtEnd hide{help};
        auto shown = [&](double factor) {
            help->hide();
            common::SetWindowSizeFactor(factor);
            help->ShowKeyword("Search Window");
            QApplication::processEvents();
            const auto* browser = help->findChild<QTextBrowser*>();
            return std::pair{help->size(), QFontMetrics(browser->document()->defaultFont()).height()};
        };
        const auto [size1, text1] = shown(1.0);
        const auto [size2, text2] = shown(2.0);
        QVERIFY2(std::abs(size2.width() - 2 * size1.width()) <= 4 && std::abs(size2.height() - 2 * size1.height()) <= 4,
                 qPrintable(QString("%1 x %2 at 1, %3 x %4 at 2")
                                .arg(size1.width()).arg(size1.height()).arg(size2.width()).arg(size2.height())));
        QVERIFY2(text2 >= text1 * 18 / 10 && text2 <= text1 * 22 / 10,
                 qPrintable(QString("text %1 pixels high at 1, %2 at 2").arg(text1).arg(text2)));
        // A page asked for while it is on show keeps the reader's size.
        help->resize(size2 - QSize(100, 100));
        help->ShowKeyword("Export Window");
        QCOMPARE(help->size(), size2 - QSize(100, 100));
        // And back at 1 it is as it was, from a modal dialog too.
        QDialog dialog(m_main.get());
        dialog.setWindowModality(Qt::ApplicationModal);
        dialog.show();
        help->hide();
        common::SetWindowSizeFactor(1.0);
        help->ShowKeyword("Export Window");
        QApplication::processEvents();
        QCOMPARE(QApplication::activeModalWidget(), help);
        QCOMPARE(help->size(), size1);
        QVERIFY(window_fit::IsCentred(*help, false));
        help->close();
        dialog.close();
    }

    // Styles keep check-box and option-button indicators at 13 pixels, so
    // at the larger sizes they were tiny beside their captions.
    void indicatorsGrowWithTheFactor() {
        common::ScriptedUiServices ui;
        appearance::ColorConfigDialog dialog(6, m_main.get());
        dialog.CheckSample->setChecked(true);
        dialog.RadioSample->setChecked(true);
        auto shown = [&](double factor) {
            common::SetWindowSizeFactor(factor);
            dialog.show();
            QApplication::processEvents();
            const std::pair result{IndicatorOf(*dialog.CheckSample), IndicatorOf(*dialog.RadioSample)};
            dialog.hide();
            return result;
        };
        const auto [check1, radio1] = shown(1.0);
        const auto [check2, radio2] = shown(2.0);
        const auto [checkAgain, radioAgain] = shown(1.0);
        for (const auto& [name, at1, at2] : {std::tuple{"check box", check1, check2}, std::tuple{"option button", radio1, radio2}}) {
            const QString sizes = QString("%1: placed %2 then %3, drawn %4 then %5")
                                      .arg(name)
                                      .arg(at1.placed.height())
                                      .arg(at2.placed.height())
                                      .arg(at1.drawn.height())
                                      .arg(at2.drawn.height());
            QVERIFY2(at1.drawn.height() >= at1.placed.height() - 4, qPrintable(sizes));  // the ink fills its place
            QVERIFY2(std::abs(at2.placed.height() - 2 * at1.placed.height()) <= 1, qPrintable(sizes));
            QVERIFY2(std::abs(at2.placed.width() - 2 * at1.placed.width()) <= 1, qPrintable(sizes));
            QVERIFY2(std::abs(at2.drawn.height() - 2 * at1.drawn.height()) <= 3, qPrintable(sizes));
        }
        // Back at 1 nothing of the larger size is left.
        QCOMPARE(checkAgain.placed, check1.placed);
        QCOMPARE(radioAgain.placed, radio1.placed);
        QCOMPARE(checkAgain.drawn, check1.drawn);
        QCOMPARE(radioAgain.drawn, radio1.drawn);
    }

    // At the larger screen sizes fonts grew by the factor but the windows
    // much less: tips cut off, dates shown without their first digit,
    // samples and frames cut, dialogs centred for their unscaled size.
    void dialogsShowTheirTextWholeAtEveryFactor_data() {
        QTest::addColumn<QString>("dialog");
        QTest::addColumn<double>("factor");
        for (const auto& [name, c] : Dialogs())
            for (double f : kFactors) QTest::newRow(qPrintable(QString("%1 at %2").arg(name).arg(f))) << name << f;
    }
    void dialogsShowTheirTextWholeAtEveryFactor() {
        QFETCH(QString, dialog);
        QFETCH(double, factor);
        const DialogCase c = Dialogs().at(dialog);
        common::SetWindowSizeFactor(factor);
        common::ScriptedUiServices ui;
        ui.AllowBeeps(true);
        std::unique_ptr<QDialog> owner;
        QDialog* d = c.open(*m_main, owner);
        QVERIFY(d);
        const HideAtEnd hide{d};
        d->show();
        if (c.fill) c.fill(*d);
        QApplication::processEvents();
        // Each factor belongs to a screen size: 640 x 480 grown by the factor.
        const QSize screen(qRound(640 * factor), qRound(480 * factor));
        QVERIFY2(d->frameGeometry().width() <= screen.width() && d->frameGeometry().height() <= screen.height(),
                 qPrintable(QString("%1 x %2 on a screen of %3 x %4")
                                .arg(d->frameGeometry().width())
                                .arg(d->frameGeometry().height())
                                .arg(screen.width())
                                .arg(screen.height())));
        QVERIFY2(window_fit::IsCentred(*d, c.movesUp), qPrintable(window_fit::Where(*d, c.movesUp)));

        QStringList cut;
        if (auto* tips = qobject_cast<appearance::TipOfDayDialog*>(d)) {
            for (int i = 0; i < appearance::TipOfDayDialog::kTipCount; ++i) {
                cut << window_cases::ShownFaults(*d, QString("tip %1").arg(tips->TipNumber()));
                tips->ShowNextTip();
            }
        } else {
            cut << window_cases::ShownFaults(*d, "window");
        }
        QVERIFY2(cut.isEmpty(), qPrintable(cut.join('\n')));
    }

    // Captions and the record arrive after the editor is scaled and
    // centred; it grew afterwards and sat off centre.
    void itemEditorIsCentredForItsFinalSize() {
        common::Settings& s = common::AppSettings();
        struct Restore {
            common::Settings& s;
            common::Settings before;
            ~Restore() { s = before; }
        } restore{s, s};
        for (int p = 1; p <= 22; ++p) s.Field(p).title = QString("Twenty characters %1").arg(p, 2, 10, QChar('0'));
        common::SetWindowSizeFactor(1.25);
        items::ItemEditor* edit = m_main->Editor();
        const HideAtEnd hide{edit};
        m_main->EditorMode() = 2;
        edit->show();
        QApplication::processEvents();
        QVERIFY2(window_fit::IsCentred(*edit, true), qPrintable(window_fit::Where(*edit, true)));
        QCOMPARE(edit->ItemLab->text(), QString("Twenty characters 01"));
        QVERIFY2(window_fit::Clipped(*edit).isEmpty(), qPrintable(window_fit::Clipped(*edit).join('\n')));
    }

    // The colour groups used to recolour the item editor's menu bar (black
    // on black with "Midnight Black") and the panel under the speed
    // buttons, where dark glyphs vanished.
    void colourPresetsKeepMenusAndButtonsVisible_data() {
        QTest::addColumn<int>("preset");
        const auto& presets = appearance::ColorPresets::All();
        for (int i = 0; i < int(presets.size()); ++i) QTest::newRow(qPrintable(presets[size_t(i)].name)) << i;
    }
    void colourPresetsKeepMenusAndButtonsVisible() {
        QFETCH(int, preset);
        common::DisplayScheme& scheme = common::AppSettings().scheme;
        for (int g = 0; g < common::kWindowGroupCount; ++g)
            appearance::ColorPresets::Apply(appearance::ColorPresets::All()[size_t(preset)],
                                            scheme.Group(common::WindowGroup(g)));
        common::ScriptedUiServices ui;
        ui.AllowBeeps(true);
        items::ItemEditor* edit = m_main->Editor();
        m_main->EditorMode() = 1;
        {
            const HideAtEnd hide{edit};
            edit->show();
            QApplication::processEvents();
            QVERIFY2(Ink(edit->MainMenu->grab().toImage()) > 40, "menu bar text");
            QVERIFY2(Ink(edit->Notebook->tabBar()->grab().toImage()) > 40, "page tabs");
            QVERIFY2(Ink(edit->UpdateButton->grab().toImage()) > 20, "button caption");
        }

        m_main->PrepareToShow();  // recolours the main window
        QApplication::processEvents();
        const QImage panel = m_main->SpeedPanel()->grab().toImage();
        for (QToolButton* b : m_main->SpeedButtons()) {
            if (!b->isEnabled()) continue;
            QVERIFY2(Ink(panel, b->geometry().adjusted(2, 2, -2, -2)) > 3, qPrintable(b->toolTip()));
        }
        QVERIFY2(Ink(m_main->menuBar()->grab().toImage()) > 40, "main menu bar");
        m_main->PrepareToShow();
    }

    // Selecting a row used to embolden every column title although the
    // title font said Bold=No.
    void gridTitlesNotBoldWhenARowIsSelected() {
        QTableView* grid = m_main->Grid();
        grid->clearSelection();
        grid->setCurrentIndex(QModelIndex());
        QApplication::processEvents();
        const QImage plain = grid->horizontalHeader()->grab().toImage();
        grid->selectRow(1);
        QApplication::processEvents();
        QVERIFY(grid->selectionModel()->isRowSelected(1, {}));
        QCOMPARE(grid->horizontalHeader()->grab().toImage(), plain);
    }

    // Below the sixteenth field the title row scrolled out of sight.
    void searchTitleRowStaysInSight() {
        find::SearchWindow* search = m_main->SearchWindow();
        const HideAtEnd hide{search};
        search->show();
        QApplication::processEvents();
        QTableWidget* grid = search->SearchGrid;
        grid->setCurrentCell(22, 2);
        grid->scrollToBottom();
        QApplication::processEvents();
        QVERIFY(grid->visualItemRect(grid->item(1, 0)).bottom() < 0);  // the first field rows are scrolled away
        QHeaderView* titles = grid->horizontalHeader();
        QVERIFY(titles->isVisible());
        QCOMPARE(titles->mapTo(search, QPoint(0, 0)).y(), grid->mapTo(search, QPoint(0, 0)).y() + grid->frameWidth());
        QCOMPARE(grid->model()->headerData(2, Qt::Horizontal).toString(), QString(" SEARCH CRITERIA    (Level 1)"));
        QCOMPARE(grid->model()->headerData(0, Qt::Horizontal).toString(), QString(" FIELD"));
        QVERIFY(Ink(titles->grab().toImage()) > 40);
    }

private:
    QTemporaryDir m_home;
    std::unique_ptr<MainWindow> m_main;
};

QTEST_MAIN(WindowFitTest)
#include "WindowFitTest.moc"
