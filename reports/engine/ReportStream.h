#pragma once
// The recorded report: how a composed report is written as a stream of
// operations and read back page by page.
//
// Layout (codes and operands in ReportTypes.h): one report header at
// position 0, then for every page that was output a page header, the page's
// operations and a page end. Page headers are chained: each holds the
// position of the previous and the next page header. Drawing state (font,
// pen, brush, text background, scale) is written in full after each page
// header and afterwards only when a value differs from the one written last.
//
// The reader treats the stream as untrusted: Open checks the whole stream
// (every header, the page chain, every operation and its operands) before
// anything is drawn, and throws ReportError with a clear message for a
// truncated or corrupted stream, a page chain that loops or points outside
// the stream, a length beyond the end or a value out of range. Nothing is
// ever read past the end of the data.

#include <QByteArray>
#include <QIODevice>
#include <QString>
#include <vector>

#include "ReportTypes.h"

namespace reports::engine {

class PageRenderer;

struct ReportHeader {
    int32_t pageCount = 0;
    int32_t firstPage = 1;
    int32_t lastPage = 9999;
    float paperWidth = 8.5f;  // inches, as laid out (landscape is wider than tall)
    float paperHeight = 11.0f;
    float unprintableLeft = 0, unprintableTop = 0, unprintableRight = 0, unprintableBottom = 0;
    bool landscape = false;
    int32_t copies = 1;
    int32_t paperSize = 0;    // the printer's paper size number; 0 without a printer
    int32_t paperLength = 0;  // tenths of a millimetre; 0 without a printer
    int32_t paperWidthTenths = 0;
    QString port;
};

// Writes a recorded report. Output is buffered and written to the device in
// large blocks; positions already written can be patched (the page chain,
// the page count). Write failures throw ReportError.
class ReportStreamWriter {
public:
    // Precondition: the device is open for writing, seekable and empty.
    explicit ReportStreamWriter(QIODevice& device);
    ReportStreamWriter(const ReportStreamWriter&) = delete;
    ReportStreamWriter& operator=(const ReportStreamWriter&) = delete;

    qint64 Pos() const { return m_flushed + m_buffer.size(); }

    void WriteReportHeader(const ReportHeader& header);
    // Writes a page header and the full state; returns its position. The
    // previous page header's link to the next page is filled in.
    qint64 BeginPage(int32_t pageNumber, bool landscape, const DrawState& state);
    void EndPage();
    // Writes the values of now that differ from last.
    void WriteStateChanges(const DrawState& last, const DrawState& now);

    void WriteText(Align align, float x, float y, const QString& text);
    void WriteLine(float x1, float y1, float x2, float y2);
    void WriteRectangle(float x1, float y1, float x2, float y2);
    void WriteCell(float x1, float y1, float x2, float y2, int64_t fill, uint8_t borders);  // fill -1: none
    void WritePicture(float x1, float y1, float x2, float y2, PictureKind kind, const QByteArray& bytes);

    // Fills in the page count and writes out everything buffered.
    void Finish(int32_t pageCount);

private:
    void U8(uint8_t v) { m_buffer.append(char(v)); }
    void I32(int32_t v);
    void F32(float v);
    void ShortText(const QByteArray& utf8);
    void Rect(float x1, float y1, float x2, float y2);
    void PictureData(PictureKind kind, const QByteArray& bytes);
    void PatchI32(qint64 pos, int32_t v);
    void FlushIfFull();
    void Flush();

    QIODevice& m_device;
    QByteArray m_buffer;
    qint64 m_flushed = 0;
    qint64 m_lastPageHeader = -1;
};

class ReportStreamReader {
public:
    // Reads and checks the whole recorded report; throws ReportError.
    void Open(const QByteArray& data);
    // Reads the device from its start: the whole buffer of a QBuffer
    // (without copying), else everything the device gives.
    void Open(QIODevice& device);
    void Close();
    bool IsOpen() const { return m_open; }

    const ReportHeader& Header() const { return m_header; }
    int PageCount() const { return int(m_pages.size()); }
    // The number the page had when it was composed (pages outside the
    // printed range were not recorded), for index 0 to PageCount() - 1.
    int PageNumber(int index) const { return m_pages.at(size_t(index)).number; }
    bool PageLandscape(int index) const { return m_pages.at(size_t(index)).landscape; }

    // Replays the page at index (0 to PageCount() - 1) onto the renderer.
    void ReplayPage(int index, PageRenderer& renderer) const;

private:
    struct Page {
        qint64 pos;
        int number;
        bool landscape;
    };
    // Walks the operations of the page whose header is at pos up to its page
    // end; draws when a renderer is given; returns the position after the end.
    qint64 WalkPage(qint64 pos, PageRenderer* renderer, Page* page) const;

    QByteArray m_data;
    ReportHeader m_header;
    std::vector<Page> m_pages;
    bool m_open = false;
};

}  // namespace reports::engine
