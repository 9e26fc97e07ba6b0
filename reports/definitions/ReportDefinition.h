#pragma once
// A report definition: everything that shapes one printed report (name,
// width, titles, fonts, margins, options, up to twelve body lines of up to
// twenty items each, and a totals line), and its fixed record of 20622
// bytes in the report definition file. The record is read and written field
// by field at fixed offsets, little-endian, so the file is the same on every
// machine and stays readable by the other programs that share it.
//
// Texts are UTF-8 in memory and Windows-1252 in the file; a text longer than
// its field is cut on writing, and a character the code page cannot hold is
// written as "?" (the dialogs refuse such characters before they get here).

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace reports {

inline constexpr int kRecordSize = 20622;
inline constexpr int kItemsPerLine = 20;
inline constexpr int kMaxBodyLines = 12;
inline constexpr int kNameCapacity = 30;
inline constexpr int kTitleCapacity = 80;
inline constexpr int kLabelCapacity = 40;
inline constexpr int kFontNameCapacity = 50;
inline constexpr int kTotalsCount = 4;
inline constexpr double kDefaultPhotoHeight = 1.25;
inline constexpr double kMinPhotoHeight = 0.25;
inline constexpr double kMaxPhotoHeight = 4.0;

inline constexpr std::string_view kFiller = "<FILLER>";
inline constexpr std::string_view kLabel = "<LABEL>";

// The five font records, in file order. The fourth is written but never
// edited or used.
enum class FontSlot { Title = 0, ColumnHeader = 1, Body = 2, Spare = 3, Footnote = 4 };
inline constexpr int kFontCount = 5;

struct ReportFont {
    std::string name = "Courier New";
    int size = 10;  // points
    bool bold = false;
    bool italic = false;
    bool underline = false;
    bool strikeout = false;
    uint32_t color = 0;  // Windows colour value 0x00BBGGRR

    bool operator==(const ReportFont&) const = default;
};

// One cell of a line: a filler (empty space), a label (constant text) or a
// field: on a body line a field of the item table (number 1 to 22, text its
// schema name), on the totals line a total (number 1 to 4, text its name).
struct ReportItem {
    std::string text = std::string(kFiller);
    int number = 0;
    int width = 0;  // characters; 0 or less ends the line
    std::string label;

    bool IsFiller() const { return text == kFiller; }
    bool IsLabel() const { return text == kLabel; }
    bool IsField() const { return !IsFiller() && !IsLabel(); }
    bool operator==(const ReportItem&) const = default;
};

using ReportLine = std::array<ReportItem, kItemsPerLine>;

struct ReportDefinition {
    std::string name;
    int width = 90;  // 90, 120 or 150 characters
    std::array<ReportFont, kFontCount> fonts;
    bool columnHeaders = true;
    bool pageNumbers = true;
    bool landscape = false;
    bool dateOnPages = true;
    bool useTotals = true;
    int lines = 1;  // body lines per item, 0 to 12
    ReportLine totals;
    double topMargin = 0.5;  // inches
    double bottomMargin = 0.5;
    double leftMargin = 0.5;
    double rightMargin = 0.5;
    bool verticalLines = true;
    bool horizontalLines = true;
    std::array<std::string, 3> titles;
    std::array<ReportLine, kMaxBodyLines> body;
    bool groupLevel1 = true;
    bool groupLevel2 = false;
    // Each item's first photo beside its body lines, at this height in
    // inches (scaled down, never up). Kept in the record's reserved bytes
    // behind a tag of their own: a record without the tag reads as off.
    bool printPhotos = false;
    double photoHeight = kDefaultPhotoHeight;

    ReportFont& Font(FontSlot slot) { return fonts[size_t(slot)]; }
    const ReportFont& Font(FontSlot slot) const { return fonts[size_t(slot)]; }
    // Line 1 to 12.
    ReportLine& Body(int line) { return body[size_t(line - 1)]; }
    const ReportLine& Body(int line) const { return body[size_t(line - 1)]; }

    bool operator==(const ReportDefinition&) const = default;
};

// "Cost", "Value", "Replacement Cost", "Quantity" for totals 1 to 4.
std::string_view TotalsName(int number);
// 1 to 4, or 0 when the text names no total.
int TotalsNumber(std::string_view name);

// A definition as a new report starts: empty name, width 90, one body line,
// every line a single filler of 150, Courier New 10 point fonts (bold for
// titles, column headers and footnotes).
ReportDefinition NewReportDefinition();
// The definition every part of the program shares from start to exit: the
// report selection loads it, the dialogs change it, the report writer reads it.
ReportDefinition& CurrentReport();

// The number of items of a line: those before the first whose width is 0 or
// less.
int LineItemCount(const ReportLine& line);
// Makes the widths of a line sum to exactly the report width: walking from
// item 1, an item of width 0 or less takes the whole width, and at the first
// item where the running sum reaches the width (or at item 20) that item is
// cut or lengthened so the sum is exact; every later item gets width 0.
void NormaliseLine(ReportLine& line, int reportWidth);
// Stores a new report width, normalises body lines 1 up to the number of
// lines to it, and sets the body font to its default size for the width
// (10, 8 or 6 points). The totals line is left as it is.
void ChangeReportWidth(ReportDefinition& def, int newWidth);
int DefaultBodyFontSize(int reportWidth);

// Whether every character of a UTF-8 text can be stored in the file.
bool Storable(std::string_view text);

// A record as decoded from the file, with what had to be corrected to make
// it safe to use (texts longer than their fields, font sizes or counts out
// of range, field items that name no field). Empty problems: taken as is.
struct DecodedDefinition {
    ReportDefinition definition;
    std::vector<std::string> problems;
};

// Decodes one record; bytes must hold exactly kRecordSize bytes.
DecodedDefinition DecodeDefinition(std::span<const uint8_t> bytes);
std::vector<uint8_t> EncodeDefinition(const ReportDefinition& def);
// The report name alone, from the start of a record (at least 31 bytes),
// without control characters, as DecodeDefinition gives it.
std::string DecodeName(std::span<const uint8_t> bytes);

// Corrects a definition in memory the way decoding does; returns what was
// corrected. Used for definitions that arrive from older files as well.
std::vector<std::string> Sanitise(ReportDefinition& def);

}  // namespace reports
