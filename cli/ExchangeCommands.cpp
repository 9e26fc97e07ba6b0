// export and import: the export and import engines the windows run, with
// the fields, order and title line of the settings unless told otherwise.

#include <sys/stat.h>

#include <array>

#include "AttachmentFolderCopy.h"
#include "AttachmentStore.h"
#include "ExportChoices.h"
#include "ExportEngine.h"
#include "WordFilter.h"
#include "HeaderMapping.h"
#include "ImportEngine.h"
#include "ItemSchema.h"
#include "ItemTable.h"
#include "Session.h"
#include "Settings.h"
#include "SheetImport.h"
#include "Table.h"

namespace cli {
namespace {

std::vector<std::string> SplitList(const std::string& text) {
    std::vector<std::string> parts;
    size_t from = 0;
    for (;;) {
        const size_t comma = text.find(',', from);
        parts.push_back(text.substr(from, comma == std::string::npos ? std::string::npos : comma - from));
        if (comma == std::string::npos) break;
        from = comma + 1;
    }
    return parts;
}

std::string Trimmed(const std::string& s) {
    const size_t first = s.find_first_not_of(" \t");
    if (first == std::string::npos) return {};
    return s.substr(first, s.find_last_not_of(" \t") - first + 1);
}

bool SameText(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'A' && x <= 'Z') x = char(x + 32);
        if (y >= 'A' && y <= 'Z') y = char(y + 32);
        if (x != y) return false;
    }
    return true;
}

int ExitFor(const exchange::RunResult& result) {
    switch (result.outcome) {
    case exchange::Outcome::Completed: return kExitOk;
    case exchange::Outcome::Cancelled: throw CommandError(result.message, kExitCancelled);
    case exchange::Outcome::Failed: throw CommandError(result.message);
    }
    return kExitFailed;
}

// Whether an on/off choice was given, and which; the settings decide otherwise.
bool Choice(Session& s, const char* on, const char* off, bool fallback) {
    const bool yes = s.Args().Flag(on), no = s.Args().Flag(off);
    if (yes && no) s.Usage(std::string("--") + on + " and --" + off + " contradict each other");
    return yes ? true : (no ? false : fallback);
}

std::vector<int> ChosenFields(Session& s) {
    const auto list = s.Args().Value("fields");
    if (!list) return exchange::ExportedPositions(exchange::ExportRows(s.Settings()));
    std::vector<int> positions;
    for (const std::string& part : SplitList(*list)) {
        const std::string name = Trimmed(part);
        const int p = s.FieldNamed(name);
        if (p == 0) s.Usage("--fields: no item field is named " + Quote(name));
        for (int q : positions)
            if (q == p) s.Usage("--fields: " + Quote(name) + " is chosen twice");
        positions.push_back(p);
    }
    return positions;
}

// Source field index by name (letter case ignored) or by number from 1.
int SourceField(Session& s, const std::vector<std::string>& names, const std::string& text) {
    for (size_t i = 0; i < names.size(); ++i)
        if (SameText(Trimmed(names[i]), text)) return int(i);
    if (!text.empty() && text.find_first_not_of("0123456789") == std::string::npos && text.size() < 6) {
        const int n = std::stoi(text);
        if (n >= 1 && n <= int(names.size())) return n - 1;
    }
    s.Usage("--map: the source has no field " + Quote(text));
}

std::vector<int> MapFromOption(Session& s, const std::vector<std::string>& names) {
    std::vector<int> map(names.size(), 0);
    for (const std::string& option : s.Args().Values("map")) {
        for (const std::string& pair : SplitList(option)) {
            const size_t eq = pair.find('=');
            if (eq == std::string::npos) s.Usage("--map: " + Quote(pair) + " is not SOURCE=FIELD");
            const int source = SourceField(s, names, Trimmed(pair.substr(0, eq)));
            const std::string fieldName = Trimmed(pair.substr(eq + 1));
            const int field = s.FieldNamed(fieldName);
            if (field == 0) s.Usage("--map: no item field is named " + Quote(fieldName));
            if (map[size_t(source)] != 0) s.Usage("--map: the source field " + Quote(names[size_t(source)]) + " is mapped twice");
            for (int used : map)
                if (used == field) s.Usage("--map: the item field " + Quote(fieldName) + " receives two source fields");
            map[size_t(source)] = field;
        }
    }
    return map;
}

