// The report definition dialogs driven as a user would, through the entry
// points the report selection dialog uses: a real KELDOR.URP in a temporary
// data folder, the controls set, the handlers called, and every message and
// question checked through the scripted window services.

#include <QCheckBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QGroupBox>
#include <QtTest>
#include <map>

#include "AppPaths.h"
#include "DefaultReports.h"
#include "ReportCommands.h"
#include "ReportDialogSupport.h"
#include "ReportFile.h"
#include "ReportFileSetup.h"
#include "ReportLayoutRows.h"
#include "ReportStartup.h"
#include "ScriptedUiServices.h"
#include "WindowFit.h"
#include "Settings.h"
#include "ReportLayoutDialog.h"
#include "ReportFontsDialog.h"
#include "ReportPartDialog.h"
#include "ReportDefinitionDialog.h"

using namespace reports;
using common::Answer;
using common::ScriptedUiServices;

namespace {

const QString kTo120 =
    "Switching to 120 characters from 150 will truncate the current defined lines.  In addition, the font size will "
    "be reset to a 8 point as a default.  Are you sure you wish to do this?";
const QString kNameChanged =
    "Report Title has changed!  Do you wish to save this as a new report?   (YES saves as new report.  NO "
    "overwrites old report.  CANCEL aborts.)";

ReportFile File() { return ReportFile(AppReportFilePath()); }

QByteArray FileContents() {
    QFile f(QString::fromStdString(AppReportFilePath()));
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QStringList ListNames(const QListWidget& list) {
    QStringList names;
    for (int i = 0; i < list.count(); ++i) names << list.item(i)->text();
    return names;
}

QList<int> Widths(const ReportLine& line) {
    QList<int> widths;
    for (int i = 0; i < LineItemCount(line); ++i) widths << line[size_t(i)].width;
    return widths;
}

// Runs a drive function on the Report Definition dialog shown by a command.
template <typename F>
ScriptedUiServices::DriveDialog Drive(F f) {
    return [f](QDialog& d) { f(static_cast<ReportDefinitionDialog&>(d)); };
}

}  // namespace

class ReportDialogsTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_home;
    QListWidget m_list;

    // Modify Report on the entry at position k.
    int ModifyAt(int k) {
        m_list.setCurrentRow(k);
        return ModifyReport(m_list);
    }

private slots:
    void initTestCase() {
        QVERIFY(m_home.isValid());
        qputenv("XDG_CONFIG_HOME", m_home.filePath("config").toUtf8());
        qputenv("XDG_DATA_HOME", m_home.filePath("data").toUtf8());
    }

    void init() {
        QFile::remove(QString::fromStdString(AppReportFilePath()));
        QVERIFY(PrepareReportFiles(common::AppPaths::DataDir().toStdString()).errors.empty());
        common::AppSettings() = common::Settings();
        CurrentReport() = NewReportDefinition();
        FillReportList(m_list);
        QCOMPARE(m_list.count(), 8);
    }

    // ------------------------------------------------------------ new and modify

