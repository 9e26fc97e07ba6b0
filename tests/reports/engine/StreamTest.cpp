// The recorded report: its layout (headers, page chain, state written only
// when it changes, skipped pages absent), pages replayed exactly as they
// were composed, the stream modes, and the reader on damaged streams.

#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <cmath>
#include <cstring>
#include <random>

#include "EngineTestSupport.h"
#include "PageRenderer.h"
#include "RecordedPagePreview.h"

using namespace enginetest;

namespace {

std::vector<qsizetype> PageHeaders(const std::vector<Op>& ops) {
    std::vector<qsizetype> out;
    for (const Op& op : ops)
        if (op.code == 80) out.push_back(op.pos);
    return out;
}

// The codes between the end of a page header's state and its page end.
std::vector<int> BodyCodes(const std::vector<Op>& ops, qsizetype header) {
    std::vector<int> out;
    bool inPage = false, inState = true;
    for (const Op& op : ops) {
        if (op.pos == header) {
            inPage = true;
            continue;
        }
        if (!inPage) continue;
        if (op.code == 82) break;
        if (inState && op.code == 27) {  // the background colour closes the header's state
            inState = false;
            continue;
        }
        if (!inState) out.push_back(op.code);
    }
    return out;
}

// Pictures, and a text and a font name longer than a length byte holds.
void ComposePicturesAndLongText(PageEngine& r) {
    r.OnPrintPage = [](PageEngine& e, int page) {
        e.GoToBodyStart();
        QImage tile(8, 8, QImage::Format_RGB32);
        tile.fill(QColor(250, 230, 120));
        tile.setPixelColor(3, 3, Qt::darkGreen);
        e.SetBrushPicture(tile);
        e.Rectangle(1, 2, 4, 3);
        e.SetBrushPicture(QImage());
        QImage logo(40, 20, QImage::Format_RGB32);
        logo.fill(QColor(30, 90, 200));
        e.PrintBitmapRect(5, 2, 7, 3, logo);
        e.SelectFont("Arial", 6);
        e.WriteLine(QString("Déjà vu, ").repeated(40));
        e.WriteLine(QStringLiteral("Шкаф дубовый — Ελληνικά"));
        e.SetTextBackground(true, QColor(255, 255, 0));
        e.WriteLine("on yellow");
        // A font name longer than its length byte holds: cut to 255 bytes.
        e.SelectFont(QString(300, u'F'), 6);
        e.WriteLine("in a font nobody has");
        return page < 2;
    };
}

}  // namespace

class StreamTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { AsWithoutPrinter(); }
    void layoutFollowsThePageChain();
    void stateIsWrittenOnlyWhenItChanges();
    void replayedPagesMatchComposedPages_data();
    void replayedPagesMatchComposedPages();
    void streamModes();
    void everyTruncationIsRefused();
    void damagedStreamsAreRefused_data();
    void damagedStreamsAreRefused();
    void valuesAreReadUpToTheirLimits();
    void randomDamageNeverCrashes();
};

void StreamTest::layoutFollowsThePageChain() {
    MessageRecorder messages;
    const QByteArray s = Record(5, 2, 4);
    const std::vector<Op> ops = WalkOps(s);
    QCOMPARE(ops.front().code, uint8_t(81));
    QCOMPARE(I32At(s, 1), 3);  // page count filled in
    QCOMPARE(I32At(s, 5), 2);
    QCOMPARE(I32At(s, 9), 4);
    const std::vector<qsizetype> headers = PageHeaders(ops);
    QCOMPARE(headers.size(), size_t(3));
    QCOMPARE(headers[0], ops[1].pos);  // the first page follows the report header
    for (size_t i = 0; i < headers.size(); ++i) {
        const qsizetype h = headers[i];
        QCOMPARE(I32At(s, h + 1), i == 0 ? 0 : int(headers[i - 1]));
        QCOMPARE(I32At(s, h + 5), i + 1 < headers.size() ? int(headers[i + 1]) : 0);
        QCOMPARE(I32At(s, h + 9), int(i) + 2);
        // Each page ends right before the next one starts.
        const qsizetype next = i + 1 < headers.size() ? headers[i + 1] : s.size();
        QCOMPARE(uint8_t(s[next - 1]), uint8_t(82));
    }
    // The full state follows every page header.
    std::vector<int> state;
    for (size_t i = 2; i < ops.size() && ops[i].code != 27; ++i) state.push_back(ops[i].code);
    QCOMPARE(state, (std::vector<int>{41, 42, 51, 52, 53, 54, 55, 56, 57, 58, 71, 72, 73, 74, 28, 29, 26}));
    // Skipped pages leave no trace.
    QVERIFY(s.contains("Item 3 of page 2"));
    QVERIFY(!s.contains("of page 1"));
    QVERIFY(!s.contains("of page 5"));
    QCOMPARE(ops.back().code, uint8_t(82));
    QVERIFY(messages.texts.isEmpty());
}

