#include "CanvasPageEngine.h"

#include "PageRenderer.h"

namespace reports::engine {

CanvasPageEngine::CanvasPageEngine(QObject* parent) : PageEngine(parent) {}

CanvasPageEngine::~CanvasPageEngine() = default;

void CanvasPageEngine::BeginCanvas(QPainter& painter, double dpiX, double dpiY, double zoom, QPointF origin,
                                bool monochrome) {
    m_renderer = std::make_unique<PageRenderer>(painter, dpiX, dpiY, zoom, origin, monochrome);
    m_appliedVersion = ~uint64_t(0);
}

void CanvasPageEngine::EndCanvas() { m_renderer.reset(); }

PageRenderer* CanvasPageEngine::Current() {
    if (m_renderer && m_appliedVersion != StateVersion()) {
        m_renderer->Apply(State());
        m_appliedVersion = StateVersion();
    }
    return m_renderer.get();
}

void CanvasPageEngine::OutText(Align align, float x, float y, const QString& text) {
    if (PageRenderer* r = Current()) r->Text(align, x, y, text);
}

void CanvasPageEngine::OutLine(float x1, float y1, float x2, float y2) {
    if (PageRenderer* r = Current()) r->Line(x1, y1, x2, y2);
}

void CanvasPageEngine::OutRectangle(float x1, float y1, float x2, float y2) {
    if (PageRenderer* r = Current()) r->Rectangle(x1, y1, x2, y2);
}

void CanvasPageEngine::OutCell(float x1, float y1, float x2, float y2, std::optional<ColourRef> fill, uint8_t borders) {
    if (PageRenderer* r = Current()) r->Cell(x1, y1, x2, y2, fill, borders);
}

void CanvasPageEngine::OutPicture(float x1, float y1, float x2, float y2, PictureKind kind, const QByteArray& bytes) {
    if (PageRenderer* r = Current()) r->Picture(x1, y1, x2, y2, kind, bytes);
}

}  // namespace reports::engine
