#pragma once
// Edit Selected: the fields to set on every selected item, each with the
// one value it takes. A field is chosen by ticking it (typing a value ticks
// it). OK checks every chosen value by the item editor's rules (with its
// messages) and the engine's before the dialog closes, so that the change
// itself cannot refuse a value halfway.

#include <QDialog>
#include <array>

#include "BulkEdit.h"
#include "ItemSchema.h"

class QCheckBox;
class QLabel;
class QLineEdit;

namespace store {
class Table;
}

namespace shell {

class EditSelectedDialog : public QDialog {
    Q_OBJECT

public:
    EditSelectedDialog(store::Table& table, size_t count, QWidget* parent = nullptr);

    // Field position 1 to 22.
    QCheckBox* Choice(int position) const { return m_choices[size_t(position - 1)]; }
    QLineEdit* Value(int position) const { return m_values[size_t(position - 1)]; }
    QLabel* Heading() const { return m_heading; }

    // OK: accepts when every chosen value fits its field; otherwise says
    // which does not and stays open.
    void Check();
    // The chosen fields with their values, once accepted.
    const std::vector<find::FieldValue>& Values() const { return m_result; }

    static const char* const kNothingChosenMessage;

protected:
    void showEvent(QShowEvent* event) override;

private:
    store::Table& m_table;
    QLabel* m_heading = nullptr;
    std::array<QCheckBox*, store::kItemFieldCount> m_choices{};
    std::array<QLineEdit*, store::kItemFieldCount> m_values{};
    std::vector<find::FieldValue> m_result;
};

}  // namespace shell
