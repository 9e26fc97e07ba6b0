#pragma once
// The Restore dialog: the user picks what to restore (a database, the five
// pick lists or the report definitions), then the backup copy in a file
// dialog, and the copy comes back into the program's folder. A restored
// database becomes the open database with its sort tag built afresh and no
// search in force; restored lists and report definitions are read again
// by the windows that show them. A restore that fails leaves everything as
// it was, the open database and its search included.

#include "CopyDialog.h"
#include "UiServices.h"

namespace exchange {

class RestoreDialog : public CopyDialog {
    Q_OBJECT

public:
    RestoreDialog(common::MainContext& context, MainWindowSteps steps, QWidget* parent = nullptr);
    ~RestoreDialog() override;

    void StartRestore();
    // The open-file dialog for each kind of restore.
    static common::FileRequest FileRequestFor(CopyKind kind);

private:
    void RestoreDatabase(const RestoreRequest& request);
    void RestoreLists(const RestoreRequest& request);
    void RestoreReports(const RestoreRequest& request);
};

}  // namespace exchange
