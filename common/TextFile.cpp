#include "TextFile.h"

#include <QFile>
#include <QSaveFile>
#include <QStringDecoder>

#include "CodePage.h"

namespace common {

QString TextFile::Decode(const QByteArray& bytes) {
    QByteArray body = bytes;
    if (body.startsWith("\xEF\xBB\xBF")) body.remove(0, 3);
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8.decode(body);
    if (!utf8.hasError()) return text;
    const std::string decoded = store::CodePage(1252).Decode(std::string_view(bytes.constData(), bytes.size()));
    return QString::fromStdString(decoded);
}

QByteArray TextFile::Encode(const QString& text) {
    const std::string utf8 = text.toStdString();
    if (auto bytes = store::CodePage(1252).Encode(utf8)) return QByteArray::fromStdString(*bytes);
    return QByteArray::fromStdString(utf8);
}

std::optional<QString> TextFile::Read(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return std::nullopt;
    return Decode(file.readAll());
}

bool TextFile::Write(const QString& path, const QString& text) {
    return WriteBytes(path, Encode(text));
}

bool TextFile::WriteBytes(const QString& path, const QByteArray& bytes) {
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) return false;
    if (file.write(bytes) != bytes.size()) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}

}  // namespace common
