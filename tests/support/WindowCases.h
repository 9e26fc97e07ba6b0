#pragma once
// Every dialog a command of the main window opens, as that command opens
// it, for the tests of what a user sees of them: each folder's tests check
// its own, the shell's tests all of them at every screen size.

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QAbstractSpinBox>
#include <QApplication>
#include <QBuffer>
#include <QComboBox>
#include <QDialog>
#include <QFile>
#include <QFontInfo>
#include <QFontMetrics>
#include <QGroupBox>
#include <QHeaderView>
#include <QTableView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTextEdit>
#include <QTabWidget>
#include <QListWidget>
#include <QString>
#include <cmath>
#include <functional>
#include <map>
#include <memory>

#include "BackupDialog.h"
#include "ColorConfigDialog.h"
#include "EditSelectedDialog.h"
#include "ExportDialog.h"
#include "HelpWindow.h"
#include "ImportDialog.h"
#include "SheetImportDialog.h"
#include "ImportFormatDialog.h"
#include "InsuranceDialog.h"
#include "ItemEditor.h"
#include "OverviewWindow.h"
#include "LocateDialog.h"
#include "Locator.h"
#include "MainWindow.h"
#include "PageRangeDialog.h"
#include "PickListDialog.h"
#include "ReportDefinitionDialog.h"
#include "ReportFontsDialog.h"
#include "ReportLayoutDialog.h"
#include "ReportPartDialog.h"
#include "ReportStatusWindow.h"
#include "ReportViewer.h"
#include "ReportJob.h"
#include "ReportsWindow.h"
#include "RestoreDialog.h"
#include "SavedSearchDialogs.h"
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
    cases["overview"] = {false,
                         [](MainWindow& w, Owner&) -> QDialog* {
                             w.DoOverview();
                             w.Overview()->hide();  // shown again as the other windows are
                             return w.Overview();
                         },
                         {}};
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
    cases["spreadsheet import"] = {true, [](MainWindow& w, Owner& o) {
                                       return Own(o, new exchange::SheetImportDialog(
                                                         w, HALVENOR_SOURCE_DIR "/tests/exchange/data/csv/python-minimal.csv", &w));
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
    cases["edit selected"] = {
        false, [](MainWindow& w, Owner& o) { return Own(o, new shell::EditSelectedDialog(w.ItemTable(), 12345, &w)); },
        [](QDialog& d) {
            auto& edit = static_cast<shell::EditSelectedDialog&>(d);
            edit.Value(5)->setText("Attic");
            edit.Choice(5)->setChecked(true);
        }};
    cases["save search"] = {
        false, [](MainWindow& w, Owner& o) { return Own(o, new find::SearchNameDialog("Save Search", "Attic things", &w)); },
        {}};
    cases["saved searches"] = {false,
                               [](MainWindow& w, Owner& o) {
                                   common::AppSettings().savedSearches = {{"Attic things", "Location:has:ATTIC"},
                                                                          {"Costly", "Cost:gt:1000"}};
                                   return Own(o, new find::SavedSearchesDialog(w, *w.SearchWindow(), &w));
                               },
                               {}};
    const std::map<QString, QString> folders = {
        {"item editor", "items"}, {"pick list maintenance", "items"}, {"search window", "find"},
        {"search options", "find"}, {"locate", "find"}, {"sort order", "find"}, {"search and replace", "find"},
        {"viewer configuration", "appearance"}, {"colour configuration", "appearance"}, {"tip of the day", "appearance"},
        {"import format", "exchange"}, {"export", "exchange"}, {"import", "exchange"}, {"backup", "exchange"},
        {"spreadsheet import", "exchange"},
        {"restore", "exchange"}, {"reports", "reports"}, {"insurance information", "reports"},
        {"page printing", "reports"}, {"report definition", "reports"}, {"report fonts", "reports"},
        {"report layout", "reports"}, {"report part", "reports"}, {"help", "common"},
        {"overview", "overview"}, {"edit selected", "find"}, {"save search", "find"}, {"saved searches", "find"}};
    for (auto& [name, c] : cases) {
        c.folder = folders.at(name);
        c.lives = name == "item editor" || name == "search window" || name == "reports" || name == "help" ||
                  name == "overview";
    }
    return cases;
}


// The windows that other windows open, placed by their own rules rather
// than centred on the screen: the report's status window and its preview.
inline std::map<QString, DialogCase> OpenedByWindows() {
    std::map<QString, DialogCase> cases;
    static QBuffer recorded;
    cases["report status"] = {false, [](MainWindow& w, Owner& o) -> QDialog* {
                                  recorded.close();
                                  recorded.setData(QByteArray());
                                  auto* form = new reports::ReportStatusWindow(reports::OutputMode::View, reports::CurrentReport(),
                                                                               w.ItemTable(), reports::AppReportSettings(), &w);
                                  form->SetStream(&recorded);
                                  form->StartReport();
                                  return Own(o, form);
                              }, {}, "reports"};
    cases["report preview"] = {false, [](MainWindow& w, Owner& o) -> QDialog* {
                                   recorded.close();
                                   recorded.setData(QByteArray());
                                   reports::RecordReport(reports::CurrentReport(), w.ItemTable(), reports::AppReportSettings(),
                                                         recorded);
                                   auto* preview = new reports::ReportViewer(QStringLiteral("Full Report"), &recorded, nullptr, &w);
                                   preview->StartPreview();
                                   return Own(o, preview);
                               },
                               // The whole page, smaller than the window: it stands at the top left.
                               [](QDialog& d) { static_cast<reports::ReportViewer&>(d).ZoomToWholePage(); }, "reports"};
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
// Each dialog of one folder (those other windows open as well) opened as
// its command opens it, shown and filled, handed to f, then hidden.
inline void ForEachShown(MainWindow& main, const QString& folder,
                         const std::function<void(const QString&, const DialogCase&, QDialog&)>& f) {
    std::map<QString, DialogCase> cases = Dialogs();
    cases.merge(OpenedByWindows());
    for (const auto& [name, c] : cases) {
        if (c.folder != folder) continue;
        Owner owner;
        QDialog* d = c.open(main, owner);
        d->show();
        if (c.fill) c.fill(*d);
        f(name, c, *d);
        d->hide();
    }
}

inline QStringList FolderFaults(MainWindow& main, const QString& folder, double factor) {
    common::ScriptedUiServices ui;
    ui.AllowBeeps(true);
    common::SetWindowSizeFactor(factor);
    QStringList out;
    const std::map<QString, DialogCase> commands = Dialogs();
    ForEachShown(main, folder, [&](const QString& name, const DialogCase& c, QDialog& dialog) {
        QDialog* d = &dialog;
        const QString where = QStringLiteral("%1 at %2").arg(name).arg(factor);
        out << ShownFaults(*d, where);
        // Those a command opens stand in the middle of the screen.
        if (commands.count(name) && !window_fit::IsCentred(*d, c.movesUp))
            out << where + ": not centred, " + window_fit::Where(*d, c.movesUp);
        // Its text grows with the factor.
        const double wanted = QApplication::font().pointSizeF() * factor;
        if (std::abs(d->font().pointSizeF() - wanted) > 1)
            out << QStringLiteral("%1: text of %2 points, %3 wanted").arg(where).arg(d->font().pointSizeF()).arg(wanted);
        // Shown again, a window that lives for the run scales from its
        // design, not from its last showing.
        if (!c.lives) return;
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
    });
    common::SetWindowSizeFactor(1.0);
    return out;
}

}  // namespace window_cases

namespace window_cases {

// Where each control of a dialog stands, one line each, as the user sees
// it: kind, text, place and size, and its alignment and font where those
// are its own. Compared with a stored copy, it shows any control that moved,
// grew, shrank or changed its text since the copy was looked at and taken.
inline QString LayoutOf(QDialog& d) {
    QString out = QStringLiteral("%1 x %2\n").arg(d.width()).arg(d.height());
    std::function<void(QWidget*, int)> walk = [&](QWidget* w, int depth) {
        for (QObject* child : w->children()) {
            auto* c = qobject_cast<QWidget*>(child);
            if (!c || !c->isVisibleTo(&d) || c->isWindow()) continue;
            // The inner parts of Qt's own controls follow from their size.
            const bool own = c->objectName().startsWith(QLatin1String("qt_"));
            if (!own) {
                QString text = c->objectName();
                if (auto* label = qobject_cast<QLabel*>(c)) text = label->text();
                else if (auto* button = qobject_cast<QAbstractButton*>(c)) text = button->text();
                else if (auto* group = qobject_cast<QGroupBox*>(c)) text = group->title();
                else if (auto* edit = qobject_cast<QLineEdit*>(c)) text = edit->displayText();
                else if (auto* combo = qobject_cast<QComboBox*>(c)) text = combo->currentText();
                const QPoint at = c->mapTo(&d, QPoint(0, 0));
                QString line = QStringLiteral("%1%2 \"%3\" %4,%5 %6x%7")
                                   .arg(QString(depth * 2, QLatin1Char(' ')), QString::fromLatin1(c->metaObject()->className()),
                                        text.replace(QLatin1Char('\n'), QLatin1String("\\n")))
                                   .arg(at.x()).arg(at.y()).arg(c->width()).arg(c->height());
                if (auto* label = qobject_cast<QLabel*>(c)) line += QStringLiteral(" align %1").arg(int(label->alignment()));
                if (auto* edit = qobject_cast<QLineEdit*>(c)) line += QStringLiteral(" align %1").arg(int(edit->alignment()));
                // The button Enter presses, drawn with its own frame.
                if (auto* button = qobject_cast<QPushButton*>(c); button && button->isDefault()) line += QStringLiteral(" default");
                if (auto* table = qobject_cast<QTableView*>(c)) {
                    // The grid: its titles' height, and its columns' and rows' sizes.
                    QStringList columns, rows;
                    for (int i = 0; i < std::min(table->model()->columnCount(), 30); ++i) columns << QString::number(table->columnWidth(i));
                    for (int i = 0; i < std::min(table->model()->rowCount(), 30); ++i) rows << QString::number(table->rowHeight(i));
                    line += QStringLiteral(" titles %1 columns %2 rows %3")
                                .arg(table->horizontalHeader()->isVisible() ? table->horizontalHeader()->height() : 0)
                                .arg(columns.join(QLatin1Char('/')), rows.join(QLatin1Char('/')));
                }
                if (c->font() != c->parentWidget()->font())
                    line += QStringLiteral(" font %1 %2%3").arg(c->font().family()).arg(c->font().pointSizeF())
                                .arg(c->font().bold() ? QStringLiteral(" bold") : QString());
                out += line + QLatin1Char('\n');
            }
            const bool whole = qobject_cast<QComboBox*>(c) || qobject_cast<QAbstractSpinBox*>(c) ||
                               qobject_cast<QAbstractItemView*>(c) || qobject_cast<QTextEdit*>(c);
            if (!whole) walk(c, own ? depth : depth + 1);
        }
    };
    if (auto* tabs = d.findChild<QTabWidget*>()) {
        for (int page = 0; page < tabs->count(); ++page) {
            tabs->setCurrentIndex(page);
            QApplication::processEvents();
            out += QStringLiteral("-- %1\n").arg(tabs->tabText(page));
            walk(&d, 0);
        }
        tabs->setCurrentIndex(0);
    } else {
        walk(&d, 0);
    }
    return out;
}

// The layouts of every dialog of one folder at the smallest and largest
// window size factor, headed by the font they were measured in: another
// machine's fonts give other sizes, and there the copy says nothing.
inline QString FolderLayouts(MainWindow& main, const QString& folder) {
    common::ScriptedUiServices ui;
    ui.AllowBeeps(true);
    // The fonts the windows are drawn in, as this machine resolves them.
    QString out = QStringLiteral("%1 dpi").arg(main.logicalDpiY());
    for (const QFont& font : {QApplication::font(), QFont(QStringLiteral("Arial"), 9)})
        out += QStringLiteral(", %1 %2 pt %3 px").arg(QFontInfo(font).family()).arg(font.pointSizeF())
                   .arg(QFontMetrics(font).horizontalAdvance(QStringLiteral("Halvenor Inventory 0123456789")));
    out += QLatin1Char('\n');
    for (double factor : {1.0, 2.0}) {
        common::SetWindowSizeFactor(factor);
        ForEachShown(main, folder, [&](const QString& name, const DialogCase&, QDialog& d) {
            QApplication::processEvents();
            out += QStringLiteral("== %1 at %2: ").arg(name).arg(factor) + LayoutOf(d);
        });
    }
    common::SetWindowSizeFactor(1.0);
    return out;
}

// Compares a folder's layouts with the copy stored beside its tests
// (tests/FOLDER/data/window-layouts.txt); HALVENOR_UPDATE_LAYOUTS=1 stores
// them instead, once the windows were looked at. Returns the first lines
// that differ, or why the copy cannot say anything here (empty when alike).
inline QString CompareLayouts(MainWindow& main, const QString& folder, bool* notComparable) {
    const QString path = QStringLiteral(HALVENOR_SOURCE_DIR "/tests/%1/data/window-layouts.txt").arg(folder);
    const QString now = FolderLayouts(main, folder);
    *notComparable = false;
    if (qEnvironmentVariableIntValue("HALVENOR_UPDATE_LAYOUTS") == 1) {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) return QStringLiteral("cannot write ") + path;
        file.write(now.toUtf8());
        return {};
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return QStringLiteral("no stored layouts in ") + path;
    const QStringList stored = QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'));
    const QStringList shown = now.split(QLatin1Char('\n'));
    if (stored.first() != shown.first()) {
        *notComparable = true;
        return QStringLiteral("the layouts were stored with \"%1\", this machine has \"%2\"").arg(stored.first(), shown.first());
    }
    // Each dialog's lines by its heading, so that one that moved shows once.
    auto sections = [](const QStringList& lines) {
        std::map<QString, QStringList> out;
        QString heading;
        for (const QString& line : lines.mid(1)) {
            if (line.startsWith(QLatin1String("== "))) heading = line.section(QLatin1Char(':'), 0, 0).mid(3);
            out[heading] << line;
        }
        return out;
    };
    const auto before = sections(stored), after = sections(shown);
    QStringList differences;
    for (const auto& [name, lines] : after) {
        const auto it = before.find(name);
        if (it == before.end()) {
            differences << name + QStringLiteral(": not stored");
            continue;
        }
        for (qsizetype i = 0; i < std::max(lines.size(), it->second.size()); ++i)
            if (lines.value(i) != it->second.value(i)) {
                differences << QStringLiteral("%1, line %2:\n  stored [%3]\n   shown [%4]")
                                   .arg(name).arg(i + 1).arg(it->second.value(i), lines.value(i));
                break;
            }
    }
    for (const auto& [name, lines] : before)
        if (!after.count(name)) differences << name + QStringLiteral(": stored, no longer shown");
    return differences.join(QLatin1Char('\n'));
}

}  // namespace window_cases
