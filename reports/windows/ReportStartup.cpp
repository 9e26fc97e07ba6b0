#include "ReportStartup.h"

#include <QString>

#include "AppPaths.h"
#include "EngineServices.h"
#include "NumberStyle.h"
#include "ReportFileSetup.h"
#include "UiServices.h"

namespace reports {

void EnsureReportDefinitionFile() {
    const SetupResult result = PrepareReportFiles(common::AppPaths::DataDir().toStdString());
    for (const std::string& notice : result.notices)
        common::Ui().Message("Notice", QString::fromStdString(notice), common::MessageIcon::Warning);
    for (const std::string& error : result.errors)
        common::Ui().Message("Error", QString::fromStdString(error), common::MessageIcon::Error);
}

void ReadRegionalSettings() { SetRegionalNumbers(SystemRegionalNumbers()); }

void InstallEngineMessages() {
    engine::SetMessageHandler([](const QString& title, const QString& text) {
        common::Ui().Beep();
        common::Ui().Message(title, text, common::MessageIcon::Error);
    });
}

}  // namespace reports
