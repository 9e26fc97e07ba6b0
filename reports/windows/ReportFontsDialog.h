#pragma once
// Report Fonts: the fonts of a definition's title lines, column headers,
// body and footnotes, each changed through the font dialog and stored into
// the definition at once.

#include <QDialog>
#include <array>

#include "ReportDefinition.h"

class QLineEdit;
class QPushButton;

namespace reports {

class ReportFontsDialog : public QDialog {
    Q_OBJECT

public:
    // The four fonts in the order the dialog shows them.
    static constexpr std::array<FontSlot, 4> kSlots = {FontSlot::Title, FontSlot::ColumnHeader, FontSlot::Body,
                                                       FontSlot::Footnote};

    explicit ReportFontsDialog(ReportDefinition& def, QWidget* parent = nullptr);

    // Handlers; index 0 to 3 in the order of kSlots.
    void ChooseSlotFont(int index);
    void CloseWindow();

    std::array<QLineEdit*, 4> Summaries{};
    std::array<QPushButton*, 4> FontButtons{};
    QPushButton* OkButton = nullptr;

protected:
    void showEvent(QShowEvent* event) override;

private:
    ReportDefinition& m_def;
};

}  // namespace reports