void StreamTest::stateIsWrittenOnlyWhenItChanges() {
    ReportRecorder r;
    r.OnPrintPage = [](PageEngine& e, int) {
        e.SelectFont("Arial", 10);  // as the page started: nothing to write
        e.WriteLine("a");
        e.SetFontColour(Qt::black);
        e.SelectFont("Arial", 10);
        e.WriteLine("b");
        e.SetFontColour(Qt::red);
        e.SetFontColour(Qt::blue);  // only the last colour before the text counts
        e.WriteLine("c");
        e.WriteLine("d");
        e.SelectFont("Courier New", 10);  // new name, colour back to black, same height
        e.SetFontStyle(true, false, false, false);
        e.WriteLine("e");
        e.SetFontPitch(FontPitch::Variable);
        e.WriteLine("f");
        e.SetPen(Qt::green);
        e.Line(1, 1, 2, 2);
        e.Line(1, 2, 2, 3);
        e.SetFontColour(Qt::magenta);  // nothing drawn with it
        e.SetBrush(Qt::yellow, BrushStyle::DiagCross);  // colour and style: no picture written again
        e.Rectangle(1, 3, 2, 4);
        return false;
    };
    QVERIFY(r.RunJob());
    const QByteArray s = qobject_cast<QBuffer*>(r.Stream())->buffer();
    const std::vector<Op> ops = WalkOps(s);
    QCOMPARE(BodyCodes(ops, PageHeaders(ops).at(0)),
             (std::vector<int>{24, 24, 52, 24, 24, 51, 52, 55, 24, 53, 24, 71, 90, 90, 41, 42, 52, 91}));
    ReportStreamReader back;  // and reads back as written
    back.Open(s);
    QCOMPARE(back.PageCount(), 1);
    QImage image(85, 110, QImage::Format_RGB32);
    QPainter painter(&image);
    PageRenderer renderer(painter, 10, 10, 1.0);
    back.ReplayPage(0, renderer);
    for (int page : {-1, 1}) {
        try {
            back.ReplayPage(page, renderer);
            QFAIL("a page that is not there was replayed");
        } catch (const ReportError& e) {
            QCOMPARE(QString(e.what()), QStringLiteral("There is no such page in the recorded report."));
        }
    }
}

void StreamTest::replayedPagesMatchComposedPages_data() {
    QTest::addColumn<int>("kind");
    QTest::addColumn<int>("first");
    QTest::newRow("columns, shading, fonts, colours") << 0 << 1;
    QTest::newRow("landscape, from page 2") << 1 << 2;
    QTest::newRow("pictures, long text, opaque text") << 2 << 1;
    QTest::newRow("a rectangle over a text") << 3 << 1;
}