    void newReportSavedAtOnceThenEdited() {
        ScriptedUiServices ui;
        ui.ExpectModal("Report Definition", Drive([](ReportDefinitionDialog& d) {
            QVERIFY(!d.DeleteButton->isEnabled());
            QCOMPARE(d.focusWidget(), d.ReportName);
            QVERIFY(d.Width90->isChecked());
            QCOMPARE(d.NumberOfLines->text(), QString("1"));
            QCOMPARE(d.TopMargin->text(), QString("0.50"));
            QCOMPARE(d.TitleFontSummary->text(), QString("Courier New 10pt"));
            d.ReportName->setText("  Garage  ");
            d.SaveReport();
        }));
        QCOMPARE(NewReport(m_list), int(QDialog::Accepted));
        HALVENOR_VERIFY_UI(ui);
        QCOMPARE(m_list.count(), 9);
        QCOMPARE(m_list.currentRow(), 8);
        QCOMPARE(m_list.item(8)->text(), QString("Garage"));
        const ReportDefinition saved = File().Read(8).definition;
        QCOMPARE(saved.width, 90);
        QCOMPARE(Widths(saved.Body(1)), QList<int>{150});  // as a new report starts

        // Editing any item of that line brings it to the report width.
        // Print Photos goes into the file with the rest.
        ui.ExpectModal("Report Definition", Drive([](ReportDefinitionDialog& d) {
            QVERIFY(d.DeleteButton->isEnabled());
            QVERIFY(!d.PrintPhotos->isChecked());
            d.PrintPhotos->setChecked(true);
            d.Title1->setText(" Household ");
            d.Title2->setText("Spring");
            d.Title3->setText(QString(90, 't'));
            d.EditLayout();
            d.SaveReport();
        }));
        ui.ExpectModal("Specify Report Layout", [](QDialog& d) {
            auto& layout = static_cast<ReportLayoutDialog&>(d);
            layout.EditItem(1, 1);
            QCOMPARE(Widths(layout.Copy().Body(1)), QList<int>{90});
            layout.StoreLayout();
        });
        ui.ExpectModal("Select Report Part", [](QDialog& d) { static_cast<ReportPartDialog&>(d).StorePart(); });
        ModifyAt(8);
        HALVENOR_VERIFY_UI(ui);
        QCOMPARE(Widths(File().Read(8).definition.Body(1)), QList<int>{90});
        QVERIFY(File().Read(8).definition.printPhotos);
        // Each title as typed, trimmed and cut to 80 characters.
        const auto titles = File().Read(8).definition.titles;
        QCOMPARE(QStringList({QString::fromStdString(titles[0]), QString::fromStdString(titles[1]),
                              QString::fromStdString(titles[2])}),
                 QStringList({"Household", "Spring", QString(80, 't')}));
        QCOMPARE(File().Count(), 9);
    }

    // Leaving the name's box stores the name; leaving the box of the lines
    // or of a margin stores the number of lines.
    void leavingABoxStoresIt() {
        ScriptedUiServices ui;
        ui.ExpectModal("Report Definition", Drive([](ReportDefinitionDialog& d) {
            auto leave = [](QWidget* box) {
                QFocusEvent out(QEvent::FocusOut);
                QCoreApplication::sendEvent(box, &out);
            };
            int lines = 5;  // not the report's own number
            for (QLineEdit* box : {d.NumberOfLines, d.TopMargin, d.BottomMargin, d.LeftMargin, d.RightMargin}) {
                d.NumberOfLines->setText(QString::number(lines));
                leave(box);
                QCOMPARE(CurrentReport().lines, lines);
                QVERIFY(!d.ColumnHeaders->isEnabled());
                ++lines;
            }
            // The most a report holds is taken; one more is not.
            d.NumberOfLines->setText("12");
            leave(d.NumberOfLines);
            QCOMPARE(CurrentReport().lines, 12);
            d.NumberOfLines->setText("13");
            leave(d.NumberOfLines);
            QCOMPARE(CurrentReport().lines, 12);
            d.NumberOfLines->setText("1");
            d.ReportName->setText("  Kept  ");
            leave(d.ReportName);
            QCOMPARE(CurrentReport().name, std::string("Kept"));
            QCOMPARE(CurrentReport().lines, 12);  // not stored by the name's box
            d.ReportName->setText("Not yet");
            leave(d.Landscape);
            QCOMPARE(CurrentReport().name, std::string("Kept"));
            QCOMPARE(CurrentReport().lines, 12);
        }));
        ModifyAt(0);
        HALVENOR_VERIFY_UI(ui);
    }

    void renamingInModifyMode_data() {
        QTest::addColumn<Answer>("answer");
        QTest::addColumn<QStringList>("names");
        QStringList defaults;
        for (const ReportDefinition& d : DefaultReportDefinitions()) defaults << QString::fromStdString(d.name);
        QStringList overwritten = defaults;
        overwritten[1] = "Renamed";
        QTest::newRow("no overwrites") << Answer::No << overwritten;
        QTest::newRow("yes saves a new report") << Answer::Yes << (defaults + QStringList{"Renamed"});
        QTest::newRow("cancel stays") << Answer::Cancel << defaults;
    }
    void renamingInModifyMode() {
        QFETCH(Answer, answer);
        QFETCH(QStringList, names);
        ScriptedUiServices ui;
        ui.ExpectModal("Report Definition", Drive([answer](ReportDefinitionDialog& d) {
            d.ReportName->setText("Renamed");
            d.StoreName();
            QVERIFY(!d.DeleteButton->isEnabled());  // only the report as opened can be deleted
            d.SaveReport();
            QCOMPARE(d.isVisible(), answer == Answer::Cancel);
        }));
        ui.ExpectBeep().ExpectAsk("Warning", kNameChanged, answer);
        ModifyAt(1);
        HALVENOR_VERIFY_UI(ui);
        QStringList inFile;
        for (const std::string& n : File().Names()) inFile << QString::fromStdString(n);
        QCOMPARE(inFile, names);
        QCOMPARE(ListNames(m_list), answer == Answer::Cancel ? inFile : names);
        if (answer != Answer::Cancel) QCOMPARE(m_list.currentItem()->text(), QString("Renamed"));
    }

