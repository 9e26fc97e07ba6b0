#include "RecordedPagePreview.h"

#include <QGuiApplication>
#include <QPainter>
#include <QScreen>
#include <cmath>

#include "EngineServices.h"

namespace reports::engine {

RecordedPagePreview::RecordedPagePreview(QObject* parent) : RecordedReportPrinter(parent) {
    if (qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
        if (const QScreen* screen = QGuiApplication::primaryScreen())
            SetScreenResolution(screen->logicalDotsPerInchX(), screen->logicalDotsPerInchY());
}

RecordedPagePreview::~RecordedPagePreview() = default;

void RecordedPagePreview::SetScreenResolution(double dpiX, double dpiY) {
    if (dpiX > 0 && dpiY > 0 && std::isfinite(dpiX) && std::isfinite(dpiY)) {
        m_dpiX = dpiX;
        m_dpiY = dpiY;
    }
}

QSizeF RecordedPagePreview::Paper() const { return PaperSizeInches(); }

bool RecordedPagePreview::StartPreview() {
    EndPreview();
    if (!OpenReport(m_reader)) return false;
    m_previewing = true;
    SetCurrentPage(1);
    ShowPage(1);
    return true;
}

void RecordedPagePreview::EndPreview() {
    const bool was = m_previewing;
    m_previewing = false;
    m_image = QImage();
    m_reader.Close();
    if (was && m_scrollBox) m_scrollBox->ReleasePageImage();
}

QImage RecordedPagePreview::RenderPage(int n, double zoomPercent) {
    const QSizeF paper = Paper();
    const double zoom = zoomPercent / 100.0;
    const int width = std::max(1, qRound(paper.width() * m_dpiX * zoom));
    const int height = std::max(1, qRound(paper.height() * m_dpiY * zoom));
    QImage image(width, height, QImage::Format_RGB32);
    if (image.isNull()) return image;
    image.setDotsPerMeterX(qRound(m_dpiX / 0.0254));
    image.setDotsPerMeterY(qRound(m_dpiY / 0.0254));
    image.fill(Qt::white);
    if (!m_reader.IsOpen() || m_reader.PageCount() == 0) return image;
    n = std::clamp(n, 1, m_reader.PageCount());
    QPainter painter(&image);
    try {
        DrawPage(m_reader, n - 1, painter, m_dpiX, m_dpiY, zoom, m_monochrome);
    } catch (const ReportError& e) {
        ShowMessage(QStringLiteral("Error"), QString::fromStdString(e.what()));
    }
    return image;
}

void RecordedPagePreview::ShowPage(int n) {
    if (!m_previewing) return;
    WaitCursor wait;
    n = std::clamp(n, 1, std::max(1, m_reader.PageCount()));
    m_image = RenderPage(n, m_zoom);
    SetCurrentPage(n);
    if (OnPageChange) OnPageChange(*this);
    if (m_scrollBox) m_scrollBox->ShowPageImage(m_image, PageBorder());
}

void RecordedPagePreview::NextPage() {
    if (m_previewing && CurrentPage() < PageCount()) ShowPage(CurrentPage() + 1);
}

void RecordedPagePreview::PreviousPage() {
    if (m_previewing && CurrentPage() > 1) ShowPage(CurrentPage() - 1);
}

void RecordedPagePreview::SetZoom(double percent) {
    if (!std::isfinite(percent)) return;
    m_zoom = std::clamp(percent, kMinZoom, kMaxZoom);
    if (OnZoomChange)
        OnZoomChange(*this);
    else if (m_previewing)
        Redraw();
}

int RecordedPagePreview::BorderAt100() const { return qRound(m_dpiX * Paper().width() * m_marginPercent / 100.0); }

int RecordedPagePreview::PageBorder() const {
    if (m_marginMethod == MarginMethod::mmScaled)
        return qRound(m_dpiX * Paper().width() * m_marginPercent / 100.0 * m_zoom / 100.0);
    return BorderAt100();
}

double RecordedPagePreview::PageWidthZoom() {
    if (!m_scrollBox) return m_zoom;
    const PreviewScrollBox::Geometry g = m_scrollBox->ScrollBoxGeometry();
    const QSizeF paper = Paper();
    const double m = BorderAt100();
    const double fw = g.outerWidth - g.clientWidth, fh = g.outerHeight - g.clientHeight;
    double z = (g.outerWidth - fw - 2 * m) / (m_dpiX * paper.width());
    // A page that will need vertical scrolling loses the scroll bar's width.
    if (g.outerHeight - fh < z * m_dpiY * paper.height() + 2 * m)
        z = (g.outerWidth - fw - 2 * m - g.verticalScrollBarWidth) / (m_dpiX * paper.width());
    SetZoom(z * 100);
    return m_zoom;
}

double RecordedPagePreview::WholePageZoom() {
    if (!m_scrollBox) return m_zoom;
    const PreviewScrollBox::Geometry g = m_scrollBox->ScrollBoxGeometry();
    const QSizeF paper = Paper();
    const double m = BorderAt100();
    const double zx = (g.outerWidth - 4 - 2 * m) / (m_dpiX * paper.width());
    const double zy = (g.outerHeight - 4 - 2 * m) / (m_dpiY * paper.height());
    SetZoom(std::min(zx, zy) * 100);
    return m_zoom;
}

}  // namespace reports::engine
