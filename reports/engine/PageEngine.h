#pragma once
// The page engine every report is drawn with. A report writer never draws
// on a device itself: it sets margins, fonts and column stops here, writes
// text line by line, and answers the page events while RunJob runs. What
// happens to the pages depends on the engine object chosen:
//
//   PrinterPageEngine  composes straight onto the printer;
//   ReportRecorder    records every page into a stream (the recorded report);
//   RecordedReportPrinter    replays recorded pages onto the printer or a PDF file;
//   RecordedPagePreview    replays one recorded page at a time onto an image.
//
// All lengths given to or read from the engine are in the current units
// (UnitsFactor units to the inch; inches unless changed), measured from the
// paper's top-left corner. Text is placed by lines: the current line has a
// top y inside the body band (BodyTop to BodyBottom); ending a line moves y
// down by LineHeight. There is no automatic page break: the writer asks
// RemainingLines and ends the page by returning from OnPrintPage (true asks
// for another page).
//
// Column stops: each tab in written text moves to the next stop of the
// line. A stop wider than 0 first paints its cell (the stop's width, the
// line's height): shade, then borders; text in it is placed by its
// alignment and inner margin. Text is never clipped: a writer shortens it
// with MeasureText and ColumnTextWidth.
//
// Running a job (RunJob): OnBeforePrint; then for page 1 OnNewPage and
// OnPrintHeader; then OnPrintPage repeatedly, with OnPrintFooter, OnNewPage
// and OnPrintHeader between pages, while OnPrintPage returns true and the
// job is not cancelled; OnPrintFooter for the last page; OnAfterPrint (also
// when an event throws; the exception then travels on out of RunJob). Pages
// outside FirstPage..LastPage are composed but not output.
//
// Preconditions: a QGuiApplication exists (fonts are measured with Qt);
// everything runs on the GUI thread.

#include <QFont>
#include <QImage>
#include <QObject>
#include <QSizeF>
#include <QStringList>
#include <functional>
#include <optional>
#include <vector>

#include "ReportTypes.h"

namespace reports::engine {

// The names the status line shows for %D, %R and %T.
struct DeviceNames {
    QString device;
    QString driver;
    QString port;
};

class PageEngine : public QObject {
public:
    explicit PageEngine(QObject* parent = nullptr);
    ~PageEngine() override;
    PageEngine(const PageEngine&) = delete;
    PageEngine& operator=(const PageEngine&) = delete;

    // ---- events, raised while RunJob runs
    std::function<void(PageEngine&)> OnBeforePrint;
    std::function<void(PageEngine&)> OnNewPage;
    std::function<void(PageEngine&)> OnPrintHeader;
    // Receives the page being composed; returns true while more pages are needed.
    std::function<bool(PageEngine&, int page)> OnPrintPage;
    std::function<void(PageEngine&)> OnPrintFooter;
    std::function<void(PageEngine&)> OnAfterPrint;
    // Stands for the status label: receives each status line RefreshStatus makes.
    std::function<void(const QString&)> OnStatus;

    // ---- units: UnitsFactor units make an inch. Setting the factor picks
    // the units (1 inch, 25.4 mm, 2.54 cm, 72 points, else user); a factor of
    // 0 or less is ignored. Setting unUser keeps the factor.
    Units UnitsKind() const { return m_units; }
    void SetUnits(Units units);
    double UnitsFactor() const { return m_unitsFactor; }
    void SetUnitsFactor(double factor);

    // ---- page set-up
    double MarginLeft() const { return FromIn(m_marginLeft); }
    double MarginRight() const { return FromIn(m_marginRight); }
    double MarginTop() const { return FromIn(m_marginTop); }
    double MarginBottom() const { return FromIn(m_marginBottom); }
    void SetMarginLeft(double v) { m_marginLeft = ToIn(v); }
    void SetMarginRight(double v) { m_marginRight = ToIn(v); }
    void SetMarginTop(double v) { m_marginTop = ToIn(v); }
    void SetMarginBottom(double v) { m_marginBottom = ToIn(v); }
    // The paper of the device composed for (the recorded paper when
    // replaying); 8.5 by 11 inches (11 by 8.5 in landscape) without a printer.
    double PaperWidth() const { return FromIn(PaperSizeInches().width()); }
    double PaperHeight() const { return FromIn(PaperSizeInches().height()); }
    Orientation GetOrientation() const { return m_orientation; }
    void SetOrientation(Orientation orientation) { m_orientation = orientation; }
    int Copies() const { return m_copies; }
    void SetCopies(int copies) { m_copies = copies; }
    int FirstPage() const { return m_firstPage; }
    int LastPage() const { return m_lastPage; }
    void SetFirstPage(int page) { m_firstPage = page; }
    void SetLastPage(int page) { m_lastPage = page; }
    QString Title() const { return m_title; }
    void SetTitle(const QString& title) { m_title = title; }
    // The title a job carries until one is set.
    static const char* const kDefaultTitle;