    // Saving a report another copy of the program deleted meanwhile: told,
    // the dialog stays open and the file keeps what the other copy left.
    void savingAReportDeletedMeanwhileIsTold() {
        ScriptedUiServices ui;
        ui.ExpectModal("Report Definition", Drive([](ReportDefinitionDialog& d) {
            File().Delete(7);
            File().Delete(6);
            d.Title1->setText("Changed");
            d.SaveReport();
            QVERIFY(d.isVisible());
        }));
        ui.ExpectBeep().ExpectMessage("Error", QString("Report definition 7 is not in \"%1\".")
                                                   .arg(QString::fromStdString(AppReportFilePath())));
        ModifyAt(6);
        HALVENOR_VERIFY_UI(ui);
        QCOMPARE(File().Count(), 6);
    }

    void deleteAsksFirst() {
        const QString question = "Are you sure you want to delete this report?";
        ScriptedUiServices ui;
        ui.ExpectModal("Report Definition", Drive([](ReportDefinitionDialog& d) {
            d.DeleteReport();
            QVERIFY(d.isVisible());
        }));
        ui.ExpectBeep().ExpectAsk("Warning", question, Answer::No);
        ModifyAt(7);
        QCOMPARE(File().Count(), 8);
        ui.ExpectModal("Report Definition", Drive([](ReportDefinitionDialog& d) {
            d.DeleteReport();
            QCOMPARE(d.result(), int(QDialog::Accepted));  // closed: the report it showed is gone
        }));
        ui.ExpectBeep().ExpectAsk("Warning", question, Answer::Yes);
        ModifyAt(7);
        HALVENOR_VERIFY_UI(ui);
        QCOMPARE(File().Count(), 7);
        QCOMPARE(m_list.count(), 7);
        QCOMPARE(m_list.currentRow(), 6);

        // Another copy of the program deleted a report meanwhile: the one
        // shown is no longer in the file, which is told and left alone.
        ui.ExpectModal("Report Definition", Drive([](ReportDefinitionDialog& d) {
            File().Delete(0);
            d.DeleteReport();
            QVERIFY(d.isVisible());
        }));
        ui.ExpectBeep().ExpectAsk("Warning", question, Answer::Yes);
        ui.ExpectBeep().ExpectMessage("Error", QString("Report definition 7 is not in \"%1\".").arg(QString::fromStdString(AppReportFilePath())));
        ModifyAt(6);
        HALVENOR_VERIFY_UI(ui);
        QCOMPARE(File().Count(), 6);
    }

    void modifyWithoutASelectionOrFile() {
        ScriptedUiServices ui;
        ui.ExpectBeep().ExpectMessage("Error", "No Report has been selected.  Please choose one.");
        m_list.setCurrentRow(-1);
        QCOMPARE(ModifyReport(m_list), int(QDialog::Rejected));
        // A missing file: the dialog shows the definition held in memory.
        QFile::remove(QString::fromStdString(AppReportFilePath()));
        CurrentReport().name = "In Memory";
        ui.ExpectModal("Report Definition", Drive([](ReportDefinitionDialog& d) {
            QCOMPARE(d.ReportName->text(), QString("In Memory"));
        }));
        m_list.setCurrentRow(0);
        ModifyReport(m_list);
        HALVENOR_VERIFY_UI(ui);
    }

