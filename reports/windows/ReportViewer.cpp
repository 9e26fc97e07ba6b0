#include "ReportViewer.h"

#include <QApplication>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMenuBar>
#include <QPainter>
#include <QPrinter>
#include <QPrinterInfo>
#include <QProgressDialog>
#include <QRegularExpression>
#include <QScreen>
#include <QScrollBar>
#include <QStyle>
#include <QToolBar>
#include <QVBoxLayout>
#include <cmath>

#include "EngineServices.h"
#include "ReportDialogSupport.h"
#include "Settings.h"
#include "PageRangeDialog.h"
#include "WindowLayout.h"

namespace reports {

using common::AppSettings;
using common::Ui;

// ---------------------------------------------------------------- the page area

PreviewArea::PreviewArea(QWidget* parent) : QScrollArea(parent), m_page(new QLabel) {
    m_page->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    setWidget(m_page);
    setWidgetResizable(false);
    setBackgroundRole(QPalette::Dark);
}

engine::PreviewScrollBox::Geometry PreviewArea::ScrollBoxGeometry() const {
    Geometry g;
    g.outerWidth = width();
    g.outerHeight = height();
    g.clientWidth = width() - 2 * frameWidth();
    g.clientHeight = height() - 2 * frameWidth();
    g.verticalScrollBarWidth = style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, this);
    return g;
}

void PreviewArea::ShowPageImage(const QImage& image, int border) {
    QPixmap area(image.width() + 2 * border, image.height() + 2 * border);
    area.fill(QColor(128, 128, 128));
    {
        QPainter painter(&area);
        painter.drawImage(border, border, image);
    }
    m_page->setPixmap(area);
    m_page->resize(area.size());
    horizontalScrollBar()->setValue(0);
    verticalScrollBar()->setValue(0);
}

void PreviewArea::ReleasePageImage() {
    m_page->setPixmap(QPixmap());
    m_page->resize(0, 0);
}

// ---------------------------------------------------------------- the window

ReportViewer::ReportViewer(const QString& caption, QIODevice* stream, QPrinter* printer, QWidget* parent)
    : QDialog(parent), m_givenPrinter(printer) {
    setWindowTitle(caption);
    setSizeGripEnabled(true);
    setWindowFlag(Qt::WindowMaximizeButtonHint, true);
    auto* root = new QVBoxLayout(this);
    root->setContentsMargins(0, 0, 0, 0);
    root->setSpacing(0);
    MenuBar = new QMenuBar(this);
    root->setMenuBar(MenuBar);
    ToolBar = new QToolBar(this);
    root->addWidget(ToolBar);
    PreviewBox = new PreviewArea(this);
    root->addWidget(PreviewBox, 1);
    BuildMenus();
    BuildToolBar();

    if (!m_givenPrinter) m_ownPrinter = std::make_unique<QPrinter>(QPrinter::HighResolution);
    MyFilePreview.SetScrollBox(PreviewBox);
    MyFilePreview.SetMarginPercent(2.5);
    MyFilePreview.SetZoom(100);
    MyFilePreview.SetStream(stream);
    MyFilePrinter.SetStream(stream);
    MyFilePrinter.SetPrinter(ReportPrinter(m_givenPrinter));
    MyFilePreview.OnPageChange = [this](engine::RecordedPagePreview&) { ShowPageNumber(); };
    MyFilePreview.OnZoomChange = [this](engine::RecordedPagePreview& p) {
        ShowZoom();
        if (p.Previewing()) p.Redraw();
    };
    ShowZoom();
}

ReportViewer::~ReportViewer() { MyFilePreview.EndPreview(); }

QAction* ReportViewer::AddAction(QWidget* to, const QString& caption, const QKeySequence& key,
                               std::function<void()> run) {
    auto* action = new QAction(caption, this);
    if (!key.isEmpty()) action->setShortcut(key);
    connect(action, &QAction::triggered, this, [run = std::move(run)] { run(); });
    to->addAction(action);
    m_actions.emplace_back(caption, action);
    return action;
}

QAction* ReportViewer::Action(const QString& caption) const {
    for (const auto& [text, action] : m_actions)
        if (text == caption) return action;
    return nullptr;
}

