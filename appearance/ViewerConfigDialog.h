#pragma once
// The viewer configuration: a notebook of six pages on which the user picks
// the grid's title font, colours and alignment, its lines and editing, and
// which fields it shows, how wide, in which order and under which titles.
// Fonts, colours and check boxes reach the settings at once; the four lists
// are stored when the dialog closes, however it closes, and the grid then
// takes everything. There is no cancel.

#include <QDialog>
#include <array>
#include <vector>

class QCheckBox;
class QFrame;
class QGridLayout;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QRadioButton;
class QTabWidget;
class QTableWidget;

namespace common {
class MainContext;
}

namespace appearance {

class ViewerConfigDialog : public QDialog {
    Q_OBJECT

public:
    enum Page { TitlePage, LookPage, ShowPage, WidthsPage, OrderPage, NamesPage };
    static constexpr int kPageCount = 6;

    explicit ViewerConfigDialog(common::MainContext& context, QWidget* parent = nullptr);

    // The help keyword of a page.
    static QString HelpKeyword(int page);

    // Handlers.
    void ChooseTitleFont();
    void ChooseTitleColor();
    void ChooseTitleAlignment(int alignment);  // 1 left, 2 centre, 3 right
    void ChooseCellColor();
    void ChooseCellFont();
    void ToggleFieldShown(int row, int column);
    void MoveFieldUp();
    void MoveFieldDown();
    void RestoreDefaultOrder();
    void ShowHelp();
    void CloseWindow();
    // Stores the lists and applies the settings to the grid; runs once, when
    // the dialog closes.
    void StoreOnClose();

    // Controls, in page order.
    QTabWidget* Notebook = nullptr;
    QLineEdit* TitleFontEdit = nullptr;
    QPushButton* TitleFontButton = nullptr;
    QFrame* TitleColorSample = nullptr;
    QPushButton* TitleColorButton = nullptr;
    std::array<QRadioButton*, 3> AlignmentRadios{};
    QCheckBox* ShowTitlesCheck = nullptr;
    QCheckBox* ColumnLinesCheck = nullptr;
    QCheckBox* RowLinesCheck = nullptr;
    QCheckBox* RowIndicatorCheck = nullptr;
    QCheckBox* FieldEditingCheck = nullptr;
    QFrame* CellColorSample = nullptr;
    QPushButton* CellColorButton = nullptr;
    QLineEdit* CellFontEdit = nullptr;
    QPushButton* CellFontButton = nullptr;
    QTableWidget* ShowGrid = nullptr;
    QTableWidget* WidthGrid = nullptr;
    QListWidget* OrderList = nullptr;
    QPushButton* UpButton = nullptr;
    QPushButton* DownButton = nullptr;
    QPushButton* DefaultsButton = nullptr;
    QTableWidget* NameGrid = nullptr;
    QPushButton* ExitButton = nullptr;
    QPushButton* HelpButton = nullptr;

    void done(int result) override;

protected:
    void showEvent(QShowEvent* event) override;

private:
    // A bold section heading across the page, coloured with the titles.
    void AddHeading(QGridLayout& grid, const QString& text, int row);
    QWidget* BuildTitlePage();
    QWidget* BuildLookPage();
    QWidget* BuildShowPage();
    QWidget* BuildWidthsPage();
    QWidget* BuildOrderPage();
    QWidget* BuildNamesPage();
    void FillControls();
    void FitLists();
    void ApplyGroupColors();
    void ApplyTitleEdit(int row, int column);
    void SwapOrderRows(int a, int b);

    common::MainContext& m_context;
    bool m_closed = false;
    bool m_filling = false;
    std::vector<QLabel*> m_majorTitles;
    std::vector<QLabel*> m_minorTitles;
};

}  // namespace appearance
