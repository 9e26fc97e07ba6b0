// Composing: units, line arithmetic at the band's edge, column stops, the
// status line, and a job's events, page range, cancel and failures.

#include <QTest>
#include <cmath>
#include <functional>
#include <stdexcept>

#include "EngineTestSupport.h"
#include "PageRenderer.h"
#include "ReportStream.h"
#include "TextShaper.h"
#include "PrinterPageEngine.h"

using namespace enginetest;

class ComposeTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { AsWithoutPrinter(); }
    void unitsFollowTheFactor();
    void remainingLinesAtTheBandEdge_data();
    void remainingLinesAtTheBandEdge();
    void bandEdgesPullTheCurrentLineIn();
    void fontSizesAreKeptInRange();
    void columnsAfterThePreviousStop();
    void bordersAndTextLinesAreDrawnWhereAsked_data();
    void bordersAndTextLinesAreDrawnWhereAsked();
    void shadesLinesAndScaleAreDrawnWhereAsked();
    void textIsMeasuredTheSameOnScreenAndPrinter_data();
    void textIsMeasuredTheSameOnScreenAndPrinter();
    void statusLineCodes_data();
    void statusLineCodes();
    void jobRaisesEventsInOrderAndSkipsPagesOutsideTheRange();
    void cancelStopsAfterTheCurrentPage();
    void anEventThatThrowsEndsTheJobAfterOnAfterPrint();
    void printerJobWithoutPrinterIsRefused();
    void referencePageTurnsForLandscape();
};

void ComposeTest::unitsFollowTheFactor() {
    ReportRecorder r;
    QCOMPARE(r.UnitsKind(), Units::unInch);
    QCOMPARE(r.MarginLeft(), 0.5);
    r.SetUnitsFactor(25.4);
    QCOMPARE(r.UnitsKind(), Units::unMM);
    QCOMPARE(r.MarginLeft(), 12.7);
    QCOMPARE(r.PaperWidth(), 8.5 * 25.4);
    r.SetUnitsFactor(0);  // ignored
    r.SetUnitsFactor(-3);
    QCOMPARE(r.UnitsFactor(), 25.4);
    r.SetUnitsFactor(3);
    QCOMPARE(r.UnitsKind(), Units::unUser);
    r.SetUnits(Units::unPoint);
    QCOMPARE(r.UnitsFactor(), 72.0);
    r.SetMarginLeft(36);
    r.SetUnits(Units::unInch);
    QCOMPARE(r.MarginLeft(), 0.5);
    // 10-point text gives six lines to the inch, or LinesPerInch when asked.
    r.SelectFont("Arial", 10);
    QCOMPARE(r.LineHeight(), 1.0 / 6);
    r.SetLineHeightMethod(LineHeightMethod::lhmLinesPerInch);
    r.SetLinesPerInch(8);
    QCOMPARE(r.LineHeight(), 1.0 / 8);
}

void ComposeTest::remainingLinesAtTheBandEdge_data() {
    QTest::addColumn<QString>("font");
    QTest::addColumn<double>("size");
    QTest::newRow("Arial 10") << "Arial" << 10.0;
    QTest::newRow("Courier New 9") << "Courier New" << 9.0;
    QTest::newRow("Arial 24") << "Arial" << 24.0;
}

void ComposeTest::remainingLinesAtTheBandEdge() {
    QFETCH(QString, font);
    QFETCH(double, size);
    ReportRecorder r;
    r.SelectFont(font, size);
    const double h = r.FontHeight(), L = r.LineHeight();
    QVERIFY(h > 0.05 && h < 0.6);
    const double top = 1.3;
    r.BodyTop(top);
    auto remaining = [&](double bottom) {
        r.BodyBottom(bottom);
        r.GoToBodyStart();
        return r.RemainingLines();
    };
    QCOMPARE(remaining(top + h), 1);
    QCOMPARE(remaining(top + h - 1e-4), 0);
    QCOMPARE(remaining(top + L + h), 2);
    QCOMPARE(remaining(top + L + h - 1e-4), 1);
    QCOMPARE(remaining(top + 9 * L + h), 10);
    // Ending lines counts down to the same edge.
    r.BodyBottom(top + 2 * L + h);
    r.GoToBodyStart();
    r.NewLine();
    QCOMPARE(r.RemainingLines(), 2);
    r.NewLine();
    QCOMPARE(r.RemainingLines(), 1);
    QCOMPARE(r.LineNumber(), 3);
    r.NewLine();
    QCOMPARE(r.RemainingLines(), 0);
    // The last line of the band is where a footer writes.
    r.GoToLastLine();
    QCOMPARE(r.LineNumber(), 3);
    QCOMPARE(r.RemainingLines(), 1);
}

