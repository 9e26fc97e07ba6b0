#pragma once
// Reading and writing the program's own single-byte text files (settings,
// pick lists). They are written in Windows-1252 so that files from the
// original program and ours stay interchangeable; on reading, a file that is
// valid UTF-8 is taken as UTF-8 because users edit them with today's editors.
// Whole-file writes go through a temporary file beside the target and a
// rename, so a crash leaves the old or the new file, never a broken one.

#include <QByteArray>
#include <QString>
#include <optional>

namespace common {

class TextFile {
public:
    // UTF-8 when the bytes are valid UTF-8 (a leading byte-order mark is
    // dropped), Windows-1252 otherwise.
    static QString Decode(const QByteArray& bytes);
    // Windows-1252; a text holding a character 1252 cannot represent, or
    // whose 1252 bytes would read as UTF-8 of another text, is written as
    // UTF-8 instead, which the reader recognises. Decode(Encode(t)) == t.
    static QByteArray Encode(const QString& text);

    // No settings or list file is anywhere near this size: a larger one is
    // not read at all (it would cost every start seconds and gigabytes).
    static constexpr qint64 kLargest = 4 << 20;

    // Empty optional when the file cannot be read; a file larger than
    // kLargest is not read, and *problem says so.
    static std::optional<QString> Read(const QString& path, QString* problem = nullptr);
    // Replaces the file atomically; false when it could not be written. A
    // file there larger than kLargest, never read, is first set aside under
    // the name with ".BAD" (renamed, not copied), so that nothing is lost.
    static bool Write(const QString& path, const QString& text);
    static bool WriteBytes(const QString& path, const QByteArray& bytes);
    // Where an oversized file is set aside.
    static QString SetAsideName(const QString& path);
};

}  // namespace common