void StreamTest::replayedPagesMatchComposedPages() {
    QFETCH(int, kind);
    QFETCH(int, first);
    MessageRecorder messages;
    auto setUp = [&](PageEngine& r) {
        r.SetFirstPage(first);
        if (kind == 1) r.SetOrientation(Orientation::poLandScape);
        if (kind == 2) {
            ComposePicturesAndLongText(r);
        } else if (kind == 3) {
            // What is drawn later lies on top: the rectangle hides the text.
            r.OnPrintPage = [](PageEngine& e, int) {
                e.GoToBodyStart();
                e.WriteLine(QStringLiteral("Covered"));
                e.SetPen(QColor(0, 160, 0));
                e.SetBrush(QColor(0, 160, 0));
                e.Rectangle(0.5, 0.5, 8, 10.5);
                return false;
            };
        } else {
            ComposeSample(r, 3);
        }
    };
    ImageReport direct;
    setUp(direct);
    QVERIFY(direct.RunJob());
    ReportRecorder filer;
    setUp(filer);
    QVERIFY(filer.RunJob());

    RecordedPagePreview preview;
    preview.SetScreenResolution(96, 96);
    preview.SetStream(filer.Stream());
    QVERIFY(preview.StartPreview());
    QCOMPARE(size_t(preview.PageCount()), direct.pages.size());
    for (int n = 1; n <= preview.PageCount(); ++n) {
        const QImage replayed = preview.RenderPage(n, 100);
        const QImage& composed = direct.pages[size_t(n - 1)];
        QCOMPARE(replayed.size(), composed.size());
        QVERIFY2(replayed == composed, qPrintable(QString("page %1 differs").arg(n)));
    }
    // The pages hold what they should, so that the comparison means something.
    const QImage& page = direct.pages.front();
    QCOMPARE(page.width(), kind == 1 ? 1056 : 816);
    QSet<QRgb> colours;
    for (int y = 0; y < page.height(); y += 1)
        for (int x = 0; x < page.width(); x += 1) colours.insert(page.pixel(x, y) & 0xFFFFFF);
    if (kind == 3) {
        QCOMPARE(colours, QSet<QRgb>({0xFFFFFF, qRgb(0, 160, 0) & 0xFFFFFF}));
    } else if (kind == 2) {
        QVERIFY(colours.contains(qRgb(30, 90, 200) & 0xFFFFFF));   // the bitmap
        QVERIFY(colours.contains(qRgb(250, 230, 120) & 0xFFFFFF)); // the picture brush
        QVERIFY(colours.contains(qRgb(255, 255, 0) & 0xFFFFFF));   // the opaque background
    } else {
        QVERIFY(colours.contains(0xCCCCCC));  // a 20 % shade: 255 - 20 * 255 / 100 = 204
        QVERIFY(colours.contains(0x000000));  // borders
        QVERIFY(colours.contains(0x0000A0));  // the blue pen
        QVERIFY(colours.contains(qRgb(220, 240, 220) & 0xFFFFFF));  // the brush
        bool red = false;
        for (QRgb c : colours) red |= qRed(c) > 150 && qGreen(c) < 80 && qBlue(c) < 80;
        QVERIFY(red);
    }
    QVERIFY(messages.texts.isEmpty());
}

void StreamTest::streamModes() {
    MessageRecorder messages;
    QTemporaryDir dir;
    // A file, replaced whole.
    auto recordToFile = [&](const QString& name, int pages) {
        ReportRecorder toFile;
        toFile.SetStreamMode(StreamMode::smFile);
        toFile.SetFileName(dir.filePath(name));
        ComposeSample(toFile, pages);
        return toFile.RunJob();
    };
    QVERIFY(recordToFile("report.rec", 2));
    QFile file(dir.filePath("report.rec"));
    ReportStreamReader reader;
    reader.Open(file);
    QCOMPARE(reader.PageCount(), 2);
    // Without a printer: letter paper upright, no unprintable edges, no
    // paper number, one copy.
    const ReportHeader& h = reader.Header();
    QCOMPARE(std::vector<float>({h.paperWidth, h.paperHeight, h.unprintableLeft, h.unprintableTop, h.unprintableRight,
                                 h.unprintableBottom}),
             std::vector<float>({8.5f, 11.0f, 0, 0, 0, 0}));
    QCOMPARE(std::vector<int>({h.landscape, h.copies, h.paperSize, h.paperLength, h.firstPage, h.lastPage}),
             std::vector<int>({0, 1, 0, 0, 1, 9999}));
    // An open file already read to its end is read from its start.
    QVERIFY(file.open(QIODevice::ReadOnly));
    file.readAll();
    reader.Open(file);
    QCOMPARE(reader.PageCount(), 2);
    QVERIFY(file.isOpen());
    file.close();
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{"report.rec"});
    // A report of more than a few buffers' worth: every buffer written once.
    {
        QVERIFY(recordToFile("big.rec", 3000));
        QFile bigFile(dir.filePath("big.rec"));
        QVERIFY(bigFile.size() > 3 << 20);
        reader.Open(bigFile);
        QCOMPARE(reader.PageCount(), 3000);
        QCOMPARE(reader.PageNumber(2999), 3000);
    }
    // A stream of the caller's, emptied first.
    QBuffer user;
    user.setData(QByteArray(100000, 'x'));
    ReportRecorder toUser;
    toUser.SetStream(&user);
    ComposeSample(toUser, 1);
    QVERIFY(toUser.RunJob());
    reader.Open(user);
    QCOMPARE(reader.PageCount(), 1);
    QCOMPARE(user.buffer(), Record(1));
    // A file that cannot be made: one message, OnAfterPrint, no file.
    ReportRecorder failing;
    failing.SetStreamMode(StreamMode::smFile);
    failing.SetFileName(dir.filePath("missing/report.rec"));
    bool after = false;
    ComposeSample(failing, 2);
    failing.OnAfterPrint = [&](PageEngine&) { after = true; };
    QVERIFY(!failing.RunJob());
    QVERIFY(after);
    QCOMPARE(messages.titles, QStringList{"Error"});
    QVERIFY(messages.texts.at(0).contains("missing/report.rec"));
    QVERIFY(!QFile::exists(dir.filePath("missing")));
}

