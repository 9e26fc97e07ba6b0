#pragma once
// Report Definition: edits the current report definition (name, width,
// fonts, titles, options, number of body lines, layout, margins) and saves
// it to the report definition file on Update, as a new record (new mode) or
// over the record it was read from (modify mode); Delete removes that
// record. The report list of the selection dialog is kept in step with the
// file and shows the saved definition selected.

#include <QDialog>
#include <QString>
#include <array>

#include "ReportDefinition.h"

class QCheckBox;
class QLineEdit;
class QListWidget;
class QPushButton;
class QRadioButton;

namespace reports {

enum class ReportMode { New, Modify };

class ReportDefinitionDialog : public QDialog {
    Q_OBJECT

public:
    // position: the record the current definition was read from (modify
    // mode). reportList may be null.
    ReportDefinitionDialog(ReportMode mode, int position, QListWidget* reportList, QWidget* parent = nullptr);

    ReportMode Mode() const { return m_mode; }
    int Position() const { return m_position; }

    // Handlers.
    void StoreName();
    void StoreLineCount();  // also run when a margin edit loses the focus
    void EnableSecondLevel();
    void ChangeWidth(int width);
    void EditFonts();
    void EditLayout();
    void SaveReport();
    void DeleteReport();
    void Cancel();
    void ShowHelp();

    QLineEdit* ReportName = nullptr;
    QRadioButton* Width90 = nullptr;
    QRadioButton* Width120 = nullptr;
    QRadioButton* Width150 = nullptr;
    QLineEdit* TitleFontSummary = nullptr;
    QLineEdit* HeaderFontSummary = nullptr;
    QLineEdit* BodyFontSummary = nullptr;
    QLineEdit* FootnoteFontSummary = nullptr;
    QPushButton* SetFontsButton = nullptr;
    QLineEdit* Title1 = nullptr;
    QLineEdit* Title2 = nullptr;
    QLineEdit* Title3 = nullptr;
    QCheckBox* ColumnHeaders = nullptr;
    QCheckBox* PageNumbers = nullptr;
    QCheckBox* UseTotals = nullptr;
    QCheckBox* HorizontalLines = nullptr;
    QCheckBox* VerticalLines = nullptr;
    QCheckBox* DateOnPages = nullptr;
    QCheckBox* Landscape = nullptr;
    QCheckBox* GroupLevel1 = nullptr;
    QCheckBox* GroupLevel2 = nullptr;
    QCheckBox* PrintPhotos = nullptr;
    QLineEdit* NumberOfLines = nullptr;
    QPushButton* SpecifyButton = nullptr;
    QLineEdit* TopMargin = nullptr;
    QLineEdit* BottomMargin = nullptr;
    QLineEdit* LeftMargin = nullptr;
    QLineEdit* RightMargin = nullptr;
    QPushButton* UpdateButton = nullptr;
    QPushButton* HelpButton = nullptr;
    QPushButton* DeleteButton = nullptr;
    QPushButton* CancelButton = nullptr;

protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void BuildControls();
    void LoadControls();
    void ShowFonts();
    void ShowWidth();
    // The number of lines, refused with a message when it is not 0 to 12.
    bool CheckLines();
    // The four margins, refused with a message when one is not a number,
    // is negative, or when they leave nothing of the page to print on.
    bool CheckMargins(std::array<double, 4>& margins);
    void ReloadList(int select);

    ReportMode m_mode;
    int m_position;
    QListWidget* m_list;
    QString m_openingName;
};

}  // namespace reports