    void damagedRecordIsToldAndCorrected() {
        ReportDefinition d = File().Read(0).definition;
        d.Font(FontSlot::Title).size = 0;
        File().Write(0, d);
        ScriptedUiServices ui;
        ui.ExpectBeep().ExpectMessage("Notice");
        ui.ExpectModal("Report Definition", Drive([](ReportDefinitionDialog& dialog) {
            QCOMPARE(dialog.TitleFontSummary->text(), QString("Arial 10pt"));
        }));
        ModifyAt(0);
        HALVENOR_VERIFY_UI(ui);
        QVERIFY(ui.Messages().first().contains("A font size of 0 points was set to 10 points."));
    }

    // ------------------------------------------------------------ the rules of Report Definition

    void refusedEntries_data() {
        QTest::addColumn<QString>("lines");
        QTest::addColumn<QString>("left");
        QTest::addColumn<QString>("right");
        QTest::addColumn<QString>("message");
        const QString badLines = "Notice|Number of lines must be in range of 0 to 12.  Please correct.";
        const QString badMargin = "Error|Invalid margin entered.  Please correct.";
        QTest::newRow("13 lines") << "13" << "0.5" << "0.5" << badLines;
        QTest::newRow("lines not a number") << "x" << "0.5" << "0.5" << badLines;
        QTest::newRow("margin not a number") << "1" << "abc" << "0.5" << badMargin;
        QTest::newRow("negative margin") << "1" << "-1" << "0.5" << badMargin;
        QTest::newRow("margins wider than the paper")
            << "1" << "20" << "20" << "Error|The left and right margins leave no room to print on the page.  Please correct.";
    }
    void refusedEntries() {
        QFETCH(QString, lines);
        QFETCH(QString, left);
        QFETCH(QString, right);
        QFETCH(QString, message);
        const QByteArray before = FileContents();
        ScriptedUiServices ui;
        ui.ExpectModal("Report Definition", Drive([&](ReportDefinitionDialog& d) {
            d.NumberOfLines->setText(lines);
            d.LeftMargin->setText(left);
            d.RightMargin->setText(right);
            d.SaveReport();
            QVERIFY(d.isVisible());
            QVERIFY(d.focusWidget() == d.NumberOfLines || d.focusWidget() == d.LeftMargin);
        }));
        ui.ExpectBeep().ExpectMessage(message.section('|', 0, 0), message.section('|', 1));
        ModifyAt(0);
        HALVENOR_VERIFY_UI(ui);
        QCOMPARE(FileContents(), before);
        // The same check guards the layout.
        ui.ExpectModal("Report Definition", Drive([](ReportDefinitionDialog& d) {
            d.NumberOfLines->setText("-1");
            d.EditLayout();
        }));
        ui.ExpectBeep().ExpectMessage("Notice");
        ModifyAt(0);
        HALVENOR_VERIFY_UI(ui);
    }

