// check: the table's files looked at without changing anything, with a
// summary on standard output.

#include <optional>
#include <sys/stat.h>

#include "AttachmentCheck.h"
#include "AttachmentStore.h"
#include "EngineError.h"
#include "FolderFiles.h"
#include "ItemTable.h"
#include "Session.h"
#include "Table.h"
#include "TableCheck.h"

namespace cli {

int RunCheck(Session& s) {
    const std::string path = s.TablePath();
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) throw CommandError("The table " + Quote(path) + " does not exist.");
    ProgressLine line(s.Io(), "check");
    const store::TableCheckReport report =
        store::CheckTableFiles(path, [&](uint64_t done, uint64_t total) { return line.Show(done, total, "records"); });
    line.Clear();
    if (InterruptRequested().load()) throw CommandError("The check was cancelled.", kExitCancelled);
    if (!report.opened) throw CommandError(report.problems.empty() ? "The table cannot be read." : report.problems.front());
    if (!report.itemTable) throw CommandError(Quote(path) + ": " + store::kNotItemTableMessage);

    // The attachments folder beside the table: its list against the table
    // and the files.
    std::vector<std::string> problems = report.problems;
    size_t problemCount = report.problemCount;
    std::optional<attachments::CheckResult> files;
    if (attachments::IsDirectory(attachments::AttachmentFolderFor(path))) {
        try {
            store::Table table;
            store::PointAt(table, path);
            table.SetReadOnly(true);
            table.Open();
            files = attachments::CheckAttachments(table);
        } catch (const store::EngineError& e) {
            files = attachments::CheckResult{{std::string("The attachments could not be checked: ") + e.what()}};
        }
        for (const std::string& p : files->problems) problems.push_back(p);
        problemCount += files->problems.size();
    }

    std::ostream& out = s.Io().out;
    out << path << "\n";
    out << "  records: " << report.records << " (" << report.deleted << " deleted, "
        << report.records - report.deleted << " items)\n";
    out << "  index:   " << store::IndexStateText(report.index);
    if (report.index != store::IndexState::None) {
        out << " (" << report.indexFile;
        if (!report.tags.empty()) {
            out << "; tags";
            for (const std::string& tag : report.tags) out << " " << tag;
        }
        out << ")";
    }
    out << "\n";
    if (files)
        out << "  attachments: " << files->files << (files->files == 1 ? " file" : " files") << " of " << files->items
            << (files->items == 1 ? " item" : " items") << " (" << attachments::AttachmentFolderFor(path) << ")\n";
    for (const std::string& note : report.notes) out << "  note:    " << note << "\n";
    for (const std::string& problem : problems) out << "  problem: " << problem << "\n";
    if (problems.empty()) out << "  no problems found\n";
    out.flush();
    if (!problems.empty())
        throw CommandError(std::to_string(problemCount) + (problemCount == 1 ? " problem" : " problems") +
                           " found in " + Quote(path) + ": " + problems.front());
    return kExitOk;
}

}  // namespace cli
