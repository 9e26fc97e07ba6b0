#pragma once
// The locate dialog: the field to search on (by its display label), the
// match rules and the value, and the buttons that search from the first
// record or after the current one. A record found closes the dialog as
// accepted; the component reads the settings back however it closes.

#include <QDialog>
#include <vector>

#include "Locator.h"

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace find {

class LocateDialog : public QDialog {
    Q_OBJECT

public:
    LocateDialog(Locator& component, std::vector<Locator::FieldEntry> fields,
                 QWidget* parent = nullptr);

    void FindFirst();
    void FindNext();
    void StartNewValue();
    void SuspendDefaultButtons();
    void RestoreDefaultButton();

    // The settings as the dialog shows them.
    int MatchType() const;
    void SetMatchType(int type);
    // The first field whose label is the list's text; empty when none.
    QString SelectedFieldName() const;
    // Selects the field's label; false when the field is not listed.
    bool SelectField(const QString& name);
    void SetDefaultNext(bool next);

    QGroupBox* FieldGroup = nullptr;
    QGroupBox* TypeGroup = nullptr;
    QGroupBox* ValueGroup = nullptr;
    QComboBox* FieldNameComboBox = nullptr;
    QCheckBox* CaseSensitiveCheck = nullptr;
    QRadioButton* ExactMatchRadio = nullptr;
    QRadioButton* PartialBeginningRadio = nullptr;
    QRadioButton* PartialAnywhereRadio = nullptr;
    QLineEdit* SearchValue = nullptr;
    QPushButton* FirstButton = nullptr;
    QPushButton* NextButton = nullptr;
    QPushButton* CancelButton = nullptr;

protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void Search(bool fromFirst);

    Locator& m_component;
    std::vector<Locator::FieldEntry> m_fields;
    bool m_defaultNext = true;
};

}  // namespace find
