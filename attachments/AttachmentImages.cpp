#include "AttachmentImages.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QSaveFile>
#include <unistd.h>

#include "FolderFiles.h"

namespace attachments {
namespace {

// Formats that cannot decode at a reduced size are read whole and then
// scaled: the default limit would refuse a large photo in such a format.
void AllowLargeImages() {
    static const bool once = [] {
        if (QImageReader::allocationLimit() < 1024) QImageReader::setAllocationLimit(1024);
        return true;
    }();
    (void)once;
}

}  // namespace

QImage LoadScaledImage(const QString& path, const QSize& bound, bool inFolder) {
    AllowLargeImages();
    QFile file;
    QImageReader reader;
    if (inFolder) {
        const int fd = OpenInFolder(path.toStdString());
        if (fd < 0 || !file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
            if (fd >= 0) ::close(fd);
            return {};
        }
        reader.setDevice(&file);
    } else {
        reader.setFileName(path);
    }
    reader.setAutoTransform(true);
    if (!reader.canRead() || bound.isEmpty()) return {};
    const QSize size = reader.size();
    if (size.isValid() && !size.isEmpty()) {
        // The reader scales before it turns the image.
        const bool turned = reader.transformation() & QImageIOHandler::TransformationRotate90;
        QSize shown = turned ? size.transposed() : size;
        if (shown.width() > bound.width() || shown.height() > bound.height()) {
            shown.scale(bound, Qt::KeepAspectRatio);
            shown = shown.expandedTo(QSize(1, 1));
            reader.setScaledSize(turned ? shown.transposed() : shown);
        }
    }
    QImage image = reader.read();
    if (image.isNull()) return {};
    if (image.width() > bound.width() || image.height() > bound.height())
        image = image.scaled(bound, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    return image;
}

bool IsReadableImage(const QString& path) {
    QImageReader reader(path);
    return reader.canRead();
}

ThumbnailCache::ThumbnailCache(QString folder, int size, QObject* parent)
    : QObject(parent), m_folder(std::move(folder)), m_size(size) {
    m_pool.setMaxThreadCount(2);
}

ThumbnailCache::~ThumbnailCache() { m_pool.waitForDone(); }

QString ThumbnailCache::CachePath(const QString& stored) const {
    return m_folder + QStringLiteral("/.thumbs/") + stored + QStringLiteral("-") + QString::number(m_size) +
           QStringLiteral(".png");
}

QImage ThumbnailCache::Cached(const QString& stored) const {
    QImage image;
    if (!image.load(CachePath(stored), "PNG")) return {};
    return image;
}

void ThumbnailCache::Request(const QString& stored) {
    Start(stored, m_folder + QLatin1Char('/') + stored, CachePath(stored));
}

void ThumbnailCache::RequestFile(const QString& key, const QString& source) { Start(key, source, QString()); }

void ThumbnailCache::Start(const QString& key, const QString& source, const QString& cache) {
    if (m_pending.contains(key)) return;
    m_pending.insert(key);
    const QString folder = m_folder;
    const int size = m_size;
    const QPointer<ThumbnailCache> self(this);
    const bool inFolder = !cache.isEmpty();
    m_pool.start([self, key, source, cache, folder, size, inFolder] {
        const QImage thumb = LoadScaledImage(source, QSize(size, size), inFolder);
        // Kept for the next showing; a folder that cannot be written only
        // means it is made again. The cache never makes the folder itself.
        if (!thumb.isNull() && !cache.isEmpty() && QFileInfo(folder).isDir() &&
            QDir().mkpath(QFileInfo(cache).path())) {
            QSaveFile file(cache);
            if (file.open(QIODevice::WriteOnly) && thumb.save(&file, "PNG")) file.commit();
        }
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [self, key, thumb] {
                if (!self) return;
                self->m_pending.remove(key);
                if (thumb.isNull()) emit self->Unreadable(key);
                else emit self->Ready(key, thumb);
            },
            Qt::QueuedConnection);
    });
}

void ThumbnailCache::WaitForAll() { m_pool.waitForDone(); }

}  // namespace attachments
