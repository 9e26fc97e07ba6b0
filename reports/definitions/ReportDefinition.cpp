#include "ReportDefinition.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>

#include "CodePage.h"
#include "ItemSchema.h"
#include "RecordBytes.h"

namespace reports {
namespace {

using detail::RecordReader;
using detail::RecordWriter;

// Offsets inside a font record, an item and a definition record.
constexpr size_t kFontSize = 61;
constexpr size_t kItemSize = 75;
constexpr size_t kLineSize = kItemsPerLine * kItemSize;

constexpr size_t kFontName = 0, kFontPoints = 51, kFontBold = 53, kFontItalic = 54, kFontUnderline = 55,
                 kFontStrikeout = 56, kFontColor = 57;
constexpr size_t kItemText = 0, kItemNumber = 31, kItemWidth = 32, kItemLabel = 34;

constexpr size_t kName = 0, kWidth = 31, kFonts = 33, kColumnHeaders = 338, kPageNumbers = 339, kLandscape = 340,
                 kDateOnPages = 341, kUseTotals = 342, kLines = 343, kTotals = 345, kTopMargin = 1845,
                 kBottomMargin = 1853, kLeftMargin = 1861, kRightMargin = 1869, kVerticalLines = 1877,
                 kHorizontalLines = 1878, kTitles = 1879, kTitleSize = 81, kBody = 2122, kGroupLevel1 = 20122,
                 kGroupLevel2 = 20123;
// The photo options in the reserved bytes after the last flag: a tag, the
// flags (bit 0: print photos) and the height in hundredths of an inch. The
// tag is written only when photos are printed, so records of reports that
// print none stay as they always were.
constexpr size_t kPhotoTag = 20124, kPhotoFlags = 20128, kPhotoHeight = 20129;
constexpr std::string_view kPhotoTagBytes = "HPh1";

constexpr int kMaxFontSize = 200;
constexpr double kMaxMargin = 50.0;

struct CutTexts {
    bool name = false, title = false, font = false, item = false, label = false;
};

ReportFont ReadFont(const RecordReader& r, size_t at, CutTexts& cut) {
    ReportFont f;
    f.name = r.ShortText(at + kFontName, kFontNameCapacity, &cut.font);
    f.size = r.Int16(at + kFontPoints);
    f.bold = r.Flag(at + kFontBold);
    f.italic = r.Flag(at + kFontItalic);
    f.underline = r.Flag(at + kFontUnderline);
    f.strikeout = r.Flag(at + kFontStrikeout);
    f.color = r.UInt32(at + kFontColor);
    return f;
}

void WriteFont(RecordWriter& w, size_t at, const ReportFont& f) {
    w.ShortText(at + kFontName, kFontNameCapacity, f.name);
    w.Int16(at + kFontPoints, f.size);
    w.Flag(at + kFontBold, f.bold);
    w.Flag(at + kFontItalic, f.italic);
    w.Flag(at + kFontUnderline, f.underline);
    w.Flag(at + kFontStrikeout, f.strikeout);
    w.UInt32(at + kFontColor, f.color);
}

ReportLine ReadLine(const RecordReader& r, size_t at, CutTexts& cut) {
    ReportLine line;
    for (size_t i = 0; i < size_t(kItemsPerLine); ++i) {
        const size_t item = at + i * kItemSize;
        line[i].text = r.ShortText(item + kItemText, kNameCapacity, &cut.item);
        line[i].number = r.Byte(item + kItemNumber);
        line[i].width = r.Int16(item + kItemWidth);
        line[i].label = r.ShortText(item + kItemLabel, kLabelCapacity, &cut.label);
    }
    return line;
}

void WriteLine(RecordWriter& w, size_t at, const ReportLine& line) {
    for (size_t i = 0; i < size_t(kItemsPerLine); ++i) {
        const size_t item = at + i * kItemSize;
        w.ShortText(item + kItemText, kNameCapacity, line[i].text);
        w.Byte(item + kItemNumber, uint8_t(std::clamp(line[i].number, 0, 255)));
        w.Int16(item + kItemWidth, line[i].width);
        w.ShortText(item + kItemLabel, kLabelCapacity, line[i].label);
    }
}

std::string Lower(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
    return out;
}

// A field item must name what it prints. The name wins over the number
// when both are known; an item whose name and number both fail becomes a
// filler. Returns false for that last case.
bool ResolveField(ReportItem& item, bool totals) {
    if (!item.IsField()) return true;
    if (totals) {
        int number = 0;
        for (int n = 1; n <= kTotalsCount; ++n)
            if (Lower(item.text) == Lower(TotalsName(n))) number = n;
        if (number == 0 && item.number >= 1 && item.number <= kTotalsCount) number = item.number;
        if (number == 0) return false;
        item.number = number;
        item.text = std::string(TotalsName(number));
        return true;
    }
    int number = store::SchemaPosition(item.text);
    if (number == 0 && item.number >= 1 && item.number <= store::kItemFieldCount) number = item.number;
    if (number == 0) return false;
    item.number = number;
    item.text = std::string(store::SchemaAt(number).name);
    return true;
}

void MakeFiller(ReportItem& item) {
    item.text = std::string(kFiller);
    item.label.clear();
}

// A name without control characters (C0, DEL and C1, as UTF-8): a name is
// printed, listed and typed to choose its report, and a NUL in it used to
// end it early wherever it was shown.
std::string WithoutControls(std::string text, bool* removed) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c < 0x20 || c == 0x7F) continue;
        if (c == 0xC2 && i + 1 < text.size() && static_cast<unsigned char>(text[i + 1]) < 0xA0) {
            ++i;
            continue;
        }
        out += char(c);
    }
    if (removed && out.size() != text.size()) *removed = true;
    return out;
}

