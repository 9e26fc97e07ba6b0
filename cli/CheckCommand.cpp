// check: the table's files looked at without changing anything, with a
// summary on standard output.

#include <sys/stat.h>

#include "Session.h"
#include "ItemTable.h"
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
    for (const std::string& note : report.notes) out << "  note:    " << note << "\n";
    for (const std::string& problem : report.problems) out << "  problem: " << problem << "\n";
    if (report.Ok()) out << "  no problems found\n";
    out.flush();
    if (!report.Ok())
        throw CommandError(std::to_string(report.problemCount) + (report.problemCount == 1 ? " problem" : " problems") +
                           " found in " + Quote(path) + ": " + report.problems.front());
    return kExitOk;
}

}  // namespace cli
