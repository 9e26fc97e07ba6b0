#include "TCanvasReport.h"

#include "PageRenderer.h"

namespace reports::engine {

TCanvasReport::TCanvasReport(QObject* parent) : TBaseReport(parent) {}

TCanvasReport::~TCanvasReport() = default;

void TCanvasReport::BeginCanvas(QPainter& painter, double dpiX, double dpiY, double zoom, QPointF origin,
                                bool monochrome) {
    m_renderer = std::make_unique<PageRenderer>(painter, dpiX, dpiY, zoom, origin, monochrome);
    m_appliedVersion = ~uint64_t(0);
}

void TCanvasReport::EndCanvas() { m_renderer.reset(); }

PageRenderer* TCanvasReport::Current() {
    if (m_renderer && m_appliedVersion != StateVersion()) {
        m_renderer->Apply(State());
        m_appliedVersion = StateVersion();
    }
    return m_renderer.get();
}

void TCanvasReport::OutText(Align align, float x, float y, const QString& text) {
    if (PageRenderer* r = Current()) r->Text(align, x, y, text);
}

void TCanvasReport::OutLine(float x1, float y1, float x2, float y2) {
    if (PageRenderer* r = Current()) r->Line(x1, y1, x2, y2);
}

void TCanvasReport::OutRectangle(float x1, float y1, float x2, float y2) {
    if (PageRenderer* r = Current()) r->Rectangle(x1, y1, x2, y2);
}

void TCanvasReport::OutCell(float x1, float y1, float x2, float y2, std::optional<ColourRef> fill, uint8_t borders) {
    if (PageRenderer* r = Current()) r->Cell(x1, y1, x2, y2, fill, borders);
}

void TCanvasReport::OutPicture(float x1, float y1, float x2, float y2, PictureKind kind, const QByteArray& bytes) {
    if (PageRenderer* r = Current()) r->Picture(x1, y1, x2, y2, kind, bytes);
}

}  // namespace reports::engine