void ComposeTest::bandEdgesPullTheCurrentLineIn() {
    ReportRecorder r;
    r.BodyTop(1);
    r.BodyBottom(5);
    r.GoToBodyStart();
    r.BodyTop(2);
    QCOMPARE(r.YPos(), 2.0);
    r.BodyBottom(1.5);
    QCOMPARE(r.YPos(), 1.5);
    QCOMPARE(r.RemainingLines(), 0);
}

namespace {

// A page at 100 dots per inch with what draw puts on it, below a body
// top of 1 inch.
QImage Page(const std::function<void(PageEngine&)>& draw) {
    ImageReport r;
    r.dpi = 100;
    r.OnPrintPage = [=](PageEngine& e, int) {
        e.BodyTop(1);
        e.BodyBottom(5);
        e.GoToBodyStart();
        e.SelectFont(QStringLiteral("Arial"), 24);
        draw(e);
        return false;
    };
    if (!r.RunJob() || r.pages.empty()) return {};
    return r.pages.front();
}

// One line of text in a column from 1 to 3 inches, composed straight onto a
// page at 100 dots per inch.
QImage OneCell(int borders, bool underline, bool strikeout) {
    return Page([=](PageEngine& e) {
        e.SetFontStyle(false, false, underline, strikeout);
        e.ClearColumns();
        e.AddColumn(1, borders, 0, 2, 2.0, 1.0);
        e.WriteLine(QStringLiteral("\tHEMH"));
    });
}

// The smallest rectangle holding every pixel that differs between a and b
// (or that is not white, when b is null).
QRect Differences(const QImage& a, const QImage& b = {}) {
    QRect box;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x)
            if (b.isNull() ? a.pixel(x, y) != qRgb(255, 255, 255) : a.pixel(x, y) != b.pixel(x, y))
                box |= QRect(x, y, 1, 1);
    return box;
}

}  // namespace

void ComposeTest::bordersAndTextLinesAreDrawnWhereAsked_data() {
    QTest::addColumn<int>("borders");
    QTest::addColumn<bool>("underline");
    QTest::addColumn<bool>("strikeout");
    QTest::addColumn<QRect>("border");  // where a border is drawn: the cell is 1 to 3 inches by 40 dots
    QTest::newRow("left border") << int(BorderLeft) << false << false << QRect(100, 100, 1, 40);
    QTest::newRow("right border") << int(BorderRight) << false << false << QRect(300, 100, 1, 40);
    QTest::newRow("top border") << int(BorderTop) << false << false << QRect(100, 100, 201, 1);
    QTest::newRow("bottom border") << int(BorderBottom) << false << false << QRect(100, 139, 201, 1);
    QTest::newRow("left and right") << int(BorderLeft | BorderRight) << false << false << QRect(100, 100, 201, 40);
    QTest::newRow("underline") << 0 << true << false << QRect();
    QTest::newRow("strikeout") << 0 << false << true << QRect();
}

void ComposeTest::bordersAndTextLinesAreDrawnWhereAsked() {
    QFETCH(int, borders);
    QFETCH(bool, underline);
    QFETCH(bool, strikeout);
    const QImage plain = OneCell(0, false, false);
    QVERIFY(!plain.isNull());
    const QRect text = Differences(plain);
    const QImage drawn = OneCell(borders, underline, strikeout);
    const QRect added = Differences(drawn, plain);
    QFETCH(QRect, border);
    if (borders) {
        QCOMPARE(added, border);
        return;
    }
    // A line across the whole text, at most three dots thick: under its
    // baseline, or through its middle.
    QVERIFY2(added.left() <= text.left() && added.right() >= text.right(), qPrintable(QString("text %1-%2, line %3-%4")
        .arg(text.left()).arg(text.right()).arg(added.left()).arg(added.right())));
    QVERIFY(added.height() >= 1 && added.height() <= 3);
    if (underline)
        QVERIFY(added.top() > text.bottom());
    else
        QVERIFY(added.top() > text.top() + text.height() / 4 && added.bottom() < text.bottom() - text.height() / 4);
}

