#pragma once
// Every dialog a command of the main window opens, as that command opens
// it, for the tests of what a user sees of them: each folder's tests check
// its own, the shell's tests all of them at every screen size.

#include <QApplication>
#include <QDialog>
#include <QTabWidget>
#include <QListWidget>
#include <QString>
#include <cmath>
#include <functional>
#include <map>
#include <memory>

#include "BackupDialog.h"
#include "ColorConfigDialog.h"
#include "ExportDialog.h"
#include "HelpWindow.h"
#include "ImportDialog.h"
#include "ImportFormatDialog.h"
#include "InsuranceDialog.h"
#include "ItemEditor.h"
#include "LocateDialog.h"
#include "Locator.h"
#include "MainWindow.h"
#include "PageRangeDialog.h"
#include "PickListDialog.h"
#include "ReportDefinitionDialog.h"
#include "ReportFontsDialog.h"
#include "ReportLayoutDialog.h"
#include "ReportPartDialog.h"
#include "ReportsWindow.h"
#include "RestoreDialog.h"
#include "SearchAndReplaceDialog.h"
#include "SearchOperatorList.h"
#include "SearchWindow.h"
#include "SortOrderDialog.h"
#include "TipOfDayDialog.h"
#include "ScriptedUiServices.h"
#include "ViewerConfigDialog.h"
#include "WindowFit.h"
#include "WindowLayout.h"