    void controlsFollowTheirRules() {
        CurrentReport().groupLevel1 = true;
        QVERIFY(ReportDefinitionDialog(ReportMode::New, -1, &m_list).GroupLevel1->isChecked());
        CurrentReport().groupLevel1 = false;
        CurrentReport().groupLevel2 = true;
        CurrentReport().titles = {"First", "Second", "Third"};
        ReportDefinitionDialog d(ReportMode::New, -1, &m_list);
        QCOMPARE(d.ReportName->maxLength(), 30);
        for (QLineEdit* title : {d.Title1, d.Title2, d.Title3}) QCOMPARE(title->maxLength(), 80);
        QCOMPARE(QStringList({d.Title1->text(), d.Title2->text(), d.Title3->text()}),
                 QStringList({"First", "Second", "Third"}));
        QVERIFY(!d.GroupLevel2->isEnabled());
        QVERIFY(!d.GroupLevel2->isChecked());  // unchecked when level 1 is off at opening
        d.GroupLevel1->click();  // as the user checks it
        QVERIFY(d.GroupLevel1->isChecked());
        QVERIFY(d.GroupLevel2->isEnabled());
        d.GroupLevel1->click();
        QVERIFY(!d.GroupLevel2->isEnabled());
        d.GroupLevel1->click();
        d.NumberOfLines->setText("2");
        d.StoreLineCount();
        QCOMPARE(CurrentReport().lines, 2);
        for (QCheckBox* box : {d.ColumnHeaders, d.HorizontalLines, d.VerticalLines}) QVERIFY(!box->isEnabled());
        d.NumberOfLines->setText("0");  // totals only
        d.StoreLineCount();
        QCOMPARE(CurrentReport().lines, 0);
        d.NumberOfLines->setText(" 1");
        d.StoreLineCount();
        QCOMPARE(d.NumberOfLines->text(), QString("1"));
        for (QCheckBox* box : {d.ColumnHeaders, d.HorizontalLines, d.VerticalLines}) QVERIFY(box->isEnabled());
        // Each box is named by the caption beside it.
        d.show();
        for (auto [box, caption] : {std::pair{d.TitleFontSummary, "Title Lines"}, std::pair{d.HeaderFontSummary, "Column Headers"},
                                    std::pair{d.BodyFontSummary, "Report Body"}, std::pair{d.FootnoteFontSummary, "Footnotes"},
                                    std::pair{d.TopMargin, "Top"}, std::pair{d.BottomMargin, "Bottom"},
                                    std::pair{d.LeftMargin, "Left"}, std::pair{d.RightMargin, "Right"},
                                    std::pair{d.NumberOfLines, "Number of Lines"}})
            QCOMPARE(window_fit::CaptionBeside(*box), QString(caption));
        // The boxes in two columns, Miscellaneous across both.
        std::map<QString, QRect> boxes;
        for (QGroupBox* g : d.findChildren<QGroupBox*>()) boxes[g->title()] = g->geometry();
        for (const char* left : {"Report Titles", "Report Content"})
            QCOMPARE(boxes.at(left).left(), boxes.at("Report Name").left());
        for (const char* right : {"Report Fonts", "Margins (in inches)"})
            QCOMPARE(boxes.at(right).left(), boxes.at("Report Width").left());
        QVERIFY(boxes.at("Report Width").left() > boxes.at("Report Name").right());
        QCOMPARE(boxes.at("Miscellaneous").left(), boxes.at("Report Name").left());
        QCOMPARE(boxes.at("Miscellaneous").right(), boxes.at("Report Width").right());
        QVERIFY(boxes.at("Report Content").top() > boxes.at("Miscellaneous").bottom());
        ScriptedUiServices ui;
        ui.ExpectHelp("User Defined Reports");
        d.ShowHelp();
        HALVENOR_VERIFY_UI(ui);
    }

    void changingTheWidth() {
        ReportDefinition& c = CurrentReport();
        c.width = 150;
        c.lines = 2;
        c.Body(1)[0].width = 100;
        c.Body(1)[1].width = 50;
        c.Body(2)[0].width = 150;
        ReportDefinitionDialog d(ReportMode::New, -1, &m_list);
        QVERIFY(d.Width150->isChecked());
        ScriptedUiServices ui;
        ui.ExpectBeep().ExpectAsk("Warning", kTo120, Answer::No);
        d.Width120->click();
        QVERIFY(d.Width150->isChecked());
        QCOMPARE(c.width, 150);
        QCOMPARE(Widths(c.Body(1)), (QList<int>{100, 50}));

        ui.ExpectBeep().ExpectAsk("Warning", kTo120, Answer::Yes);
        ui.ExpectBeep().ExpectMessage("Notice",
                                      "The Report Body font size has been set to a 8 Point default size as a result "
                                      "of switching to 120 characters per line.");
        d.Width120->click();
        QCOMPARE(c.width, 120);
        QCOMPARE(Widths(c.Body(1)), (QList<int>{100, 20}));
        QCOMPARE(Widths(c.Body(2)), QList<int>{120});
        QCOMPARE(d.BodyFontSummary->text(), QString("Courier New 8pt"));

        // Widening asks nothing.
        ui.ExpectBeep().ExpectMessage("Notice",
                                      "The Report Body font size has been set to a 6 Point default size as a result "
                                      "of switching to 150 characters per line.");
        d.ChangeWidth(150);
        QCOMPARE(c.Font(FontSlot::Body).size, 6);
        HALVENOR_VERIFY_UI(ui);
    }

