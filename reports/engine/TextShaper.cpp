#include "TextShaper.h"

#include <QFontMetricsF>
#include <QImage>
#include <QTextLayout>
#include <algorithm>
#include <cstring>


namespace reports::engine {

namespace {

// Beyond this many cached texts every cache starts afresh.
constexpr qsizetype kCacheLimit = 20000;

// The largest size whose vertical metrics are asked of Qt directly.
constexpr double kLargestMeasuredPoints = 720;

const QPaintDevice* LayoutDevice() {
    static const QImage device = [] {
        QImage image(1, 1, QImage::Format_RGB32);
        const int dotsPerMeter = qRound(TextShaper::kResolution / 0.0254);
        image.setDotsPerMeterX(dotsPerMeter);
        image.setDotsPerMeterY(dotsPerMeter);
        return image;
    }();
    return &device;
}

QString FaceKey(const FontState& font) {
    uint32_t bits;
    std::memcpy(&bits, &font.height, sizeof bits);
    return font.name + QLatin1Char('\x1f') + QString::number(bits) + QLatin1Char('/') +
           QString::number(int(font.pitch)) + QString::number(int(font.bold)) + QString::number(int(font.italic));
}

}  // namespace

struct TextShaper::Face {
    QFont font;  // for the layout device
    QRawFont raw;
    FontMetrics metrics;
    QHash<QString, ShapedText> cache;
};

QFont TextShaper::MakeFont(const FontState& font, double pointSize) {
    QFont f(font.name);
    f.setPointSizeF(std::max(0.01, pointSize));
    f.setBold(font.bold);
    f.setItalic(font.italic);
    f.setUnderline(font.underline);
    f.setStrikeOut(font.strikeout);
    if (font.pitch == FontPitch::Fixed) {
        f.setFixedPitch(true);
        f.setStyleHint(QFont::Monospace);
    }
    f.setHintingPreference(QFont::PreferNoHinting);
    return f;
}

TextShaper& TextShaper::Instance() {
    static TextShaper shaper;
    return shaper;
}

TextShaper::Face& TextShaper::FaceOf(const FontState& font) {
    if (m_last && m_lastFont == font) return *m_last;
    const QString key = FaceKey(font);
    std::shared_ptr<Face>& face = m_faces[key];
    if (!face) {
        face = std::make_shared<Face>();
        FontState plain = font;
        plain.underline = plain.strikeout = false;
        // On the layout device a point is kResolution / 72 pixels.
        const double points = double(font.height) * 72.0;
        face->font = MakeFont(plain, points);
        // Qt's font metrics overflow somewhere past 1,000 points at this
        // resolution (the height turns negative); unhinted metrics grow with
        // the size, so a larger face takes those of a smaller one, scaled.
        const double measured = std::min(points, kLargestMeasuredPoints);
        const double k = points / measured;
        const QFontMetricsF metrics(measured < points ? MakeFont(plain, measured) : face->font,
                                    const_cast<QPaintDevice*>(LayoutDevice()));
        face->metrics.ascent = metrics.ascent() * k;
        face->metrics.height = metrics.height() * k;
        face->metrics.underline = metrics.underlinePos() * k;
        face->metrics.strikeOut = -metrics.strikeOutPos() * k;
        face->metrics.lineWidth = metrics.lineWidth() * k;
        face->raw = QRawFont::fromFont(face->font);
        face->raw.setPixelSize(double(font.height) * kResolution);
    }
    m_lastFont = font;
    m_last = face.get();
    return *face;
}

const FontMetrics& TextShaper::Metrics(const FontState& font) { return FaceOf(font).metrics; }

bool TextShaper::Plain(const QString& text) {
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if (u < 0x20 || (u > 0x7E && u < 0xA0) || u > 0x24F) return false;
    }
    return true;
}

double TextShaper::Width(const FontState& font, const QString& text) {
    Face& face = FaceOf(font);
    if (face.raw.isValid() && Plain(text)) {
        const QList<quint32> glyphs = face.raw.glyphIndexesForString(text);
        if (!glyphs.isEmpty() && !glyphs.contains(0u)) {
            double x = 0;
            for (const QPointF& advance : face.raw.advancesForGlyphIndexes(glyphs, QRawFont::KernedAdvances))
                x += advance.x();
            return x;
        }
    }
    return Shape(font, text).width;
}

ShapedText TextShaper::Shape(const FontState& font, const QString& text) {
    Face& face = FaceOf(font);
    ShapedText shaped;
    QList<quint32> glyphs;
    if (face.raw.isValid() && Plain(text)) glyphs = face.raw.glyphIndexesForString(text);
    // Glyph 0 stands for a character the font lacks: another font must supply it.
    if (!glyphs.isEmpty() && !glyphs.contains(0u)) {
        const QList<QPointF> advances = face.raw.advancesForGlyphIndexes(glyphs, QRawFont::KernedAdvances);
        QList<QPointF> positions;
        positions.reserve(glyphs.size());
        double x = 0;
        for (const QPointF& advance : advances) {
            positions.append(QPointF(x, 0));
            x += advance.x();
        }
        QGlyphRun run;
        run.setRawFont(face.raw);
        run.setGlyphIndexes(glyphs);
        run.setPositions(positions);
        shaped.runs.append(run);
        shaped.width = x;
        return shaped;
    }
    if (auto it = face.cache.constFind(text); it != face.cache.constEnd()) return *it;
    QTextLayout layout(text, face.font, const_cast<QPaintDevice*>(LayoutDevice()));
    layout.beginLayout();
    QTextLine line = layout.createLine();
    if (line.isValid()) line.setNumColumns(int(text.size()));
    layout.endLayout();
    if (line.isValid()) {
        shaped.runs = line.glyphRuns();
        shaped.width = line.horizontalAdvance();
        shaped.baseline = line.ascent();
    }
    if (m_cached >= kCacheLimit) {
        for (auto& f : m_faces) f->cache.clear();
        m_cached = 0;
    }
    face.cache.insert(text, shaped);
    ++m_cached;
    return shaped;
}

}  // namespace reports::engine