// Each source field to the item field of its name or title; without names
// (a text whose first line is data) field by field in order, as the import
// window lines them up.
// unused learns the source fields left out, for a note once the import is done.
std::vector<int> DefaultMap(Session& s, const std::vector<std::string>& names, bool named, const std::string& in,
                            std::string& unused) {
    std::vector<int> map(names.size(), 0);
    if (!named) {
        for (size_t i = 0; i < names.size() && i < size_t(store::kItemFieldCount); ++i) map[i] = int(i) + 1;
        return map;
    }
    bool any = false;
    for (size_t i = 0; i < names.size(); ++i) {
        const int field = s.FieldNamed(names[i]);
        bool taken = false;
        for (int used : map) taken = taken || (field != 0 && used == field);
        if (field != 0 && !taken) {
            map[i] = field;
            any = true;
        } else {
            unused += (unused.empty() ? "" : ", ") + Quote(names[i]);
        }
    }
    if (!any)
        throw CommandError("No field of " + Quote(in) +
                           " has the name or title of an item field; say which goes where with --map.");
    return map;
}

}  // namespace

namespace {

// The export, of every item or of those a filter keeps (the filter box's words).
int ExportItems(Session& s, const std::string& target, const std::string& words) {
    const bool toStandardOutput = target == "-";
    auto endsWith = [name = std::string(FileNameOf(target))](const char* extension) {
        return name.size() > 4 && SameText(name.substr(name.size() - 4), extension);
    };
    std::string format = s.Settings().exportFileType == 2 ? "dbf" : "csv";  // the export window's last choice
    if (const auto given = s.Args().Value("format")) format = *given;
    else if (endsWith(".dbf")) format = "dbf";
    else if (endsWith("xlsx") && target.size() > 5 && target[target.size() - 5] == '.') format = "xlsx";
    else if (toStandardOutput || endsWith(".csv") || endsWith(".txt")) format = "csv";
    const bool dbf = format == "dbf";
    const bool xlsx = format == "xlsx";
    if ((dbf || xlsx) && toStandardOutput)
        s.Usage(std::string(dbf ? "a dBASE table" : "a workbook") + " cannot go to standard output");
    if (dbf && !HasDbfExtension(target)) s.Usage("a dBASE table needs a name ending in .DBF, not " + Quote(target));
    const std::vector<int> positions = ChosenFields(s);
    if (positions.empty()) throw CommandError("No fields selected for export.");
    const bool titles = Choice(s, "titles", "no-titles", s.Settings().exportFirstRow);
    const bool withAttachments = s.Args().Flag("attachments");
    if (withAttachments && toStandardOutput) s.Usage("--attachments needs a file to export to, not standard output");

    store::Table items;
    s.OpenItemTable(items, s.TablePath());
    if (!words.empty()) {
        auto filter = std::make_shared<find::WordFilter>(items.Layout(), words);
        items.SetFilter([filter](const store::RecordView& r) { return filter->Matches(r); });
        items.SetFiltered(true);
    }
    exchange::ExportRequest request;
    request.path = toStandardOutput ? std::string() : Absolute(target);
    request.positions = positions;
    if (xlsx || (!dbf && titles)) request.titles = exchange::ExportTitles(s.Settings(), items, positions);
    ProgressLine line(s.Io(), "export");
    const exchange::ProgressFn progress = [&](const exchange::Progress& p) { return line.Show(p.done, p.total, "items"); };
    const exchange::RunResult result = dbf                ? exchange::ExportDbf(items, request, progress)
                                       : xlsx             ? exchange::ExportXlsx(items, request, progress)
                                       : toStandardOutput ? exchange::ExportTextTo(s.Io().outFd, items, request, progress)
                                                          : exchange::ExportText(items, request, progress);
    line.Clear();
    const int code = ExitFor(result);
    if (code == kExitOk && withAttachments) {
        // Record k of the new file is the k-th record the table delivered.
        // Reading only: whatever is wrong with the list is told, never
        // written back.
        attachments::AttachmentStore store;
        const attachments::LinkReport report = store.Attach(items, true);
        attachments::AttachmentFolderCopy copy;
        std::string reason;
        const std::string folder = attachments::AttachmentFolderFor(request.path);
        if (!copy.StageRecords(store, items.DeliveredRecords(), folder, {}, &reason) || !copy.Commit(&reason))
            throw CommandError("The items were written to " + Quote(request.path) +
                               ", but their attachments could not be copied: " + reason);
        s.Done(std::to_string(copy.Files()) + " attachments copied to " + Quote(folder) + ".");
        std::vector<std::string> missed = copy.Skipped();
        if (!report.problems.empty()) {
            for (const std::string& p : report.problems) s.Note(p);
            const size_t loose = store.Unreferenced().size();
            if (loose > 0)
                missed.push_back(std::to_string(loose) + (loose == 1 ? " file" : " files") +
                                 " of the attachments folder belong to no item, since the list of attachments is "
                                 "damaged, and were not copied.");
        }
        if (!missed.empty()) {
            for (size_t i = 1; i < missed.size(); ++i) s.Note(missed[i]);
            throw CommandError("The items were written to " + Quote(request.path) +
                               ", but not all of their attachments were copied: " + missed.front());
        }
    }
    s.Done(std::to_string(result.records) + " items written to " + (toStandardOutput ? "standard output" : Quote(request.path)) + ".");
    return code;
}

}  // namespace