    void fontsAreStoredAtOnce() {
        ScriptedUiServices ui;
        QFont chosen("Liberation Serif");
        chosen.setPointSize(14);
        chosen.setItalic(true);
        chosen.setStrikeOut(true);
        ui.ExpectModal("Report Fonts", [](QDialog& dialog) {
            auto& f = static_cast<ReportFontsDialog&>(dialog);
            QCOMPARE(f.Summaries[2]->text(), QString("Courier New 10pt"));
            f.ChooseSlotFont(2);
            QCOMPARE(f.Summaries[2]->text(), QString("Liberation Serif 14pt"));
            f.ChooseSlotFont(3);  // cancelled: nothing changes
            f.OkButton->click();
            QCOMPARE(f.result(), int(QDialog::Accepted));
        });
        ui.ExpectChooseFont(common::FontChoice{chosen, QColor(0x12, 0x34, 0x56)});
        ui.ExpectChooseFont(std::nullopt);
        ReportDefinitionDialog d(ReportMode::New, -1, &m_list);
        d.EditFonts();
        HALVENOR_VERIFY_UI(ui);
        const ReportFont& body = CurrentReport().Font(FontSlot::Body);
        QCOMPARE(body.name, std::string("Liberation Serif"));
        QCOMPARE(body.size, 14);
        QVERIFY(body.italic && body.strikeout && !body.bold && !body.underline);
        QCOMPARE(body.color, 0x563412u);
        QCOMPARE(d.BodyFontSummary->text(), QString("Liberation Serif 14pt"));
        QCOMPARE(CurrentReport().Font(FontSlot::Footnote), NewReportDefinition().Font(FontSlot::Footnote));

        // Sizes are whole points, never below 1; a font given in pixels keeps
        // the size the slot had.
        ReportFont f = body;
        for (const auto& [points, stored] : {std::pair{1.0, 1}, {0.4, 1}, {12.5, 13}, {200.0, 200}}) {
            QFont font("Liberation Serif");
            font.setPointSizeF(points);
            StoreFontChoice(common::FontChoice{font, QColor()}, f);
            QCOMPARE(f.size, stored);
        }
        QFont pixels("Liberation Serif");
        pixels.setPixelSize(30);
        StoreFontChoice(common::FontChoice{pixels, QColor()}, f);
        QCOMPARE(f.size, 200);
    }

    // ------------------------------------------------------------ layout and parts