void Add(std::vector<std::string>& problems, std::string text) {
    if (std::find(problems.begin(), problems.end(), text) == problems.end()) problems.push_back(std::move(text));
}

}  // namespace

std::string_view TotalsName(int number) {
    static constexpr std::string_view names[kTotalsCount] = {"Cost", "Value", "Replacement Cost", "Quantity"};
    return number >= 1 && number <= kTotalsCount ? names[number - 1] : std::string_view();
}

int TotalsNumber(std::string_view name) {
    for (int n = 1; n <= kTotalsCount; ++n)
        if (TotalsName(n) == name) return n;
    return 0;
}

ReportDefinition NewReportDefinition() {
    ReportDefinition def;
    for (ReportFont& f : def.fonts) f = ReportFont{};
    def.Font(FontSlot::Title).bold = true;
    def.Font(FontSlot::ColumnHeader).bold = true;
    def.Font(FontSlot::Footnote).bold = true;
    ReportLine single;
    single[0].width = 150;
    def.totals = single;
    def.body.fill(single);
    return def;
}

ReportDefinition& CurrentReport() {
    static ReportDefinition current = NewReportDefinition();
    return current;
}

int LineItemCount(const ReportLine& line) {
    int n = 0;
    while (n < kItemsPerLine && line[size_t(n)].width > 0) ++n;
    return n;
}

void NormaliseLine(ReportLine& line, int reportWidth) {
    int sum = 0;
    size_t stop = 0;
    for (;; ++stop) {
        if (line[stop].width <= 0) line[stop].width = reportWidth;
        sum += line[stop].width;
        if (sum >= reportWidth || stop + 1 == line.size()) break;
    }
    line[stop].width += reportWidth - sum;
    for (size_t i = stop + 1; i < line.size(); ++i) line[i].width = 0;
}

int DefaultBodyFontSize(int reportWidth) {
    if (reportWidth == 150) return 6;
    if (reportWidth == 120) return 8;
    return 10;
}

