#include "ReportStream.h"

#include <QBuffer>
#include <QtEndian>
#include <cmath>
#include <cstring>

#include "PageRenderer.h"

namespace reports::engine {

namespace {

constexpr qsizetype kFlushSize = 1 << 20;

// The longest prefix of the text whose UTF-8 form fits in limit bytes,
// never cutting a character in two.
QByteArray Utf8Limited(const QString& text, qsizetype limit) {
    QByteArray utf8 = text.toUtf8();
    if (utf8.size() <= limit) return utf8;
    qsizetype cut = limit;
    while (cut > 0 && (uchar(utf8[cut]) & 0xC0) == 0x80) --cut;
    utf8.truncate(cut);
    return utf8;
}

uint8_t TextCode(Align align) {
    switch (align) {
    case Align::Centre: return op::TextCentre;
    case Align::Right: return op::TextRight;
    case Align::Left: break;
    }
    return op::TextLeft;
}

// Reading position over untrusted bytes: every read is checked against the
// end first.
class Cursor {
public:
    Cursor(const QByteArray& data, qint64 pos) : m_data(data), m_pos(pos) {}

    qint64 Pos() const { return m_pos; }
    void Need(qint64 n) const {
        if (n < 0 || n > m_data.size() - m_pos)
            throw ReportError(
                QStringLiteral("The recorded report is damaged: it ends in the middle of an operation (at byte %1).")
                    .arg(m_pos)
                    .toStdString());
    }
    uint8_t U8() {
        Need(1);
        return uint8_t(m_data[m_pos++]);
    }
    int32_t I32() {
        Need(4);
        const int32_t v = qFromLittleEndian<qint32>(m_data.constData() + m_pos);
        m_pos += 4;
        return v;
    }
    float F32() {
        const uint32_t bits = uint32_t(I32());
        float v;
        std::memcpy(&v, &bits, sizeof v);
        return v;
    }
    QByteArray Bytes(qint64 n) {
        Need(n);
        QByteArray out = m_data.mid(m_pos, n);
        m_pos += n;
        return out;
    }
    QString ShortText() {
        const uint8_t n = U8();
        Need(n);
        QString out = QString::fromUtf8(m_data.constData() + m_pos, n);
        m_pos += n;
        return out;
    }