void StreamTest::everyTruncationIsRefused() {
    const QByteArray s = Record(2);
    QVERIFY(s.size() > 1000);
    for (qsizetype n = 0; n < s.size(); ++n) {
        const QByteArray cut = s.left(n);
        ReportStreamReader reader;
        bool refused = false;
        try {
            reader.Open(cut);
        } catch (const ReportError& e) {
            refused = true;
            if (n == 0) QCOMPARE(QString(e.what()), QString("The recorded report is empty."));
        }
        if (!refused) QFAIL(qPrintable(QString("a stream cut at %1 of %2 bytes was accepted").arg(n).arg(s.size())));
    }
}

void StreamTest::damagedStreamsAreRefused_data() {
    QTest::addColumn<QString>("damage");
    QTest::addColumn<QString>("what");  // the message says what is damaged and where
    const std::pair<const char*, const char*> rows[] = {
        {"not a report", "it does not start with a report header"},
        {"negative page count", "a negative page count"},
        {"more pages than recorded", "the page chain points outside the report at page 3"},
        {"huge page count", "the page chain points outside the report at page 3"},
        {"link into its own page", "the page chain points outside the report at page 1"},
        {"link past the end", "the page chain points outside the report at page 2"},
        {"link to the very end", "the page chain points outside the report at page 2"},
        {"pages never recorded", "page 1 of 3 is missing"},
        {"last page links back", "the page chain points outside the report at page 3"},
        {"previous link wrong", "the page chain is broken at page 3"},
        {"page number zero", "a page number below 1"},
        {"picture length beyond the end", "it ends in the middle of an operation"},
        {"negative text length", "a text length is negative"},
        {"position not a number", "a position out of range"},
        {"position infinite", "a position out of range"},
        {"position just past the page's limit", "a position out of range"},
        {"unknown operation", "unknown operation 200"},
        {"font height zero", "a font height out of range"},
        {"negative pen width", "a pen width out of range"},
        {"paper width zero", "the paper width out of range"},
        {"header inside a page", "a header inside a page"},
        {"bad flag", "a flag out of range"},
        // Each enumeration one past its last value (which the next test
        // shows is read).
        {"text alignment", "a text alignment out of range"},
        {"brush style", "a brush style out of range"},
        {"brush picture kind", "a picture kind out of range"},
        {"font pitch", "a font pitch out of range"},
        {"pen mode", "a pen mode out of range"},
        {"pen style", "a pen style out of range"},
        {"border mask", "a border mask out of range"},
        {"picture kind", "a picture kind out of range"},
    };
    for (const auto& [damage, what] : rows) QTest::newRow(damage) << QString(damage) << QString(what);
}