void ComposeTest::shadesLinesAndScaleAreDrawnWhereAsked() {
    // What is drawn later lies on top: a filled rectangle over a line of
    // text hides it.
    const QImage covered = Page([](PageEngine& e) {
        e.SetPen(Qt::white);
        e.SetBrush(Qt::white);
        e.WriteLine(QStringLiteral("HEMH"));
        e.Rectangle(0, 0, 8.5, 11);
    });
    QVERIFY(!covered.isNull());
    QCOMPARE(Differences(covered), QRect());
    // A shaded column fills its cell, 1 to 3 inches by one line, with the
    // grey of its shade; without a shade of its own it takes the tab shade.
    auto shaded = [](int shade, int tabShade) {
        return Page([=](PageEngine& e) {
            e.SetTabShade(tabShade);
            e.ClearColumns();
            e.AddColumn(1, 0, shade, 2, 2.0, 1.0);
            e.WriteLine(QStringLiteral("\t"));
        });
    };
    const QImage black = shaded(100, 0);
    QCOMPARE(Differences(black), QRect(100, 100, 200, 40));
    QCOMPARE(black.pixel(200, 120), qRgb(0, 0, 0));
    QCOMPARE(shaded(50, 0).pixel(200, 120), qRgb(128, 128, 128));
    QCOMPARE(shaded(0, 25).pixel(200, 120), qRgb(192, 192, 192));
    QCOMPARE(shaded(1, 50).pixel(200, 120), qRgb(253, 253, 253));  // the faintest shade of its own
    QCOMPARE(shaded(0, 0).pixel(200, 120), qRgb(255, 255, 255));
    // A column without width draws neither fill nor borders.
    QCOMPARE(Differences(Page([](PageEngine& e) {
                 e.ClearColumns();
                 e.AddColumn(1, BorderLeft | BorderRight | BorderTop, 100, 2, 0.0, 1.0);
                 e.WriteLine(QStringLiteral("\t"));
             })),
             QRect());

    const QImage line = Page([](PageEngine& e) { e.Line(1, 2, 3, 2); });
    QCOMPARE(Differences(line), QRect(100, 200, 200, 1));

    // Scales stretch positions across and down, from 1 to 1000 %; a scale
    // outside that is ignored.
    auto scaled = [](double x, double y) {
        return Differences(Page([=](PageEngine& e) {
            e.SetScaleX(x);
            e.SetScaleY(y);
            e.Line(1, 2, 3, 2);
        }));
    };
    QCOMPARE(scaled(200, 100), QRect(200, 200, 400, 1));
    QCOMPARE(scaled(100, 150), QRect(100, 300, 200, 1));
    QCOMPARE(scaled(1, 1), QRect(1, 2, 2, 1));
    QCOMPARE(scaled(1000, 10), QRect(1000, 20, 2000, 1).intersected(QRect(0, 0, 850, 1100)));
    QCOMPARE(scaled(0.5, 1001), QRect(100, 200, 200, 1));
}

