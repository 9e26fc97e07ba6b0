#pragma once
// The report writer: turns a report definition and the records of the item
// table into pages by answering the page engine's events. It walks the
// records the table delivers (its index order, through its record filter),
// writes each by the definition's lines, opens a group whenever the first
// (and optionally the second) sort field changes, prints group totals,
// grand totals and the insurance statement, and a title block and footer
// on every page.
//
// Three outputs: pages to the printer, a recorded report for the preview,
// or a plain text file. For the text file the pages are composed as for the
// printer, with the same fonts and lines but nothing drawn, and the file's
// lines are written beside them: its pages break exactly where the printed
// report's do. The text file is written to a temporary file beside the
// chosen name and renamed over it only when the report is complete, so a
// cancelled or failed run never leaves half a file under that name.
//
// Figures (the money and quantity fields and the totals) are never cut: a
// wrong number reads as a right one. The text file writes a figure whole,
// wider than its column when it must; on a page a figure too wide for its
// column is drawn smaller, down to kSmallestFigure points, and beyond that
// the column is filled with "#" and Notice() names the items to widen.
// Text fields are cut to their columns.
//
// The writer never opens a window: ReportJob (ReportJob.h) runs it, and the
// Report Status Screen runs a ReportJob.

#include <QHash>
#include <QImage>
#include <QPair>
#include <QSize>
#include <QString>
#include <array>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <stdexcept>
#include <vector>

#include "DateFormat.h"
#include "ItemSchema.h"
#include "NumberStyle.h"
#include "ReportDefinition.h"

namespace store {
class Table;
class RecordView;
}

#include "ReportTypes.h"

namespace reports::engine {
class PageEngine;
}

namespace reports {

enum class OutputMode { Print = 1, View = 2, TextFile = 3 };

struct InsuranceDetails {
    QString company;   // at most 40 characters
    QString policy;    // at most 20 characters
    QString yourName;  // at most 30 characters
    bool printCompany = false;
    bool printPolicy = false;
    bool printStatement = false;
};

// An item's photo as a report prints it, with its caption.
struct ItemPhoto {
    QImage image;
    QString caption;
};
// The first photo of a record (number from 0), read no larger than bound
// pixels; none when the item has no readable photo.
using PhotoSource = std::function<std::optional<ItemPhoto>(uint32_t recno, const QSize& bound)>;

// What a report takes from the program's settings besides its definition.
struct ReportSettings {
    ReportSettings();  // the schema's default titles, no sort order, built-in styles

    // Column header of each field position 1 to 22 (index 0 to 21).
    std::array<QString, store::kItemFieldCount> fieldTitles;
    // The sort order's field positions, 0 for none, primary first.
    std::array<int, 4> sortFields{};
    InsuranceDetails insurance;
    NumberStyles numbers;
    // The date the footer and the statement show.
    store::Date today;
    // Where the photos of a definition that prints them come from; empty:
    // no item has any.
    PhotoSource photos;
};

struct ReportProgress {
    // Composing the pages, then (PDF files only) writing them out.
    enum class Stage { Composing, WritingPdf } stage = Stage::Composing;
    int page = 0;           // the page being composed or written
    int pageCount = 0;      // pages to write (writing only)
    size_t itemsDone = 0;   // items written so far
    size_t itemCount = 0;   // items the report covers
};
// Called at the start of every page and every few hundred items; returning
// false cancels the report (it stops at once, after the page's footer;
// a PDF being written is not kept).
using ProgressCallback = std::function<bool(const ReportProgress&)>;

// A failure inside a report run (the text file could not be written, a
// record could not be read), carrying the message for the user.
class ReportRunError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class ReportWriter {
public:
    // The definition, the table and the settings must outlive the writer.
    // textFile: the file of the text output, otherwise unused.
    ReportWriter(const ReportDefinition& def, store::Table& table, const ReportSettings& settings, OutputMode mode,
                 QString textFile = {});
    ~ReportWriter();
    ReportWriter(const ReportWriter&) = delete;
    ReportWriter& operator=(const ReportWriter&) = delete;

    // Answers the engine's page events from now on.
    void Attach(engine::PageEngine& engine);
    void SetProgress(ProgressCallback progress) { m_progress = std::move(progress); }

    // After a run: whether every item and the end block were written, and
    // the items written.
    bool Completed() const { return m_endPrinted && m_next >= m_records.size(); }
    size_t ItemsWritten() const { return m_next; }
    size_t ItemCount() const { return m_records.size(); }

    // "Cost", "Value", "Replacement Cost", "Quantity" sums of the whole report.
    const std::array<double, kTotalsCount>& GrandTotals() const { return m_grand; }

    // After a run: one line for the user when figures were too wide to print
    // (which items of the definition to widen); empty when all fitted.
    QString Notice() const;

    // The smallest size a figure is drawn at, in points, before it gives
    // way to "#" marks (a font already smaller is not made smaller).
    static constexpr double kSmallestFigure = 6.0;

private:
    class TextOut;
    enum class Align { Centre = 0, Left = 1, Right = 2 };

    void BeforePrint(engine::PageEngine& e);
    void PrintHeader(engine::PageEngine& e);
    bool PrintPage(engine::PageEngine& e);
    void PrintFooter(engine::PageEngine& e);
    void AfterPrint(engine::PageEngine& e);

