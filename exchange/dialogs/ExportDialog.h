#pragma once
// The export dialog: the user orders the item fields and says which go out,
// whether all records or only those of the search in force, and whether to
// a delimited text file (with or without a title line) or a new dBASE
// table; Start Export asks for the file and runs the export engine with a
// progress bar that a Cancel button can stop. The field list reaches the
// settings when the export starts and when the dialog closes.

#include <vector>

#include "RunDialog.h"

class QCheckBox;
class QLabel;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QTableWidget;

namespace common {
class MainContext;
}

namespace exchange {

class ExportDialog : public RunDialog {
    Q_OBJECT

public:
    explicit ExportDialog(common::MainContext& context, QWidget* parent = nullptr);
    ~ExportDialog() override;

    // Handlers. Rows and columns are those of the field list (row 0 is the
    // first field; the titles "FIELD" and "EXPORT IT" are its header).
    void PrepareToShow();
    void ToggleFieldExported(int row, int column);
    void MoveFieldUp();
    void MoveFieldDown();
    void RestoreDefaultOrder();
    void ChooseTextFile();
    void ChooseDbfFile();
    void ChooseWorkbookFile();
    void StoreFirstRowChoice();
    void StartExport();
    void CloseWindow();
    void ShowHelp();
    // Puts the list's order and Yes/No into the export settings.
    void StoreList();
    // The fields to export, as schema positions in list order.
    std::vector<int> SelectedFields() const;

    QTableWidget* FieldList = nullptr;
    QLabel* FieldLabel = nullptr;
    QLabel* OrderingLabel = nullptr;
    QPushButton* UpButton = nullptr;
    QPushButton* DownButton = nullptr;
    QPushButton* DefaultsButton = nullptr;
    QLabel* NotesTitle = nullptr;
    QLabel* NotesText = nullptr;
    QLabel* WhatLabel = nullptr;
    QRadioButton* EntireOption = nullptr;
    QRadioButton* SearchOption = nullptr;
    QLabel* HowLabel = nullptr;
    QRadioButton* TextOption = nullptr;
    QRadioButton* DbfOption = nullptr;
    QRadioButton* WorkbookOption = nullptr;
    QCheckBox* FirstRowCheck = nullptr;
    QPushButton* StartButton = nullptr;
    QPushButton* ExitButton = nullptr;
    QPushButton* HelpButton = nullptr;
    QLabel* ProgressLabel = nullptr;
    QProgressBar* ProgressBar = nullptr;
    QPushButton* CancelButton = nullptr;

protected:
    void showEvent(QShowEvent* event) override;
    // Stores the list and the file kind.
    void StoreOnClose() override;

private:
    void FillList();
    void FitList();
    void ApplyGroupColors();
    void SetRow(int row, int position, bool exported);
    enum class FileKind { Text, Dbase, Workbook };
    void ShowFileKind(FileKind kind);
    FileKind ChosenKind() const;
    void RunExport(FileKind kind, const QString& path, const std::vector<int>& fields);

    common::MainContext& m_context;
};

}  // namespace exchange
