// report: a definition of the report file run by the report writer the
// Report Status Screen runs, into a PDF or a text file.

#include "AttachmentStore.h"
#include "ReportFile.h"
#include "ReportFileSetup.h"
#include "ReportJob.h"
#include "ReportPhotos.h"
#include "ReportStartup.h"
#include "Session.h"
#include "ReportsWindow.h"
#include "Table.h"

namespace cli {
namespace {

std::string Lower(std::string s) {
    for (char& c : s)
        if (c >= 'A' && c <= 'Z') c = char(c + 32);
    return s;
}

// The report's place in the file: its exact name first, then in any letter case.
int FindReport(const std::vector<std::string>& names, const std::string& wanted) {
    for (size_t k = 0; k < names.size(); ++k)
        if (names[k] == wanted) return int(k);
    for (size_t k = 0; k < names.size(); ++k)
        if (Lower(names[k]) == Lower(wanted)) return int(k);
    return -1;
}

std::string NameList(const std::vector<std::string>& names) {
    std::string list;
    for (const std::string& n : names) list += (list.empty() ? "" : ", ") + Quote(n);
    return list;
}

}  // namespace

int RunReport(Session& s) {
    const Invocation& args = s.Args();
    const bool list = args.Flag("list");
    const auto pdf = args.Value("pdf");
    const auto text = args.Value("text");
    if (list && (pdf || text || !args.operands.empty())) s.Usage("--list writes nothing and takes no report name");
    if (!list && args.operands.empty()) s.Usage("report needs the NAME of a report (halvenor report --list shows them)");
    if (!list && bool(pdf) == bool(text)) s.Usage("report needs either --pdf OUT or --text OUT");

    // As at the window's start: the default reports on a first run, a
    // damaged file set aside.
    const reports::SetupResult setup = reports::PrepareReportFiles(s.DataDir());
    for (const std::string& notice : setup.notices) s.Note(notice);
    for (const std::string& error : setup.errors) s.Note(error);
    const reports::ReportFile file(reports::ReportFile::PathIn(s.DataDir()));
    std::vector<std::string> names;
    try {
        names = file.Names();
    } catch (const reports::ReportFileError& e) {
        throw CommandError(e.what());
    }
    if (list) {
        for (const std::string& name : names) s.Io().out << name << "\n";
        s.Io().out.flush();
        return kExitOk;
    }
    const std::string& wanted = args.operands.front();
    const int k = FindReport(names, wanted);
    if (k < 0) throw CommandError("No report is named " + Quote(wanted) + "; the reports are " + NameList(names) + ".");
    reports::DecodedDefinition read;
    try {
        read = file.Read(k);
    } catch (const reports::ReportFileError& e) {
        throw CommandError(e.what());
    }
    // As the report window tells it: what of the definition was corrected.
    for (const std::string& problem : read.problems) s.Note(Quote(read.definition.name) + ": " + problem);
    const reports::ReportDefinition& definition = read.definition;

    reports::ReadRegionalSettings();
    reports::ReportSettings settings = reports::AppReportSettings();
    store::Table items;
    s.OpenItemTable(items, s.TablePath());
    // The items' photos, as the report window prints them.
    attachments::AttachmentStore photos;
    // The text file has no pictures, but its pages break where the PDF's do.
    if (definition.printPhotos) {
        // Photos that cannot be reached leave the report without them, said once.
        try {
            const std::string told = photos.Attach(items, true).Message();
            if (!told.empty()) s.Note(told);
            settings.photos = reports::PhotosOf(&photos);
        } catch (const std::exception& e) {
            s.Note(std::string("photos left out: ") + e.what());
        }
    }
    const std::string target = Absolute(pdf ? *pdf : *text);
    ProgressLine line(s.Io(), "report");
    const reports::ProgressCallback progress = [&](const reports::ReportProgress& p) {
        if (p.stage == reports::ReportProgress::Stage::WritingPdf) return line.Show(uint64_t(p.page), uint64_t(p.pageCount), "pages written");
        return line.Show(p.itemsDone, p.itemCount, "items");
    };
    const QString out = QString::fromStdString(target);
    const reports::ReportResult result = pdf ? reports::WritePdfReport(definition, items, settings, out, progress)
                                             : reports::WriteTextReport(definition, items, settings, out, progress);
    line.Clear();
    if (result.cancelled) throw CommandError("The report was cancelled; no file was written.", kExitCancelled);
    if (result.completed && !result.notice.isEmpty()) s.Note(result.notice.toStdString());
    if (!result.completed) {
        QString why = result.error.isEmpty() ? QString("The report could not be written.") : result.error;
        why.replace('\n', ' ');
        throw CommandError(why.toStdString());
    }
    s.Done(std::to_string(result.pages) + " pages, " + std::to_string(result.items) + " items written to " +
           Quote(target) + ".");
    return kExitOk;
}

}  // namespace cli
