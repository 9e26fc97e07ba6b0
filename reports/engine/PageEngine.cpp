#include "PageEngine.h"

#include <QBuffer>
#include <QCoreApplication>
#include <algorithm>
#include <cmath>

#include "EngineServices.h"
#include "TextShaper.h"

namespace reports::engine {

namespace {

// Lines are compared with a little slack so that a band made to hold
// exactly n lines holds n, whatever the rounding of the sums.
constexpr double kSlack = 1e-9;

// A position as recorded: a float, kept within the range a recorded
// report may hold (see ReportStreamReader), never NaN.
float Coord(double inches) {
    if (!(inches == inches)) return 0;
    return float(std::clamp(inches, -10000.0, 10000.0));
}

Align AlignFrom(int alignment) {
    switch (alignment) {
    case 0: return Align::Centre;
    case 2: return Align::Right;
    default: return Align::Left;
    }
}

}  // namespace

const char* const PageEngine::kDefaultTitle = "Halvenor Inventory Report";

PageEngine::PageEngine(QObject* parent) : QObject(parent) {
    m_bodyTop = m_marginTop;
    m_bodyBottom = kReferenceHeight - m_marginBottom;
    m_y = m_bodyTop;
    m_x = m_marginLeft;
}

PageEngine::~PageEngine() = default;

// ---------------------------------------------------------------- units

void PageEngine::SetUnits(Units units) {
    m_units = units;
    switch (units) {
    case Units::unInch: m_unitsFactor = 1.0; break;
    case Units::unMM: m_unitsFactor = 25.4; break;
    case Units::unCM: m_unitsFactor = 2.54; break;
    case Units::unPoint: m_unitsFactor = 72.0; break;
    case Units::unUser: break;
    }
}

void PageEngine::SetUnitsFactor(double factor) {
    if (!(factor > 0) || !std::isfinite(factor)) return;
    m_unitsFactor = factor;
    if (factor == 1.0)
        m_units = Units::unInch;
    else if (factor == 25.4)
        m_units = Units::unMM;
    else if (factor == 2.54)
        m_units = Units::unCM;
    else if (factor == 72.0)
        m_units = Units::unPoint;
    else
        m_units = Units::unUser;
}

// ---------------------------------------------------------------- devices

QSizeF PageEngine::ReferencePaper() const {
    if (m_orientation == Orientation::poLandScape) return {kReferenceHeight, kReferenceWidth};
    return {kReferenceWidth, kReferenceHeight};
}

QSizeF PageEngine::DevicePaperSize() const { return ReferencePaper(); }

DeviceNames PageEngine::Devices() const {
    return {QStringLiteral("Preview Only"), QStringLiteral("Preview Only"), QStringLiteral("Preview")};
}

// ---------------------------------------------------------------- metrics

double PageEngine::MeasureInches(const QString& text) const {
    if (text.isEmpty()) return 0;
    return TextShaper::Instance().Width(m_state.font, text) / TextShaper::kResolution;
}

double PageEngine::MeasureText(const QString& text) const { return FromIn(MeasureInches(text)); }

double PageEngine::MeasureTextAt(const QString& text, double points) const {
    if (text.isEmpty()) return 0;
    FontState font = m_state.font;
    font.height = float(std::clamp(points, kMinFontSize, kMaxFontSize) / 72.0);
    return FromIn(TextShaper::Instance().Width(font, text) / TextShaper::kResolution);
}

double PageEngine::FontHeightInches() const {
    return TextShaper::Instance().Metrics(m_state.font).height / TextShaper::kResolution;
}

double PageEngine::FontHeight() const { return FromIn(FontHeightInches()); }

double PageEngine::LineHeightInches() const {
    if (m_lineHeightMethod == LineHeightMethod::lhmLinesPerInch) return 1.0 / (m_linesPerInch > 0 ? m_linesPerInch : 6);
    return m_selectedSize / 60.0;
}

// ---------------------------------------------------------------- band and lines

void PageEngine::BodyTop(double y) {
    m_bodyTop = ToIn(y);
    if (m_y < m_bodyTop) m_y = m_bodyTop;
}

void PageEngine::BodyBottom(double y) {
    m_bodyBottom = ToIn(y);
    if (m_y > m_bodyBottom) m_y = m_bodyBottom;
}

void PageEngine::GoToBodyStart() {
    m_y = m_bodyTop;
    m_lineNumber = 1;
    m_tabIndex = 0;
    m_x = m_marginLeft;
}

void PageEngine::GoToLastLine() {
    GoToBodyStart();
    const int lines = RemainingLines();
    if (lines > 1) {
        m_y += (lines - 1) * LineHeightInches();
        m_lineNumber = lines;
    }
}

void PageEngine::NewLine() {
    m_y += LineHeightInches();
    ++m_lineNumber;
    m_tabIndex = 0;
    m_x = m_marginLeft;
}

int PageEngine::RemainingLines() const {
    const double h = FontHeightInches();
    const double room = m_bodyBottom - m_y - h;
    if (room < -kSlack) return 0;
    const double lineHeight = LineHeightInches();
    if (!(lineHeight > 0)) return 1;
    const double more = std::floor(std::max(0.0, room) / lineHeight + kSlack);
    return more >= 1e6 ? 1000000 : int(more) + 1;
}

void PageEngine::ResetPage(bool firstPage) {
    m_bodyTop = m_marginTop;
    m_bodyBottom = PaperSizeInches().height() - m_marginBottom;
    GoToBodyStart();
    if (firstPage) m_columns.clear();
}

// ---------------------------------------------------------------- text

void PageEngine::PutText(Align align, double x, const QString& text) {
    if (!m_outputOn || text.isEmpty()) return;
    OutText(align, Coord(x), Coord(m_y + m_textDrop), text);
}

void PageEngine::WriteCellAt(const QString& text, double points) {
    const FontState font = m_state.font;
    TextShaper& shaper = TextShaper::Instance();
    const double ascent = shaper.Metrics(font).ascent;
    m_state.font.height = float(std::clamp(points, kMinFontSize, kMaxFontSize) / 72.0);
    StateChanged();
    m_textDrop = std::max(0.0, ascent - shaper.Metrics(m_state.font).ascent) / TextShaper::kResolution;
    Tab(text);
    m_textDrop = 0;
    m_state.font = font;
    StateChanged();
}

void PageEngine::WriteText(const QString& text) {
    qsizetype start = 0;
    qsizetype tab = text.indexOf(QLatin1Char('\t'));
    const QString first = tab < 0 ? text : text.left(tab);
    if (!first.isEmpty()) {
        PutText(Align::Left, m_x, first);
        m_x += MeasureInches(first);
    }
    while (tab >= 0) {
        start = tab + 1;
        tab = text.indexOf(QLatin1Char('\t'), start);
        Tab(tab < 0 ? text.mid(start) : text.mid(start, tab - start));
    }
}

void PageEngine::Tab(const QString& text) {
    ++m_tabIndex;
    if (m_tabIndex > int(m_columns.size())) {
        // No stop left: the text follows on where the line stands.
        if (!text.isEmpty()) {
            PutText(Align::Left, m_x, text);
            m_x += MeasureInches(text);
        }
        return;
    }
    const ColumnStop& stop = m_columns[size_t(m_tabIndex - 1)];
    if (stop.width > 0 && m_outputOn) {
        int shade = stop.shade > 0 ? stop.shade : m_tabShade;
        shade = std::clamp(shade, 0, 100);
        std::optional<ColourRef> fill;
        if (shade > 0) {
            const int level = 255 - shade * 255 / 100;
            fill = ColourRef(level) | ColourRef(level) << 8 | ColourRef(level) << 16;
        }
        const uint8_t borders = stop.borders & (BorderLeft | BorderRight | BorderTop | BorderBottom);
        if (fill || borders)
            OutCell(Coord(stop.left), Coord(m_y), Coord(stop.left + stop.width), Coord(m_y + LineHeightInches()), fill,
                    borders);
    }
    switch (stop.align) {
    case Align::Centre: PutText(Align::Centre, stop.left + stop.width / 2, text); break;
    case Align::Left: PutText(Align::Left, stop.left + stop.innerMargin, text); break;
    case Align::Right: PutText(Align::Right, stop.left + stop.width - stop.innerMargin, text); break;
    }
    m_x = stop.left + stop.width;
}

void PageEngine::WriteLine(const QString& text) {
    WriteText(text);
    NewLine();
}

void PageEngine::WriteCentredAt(const QString& text, double x) { PutText(Align::Centre, ToIn(x), text); }

void PageEngine::WriteAcross(const QString& text, int alignment) {
    const double left = m_marginLeft, right = PaperSizeInches().width() - m_marginRight;
    switch (AlignFrom(alignment)) {
    case Align::Centre: PutText(Align::Centre, (left + right) / 2, text); break;
    case Align::Left: PutText(Align::Left, left, text); break;
    case Align::Right: PutText(Align::Right, right, text); break;
    }
}

// ---------------------------------------------------------------- columns

void PageEngine::AddColumn(int alignment, int borders, int shade, double innerMargin, double width, double position) {
    ColumnStop stop;
    stop.align = AlignFrom(alignment);
    stop.borders = uint8_t(borders & 0x0F);
    stop.shade = shade;
    stop.innerMargin = ToIn(innerMargin / 100.0);
    stop.width = std::clamp(ToIn(width), 0.0, 10000.0);
    if (position < 0)
        stop.left = m_columns.empty() ? m_marginLeft : m_columns.back().left + m_columns.back().width;
    else
        stop.left = std::min(ToIn(position), 10000.0);
    m_columns.push_back(stop);
}

void PageEngine::ClearColumns() {
    m_columns.clear();
    m_tabIndex = 0;
}

const ColumnStop* PageEngine::Column(int n) const {
    if (n < 1 || n > int(m_columns.size())) return nullptr;
    return &m_columns[size_t(n - 1)];
}

double PageEngine::ColumnTextWidth(int n) const {
    const ColumnStop* stop = Column(n);
    if (!stop) return 0;
    return FromIn(std::max(0.0, stop->width - 2 * stop->innerMargin));
}

// ---------------------------------------------------------------- fonts

void PageEngine::SelectFont(const QString& name, double size) {
    if (!(size > 0) || !std::isfinite(size)) return;
    size = std::clamp(size, kMinFontSize, kMaxFontSize);
    FontState font;
    font.name = name;
    font.height = float(size / 72.0);
    m_state.font = font;
    m_selectedSize = size;
    StateChanged();
}

void PageEngine::SetFontStyle(bool bold, bool italic, bool underline, bool strikeout) {
    m_state.font.bold = bold;
    m_state.font.italic = italic;
    m_state.font.underline = underline;
    m_state.font.strikeout = strikeout;
    StateChanged();
}

void PageEngine::SetFontColour(const QColor& colour) {
    m_state.font.colour = ToColourRef(colour);
    StateChanged();
}

void PageEngine::SetFontPitch(FontPitch pitch) {
    m_state.font.pitch = pitch;
    StateChanged();
}

QFont PageEngine::CreateFont(const QString& name, double size) {
    FontState font;
    font.name = name;
    return TextShaper::MakeFont(font, size);
}

// ---------------------------------------------------------------- drawing

void PageEngine::SetPen(const QColor& colour, PenStyle style, double width, PenMode mode) {
    m_state.pen.colour = ToColourRef(colour);
    m_state.pen.style = style;
    m_state.pen.width = float(std::clamp(ToIn(width), 0.0, 10.0));
    m_state.pen.mode = mode;
    StateChanged();
}

void PageEngine::SetBrush(const QColor& colour, BrushStyle style) {
    m_state.brush.colour = ToColourRef(colour);
    m_state.brush.style = style;
    StateChanged();
}

void PageEngine::SetBrushPicture(const QImage& image) {
    m_state.brush.picture.clear();
    m_state.brush.pictureKind = PictureKind::None;
    if (!image.isNull()) {
        QBuffer buffer(&m_state.brush.picture);
        buffer.open(QIODevice::WriteOnly);
        if (image.save(&buffer, "PNG")) m_state.brush.pictureKind = PictureKind::Bitmap;
        else m_state.brush.picture.clear();
    }
    StateChanged();
}

void PageEngine::SetTextBackground(bool opaque, const QColor& colour) {
    m_state.opaqueText = opaque;
    m_state.background = ToColourRef(colour);
    StateChanged();
}

void PageEngine::SetScaleX(double percent) {
    if (!(percent >= 1 && percent <= 1000)) return;
    m_state.scaleX = float(percent);
    StateChanged();
}

void PageEngine::SetScaleY(double percent) {
    if (!(percent >= 1 && percent <= 1000)) return;
    m_state.scaleY = float(percent);
    StateChanged();
}

void PageEngine::Line(double x1, double y1, double x2, double y2) {
    if (m_outputOn) OutLine(Coord(ToIn(x1)), Coord(ToIn(y1)), Coord(ToIn(x2)), Coord(ToIn(y2)));
}

void PageEngine::Rectangle(double x1, double y1, double x2, double y2) {
    if (m_outputOn) OutRectangle(Coord(ToIn(x1)), Coord(ToIn(y1)), Coord(ToIn(x2)), Coord(ToIn(y2)));
}

void PageEngine::PrintBitmapRect(double x1, double y1, double x2, double y2, const QImage& image) {
    if (!m_outputOn || image.isNull()) return;
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    if (!image.save(&buffer, "PNG")) return;
    OutPicture(Coord(ToIn(x1)), Coord(ToIn(y1)), Coord(ToIn(x2)), Coord(ToIn(y2)), PictureKind::Bitmap, bytes);
}

// ---------------------------------------------------------------- status

void PageEngine::RefreshStatus() {
    QString out;
    const QString& format = m_statusFormat;
    for (qsizetype i = 0; i < format.size(); ++i) {
        const QChar c = format[i];
        if (c != QLatin1Char('%') || i + 1 >= format.size()) {
            out += c;
            continue;
        }
        const QChar code = format[++i];
        const char16_t u = code.toUpper().unicode();
        if (u == u'%')
            out += QLatin1Char('%');
        else if (u >= u'0' && u <= u'9') {
            const int line = u - u'0';
            if (line < m_statusText.size()) out += m_statusText[line];
        } else if (u == u'P')
            out += QString::number(m_currentPage);
        else if (u == u'F')
            out += QString::number(m_firstPage);
        else if (u == u'L')
            out += QString::number(m_lastPage);
        else if (u == u'D' || u == u'R' || u == u'T') {
            const DeviceNames names = Devices();
            out += u == u'D' ? names.device : u == u'R' ? names.driver : names.port;
        } else
            out += QStringLiteral("<ERROR-%") + code + QLatin1Char('>');
    }
    m_statusLine = out;
    if (OnStatus) OnStatus(out);
    if (QCoreApplication::instance()) QCoreApplication::processEvents();
}

// ---------------------------------------------------------------- the job

bool PageEngine::RunJob() {
    if (m_printing) return false;
    RefreshDevice();
    if (!JobCanStart()) return false;
    m_printing = true;
    m_currentPage = 0;
    bool ok = true;
    auto finish = [this] {
        m_outputOn = false;
        m_printing = false;
    };
    try {
        if (OnBeforePrint) OnBeforePrint(*this);
        BeginOutput();
        m_aborted = false;
        ResetPage(true);
        m_currentPage = 1;
        auto skipped = [this] { return m_aborted || m_currentPage < m_firstPage || m_currentPage > m_lastPage; };
        bool skip = skipped();
        BeginOutputPage(skip);
        m_outputOn = !skip;
        RefreshStatus();
        if (OnNewPage) OnNewPage(*this);
        if (OnPrintHeader) OnPrintHeader(*this);
        // The loop ends when no more pages are wanted or the job was
        // cancelled, whichever comes first.
        while (!m_aborted && OnPrintPage && OnPrintPage(*this, m_currentPage) && !m_aborted) {
            if (OnPrintFooter) OnPrintFooter(*this);
            m_outputOn = false;
            EndOutputPage();
            ++m_currentPage;
            RefreshStatus();
            skip = skipped();
            ResetPage(false);
            BeginOutputPage(skip);
            m_outputOn = !skip;
            if (OnNewPage) OnNewPage(*this);
            if (OnPrintHeader) OnPrintHeader(*this);
        }
        if (OnPrintFooter) OnPrintFooter(*this);
        m_outputOn = false;
        EndOutputPage();
        EndOutput(m_aborted);
    } catch (const ReportError& e) {
        m_outputOn = false;
        try {
            EndOutput(true);
        } catch (const ReportError&) {
        }
        finish();
        ShowMessage(QStringLiteral("Error"), QString::fromStdString(e.what()));
        ok = false;
    } catch (...) {
        m_outputOn = false;
        try {
            EndOutput(true);
        } catch (const ReportError&) {
        }
        finish();
        if (OnAfterPrint) OnAfterPrint(*this);
        throw;
    }
    finish();
    if (OnAfterPrint) OnAfterPrint(*this);
    return ok;
}

}  // namespace reports::engine