// Font sizes are kept between half a point and 1440 points (20 inches),
// when chosen and when a text is measured at a size; the text height grows
// with the size all the way.
void ComposeTest::fontSizesAreKeptInRange() {
    ReportRecorder r;
    r.SelectFont(QStringLiteral("Arial"), 72);
    const double inch = r.FontHeight();
    QVERIFY2(inch > 1.05 && inch < 1.2, qPrintable(QString::number(inch)));
    for (double points : {1000.0, 1200.0, 1440.0}) {
        r.SelectFont(QStringLiteral("Arial"), points);
        QVERIFY2(std::abs(r.FontHeight() / (points / 72) - inch) < 0.001,
                 qPrintable(QString("%1 points: %2 inches").arg(points).arg(r.FontHeight())));
    }
    const double largest = r.FontHeight();
    const double widest = r.MeasureTextAt(QStringLiteral("HEMH"), 1440);
    r.SelectFont(QStringLiteral("Arial"), 5000);
    QCOMPARE(r.FontHeight(), largest);
    QCOMPARE(r.MeasureTextAt(QStringLiteral("HEMH"), 1441), widest);
    r.SelectFont(QStringLiteral("Arial"), 0.1);
    const double smallest = r.FontHeight();
    QVERIFY2(smallest > 0.5 / 72 && smallest < 0.6 / 72, qPrintable(QString::number(smallest)));
    r.SelectFont(QStringLiteral("Arial"), 0);  // ignored
    QCOMPARE(r.FontHeight(), smallest);

    // Only a fixed pitch asks for a font of fixed pitch.
    FontState pitched;
    for (const auto& [pitch, fixed] : {std::pair{FontPitch::Default, false}, std::pair{FontPitch::Fixed, true},
                                       std::pair{FontPitch::Variable, false}}) {
        pitched.pitch = pitch;
        QCOMPARE(TextShaper::MakeFont(pitched, 10).fixedPitch(), fixed);
    }

    // Two sizes on one line: each text is drawn in its own; drawn in the
    // first, capitals of 72 points would stand as short as those of 24.
    const QRect mixed = Differences(Page([](PageEngine& e) {
        e.WriteText(QStringLiteral("HH"));
        e.SelectFont(QStringLiteral("Arial"), 72);
        e.WriteText(QStringLiteral("HH"));
    }));
    QVERIFY2(mixed.height() > 60 && mixed.height() < 100, qPrintable(QString::number(mixed.height())));

    // A letter of 1100 points stands below the body top, not above it.
    const QRect letter = Differences(Page([](PageEngine& e) {
        e.SelectFont(QStringLiteral("Arial"), 1100);
        e.WriteLine(QStringLiteral("H"));
    }));
    QVERIFY2(letter.top() > 100 && letter.bottom() < 100 + 1100 * 100 / 72,
             qPrintable(QString("%1 to %2").arg(letter.top()).arg(letter.bottom())));
}

void ComposeTest::columnsAfterThePreviousStop() {
    ReportRecorder r;
    r.SetMarginLeft(0.75);
    r.AddColumn(1, 15, 0, 2, 2.0, -32768);
    r.AddColumn(2, 0, 0, 2, 1.0, -32768);
    r.AddColumn(0, 0, 0, 2, 0.0, -32768);
    r.AddColumn(0, 0, 0, 2, 1.5, 5.0);
    r.AddColumn(0, 0, 0, 2, 0.5, -1);
    QCOMPARE(r.ColumnCount(), 5);
    QCOMPARE(r.Column(1)->left, 0.75);
    QCOMPARE(r.Column(2)->left, 2.75);
    QCOMPARE(r.Column(3)->left, 3.75);
    QCOMPARE(r.Column(4)->left, 5.0);
    QCOMPARE(r.Column(5)->left, 6.5);
    QCOMPARE(r.Column(1)->innerMargin, 0.02);
    QCOMPARE(r.ColumnTextWidth(1), 1.96);
    QCOMPARE(r.ColumnTextWidth(3), 0.0);  // width 0: no room, never negative
    QCOMPARE(r.ColumnTextWidth(6), 0.0);
    QCOMPARE(r.ColumnTextWidth(0), 0.0);
    r.ClearColumns();
    QCOMPARE(r.ColumnCount(), 0);
    r.AddColumn(1, 0, 0, 2, 1.0, -32768);
    QCOMPARE(r.Column(1)->left, 0.75);
}

void ComposeTest::textIsMeasuredTheSameOnScreenAndPrinter_data() {
    QTest::addColumn<QString>("font");
    QTest::addColumn<double>("size");
    QTest::addColumn<bool>("bold");
    QTest::addColumn<QString>("text");
    const QString latin = QStringLiteral("Cordless Drill, 18 V, serial KX-4471-0092 (Garage shelf) HW");
    QTest::newRow("Arial 10") << "Arial" << 10.0 << false << latin;
    QTest::newRow("Arial 8 bold") << "Arial" << 8.0 << true << latin;
    QTest::newRow("Courier New 9") << "Courier New" << 9.0 << false << latin;
    QTest::newRow("Times New Roman 12") << "Times New Roman" << 12.0 << false << latin;
    QTest::newRow("Cyrillic and Greek, shaped in full") << "Arial" << 10.0 << false
                                                        << QStringLiteral("Шкаф дубовый, пять полок — Ελληνικά HW");
}

