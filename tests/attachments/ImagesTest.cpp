// Thumbnails of attachments, made off the window's thread.

#include <QImage>
#include <QTemporaryDir>
#include <QTest>

#include "AttachmentImages.h"
#include "AttachmentsTestSupport.h"

using namespace attachments;
using namespace testsupport;

class ImagesTest : public QObject {
    Q_OBJECT

private slots:
    void thumbnailsAreMadeOnceAndKept();
};

// A thumbnail is made off the caller's thread, told once, kept in the
// folder for the next showing; a file that is no image is told as such,
// and asking again while it is made starts nothing more.
void ImagesTest::thumbnailsAreMadeOnceAndKept() {
    QTemporaryDir dir;
    QImage photo(400, 200, QImage::Format_RGB32);
    photo.fill(Qt::red);
    QVERIFY(photo.save(dir.filePath("photo"), "PNG"));
    WriteFile(dir.filePath("receipt"), "%PDF-1.4 not an image");
    ThumbnailCache cache(dir.path(), 64);
    QStringList ready, unreadable;
    QSize readySize;
    connect(&cache, &ThumbnailCache::Ready, this, [&](const QString& key, const QImage& image) {
        ready << key;
        readySize = image.size();
    });
    connect(&cache, &ThumbnailCache::Unreadable, this, [&](const QString& key) { unreadable << key; });
    cache.Request("photo");
    cache.Request("photo");
    cache.Request("receipt");
    cache.WaitForAll();
    QTRY_COMPARE(ready.size() + unreadable.size(), 2);
    QCOMPARE(ready, QStringList{"photo"});
    QCOMPARE(unreadable, QStringList{"receipt"});
    QCOMPARE(readySize, QSize(64, 32));
    QCOMPARE(cache.Cached("photo").size(), QSize(64, 32));
    QVERIFY(cache.Cached("receipt").isNull());
    // Done: asking again makes it again and tells it again.
    cache.Request("photo");
    cache.WaitForAll();
    QTRY_COMPARE(ready.size(), 2);
}

QTEST_MAIN(ImagesTest)
#include "ImagesTest.moc"
