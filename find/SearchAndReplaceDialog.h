#pragma once
// Search and replace: sets one field to a new value in every record of the
// item table whose field equals a given value, optionally asking before
// each change. The run needs the table to itself, walks it in physical
// order with the sort tag dropped (so a change of a sort field cannot make
// the walk skip or repeat records), ends a search in force for the run and
// switches it on again, and leaves the table open shared with the tag
// rebuilt on every path.

#include <QDialog>
#include <QElapsedTimer>
#include <optional>

#include "EditTemplate.h"
#include "GlobalReplace.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace common {
class MainContext;
}

namespace find {

class SearchAndReplaceDialog : public QDialog {
    Q_OBJECT

public:
    explicit SearchAndReplaceDialog(common::MainContext& context, QWidget* parent = nullptr);

    void PrepareToShow();
    void ChooseField(int index);
    void StartReplacing();
    void Cancel();

    // The two texts as the boxes define them (the literals of a mask
    // included), before blanks are removed.
    QString SearchText() const;
    QString ReplacementText() const;
    const GlobalReplace::Counters& Count() const { return m_replace.Count(); }

    static const char* const kInUseMessage;
    static const char* const kRunFailedMessage;
    static const char* const kCompleteMessage;

    QLabel* FieldLabel = nullptr;
    QComboBox* FieldCombo = nullptr;
    QLabel* SearchLabel = nullptr;
    QLineEdit* SearchEdit = nullptr;
    QLabel* ReplaceLabel = nullptr;
    QLineEdit* ReplaceEdit = nullptr;
    QCheckBox* ConfirmCheck = nullptr;
    QLabel* ProcessedLabel = nullptr;
    QLabel* FoundLabel = nullptr;
    QLabel* ChangedLabel = nullptr;
    QLabel* ProcessedCount = nullptr;
    QLabel* FoundCount = nullptr;
    QLabel* ChangedCount = nullptr;
    QPushButton* StartButton = nullptr;
    QPushButton* CancelButton = nullptr;

protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void Run();
    void Refuse(const GlobalReplace::Refusal& refusal);
    void DrawCounters(const GlobalReplace::Counters& count, bool always);
    QString BoxText(const QLineEdit& edit) const;

    common::MainContext& m_context;
    GlobalReplace m_replace;
    std::optional<common::EditTemplate> m_template;  // of number and date fields
    QElapsedTimer m_sinceDrawn;
};

}  // namespace find