// Text is measured once; drawn on a 96 dpi screen or a 300 dpi printer it
// must end where the measure says, else a column's shortened text would
// overrun on one of them.
void ComposeTest::textIsMeasuredTheSameOnScreenAndPrinter() {
    QFETCH(QString, font);
    QFETCH(double, size);
    QFETCH(bool, bold);
    QFETCH(QString, text);
    ReportRecorder r;
    r.SelectFont(font, size);
    r.SetFontStyle(bold, false, false, false);
    const double measured = r.MeasureText(text);
    for (int dpi : {96, 300}) {
        QImage page(qRound(8.5 * dpi), dpi, QImage::Format_RGB32);
        page.setDotsPerMeterX(qRound(dpi / 0.0254));
        page.setDotsPerMeterY(qRound(dpi / 0.0254));
        page.fill(Qt::white);
        {
            QPainter painter(&page);
            PageRenderer renderer(painter, dpi, dpi, 1.0);
            DrawState state;
            state.font = r.Font();
            renderer.Apply(state);
            renderer.Text(Align::Left, 0.5f, 0.2f, text);
        }
        int right = 0;
        for (int y = 0; y < page.height(); ++y)
            for (int x = page.width() - 1; x > right; --x)
                if (qGray(page.pixel(x, y)) < 160) right = x;
        const double inked = (right + 1.0) / dpi - 0.5;
        QVERIFY2(std::abs(inked - measured) < 0.015,
                 qPrintable(QString("%1 dpi: ink ends at %2 in, measured %3 in").arg(dpi).arg(inked).arg(measured)));
    }
}

void ComposeTest::statusLineCodes_data() {
    QTest::addColumn<QString>("format");
    QTest::addColumn<QString>("expected");
    QTest::newRow("page") << "Printing Page %p" << "Printing Page 3";
    QTest::newRow("upper-case code") << "%P/%L from %f" << "3/9999 from 1";
    QTest::newRow("percent") << "100%% done" << "100% done";
    QTest::newRow("status lines") << "%0|%1|%7" << "first|second|";
    QTest::newRow("devices") << "%d, %r, %t" << "Preview Only, Preview Only, Preview";
    QTest::newRow("unknown code") << "%x" << "<ERROR-%x>";
    QTest::newRow("unknown among known") << "a%qb%pc" << "a<ERROR-%q>b3c";
    QTest::newRow("percent at the end") << "50%" << "50%";
}

void ComposeTest::statusLineCodes() {
    QFETCH(QString, format);
    QFETCH(QString, expected);
    ReportRecorder r;
    r.StatusText() << "first" << "second";
    QString shown;
    r.OnStatus = [&](const QString& line) { shown = line; };
    r.OnBeforePrint = [&](PageEngine& e) { e.SetStatusFormat(format); };
    r.OnPrintPage = [](PageEngine&, int page) { return page < 3; };
    QVERIFY(r.RunJob());
    QCOMPARE(shown, expected);
    QCOMPARE(r.StatusLine(), expected);
}