void ReportViewer::BuildMenus() {
    QMenu* file = MenuBar->addMenu("&File");
    AddAction(file, "&Print Page", QKeySequence("Ctrl+P"), [this] { PrintCurrentPage(); });
    AddAction(file, "Print &Report", QKeySequence("Ctrl+R"), [this] { PrintWholeReport(); });
    AddAction(file, "Print Ran&ge", QKeySequence("Ctrl+G"), [this] { PrintPageRange(); });
    AddAction(file, "Printer &Setup", QKeySequence("Ctrl+S"), [this] { SetUpPrinter(); });
    AddAction(file, "Save as &PDF...", QKeySequence(), [this] { SaveAsPdf(); });
    file->addSeparator();
    AddAction(file, "E&xit", QKeySequence("Ctrl+X"), [this] { CloseViewer(); });

    QMenu* navigate = MenuBar->addMenu("&Navigate");
    AddAction(navigate, "&Previous Page", QKeySequence("Ctrl+E"), [this] { ShowPreviousPage(); });
    AddAction(navigate, "&Next Page", QKeySequence("Ctrl+N"), [this] { ShowNextPage(); });
    AddAction(navigate, "&First Page", QKeySequence("Ctrl+F"), [this] { ShowFirstPage(); });
    AddAction(navigate, "&Last Page", QKeySequence("Ctrl+L"), [this] { ShowLastPage(); });

    QMenu* view = MenuBar->addMenu("&View");
    UseColorItem = AddAction(view, "Use Color", QKeySequence("Ctrl+C"), [this] { ToggleColor(); });
    UseColorItem->setCheckable(true);
    UseColorItem->setChecked(true);
    // The two zoom submenus: their keys step the zoom, their items set it.
    QMenu* zoomIn = view->addMenu("Zoom &In");
    AddAction(zoomIn, "&1 : 1", QKeySequence(), [this] { SetZoomPercent(100); });
    AddAction(zoomIn, "&2 : 1", QKeySequence(), [this] { SetZoomPercent(200); });
    QMenu* zoomOut = view->addMenu("Zoom &Out");
    AddAction(zoomOut, "1 : &1", QKeySequence(), [this] { SetZoomPercent(100); });
    AddAction(zoomOut, "1 : &2", QKeySequence(), [this] { SetZoomPercent(50); });
    AddAction(zoomOut, "1 : &3", QKeySequence(), [this] { SetZoomPercent(33.3); });
    AddAction(zoomOut, "1 : &4", QKeySequence(), [this] { SetZoomPercent(25); });
    AddAction(zoomOut, "1 : &5", QKeySequence(), [this] { SetZoomPercent(20); });
    zoomIn->menuAction()->setShortcut(QKeySequence("Ctrl+I"));
    zoomOut->menuAction()->setShortcut(QKeySequence("Ctrl+O"));
    connect(zoomIn->menuAction(), &QAction::triggered, this, [this] { ZoomIn(); });
    connect(zoomOut->menuAction(), &QAction::triggered, this, [this] { ZoomOut(); });
    // The submenus' own actions do not take keys while the menus are shut.
    addAction(zoomIn->menuAction());
    addAction(zoomOut->menuAction());
    m_actions.emplace_back("Zoom &In", zoomIn->menuAction());
    m_actions.emplace_back("Zoom &Out", zoomOut->menuAction());
    AddAction(view, "Zoom &Page Width", QKeySequence("Ctrl+Z"), [this] { ZoomToPageWidth(); });
    AddAction(view, "Zoom &Whole Page", QKeySequence("Ctrl+W"), [this] { ZoomToWholePage(); });
}

