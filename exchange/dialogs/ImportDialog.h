#pragma once
// The import dialog: the item fields stand fixed in the first column, the
// source fields beside them, and the user moves the source fields up and
// down until each sits beside the item field that should receive it, and
// switches off those to leave out. Start Import runs the import engine,
// drawing the count of records as it grows; Cancel stops it, keeping what
// was imported.

#include <QStringList>
#include <vector>

#include "RunDialog.h"

class QCheckBox;
class QLabel;
class QPushButton;
class QTableWidget;

namespace common {
class MainContext;
}

namespace exchange {

enum class SourceKind { Text, Dbase };

class ImportDialog : public RunDialog {
    Q_OBJECT

public:
    // names: the source field names the examination found (1 to 32).
    ImportDialog(common::MainContext& context, SourceKind kind, const QString& path, const QStringList& names,
              QWidget* parent = nullptr);
    ~ImportDialog() override;

    // Handlers. Rows are those of the grid (row 0 beside the first item
    // field; the column titles are its header).
    void PrepareToShow();
    void ToggleFieldImported(int row, int column);
    void MoveFieldUp();
    void MoveFieldDown();
    void StoreSkipFirstChoice();
    void StartImport();
    void CloseWindow();
    void ShowHelp();
    // Per source field, the item field (1 to 22) beside its name's first
    // row with USE "Yes", or 0.
    std::vector<int> FieldMap() const;

    QTableWidget* Grid = nullptr;
    QLabel* FieldLabel = nullptr;
    QLabel* AlignmentLabel = nullptr;
    QPushButton* UpButton = nullptr;
    QPushButton* DownButton = nullptr;
    QLabel* NoteText = nullptr;
    QLabel* ImportLabel = nullptr;
    QLabel* CountLabel = nullptr;
    QLabel* CountValue = nullptr;
    QCheckBox* SkipFirstCheck = nullptr;
    QPushButton* StartButton = nullptr;
    QPushButton* CancelButton = nullptr;
    QPushButton* ExitButton = nullptr;
    QPushButton* HelpButton = nullptr;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void FitGrid();
    void DrawCount(uint64_t count);

    common::MainContext& m_context;
    SourceKind m_kind;
    QString m_path;
    QStringList m_names;
};

}  // namespace exchange
