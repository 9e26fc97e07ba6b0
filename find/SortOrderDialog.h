#pragma once
// The sort order dialog: four levels, each a drop-down list of "<NONE>" and
// the field titles, so that a list's index is the sort position it stands
// for. Accepting rebuilds the item table's sort tag from the new positions
// while the program has the table to itself and writes the settings file at
// once; the table is back open shared whatever happens.

#include <QDialog>
#include <array>

class QComboBox;
class QGroupBox;
class QLabel;
class QPushButton;

namespace common {
class MainContext;
}

namespace find {

class SortOrderDialog : public QDialog {
    Q_OBJECT

public:
    explicit SortOrderDialog(common::MainContext& context, QWidget* parent = nullptr);

    void PrepareToShow();
    void ApplySortOrder();
    void Cancel();

    static const char* const kInUseMessage;
    static const char* const kFailedMessage;

    // ComboBox1 to ComboBox4, primary first.
    std::array<QComboBox*, 4> ComboBox{};
    std::array<QLabel*, 4> Label{};
    std::array<QGroupBox*, 4> Frame{};
    QPushButton* OkButton = nullptr;
    QPushButton* CancelButton = nullptr;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void FillFieldLists();

    common::MainContext& m_context;
};

}  // namespace find
