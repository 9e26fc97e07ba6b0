#include "RestoreDialog.h"

#include <QPushButton>

#include "AppPaths.h"
#include "MainContext.h"
#include "Table.h"

namespace exchange {
namespace {

using common::Ui;

// The application's title: the caption of the in-use message.
const char* const kApplicationTitle = "Halvenor Inventory";

}  // namespace

RestoreDialog::RestoreDialog(common::MainContext& context, MainWindowSteps steps, QWidget* parent)
    : CopyDialog(context, std::move(steps), parent, "Restore", "What To Restore",
                 {"Restore a Database File (*.DBF)", "Restore List Files (*.LST)", "Restore Report Definitions (*.URP)"},
                 "&Start Restore") {
    setObjectName("RestoreDialog");
    LayOut({WhatPanel});
    connect(StartButton, &QPushButton::clicked, this, [this] { StartRestore(); });
}

RestoreDialog::~RestoreDialog() = default;

common::FileRequest RestoreDialog::FileRequestFor(CopyKind kind) {
    common::FileRequest request;
    request.mustExist = true;
    switch (kind) {
    case CopyKind::Database:
        request.title = "Restore DBF File";
        request.defaultExtension = "DBF";
        request.filter = "DBase Files (*.DBF) | *.DBF";
        break;
    case CopyKind::Lists:
        request.title = "Restore LST Files";
        request.defaultExtension = "LST";
        request.filter = "List Files (*.LST) | *.LST";
        break;
    case CopyKind::Reports:
        request.title = "Restore URP File";
        request.defaultExtension = "URP";
        request.filter = "Reports Files (*.URP) | *.URP";
        request.fileName = "KELDOR.URP";
        break;
    case CopyKind::Settings:
        request.title = "Restore INI File";
        request.defaultExtension = "INI";
        request.filter = "Settings Files (*.INI) | *.INI";
        request.fileName = kSettingsFileName;
        break;
    }
    return request;
}

void RestoreDialog::StartRestore() {
    if (Running()) return;
    RestoreRequest request;
    request.kind = ChosenKind();
    const auto chosen = Ui().OpenFile(FileRequestFor(request.kind));
    if (!chosen) return;
    request.chosenFile = chosen->toStdString();
    request.programDir = common::AppPaths::DataDir().toStdString();
    request.freeSpace = m_freeSpace;
    switch (request.kind) {
    case CopyKind::Database: RestoreDatabase(request); return;
    case CopyKind::Lists: RestoreLists(request); return;
    case CopyKind::Reports: RestoreReports(request); return;
    // Not offered here: the window writes the settings it holds when it
    // closes, over a settings file restored while it runs.
    case CopyKind::Settings: return;
    }
}

// The item table is closed for the copy. Success ends the search for good
// and opens the restored file; anything else opens the previous table again
// as it was, its search included.
void RestoreDialog::RestoreDatabase(const RestoreRequest& request) {
    m_context.ItemTable().Close();
    const CopyResult result =
        RunCopy([&](const ProgressFn& progress) { return Restore(request, progress); }, messages::kRestoreFailed);
    if (result.status != CopyStatus::Completed) {
        Reopen();
        if (result.status == CopyStatus::InUse)
            Ui().Message(kApplicationTitle, QString::fromStdString(result.message), common::MessageIcon::None);
        else
            Tell(result, true);
        return;
    }
    const bool searchWasOn = m_context.SearchOn();
    if (searchWasOn) m_context.DisableEndSearch();
    if (m_steps.openRestored && !m_steps.openRestored(result.restored)) {
        if (searchWasOn) {
            m_context.EnableEndSearch();
            m_context.RefreshGrid();
        }
        return;
    }
    Tell(result, true);
}

void RestoreDialog::RestoreLists(const RestoreRequest& request) {
    const CopyResult result =
        RunCopy([&](const ProgressFn& progress) { return Restore(request, progress); }, messages::kRestoreFailed);
    for (const std::string& warning : result.warnings)
        Ui().Message("Warning", QString::fromStdString(warning), common::MessageIcon::Warning);
    // Missing files still end in a notice, with its own text.
    Tell(result);
    if (result.status == CopyStatus::Completed && m_steps.reloadPickLists) m_steps.reloadPickLists();
}

void RestoreDialog::RestoreReports(const RestoreRequest& request) {
    const CopyResult result =
        RunCopy([&](const ProgressFn& progress) { return Restore(request, progress); }, messages::kRestoreFailed);
    if (result.status == CopyStatus::Completed && m_steps.reloadReportList) m_steps.reloadReportList();
    Tell(result);
}

}  // namespace exchange
