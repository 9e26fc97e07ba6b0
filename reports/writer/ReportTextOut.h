#pragma once
// The text file a text report is written to, shared by the parts of the
// report writer.

#include <QSaveFile>
#include <cerrno>
#include <cstring>

#include "ReportWriter.h"

namespace reports {

// The text file of a text report: written to a temporary file beside the
// chosen name, renamed over it by Commit, removed by Discard.
class ReportWriter::TextOut {
public:
    explicit TextOut(const QString& path) : m_file(path) {
        if (!m_file.open(QIODevice::WriteOnly))
            throw ReportRunError(
                QStringLiteral("The report could not be written to %1: %2").arg(path, m_file.errorString()).toStdString());
        m_buffer.reserve(kFlushAt + 4096);
    }
    ~TextOut() { Discard(); }

    void Line(const QString& line) {
        m_buffer += line.toUtf8();
        m_buffer += '\n';
        if (m_buffer.size() >= kFlushAt) Flush();
    }
    void Commit() {
        Flush();
        m_done = true;
        // A failed commit has already removed the temporary file.
        if (!m_file.commit()) Fail();
    }
    void Discard() {
        if (m_done) return;
        m_done = true;
        m_file.cancelWriting();
        m_file.commit();  // with writing cancelled this only removes the temporary file
    }

private:
    static constexpr qsizetype kFlushAt = 1 << 16;
    void Flush() {
        if (m_buffer.isEmpty()) return;
        if (m_file.write(m_buffer) != m_buffer.size()) Fail();
        m_buffer.clear();
    }
    [[noreturn]] void Fail() {
        // Qt may not know the system's reason when a buffered write fails.
        const int reason = errno;
        QString why = m_file.errorString();
        if ((why.isEmpty() || why == QLatin1String("Unknown error")) && reason != 0)
            why = QString::fromLocal8Bit(std::strerror(reason));
        const QString message = QStringLiteral("The report could not be written to %1: %2").arg(m_file.fileName(), why);
        Discard();  // the temporary file goes, unless a failed commit took it already
        throw ReportRunError(message.toStdString());
    }

    QSaveFile m_file;
    QByteArray m_buffer;
    bool m_done = false;
};

}  // namespace reports