int RunExport(Session& s) { return ExportItems(s, s.Args().operands.at(0), {}); }

int RunFind(Session& s) {
    std::string words;
    for (const std::string& w : s.Args().operands) words += (words.empty() ? "" : " ") + w;
    if (words.find_first_not_of(" \t") == std::string::npos) s.Usage("WORDS holds no word to look for");
    return ExportItems(s, s.Args().Value("out").value_or("-"), words);
}

namespace {

// The item table an import goes into; a first start makes the default
// table as the window would.
void OpenImportTarget(Session& s, store::Table& items) {
    const std::string path = s.TablePath();
    struct stat st {};
    if (!s.TableGiven() && ::stat(path.c_str(), &st) != 0) {
        store::Table create, check;
        std::string message;
        try {
            if (!store::MakeNewDB(create, check, path, &message)) throw CommandError(message);
        } catch (const store::EngineError& e) {
            throw CommandError(e.what());
        }
    }
    s.OpenItemTable(items, path, false, true);
}

// A workbook's sheet, or a CSV file as spreadsheets write it: every row
// converted first, the problems named by row and column, the rest written
// together.
int ImportSheet(Session& s, const std::string& source, bool workbook) {
    exchange::SheetImportRequest request;
    request.source.path = source;
    if (workbook) {
        request.source.format = exchange::SheetFormat::Xlsx;
        request.source.sheet = s.Args().Value("sheet").value_or("");
    } else {
        std::string error;
        const auto guessed = exchange::GuessCsvDialect(source, &error);
        if (!guessed) throw CommandError(Quote(source) + ": " + error);
        request.source.dialect = *guessed;
    }
    if (const auto separator = s.Args().Value("separator"))
        request.source.dialect.separator = *separator == "comma" ? ',' : *separator == "semicolon" ? ';' : '\t';
    if (const auto encoding = s.Args().Value("encoding"))
        request.source.dialect.encoding =
            *encoding == "utf-8" ? exchange::CsvEncoding::Utf8 : exchange::CsvEncoding::Windows1252;
    request.headerRow = Choice(s, "skip-first", "no-skip-first", true);
    request.titles = exchange::ImportTitles(s.Settings());
    request.checkOnly = s.Args().Flag("check");
    const exchange::SheetSample sample = exchange::SampleSheet(request.source, 200);
    if (!sample.ok) throw CommandError(sample.message);
    if (sample.rows.empty()) throw CommandError(Quote(source) + " holds no rows.");
    std::vector<std::string> names = exchange::RowTexts(sample, 0);
    if (!request.headerRow)
        for (size_t i = 0; i < names.size(); ++i) names[i] = std::to_string(i + 1);
    std::string unused;
    if (s.Args().Flag("map")) {
        request.map = MapFromOption(s, names);
    } else if (!request.headerRow) {
        request.map = DefaultMap(s, names, false, source, unused);
    } else {
        request.map = exchange::MapByHeader(names, std::vector<std::string>(request.titles.begin(), request.titles.end()));
        bool any = false;
        for (size_t i = 0; i < names.size(); ++i) {
            any = any || request.map[i] != 0;
            if (request.map[i] == 0) unused += (unused.empty() ? "" : ", ") + Quote(names[i]);
        }
        if (!any)
            throw CommandError("No column of " + Quote(source) +
                               " has the name or title of an item field; say which goes where with --map.");
    }
    if (const auto mark = s.Args().Value("decimal"))
        request.decimalMark = *mark == "comma" ? exchange::DecimalMark::Comma : exchange::DecimalMark::Point;
    else
        request.decimalMark = exchange::GuessSheetDecimalMark(sample, request.map, request.headerRow);

    store::Table items;
    OpenImportTarget(s, items);
    ProgressLine line(s.Io(), request.checkOnly ? "check" : "import");
    const exchange::ProgressFn progress = [&](const exchange::Progress& p) { return line.Show(p.done, p.total, "bytes"); };
    const exchange::SheetImportResult result = exchange::ImportSheet(items, request, progress);
    line.Clear();
    // A check's problems are its result; an import's are notes beside it.
    for (const exchange::SheetProblem& p : result.problems) {
        const std::string text = exchange::DescribeProblem(p, request);
        if (request.checkOnly) s.Io().out << text << "\n";
        else s.Note(text);
    }
    if (result.problemCount > result.problems.size()) {
        const std::string more = "... and " + std::to_string(result.problemCount - result.problems.size()) + " more problems.";
        if (request.checkOnly) s.Io().out << more << "\n";
        else s.Note(more);
    }
    const int code = ExitFor(result.run);
    if (!unused.empty()) s.Note("not imported, no item field of that name: " + unused + ".");
    if (request.checkOnly)
        s.Done(std::to_string(result.rows - result.rowsLeftOut) + " of " + std::to_string(result.rows) +
               " rows can be imported into " + Quote(items.DataFilePath()) + "; nothing was written.");
    else
        s.Done(std::to_string(result.run.records) + " items imported into " + Quote(items.DataFilePath()) + ".");
    if (!result.run.notice.empty()) throw CommandError(result.run.notice);
    return code;
}

}  // namespace

