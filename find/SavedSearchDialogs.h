#pragma once
// Saved searches in the windows: the name dialog (Save As in the search
// window, Rename), the list of saved searches (apply, rename, delete), and
// the steps they share. The searches live in the settings record and are
// written to the settings file at once; when the file cannot be written the
// change is taken back and the user told.

#include <QDialog>
#include <optional>
#include <vector>

#include "SearchCriteria.h"

class QLineEdit;
class QListWidget;
class QPushButton;

namespace common {
class MainContext;
}

namespace find {

class SearchWindow;

// Asks for a search's name; OK refuses a name that cannot be one.
class SearchNameDialog : public QDialog {
    Q_OBJECT

public:
    SearchNameDialog(const QString& title, const QString& name, QWidget* parent = nullptr);
    QLineEdit* NameBox() const { return m_name; }
    QString Name() const;
    void Check();

protected:
    void showEvent(QShowEvent* event) override;

private:
    QLineEdit* m_name = nullptr;
};

namespace saved_searches {

// Index in the settings' list of the search named so (letter case aside).
std::optional<size_t> Find(const QString& name);
// Keeps the criteria under the name (asking before it replaces another),
// then writes the settings file. False when nothing was kept.
bool Keep(const QString& name, const std::vector<SearchCriterion>& criteria);
// Asks for a name (title, starting text) until one is free or replacing
// is agreed to; nothing when cancelled.
std::optional<QString> AskName(const QString& title, const QString& start, QWidget* parent,
                               std::optional<size_t> renaming = std::nullopt);
// Runs the saved search through the search window; says why it cannot.
void Apply(common::MainContext& context, SearchWindow& window, const QString& name);

extern const char* const kNotWrittenMessage;

}  // namespace saved_searches

// The saved searches with what can be done to them.
class SavedSearchesDialog : public QDialog {
    Q_OBJECT

public:
    SavedSearchesDialog(common::MainContext& context, SearchWindow& window, QWidget* parent = nullptr);

    QListWidget* List() const { return m_list; }
    QPushButton* ApplyButton = nullptr;
    QPushButton* RenameButton = nullptr;
    QPushButton* DeleteButton = nullptr;
    QPushButton* CloseButton = nullptr;

    void ApplyChosen();
    void RenameChosen();
    void DeleteChosen();

protected:
    void showEvent(QShowEvent* event) override;

private:
    void Fill(int current);
    QString Chosen() const;

    common::MainContext& m_context;
    SearchWindow& m_window;
    QListWidget* m_list = nullptr;
};

}  // namespace find
