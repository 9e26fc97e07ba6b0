#pragma once
// The colour configuration: edits a private copy of one colour group (or of
// the main window's group for all five at once) through one button per
// colour and a list of predefined combinations, with sample controls that
// always show the working colours. Ok stores the copy where the target says;
// Cancel forgets it.

#include <QDialog>
#include <vector>

#include "ColorGroup.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QRadioButton;

namespace appearance {

class ColorConfigDialog : public QDialog {
    Q_OBJECT

public:
    // Target 1 to 5: the main, edit, search, report or configure window
    // group; 6: every group, starting from the main window's.
    explicit ColorConfigDialog(int target, QWidget* parent = nullptr);

    int Target() const { return m_target; }
    const common::ColorGroup& Working() const { return m_working; }

    // Handlers.
    void ChooseSlotColor(common::ColorSlot slot);
    void ApplyPreset(int index);  // 0 is the empty entry
    void StoreColors();
    void Cancel();

    // The button that changes a slot.
    QPushButton* ButtonFor(common::ColorSlot slot) const;

    QRadioButton* RadioSample = nullptr;
    QCheckBox* CheckSample = nullptr;
    QLineEdit* EditSample = nullptr;
    QComboBox* ComboSample = nullptr;
    QListWidget* ListSample = nullptr;
    QComboBox* PresetCombo = nullptr;
    QLabel* PresetLabel = nullptr;
    std::vector<QLabel*> SectionLabels;  // "Window" ... "List Box"
    QPushButton* OkButton = nullptr;
    QPushButton* CancelButton = nullptr;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void RecolorSamples();

    int m_target;
    common::ColorGroup m_working;
    std::vector<std::pair<common::ColorSlot, QPushButton*>> m_buttons;
};

}  // namespace appearance