void ReportViewer::BuildToolBar() {
    ToolBar->setToolButtonStyle(Qt::ToolButtonIconOnly);
    ToolBar->setIconSize(QSize(22, 22));
    ToolBar->setMovable(false);
    auto button = [this](const char* hint, const char* icon, std::function<void()> run) {
        QAction* a = AddAction(ToolBar, hint, QKeySequence(), std::move(run));
        a->setIcon(QIcon::fromTheme(icon));
        a->setToolTip(hint);
    };
    auto caption = [this](const QString& text) {
        auto* label = new QLabel(text, ToolBar);
        label->setContentsMargins(6, 0, 3, 0);
        ToolBar->addWidget(label);
    };
    auto edit = [this](QLineEdit*& e, int chars, void (ReportViewer::*exit)()) {
        e = new QLineEdit(ToolBar);
        e->setFixedWidth(e->fontMetrics().horizontalAdvance(QString(chars, QLatin1Char('0'))) + 12);
        ToolBar->addWidget(e);
        e->installEventFilter(this);
        connect(e, &QLineEdit::editingFinished, this, [this, exit] { (this->*exit)(); });
    };
    button("Zoom In", "zoom-in", [this] { ZoomIn(); });
    button("Zoom Out", "zoom-out", [this] { ZoomOut(); });
    caption("Zoom %");
    edit(ZoomEdit, 5, &ReportViewer::ApplyTypedZoom);
    ToolBar->addSeparator();
    button("Prev Page", "go-previous", [this] { ShowPreviousPage(); });
    button("Next Page", "go-next", [this] { ShowNextPage(); });
    caption("Page #");
    edit(PageEdit, 4, &ReportViewer::GoToTypedPage);
    PageLabel = new QLabel("Page 1 of 1", ToolBar);
    PageLabel->setContentsMargins(8, 0, 8, 0);
    ToolBar->addWidget(PageLabel);
    ToolBar->addSeparator();
    button("Done", "window-close", [this] { CloseViewer(); });
    button("Print Page", "document-print", [this] { PrintCurrentPage(); });
    button("Zoom Page Width", "object-flip-horizontal", [this] { ZoomToPageWidth(); });
    button("Zoom Whole Page", "zoom-fit-best", [this] { ZoomToWholePage(); });
}

bool ReportViewer::eventFilter(QObject* watched, QEvent* event) {
    // An edit box claims Ctrl keys of its own (Ctrl+Z undoes, Ctrl+X cuts);
    // in the zoom and page boxes the window's menu keys come first.
    if (event->type() == QEvent::ShortcutOverride && (watched == ZoomEdit || watched == PageEdit)) {
        const QKeySequence pressed(static_cast<QKeyEvent*>(event)->keyCombination());
        for (const auto& [caption, action] : m_actions)
            if (!action->shortcut().isEmpty() && action->shortcut() == pressed) return true;
    }
    return QDialog::eventFilter(watched, event);
}

// ---------------------------------------------------------------- placement

void ReportViewer::PlaceWindow() {
    // The place is kept as on a 640 by 480 screen and grows with the
    // window-size factor, as the window's fonts do.
    const common::Settings& s = AppSettings();
    const double f = common::WindowSizeFactor();
    QRect wanted(qRound(s.reportViewLeft * f), qRound(s.reportViewTop * f), qRound(std::max(320, s.reportViewWidth) * f),
                 qRound(std::max(240, s.reportViewHeight) * f));
    // A place kept from a larger screen is brought back onto this one.
    const QScreen* screen = QGuiApplication::screenAt(wanted.center());
    if (!screen) screen = QGuiApplication::primaryScreen();
    if (screen) {
        const QRect area = screen->availableGeometry();
        wanted.setSize(wanted.size().boundedTo(area.size()));
        if (!area.contains(wanted.topLeft()) || !area.contains(wanted.bottomRight()))
            wanted.moveTo(std::clamp(wanted.x(), area.x(), area.right() - wanted.width() + 1),
                          std::clamp(wanted.y(), area.y(), area.bottom() - wanted.height() + 1));
    }
    move(wanted.topLeft());
    resize(wanted.size());
}

void ReportViewer::showEvent(QShowEvent* event) {
    if (!m_placed) {
        m_placed = true;
        common::WindowLayout::ApplyFonts(*this, AppSettings().scheme);
        // Fonts follow the window-size factor; the size is the one kept.
        common::WindowLayout::Scale(*this, common::WindowSizeFactor());
        PlaceWindow();
    }
    QDialog::showEvent(event);
    StartPreview();
}

void ReportViewer::done(int result) {
    MyFilePreview.EndPreview();
    common::Settings& s = AppSettings();
    const double f = common::WindowSizeFactor();
    s.reportViewLeft = qRound(x() / f);
    s.reportViewTop = qRound(y() / f);
    s.reportViewWidth = qRound(width() / f);
    s.reportViewHeight = qRound(height() / f);
    QDialog::done(result);
}

// ---------------------------------------------------------------- showing pages

void ReportViewer::StartPreview() {
    MyFilePreview.StartPreview();
    ShowPageNumber();
}

void ReportViewer::ShowPageNumber() {
    const int page = MyFilePreview.CurrentPage();
    PageEdit->setText(QString::number(page));
    PageLabel->setText(QStringLiteral("Page %1 of %2").arg(page).arg(MyFilePreview.PageCount()));
}

