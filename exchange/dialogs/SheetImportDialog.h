#pragma once
// The import of a spreadsheet: a workbook's sheet or a CSV file. The dialog
// reads the first rows at once, matches each column to an item field by its
// header (the user changes any match), and shows the first rows as they
// will be stored. Start Import reads and converts the whole source first and
// lists every problem with its row and column; when some rows cannot be
// imported the user is asked whether to import the others. The rows go into
// the table together: a failure or Cancel leaves the table as it was.

#include <QString>
#include <vector>

#include "RunDialog.h"
#include "SheetImport.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QListWidget;
class QProgressBar;
class QPushButton;
class QTableWidget;

namespace common {
class MainContext;
}

namespace exchange {

class SheetImportDialog : public RunDialog {
    Q_OBJECT

public:
    SheetImportDialog(common::MainContext& context, const QString& path, QWidget* parent = nullptr);
    ~SheetImportDialog() override;

    // Whether the source could be read at all; when not, why.
    bool Readable() const { return m_sample.ok; }
    QString Problem() const { return QString::fromStdString(m_sample.message); }

    // Handlers.
    void PrepareToShow();
    // The sheet, separator, encoding or header row changed: the first rows
    // are read again and the columns matched by their headers again.
    void ReadSource();
    // A match or the decimal mark changed: the preview is drawn again.
    void ShowPreview();
    void StartImport();
    void CloseWindow();
    void ShowHelp();

    // The import as the dialog's choices describe it.
    SheetImportRequest Request() const;

    QLabel* FileLabel = nullptr;
    QComboBox* SheetChoice = nullptr;
    QComboBox* SeparatorChoice = nullptr;
    QComboBox* EncodingChoice = nullptr;
    QComboBox* DecimalChoice = nullptr;
    QCheckBox* HeaderCheck = nullptr;
    QTableWidget* ColumnGrid = nullptr;   // column, the item field it goes to, its first value
    QTableWidget* PreviewGrid = nullptr;  // the first rows as they will be stored
    QListWidget* ProblemList = nullptr;
    QLabel* SummaryLabel = nullptr;
    QProgressBar* ProgressBar = nullptr;
    QPushButton* StartButton = nullptr;
    QPushButton* CancelButton = nullptr;
    QPushButton* CloseButton = nullptr;
    QPushButton* HelpButton = nullptr;

    // The item field chooser of a column's row (0: not imported).
    QComboBox* FieldChoice(int column) const;

protected:
    void showEvent(QShowEvent* event) override;

private:
    std::vector<int> Map() const;
    void FillColumns();
    void FitGrids();
    // Runs the engine over the whole source; false when it did not end.
    bool Run(SheetImportRequest request, SheetImportResult& result);
    void ListProblems(const SheetImportResult& result, const SheetImportRequest& request);

    common::MainContext& m_context;
    QString m_path;
    bool m_workbook = false;
    SheetSample m_sample;
    bool m_filling = false;  // no preview while the controls are being set
};

}  // namespace exchange
