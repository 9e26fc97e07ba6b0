#pragma once
// The small list dialog of the search window: the operator choices of a
// numeric or date field, or the pick-list entries of a text field, under
// the field's title. The caller reads the selected line after "&Ok".

#include <QDialog>

class QLabel;
class QListWidget;
class QPushButton;

namespace find {

class SearchOperatorList : public QDialog {
    Q_OBJECT

public:
    // selected: the line selected at first, -1 for none.
    SearchOperatorList(const QString& fieldTitle, const QStringList& entries, int selected, QWidget* parent = nullptr);

    // -1 when nothing is selected.
    int SelectedRow() const;
    QString SelectedText() const;

    void ChooseOperator();
    void Cancel();

    QLabel* FieldNameLabel = nullptr;
    QListWidget* OptionsList = nullptr;
    QPushButton* OkButton = nullptr;
    QPushButton* CancelButton = nullptr;

protected:
    void showEvent(QShowEvent* event) override;
};

}  // namespace find
