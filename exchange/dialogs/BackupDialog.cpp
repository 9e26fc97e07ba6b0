#include "BackupDialog.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "AppPaths.h"
#include "MainContext.h"
#include "Settings.h"
#include "Table.h"
#include "UiServices.h"
#include "WindowLayout.h"

namespace exchange {
namespace {

constexpr int kFolderWidth = 320;

}  // namespace

BackupDialog::BackupDialog(common::MainContext& context, MainWindowSteps steps, QWidget* parent)
    : CopyDialog(context, std::move(steps), parent, "Backup", "What To Back Up",
                 {"Back Up Current Database (*.DBF)", "Back Up Lists (*.LST)", "Back Up Report Definitions (*.URP)"},
                 "&Start Back Up") {
    setObjectName("BackupDialog");
    FolderEdit = new QLineEdit(this);
    FolderEdit->setReadOnly(true);
    // The folder the program was started from, as the drive's current folder was.
    FolderEdit->setText(common::AppPaths::StartDirectory());
    // Room for a long folder; grown with the window size factor as the
    // dialog is shown, like every other size of its design.
    FolderEdit->setMinimumWidth(kFolderWidth);
    ChooseFolderButton = new QPushButton("Choose &Folder...", this);
    auto* where = new QHBoxLayout;
    where->addWidget(FolderEdit, 1);
    where->addWidget(ChooseFolderButton);
    WherePanel = NewPanel(WhereLabel, "Where To Back Up To", where);
    LayOut({WhatPanel, WherePanel});
    connect(ChooseFolderButton, &QPushButton::clicked, this, [this] { ChooseFolder(); });
    connect(StartButton, &QPushButton::clicked, this, [this] { StartBackup(); });
}

BackupDialog::~BackupDialog() = default;

void BackupDialog::ApplyGroupColors() {
    CopyDialog::ApplyGroupColors();
    // The folder stands where a folder list stood, in the list colours.
    const common::ColorGroup& g = common::AppSettings().scheme.Group(common::WindowGroup::Configure);
    QPalette pal = FolderEdit->palette();
    pal.setColor(QPalette::Base, g[common::ColorSlot::ListBoxBackground]);
    pal.setColor(QPalette::Text, g[common::ColorSlot::ListBoxText]);
    FolderEdit->setPalette(pal);
}

void BackupDialog::ChooseFolder() {
    const auto folder = common::Ui().ChooseFolder("Where To Back Up To", FolderEdit->text());
    if (folder) FolderEdit->setText(*folder);
}

void BackupDialog::StartBackup() {
    if (Running()) return;
    BackupRequest request;
    request.kind = ChosenKind();
    request.folder = FolderEdit->text().toStdString();
    request.programDir = common::AppPaths::DataDir().toStdString();
    request.freeSpace = m_freeSpace;
    // The lists in the editor are the ones to keep: they reach their files first.
    if (request.kind == CopyKind::Lists && m_steps.savePickLists && !m_steps.savePickLists()) {
        common::Ui().Message("Error", messages::kBackupFailed, common::MessageIcon::Error);
        return;
    }
    const bool database = request.kind == CopyKind::Database;
    const bool searchEnded = database && m_context.SearchOn();
    if (database) {
        if (searchEnded) m_context.DisableEndSearch();
        request.dataFile = m_context.ItemTable().DataFilePath();
        m_context.ItemTable().Close();
    }
    const CopyResult result =
        RunCopy([&](const ProgressFn& progress) { return Backup(request, progress); }, messages::kBackupFailed);
    if (database) {
        if (searchEnded) m_context.EnableEndSearch();
        Reopen();
    }
    Tell(result, database);
}

}  // namespace exchange