    bool Text() const { return m_mode == OutputMode::TextFile; }
    // Whether lines more lines fit; the first thing on a page always fits,
    // so that a page too small for it cannot hold the report up for ever.
    bool Fits(engine::PageEngine& e, int lines) const;
    void SelectFont(engine::PageEngine& e, FontSlot slot);
    // Text output: one line to the file and one line on the engine, where
    // the page has one line for it.
    void FileLine(engine::PageEngine& e, const QString& line);

    void MakeColumns(engine::PageEngine& e, const ReportLine& line, bool labelsRight, Align others, int borders);
    void RestoreLineOneColumns(engine::PageEngine& e);
    void WriteColumnHeaders(engine::PageEngine& e);
    // Body line m (1 to 12) of the definition for the record.
    void WriteBodyLine(engine::PageEngine& e, int m, const store::RecordView& record);
    // Line m of the definition (0: the totals line), the value of each field
    // item given by value(item).
    template <class Value>
    void WriteItems(engine::PageEngine& e, int m, const Value& value);
    // Whether item i of line m (0: the totals line) prints a figure.
    bool IsFigure(int m, const ReportItem& item) const;
    // A figure into column i + 1 of line m on a page: as it is, smaller, or
    // as marks; out holds the line's cells not yet written.
    void WriteFigure(engine::PageEngine& e, QString& out, const QString& text, int m, int i);
    void WriteRecord(engine::PageEngine& e, const store::RecordView& record);
    // Whether this report prints photos at all.
    bool PrintsPhotos() const { return m_photoRoom > 0; }
    std::optional<ItemPhoto> PhotoOf(uint32_t recno) const;
    // Lines an item with this photo takes.
    int PhotoLines(engine::PageEngine& e, const ItemPhoto& photo) const;
    // The photo at the right of the lines just begun at y, its caption below;
    // the lines written so far are counted in written.
    void WritePhoto(engine::PageEngine& e, const ItemPhoto& photo, double top, int written);
    void WriteTotalsLine(engine::PageEngine& e, const std::array<double, kTotalsCount>& totals);
    void WriteCentredTitle(engine::PageEngine& e, const QString& title);
    // A cell's text cut until it fits the column, for the printed page.
    QString FitColumn(engine::PageEngine& e, const QString& text, int column);
    QString FitWidth(engine::PageEngine& e, const QString& text, double width);
    // Whether the text surely fits the width, told from the widths of its
    // characters alone (no for any text it cannot tell).
    bool SurelyFits(engine::PageEngine& e, const QString& text, double width);

    bool GroupBreak(engine::PageEngine& e, const QString& value);
    bool GroupTotals(engine::PageEngine& e);
    bool GroupHeading(engine::PageEngine& e);
    bool EndBlock(engine::PageEngine& e);
    void AddToTotals(const store::RecordView& record);

    QString FieldValue(const store::RecordView& record, int position) const;
    QString GroupText(const store::RecordView& record, int position) const;
    QString TotalsValue(int number, const std::array<double, kTotalsCount>& totals) const;
    QString InsuranceLine() const;
    QString Today() const;
    void Progress(engine::PageEngine& e);

    const ReportDefinition& m_def;
    store::Table& m_table;
    const ReportSettings& m_settings;
    OutputMode m_mode;
    QString m_textFileName;
    std::unique_ptr<TextOut> m_text;
    ProgressCallback m_progress;

    // Table field index of each schema position (index 0 unused); -1 when
    // the table lacks the field.
    std::array<int, store::kItemFieldCount + 1> m_fieldIndex{};
    std::vector<uint32_t> m_records;
    size_t m_next = 0;

    int m_lines = 0;     // n: body lines per item
    int m_width = 90;    // W: characters per line
    double m_printable = 7.5;  // P: inches between the margins
    // Inches at the right of the columns kept for photos (0: none printed),
    // and the box a photo is fitted into.
    double m_photoRoom = 0;
    QSizeF m_photoBox;
    int m_borders = 0;
    int m_group1 = 0, m_group2 = 0;
    QString m_last1, m_last2;
    bool m_headingPending = false;
    bool m_totalsPending = false;
    bool m_firstGroup = true;
    bool m_endPrinted = false;
    bool m_fresh = true;  // nothing written on the body of this page yet
    // The widths of the characters U+0020 to U+00FF of each font used.
    struct CharWidths;
    std::vector<std::unique_ptr<CharWidths>> m_charWidths;
    CharWidths* m_lastWidths = nullptr;
    // Texts measured in full (those near or beyond their column's width),
    // by width and text, with what fits; for the font m_measuredFont.
    QHash<QPair<double, QString>, QString> m_measured;
    engine::FontState m_measuredFont;
    // The label texts of the body lines (index 0 the totals line).
    std::array<std::array<QString, kItemsPerLine>, kMaxBodyLines + 1> m_labels;
    std::array<double, kTotalsCount> m_group{};
    std::array<double, kTotalsCount> m_grand{};
    size_t m_sinceProgress = 0;
    // Items (line, item index) whose figures were printed as marks.
    std::set<std::pair<int, int>> m_unfit;
};

}  // namespace reports
