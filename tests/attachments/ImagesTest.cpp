// Thumbnails of attachments, made off the window's thread.

#include <QBuffer>
#include <QFile>
#include <QImage>
#include <QTemporaryDir>
#include <QTest>
#include <unistd.h>

#include "AttachmentImages.h"
#include "AttachmentsTestSupport.h"

using namespace attachments;
using namespace testsupport;

class ImagesTest : public QObject {
    Q_OBJECT

private slots:
    void thumbnailsAreMadeOnceAndKept();
    void aLinkInTheFolderIsNoPhotoOfOurs();
    void thinImagesKeepALineOfDots();
    void photosStandAsTheirOrientationTagSays();
    void aPhotoIsReadWithStandardInputClosed();
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

// A stored name is a file of the folder, never a link out of it; a file the
// user picks may be reached through one.
void ImagesTest::aLinkInTheFolderIsNoPhotoOfOurs() {
    QTemporaryDir dir, elsewhere;
    QImage photo(40, 20, QImage::Format_RGB32);
    photo.fill(Qt::blue);
    QVERIFY(photo.save(elsewhere.filePath("photo.png"), "PNG"));
    QVERIFY(QFile::link(elsewhere.filePath("photo.png"), dir.filePath("linked")));
    ThumbnailCache cache(dir.path(), 64);
    QStringList ready, unreadable;
    connect(&cache, &ThumbnailCache::Ready, this, [&](const QString& key, const QImage&) { ready << key; });
    connect(&cache, &ThumbnailCache::Unreadable, this, [&](const QString& key) { unreadable << key; });
    cache.Request("linked");
    cache.RequestFile("picked", dir.filePath("linked"));
    cache.WaitForAll();
    QTRY_COMPARE(ready.size() + unreadable.size(), 2);
    QCOMPARE(ready, QStringList{"picked"});
    QCOMPARE(unreadable, QStringList{"linked"});
}

// An image far wider than high, or higher than wide, shrinks to the bound
// and keeps at least one dot across.
void ImagesTest::thinImagesKeepALineOfDots() {
    QTemporaryDir dir;
    for (const QSize size : {QSize(4000, 1), QSize(1, 4000)}) {
        QImage thin(size, QImage::Format_RGB32);
        thin.fill(Qt::green);
        const QString path = dir.filePath("thin.png");
        QVERIFY(thin.save(path, "PNG"));
        QVERIFY(IsReadableImage(path));
        const QImage thumb = LoadScaledImage(path, QSize(100, 100), false);
        QCOMPARE(thumb.size(), size.width() > 1 ? QSize(100, 1) : QSize(1, 100));
    }
}

// A camera held upright stores its picture lying and says so in the
// picture's orientation tag: the photo is shown standing, scaled down
// within the bound as it stands.
void ImagesTest::photosStandAsTheirOrientationTagSays() {
    QTemporaryDir dir;
    QImage lying(40, 20, QImage::Format_RGB32);
    lying.fill(Qt::blue);
    QByteArray jpeg;
    {
        QBuffer buffer(&jpeg);
        QVERIFY(buffer.open(QIODevice::WriteOnly));
        QVERIFY(lying.save(&buffer, "JPEG"));
    }
    // An Exif block with one tag, orientation 6: turned a quarter clockwise.
    const QByteArray exif = QByteArray("Exif\0\0MM\0\x2a\0\0\0\x08\0\x01\x01\x12\0\x03\0\0\0\x01\0\x06\0\0\0\0\0\0", 32);
    QByteArray segment("\xff\xe1", 2);
    segment.append(char((exif.size() + 2) >> 8)).append(char((exif.size() + 2) & 0xff)).append(exif);
    const QString path = WriteFile(dir.filePath("upright.jpg"), jpeg.left(2) + segment + jpeg.mid(2));
    QCOMPARE(LoadScaledImage(path, QSize(100, 100), false).size(), QSize(20, 40));
    QCOMPARE(LoadScaledImage(path, QSize(10, 10), false).size(), QSize(5, 10));
}

// A program started with its standard input closed hands out descriptor 0
// to the first file it opens: a photo of the folder is read through it.
void ImagesTest::aPhotoIsReadWithStandardInputClosed() {
    QTemporaryDir dir;
    QImage photo(30, 10, QImage::Format_RGB32);
    photo.fill(Qt::red);
    QVERIFY(photo.save(dir.filePath("photo"), "PNG"));
    const int input = ::dup(0);
    ::close(0);
    const QImage read = LoadScaledImage(dir.filePath("photo"), QSize(64, 64), true);
    ::dup2(input, 0);
    ::close(input);
    QCOMPARE(read.size(), QSize(30, 10));
}

QTEST_MAIN(ImagesTest)
#include "ImagesTest.moc"
