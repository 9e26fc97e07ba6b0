#pragma once
// The report viewing window: shows a recorded report page by page at a
// chosen zoom, prints the page shown, the whole report or a range of its
// pages, and saves it as a PDF file. A tool bar and three menus (File,
// Navigate, View) reach every command, each with its shortcut key. The
// window opens where it was last closed, at the size it had; both are kept
// as on a 640 by 480 screen and grow with the window-size factor.
//
// Each time the window becomes the program's active window (when it opens,
// and when a window opened from it closes) the preview starts afresh on
// page 1.

#include <QDialog>
#include <QScrollArea>
#include <memory>

#include "RecordedPagePreview.h"

class QAction;
class QLabel;
class QLineEdit;
class QMenuBar;
class QPrinter;
class QToolBar;

namespace reports {

// The scrolling area the page image lies in, on a grey border.
class PreviewArea : public QScrollArea, public engine::PreviewScrollBox {
public:
    explicit PreviewArea(QWidget* parent = nullptr);
    Geometry ScrollBoxGeometry() const override;
    void ShowPageImage(const QImage& image, int border) override;
    void ReleasePageImage() override;
    QLabel* Page() const { return m_page; }

private:
    QLabel* m_page;
};

class ReportViewer : public QDialog {
    Q_OBJECT

public:
    // stream: the recorded report (not owned). printer: the printer set-up's
    // printer (not owned; may be null).
    ReportViewer(const QString& caption, QIODevice* stream, QPrinter* printer, QWidget* parent = nullptr);
    ~ReportViewer() override;

    engine::RecordedPagePreview MyFilePreview;
    engine::RecordedReportPrinter MyFilePrinter;

    // Starts the preview afresh on page 1.
    void StartPreview();

    void ZoomIn() { MyFilePreview.ZoomIn(); }
    void ZoomOut() { MyFilePreview.ZoomOut(); }
    void SetZoomPercent(double percent) { MyFilePreview.SetZoom(percent); }
    void ZoomToPageWidth() { MyFilePreview.PageWidthZoom(); }
    void ZoomToWholePage() { MyFilePreview.WholePageZoom(); }
    // Leaving the zoom or page edit, or Enter in it.
    void ApplyTypedZoom();
    void GoToTypedPage();
    void ShowPreviousPage() { MyFilePreview.PreviousPage(); }
    void ShowNextPage() { MyFilePreview.NextPage(); }
    void ShowFirstPage() { MyFilePreview.ShowPage(1); }
    void ShowLastPage() { MyFilePreview.ShowPage(MyFilePreview.PageCount()); }
    void PrintCurrentPage();
    void PrintWholeReport();
    void PrintPageRange();
    void SetUpPrinter();
    void SaveAsPdf();
    void ToggleColor();
    void CloseViewer() { accept(); }

    QLineEdit* ZoomEdit = nullptr;
    QLineEdit* PageEdit = nullptr;
    QLabel* PageLabel = nullptr;
    PreviewArea* PreviewBox = nullptr;
    QToolBar* ToolBar = nullptr;
    QMenuBar* MenuBar = nullptr;
    QAction* UseColorItem = nullptr;
    // The menu item or tool bar button of a caption ("Print Ran&ge", "Zoom In").
    QAction* Action(const QString& caption) const;

public slots:
    void done(int result) override;

protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void BuildMenus();
    void BuildToolBar();
    QAction* AddAction(QWidget* to, const QString& caption, const QKeySequence& key, std::function<void()> run);
    void ShowPageNumber();
    void ShowZoom();
    // Refused while an earlier print job runs.
    bool PrinterFree();
    void Print(int first, int last);
    // Runs a print or PDF job of MyFilePrinter; a long one shows its pages
    // in a progress window whose Cancel stops it.
    bool Replay(const QString& what, const std::function<bool()>& job);
    // A window opened from this one has closed: the preview starts again.
    void AfterChildWindow() { StartPreview(); }
    void PlaceWindow();

    QPrinter* m_givenPrinter;
    std::unique_ptr<QPrinter> m_ownPrinter;  // when none was given
    std::vector<std::pair<QString, QAction*>> m_actions;
    bool m_placed = false;
};

}  // namespace reports
