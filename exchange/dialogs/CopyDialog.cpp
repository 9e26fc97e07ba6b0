#include "CopyDialog.h"

#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "MainContext.h"
#include "Settings.h"
#include "UiServices.h"
#include "WindowLayout.h"

namespace exchange {
namespace {

constexpr int kProgressSteps = 1000;

}  // namespace

CopyDialog::CopyDialog(common::MainContext& context, MainWindowSteps steps, QWidget* parent, const QString& caption,
                       const QString& heading, const std::array<QString, 3>& options, const QString& startCaption)
    : RunDialog(parent ? parent : context.Window()), m_context(context), m_steps(std::move(steps)) {
    setWindowTitle(caption);
    auto* choices = new QVBoxLayout;
    DatabaseOption = new QRadioButton(options[0], this);
    ListsOption = new QRadioButton(options[1], this);
    ReportsOption = new QRadioButton(options[2], this);
    for (QRadioButton* option : {DatabaseOption, ListsOption, ReportsOption}) choices->addWidget(option);
    DatabaseOption->setChecked(true);
    WhatPanel = NewPanel(WhatLabel, heading, choices);

    ProgressLabel = new QLabel("Progress", this);
    ProgressBar = new QProgressBar(this);
    ProgressBar->setRange(0, kProgressSteps);
    ProgressBar->setValue(0);
    ProgressBar->setTextVisible(false);
    StartButton = new QPushButton(startCaption, this);
    StartButton->setDefault(true);
    CancelButton = new QPushButton("&Cancel", this);
    HelpButton = new QPushButton("&Help", this);
    connect(CancelButton, &QPushButton::clicked, this, [this] { reject(); });
    connect(HelpButton, &QPushButton::clicked, this, [this] { ShowHelp(); });
}

CopyDialog::~CopyDialog() = default;

QFrame* CopyDialog::NewPanel(QLabel*& heading, const QString& title, QLayout* content) {
    auto* panel = new QFrame(this);
    panel->setFrameShape(QFrame::StyledPanel);
    panel->setFrameShadow(QFrame::Raised);
    heading = new QLabel(title, panel);
    QFont font = heading->font();
    font.setBold(true);
    heading->setFont(font);
    m_headings.push_back(heading);
    m_panels.push_back(panel);
    auto* layout = new QVBoxLayout(panel);
    layout->addWidget(heading);
    layout->addLayout(content);
    return panel;
}

void CopyDialog::LayOut(const std::vector<QFrame*>& panels) {
    auto* root = new QVBoxLayout(this);
    root->setContentsMargins(10, 10, 10, 10);
    for (QFrame* panel : panels) root->addWidget(panel);
    auto* progress = new QHBoxLayout;
    progress->addWidget(ProgressLabel);
    progress->addWidget(ProgressBar, 1);
    root->addLayout(progress);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(StartButton, 1);
    buttons->addWidget(CancelButton);
    buttons->addWidget(HelpButton);
    root->addLayout(buttons);
    root->setSizeConstraint(QLayout::SetFixedSize);
}

void CopyDialog::showEvent(QShowEvent* event) {
    PrepareToShow();
    QDialog::showEvent(event);
}

void CopyDialog::PrepareToShow() {
    common::WindowLayout::PrepareDialog(*this);
    // The layout, not the scaled design size, decides the size: centre on it.
    layout()->activate();
    common::WindowLayout::Centre(*this);
    ApplyGroupColors();
}

void CopyDialog::ApplyGroupColors() {
    const common::ColorGroup& g = common::AppSettings().scheme.Group(common::WindowGroup::Configure);
    common::WindowLayout::ApplyColors(*this, g);
    for (QFrame* panel : m_panels)
        common::WindowLayout::SetBackground(*panel, g[common::ColorSlot::MainBackground]);
    for (QLabel* heading : m_headings) common::WindowLayout::SetTextColor(*heading, g[common::ColorSlot::MajorTitle]);
}

void CopyDialog::ShowHelp() { common::Ui().OpenHelp("Backup and Restore"); }

CopyKind CopyDialog::ChosenKind() const {
    if (ListsOption->isChecked()) return CopyKind::Lists;
    if (ReportsOption->isChecked()) return CopyKind::Reports;
    return CopyKind::Database;
}

CopyResult CopyDialog::RunCopy(const std::function<CopyResult(const ProgressFn&)>& copy, const char* failed) {
    CopyResult result;
    bool ran = false;
    ProgressBar->setValue(0);
    const RunResult run = RunEngine(
        CancelButton,
        [this](const Progress& p) {
            ProgressBar->setValue(p.total == 0 ? kProgressSteps : int(p.done * kProgressSteps / p.total));
        },
        [&](const ProgressFn& progress) {
            result = copy(progress);
            ran = true;
            return RunResult{};
        });
    // The run holds Cancel only while it lasts; here it closes the dialog again.
    CancelButton->setEnabled(true);
    if (!ran) {
        result.status = CopyStatus::Failed;
        result.message = failed;
        result.reason = run.message;
    }
    ProgressBar->setValue(result.status == CopyStatus::Completed ? kProgressSteps : 0);
    return result;
}

void CopyDialog::Reopen() {
    try {
        if (m_steps.reopenShared) m_steps.reopenShared();
    } catch (const std::exception& e) {
        common::Ui().Message("Error", QString::fromUtf8(e.what()), common::MessageIcon::Error);
    }
}

void CopyDialog::Tell(const CopyResult& result, bool withWarnings) {
    QString text = QString::fromStdString(result.message);
    // Files of the attachments folder passed over are told with the outcome,
    // in the one message.
    if (withWarnings)
        for (const std::string& warning : result.warnings) text += "\n\n" + QString::fromStdString(warning);
    switch (result.status) {
    case CopyStatus::Cancelled:
        return;
    case CopyStatus::Completed:
        common::Ui().Message("Notice", text, common::MessageIcon::Information);
        Succeeded();
        return;
    default:
        common::Ui().Message("Error", text, common::MessageIcon::Error);
        return;
    }
}

void CopyDialog::Succeeded() {
    CancelButton->setText("&Close");
    CancelButton->setFocus();
}

}  // namespace exchange
