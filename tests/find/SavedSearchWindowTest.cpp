// Saved searches in the windows as the program links them: Save As in the
// search window keeps and applies the search, the Navigate menu lists it
// after a restart and applies it, the list renames (asking before it
// replaces another) and deletes; a field the table lacks, a search nothing
// matches and a settings file that cannot be written each say so.

#include <QAction>
#include <QDialogButtonBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QtTest>

#include "AppPaths.h"
#include "FileBytes.h"
#include "MainWindow.h"
#include "SavedSearchDialogs.h"
#include "ScriptedUiServices.h"
#include "SearchWindow.h"
#include "Settings.h"
#include "TempHome.h"

using shell::MainWindow;

namespace {

void Add(MainWindow& w) {
    store::Table& t = w.ItemTable();
    for (const auto& [item, location] : std::vector<std::pair<std::string, std::string>>{
             {"Lamp", "Attic"}, {"Chair", "Kitchen"}, {"Box", "attic room"}, {"Desk lamp", "Office"}}) {
        t.Append();
        t.SetText("Item", item);
        t.SetText("Location", location);
        t.Post();
    }
    w.RefreshGrid();
    w.DisplayCount();
}

void Name(QDialog& dialog, const QString& name) {
    auto& d = static_cast<find::SearchNameDialog&>(dialog);
    d.NameBox()->setText(name);
    d.findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok)->click();
}

QStringList MenuTexts(MainWindow& w) {
    emit w.SavedSearchMenu()->aboutToShow();
    QStringList texts;
    for (QAction* a : w.SavedSearchMenu()->actions())
        if (!a->isSeparator()) texts << a->text() + (a->isEnabled() ? "" : " (off)");
    return texts;
}

QAction* MenuAction(MainWindow& w, const QString& text) {
    emit w.SavedSearchMenu()->aboutToShow();
    for (QAction* a : w.SavedSearchMenu()->actions())
        if (a->text() == text) return a;
    return nullptr;
}

}  // namespace

class SavedSearchWindowTest : public QObject {
    Q_OBJECT

    std::unique_ptr<testsupport::TempHome> m_home;

private slots:
    void init() {
        m_home = std::make_unique<testsupport::TempHome>();
    }

    void saveAsKeepsAndAppliesTheSearchWhichTheMenuOffersAfterARestart() {
        common::ScriptedUiServices ui;
        {
            MainWindow w(QSize(1600, 1200));
            Add(w);
            QCOMPARE(MenuTexts(w), QStringList({"(none saved yet) (off)", "&Manage Saved Searches..."}));
            ui.ExpectModal("Search", [](QDialog& d) {
                auto& search = static_cast<find::SearchWindow&>(d);
                search.SearchGrid->item(5, 2)->setText("attic");
                search.SaveAsButton->click();
            });
            ui.ExpectModal("Save Search", [](QDialog& d) { Name(d, "  Attic & co  "); });
            w.DoSearch();
            HALVENOR_VERIFY_UI(ui);
            QVERIFY(w.SearchOn());
            QCOMPARE(w.CountLabel()->text(), QString("2"));
            QVERIFY(common::AppSettings().savedSearches ==
                    (std::vector<std::pair<QString, QString>>{{"Attic & co", "Location:has:ATTIC"}}));
            QVERIFY(testsupport::ReadAll(common::AppPaths::SettingsFile())
                        .contains("[Halvenor Saved Searches]\nAttic & co=Location:has:ATTIC\n"));
            w.DoEndSearch();
        }
        common::AppSettings() = common::Settings();
        common::LoadAppSettings();
        common::AppSettings().showTips = false;
        MainWindow w(QSize(1600, 1200));
        QCOMPARE(MenuTexts(w), QStringList({"Attic && co", "&Manage Saved Searches..."}));
        w.DisplayCount();
        QCOMPARE(w.CountLabel()->text(), QString("4"));
        MenuAction(w, "Attic && co")->trigger();
        QVERIFY(w.SearchOn());
        QCOMPARE(w.CountLabel()->text(), QString("2"));
        QVERIFY2(ui.Verify(), qPrintable(ui.Failures().join("\n")));
    }

