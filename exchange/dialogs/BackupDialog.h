#pragma once
// The Backup dialog: the user picks what to back up (the open database's
// data file, the five pick lists or the report definitions) and a folder
// to back up to, and Start Back Up copies it there. A database backup
// takes the item table for sole use while it copies and gives it back as
// it was, search and all.

#include "CopyDialog.h"

class QLineEdit;

namespace exchange {

class BackupDialog : public CopyDialog {
    Q_OBJECT

public:
    BackupDialog(common::MainContext& context, MainWindowSteps steps, QWidget* parent = nullptr);
    ~BackupDialog() override;

    void ChooseFolder();
    void StartBackup();

    QLabel* WhereLabel = nullptr;
    QFrame* WherePanel = nullptr;
    QLineEdit* FolderEdit = nullptr;  // the folder the copies go to
    QPushButton* ChooseFolderButton = nullptr;

protected:
    void ApplyGroupColors() override;
};

}  // namespace exchange
