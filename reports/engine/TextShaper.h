#pragma once
// Turns text into positioned glyphs for the page engine, once for every
// device: shaping happens at the text resolution on the reference device,
// and the same glyphs are measured (MeasureText, FontHeight) and drawn
// (scaled onto screen, printer or PDF). Measured text therefore always
// takes exactly the width it is drawn with.
//
// Plain Latin text the font holds is laid out straight from the font's
// glyphs and kerned advances; anything else (other scripts, characters
// the font lacks) goes through Qt's full text layout with font fallback.
// The plain road is cheap enough to take every time; what the full layout
// shapes is cached per font.
//
// Not thread-safe: the engine runs on the GUI thread.

#include <QGlyphRun>
#include <QHash>
#include <QList>
#include <QRawFont>
#include <memory>

#include "ReportTypes.h"

namespace reports::engine {

// Vertical measures of a font, in text-resolution pixels: the baseline lies
// ascent below the top of a line; underline and strike-out lines lie at
// their offsets below (above, when negative) the baseline.
struct FontMetrics {
    double ascent = 0;
    double height = 0;  // ascent + descent
    double underline = 0;
    double strikeOut = 0;
    double lineWidth = 0;
};

struct ShapedText {
    QList<QGlyphRun> runs;  // positions in text-resolution pixels, baseline at y = baseline
    double width = 0;       // advance, in text-resolution pixels
    double baseline = 0;
};

class TextShaper {
public:
    static TextShaper& Instance();

    ShapedText Shape(const FontState& font, const QString& text);
    // The advance of the text as Shape lays it out, without the glyphs.
    double Width(const FontState& font, const QString& text);
    // The font of the state at pointSize points, unhinted.
    static QFont MakeFont(const FontState& font, double pointSize);

    const FontMetrics& Metrics(const FontState& font);

    // The resolution text is laid out at, in dots per inch.
    static constexpr int kResolution = 1200;

private:
    struct Face;
    Face& FaceOf(const FontState& font);
    // Latin text without control characters.
    static bool Plain(const QString& text);

    QHash<QString, std::shared_ptr<Face>> m_faces;
    FontState m_lastFont;
    Face* m_last = nullptr;
    qsizetype m_cached = 0;
};

}  // namespace reports::engine
