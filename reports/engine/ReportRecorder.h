#pragma once
// Records every page of a report into a stream, the recorded report, which
// RecordedPagePreview shows and RecordedReportPrinter prints. With no printer on the system
// (and none handed over) pages are laid out against a fixed reference page
// of 8.5 by 11 inches (turned for landscape), so a preview and a PDF work
// without a printer; with a printer, pages take its paper size. Text is
// measured at one high resolution for every device (see PageRenderer), so
// it fits the same on screen, printer and PDF.
//
// Streams: smMemory records into a buffer of the filer's own (Stream()
// gives it after the job); smFile into the file FileName, replaced only when
// the recording completes; smUser into the stream handed over with
// SetStream, which must be seekable and is emptied first. Pages outside
// FirstPage..LastPage write nothing; PageCount() counts the pages written.

#include <QBuffer>
#include <QSaveFile>
#include <memory>

#include "PrinterChoice.h"
#include "ReportStream.h"
#include "PageEngine.h"

namespace reports::engine {

class ReportRecorder : public PageEngine {
public:
    explicit ReportRecorder(QObject* parent = nullptr);
    ~ReportRecorder() override;

    StreamMode GetStreamMode() const { return m_mode; }
    void SetStreamMode(StreamMode mode) { m_mode = mode; }
    QString FileName() const { return m_fileName; }
    void SetFileName(const QString& fileName) { m_fileName = fileName; }
    // The stream smUser records into (not owned); sets smUser.
    void SetStream(QIODevice* stream);
    // The recorded report of the last job: the memory buffer or the stream
    // handed over; nullptr for smFile.
    QIODevice* Stream() const;

    // Not owned; nullptr: the system's default printer, when there is one.
    void SetPrinter(QPrinter* printer);

    int PageCount() const { return m_pageCount; }
    DeviceNames Devices() const override;

protected:
    QSizeF DevicePaperSize() const override;
    void RefreshDevice() override { m_printer.Refresh(); }
    void BeginOutput() override;
    void BeginOutputPage(bool skipped) override;
    void EndOutputPage() override;
    void EndOutput(bool aborted) override;
    void OutText(Align align, float x, float y, const QString& text) override;
    void OutLine(float x1, float y1, float x2, float y2) override;
    void OutRectangle(float x1, float y1, float x2, float y2) override;
    void OutCell(float x1, float y1, float x2, float y2, std::optional<ColourRef> fill, uint8_t borders) override;
    void OutPicture(float x1, float y1, float x2, float y2, PictureKind kind, const QByteArray& bytes) override;

private:
    bool HasPrinter() const;
    QIODevice& OpenStream();
    void Sync();  // writes what changed in the drawing state since last written

    StreamMode m_mode = StreamMode::smMemory;
    QString m_fileName;
    QIODevice* m_user = nullptr;
    std::unique_ptr<QBuffer> m_memory;
    std::unique_ptr<QSaveFile> m_file;
    PrinterChoice m_printer;

    std::unique_ptr<ReportStreamWriter> m_writer;
    DrawState m_written;
    uint64_t m_writtenVersion = 0;
    int m_pageCount = 0;
    bool m_pageOpen = false;
};

}  // namespace reports::engine