namespace {

// Where each one-byte enumeration of the recorded report lies after its
// operation code, its last value, and which sample holds it (0 the ruled
// columns, 1 the pictures and long text).
struct EnumSite {
    const char* name;
    uint8_t code;
    int offset;
    uint8_t last;
    int sample;
};
constexpr EnumSite kEnumSites[] = {
    {"text alignment", 94, 1, 2, 1},   {"brush style", 42, 1, 7, 0}, {"brush picture kind", 43, 1, 4, 1},
    {"font pitch", 53, 1, 2, 0},       {"pen mode", 72, 1, 1, 0},    {"pen style", 73, 1, 6, 0},
    {"border mask", 92, 21, 15, 0},    {"picture kind", 93, 17, 4, 1},
};

qsizetype FirstOp(const std::vector<Op>& list, uint8_t code) {
    for (const Op& op : list)
        if (op.code == code) return op.pos;
    return -1;
}

QByteArray Sample(int which) {
    ReportRecorder filer;
    if (which == 1)
        ComposePicturesAndLongText(filer);
    else
        ComposeSample(filer, 3);
    if (!filer.RunJob()) return {};
    return qobject_cast<QBuffer*>(filer.Stream())->buffer();
}

}  // namespace

void StreamTest::damagedStreamsAreRefused() {
    QFETCH(QString, damage);
    QFETCH(QString, what);
    QByteArray s = Sample(0);
    const QByteArray p = Sample(1);
    QVERIFY(!s.isEmpty() && !p.isEmpty());

    const std::vector<Op> ops = WalkOps(s);
    const std::vector<qsizetype> pages = PageHeaders(ops);
    auto first = [](const std::vector<Op>& list, uint8_t code) { return FirstOp(list, code); };
    auto setFloat = [](QByteArray& b, qsizetype pos, float v) {
        uint32_t bits;
        std::memcpy(&bits, &v, 4);
        SetI32At(b, pos, int32_t(bits));
    };
    const qsizetype text = first(ops, 24);
    qsizetype at = -1;  // where the reader finds the fault
    if (damage == "not a report") s[at = 0] = char(80);
    if (damage == "negative page count") SetI32At(s, at = 1, -1);
    if (damage == "more pages than recorded" || damage == "huge page count") {
        SetI32At(s, 1, damage == "huge page count" ? 0x7FFFFFFF : 4);
        at = pages[2] + 5;  // the last page's link to a next one
    }
    if (damage == "link into its own page") SetI32At(s, at = pages[0] + 5, int32_t(pages[0] + 20));
    if (damage == "link past the end") SetI32At(s, at = pages[1] + 5, int32_t(s.size() + 10));
    if (damage == "link to the very end") SetI32At(s, at = pages[1] + 5, int32_t(s.size()));
    if (damage == "pages never recorded") s.truncate(at = pages[0]);
    if (damage == "last page links back") SetI32At(s, at = pages[2] + 5, int32_t(pages[0]));
    if (damage == "previous link wrong") {
        SetI32At(s, pages[2] + 1, int32_t(pages[0]));
        at = pages[2];
    }
    if (damage == "page number zero") SetI32At(s, at = pages[1] + 9, 0);
    if (damage == "picture length beyond the end") {
        s = p;
        const qsizetype picture = first(WalkOps(s), 93);
        SetI32At(s, picture + 18, 0x7FFFFFF0);
        at = picture + 22;
    }
    if (damage == "negative text length") {
        s = p;
        SetI32At(s, at = first(WalkOps(s), 94) + 6, -5);
    }
    if (damage == "position not a number") setFloat(s, at = text + 1, std::nanf(""));
    if (damage == "position infinite") setFloat(s, at = text + 1, INFINITY);
    if (damage == "position just past the page's limit") setFloat(s, at = text + 1, std::nextafter(10000.0f, INFINITY));
    if (damage == "unknown operation") s[at = text] = char(200);
    if (damage == "font height zero") setFloat(s, at = first(ops, 54) + 1, 0.0f);
    if (damage == "negative pen width") setFloat(s, at = first(ops, 74) + 1, -1.0f);
    if (damage == "paper width zero") setFloat(s, at = 13, 0.0f);
    if (damage == "header inside a page") s[at = text] = char(81);
    if (damage == "bad flag") s[at = first(ops, 55) + 1] = char(7);
    for (const EnumSite& site : kEnumSites)
        if (damage == site.name) {
            if (site.sample == 1) s = p;
            at = first(WalkOps(s), site.code) + site.offset;
            QVERIFY(at > 0);
            s[at] = char(site.last + 1);
        }
    QVERIFY(at >= 0);
    const QString message = QString("The recorded report is damaged: %1 (at byte %2).").arg(what).arg(at);
    try {
        ReportStreamReader reader;
        reader.Open(s);
        QFAIL("accepted");
    } catch (const ReportError& e) {
        QCOMPARE(QString(e.what()), message);
    }

    // The preview says so once and shows nothing.
    MessageRecorder messages;
    QBuffer buffer(&s);
    RecordedPagePreview preview;
    preview.SetStream(&buffer);
    QVERIFY(!preview.StartPreview());
    QVERIFY(!preview.Previewing());
    QCOMPARE(messages.titles, QStringList{"Error"});
    QCOMPARE(messages.texts, QStringList{message});
}

