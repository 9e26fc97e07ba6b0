#include "TextFile.h"

#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>

#include "CodePage.h"
#include "FileSystem.h"

namespace common {

namespace {

bool ValidUtf8(const QByteArray& bytes) {
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString text = utf8.decode(bytes);  // decodes only when made a string
    return !utf8.hasError();
}

}  // namespace

QString TextFile::Decode(const QByteArray& bytes) {
    QByteArray body = bytes;
    if (body.startsWith("\xEF\xBB\xBF")) body.remove(0, 3);
    // Only the one mark is taken away: a second one is the text's own.
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless | QStringDecoder::Flag::ConvertInitialBom);
    QString text = utf8.decode(body);
    if (!utf8.hasError()) return text;
    const std::string decoded = store::CodePage(1252).Decode(std::string_view(bytes.constData(), bytes.size()));
    return QString::fromStdString(decoded);
}

QByteArray TextFile::Encode(const QString& text) {
    const std::string utf8 = text.toStdString();
    if (auto bytes = store::CodePage(1252).Encode(utf8)) {
        // Windows-1252 bytes that happen to form UTF-8 ("Ã©") would be read
        // back as that UTF-8 ("é"): such a text is written as UTF-8.
        const QByteArray cp1252 = QByteArray::fromStdString(*bytes);
        if (cp1252 == QByteArray::fromStdString(utf8) || !ValidUtf8(cp1252)) return cp1252;
    }
    // A text that starts with a byte-order mark of its own keeps it behind
    // the one the reader takes away.
    if (text.startsWith(QChar(0xFEFF))) return "\xEF\xBB\xBF" + QByteArray::fromStdString(utf8);
    return QByteArray::fromStdString(utf8);
}

std::optional<QString> TextFile::Read(const QString& path, QString* problem) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return std::nullopt;
    if (file.size() > kLargest) {
        if (problem)
            *problem = QStringLiteral("The file \"%1\" is %2 MB, far larger than any file of its kind, and was not "
                                      "read; the defaults are used.  It is set aside as \"%3\" when the program "
                                      "next saves it.")
                           .arg(path)
                           .arg((file.size() + (1 << 20) - 1) >> 20)
                           .arg(SetAsideName(path));
        return std::nullopt;
    }
    return Decode(file.readAll());
}

QString TextFile::SetAsideName(const QString& path) {
    QString candidate = path + QStringLiteral(".BAD");
    for (int n = 2; QFileInfo::exists(candidate) && n < 1000; ++n) candidate = path + QStringLiteral(".BAD%1").arg(n);
    return candidate;
}

bool TextFile::Write(const QString& path, const QString& text) {
    return WriteBytes(path, Encode(text));
}

bool TextFile::WriteBytes(const QString& path, const QByteArray& bytes) {
    const QFileInfo old(path);
    if (old.isFile() && old.size() > kLargest && !QFile::rename(path, SetAsideName(path))) return false;
    try {
        // A settings file or list kept elsewhere through a link stays a link.
        files::ReplaceFile(files::ResolvedPath(path.toStdString()), std::string_view(bytes.constData(), size_t(bytes.size())));
        return true;
    } catch (const files::FileError&) {
        return false;
    }
}

}  // namespace common
