#pragma once
// Pictures of attachments: an image read no larger than it is shown or
// printed, decoded at the reduced size where the format allows (a JPEG of
// 50 megapixels is never held whole), and the thumbnails of the item
// editor, made on worker threads and kept in the attachments folder
// (".thumbs/") so that an item shows its photos at once the next time.

#include <QImage>
#include <QObject>
#include <QPointer>
#include <QSet>
#include <QSize>
#include <QString>
#include <QThreadPool>

namespace attachments {

// The image at path fitted into bound (proportions kept, never enlarged),
// turned as its orientation tag says; null when the file is no readable
// image.
// inFolder: a file of an attachments folder, read only when it is a
// regular file and not a link.
QImage LoadScaledImage(const QString& path, const QSize& bound, bool inFolder = false);
// Whether the file's header is that of a readable image.
bool IsReadableImage(const QString& path);

class ThumbnailCache : public QObject {
    Q_OBJECT

public:
    // Thumbnails of the files in folder, fitted into size x size pixels.
    ThumbnailCache(QString folder, int size, QObject* parent = nullptr);
    ~ThumbnailCache() override;

    const QString& Folder() const { return m_folder; }
    int Size() const { return m_size; }
    // The kept thumbnail of a stored file, when one is there.
    QImage Cached(const QString& stored) const;
    // Makes the thumbnail of a stored file on a worker thread and keeps it
    // in the folder; Ready or Unreadable follows on this object's thread.
    // Asking again while it is being made does nothing more.
    void Request(const QString& stored);
    // The same for any file (one not stored yet), under a key of the
    // caller's; nothing is kept.
    void RequestFile(const QString& key, const QString& source);
    // Waits until every requested thumbnail is made; Ready and Unreadable
    // still come through the event loop.
    void WaitForAll();
    // The thumbnail's file in the folder.
    QString CachePath(const QString& stored) const;

signals:
    void Ready(const QString& stored, const QImage& image);
    // The file is missing or no image (a receipt as PDF, a document).
    void Unreadable(const QString& stored);

private:
    void Start(const QString& key, const QString& source, const QString& cache);

    QString m_folder;
    int m_size;
    QSet<QString> m_pending;
    QThreadPool m_pool;
};

}  // namespace attachments
