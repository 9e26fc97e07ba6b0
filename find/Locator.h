#pragma once
// The locate component: created by the main window at start and bound to
// its item table, it remembers the last field, value and match settings,
// runs the locate dialog and repeats the last search ("Locate Next").
// Its settings last for the run; they are not written to the settings file.

#include <QHash>
#include <QString>
#include <vector>

namespace common {
class MainContext;
}
namespace store {
class Table;
}

namespace find {

class Locator {
public:
    struct FieldEntry {
        QString label;  // display label: field title, "~" shown as a blank
        QString name;   // item-table field name
    };

    explicit Locator(common::MainContext& context);

    // Runs the dialog; true when a record was found.
    bool DoFind();
    // Repeats the last search from the current record.
    bool DoFindNext();

    // Searches one field of the table, from the first record or after the
    // current one, in the active order and through the record filter. The
    // record found becomes current; otherwise the current record stays.
    bool FindRecord(bool fromFirst, store::Table& table, const QString& fieldName, bool caseSensitive, int matchType,
                    const QString& value);
    // The last FindRecord named no field (and has said so).
    bool FieldWasMissing() const { return m_fieldMissing; }

    // The fields the dialog lists, in the order it lists them.
    std::vector<FieldEntry> FieldList();
    store::Table& Table();

    // Settings, with the values the main window gives them.
    QString caption = "Locate Field Value";
    int matchType = 1;  // 0 exact, 1 partial at the beginning, 2 partial anywhere
    bool caseSensitive = false;
    bool sortFields = true;
    bool defaultNext = true;
    bool visibleFieldsOnly = false;
    bool showMessages = true;
    QString fieldName;
    QString searchValue;

private:
    common::MainContext& m_context;
    // The label each field had when it was last shown in the grid: a field
    // hidden since keeps it.
    QHash<QString, QString> m_lastLabels;
    bool m_fieldMissing = false;
};

}  // namespace find
