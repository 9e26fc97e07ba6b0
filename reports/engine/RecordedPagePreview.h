#pragma once
// Shows a recorded report one page at a time: the page is replayed onto an
// image at the current zoom, which the preview window lays in its scrolling
// area (the scroll box) on a grey border. The window stays in charge of its
// widgets: the engine asks it for its geometry and hands it each new page
// image through the PreviewScrollBox interface.
//
// Zoom is in percent of the page's real size on the screen (10 to 200).
// Pages are numbered 1 to PageCount() in recorded order; CurrentPage() is
// the page shown.

#include <QImage>
#include <functional>

#include "RecordedReportPrinter.h"

namespace reports::engine {

// The scrolling area a preview window shows the page in.
class PreviewScrollBox {
public:
    virtual ~PreviewScrollBox() = default;
    struct Geometry {
        int outerWidth = 0, outerHeight = 0;    // with frame and scroll bars
        int clientWidth = 0, clientHeight = 0;  // inside the frame, without scroll bars
        int verticalScrollBarWidth = 0;
    };
    virtual Geometry ScrollBoxGeometry() const = 0;
    // A new page image: shown at (border, border) on a grey area as large as
    // the image plus twice the border, scrolled to the top left.
    virtual void ShowPageImage(const QImage& image, int border) = 0;
    // The preview ended: the image is gone.
    virtual void ReleasePageImage() {}
};

class RecordedPagePreview : public RecordedReportPrinter {
public:
    explicit RecordedPagePreview(QObject* parent = nullptr);
    ~RecordedPagePreview() override;

    std::function<void(RecordedPagePreview&)> OnZoomChange;
    std::function<void(RecordedPagePreview&)> OnPageChange;

    void SetScrollBox(PreviewScrollBox* box) { m_scrollBox = box; }
    PreviewScrollBox* ScrollBox() const { return m_scrollBox; }

    double ZoomFactor() const { return m_zoom; }
    double ZoomInc() const { return m_zoomInc; }
    void SetZoomInc(double percent) { m_zoomInc = percent; }
    // The grey border as a percent of the page width.
    double MarginPercent() const { return m_marginPercent; }
    void SetMarginPercent(double percent) { m_marginPercent = std::clamp(percent, 0.0, 50.0); }
    MarginMethod GetMarginMethod() const { return m_marginMethod; }
    void SetMarginMethod(MarginMethod method) { m_marginMethod = method; }
    // Black and white: text and lines black, fills in grey.
    bool Monochrome() const { return m_monochrome; }
    void SetMonochrome(bool monochrome) { m_monochrome = monochrome; }
    // Screen pixels per inch; the primary screen's unless set.
    double ScreenDpiX() const { return m_dpiX; }
    double ScreenDpiY() const { return m_dpiY; }
    void SetScreenResolution(double dpiX, double dpiY);

    // Reads the recorded report and shows page 1. False, with a message,
    // when the report cannot be read.
    bool StartPreview();
    // Releases the image and the report read.
    void EndPreview();
    bool Previewing() const { return m_previewing; }
    int PageCount() const { return m_reader.IsOpen() ? m_reader.PageCount() : 0; }

    // Renders page n (a number beyond the last shows the last, below 1 the
    // first), raises OnPageChange and hands the image to the scroll box.
    void ShowPage(int n);
    void NextPage();
    void PreviousPage();
    void Redraw() { ShowPage(CurrentPage()); }
    // Keeps 10 to 200 (below 10 gives 10, above 200 gives 200); raises
    // OnZoomChange when set, else redraws the page while previewing.
    void SetZoom(double percent);
    void ZoomIn() { SetZoom(m_zoom + m_zoomInc); }
    void ZoomOut() { SetZoom(m_zoom - m_zoomInc); }
    // Set the zoom at which the page width, or the whole page, fits the
    // scroll box, and return the zoom set.
    double PageWidthZoom();
    double WholePageZoom();

    const QImage& PageImage() const { return m_image; }
    // The border around the page image, in pixels.
    int PageBorder() const;
    // Page n (from 1) of the open report as an image at a zoom in percent.
    QImage RenderPage(int n, double zoomPercent);

    static constexpr double kMinZoom = 10;
    static constexpr double kMaxZoom = 200;

private:
    int BorderAt100() const;
    QSizeF Paper() const;

    PreviewScrollBox* m_scrollBox = nullptr;
    ReportStreamReader m_reader;
    QImage m_image;
    double m_zoom = 100;
    double m_zoomInc = 10;
    double m_marginPercent = 0;
    MarginMethod m_marginMethod = MarginMethod::mmFixed;
    bool m_monochrome = false;
    bool m_previewing = false;
    double m_dpiX = 96, m_dpiY = 96;
};

}  // namespace reports::engine
