#pragma once
// What the Backup and Restore dialogs ask of the main window beyond the
// item table and the search state: the steps around a copy that belong to
// other windows. The main window fills them in; a step left empty is
// skipped.

#include <functional>
#include <string>

namespace exchange {

struct MainWindowSteps {
    // The item table opened shared again after sole use, with the sort tag
    // active, the search filter as the search flag says and the grid set
    // up again. Engine errors are thrown.
    std::function<void()> reopenShared;
    // The restored data file opened as the current database: the setting,
    // the caption, the sort tag built afresh, the grid. False when it could
    // not be opened: the previous table is open again and the reason has
    // been shown.
    std::function<bool(const std::string& dataFile)> openRestored;
    // The item editor's pick lists written to their files; false when one
    // could not be written.
    std::function<bool()> savePickLists;
    // The pick lists read again from their files into the editor and the grid.
    std::function<void()> reloadPickLists;
    // The report list of the report selection dialog read again.
    std::function<void()> reloadReportList;
};

}  // namespace exchange