void ReportViewer::ShowZoom() { ZoomEdit->setText(QString::number(MyFilePreview.ZoomFactor(), 'f', 1)); }

void ReportViewer::ApplyTypedZoom() {
    QString text = ZoomEdit->text().trimmed();
    text.remove(QLatin1Char('%'));
    bool ok = false;
    double zoom = QLocale::c().toDouble(text, &ok);
    if (!ok) zoom = QLocale::system().toDouble(text, &ok);
    if (ok && std::isfinite(zoom) && zoom != MyFilePreview.ZoomFactor()) MyFilePreview.SetZoom(zoom);
    else ShowZoom();
}

void ReportViewer::GoToTypedPage() {
    bool ok = false;
    const int page = PageEdit->text().trimmed().toInt(&ok);
    if (ok && page != MyFilePreview.CurrentPage()) MyFilePreview.ShowPage(page);
    else ShowPageNumber();
}

void ReportViewer::ToggleColor() {
    MyFilePreview.EndPreview();
    MyFilePreview.SetMonochrome(!MyFilePreview.Monochrome());
    UseColorItem->setChecked(!MyFilePreview.Monochrome());
    StartPreview();
}

// ---------------------------------------------------------------- printing

bool ReportViewer::PrinterFree() {
    if (!MyFilePrinter.Printing()) return true;
    Ui().Beep();
    Ui().Message("Error", "Previous print job has not yet finished.  Try again later.", common::MessageIcon::Error);
    return false;
}

bool ReportViewer::Replay(const QString& what, const std::function<bool()>& job) {
    QProgressDialog progress(what, "Cancel", 0, 1, this);
    progress.setWindowTitle(windowTitle());
    progress.setWindowModality(Qt::WindowModal);
    progress.setMinimumDuration(500);
    progress.setAutoClose(false);
    progress.setAutoReset(false);
    MyFilePrinter.OnReplayProgress = [&progress](int done, int count) {
        progress.setMaximum(count);
        progress.setValue(done);
        QCoreApplication::processEvents();
        return !progress.wasCanceled();
    };
    const bool ok = job();
    MyFilePrinter.OnReplayProgress = nullptr;
    return ok;
}

void ReportViewer::Print(int first, int last) {
    QPrinter* printer = m_givenPrinter ? m_givenPrinter : m_ownPrinter.get();
    const bool noPrinter = NoPrinterFor(printer);
    MyFilePrinter.SetPrinter(ReportPrinter(printer));
    Replay("Printing the report...", [&] { return MyFilePrinter.PrintPages(first, last, 1); });
    if (noPrinter) ShowPdfHint(true);
}

void ReportViewer::PrintCurrentPage() {
    if (!PrinterFree()) return;
    const int page = MyFilePreview.CurrentPage();
    Print(page, page);
}

void ReportViewer::PrintWholeReport() {
    if (!PrinterFree()) return;
    Print(0, 0);
}

void ReportViewer::PrintPageRange() {
    if (!PrinterFree()) return;
    PageRangeDialog range(MyFilePreview.PageCount(), this);
    const bool chosen = Ui().ShowModal(range) == QDialog::Accepted;
    AfterChildWindow();
    if (chosen) Print(range.FirstPage(), range.LastPage());
}

void ReportViewer::SetUpPrinter() {
    if (!engine::PrintersAvailable()) {
        Ui().Message("Notice", "No printers are defined.", common::MessageIcon::Information);
        return;
    }
    QPrinter* printer = m_givenPrinter ? m_givenPrinter : m_ownPrinter.get();
    Ui().SetupPrinter(*printer);
    AfterChildWindow();
}

void ReportViewer::SaveAsPdf() {
    common::FileRequest request;
    request.title = "Save Report as PDF";
    request.filter = "PDF Files (*.PDF)|*.PDF";
    request.defaultExtension = "pdf";
    request.askOverwrite = true;
    QString name = windowTitle().trimmed();
    name.replace(QRegularExpression(QStringLiteral("[/\\\\:*?\"<>|]")), QStringLiteral("-"));
    request.fileName = (name.isEmpty() ? QStringLiteral("Report") : name) + QStringLiteral(".pdf");
    const auto path = Ui().SaveFile(request);
    AfterChildWindow();
    if (!path) return;
    // The file is replaced only once it is whole; a failure is told through
    // the page engine's messages.
    Replay("Saving the report as a PDF file...", [&] { return MyFilePrinter.WritePdf(*path); });
}

}  // namespace reports