    // ---- lines
    LineHeightMethod GetLineHeightMethod() const { return m_lineHeightMethod; }
    void SetLineHeightMethod(LineHeightMethod method) { m_lineHeightMethod = method; }
    int LinesPerInch() const { return m_linesPerInch; }
    void SetLinesPerInch(int lines) { m_linesPerInch = lines; }
    // lhmFont: the size of the font last chosen with SelectFont, in points,
    // divided by 60 inches; lhmLinesPerInch: 1 / LinesPerInch.
    double LineHeight() const { return FromIn(LineHeightInches()); }
    // The current font's text height on the device composed for.
    double FontHeight() const;

    // ---- position and band
    double BodyTop() const { return FromIn(m_bodyTop); }
    double BodyBottom() const { return FromIn(m_bodyBottom); }
    // Set a band edge; a current line outside the new band moves onto the edge.
    void BodyTop(double y);
    void BodyBottom(double y);
    // Column 1 of line 1: the current line becomes the first under BodyTop.
    void GoToBodyStart();
    // The last whole line of the current font that fits in the band (line 1
    // when none fits).
    void GoToLastLine();
    // Ends the current line: y moves down by LineHeight, back before the first stop.
    void NewLine();
    // Whole lines of the current font that still fit in the band: 0 when
    // y + FontHeight exceeds BodyBottom, else 1 + the whole part of
    // (BodyBottom − y − FontHeight) / LineHeight.
    int RemainingLines() const;
    double XPos() const { return FromIn(m_x); }
    double YPos() const { return FromIn(m_y); }
    void SetXPos(double x) { m_x = ToIn(x); }
    int LineNumber() const { return m_lineNumber; }
    // 0 before the first stop, then the stop the last tab reached.
    int ColumnNumber() const { return m_tabIndex; }

    // ---- text
    // Writes text at the current position; each tab moves to the next
    // column stop and the text after it is written into that stop. Text
    // before the first tab starts at the current x, which moves past it.
    void WriteText(const QString& text);
    void WriteLine(const QString& text);
    void WriteCentredAt(const QString& text, double x);
    // Text across the width between the margins: 0 centred, 1 at the left
    // margin, 2 ending at the right margin.
    void WriteAcross(const QString& text, int alignment);
    // Width of the text in the current font (at 100 %).
    double MeasureText(const QString& text) const;
    // Width of the text in the current font drawn at points instead.
    double MeasureTextAt(const QString& text, double points) const;
    // Writes text into the next column stop, as a tab in WriteText does,
    // but drawn at points (a size below the current font's, for a figure
    // that must be read whole in a narrow column). The text stands on the
    // current font's baseline; the cell, the line and the current font are
    // as they were.
    void WriteCellAt(const QString& text, double points);
    // The current font's size in points.
    double FontPoints() const { return m_state.font.height * 72.0; }

    // ---- column stops
    // alignment 0 centre, 1 left, 2 right; borders BorderBits; shade percent
    // (0: TabShade applies); innerMargin in hundredths of the unit; a
    // negative position places the stop after the previous one (the first
    // such at the left margin).
    void AddColumn(int alignment, int borders, int shade, double innerMargin, double width, double position);
    // Removes every stop; the next tab goes to the first stop again.
    void ClearColumns();
    int ColumnCount() const { return int(m_columns.size()); }
    // Stop n (from 1) in inches, or nullptr.
    const ColumnStop* Column(int n) const;
    // Width of stop n less twice its inner margin (never below 0); 0 when
    // there is no stop n.
    double ColumnTextWidth(int n) const;
    int TabShade() const { return m_tabShade; }
    void SetTabShade(int percent) { m_tabShade = percent; }

    // ---- fonts: the current font is black, regular, default pitch after
    // SelectFont. Sizes are points, kept between kMinFontSize and kMaxFontSize;
    // a size of 0 or less is ignored.
    void SelectFont(const QString& name, double size);
    static constexpr double kMinFontSize = 0.5;
    static constexpr double kMaxFontSize = 1440;
    void SetFontStyle(bool bold, bool italic, bool underline, bool strikeout);
    void SetFontColour(const QColor& colour);
    void SetFontPitch(FontPitch pitch);
    const FontState& Font() const { return m_state.font; }
    // A separate font (black, regular) for the caller to keep, sized in points.
    static QFont CreateFont(const QString& name, double size);

    // ---- drawing beyond text
    // Width 0 is the thinnest line the device draws well.
    void SetPen(const QColor& colour, PenStyle style = PenStyle::Solid, double width = 0, PenMode mode = PenMode::Copy);
    void SetBrush(const QColor& colour, BrushStyle style = BrushStyle::Solid);
    // A picture brush tiles the image; a null image returns to the colour.
    void SetBrushPicture(const QImage& image);
    void SetTextBackground(bool opaque, const QColor& colour);
    void SetScaleX(double percent);
    void SetScaleY(double percent);
    double ScaleX() const { return m_state.scaleX; }
    double ScaleY() const { return m_state.scaleY; }
    void Line(double x1, double y1, double x2, double y2);
    // Outlined with the pen, filled with the brush.
    void Rectangle(double x1, double y1, double x2, double y2);
    void PrintBitmapRect(double x1, double y1, double x2, double y2, const QImage& image);
    const DrawState& State() const { return m_state; }

