#include "ReportRecorder.h"

#include <QFileDevice>
#include <QPageSize>
#include <QPrinter>

#include "EngineServices.h"

namespace reports::engine {

ReportRecorder::ReportRecorder(QObject* parent) : PageEngine(parent) {
    SetStatusFormat(QStringLiteral("Printing page %p"));
}

ReportRecorder::~ReportRecorder() = default;

void ReportRecorder::SetStream(QIODevice* stream) {
    m_user = stream;
    m_mode = StreamMode::smUser;
}

QIODevice* ReportRecorder::Stream() const {
    if (m_mode == StreamMode::smUser) return m_user;
    if (m_mode == StreamMode::smMemory) return m_memory.get();
    return nullptr;
}

void ReportRecorder::SetPrinter(QPrinter* printer) {
    m_printer.Set(printer);
}

bool ReportRecorder::HasPrinter() const { return m_printer.Usable(); }

QSizeF ReportRecorder::DevicePaperSize() const {
    if (!HasPrinter()) return ReferencePaper();
    return PrinterChoice::PaperInches(m_printer.Get(), GetOrientation());
}

DeviceNames ReportRecorder::Devices() const {
    if (!HasPrinter()) return PageEngine::Devices();
    return PrinterChoice::Names(m_printer.Get());
}

QIODevice& ReportRecorder::OpenStream() {
    switch (m_mode) {
    case StreamMode::smMemory:
        m_memory = std::make_unique<QBuffer>();
        m_memory->open(QIODevice::ReadWrite);
        return *m_memory;
    case StreamMode::smFile:
        m_file = std::make_unique<QSaveFile>(m_fileName);
        if (!m_file->open(QIODevice::WriteOnly))
            throw ReportError(QStringLiteral("The recorded report could not be written to %1: %2")
                                  .arg(m_fileName, m_file->errorString())
                                  .toStdString());
        return *m_file;
    case StreamMode::smUser: break;
    }
    if (!m_user) throw ReportError("No stream was given for the recorded report.");
    if (auto* buffer = qobject_cast<QBuffer*>(m_user)) {
        buffer->close();
        buffer->setData(QByteArray());
        buffer->open(QIODevice::ReadWrite);
        return *buffer;
    }
    if (!m_user->isOpen() && !m_user->open(QIODevice::ReadWrite))
        throw ReportError(("The recorded report could not be written: " + m_user->errorString()).toStdString());
    if (m_user->isSequential() || !m_user->isWritable())
        throw ReportError("The recorded report needs a stream that can be written and rewound.");
    if (auto* file = qobject_cast<QFileDevice*>(m_user)) file->resize(0);
    m_user->seek(0);
    return *m_user;
}

void ReportRecorder::BeginOutput() {
    m_pageCount = 0;
    m_pageOpen = false;
    m_writer = std::make_unique<ReportStreamWriter>(OpenStream());

    ReportHeader header;
    header.firstPage = FirstPage();
    header.lastPage = LastPage();
    const QSizeF paper = DevicePaperSize();
    header.paperWidth = float(paper.width());
    header.paperHeight = float(paper.height());
    header.landscape = paper.width() > paper.height();
    if (HasPrinter()) {
        const QPrinter& printer = m_printer.Get();
        const QMarginsF edges = PrinterChoice::UnprintableInches(printer, GetOrientation());
        header.unprintableLeft = float(edges.left());
        header.unprintableTop = float(edges.top());
        header.unprintableRight = float(edges.right());
        header.unprintableBottom = float(edges.bottom());
        header.copies = printer.copyCount();
        const QPageSize size = printer.pageLayout().pageSize();
        header.paperSize = int(size.id());
        const QSizeF mm = size.size(QPageSize::Millimeter);
        header.paperLength = qRound(mm.height() * 10);
        header.paperWidthTenths = qRound(mm.width() * 10);
        header.port = PrinterChoice::Names(printer).port;
    } else {
        header.port = Devices().port;
    }
    m_writer->WriteReportHeader(header);
}

void ReportRecorder::BeginOutputPage(bool skipped) {
    if (skipped || !m_writer) return;
    const QSizeF paper = DevicePaperSize();
    m_writer->BeginPage(CurrentPage(), paper.width() > paper.height(), State());
    m_written = State();
    m_writtenVersion = StateVersion();
    m_pageOpen = true;
    ++m_pageCount;
}

void ReportRecorder::EndOutputPage() {
    if (!m_pageOpen) return;
    m_pageOpen = false;
    m_writer->EndPage();
}

void ReportRecorder::EndOutput(bool aborted) {
    if (!m_writer) return;
    std::unique_ptr<ReportStreamWriter> writer = std::move(m_writer);
    try {
        if (m_pageOpen) writer->EndPage();
        m_pageOpen = false;
        writer->Finish(m_pageCount);
        if (m_file && !m_file->commit())
            throw ReportError(QStringLiteral("The recorded report could not be written to %1: %2")
                                  .arg(m_fileName, m_file->errorString())
                                  .toStdString());
    } catch (...) {
        if (m_file) m_file->cancelWriting();
        m_file.reset();
        throw;
    }
    m_file.reset();
    if (QIODevice* stream = Stream()) stream->seek(0);
}

void ReportRecorder::Sync() {
    if (m_writtenVersion == StateVersion()) return;
    if (!(m_written == State())) {
        m_writer->WriteStateChanges(m_written, State());
        m_written = State();
    }
    m_writtenVersion = StateVersion();
}

void ReportRecorder::OutText(Align align, float x, float y, const QString& text) {
    if (!m_pageOpen) return;
    Sync();
    m_writer->WriteText(align, x, y, text);
}

void ReportRecorder::OutLine(float x1, float y1, float x2, float y2) {
    if (!m_pageOpen) return;
    Sync();
    m_writer->WriteLine(x1, y1, x2, y2);
}

void ReportRecorder::OutRectangle(float x1, float y1, float x2, float y2) {
    if (!m_pageOpen) return;
    Sync();
    m_writer->WriteRectangle(x1, y1, x2, y2);
}

void ReportRecorder::OutCell(float x1, float y1, float x2, float y2, std::optional<ColourRef> fill, uint8_t borders) {
    if (!m_pageOpen) return;
    Sync();
    m_writer->WriteCell(x1, y1, x2, y2, fill ? int64_t(*fill) : -1, borders);
}

void ReportRecorder::OutPicture(float x1, float y1, float x2, float y2, PictureKind kind, const QByteArray& bytes) {
    if (!m_pageOpen) return;
    Sync();
    m_writer->WritePicture(x1, y1, x2, y2, kind, bytes);
}

}  // namespace reports::engine