void ChangeReportWidth(ReportDefinition& def, int newWidth) {
    def.width = newWidth;
    for (int n = 1; n <= std::clamp(def.lines, 0, kMaxBodyLines); ++n) NormaliseLine(def.Body(n), newWidth);
    def.Font(FontSlot::Body).size = DefaultBodyFontSize(newWidth);
}

bool Storable(std::string_view text) { return store::CodePage(1252).Encode(text).has_value(); }

std::vector<std::string> Sanitise(ReportDefinition& def) {
    std::vector<std::string> problems;
    bool controls = false;
    def.name = WithoutControls(std::move(def.name), &controls);
    if (controls) Add(problems, "The report name held control characters, which were removed.");
    if (def.width != 90 && def.width != 120 && def.width != 150) {
        Add(problems, "The report width of " + std::to_string(def.width) + " characters was set to 90.");
        def.width = 90;
    }
    if (def.lines < 0 || def.lines > kMaxBodyLines) {
        const int fixed = std::clamp(def.lines, 0, kMaxBodyLines);
        Add(problems, "The number of body lines (" + std::to_string(def.lines) + ") was set to " +
                          std::to_string(fixed) + ".");
        def.lines = fixed;
    }
    if (!(def.photoHeight >= kMinPhotoHeight && def.photoHeight <= kMaxPhotoHeight)) {
        if (def.printPhotos) Add(problems, "The photo height was set to 1.25 inches.");
        def.photoHeight = kDefaultPhotoHeight;
    }
    for (ReportFont& f : def.fonts) {
        if (f.size < 1 || f.size > kMaxFontSize) {
            const int fixed = DefaultBodyFontSize(def.width);
            Add(problems, "A font size of " + std::to_string(f.size) + " points was set to " + std::to_string(fixed) +
                              " points.");
            f.size = fixed;
        }
    }
    for (double* m : {&def.topMargin, &def.bottomMargin, &def.leftMargin, &def.rightMargin}) {
        if (!std::isfinite(*m) || *m < 0 || *m > kMaxMargin) {
            Add(problems, "A margin that was not a usable number of inches was set to 0.5.");
            *m = 0.5;
        }
    }
    // Items after the end of a line are resolved too: a line that grows
    // takes in the item after its last one as it stands.
    auto resolveLine = [&](ReportLine& line, bool totals) {
        const int count = LineItemCount(line);
        for (int i = 0; i < kItemsPerLine; ++i) {
            ReportItem& item = line[size_t(i)];
            if (ResolveField(item, totals)) continue;
            if (i < count)
                Add(problems, "The item \"" + item.text + "\" names no " + (totals ? "total" : "field") +
                                  " and was made a filler.");
            MakeFiller(item);
        }
    };
    for (ReportLine& line : def.body) resolveLine(line, false);
    resolveLine(def.totals, true);
    return problems;
}

