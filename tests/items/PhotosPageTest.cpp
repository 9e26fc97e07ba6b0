// The item editor's Photos page driven as a user would: a real item table
// with its attachments folder in a temporary folder, files added through
// the scripted file dialog and by dropping, and the manifest and the stored
// files checked on disk.

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QMenuBar>
#include <QLineEdit>
#include <QListWidget>
#include <QMimeData>
#include <QPushButton>
#include <QTabWidget>
#include <QUrl>
#include <QtTest>
#include <sys/stat.h>

#include "AttachmentStore.h"
#include "ChildRun.h"
#include "ItemsTestSupport.h"
#include "PhotosPage.h"
#include "ScriptedUiServices.h"
#include "Settings.h"
#include "ItemEditor.h"

using attachments::Kind;
using common::Answer;
using common::ScriptedUiServices;
using items::PhotosPage;
using items::ItemEditor;

namespace {

class PhotoMain : public testsupport::FakeMain {
public:
    explicit PhotoMain(const QString& dir) : FakeMain(dir) {}
    attachments::AttachmentStore* Attachments() override { return &store; }
    attachments::AttachmentStore store;
};

QByteArray ReadBytes(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QString WriteBytes(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate)) return {};
    f.write(bytes);
    return path;
}

QString WriteImage(const QString& path, QColor color, QSize size = {640, 480}) {
    QImage image(size, QImage::Format_RGB32);
    image.fill(color);
    return image.save(path) ? path : QString();
}

// Stored files of the folder: content-hash names only.
QStringList StoredFiles(const QString& folder) {
    QStringList out;
    for (const QString& name : QDir(folder).entryList(QDir::Files))
        if (name.size() >= 64 && name != "manifest.txt") out << name;
    return out;
}

std::vector<QByteArray> Contents(const attachments::AttachmentStore& store, uint32_t recno) {
    std::vector<QByteArray> out;
    for (const auto& a : store.Of(recno)) out.push_back(ReadBytes(QString::fromStdString(store.PathOf(a))));
    return out;
}

}  // namespace

class PhotosPageTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_home;
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<PhotoMain> m_main;
    QString m_red, m_blue, m_redCopy, m_receipt, m_garbage;

    QString Folder() const { return m_dir->filePath("MASTER.files"); }

    // The editor on the first record, shown.
    std::unique_ptr<ItemEditor> EditFirst() {
        m_main->ItemTable().First();
        m_main->EditorMode() = 2;
        auto edit = std::make_unique<ItemEditor>(*m_main);
        edit->show();
        return edit;
    }