namespace window_cases {

using shell::MainWindow;

// A dialog as a command opens it: made fresh (owned here) or one of the
// windows that live for the whole run.
struct DialogCase {
    bool movesUp;
    std::function<QDialog*(MainWindow&, std::unique_ptr<QDialog>& owner)> open;
    // What a user typically has in it once it is shown.
    std::function<void(QDialog&)> fill;
    // The part of the program it belongs to: items, find, exchange ...
    QString folder;
    // One window for the whole run, shown again by every use of its command.
    bool lives = false;
};

using Owner = std::unique_ptr<QDialog>;

inline QDialog* Own(Owner& owner, QDialog* dialog) {
    owner.reset(dialog);
    return dialog;
}

// Every dialog that a command of the main window opens (the item editor and
// the search window live for the whole run).
inline std::map<QString, DialogCase> Dialogs() {
    std::map<QString, DialogCase> cases;
    cases["item editor"] = {true,
                            [](MainWindow& w, Owner&) -> QDialog* {
                                w.EditorMode() = 2;
                                return w.Editor();
                            },
                            [](QDialog& d) {
                                auto& edit = static_cast<items::ItemEditor&>(d);
                                edit.WarDate->setText("25/12/2024");
                                edit.PurchDate->setText("28/02/1999");
                                edit.Cost->setText("123456789.99");
                                edit.Quantity->setText("1000");
                                edit.CalcTotals();
                            }};
    cases["search window"] = {true, [](MainWindow& w, Owner&) -> QDialog* { return w.SearchWindow(); }, {}};
    cases["pick list maintenance"] = {
        false,
        [](MainWindow& w, Owner& o) { return Own(o, new items::PickListDialog(*w.Editor(), w, common::PickList::Bought, &w)); },
        {}};
    cases["search options"] = {
        false,
        [](MainWindow& w, Owner& o) {
            return Own(o, new find::SearchOperatorList("Replacement Cost", {" = ", " > ", " < ", " > X < "}, 3, &w));
        },
        {}};
    cases["locate"] = {
        false,
        [](MainWindow& w, Owner& o) { return Own(o, new find::LocateDialog(*w.Locate(), w.Locate()->FieldList(), &w)); },
        {}};
    cases["sort order"] = {false, [](MainWindow& w, Owner& o) { return Own(o, new find::SortOrderDialog(w, &w)); }, {}};
    cases["search and replace"] = {
        false, [](MainWindow& w, Owner& o) { return Own(o, new find::SearchAndReplaceDialog(w, &w)); }, {}};
    cases["viewer configuration"] = {
        true, [](MainWindow& w, Owner& o) { return Own(o, new appearance::ViewerConfigDialog(w, &w)); }, {}};
    cases["colour configuration"] = {
        true, [](MainWindow& w, Owner& o) { return Own(o, new appearance::ColorConfigDialog(6, &w)); }, {}};
    cases["tip of the day"] = {false, [](MainWindow& w, Owner& o) { return Own(o, new appearance::TipOfDayDialog(&w)); }, {}};
    cases["import format"] = {false,
                              [](MainWindow& w, Owner& o) { return Own(o, new exchange::ImportFormatDialog(w, &w)); }, {}};
    cases["export"] = {true, [](MainWindow& w, Owner& o) { return Own(o, new exchange::ExportDialog(w, &w)); }, {}};
    cases["import"] = {true, [](MainWindow& w, Owner& o) {
                           return Own(o, new exchange::ImportDialog(w, exchange::SourceKind::Text, "items.txt",
                                                                 {"Description", "Maker"}, &w));
                       }, {}};
    cases["reports"] = {false, [](MainWindow& w, Owner&) -> QDialog* { return w.ReportsWindow(); }, {}};
    cases["insurance information"] = {false, [](MainWindow& w, Owner& o) { return Own(o, new reports::InsuranceDialog(&w)); },
                                      {}};
    cases["page printing"] = {false, [](MainWindow& w, Owner& o) { return Own(o, new reports::PageRangeDialog(125, &w)); }, {}};
    cases["report definition"] = {false, [](MainWindow& w, Owner& o) {
                                      static QListWidget reports;
                                      return Own(o, new reports::ReportDefinitionDialog(reports::ReportMode::New, 0, &reports, &w));
                                  }, {}};
    cases["report fonts"] = {false, [](MainWindow& w, Owner& o) {
                                 return Own(o, new reports::ReportFontsDialog(reports::CurrentReport(), &w));
                             }, {}};
    cases["report layout"] = {false, [](MainWindow& w, Owner& o) {
                                  return Own(o, new reports::ReportLayoutDialog(reports::CurrentReport(), true, &w));
                              }, {}};
    cases["report part"] = {false, [](MainWindow& w, Owner& o) {
                                return Own(o, new reports::ReportPartDialog(reports::CurrentReport().Body(1), 1, 1, 90, &w));
                            }, {}};
    cases["help"] = {false, [](MainWindow& w, Owner&) -> QDialog* {
                         w.Help()->ShowKeyword("Input Window");
                         return w.Help();
                     }, {}};
    cases["backup"] = {false, [](MainWindow& w, Owner& o) { return Own(o, new exchange::BackupDialog(w, {}, &w)); },
                       [](QDialog& d) {
                           // A folder of a usual length: a longer one scrolls in its box.
                           static_cast<exchange::BackupDialog&>(d).FolderEdit->setText("/home/pat/Backups");
                       }};
    cases["restore"] = {false, [](MainWindow& w, Owner& o) { return Own(o, new exchange::RestoreDialog(w, {}, &w)); }, {}};
    const std::map<QString, QString> folders = {
        {"item editor", "items"}, {"pick list maintenance", "items"}, {"search window", "find"},
        {"search options", "find"}, {"locate", "find"}, {"sort order", "find"}, {"search and replace", "find"},
        {"viewer configuration", "appearance"}, {"colour configuration", "appearance"}, {"tip of the day", "appearance"},
        {"import format", "exchange"}, {"export", "exchange"}, {"import", "exchange"}, {"backup", "exchange"},
        {"restore", "exchange"}, {"reports", "reports"}, {"insurance information", "reports"},
        {"page printing", "reports"}, {"report definition", "reports"}, {"report fonts", "reports"},
        {"report layout", "reports"}, {"report part", "reports"}, {"help", "common"}};
    for (auto& [name, c] : cases) {
        c.folder = folders.at(name);
        c.lives = name == "item editor" || name == "search window" || name == "reports" || name == "help";
    }
    return cases;
}


// What a user would see wrong in the dialog as it stands: text cut off, and
// controls that cover one another, on every page of its tabs.
inline QStringList ShownFaults(QDialog& d, const QString& name) {
    QStringList out;
    auto check = [&](const QString& where) {
        QApplication::processEvents();
        for (const QString& line : window_fit::Clipped(d)) out << where + ": " + line;
        for (const QString& line : window_fit::Overlapping(d)) out << where + ": " + line;
    };
    if (auto* tabs = d.findChild<QTabWidget*>()) {
        for (int page = 0; page < tabs->count(); ++page) {
            tabs->setCurrentIndex(page);
            check(name + ", " + tabs->tabText(page));
        }
    } else {
        check(name);
    }
    return out;
}

// The faults of every dialog of one folder, each shown as its command shows
// it at the window size factor.
inline QStringList FolderFaults(MainWindow& main, const QString& folder, double factor) {
    common::ScriptedUiServices ui;
    ui.AllowBeeps(true);
    common::SetWindowSizeFactor(factor);
    QStringList out;
    for (const auto& [name, c] : Dialogs()) {
        if (c.folder != folder) continue;
        Owner owner;
        QDialog* d = c.open(main, owner);
        d->show();
        if (c.fill) c.fill(*d);
        const QString where = QStringLiteral("%1 at %2").arg(name).arg(factor);
        out << ShownFaults(*d, where);
        // Its text grows with the factor.
        const double wanted = QApplication::font().pointSizeF() * factor;
        if (std::abs(d->font().pointSizeF() - wanted) > 1)
            out << QStringLiteral("%1: text of %2 points, %3 wanted").arg(where).arg(d->font().pointSizeF()).arg(wanted);
        // Shown again, a window that lives for the run scales from its
        // design, not from its last showing.
        if (!c.lives) {
            d->hide();
            continue;
        }
        const QSize first = d->size();
        const int points = d->font().pointSize();
        d->hide();
        d->show();
        QApplication::processEvents();
        if (d->size() != first || d->font().pointSize() != points)
            out << QStringLiteral("%1: %2 x %3 in %4 points, shown again %5 x %6 in %7 points")
                       .arg(where)
                       .arg(first.width())
                       .arg(first.height())
                       .arg(points)
                       .arg(d->width())
                       .arg(d->height())
                       .arg(d->font().pointSize());
        d->hide();
    }
    common::SetWindowSizeFactor(1.0);
    return out;
}

}  // namespace window_cases
