#pragma once
// A page engine that draws its pages on a device canvas through a
// PageRenderer: the base of the printer engines. A subclass opens a painter
// on each page it outputs and hands it over with BeginCanvas; every
// operation of the page is drawn there until EndCanvas.

#include <QPointF>
#include <memory>

#include "PageEngine.h"

class QPainter;

namespace reports::engine {

class PageRenderer;

class CanvasPageEngine : public PageEngine {
public:
    explicit CanvasPageEngine(QObject* parent = nullptr);
    ~CanvasPageEngine() override;

protected:
    // Draws the following operations with the painter (active until
    // EndCanvas) at dpi pixels per inch, the paper's corner at origin.
    void BeginCanvas(QPainter& painter, double dpiX, double dpiY, double zoom = 1.0, QPointF origin = {},
                     bool monochrome = false);
    void EndCanvas();
    PageRenderer* Renderer() { return m_renderer.get(); }

    void OutText(Align align, float x, float y, const QString& text) override;
    void OutLine(float x1, float y1, float x2, float y2) override;
    void OutRectangle(float x1, float y1, float x2, float y2) override;
    void OutCell(float x1, float y1, float x2, float y2, std::optional<ColourRef> fill, uint8_t borders) override;
    void OutPicture(float x1, float y1, float x2, float y2, PictureKind kind, const QByteArray& bytes) override;

private:
    PageRenderer* Current();

    std::unique_ptr<PageRenderer> m_renderer;
    uint64_t m_appliedVersion = ~uint64_t(0);
};

}  // namespace reports::engine
