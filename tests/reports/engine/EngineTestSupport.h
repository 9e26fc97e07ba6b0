#pragma once
// Helpers shared by the page engine's tests: an engine that composes
// straight onto images, a recorder of the engine's messages, a sample report
// with every kind of drawing the report writer uses, an independent walk
// over the operations of a recorded report, and the PDF readers of
// poppler-utils.

#include <QBuffer>
#include <QImage>
#include <QPainter>
#include <QProcess>
#include <QTest>
#include <QtEndian>
#include <deque>

#include "EngineServices.h"
#include "CanvasPageEngine.h"
#include "ReportRecorder.h"

namespace enginetest {

using namespace reports::engine;

// The tests lay pages out as on a machine without a printer, whatever
// this machine has; a test that needs a printer prints to a PDF file.
inline void AsWithoutPrinter() { SetPrintersAvailableOverride(false); }

// Composes every output page straight onto an image of the page at dpi.
class ImageReport : public CanvasPageEngine {
public:
    std::deque<QImage> pages;
    double dpi = 96;

protected:
    void BeginOutputPage(bool skipped) override {
        if (skipped) return;
        const QSizeF paper = DevicePaperSize();
        QImage& page = pages.emplace_back(qRound(paper.width() * dpi), qRound(paper.height() * dpi),
                                          QImage::Format_RGB32);
        page.setDotsPerMeterX(qRound(dpi / 0.0254));
        page.setDotsPerMeterY(qRound(dpi / 0.0254));
        page.fill(Qt::white);
        m_painter.begin(&page);
        BeginCanvas(m_painter, dpi, dpi);
    }
    void EndOutputPage() override {
        EndCanvas();
        if (m_painter.isActive()) m_painter.end();
    }
    void EndOutput(bool) override { EndOutputPage(); }

private:
    QPainter m_painter;
};

// Records the engine's messages while it lives.
struct MessageRecorder {
    QStringList titles, texts;
    MessageHandler previous;
    MessageRecorder() {
        previous = SetMessageHandler([this](const QString& title, const QString& text) {
            titles << title;
            texts << text;
        });
    }
    ~MessageRecorder() { SetMessageHandler(previous); }
};

// A report of the given number of pages: a bold title in the header band,
// ruled and shaded columns in the body (one stop of width 0, one filled
// black, whose colour value 0 must not read as no fill), coloured and
// styled text, a line and a rectangle, and a footer across the page.
inline void ComposeSample(PageEngine& r, int pages) {
    r.OnPrintHeader = [](PageEngine& r) {
        r.BodyTop(0.5);
        r.BodyBottom(1.25);
        r.GoToBodyStart();
        r.SelectFont(QStringLiteral("Arial"), 14);
        r.SetFontStyle(true, false, false, false);
        r.WriteCentredAt(QStringLiteral("Household Inventory"), r.PaperWidth() / 2);
        r.NewLine();
    };
    r.OnPrintPage = [pages](PageEngine& r, int page) {
        r.BodyTop(1.25);
        r.BodyBottom(r.PaperHeight() - 1.25);
        r.GoToBodyStart();
        r.SelectFont(QStringLiteral("Arial"), 10);
        r.ClearColumns();
        r.AddColumn(1, 15, 0, 2, 2.0, -32768);
        r.AddColumn(2, 3, 20, 2, 1.25, -32768);
        r.AddColumn(1, 15, 50, 2, 0, -32768);
        r.AddColumn(0, 12, 100, 2, 1.5, -32768);  // filled black
        for (int line = 1; line <= 12; ++line) {
            if (line == 5) r.SetFontColour(QColor(200, 0, 0));
            if (line == 8) {
                r.SelectFont(QStringLiteral("Courier New"), 9);
                r.SetFontStyle(false, true, true, false);
            }
            r.WriteLine(QStringLiteral("\tItem %1 of page %2\t%3.00\tzero\tKitchen").arg(line).arg(page).arg(line * 125));
        }
        r.SetPen(QColor(0, 0, 160), PenStyle::Solid, 0.02);
        r.Line(0.5, 6.0, 8.0, 6.0);
        r.SetBrush(QColor(220, 240, 220));
        r.Rectangle(1.0, 6.5, 3.0, 7.0);
        return page < pages;
    };
    r.OnPrintFooter = [](PageEngine& r) {
        r.BodyTop(r.PaperHeight() - 1.0);
        r.BodyBottom(r.PaperHeight() - 0.5);
        r.SelectFont(QStringLiteral("Arial"), 8);
        r.GoToLastLine();
        r.WriteAcross(QStringLiteral("Page %1").arg(r.CurrentPage()), 1);
        r.WriteAcross(QStringLiteral("Mutual Household    #P-778"), 0);
        r.WriteAcross(QStringLiteral("03/15/2024"), 2);
    };
}

// Records a report into a memory stream and returns its bytes.
inline QByteArray Record(int pages, int first = 1, int last = 9999, Orientation orientation = Orientation::poDefault) {
    ReportRecorder filer;
    filer.SetFirstPage(first);
    filer.SetLastPage(last);
    filer.SetOrientation(orientation);
    ComposeSample(filer, pages);
    if (!filer.RunJob()) return {};
    return qobject_cast<QBuffer*>(filer.Stream())->buffer();
}

// One record of a recorded report, found by walking the operand sizes as
// laid down for the format, without the engine's reader.
struct Op {
    qsizetype pos;
    uint8_t code;
};

inline int32_t I32At(const QByteArray& s, qsizetype pos) { return qFromLittleEndian<qint32>(s.constData() + pos); }
inline void SetI32At(QByteArray& s, qsizetype pos, int32_t v) { qToLittleEndian<qint32>(v, s.data() + pos); }

inline std::vector<Op> WalkOps(const QByteArray& s) {
    std::vector<Op> ops;
    qsizetype p = 0;
    auto byte = [&](qsizetype at) { return uint8_t(s[at]); };
    while (p < s.size()) {
        const uint8_t code = byte(p);
        ops.push_back({p, code});
        const qsizetype a = p + 1;
        switch (code) {
        case 23: case 24: case 25: p = a + 4 + 1 + byte(a + 4) + 4; break;
        case 26: case 42: case 53: case 55: case 56: case 57: case 58: case 72: case 73: p = a + 1; break;
        case 27: case 28: case 29: case 41: case 52: case 54: case 71: case 74: p = a + 4; break;
        case 43: p = a + 5 + I32At(s, a + 1); break;
        case 51: p = a + 1 + byte(a); break;
        case 80: p = a + 13; break;
        case 81: p = a + 53 + 1 + byte(a + 53); break;
        case 82: p = a; break;
        case 90: case 91: p = a + 16; break;
        case 92: p = a + 21; break;
        case 93: p = a + 21 + I32At(s, a + 17); break;
        case 94: p = a + 9 + I32At(s, a + 5) + 4; break;
        default: return ops;
        }
    }
    return ops;
}

inline int Count(const std::vector<Op>& ops, uint8_t code) {
    return int(std::count_if(ops.begin(), ops.end(), [code](const Op& op) { return op.code == code; }));
}

// Runs a poppler tool on a file and returns what it printed.
inline QString Poppler(const QString& tool, const QStringList& args) {
    QProcess process;
    process.start(tool, args);
    if (!process.waitForFinished(60000) || process.exitCode() != 0) return {};
    return QString::fromUtf8(process.readAllStandardOutput());
}

inline int PdfPageCount(const QString& file) {
    const QString info = Poppler(QStringLiteral("pdfinfo"), {file});
    for (const QString& line : info.split(QLatin1Char('\n')))
        if (line.startsWith(QLatin1String("Pages:"))) return line.mid(6).trimmed().toInt();
    return -1;
}

}  // namespace enginetest