    void layoutRowsAndClicks() {
        common::AppSettings().Field(1).title = "Thing";
        ReportDefinition def = File().Read(0).definition;  // 32, 17, 14, 14, 13 in 90
        ReportLayoutDialog layout(def, true);
        layout.resize(1000, 400);
        layout.show();
        ReportLayoutRows& rows = *layout.BodyRows;
        QCOMPARE(rows.RowCount(), 1);
        const QRect row = rows.RowRect(0);
        QCOMPARE(rows.ItemRect(0, 1).left(), row.left());
        QCOMPARE(rows.ItemRect(0, 1).right() + 1, row.left() + row.width() * 32 / 90);
        QCOMPARE(rows.ItemRect(0, 5).right() + 1, row.left() + row.width());
        QCOMPARE(rows.ItemText(0, 1), QString("Thing"));
        QCOMPARE(layout.TotalsRows->ItemText(0, 3), QString("Cost"));
        QCOMPARE(layout.TotalsRows->ItemText(0, 1), QString("Cost:"));
        QCOMPARE(layout.TotalsRows->ItemText(0, 2), QString("Filler"));
        // As drawn: a label in red against the right of its box, a filler in
        // green in the middle of its own, a field in black from the left.
        const QImage drawn = layout.TotalsRows->grab().toImage();
        auto inkOf = [&](int item, auto isInk) {
            const QRect r = layout.TotalsRows->ItemRect(0, item).adjusted(2, 2, -2, -2);
            QRect ink;
            for (int y = r.top(); y <= r.bottom(); ++y)
                for (int x = r.left(); x <= r.right(); ++x)
                    if (isInk(QColor(drawn.pixel(x, y)))) ink |= QRect(x, y, 1, 1);
            return std::pair{r, ink};
        };
        const auto [labelBox, red] = inkOf(1, [](QColor c) { return c.red() > 150 && c.green() < 90 && c.blue() < 90; });
        int widestFiller = 2;
        for (int i = 1; i <= reports::kItemsPerLine; ++i)
            if (layout.TotalsRows->ItemText(0, i) == "Filler" &&
                layout.TotalsRows->ItemRect(0, i).width() > layout.TotalsRows->ItemRect(0, widestFiller).width())
                widestFiller = i;
        const auto [fillerBox, green] = inkOf(widestFiller, [](QColor c) { return c.green() > 60 && c.green() > c.red() + 40 && c.green() > c.blue() + 40; });
        const auto [fieldBox, black] = inkOf(3, [](QColor c) { return qGray(c.rgb()) < 90; });
        QVERIFY(!red.isNull() && !green.isNull() && !black.isNull());
        QVERIFY2(labelBox.right() - red.right() <= 4, qPrintable(QString("%1 of %2").arg(red.right()).arg(labelBox.right())));
        QVERIFY2(std::abs(green.center().x() - fillerBox.center().x()) <= 2,
                 qPrintable(QString("%1 of %2").arg(green.center().x()).arg(fillerBox.center().x())));
        QVERIFY2(black.left() - fieldBox.left() <= 4, qPrintable(QString("%1 of %2").arg(black.left()).arg(fieldBox.left())));

        ScriptedUiServices ui;
        ui.ExpectModal("Select Report Part", [](QDialog& d) {
            QCOMPARE(static_cast<ReportPartDialog&>(d).PartLabel->text(), QString("Line 1, Item 2"));
        });
        QTest::mouseClick(&rows, Qt::LeftButton, {}, rows.ItemRect(0, 2).center());
        QTest::mouseClick(&rows, Qt::LeftButton, {}, QPoint(row.center().x(), row.bottom() + 2));  // between rows
        // Pressed on one item and released on another: nothing.
        QTest::mousePress(&rows, Qt::LeftButton, {}, rows.ItemRect(0, 1).center());
        QTest::mouseRelease(&rows, Qt::LeftButton, {}, rows.ItemRect(0, 3).center());
        HALVENOR_VERIFY_UI(ui);

        // Cancel forgets, Ok keeps.
        ScriptedUiServices again;
        again.ExpectModal("Select Report Part", [](QDialog& d) {
            auto& part = static_cast<ReportPartDialog&>(d);
            part.WidthEdit->setText("20");
            part.StorePart();
        });
        layout.EditItem(1, 1);
        layout.Cancel();
        QCOMPARE(Widths(def.Body(1)), (QList<int>{32, 17, 14, 14, 13}));
        ReportLayoutDialog second(def, false);
        QVERIFY(second.TotalsRows->isHidden());
        again.ExpectModal("Select Report Part", [](QDialog& d) {
            auto& part = static_cast<ReportPartDialog&>(d);
            part.WidthEdit->setText("20");
            part.StorePart();
        });
        second.EditItem(1, 1);
        second.OkButton->click();
        HALVENOR_VERIFY_UI(again);
        QCOMPARE(Widths(def.Body(1)), (QList<int>{20, 17, 14, 14, 13, 12}));

        def.lines = 0;
        ReportLayoutDialog none(def, true);
        QVERIFY(none.BodyRows->isHidden() && none.BodyCaption->isHidden());
    }

    void partChangesTheItem() {
        ReportLine line = File().Read(0).definition.Body(1);
        {
            ReportPartDialog part(line, 1, 2, 90);
            QVERIFY(part.FieldRadio->isChecked());
            QCOMPARE(part.FieldList->currentRow(), 4);  // Location
            QVERIFY(!part.LabelEdit->isEnabled());
            part.show();
            QCOMPARE(window_fit::CaptionBeside(*part.WidthEdit), QString("Width"));
            QCOMPARE(window_fit::CaptionBeside(*part.LabelEdit), QString("Label Name"));
            part.WidthEdit->setText("10");
            part.StorePart();
        }
        QCOMPARE(Widths(line), (QList<int>{32, 10, 14, 14, 13, 7}));
        QVERIFY(line[5].IsFiller());
        {
            ReportPartDialog part(line, 1, 6, 90);
            QVERIFY(part.FillerRadio->isChecked() && !part.FieldList->isEnabled());
            part.LabelRadio->click();
            QVERIFY(part.LabelEdit->isEnabled() && !part.FieldList->isEnabled());
            part.LabelEdit->setText("  Note  ");
            part.StorePart();
        }
        QCOMPARE(line[5].text, std::string("<LABEL>"));
        QCOMPARE(line[5].label, std::string("Note"));
        {
            ReportPartDialog part(line, 1, 6, 90);
            QCOMPARE(part.LabelEdit->text(), QString("Note"));
            part.FieldRadio->click();
            part.FieldList->setCurrentRow(17);
            part.StorePart();
        }
        QCOMPARE(line[5].text, std::string("Value"));
        QCOMPARE(line[5].number, 18);
        QCOMPARE(line[5].label, std::string());

        ReportLine totals = File().Read(0).definition.totals;
        ReportPartDialog part(totals, 0, 3, 90);
        QCOMPARE(part.PartLabel->text(), QString("Totals Line, Item 3"));
        QCOMPARE(part.FieldList->count(), 4);
        QCOMPARE(part.FieldList->currentItem()->text(), QString("Cost"));
        part.FieldList->setCurrentRow(2);
        part.StorePart();
        QCOMPARE(totals[2].text, std::string("Replacement Cost"));
        QCOMPARE(totals[2].number, 3);
    }