int RunImport(Session& s) {
    const std::string source = Absolute(s.Args().operands.at(0));
    const std::string name(FileNameOf(source));
    const bool xlsxName = name.size() > 5 && SameText(name.substr(name.size() - 5), ".xlsx");
    const std::string format =
        s.Args().Value("format").value_or(HasDbfExtension(source) ? "dbf" : xlsxName ? "xlsx" : "quoted");
    const bool dbf = format == "dbf";
    const bool sheet = format == "csv" || format == "xlsx";
    if (!sheet)
        for (const char* option : {"decimal", "check"})
            if (s.Args().Flag(option)) s.Usage(std::string("--") + option + " is for --format csv or xlsx");
    if (format != "csv")
        for (const char* option : {"separator", "encoding"})
            if (s.Args().Flag(option)) s.Usage(std::string("--") + option + " is for --format csv");
    if (format != "xlsx" && s.Args().Flag("sheet")) s.Usage("--sheet is for --format xlsx");
    struct stat st {};
    if (::stat(source.c_str(), &st) != 0) throw CommandError("The file " + Quote(source) + " does not exist.");
    if (sheet) return ImportSheet(s, source, format == "xlsx");
    if (dbf && (s.Args().Flag("skip-first") || s.Args().Flag("no-skip-first")))
        s.Usage("--skip-first and --no-skip-first are for text files");
    const bool skipFirst = Choice(s, "skip-first", "no-skip-first", s.Settings().importSkipFirst);
    exchange::Examination ex = dbf ? exchange::ExamineDbfSource(source) : exchange::ExamineTextSource(source);
    if (!ex.accepted) {
        for (char& c : ex.message)
            if (c == '\n' || c == '\r') c = ' ';
        throw CommandError(Quote(source) + ": " + ex.message);
    }
    exchange::ImportRequest request;
    request.path = source;
    request.skipFirst = skipFirst;
    std::string unused;
    request.map =
        s.Args().Flag("map") ? MapFromOption(s, ex.names) : DefaultMap(s, ex.names, dbf || skipFirst, source, unused);
    request.titles = exchange::ImportTitles(s.Settings());

    store::Table items;
    OpenImportTarget(s, items);
    ProgressLine line(s.Io(), "import");
    const exchange::ProgressFn progress = [&](const exchange::Progress& p) {
        return line.Show(p.done, p.total, dbf ? "records" : "bytes");
    };
    const exchange::RunResult result =
        dbf ? exchange::ImportDbf(items, request, progress) : exchange::ImportText(items, request, progress);
    line.Clear();
    const int code = ExitFor(result);
    if (!unused.empty()) s.Note("not imported, no item field of that name: " + unused + ".");
    s.Done(std::to_string(result.records) + " items imported into " + Quote(items.DataFilePath()) + ".");
    // The items are in, but lines off the format may have put values in
    // the wrong fields: the exit says the import did not go as it should.
    if (!result.notice.empty()) throw CommandError(result.notice);
    return code;
}

}  // namespace cli
