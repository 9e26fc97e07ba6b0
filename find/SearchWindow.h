#pragma once
// The search window: one grid row per field in which the user types the
// criteria of a level, "&Find More" to start another level (up to ten),
// and "&Ok" to apply them all as the item table's record filter. Numeric
// and date fields take an operator choice (equal, greater, less, range)
// picked from the "..." cell, which also offers the pick-list entries of
// the fields that have one.
//
// It is created once at start and shown again for every search. The
// criteria last applied stay in force until a new search is applied or the
// search is ended: showing the window, clearing it or leaving it with
// "E&xit" changes nothing the main window shows.

#include <QDialog>
#include <optional>

#include "SearchCriteria.h"
#include "WindowLayout.h"

class QPushButton;
class QTableWidget;

namespace common {
class MainContext;
}

namespace find {

class SearchWindow : public QDialog {
    Q_OBJECT

public:
    explicit SearchWindow(common::MainContext& context, QWidget* parent = nullptr);

    void PrepareToShow();
    void RememberPressedCell(int row, int column);
    void ChooseOperatorOfReleasedCell(int row, int column);
    // Collects the criteria of the current level; shows the messages.
    bool SaveFields();
    void ApplySearch();
    // Save As: the criteria collected, this level's with them, kept under
    // a name the user gives, then applied as Ok applies them.
    void SaveAs();
    // Applies criteria made elsewhere (a saved search) without showing the
    // window; when nothing matches the user is told and the search ended.
    void ApplyCriteria(const std::vector<SearchCriterion>& criteria);
    void AddLevel();
    void ClearCriteria();
    void ClearSearch();
    void CloseWindow();
    void ShowHelp();
    // Applies the criteria collected so far; false when nothing matched
    // (the search is then ended).
    bool Doit();

    // The edit template of a field's criterion cell under its operator choice.
    QString CellTemplate(int position) const;
    int OperatorChoice(int position) const { return m_choices[size_t(position - 1)]; }
    const SearchCriteria& Criteria() const { return m_criteria; }
    static QString LevelTitle(int level);

    QPushButton* OkButton = nullptr;
    QPushButton* ExitButton = nullptr;
    QPushButton* ClearButton = nullptr;
    QPushButton* MoreButton = nullptr;
    QPushButton* HelpButton = nullptr;
    QPushButton* SaveAsButton = nullptr;
    QTableWidget* SearchGrid = nullptr;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void SetUpGrid();
    // The text of a column in the title row.
    void SetTitle(int column, const QString& text);
    void EmptyCriterionCells();
    void ChooseOption(int position);
    void ApplyGridSizes();
    // Ok's run once the criteria are collected.
    void RunCollected();
    // Applies the collected criteria: whether anything matched, nothing
    // when the engine refused (the user is told).
    std::optional<bool> Run();
    void TellNoMatches();

    common::MainContext& m_context;
    SearchCriteria m_criteria;
    OperatorChoices m_choices{};
    common::DesignLayout m_design;
    std::optional<std::pair<int, int>> m_pressedCell;
};

}  // namespace find
