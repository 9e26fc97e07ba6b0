#pragma once
// The locate component: created by the main window at start and bound to
// its item table, it remembers the last field, value and match settings,
// runs the locate dialog and repeats the last search ("Locate Next").

#include <QString>

namespace common {
class MainContext;
}

namespace find {

class TMyLocateDialog {
public:
    explicit TMyLocateDialog(common::MainContext& context);

    // Runs the dialog; true when a record was found.
    bool DoFind();
    // Repeats the last search from the current record.
    bool DoFindNext();

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
};

}  // namespace find
