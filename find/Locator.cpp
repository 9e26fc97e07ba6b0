#include "Locator.h"

#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <algorithm>

#include "ItemSchema.h"
#include "LocateSearch.h"
#include "MainContext.h"
#include "Settings.h"
#include "LocateDialog.h"
#include "UiServices.h"

namespace find {

namespace {

struct Hourglass {
    Hourglass() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~Hourglass() { QApplication::restoreOverrideCursor(); }
};

}  // namespace

Locator::Locator(common::MainContext& context) : m_context(context) {}

store::Table& Locator::Table() { return m_context.ItemTable(); }

std::vector<Locator::FieldEntry> Locator::FieldList() {
    const common::Settings& s = common::AppSettings();
    store::Table& table = Table();
    std::vector<FieldEntry> entries;
    for (int i = 0; i < table.FieldCount(); ++i) {
        const store::FieldDef& f = table.Field(i);
        if (f.Kind() == store::FieldKind::Memo) continue;
        const QString name = QString::fromStdString(f.name);
        const int position = store::SchemaPosition(f.name);
        const bool shown = position > 0 && s.Field(position).display;
        if (shown) m_lastLabels.insert(name.toUpper(), s.Field(position).title);
        if (visibleFieldsOnly && !shown) continue;
        QString label = m_lastLabels.value(name.toUpper(), name);
        label.replace(u'~', u' ');
        entries.push_back({label, name});
    }
    if (sortFields)
        std::stable_sort(entries.begin(), entries.end(), [](const FieldEntry& a, const FieldEntry& b) {
            return a.label.compare(b.label, Qt::CaseInsensitive) < 0;
        });
    return entries;
}

bool Locator::DoFind() {
    store::Table& table = Table();
    if (!table.IsOpen()) {
        common::Ui().Message("Error", "DataSource does not reference an active DataSet", common::MessageIcon::Error);
        return false;
    }
    LocateDialog dialog(*this, FieldList(), m_context.Window());
    if (!fieldName.isEmpty() && table.FieldIndex(fieldName.toStdString()) >= 0 && dialog.SelectField(fieldName))
        dialog.SearchValue->setText(searchValue);
    else
        dialog.SearchValue->clear();
    dialog.SetDefaultNext(defaultNext);
    dialog.CaseSensitiveCheck->setChecked(caseSensitive);
    dialog.SetMatchType(matchType);
    dialog.setWindowTitle(caption);

    const int result = common::Ui().ShowModal(dialog);

    // However the dialog closed, it leaves its settings for Locate Next.
    matchType = dialog.MatchType();
    caseSensitive = dialog.CaseSensitiveCheck->isChecked();
    searchValue = dialog.SearchValue->text();
    fieldName = dialog.SelectedFieldName();
    return result == QDialog::Accepted;
}

bool Locator::DoFindNext() {
    store::Table& table = Table();
    if (!table.IsOpen()) {
        common::Ui().Message("Warning", "DataSource does not refer to an active table!", common::MessageIcon::Warning);
        return false;
    }
    if (searchValue.isEmpty()) {
        defaultNext = true;
        return DoFind();
    }
    const bool found = FindRecord(false, table, fieldName, caseSensitive, matchType, searchValue);
    if (!found && showMessages && !m_fieldMissing)
        common::Ui().Message("Information", "No more matches found", common::MessageIcon::Information);
    return found;
}

bool Locator::FindRecord(bool fromFirst, store::Table& table, const QString& fieldName, bool caseSensitive,
                                 int matchType, const QString& value) {
    m_fieldMissing = false;
    if (table.CurrentState() != store::Table::State::Browse) table.Post();
    const int field = table.FieldIndex(fieldName.toStdString());
    if (field < 0) {
        m_fieldMissing = true;
        common::Ui().Message("Warning", "Field " + fieldName + " not found.", common::MessageIcon::Warning);
        return false;
    }
    const bool hadCurrent = table.HasCurrent();
    const uint32_t bookmark = hadCurrent ? table.RecNo() : 0;
    const Hourglass hourglass;
    const LocateSearch search(table.Layout(), field, caseSensitive, matchType, value.toStdString());
    const std::optional<uint32_t> found = search.Find(table, fromFirst);
    if (found) {
        table.GoTo(*found);
        return true;
    }
    if (hadCurrent && (!table.HasCurrent() || table.RecNo() != bookmark)) table.GoTo(bookmark);
    return false;
}

}  // namespace find
