#include "ReportStartup.h"

#include <QString>

#include "AppPaths.h"
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

// The regional number settings belong to report generation, which reads
// them when it arrives; until then start-up has nothing to prepare.
void ReadRegionalSettings() {}

}  // namespace reports
