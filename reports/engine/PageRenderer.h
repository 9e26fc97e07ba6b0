#pragma once
// Draws the engine's page operations with a QPainter. Both roads to a device
// go through here: a report composed straight onto a printer and a recorded
// report replayed onto an image, a printer or a PDF file. Keeping one drawing
// path is what makes a replayed page look exactly like a composed one.
//
// Positions arrive in inches from the paper's top-left corner; the renderer
// maps them with the device's resolution, the zoom, the page's scale and the
// device position of the paper's corner. Text is drawn as the glyphs
// TextShaper laid out at its fixed resolution, scaled onto the device, so it
// takes on every device the width the engine measured.
//
// Cell borders are gathered and drawn when the page is finished (or before
// any other line, rectangle or picture), joined where they continue one
// another: a ruled table of a thousand cells becomes a few dozen lines, and
// borders always lie above the cells' shading.
//
// Texts in a row that share their font and colour are gathered into one
// glyph run and drawn before anything else is (a state change, a fill, a
// line, the page's end): a PDF restates its graphics state and font for
// every glyph run drawn, which made most of a long report's PDF.
//
// Precondition: the painter is active until Finish (or destruction).

#include <QPen>
#include <QPointF>
#include <optional>
#include <vector>

#include "ReportTypes.h"
#include "TextShaper.h"

class QPainter;

namespace reports::engine {

class PageRenderer {
public:
    // dpiX, dpiY: device pixels per inch at 100 %; zoom: 1.0 is 100 %.
    // In monochrome, text and lines are black (white stays white) and fills
    // take their grey level.
    PageRenderer(QPainter& painter, double dpiX, double dpiY, double zoom, QPointF origin = {}, bool monochrome = false);
    ~PageRenderer();
    PageRenderer(const PageRenderer&) = delete;
    PageRenderer& operator=(const PageRenderer&) = delete;

    // Makes the state current; only what differs from the state applied last
    // reaches the painter.
    void Apply(const DrawState& state);

    // Text on a line whose top is y, centred on, starting at or ending at x.
    void Text(Align align, float x, float y, const QString& text);
    void Line(float x1, float y1, float x2, float y2);
    void Rectangle(float x1, float y1, float x2, float y2);
    // A column cell: filled with fill (0x00BBGGRR) when given; the borders
    // of the mask are drawn with a thin pen in the pen's colour.
    void Cell(float x1, float y1, float x2, float y2, std::optional<ColourRef> fill, uint8_t borders);
    // A picture stretched over the rectangle; kinds other than a bitmap, and
    // bytes that do not decode, draw nothing.
    void Picture(float x1, float y1, float x2, float y2, PictureKind kind, const QByteArray& bytes);
    // Draws what is still gathered (the cell borders).
    void Finish();

    // The thinnest line drawn: one device pixel, and no thinner than this
    // on fine devices (printers, PDF) where a pixel is hard to see.
    static constexpr double kThinLineInches = 1.0 / 250.0;

private:
    QPointF Map(float x, float y) const;
    QColor Ink(ColourRef colour) const;    // text and lines
    QColor Paint(ColourRef colour) const;  // fills
    double ThinPenWidth() const;
    void ApplyPen(const PenState& pen);
    void ApplyBrush(const BrushState& brush);
    // Text is drawn through a scaling transform; everything else without.
    void TextTransform(bool on);
    // The painter's pen changes between text and lines only when the kind
    // of drawing changes.
    enum class PenUse { None, Text, Line };
    void UsePen(PenUse use);
    void DrawBorders();
    // Draws the texts gathered so far.
    void DrawTexts();

    struct Border {
        bool horizontal;
        double at;         // y of a horizontal border, x of a vertical one
        double from, to;   // along it
        QRgb colour;
    };

    QPainter& m_painter;
    double m_pxPerInchX, m_pxPerInchY;  // dpi × zoom
    double m_textScaleX, m_textScaleY;  // device pixels per text-layout pixel
    double m_sx = 1, m_sy = 1;          // the page's scale
    QPointF m_origin;
    bool m_monochrome;
    bool m_transformed = false;
    std::optional<DrawState> m_applied;
    FontState m_font;
    FontMetrics m_metrics;
    QColor m_fontColour;
    QColor m_penColour;
    QPen m_linePen;
    PenUse m_penUse = PenUse::None;
    QColor m_background;
    bool m_opaqueText = false;
    std::vector<Border> m_borders;
    // Glyphs of texts not yet drawn, placed in text-layout pixels.
    QRawFont m_textFont;
    QList<quint32> m_glyphs;
    QList<QPointF> m_positions;
};

}  // namespace reports::engine
