#include "PageRenderer.h"

#include <QGlyphRun>
#include <QImage>
#include <QPaintEngine>
#include <QPainter>
#include <QTransform>
#include <algorithm>


namespace reports::engine {

namespace {

Qt::PenStyle QtPenStyle(PenStyle style) {
    switch (style) {
    case PenStyle::Dash: return Qt::DashLine;
    case PenStyle::Dot: return Qt::DotLine;
    case PenStyle::DashDot: return Qt::DashDotLine;
    case PenStyle::DashDotDot: return Qt::DashDotDotLine;
    case PenStyle::Clear: return Qt::NoPen;
    case PenStyle::Solid:
    case PenStyle::InsideFrame: break;
    }
    return Qt::SolidLine;
}

Qt::BrushStyle QtBrushStyle(BrushStyle style) {
    switch (style) {
    case BrushStyle::Clear: return Qt::NoBrush;
    case BrushStyle::Horizontal: return Qt::HorPattern;
    case BrushStyle::Vertical: return Qt::VerPattern;
    case BrushStyle::FDiagonal: return Qt::FDiagPattern;
    case BrushStyle::BDiagonal: return Qt::BDiagPattern;
    case BrushStyle::Cross: return Qt::CrossPattern;
    case BrushStyle::DiagCross: return Qt::DiagCrossPattern;
    case BrushStyle::Solid: break;
    }
    return Qt::SolidPattern;
}

// Borders this close (in device pixels) join.
constexpr double kJoin = 1e-6;

}  // namespace

PageRenderer::PageRenderer(QPainter& painter, double dpiX, double dpiY, double zoom, QPointF origin, bool monochrome)
    : m_painter(painter),
      m_pxPerInchX(dpiX * zoom),
      m_pxPerInchY(dpiY * zoom),
      m_textScaleX(m_pxPerInchX / TextShaper::kResolution),
      m_textScaleY(m_pxPerInchY / TextShaper::kResolution),
      m_origin(origin),
      m_monochrome(monochrome) {
    m_painter.setRenderHint(QPainter::Antialiasing, false);
    m_painter.setRenderHint(QPainter::TextAntialiasing, true);
    m_painter.setBackgroundMode(Qt::TransparentMode);
    m_painter.resetTransform();
}

PageRenderer::~PageRenderer() { Finish(); }

void PageRenderer::Finish() {
    DrawTexts();
    DrawBorders();
    TextTransform(false);
}

QPointF PageRenderer::Map(float x, float y) const {
    return {m_origin.x() + double(x) * m_sx * m_pxPerInchX, m_origin.y() + double(y) * m_sy * m_pxPerInchY};
}

QColor PageRenderer::Ink(ColourRef colour) const {
    if (!m_monochrome || colour == kWhite) return FromColourRef(colour);
    return Qt::black;
}

QColor PageRenderer::Paint(ColourRef colour) const {
    const QColor c = FromColourRef(colour);
    if (!m_monochrome) return c;
    const int grey = qGray(c.rgb());
    return QColor(grey, grey, grey);
}

double PageRenderer::ThinPenWidth() const { return std::max(1.0, kThinLineInches * m_pxPerInchX); }

void PageRenderer::Apply(const DrawState& state) {
    if (m_applied && *m_applied == state) return;
    DrawTexts();
    const bool first = !m_applied;
    m_sx = state.scaleX / 100.0;
    m_sy = state.scaleY / 100.0;
    if (first || !(m_applied->font == state.font)) {
        m_font = state.font;
        m_metrics = TextShaper::Instance().Metrics(m_font);
        m_fontColour = Ink(m_font.colour);
        if (m_penUse == PenUse::Text) m_penUse = PenUse::None;
    }
    if (first || !(m_applied->pen == state.pen)) ApplyPen(state.pen);
    if (first || !(m_applied->brush == state.brush)) ApplyBrush(state.brush);
    m_opaqueText = state.opaqueText;
    m_background = Paint(state.background);
    m_applied = state;
}

void PageRenderer::ApplyPen(const PenState& pen) {
    m_penColour = Ink(pen.colour);
    const double width = pen.width > 0 ? std::max(1.0, double(pen.width) * m_pxPerInchX) : ThinPenWidth();
    m_linePen = QPen(m_penColour, width, QtPenStyle(pen.style), Qt::FlatCap, Qt::MiterJoin);
    m_penUse = PenUse::None;
    const bool rasterOps = m_painter.paintEngine() && m_painter.paintEngine()->hasFeature(QPaintEngine::RasterOpModes);
    m_painter.setCompositionMode(pen.mode == PenMode::Xor && rasterOps ? QPainter::RasterOp_SourceXorDestination
                                                                        : QPainter::CompositionMode_SourceOver);
}

void PageRenderer::ApplyBrush(const BrushState& brush) {
    if (brush.pictureKind == PictureKind::Bitmap) {
        QImage texture;
        if (texture.loadFromData(brush.picture, "PNG")) {
            if (m_monochrome) texture = texture.convertToFormat(QImage::Format_Grayscale8);
            m_painter.setBrush(QBrush(texture));
            return;
        }
    }
    m_painter.setBrush(QBrush(Paint(brush.colour), QtBrushStyle(brush.style)));
}

void PageRenderer::TextTransform(bool on) {
    if (on == m_transformed) return;
    m_transformed = on;
    if (on) m_painter.setWorldTransform(QTransform::fromScale(m_textScaleX, m_textScaleY));
    else m_painter.resetTransform();
}

void PageRenderer::UsePen(PenUse use) {
    if (m_penUse == use) return;
    m_penUse = use;
    m_painter.setPen(use == PenUse::Text ? QPen(m_fontColour) : m_linePen);
}

void PageRenderer::Text(Align align, float x, float y, const QString& text) {
    if (text.isEmpty()) return;
    const ShapedText shaped = TextShaper::Instance().Shape(m_font, text);
    QPointF at = Map(x, y);
    const double width = shaped.width * m_textScaleX;
    if (align == Align::Centre)
        at.rx() -= width / 2;
    else if (align == Align::Right)
        at.rx() -= width;
    if (m_opaqueText) {
        DrawTexts();
        TextTransform(false);
        m_painter.fillRect(QRectF(at.x(), at.y(), width, m_metrics.height * m_textScaleY), m_background);
    }
    // Placed in the units of one scaling transform for all the text of a
    // page: a transform changed for every text makes a PDF restate its whole
    // graphics state each time.
    const QPointF baseline(at.x() / m_textScaleX, at.y() / m_textScaleY + m_metrics.ascent);
    const QPointF origin = baseline - QPointF(0, shaped.baseline);
    for (const QGlyphRun& run : shaped.runs) {
        if (!m_glyphs.isEmpty() && !(run.rawFont() == m_textFont)) DrawTexts();
        if (run.flags() != QGlyphRun::GlyphRunFlags()) {
            // A right-to-left run (or one with decorations) is drawn as laid out.
            DrawTexts();
            UsePen(PenUse::Text);
            TextTransform(true);
            m_painter.drawGlyphRun(origin, run);
            continue;
        }
        m_textFont = run.rawFont();
        m_glyphs += run.glyphIndexes();
        for (const QPointF& position : run.positions()) m_positions.push_back(origin + position);
    }
    if (!m_font.underline && !m_font.strikeout) return;
    // Drawn here rather than by the glyph runs, which place them by each
    // run's own extent: one line under (or through) the whole text.
    DrawTexts();
    const double thickness = std::max(m_metrics.lineWidth, 1.0 / m_textScaleY);
    if (m_font.underline)
        m_painter.fillRect(QRectF(baseline.x(), baseline.y() + m_metrics.underline, shaped.width, thickness), m_fontColour);
    if (m_font.strikeout)
        m_painter.fillRect(QRectF(baseline.x(), baseline.y() + m_metrics.strikeOut, shaped.width, thickness), m_fontColour);
}

void PageRenderer::DrawTexts() {
    if (m_glyphs.isEmpty()) return;
    UsePen(PenUse::Text);
    TextTransform(true);
    QGlyphRun run;
    run.setRawFont(m_textFont);
    run.setGlyphIndexes(m_glyphs);
    run.setPositions(m_positions);
    m_painter.drawGlyphRun(QPointF(0, 0), run);
    m_glyphs.clear();
    m_positions.clear();
}

void PageRenderer::Line(float x1, float y1, float x2, float y2) {
    DrawTexts();
    DrawBorders();
    TextTransform(false);
    UsePen(PenUse::Line);
    m_painter.drawLine(Map(x1, y1), Map(x2, y2));
}

void PageRenderer::Rectangle(float x1, float y1, float x2, float y2) {
    DrawTexts();
    DrawBorders();
    TextTransform(false);
    UsePen(PenUse::Line);
    m_painter.drawRect(QRectF(Map(x1, y1), Map(x2, y2)).normalized());
}

void PageRenderer::Cell(float x1, float y1, float x2, float y2, std::optional<ColourRef> fill, uint8_t borders) {
    const QRectF cell = QRectF(Map(x1, y1), Map(x2, y2)).normalized();
    if (fill) {
        DrawTexts();
        TextTransform(false);
        m_painter.fillRect(cell, Paint(*fill));
    }
    const QRgb colour = m_penColour.rgb();
    if (borders & BorderLeft) m_borders.push_back({false, cell.left(), cell.top(), cell.bottom(), colour});
    if (borders & BorderRight) m_borders.push_back({false, cell.right(), cell.top(), cell.bottom(), colour});
    if (borders & BorderTop) m_borders.push_back({true, cell.top(), cell.left(), cell.right(), colour});
    if (borders & BorderBottom) m_borders.push_back({true, cell.bottom(), cell.left(), cell.right(), colour});
}

void PageRenderer::DrawBorders() {
    if (m_borders.empty()) return;
    std::sort(m_borders.begin(), m_borders.end(), [](const Border& a, const Border& b) {
        if (a.colour != b.colour) return a.colour < b.colour;
        if (a.horizontal != b.horizontal) return a.horizontal < b.horizontal;
        if (a.at != b.at) return a.at < b.at;
        return a.from < b.from;
    });
    TextTransform(false);
    std::vector<QLineF> lines;
    auto draw = [&](QRgb colour) {
        if (lines.empty()) return;
        m_painter.setPen(QPen(QColor(colour), ThinPenWidth(), Qt::SolidLine, Qt::SquareCap));
        m_painter.drawLines(lines.data(), int(lines.size()));
        lines.clear();
    };
    Border run = m_borders.front();
    auto close = [&] {
        lines.push_back(run.horizontal ? QLineF(run.from, run.at, run.to, run.at) : QLineF(run.at, run.from, run.at, run.to));
    };
    for (size_t i = 1; i < m_borders.size(); ++i) {
        const Border& b = m_borders[i];
        if (b.colour == run.colour && b.horizontal == run.horizontal && b.at == run.at && b.from <= run.to + kJoin) {
            run.to = std::max(run.to, b.to);
            continue;
        }
        close();
        if (b.colour != run.colour) draw(run.colour);
        run = b;
    }
    close();
    draw(run.colour);
    m_borders.clear();
    m_penUse = PenUse::None;
}

void PageRenderer::Picture(float x1, float y1, float x2, float y2, PictureKind kind, const QByteArray& bytes) {
    DrawTexts();
    DrawBorders();
    if (kind != PictureKind::Bitmap) return;
    QImage image;
    if (!image.loadFromData(bytes, "PNG")) return;
    if (m_monochrome) image = image.convertToFormat(QImage::Format_Grayscale8);
    TextTransform(false);
    m_painter.drawImage(QRectF(Map(x1, y1), Map(x2, y2)).normalized(), image);
}

}  // namespace reports::engine