    // ---- status line
    // "%" codes: "%%" a percent sign, a digit that line of StatusText, P the
    // current page, F FirstPage, L LastPage, D R T the device, driver and
    // port; any other code gives "<ERROR-%" the code ">".
    QString StatusFormat() const { return m_statusFormat; }
    void SetStatusFormat(const QString& format) { m_statusFormat = format.left(255); }
    QStringList& StatusText() { return m_statusText; }
    QString StatusLine() const { return m_statusLine; }
    // Formats the status line, hands it to OnStatus and lets pending window
    // events run (so that a Cancel button can call CancelJob).
    void RefreshStatus();
    virtual DeviceNames Devices() const;

    // ---- the job
    int CurrentPage() const { return m_currentPage; }
    bool Aborted() const { return m_aborted; }
    bool Printing() const { return m_printing; }
    // The page loop stops after the current page.
    void CancelJob() { m_aborted = true; }
    // Runs the whole report. False when the job was refused (no printer, a
    // job already running) or failed with a message; true when it ran,
    // also when cancelled (see Aborted).
    virtual bool RunJob();

protected:
    double ToIn(double v) const { return v / m_unitsFactor; }
    double FromIn(double v) const { return v * m_unitsFactor; }
    double LineHeightInches() const;
    double FontHeightInches() const;
    double MeasureInches(const QString& text) const;
    // Bumped by every change of the drawing state.
    uint64_t StateVersion() const { return m_stateVersion; }
    void SetCurrentPage(int page) { m_currentPage = page; }
    void SetAborted(bool aborted) { m_aborted = aborted; }
    void SetPrinting(bool printing) { m_printing = printing; }

    // ---- what the engine objects provide
    QSizeF PaperSizeInches() const { return DevicePaperSize(); }
    // The paper as oriented; the reference page by default.
    virtual QSizeF DevicePaperSize() const;
    // Before anything else of a job: what is known of the device (whether
    // the system has a printer) is asked afresh, once for the whole job.
    virtual void RefreshDevice() {}
    // Step 1 of a job: false refuses it (after saying why).
    virtual bool JobCanStart() { return true; }
    virtual void BeginOutput() {}
    // Every page of the job; a skipped page is composed but not output.
    virtual void BeginOutputPage(bool skipped) {}
    virtual void EndOutputPage() {}
    // Ends the document, or abandons it when aborted is set.
    virtual void EndOutput(bool aborted) {}
    // Output of one operation of a page that is output, with State() current.
    virtual void OutText(Align align, float x, float y, const QString& text) {}
    virtual void OutLine(float x1, float y1, float x2, float y2) {}
    virtual void OutRectangle(float x1, float y1, float x2, float y2) {}
    virtual void OutCell(float x1, float y1, float x2, float y2, std::optional<ColourRef> fill, uint8_t borders) {}
    virtual void OutPicture(float x1, float y1, float x2, float y2, PictureKind kind, const QByteArray& bytes) {}
    // The reference page used when there is no printer.
    static constexpr double kReferenceWidth = 8.5;
    static constexpr double kReferenceHeight = 11.0;
    QSizeF ReferencePaper() const;

private:
    void StateChanged() { ++m_stateVersion; }
    void ResetPage(bool firstPage);
    void Tab(const QString& text);
    void PutText(Align align, double x, const QString& text);

    Units m_units = Units::unInch;
    double m_unitsFactor = 1.0;
    double m_marginLeft = 0.5, m_marginRight = 0.5, m_marginTop = 0.5, m_marginBottom = 0.5;
    Orientation m_orientation = Orientation::poDefault;
    int m_copies = 1;
    int m_firstPage = 1;
    int m_lastPage = 9999;
    QString m_title = QString::fromLatin1(kDefaultTitle);
    LineHeightMethod m_lineHeightMethod = LineHeightMethod::lhmFont;
    int m_linesPerInch = 6;
    double m_selectedSize = 10;  // points, of the font last chosen with SelectFont
    int m_tabShade = 0;

    double m_bodyTop = 0.5, m_bodyBottom = 10.5;
    double m_x = 0.5, m_y = 0.5;
    int m_lineNumber = 1;
    int m_tabIndex = 0;
    // How far below the line's top text is placed (WriteCellAt).
    double m_textDrop = 0;
    std::vector<ColumnStop> m_columns;

    DrawState m_state;
    uint64_t m_stateVersion = 0;

    QString m_statusFormat;
    QStringList m_statusText;
    QString m_statusLine;

    int m_currentPage = 0;
    bool m_aborted = false;
    bool m_printing = false;
    bool m_outputOn = false;
};

}  // namespace reports::engine