void ComposeTest::jobRaisesEventsInOrderAndSkipsPagesOutsideTheRange() {
    ReportRecorder r;
    r.SetFirstPage(2);
    r.SetLastPage(3);
    QStringList events;
    r.OnBeforePrint = [&](PageEngine& e) { events << QString("before %1").arg(e.CurrentPage()); };
    r.OnNewPage = [&](PageEngine& e) { events << QString("new %1").arg(e.CurrentPage()); };
    r.OnPrintHeader = [&](PageEngine& e) { events << QString("header %1").arg(e.CurrentPage()); };
    r.OnPrintPage = [&](PageEngine& e, int page) {
        events << QString("page %1").arg(page);
        e.WriteLine(QString("body of page %1").arg(page));
        return page < 4;
    };
    r.OnPrintFooter = [&](PageEngine& e) { events << QString("footer %1").arg(e.CurrentPage()); };
    r.OnAfterPrint = [&](PageEngine& e) { events << QString("after %1").arg(e.Printing()); };
    QVERIFY(r.RunJob());
    QCOMPARE(events.join(", "), QString("before 0, new 1, header 1, page 1, footer 1, new 2, header 2, page 2, "
                                        "footer 2, new 3, header 3, page 3, footer 3, new 4, header 4, page 4, "
                                        "footer 4, after 0"));
    QCOMPARE(r.PageCount(), 2);
    ReportStreamReader reader;
    reader.Open(*r.Stream());
    QCOMPARE(reader.PageCount(), 2);
    QCOMPARE(reader.PageNumber(0), 2);
    QCOMPARE(reader.PageNumber(1), 3);
    // Column stops stay from page to page; the next tab starts again.
    ReportRecorder s;
    int stopsOnPage2 = -1;
    s.OnPrintPage = [&](PageEngine& e, int page) {
        if (page == 1) {
            e.AddColumn(1, 0, 0, 2, 1, -32768);
            e.WriteText("\tone");
        } else {
            stopsOnPage2 = e.ColumnCount() * 10 + e.ColumnNumber();
        }
        return page < 2;
    };
    QVERIFY(s.RunJob());
    QCOMPARE(stopsOnPage2, 10);
}

void ComposeTest::cancelStopsAfterTheCurrentPage() {
    ReportRecorder r;
    bool footerOfPage2 = false, after = false;
    r.OnPrintPage = [&](PageEngine& e, int page) {
        e.WriteLine("line");
        if (page == 2) e.CancelJob();
        return page < 10;
    };
    r.OnPrintFooter = [&](PageEngine& e) { footerOfPage2 |= e.CurrentPage() == 2; };
    r.OnAfterPrint = [&](PageEngine&) { after = true; };
    QVERIFY(r.RunJob());
    QVERIFY(r.Aborted());
    QVERIFY(footerOfPage2 && after);
    QCOMPARE(r.CurrentPage(), 2);
    QCOMPARE(r.PageCount(), 2);
    ReportStreamReader reader;
    reader.Open(*r.Stream());  // the recording is complete
    QCOMPARE(reader.Header().pageCount, 2);
}

void ComposeTest::anEventThatThrowsEndsTheJobAfterOnAfterPrint() {
    ReportRecorder r;
    bool after = false;
    r.OnPrintPage = [&](PageEngine& e, int page) -> bool {
        e.WriteLine("line");
        if (page == 3) throw std::runtime_error("table read failed");
        return true;
    };
    r.OnAfterPrint = [&](PageEngine& e) { after = !e.Printing(); };
    QVERIFY_THROWS_EXCEPTION(std::runtime_error, r.RunJob());
    QVERIFY(after);
    QVERIFY(!r.Printing());
    ReportStreamReader reader;
    reader.Open(*r.Stream());
    QCOMPARE(reader.PageCount(), 3);
    // A new job runs afterwards.
    r.OnPrintPage = [](PageEngine&, int) { return false; };
    QVERIFY(r.RunJob());
}

void ComposeTest::printerJobWithoutPrinterIsRefused() {
    MessageRecorder messages;
    PrinterPageEngine printer;
    bool before = false;
    printer.OnBeforePrint = [&](PageEngine&) { before = true; };
    QVERIFY(!printer.RunJob());
    QVERIFY(!before);
    QCOMPARE(messages.titles, QStringList{"Error"});
    QCOMPARE(messages.texts, QStringList{"No printers are defined, aborting print job."});
    // Without a printer the page is the reference page.
    QCOMPARE(printer.PaperWidth(), 8.5);
    QCOMPARE(printer.PaperHeight(), 11.0);
}

void ComposeTest::referencePageTurnsForLandscape() {
    MessageRecorder messages;
    const QByteArray stream = Record(1, 1, 9999, Orientation::poLandScape);
    ReportStreamReader reader;
    reader.Open(stream);
    QCOMPARE(reader.Header().paperWidth, 11.0f);
    QCOMPARE(reader.Header().paperHeight, 8.5f);
    QVERIFY(reader.Header().landscape);
    QVERIFY(reader.PageLandscape(0));
    QCOMPARE(reader.Header().port, QString("Preview"));
    QVERIFY(messages.texts.isEmpty());
}

QTEST_MAIN(ComposeTest)
#include "ComposeTest.moc"