void StreamTest::valuesAreReadUpToTheirLimits() {
    // Fonts from half a point to 1440 points (20 inches), a size past
    // either end drawn at that end.
    ReportRecorder r;
    r.OnPrintPage = [](PageEngine& e, int) {
        for (double points : {0.5, 0.1, 1440.0, 5000.0}) {
            e.SelectFont("Arial", points);
            e.WriteLine("x");
        }
        return false;
    };
    QVERIFY(r.RunJob());
    const QByteArray recorded = qobject_cast<QBuffer*>(r.Stream())->buffer();
    QList<float> heights;
    for (const Op& op : WalkOps(recorded))
        if (op.code == 54) {
            float inches;
            std::memcpy(&inches, recorded.constData() + op.pos + 1, 4);
            heights << inches * 72;
        }
    QCOMPARE(heights.mid(heights.size() - 2), QList<float>({0.5f, 1440.0f}));  // the same size twice is written once
    ReportStreamReader fonts;
    fonts.Open(recorded);
    QCOMPARE(fonts.PageCount(), 1);

    // And positions up to 10000 inches either way.
    for (float limit : {10000.0f, -10000.0f}) {
        QByteArray s = Sample(0);
        const qsizetype at = FirstOp(WalkOps(s), 24) + 1;
        float v = limit;
        uint32_t bits;
        std::memcpy(&bits, &v, 4);
        SetI32At(s, at, int32_t(bits));
        ReportStreamReader reader;
        try {
            reader.Open(s);
        } catch (const ReportError& e) {
            QFAIL(qPrintable(QString("a position of %1 refused: %2").arg(limit).arg(e.what())));
        }
    }
    for (const EnumSite& site : kEnumSites) {
        QByteArray s = Sample(site.sample);
        const qsizetype at = FirstOp(WalkOps(s), site.code) + site.offset;
        QVERIFY(at > 0);
        s[at] = char(site.last);
        ReportStreamReader reader;
        try {
            reader.Open(s);
        } catch (const ReportError& e) {
            QFAIL(qPrintable(QString("%1 %2 refused: %3").arg(site.name).arg(site.last).arg(e.what())));
        }
        QImage image(85, 110, QImage::Format_RGB32);
        QPainter painter(&image);
        for (int page = 0; page < reader.PageCount(); ++page) {
            PageRenderer renderer(painter, 10, 10, 1.0);
            reader.ReplayPage(page, renderer);
        }
    }
}

// Bytes changed at random either give a clear refusal or a report whose
// every page replays; never a crash or a read past the end (the sanitizer
// build watches).
void StreamTest::randomDamageNeverCrashes() {
    const QByteArray good = Record(2);
    std::mt19937 rng(20240315);
    int accepted = 0;
    for (int trial = 0; trial < 1500; ++trial) {
        QByteArray s = good;
        const int changes = 1 + int(rng() % 4);
        for (int c = 0; c < changes; ++c) s[qsizetype(rng() % uint32_t(s.size()))] = char(rng() & 0xFF);
        ReportStreamReader reader;
        try {
            reader.Open(s);
        } catch (const ReportError&) {
            continue;
        }
        ++accepted;
        QImage image(85, 110, QImage::Format_RGB32);
        image.fill(Qt::white);
        QPainter painter(&image);
        for (int page = 0; page < reader.PageCount(); ++page) {
            PageRenderer renderer(painter, 10, 10, 1.0);
            reader.ReplayPage(page, renderer);
        }
    }
    QVERIFY(accepted > 0);  // changed texts and colours still replay
}

QTEST_MAIN(StreamTest)
#include "StreamTest.moc"
