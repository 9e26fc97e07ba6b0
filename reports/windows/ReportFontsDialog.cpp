#include "ReportFontsDialog.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "ReportDialogSupport.h"

namespace reports {

ReportFontsDialog::ReportFontsDialog(ReportDefinition& def, QWidget* parent) : QDialog(parent), m_def(def) {
    setWindowTitle("Report Fonts");
    auto* root = new QVBoxLayout(this);
    auto* grid = new QGridLayout;
    const char* captions[4] = {"Titles Font", "Column Header Font", "Report Body Font", "Footnote Font"};
    for (int i = 0; i < 4; ++i) {
        auto* summary = new QLineEdit(this);
        summary->setReadOnly(true);
        summary->setFocusPolicy(Qt::NoFocus);
        summary->setMinimumWidth(200);
        summary->setText(FontSummary(m_def.Font(kSlots[size_t(i)])));
        auto* button = new QPushButton("New Font", this);
        grid->addWidget(new QLabel(captions[i], this), i, 0);
        grid->addWidget(summary, i, 1);
        grid->addWidget(button, i, 2);
        Summaries[size_t(i)] = summary;
        FontButtons[size_t(i)] = button;
        connect(button, &QPushButton::clicked, this, [this, i] { ChooseSlotFont(i); });
    }
    root->addLayout(grid);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    OkButton = new QPushButton("&Ok", this);
    OkButton->setDefault(true);
    buttons->addWidget(OkButton);
    root->addLayout(buttons);
    connect(OkButton, &QPushButton::clicked, this, [this] { CloseWindow(); });
    layout()->setSizeConstraint(QLayout::SetFixedSize);
}

void ReportFontsDialog::showEvent(QShowEvent* event) {
    PrepareReportDialog(*this);
    QDialog::showEvent(event);
}

void ReportFontsDialog::ChooseSlotFont(int index) {
    ReportFont& font = m_def.Font(kSlots[size_t(index)]);
    const auto chosen = common::Ui().ChooseFont(ToFontChoice(font), true);
    if (!chosen) return;
    StoreFontChoice(*chosen, font);
    Summaries[size_t(index)]->setText(FontSummary(font));
}

void ReportFontsDialog::CloseWindow() { accept(); }

}  // namespace reports