private slots:
    void initTestCase() {
        qputenv("XDG_DATA_HOME", m_home.filePath("data").toUtf8());
        qputenv("XDG_CONFIG_HOME", m_home.filePath("config").toUtf8());
    }

    void init() {
        common::AppSettings() = common::Settings();
        m_dir = std::make_unique<QTemporaryDir>();
        ::chmod(m_dir->path().toLocal8Bit().constData(), 0755);
        m_main = std::make_unique<PhotoMain>(m_dir->path());
        m_main->AddRecord({{"Item", "Sofa"}, {"Brand", "Oakline"}});
        m_main->AddRecord({{"Item", "Camera"}, {"Serial", "C-77"}});
        QVERIFY(m_main->store.Attach(m_main->ItemTable()).Empty());
        QVERIFY(QDir(m_dir->path()).mkdir("in"));
        const QString in = m_dir->filePath("in/");
        m_red = WriteImage(in + "red.jpg", Qt::red);
        m_blue = WriteImage(in + "blue.png", Qt::blue);
        QVERIFY(QFile::copy(m_red, in + "IMG_0001.JPG"));
        m_redCopy = in + "IMG_0001.JPG";
        m_receipt = WriteBytes(in + "receipt.pdf", "%PDF-1.4\n1 0 obj <<>> endobj\ntrailer <<>>\n%%EOF\n");
        m_garbage = WriteBytes(in + "broken.jpg", QByteArray(300, 'x'));
        QVERIFY(!m_red.isEmpty() && !m_blue.isEmpty() && !m_receipt.isEmpty() && !m_garbage.isEmpty());
    }

    void cleanup() {
        m_main.reset();
        m_dir.reset();
    }

    void addCaptionReorderRemoveThroughTheEditor() {
        ScriptedUiServices ui;
        auto edit = EditFirst();
        PhotosPage& page = *edit->PhotosTab;
        QCOMPARE(edit->Notebook->tabText(edit->Notebook->indexOf(&page)), QString("Pho&tos"));
        QCOMPARE(edit->Notebook->indexOf(&page), edit->Notebook->indexOf(edit->OtherPage) + 1);
        // Every mnemonic of the editor (tabs, buttons, labels, menus) is its own.
        QStringList captions;
        for (int i = 0; i < edit->Notebook->count(); ++i) captions << edit->Notebook->tabText(i);
        for (auto* b : edit->findChildren<QAbstractButton*>()) captions << b->text();
        for (auto* l : edit->findChildren<QLabel*>()) captions << l->text();
        for (auto* a : edit->MainMenu->actions()) captions << a->text();
        QMap<QChar, QString> keys;
        for (const QString& c : captions) {
            const qsizetype at = QString(c).replace("&&", "__").indexOf('&');
            if (at < 0 || at + 1 >= c.size()) continue;
            const QChar key = c[at + 1].toLower();
            QVERIFY2(!keys.contains(key), qPrintable(c + " clashes with " + keys.value(key)));
            keys.insert(key, c);
        }
        QVERIFY(keys.contains('t'));

        // Three files at once; two of them are the same photo.
        ui.ExpectOpenFiles("Add Photos and Documents", {m_red, m_receipt, m_redCopy});
        page.AddFiles();
        QCOMPARE(page.Strip->count(), 3);
        QCOMPARE(page.SelectedIndex(), 0);
        QCOMPARE(StoredFiles(Folder()).size(), 2);  // identical photos stored once
        const auto shown = page.Shown();
        QCOMPARE(shown[0].stored, shown[2].stored);
        QCOMPARE(shown[1].kind, Kind::Document);
        QCOMPARE(shown[2].original, std::string("IMG_0001.JPG"));
        QVERIFY(Contents(m_main->store, 1).empty());  // the other item has none

        // A caption is kept when the selection moves on, and written.
        page.Caption->setText("  Living room  ");
        page.Select(1);
        QCOMPARE(m_main->store.Of(0)[0].caption, std::string("Living room"));
        QCOMPARE(page.Strip->item(0)->text(), QString("Living room"));
        QVERIFY(ReadBytes(Folder() + "/manifest.txt").contains("Living room"));
        page.KindBox->setCurrentIndex(1);
        page.StoreKind(1);
        QCOMPARE(m_main->store.Of(0)[1].kind, Kind::Receipt);

        // Reorder: the receipt goes first, then back to the end.
        page.MoveSelectedLeft();
        QCOMPARE(page.SelectedIndex(), 0);
        QCOMPARE(m_main->store.Of(0)[0].original, std::string("receipt.pdf"));
        QVERIFY(!page.MoveLeftButton->isEnabled());
        page.MoveSelectedRight();
        page.MoveSelectedRight();
        QCOMPARE(m_main->store.Of(0)[2].original, std::string("receipt.pdf"));
        QVERIFY(!page.MoveRightButton->isEnabled());

        // Remove asks first; No keeps the file.
        ui.ExpectAsk("Photos", QString("Remove \"receipt.pdf\" from this item?"), Answer::No);
        page.RemoveSelected();
        QCOMPARE(page.Strip->count(), 3);
        ui.ExpectAsk("Photos", std::nullopt, Answer::Yes);
        page.RemoveSelected();
        QCOMPARE(page.Strip->count(), 2);
        QCOMPARE(StoredFiles(Folder()).size(), 1);  // the receipt's file went with it
        // The first of the two copies goes; the shared file stays for the other.
        page.Select(0);
        ui.ExpectAsk("Photos", QString("Remove \"Living room\" from this item?"), Answer::Yes);
        page.RemoveSelected();
        QCOMPARE(Contents(m_main->store, 0), (std::vector<QByteArray>{ReadBytes(m_red)}));
        QCOMPARE(StoredFiles(Folder()).size(), 1);

        // What the next editor shows is what the folder holds.
        edit.reset();
        auto again = EditFirst();
        QCOMPARE(again->PhotosTab->Shown(), m_main->store.Of(0));
        HALVENOR_VERIFY_UI(ui);
    }

    // A stored name that is a link to a picture elsewhere: the editor
    // shows nothing of what it leads to.
    void aLinkInTheFolderIsNeverShown() {
        m_main->store.Add(0, {{m_red.toStdString(), Kind::Photo, {}}});
        const QString stored = QString::fromStdString(m_main->store.PathOf(m_main->store.Of(0)[0]));
        QVERIFY(QFile::remove(stored));
        QVERIFY(QFile::link(m_blue, stored));
        auto edit = EditFirst();
        edit->PhotosTab->WaitForThumbnails();
        QCOMPARE(edit->PhotosTab->ThumbnailKind(0), QString("document"));
    }

    void thumbnailsAreMadeOffTheWindowAndKept() {
        ScriptedUiServices ui;
        m_main->store.Add(0, {{m_red.toStdString(), Kind::Photo, {}},
                              {m_receipt.toStdString(), Kind::Receipt, {}},
                              {m_garbage.toStdString(), Kind::Photo, {}},
                              {m_blue.toStdString(), Kind::Photo, {}}});
        // The blue photo's file is gone from the folder.
        QVERIFY(QFile::remove(QString::fromStdString(m_main->store.PathOf(m_main->store.Of(0)[3]))));
        {
            auto edit = EditFirst();
            PhotosPage& page = *edit->PhotosTab;
            QCOMPARE(page.ThumbnailKind(0), QString("loading"));
            QCOMPARE(page.ThumbnailKind(3), QString("missing"));
            page.WaitForThumbnails();
            QCOMPARE(page.ThumbnailKind(0), QString("photo"));
            QCOMPARE(page.ThumbnailKind(1), QString("document"));  // a PDF receipt
            QCOMPARE(page.ThumbnailKind(2), QString("document"));  // no readable image
            QCOMPARE(page.ThumbnailKind(3), QString("missing"));
            QVERIFY(!page.Strip->item(0)->icon().isNull());

            // The desktop opens the file; a missing one is told instead.
            page.Select(0);
            ui.ExpectOpenWithDesktop(QString::fromStdString(m_main->store.PathOf(m_main->store.Of(0)[0])), false);
            ui.ExpectMessage("Photos", QString("No program could be started to open \"red.jpg\"."));
            page.OpenSelectedWithViewer();
            page.Select(3);
            ui.ExpectMessage("Photos", QString("The file of \"blue.png\" is missing from the attachments folder."));
            page.OpenSelectedWithViewer();
        }
        // The next showing takes the kept thumbnail at once.
        QVERIFY(QDir(Folder() + "/.thumbs").entryList(QDir::Files).size() == 1);
        auto edit = EditFirst();
        QCOMPARE(edit->PhotosTab->ThumbnailKind(0), QString("photo"));
        HALVENOR_VERIFY_UI(ui);
    }

    void filesAddedToANewItemAttachOnItsFirstUpdate() {
        ScriptedUiServices ui;
        m_main->EditorMode() = 1;
        ItemEditor edit(*m_main);
        edit.show();
        PhotosPage& page = *edit.PhotosTab;
        // Two files of one name from different folders stay apart.
        QVERIFY(QDir(m_dir->path()).mkdir("in2"));
        const QString otherBlue = WriteImage(m_dir->filePath("in2/blue.png"), Qt::green);
        ui.ExpectOpenFiles("Add Photos and Documents", {m_blue, m_red, otherBlue});
        page.AddFiles();
        page.Select(1);
        page.Caption->setText("Front");
        page.MoveSelectedLeft();
        QCOMPARE(page.Strip->count(), 3);
        QVERIFY(!QDir(Folder()).exists());  // nothing stored before the record is
        page.WaitForThumbnails();
        QCOMPARE(page.ThumbnailKind(0), QString("photo"));

        // Leaving without updating loses them: the editor asks.
        ui.ExpectBeep();
        ui.ExpectAsk("Warning", std::nullopt, Answer::No);
        edit.Cancel();
        QVERIFY(edit.isVisible());

        edit.Item->setText("Lamp");
        edit.SaveItem();
        const uint32_t recno = m_main->ItemTable().RecNo();
        QCOMPARE(recno, 2u);
        QCOMPARE(Contents(m_main->store, recno),
                 (std::vector<QByteArray>{ReadBytes(m_red), ReadBytes(m_blue), ReadBytes(otherBlue)}));
        QCOMPARE(m_main->store.Of(recno)[0].caption, std::string("Front"));
        QVERIFY(!page.HasPending());
        // From now on the page changes the saved item at once.
        ui.ExpectOpenFiles("Add Photos and Documents", {m_receipt});
        page.AddFiles();
        QCOMPARE(m_main->store.CountOf(recno), 4u);
        // A new record started from the editor shows an empty row.
        edit.StartNewItem();
        QCOMPARE(page.Strip->count(), 0);
        HALVENOR_VERIFY_UI(ui);
    }

    void filesDroppedFromTheDesktopAreAdded() {
        ScriptedUiServices ui;
        auto edit = EditFirst();
        PhotosPage& page = *edit->PhotosTab;
        QMimeData data;
        data.setUrls({QUrl::fromLocalFile(m_blue), QUrl::fromLocalFile(m_receipt), QUrl("https://example.org/x.jpg")});
        QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(&page, &enter);
        QVERIFY(enter.isAccepted());
        QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(&page, &drop);
        QCOMPARE(Contents(m_main->store, 0), (std::vector<QByteArray>{ReadBytes(m_blue), ReadBytes(m_receipt)}));
        // A folder dropped is refused whole, with nothing added.
        ui.ExpectMessage("Photos", std::nullopt);
        QVERIFY(!page.AddFiles({m_red, m_dir->filePath("in")}));
        QCOMPARE(m_main->store.CountOf(0), 2u);
        HALVENOR_VERIFY_UI(ui);
    }

    void folderThatCannotBeWrittenRefusesAddAndChangesNothing_data() {
        QTest::addColumn<bool>("folderExists");
        QTest::newRow("no attachments folder yet, table folder read-only") << false;
        QTest::newRow("attachments folder read-only") << true;
    }
    void folderThatCannotBeWrittenRefusesAddAndChangesNothing() {
        QFETCH(bool, folderExists);
        if (folderExists) m_main->store.Add(1, {{m_blue.toStdString(), Kind::Photo, {}}});
        const QString locked = folderExists ? Folder() : m_dir->path();
        const QByteArray manifest = ReadBytes(Folder() + "/manifest.txt");
        const QStringList before = QDir(locked).entryList(QDir::AllEntries | QDir::Hidden);
        ::chmod(locked.toLocal8Bit().constData(), 0555);
        // Run as a user bound by permissions (the build machine runs as root).
        const std::string found = testsupport::RunInChild(
            [&]() -> std::string {
                ScriptedUiServices ui;
                PhotosPage page(*m_main);
                page.ShowRecord(0);
                ui.ExpectMessage("Photos", std::nullopt);
                page.AddFiles();  // refused before the file dialog
                ui.ExpectMessage("Photos", std::nullopt);
                if (page.AddFiles({m_red})) return "added";
                if (!ui.Verify()) return ui.Report().toStdString();
                if (!ui.Messages().last().contains("cannot be written")) return ui.Messages().join('|').toStdString();
                return "refused";
            },
            {.unprivileged = true});
        ::chmod(locked.toLocal8Bit().constData(), 0755);
        QCOMPARE(QString::fromStdString(found), QString("refused"));
        QCOMPARE(QDir(locked).entryList(QDir::AllEntries | QDir::Hidden), before);
        QCOMPARE(ReadBytes(Folder() + "/manifest.txt"), manifest);
        QCOMPARE(m_main->store.CountOf(0), 0u);
    }
};

QTEST_MAIN(PhotosPageTest)
#include "PhotosPageTest.moc"
