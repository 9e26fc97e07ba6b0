#include "ReportFileSetup.h"

#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstring>

#include "DefaultReports.h"
#include "RecordBytes.h"
#include "ReportFile.h"

namespace reports {
namespace {

// Offsets of the older record and its 77-byte items.
constexpr size_t kOldItemSize = 77;
constexpr size_t kOldLineSize = kItemsPerLine * kOldItemSize;
constexpr size_t kOldName = 0, kOldWidth = 31, kOldColumnHeaders = 95, kOldPageNumbers = 96, kOldUseTotals = 97,
                 kOldLines = 98, kOldTotals = 102, kOldTitles = 1642, kOldTitleSize = 81, kOldBody = 1885;
constexpr size_t kOldItemText = 0, kOldItemWidth = 32, kOldItemLabel = 36;

ReportLine ReadOldLine(const detail::RecordReader& r, size_t at) {
    ReportLine line;
    for (size_t i = 0; i < size_t(kItemsPerLine); ++i) {
        const size_t item = at + i * kOldItemSize;
        line[i].text = r.ShortText(item + kOldItemText, kNameCapacity);
        line[i].number = 0;  // the older item's number byte means nothing; taken from the name
        line[i].width = r.Int16(item + kOldItemWidth);
        line[i].label = r.ShortText(item + kOldItemLabel, kLabelCapacity);
    }
    return line;
}

std::vector<uint8_t> WholeRecords(const std::vector<uint8_t>& bytes) {
    return {bytes.begin(), bytes.begin() + ptrdiff_t(bytes.size() / kRecordSize * kRecordSize)};
}

std::vector<uint8_t> Encoded(const std::vector<ReportDefinition>& defs) {
    std::vector<uint8_t> bytes;
    bytes.reserve(defs.size() * kRecordSize);
    for (const ReportDefinition& d : defs) {
        const std::vector<uint8_t> record = EncodeDefinition(d);
        bytes.insert(bytes.end(), record.begin(), record.end());
    }
    return bytes;
}

// A name for the damaged file's copy that replaces no earlier copy.
std::string FreeBadName(const std::string& path) {
    std::string candidate = path + ".BAD";
    for (int n = 2; ::access(candidate.c_str(), F_OK) == 0 && n < 1000; ++n)
        candidate = path + ".BAD" + std::to_string(n);
    return candidate;
}

std::string BaseName(const std::string& path) { return path.substr(path.rfind('/') + 1); }

void EnsureDefinitionFile(ReportFile& file, SetupResult& result) {
    if (!file.Exists()) {
        ReplaceFileAtomically(file.Path(), Encoded(DefaultReportDefinitions()));
        return;
    }
    struct stat st {};
    if (::stat(file.Path().c_str(), &st) == 0 && uint64_t(st.st_size) > kLargestReportFile) {
        // Far too large to be ours: set aside whole (renamed, never read
        // or copied), and the default reports written again.
        const std::string bad = FreeBadName(file.Path());
        if (::rename(file.Path().c_str(), bad.c_str()) != 0)
            throw ReportFileError("Cannot set aside \"" + file.Path() + "\": " + std::strerror(errno) + ".");
        ReplaceFileAtomically(file.Path(), Encoded(DefaultReportDefinitions()));
        result.notices.push_back(TooLargeMessage(file.Path(), uint64_t(st.st_size)) + "  It was set aside as " +
                                 BaseName(bad) + ", and the default reports were written again.");
        return;
    }
    const std::vector<uint8_t> bytes = file.ReadAll();
    if (bytes.size() % kRecordSize == 0) return;
    // A file cut short (a full disk, a copy broken off) still holds its
    // complete definitions; only the broken end is dropped, and the whole
    // file is kept beside it.
    const std::string bad = FreeBadName(file.Path());
    ReplaceFileAtomically(bad, bytes);
    const std::vector<uint8_t> whole = WholeRecords(bytes);
    const size_t count = whole.size() / kRecordSize;
    std::string notice = "The report definition file " + BaseName(file.Path()) + " was damaged: its length of " +
                         std::to_string(bytes.size()) + " bytes is not a whole number of report definitions.  " +
                         "The damaged file was kept as " + BaseName(bad) + ".  ";
    if (count == 0) {
        file.Replace(Encoded(DefaultReportDefinitions()));
        notice += "It held no complete report definition, so the default reports were written again.";
    } else {
        file.Replace(whole);
        notice += "Its " + std::to_string(count) + " complete report definition" + (count == 1 ? " was" : "s were") +
                  " kept.";
    }
    result.notices.push_back(notice);
}

void ConvertOldFile(const std::string& dir, ReportFile& target, SetupResult& result) {
    const std::string oldPath = ReportFile::PathIn(dir, kOldReportFileName);
    ReportFile old(oldPath);
    if (!old.Exists()) return;
    std::vector<uint8_t> bytes;
    try {
        bytes = old.ReadAll();
    } catch (const ReportFileError&) {
        // An older file that cannot be read is given up, as a short one is.
    }
    std::vector<ReportDefinition> converted;
    for (size_t at = 0; at + kOldRecordSize <= bytes.size(); at += kOldRecordSize) {
        const std::span<const uint8_t> record(bytes.data() + at, kOldRecordSize);
        const ReportDefinition def = ConvertOldRecord(record);
        if (ReplacedByDefault(def.name)) {
            ++result.skipped;
            continue;
        }
        converted.push_back(def);
    }
    if (!converted.empty()) {
        // The older file goes only once its definitions are safely in the new one.
        std::vector<uint8_t> all = WholeRecords(target.ReadAll());
        const std::vector<uint8_t> added = Encoded(converted);
        all.insert(all.end(), added.begin(), added.end());
        target.Replace(all);
        result.converted = int(converted.size());
    }
    if (::unlink(oldPath.c_str()) != 0 && errno != ENOENT)
        result.errors.push_back("Cannot delete \"" + oldPath + "\": " + std::strerror(errno) + ".");
}

}  // namespace

bool ReplacedByDefault(const std::string& oldName) {
    static const std::array<const char*, 7> names = {
        "90 Column 1 Line Report",   "120 Column 2 Line Report", "Full Report", "Statistics/Summary Report",
        "120 Column 1 Line Report", "120 Column 4 Line Report", "1 Line Warranty Report"};
    for (const char* n : names)
        if (oldName == n) return true;
    return false;
}

ReportDefinition ConvertOldRecord(std::span<const uint8_t> bytes) {
    const detail::RecordReader r(bytes.first(std::min(bytes.size(), size_t(kOldRecordSize))));
    ReportDefinition d = NewReportDefinition();
    d.name = r.ShortText(kOldName, kNameCapacity);
    d.width = r.Int16(kOldWidth);
    d.columnHeaders = r.Flag(kOldColumnHeaders);
    d.pageNumbers = r.Flag(kOldPageNumbers);
    d.useTotals = r.Flag(kOldUseTotals);
    d.lines = r.Int16(kOldLines);
    d.totals = ReadOldLine(r, kOldTotals);
    for (size_t t = 0; t < 3; ++t) d.titles[t] = r.ShortText(kOldTitles + t * kOldTitleSize, kTitleCapacity);
    for (size_t n = 0; n < size_t(kMaxBodyLines); ++n) d.body[n] = ReadOldLine(r, kOldBody + n * kOldLineSize);
    d.landscape = false;
    d.dateOnPages = true;
    d.topMargin = d.bottomMargin = d.leftMargin = d.rightMargin = 0.5;
    d.verticalLines = false;
    d.horizontalLines = false;
    d.groupLevel1 = true;
    d.groupLevel2 = false;
    Sanitise(d);
    for (ReportFont& f : d.fonts) f.size = d.width == 90 ? 10 : 8;
    return d;
}

SetupResult PrepareReportFiles(const std::string& dir) {
    SetupResult result;
    ReportFile file(ReportFile::PathIn(dir));
    try {
        EnsureDefinitionFile(file, result);
        ConvertOldFile(dir, file, result);
    } catch (const ReportFileError& e) {
        result.errors.push_back(e.what());
    }
    return result;
}

}  // namespace reports