    void partRefusals_data() {
        QTest::addColumn<QString>("width");
        QTest::addColumn<bool>("field");
        QTest::addColumn<QString>("message");
        QTest::newRow("width not a number") << "1x" << false << "Invalid width entered.  Please correct.";
        QTest::newRow("empty width") << "" << false << "Invalid width entered.  Please correct.";
        QTest::newRow("field without a field") << "10" << true << "No field has been selected.  Please choose one.";
    }
    void partRefusals() {
        QFETCH(QString, width);
        QFETCH(bool, field);
        QFETCH(QString, message);
        ReportLine line = NewReportDefinition().Body(1);
        const ReportLine before = line;
        ReportPartDialog part(line, 1, 1, 90);
        part.show();
        part.WidthEdit->setText(width);
        if (field) part.FieldRadio->click();
        ScriptedUiServices ui;
        ui.ExpectBeep().ExpectMessage("Error", message);
        part.StorePart();
        HALVENOR_VERIFY_UI(ui);
        QVERIFY(part.isVisible());
        QCOMPARE(part.focusWidget(), field ? static_cast<QWidget*>(part.FieldList) : part.WidthEdit);
        QVERIFY(line == before);
    }

    void unstorableTextIsRefused() {
        ReportLine line = NewReportDefinition().Body(1);
        ReportPartDialog part(line, 1, 1, 90);
        part.LabelRadio->click();
        part.LabelEdit->setText(QString::fromUtf8("\xE2\x9C\x93 done"));
        ScriptedUiServices ui;
        ui.ExpectBeep().ExpectMessage(
            "Error", "The label holds a character that cannot be stored in a report definition.  Please correct.");
        part.StorePart();
        HALVENOR_VERIFY_UI(ui);
        QVERIFY(line[0].IsFiller());
        // The width box takes three digits, as typed.
        part.WidthEdit->clear();
        QTest::keyClicks(part.WidthEdit, "12345");
        QCOMPARE(part.WidthEdit->text(), QString("123"));

        // A title names its line.
        ReportDefinitionDialog d(ReportMode::New, -1, &m_list);
        d.ReportName->setText("Checks");
        d.Title2->setText(QString::fromUtf8("\xE2\x9C\x93 done"));
        ui.ExpectBeep().ExpectMessage(
            "Error", "Title line 2 holds a character that cannot be stored in a report definition.  Please correct.");
        d.SaveReport();
        HALVENOR_VERIFY_UI(ui);
    }

    // ------------------------------------------------------------ start-up

    void damagedFileAtStartIsToldAndRepaired() {
        const QString path = QString::fromStdString(AppReportFilePath());
        QFile f(path);
        QVERIFY(f.open(QIODevice::Append));
        f.write("junk");
        f.close();
        ScriptedUiServices ui;
        ui.ExpectMessage("Notice");
        EnsureReportDefinitionFile();
        HALVENOR_VERIFY_UI(ui);
        QCOMPARE(QFileInfo(path).size(), 8 * kRecordSize);
        QVERIFY(QFile::remove(path + ".BAD"));
    }
};

QTEST_MAIN(ReportDialogsTest)
#include "ReportDialogsTest.moc"