    [[noreturn]] void Fail(const QString& what, qint64 at) const {
        throw ReportError(
            QStringLiteral("The recorded report is damaged: %1 (at byte %2).").arg(what).arg(at).toStdString());
    }
    float Ranged(float low, float high, const char* what) {
        const qint64 at = m_pos;
        const float v = F32();
        if (!std::isfinite(v) || v < low || v > high) Fail(QString::fromLatin1(what) + " out of range", at);
        return v;
    }
    // A position or length on the page, in inches.
    float Length() { return Ranged(-10000.0f, 10000.0f, "a position"); }
    uint8_t Enum(uint8_t last, const char* what) {
        const qint64 at = m_pos;
        const uint8_t v = U8();
        if (v > last) Fail(QString::fromLatin1(what) + " out of range", at);
        return v;
    }
    bool Flag() { return Enum(1, "a flag") != 0; }
    ColourRef Colour() { return ColourRef(I32()) & 0xFFFFFF; }
    int32_t Count(const char* what) {
        const qint64 at = m_pos;
        const int32_t n = I32();
        if (n < 0) Fail(QString::fromLatin1(what) + " is negative", at);
        Need(n);
        return n;
    }

private:
    const QByteArray& m_data;
    qint64 m_pos;
};

}  // namespace

// ---------------------------------------------------------------- writing

ReportStreamWriter::ReportStreamWriter(QIODevice& device) : m_device(device) { m_buffer.reserve(kFlushSize + 65536); }

void ReportStreamWriter::I32(int32_t v) {
    char bytes[4];
    qToLittleEndian<qint32>(v, bytes);
    m_buffer.append(bytes, 4);
}

void ReportStreamWriter::F32(float v) {
    uint32_t bits;
    std::memcpy(&bits, &v, sizeof bits);
    I32(int32_t(bits));
}

void ReportStreamWriter::ShortText(const QByteArray& utf8) {
    U8(uint8_t(utf8.size()));
    m_buffer.append(utf8);
}

void ReportStreamWriter::Rect(float x1, float y1, float x2, float y2) {
    F32(x1);
    F32(y1);
    F32(x2);
    F32(y2);
}

void ReportStreamWriter::PictureData(PictureKind kind, const QByteArray& bytes) {
    U8(uint8_t(kind));
    I32(int32_t(bytes.size()));
    m_buffer.append(bytes);
}

void ReportStreamWriter::WriteReportHeader(const ReportHeader& h) {
    U8(op::ReportHeader);
    I32(h.pageCount);
    I32(h.firstPage);
    I32(h.lastPage);
    F32(h.paperWidth);
    F32(h.paperHeight);
    F32(h.unprintableLeft);
    F32(h.unprintableTop);
    F32(h.unprintableRight);
    F32(h.unprintableBottom);
    U8(h.landscape ? 1 : 0);
    I32(h.copies);
    I32(h.paperSize);
    I32(h.paperLength);
    I32(h.paperWidthTenths);
    ShortText(Utf8Limited(h.port, 255));
}

qint64 ReportStreamWriter::BeginPage(int32_t pageNumber, bool landscape, const DrawState& s) {
    const qint64 pos = Pos();
    if (m_lastPageHeader >= 0) PatchI32(m_lastPageHeader + 5, int32_t(pos));
    U8(op::PageHeader);
    I32(m_lastPageHeader >= 0 ? int32_t(m_lastPageHeader) : 0);
    I32(0);
    I32(pageNumber);
    U8(landscape ? 1 : 0);
    m_lastPageHeader = pos;

    U8(op::BrushColour);
    I32(int32_t(s.brush.colour));
    U8(op::BrushStyle);
    U8(uint8_t(s.brush.style));
    if (s.brush.pictureKind != PictureKind::None) {
        U8(op::BrushPicture);
        PictureData(s.brush.pictureKind, s.brush.picture);
    }
    U8(op::FontName);
    ShortText(Utf8Limited(s.font.name, 255));
    U8(op::FontColour);
    I32(int32_t(s.font.colour));
    U8(op::FontPitch);
    U8(uint8_t(s.font.pitch));
    U8(op::FontHeight);
    F32(s.font.height);
    U8(op::FontBold);
    U8(s.font.bold);
    U8(op::FontUnderline);
    U8(s.font.underline);
    U8(op::FontItalic);
    U8(s.font.italic);
    U8(op::FontStrikeout);
    U8(s.font.strikeout);
    U8(op::PenColour);
    I32(int32_t(s.pen.colour));
    U8(op::PenMode);
    U8(uint8_t(s.pen.mode));
    U8(op::PenStyle);
    U8(uint8_t(s.pen.style));
    U8(op::PenWidth);
    F32(s.pen.width);
    U8(op::ScaleX);
    F32(s.scaleX);
    U8(op::ScaleY);
    F32(s.scaleY);
    U8(op::TextOpaque);
    U8(s.opaqueText);
    U8(op::BackColour);
    I32(int32_t(s.background));
    return pos;
}

void ReportStreamWriter::EndPage() {
    U8(op::PageEnd);
    FlushIfFull();
}

void ReportStreamWriter::WriteStateChanges(const DrawState& last, const DrawState& now) {
    if (!(last.brush == now.brush)) {
        if (last.brush.colour != now.brush.colour) {
            U8(op::BrushColour);
            I32(int32_t(now.brush.colour));
        }
        if (last.brush.style != now.brush.style) {
            U8(op::BrushStyle);
            U8(uint8_t(now.brush.style));
        }
        if (last.brush.pictureKind != now.brush.pictureKind || last.brush.picture != now.brush.picture) {
            U8(op::BrushPicture);
            PictureData(now.brush.pictureKind, now.brush.picture);
        }
    }
    if (!(last.font == now.font)) {
        if (last.font.name != now.font.name) {
            U8(op::FontName);
            ShortText(Utf8Limited(now.font.name, 255));
        }
        if (last.font.colour != now.font.colour) {
            U8(op::FontColour);
            I32(int32_t(now.font.colour));
        }
        if (last.font.pitch != now.font.pitch) {
            U8(op::FontPitch);
            U8(uint8_t(now.font.pitch));
        }
        if (last.font.height != now.font.height) {
            U8(op::FontHeight);
            F32(now.font.height);
        }
        const std::pair<uint8_t, bool> flags[] = {{op::FontBold, last.font.bold != now.font.bold},
                                                  {op::FontUnderline, last.font.underline != now.font.underline},
                                                  {op::FontItalic, last.font.italic != now.font.italic},
                                                  {op::FontStrikeout, last.font.strikeout != now.font.strikeout}};
        const bool values[] = {now.font.bold, now.font.underline, now.font.italic, now.font.strikeout};
        for (int i = 0; i < 4; ++i)
            if (flags[i].second) {
                U8(flags[i].first);
                U8(values[i]);
            }
    }
    if (!(last.pen == now.pen)) {
        if (last.pen.colour != now.pen.colour) {
            U8(op::PenColour);
            I32(int32_t(now.pen.colour));
        }
        if (last.pen.mode != now.pen.mode) {
            U8(op::PenMode);
            U8(uint8_t(now.pen.mode));
        }
        if (last.pen.style != now.pen.style) {
            U8(op::PenStyle);
            U8(uint8_t(now.pen.style));
        }
        if (last.pen.width != now.pen.width) {
            U8(op::PenWidth);
            F32(now.pen.width);
        }
    }
    if (last.scaleX != now.scaleX) {
        U8(op::ScaleX);
        F32(now.scaleX);
    }
    if (last.scaleY != now.scaleY) {
        U8(op::ScaleY);
        F32(now.scaleY);
    }
    if (last.opaqueText != now.opaqueText) {
        U8(op::TextOpaque);
        U8(now.opaqueText);
    }
    if (last.background != now.background) {
        U8(op::BackColour);
        I32(int32_t(now.background));
    }
}

void ReportStreamWriter::WriteText(Align align, float x, float y, const QString& text) {
    const QByteArray utf8 = text.toUtf8();
    if (utf8.size() <= 255) {
        U8(TextCode(align));
        F32(y);
        ShortText(utf8);
        F32(x);
        return;
    }
    U8(op::LongText);
    U8(uint8_t(align));
    F32(y);
    I32(int32_t(utf8.size()));
    m_buffer.append(utf8);
    F32(x);
}

void ReportStreamWriter::WriteLine(float x1, float y1, float x2, float y2) {
    U8(op::Line);
    Rect(x1, y1, x2, y2);
}

void ReportStreamWriter::WriteRectangle(float x1, float y1, float x2, float y2) {
    U8(op::Rectangle);
    Rect(x1, y1, x2, y2);
}

void ReportStreamWriter::WriteCell(float x1, float y1, float x2, float y2, int64_t fill, uint8_t borders) {
    U8(op::Cell);
    Rect(x1, y1, x2, y2);
    I32(fill < 0 ? -1 : int32_t(fill & 0xFFFFFF));
    U8(borders);
}

void ReportStreamWriter::WritePicture(float x1, float y1, float x2, float y2, PictureKind kind,
                                      const QByteArray& bytes) {
    U8(op::Picture);
    Rect(x1, y1, x2, y2);
    PictureData(kind, bytes);
    FlushIfFull();
}

void ReportStreamWriter::PatchI32(qint64 pos, int32_t v) {
    if (pos >= m_flushed) {
        qToLittleEndian<qint32>(v, m_buffer.data() + (pos - m_flushed));
        return;
    }
    char bytes[4];
    qToLittleEndian<qint32>(v, bytes);
    if (!m_device.seek(pos) || m_device.write(bytes, 4) != 4 || !m_device.seek(m_flushed))
        throw ReportError(
            ("The recorded report could not be written: " + m_device.errorString()).toStdString());
}

void ReportStreamWriter::FlushIfFull() {
    if (m_buffer.size() >= kFlushSize) Flush();
}

void ReportStreamWriter::Flush() {
    if (m_buffer.isEmpty()) return;
    if (m_device.write(m_buffer) != m_buffer.size())
        throw ReportError(
            ("The recorded report could not be written: " + m_device.errorString()).toStdString());
    m_flushed += m_buffer.size();
    m_buffer.resize(0);
}

void ReportStreamWriter::Finish(int32_t pageCount) {
    PatchI32(1, pageCount);
    Flush();
}

// ---------------------------------------------------------------- reading

void ReportStreamReader::Close() {
    m_data.clear();
    m_pages.clear();
    m_header = {};
    m_open = false;
}

void ReportStreamReader::Open(QIODevice& device) {
    if (auto* buffer = qobject_cast<QBuffer*>(&device)) {
        Open(buffer->buffer());
        return;
    }
    const bool wasOpen = device.isOpen();
    if (!wasOpen && !device.open(QIODevice::ReadOnly))
        throw ReportError(("The recorded report cannot be read: " + device.errorString()).toStdString());
    if (!device.isSequential()) device.seek(0);
    const QByteArray data = device.readAll();
    if (!wasOpen) device.close();
    Open(data);
}

void ReportStreamReader::Open(const QByteArray& data) {
    Close();
    m_data = data;
    try {
        Cursor c(m_data, 0);
        if (m_data.isEmpty()) throw ReportError("The recorded report is empty.");
        if (c.U8() != op::ReportHeader) c.Fail("it does not start with a report header", 0);
        ReportHeader& h = m_header;
        const qint64 countAt = c.Pos();
        h.pageCount = c.I32();
        if (h.pageCount < 0) c.Fail("a negative page count", countAt);
        h.firstPage = c.I32();
        h.lastPage = c.I32();
        h.paperWidth = c.Ranged(0.01f, 100.0f, "the paper width");
        h.paperHeight = c.Ranged(0.01f, 100.0f, "the paper height");
        h.unprintableLeft = c.Ranged(0.0f, 100.0f, "an unprintable edge");
        h.unprintableTop = c.Ranged(0.0f, 100.0f, "an unprintable edge");
        h.unprintableRight = c.Ranged(0.0f, 100.0f, "an unprintable edge");
        h.unprintableBottom = c.Ranged(0.0f, 100.0f, "an unprintable edge");
        h.landscape = c.Flag();
        h.copies = c.I32();
        h.paperSize = c.I32();
        h.paperLength = c.I32();
        h.paperWidthTenths = c.I32();
        h.port = c.ShortText();

        qint64 pos = c.Pos(), prev = 0;
        for (int32_t i = 0; i < h.pageCount; ++i) {
            if (pos >= m_data.size())
                c.Fail(QStringLiteral("page %1 of %2 is missing").arg(i + 1).arg(h.pageCount), pos);
            Cursor page(m_data, pos);
            if (page.U8() != op::PageHeader) c.Fail(QStringLiteral("page %1 has no page header").arg(i + 1), pos);
            const qint64 prevLink = page.I32();
            const qint64 nextLink = page.I32();
            if (prevLink != prev) c.Fail(QStringLiteral("the page chain is broken at page %1").arg(i + 1), pos);
            Page entry{pos, 0, false};
            const qint64 end = WalkPage(pos, nullptr, &entry);
            // The chain only ever points forward, past the page it leaves:
            // a loop or a link into a page cannot pass.
            const bool last = i + 1 == h.pageCount;
            if (last ? nextLink != 0 : nextLink < end || nextLink >= m_data.size())
                c.Fail(QStringLiteral("the page chain points outside the report at page %1").arg(i + 1), pos + 5);
            m_pages.push_back(entry);
            prev = pos;
            pos = nextLink;
        }
    } catch (...) {
        Close();
        throw;
    }
    m_open = true;
}

void ReportStreamReader::ReplayPage(int index, PageRenderer& renderer) const {
    if (index < 0 || index >= PageCount()) throw ReportError("There is no such page in the recorded report.");
    WalkPage(m_pages[size_t(index)].pos, &renderer, nullptr);
}

qint64 ReportStreamReader::WalkPage(qint64 pos, PageRenderer* renderer, Page* page) const {
    Cursor c(m_data, pos);
    c.U8();
    c.I32();
    c.I32();
    const qint64 numberAt = c.Pos();
    const int32_t number = c.I32();
    if (number < 1) c.Fail("a page number below 1", numberAt);
    const bool landscape = c.Flag();
    if (page) {
        page->number = number;
        page->landscape = landscape;
    }

    DrawState s;
    auto draw = [&]() -> PageRenderer* {
        if (renderer) renderer->Apply(s);
        return renderer;
    };
    for (;;) {
        const qint64 at = c.Pos();
        const uint8_t code = c.U8();
        switch (code) {
        case op::PageEnd: return c.Pos();
        case op::TextCentre:
        case op::TextLeft:
        case op::TextRight: {
            const float y = c.Length();
            const QString text = c.ShortText();
            const float x = c.Length();
            const Align align = code == op::TextCentre ? Align::Centre : code == op::TextLeft ? Align::Left : Align::Right;
            if (draw()) renderer->Text(align, x, y, text);
            break;
        }
        case op::LongText: {
            const Align align = Align(c.Enum(2, "a text alignment"));
            const float y = c.Length();
            const int32_t n = c.Count("a text length");
            const QByteArray utf8 = c.Bytes(n);
            const float x = c.Length();
            if (draw()) renderer->Text(align, x, y, QString::fromUtf8(utf8));
            break;
        }
        case op::TextOpaque: s.opaqueText = c.Flag(); break;
        case op::BackColour: s.background = c.Colour(); break;
        case op::ScaleX: s.scaleX = c.Ranged(1.0f, 1000.0f, "a scale"); break;
        case op::ScaleY: s.scaleY = c.Ranged(1.0f, 1000.0f, "a scale"); break;
        case op::BrushColour: s.brush.colour = c.Colour(); break;
        case op::BrushStyle: s.brush.style = BrushStyle(c.Enum(7, "a brush style")); break;
        case op::BrushPicture: {
            s.brush.pictureKind = PictureKind(c.Enum(4, "a picture kind"));
            s.brush.picture = c.Bytes(c.Count("a picture length"));
            break;
        }
        case op::FontName: s.font.name = c.ShortText(); break;
        case op::FontColour: s.font.colour = c.Colour(); break;
        case op::FontPitch: s.font.pitch = FontPitch(c.Enum(2, "a font pitch")); break;
        case op::FontHeight: s.font.height = c.Ranged(0.001f, 20.0f, "a font height"); break;
        case op::FontBold: s.font.bold = c.Flag(); break;
        case op::FontUnderline: s.font.underline = c.Flag(); break;
        case op::FontItalic: s.font.italic = c.Flag(); break;
        case op::FontStrikeout: s.font.strikeout = c.Flag(); break;
        case op::PenColour: s.pen.colour = c.Colour(); break;
        case op::PenMode: s.pen.mode = PenMode(c.Enum(1, "a pen mode")); break;
        case op::PenStyle: s.pen.style = PenStyle(c.Enum(6, "a pen style")); break;
        case op::PenWidth: s.pen.width = c.Ranged(0.0f, 10.0f, "a pen width"); break;
        case op::Line:
        case op::Rectangle:
        case op::Cell:
        case op::Picture: {
            const float x1 = c.Length(), y1 = c.Length(), x2 = c.Length(), y2 = c.Length();
            if (code == op::Line) {
                if (draw()) renderer->Line(x1, y1, x2, y2);
            } else if (code == op::Rectangle) {
                if (draw()) renderer->Rectangle(x1, y1, x2, y2);
            } else if (code == op::Cell) {
                const qint64 fillAt = c.Pos();
                const int32_t fill = c.I32();
                if (fill < -1 || fill > 0xFFFFFF) c.Fail("a cell colour out of range", fillAt);
                const uint8_t borders = c.Enum(15, "a border mask");
                if (draw())
                    renderer->Cell(x1, y1, x2, y2, fill < 0 ? std::nullopt : std::optional<ColourRef>(ColourRef(fill)),
                                   borders);
            } else {
                const PictureKind kind = PictureKind(c.Enum(4, "a picture kind"));
                const QByteArray bytes = c.Bytes(c.Count("a picture length"));
                if (draw()) renderer->Picture(x1, y1, x2, y2, kind, bytes);
            }
            break;
        }
        case op::ReportHeader:
        case op::PageHeader: c.Fail("a header inside a page", at);
        default: c.Fail(QStringLiteral("unknown operation %1").arg(code), at);
        }
    }
}

}  // namespace reports::engine