    void theListRenamesDeletesAndApplies() {
        common::ScriptedUiServices ui;
        MainWindow w(QSize(1600, 1200));
        Add(w);
        common::AppSettings().savedSearches = {{"A", "Item:has:LAMP"}, {"B", "Location:has:ATTIC"}, {"C", "Item:has:BOX"}};
        ui.ExpectModal("Saved Searches", [](QDialog& d) {
            auto& list = static_cast<find::SavedSearchesDialog&>(d);
            QCOMPARE(list.List()->count(), 3);
            list.List()->setCurrentRow(0);
            list.RenameButton->click();
            QCOMPARE(list.List()->item(0)->text(), QString("Lamps"));
            list.List()->setCurrentRow(2);
            list.DeleteButton->click();  // answered No
            list.DeleteButton->click();
            QCOMPARE(list.List()->count(), 2);
            // A double-click applies the search clicked.
            emit list.List()->itemDoubleClicked(list.List()->item(0));
            QVERIFY(!list.isVisible());
        });
        // A name another search has is asked about; No gives the name back.
        ui.ExpectModal("Rename Saved Search", [](QDialog& d) {
            QCOMPARE(static_cast<find::SearchNameDialog&>(d).NameBox()->text(), QString("A"));
            Name(d, "b");
        });
        ui.ExpectAsk("Confirm", "A saved search is already called \"b\".  Replace it?", common::Answer::No);
        ui.ExpectModal("Rename Saved Search", [](QDialog& d) { Name(d, "Lamps"); });
        ui.ExpectAsk("Confirm", "Delete the saved search \"C\"?", common::Answer::No);
        ui.ExpectAsk("Confirm", "Delete the saved search \"C\"?", common::Answer::Yes);
        w.ManageSavedSearches();
        HALVENOR_VERIFY_UI(ui);
        QVERIFY(common::AppSettings().savedSearches ==
                (std::vector<std::pair<QString, QString>>{{"Lamps", "Item:has:LAMP"}, {"B", "Location:has:ATTIC"}}));
        QVERIFY(w.SearchOn());
        QCOMPARE(w.CountLabel()->text(), QString("2"));  // Lamp, Desk lamp

        // Renamed over another: that one goes.
        ui.ExpectModal("Saved Searches", [](QDialog& d) {
            auto& list = static_cast<find::SavedSearchesDialog&>(d);
            list.List()->setCurrentRow(1);
            list.RenameButton->click();
            list.ApplyButton->click();
            QVERIFY(!list.isVisible());  // applied, and the list closed
        });
        ui.ExpectModal("Rename Saved Search", [](QDialog& d) { Name(d, "LAMPS"); });
        ui.ExpectAsk("Confirm", "A saved search is already called \"LAMPS\".  Replace it?", common::Answer::Yes);
        w.ManageSavedSearches();
        QVERIFY(common::AppSettings().savedSearches ==
                (std::vector<std::pair<QString, QString>>{{"LAMPS", "Location:has:ATTIC"}}));
        QCOMPARE(w.CountLabel()->text(), QString("2"));  // Lamp, Box
        QVERIFY(testsupport::ReadAll(common::AppPaths::SettingsFile())
                    .endsWith("[Halvenor Saved Searches]\nLAMPS=Location:has:ATTIC\n"));
        QVERIFY2(ui.Verify(), qPrintable(ui.Failures().join("\n")));
    }

    void whatCannotBeDoneIsSaid() {
        common::ScriptedUiServices ui;
        MainWindow w(QSize(1600, 1200));
        Add(w);
        common::AppSettings().savedSearches = {{"Paint", "Colour:has:RED"}, {"Zebras", "Item:has:ZEBRA"}};
        ui.ExpectMessage("Error", "The saved search \"Paint\" looks in the field Colour, which this database does not have.");
        MenuAction(w, "Paint")->trigger();
        QVERIFY(!w.SearchOn());
        ui.ExpectMessage("Notice", "No valid matches found.  Search criteria will be cleared.");
        MenuAction(w, "Zebras")->trigger();
        QVERIFY(!w.SearchOn());
        QCOMPARE(w.CountLabel()->text(), QString("4"));

        // A name refused, then a settings file that cannot be written: the
        // list is as it was and the search not applied.
        QVERIFY(QDir().mkpath(common::AppPaths::SettingsFile()));
        ui.ExpectModal("Search", [](QDialog& d) {
            auto& search = static_cast<find::SearchWindow&>(d);
            search.SearchGrid->item(1, 2)->setText("lamp");
            search.SaveAsButton->click();
            QVERIFY(search.isVisible());
            search.CloseWindow();
        });
        ui.ExpectModal("Save Search", [](QDialog& d) {
            Name(d, "a=b");
            QVERIFY(d.isVisible());
            Name(d, "Lamps");
        });
        ui.ExpectMessage("Error", "A search's name cannot hold \"=\", \"[\", \"]\" or control characters.");
        ui.ExpectMessage("Error", find::saved_searches::kNotWrittenMessage);
        w.DoSearch();
        QVERIFY(!w.SearchOn());
        QCOMPARE(common::AppSettings().savedSearches.size(), size_t(2));
        QVERIFY2(ui.Verify(), qPrintable(ui.Failures().join("\n")));
    }
};

QTEST_MAIN(SavedSearchWindowTest)
#include "SavedSearchWindowTest.moc"