DecodedDefinition DecodeDefinition(std::span<const uint8_t> bytes) {
    if (bytes.size() != size_t(kRecordSize)) throw std::invalid_argument("a report definition record is 20622 bytes");
    const RecordReader r(bytes);
    CutTexts cut;
    DecodedDefinition out;
    ReportDefinition& d = out.definition;
    d.name = r.ShortText(kName, kNameCapacity, &cut.name);
    d.width = r.Int16(kWidth);
    for (size_t i = 0; i < size_t(kFontCount); ++i) d.fonts[i] = ReadFont(r, kFonts + i * kFontSize, cut);
    d.columnHeaders = r.Flag(kColumnHeaders);
    d.pageNumbers = r.Flag(kPageNumbers);
    d.landscape = r.Flag(kLandscape);
    d.dateOnPages = r.Flag(kDateOnPages);
    d.useTotals = r.Flag(kUseTotals);
    d.lines = r.Int16(kLines);
    d.totals = ReadLine(r, kTotals, cut);
    d.topMargin = r.Real(kTopMargin);
    d.bottomMargin = r.Real(kBottomMargin);
    d.leftMargin = r.Real(kLeftMargin);
    d.rightMargin = r.Real(kRightMargin);
    d.verticalLines = r.Flag(kVerticalLines);
    d.horizontalLines = r.Flag(kHorizontalLines);
    for (size_t t = 0; t < 3; ++t) d.titles[t] = r.ShortText(kTitles + t * kTitleSize, kTitleCapacity, &cut.title);
    for (size_t n = 0; n < size_t(kMaxBodyLines); ++n) d.body[n] = ReadLine(r, kBody + n * kLineSize, cut);
    d.groupLevel1 = r.Flag(kGroupLevel1);
    d.groupLevel2 = r.Flag(kGroupLevel2);
    bool tagged = true;
    for (size_t i = 0; i < kPhotoTagBytes.size(); ++i)
        tagged = tagged && r.Byte(kPhotoTag + i) == uint8_t(kPhotoTagBytes[i]);
    if (tagged) {
        d.printPhotos = (r.Byte(kPhotoFlags) & 1) != 0;
        d.photoHeight = r.Int16(kPhotoHeight) / 100.0;
    }

    if (cut.name) out.problems.push_back("The report name was longer than 30 characters and was cut.");
    if (cut.title) out.problems.push_back("A title line was longer than 80 characters and was cut.");
    if (cut.font) out.problems.push_back("A font name was longer than 50 characters and was cut.");
    if (cut.item) out.problems.push_back("An item's field name was longer than 30 characters and was cut.");
    if (cut.label) out.problems.push_back("A label was longer than 40 characters and was cut.");
    for (std::string& p : Sanitise(d)) out.problems.push_back(std::move(p));
    return out;
}

std::string DecodeName(std::span<const uint8_t> bytes) {
    return WithoutControls(RecordReader(bytes).ShortText(kName, kNameCapacity), nullptr);
}

std::vector<uint8_t> EncodeDefinition(const ReportDefinition& d) {
    RecordWriter w(kRecordSize);
    w.ShortText(kName, kNameCapacity, d.name);
    w.Int16(kWidth, d.width);
    for (size_t i = 0; i < size_t(kFontCount); ++i) WriteFont(w, kFonts + i * kFontSize, d.fonts[i]);
    w.Flag(kColumnHeaders, d.columnHeaders);
    w.Flag(kPageNumbers, d.pageNumbers);
    w.Flag(kLandscape, d.landscape);
    w.Flag(kDateOnPages, d.dateOnPages);
    w.Flag(kUseTotals, d.useTotals);
    w.Int16(kLines, d.lines);
    WriteLine(w, kTotals, d.totals);
    w.Real(kTopMargin, d.topMargin);
    w.Real(kBottomMargin, d.bottomMargin);
    w.Real(kLeftMargin, d.leftMargin);
    w.Real(kRightMargin, d.rightMargin);
    w.Flag(kVerticalLines, d.verticalLines);
    w.Flag(kHorizontalLines, d.horizontalLines);
    for (size_t t = 0; t < 3; ++t) w.ShortText(kTitles + t * kTitleSize, kTitleCapacity, d.titles[t]);
    for (size_t n = 0; n < size_t(kMaxBodyLines); ++n) WriteLine(w, kBody + n * kLineSize, d.body[n]);
    w.Flag(kGroupLevel1, d.groupLevel1);
    w.Flag(kGroupLevel2, d.groupLevel2);
    if (d.printPhotos) {
        for (size_t i = 0; i < kPhotoTagBytes.size(); ++i) w.Byte(kPhotoTag + i, uint8_t(kPhotoTagBytes[i]));
        w.Byte(kPhotoFlags, 1);
        w.Int16(kPhotoHeight, int(std::lround(d.photoHeight * 100)));
    }
    return std::move(w.Bytes());
}

}  // namespace reports
