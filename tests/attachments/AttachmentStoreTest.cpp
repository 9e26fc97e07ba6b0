// The attachments of items where they can be lost or shown on the wrong
// item: the manifest as outside input, identical files, pack, a table
// rewritten by another program, edits of the identifying fields, a folder
// that cannot be written, and a second copy of the program.

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include <sys/mman.h>
#include <sys/stat.h>

#include "AttachmentCheck.h"
#include "AttachmentsTestSupport.h"
#include "ChildRun.h"
#include "EngineError.h"
#include "Fingerprint.h"
#include "FolderFiles.h"
#include "Manifest.h"

using namespace attachments;
using namespace testsupport;

namespace {

const std::string kHash(64, 'a');
const std::string kHash2(64, 'b');

QStringList FolderContents(const QString& folder) {
    QStringList names = QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot);
    names.removeAll(".lock");
    names.sort();
    return names;
}

}  // namespace

class AttachmentStoreTest : public QObject {
    Q_OBJECT

private slots:
    void manifestReadsBackWhatWasWritten();
    void damagedManifestIsToldAndNeverTrusted_data();
    void damagedManifestIsToldAndNeverTrusted();
    void damagedManifestIsKeptBeforeItIsWrittenAgain();
    void identicalFilesAreStoredOnce();
    void changesKeepOrderCaptionsAndRemoveUnusedFiles();
    void deletedItemsKeepAttachmentsUntilPack();
    void packKeepsEveryOtherItemsAttachments();
    void tableRewrittenByAnotherProgramRelinksByFingerprint();
    void aStoreLeftAttachedRelinksOnRefreshAndWritesTheList();
    void editedIdentifyingFieldsKeepTheLink();
    void folderThatCannotBeWrittenRefusesAddAndChangesNothing();
    void secondCopysChangesAreSeen();
    void packAfterADamagedListKeepsFilesNoItemNames_data();
    void packAfterADamagedListKeepsFilesNoItemNames();
    void readingNeverWritesTheList();
    void recoverGivesFilesOfKeptListsBackToTheirItems();
    void fingerprintsStayWhatStoredListsHold();
    void listLargerThanAnyIsRefusedUnread();
    void captionsAndListsThatCannotBeReadAreTold();
    void packInterruptedAfterItsListIsFinishedByTheNextOpen();
    void checkTellsEveryKindOfFault();
    void storedNamesAndExtensions();
    void tableWithoutAttachmentsPacksAndNeedsOpening();
};

void AttachmentStoreTest::manifestReadsBackWhatWasWritten() {
    Manifest m;
    ItemEntry a;
    a.record = 0;
    a.fingerprint = 0x0123456789abcdefull;
    a.label = "Sofa\twith\\tabs\nand lines, 20 \xE2\x82\xAC";  // and a character of three bytes
    a.files = {{kHash + ".jpg", Kind::Photo, "IMG 1.JPG", "Living room, north \"wall\""},
               {kHash2, Kind::Receipt, "receipt", ""}};
    ItemEntry lost;
    lost.fingerprint = 1;
    lost.nextFingerprint = 2;
    lost.label = "Lamp \xF0\x9F\x92\xA1";  // a character of four bytes
    lost.files = {{kHash2, Kind::Document, "manual.pdf", "Käse"}};
    ItemEntry last;
    last.record = 0xFFFFFFFEu;  // the largest record number a table can have
    last.fingerprint = ~0ull;
    m.items = {a, lost, last};
    m.packedCount = 7;
    const ManifestReading back = ReadManifest(WriteManifest(m));
    QVERIFY2(back.problems.empty(), back.problems.empty() ? "" : back.problems.front().c_str());
    QVERIFY(!back.damaged);
    QVERIFY(back.manifest == m);
    // Lines ended the Windows way read the same.
    std::string crlf;
    for (const char c : WriteManifest(m)) crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
    const ManifestReading fromWindows = ReadManifest(crlf);
    QVERIFY(!fromWindows.damaged);
    QVERIFY(fromWindows.manifest == m);
    // An empty manifest is a whole one.
    QVERIFY(ReadManifest(WriteManifest({})).problems.empty());
}

void AttachmentStoreTest::damagedManifestIsToldAndNeverTrusted_data() {
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QString>("told");
    QTest::addColumn<int>("items");  // entries read
    QTest::addColumn<int>("files");  // files read
    const QByteArray head = "Halvenor Inventory attachments 1\n";
    const QByteArray item = "item\t3\t00000000000000ff\tChair\n";
    const QByteArray file = "file\t" + QByteArray::fromStdString(kHash) + ".jpg\tphoto\ta.jpg\t\n";
    const QByteArray end = "end\t1\t1\n";
    QTest::newRow("cut short mid-line") << head + item + file.left(20) << "cut short" << 1 << 0;
    QTest::newRow("cut short before the end line") << head + item + file
                                                   << "cut short: the items after line 2 are missing." << 1 << 1;
    QTest::newRow("garbage") << QByteArray("\x89PNG\r\n\x1a\n\0\0garbage", 17) << "not a list" << 0 << 0;
    QTest::newRow("empty file") << QByteArray() << "empty" << 0 << 0;
    QTest::newRow("later version") << QByteArray("Halvenor Inventory attachments 2\n") + item << "later version" << 0 << 0;
    QTest::newRow("stored name leaving the folder")
        << head + item + "file\t../../etc/passwd\tphoto\tx\t\n" + end << "not the name of a stored file" << 1 << 0;
    QTest::newRow("upper-case hash") << head + item + "file\t" + QByteArray(64, 'A') + "\tphoto\tx\t\n" + end
                                     << "not the name of a stored file" << 1 << 0;
    QTest::newRow("record zero") << head + "item\t0\t00000000000000ff\tx\n" + file + end << "\"0\" is not a record number." << 0
                                 << 0;
    QTest::newRow("record beyond any table") << head + "item\t4294967296\t00000000000000ff\tx\n" + file + end
                                             << "not a record number" << 0 << 0;
    QTest::newRow("short fingerprint") << head + "item\t3\tff\tx\n" + end << "not a fingerprint" << 0 << 0;
    QTest::newRow("unknown kind") << head + item + "file\t" + QByteArray::fromStdString(kHash) + "\tpainting\tx\t\n" + end
                                  << "\"painting\" is not a kind of attachment." << 1 << 0;
    QTest::newRow("file before any item") << head + file + item + "end\t1\t0\n" << "belong to no readable item" << 1
                                          << 0;
    QTest::newRow("record listed twice") << head + item + file + item + file + "end\t2\t2\n" << "record 3 is listed twice; its files were joined." << 1
                                         << 2;
    QTest::newRow("counts differ") << head + item + file + "end\t5\t1\n" << "counts" << 1 << 1;
    QTest::newRow("text after the end") << head + item + file + end + item << "after the end" << 1 << 1;
    QTest::newRow("bad escape") << head + "item\t3\t00000000000000ff\tC:\\x\n" + end << "backslash" << 0 << 0;
    QTest::newRow("overlong two-byte form") << head + "item\t3\t00000000000000ff\tK\xC0\xAFse\n" + end << "not UTF-8"
                                            << 0 << 0;
    QTest::newRow("overlong four-byte form") << head + "item\t3\t00000000000000ff\tK\xF0\x8F\xBF\xBFse\n" + end
                                             << "not UTF-8" << 0 << 0;
    QTest::newRow("fingerprint with a letter past f") << head + "item\t3\t00000000000000fg\tx\n" + end
                                                      << "not a fingerprint" << 0 << 0;
    QTest::newRow("record number of 40 characters")
        << head + "item\t" + QByteArray(40, '9') + "\t00000000000000ff\tx\n" + end
        << "\"" + QString(40, '9') + "\" is not a record number." << 0 << 0;
    QTest::newRow("record number of 41 characters, shown cut")
        << head + "item\t" + QByteArray(41, '9') + "\t00000000000000ff\tx\n" + end
        << "\"" + QString(40, '9') + "...\" is not a record number." << 0 << 0;
    QTest::newRow("not UTF-8") << head + "item\t3\t00000000000000ff\tK\xe4se\n" + end << "not UTF-8" << 0 << 0;
    QTest::newRow("not UTF-8 from the first byte") << head + "\xe4tem\t3\t00000000000000ff\tx\n" + end << "not UTF-8"
                                                   << 0 << 0;
    QTest::newRow("the first surrogate") << head + "item\t3\t00000000000000ff\tK\xED\xA0\x80se\n" + end << "not UTF-8" << 0 << 0;
    QTest::newRow("the last surrogate") << head + "item\t3\t00000000000000ff\tK\xED\xBF\xBFse\n" + end << "not UTF-8" << 0 << 0;
    QTest::newRow("a line one byte too long")
        << head + "item\t3\t00000000000000ff\t" + QByteArray(65536 + 1 - 24, 'x') + "\n" + end
        << "Line 2: the line is longer than 65536 bytes." << 0 << 0;
    QTest::newRow("too many fields") << head + item + file.chopped(1) + "\textra\n" + end << "needs a stored name" << 1
                                     << 0;
}

void AttachmentStoreTest::damagedManifestIsToldAndNeverTrusted() {
    QFETCH(QByteArray, text);
    QFETCH(QString, told);
    QFETCH(int, items);
    QFETCH(int, files);
    const ManifestReading r = ReadManifest(std::string_view(text.constData(), size_t(text.size())));
    QVERIFY(r.damaged);
    QString all;
    for (const std::string& p : r.problems) all += QString::fromStdString(p) + "\n";
    QVERIFY2(all.contains(told), qPrintable(all));
    QCOMPARE(int(r.manifest.items.size()), items);
    int read = 0;
    for (const ItemEntry& e : r.manifest.items) read += int(e.files.size());
    QCOMPARE(read, files);
}

void AttachmentStoreTest::damagedManifestIsKeptBeforeItIsWrittenAgain() {
    QTemporaryDir dir;
    store::Table t;
    MakeItemTable(t, dir.path(), {{"Sofa"}, {"Lamp"}});
    const QString folder = dir.filePath("MASTER.files");
    QVERIFY(QDir().mkdir(folder));
    const QByteArray damaged = "Halvenor Inventory attachments 1\nitem\t1\t0000000000000001\tSofa\nfile\tnonsense\n";
    WriteFile(folder + "/manifest.txt", damaged);
    AttachmentStore store;
    const LinkReport report = store.Attach(t);
    const QString message = QString::fromStdString(report.Message());
    QVERIFY2(message.contains("is damaged") && message.contains("manifest.bad"), qPrintable(message));
    QCOMPARE(ReadFile(folder + "/manifest.bad"), damaged);
    // Told once: the list was written again.
    AttachmentStore again;
    QVERIFY(again.Attach(t).Empty());
    again.Detach();
    // So is a damaged list whose items all stand where they did.
    WriteFile(folder + "/manifest.txt", "Halvenor Inventory attachments 1\nend\t0\t0\nafter the end\n");
    QVERIFY(QString::fromStdString(again.Attach(t).Message()).contains("is damaged"));
    again.Detach();
    QVERIFY(again.Attach(t).Empty());
    again.Detach();

    // With every name for a kept copy taken, the damaged list stays as it
    // is and a change is refused.
    for (int n = 2; n < 1000; ++n) WriteFile(folder + "/manifest.bad" + QString::number(n), "taken");
    WriteFile(folder + "/manifest.txt", damaged);
    const LinkReport full = again.Attach(t);
    QCOMPARE(full.problems.size(), size_t(2));
    QCOMPARE(ReadFile(folder + "/manifest.txt"), damaged);
    try {
        again.Add(0, {Photo(WriteFile(dir.filePath("s.jpg"), "sofa"))});
        QFAIL("a change wrote over the damaged list");
    } catch (const AttachmentError& e) {
        QCOMPARE(std::string(e.what()), "No name is free for a copy of the damaged list of attachments in \"" +
                                            folder.toStdString() + "\".");
    }
    QCOMPARE(ReadFile(folder + "/manifest.txt"), damaged);
    QVERIFY(!QFile::exists(folder + "/manifest.bad1000"));
}

void AttachmentStoreTest::identicalFilesAreStoredOnce() {
    QTemporaryDir dir;
    store::Table t;
    MakeItemTable(t, dir.path(), {{"Sofa"}, {"Lamp"}});
    const QString a = WriteFile(dir.filePath("front.JPG"), "same picture");
    const QString b = WriteFile(dir.filePath("copy of front.jpg"), "same picture");
    const QString c = WriteFile(dir.filePath("receipt.pdf"), "%PDF-1.4 receipt");
    AttachmentStore store;
    QVERIFY(store.Attach(t).Empty());
    store.Add(0, {Photo(a, "Front"), Photo(c)});
    store.Add(1, {Photo(b)});
    const QString folder = QString::fromStdString(store.Folder());
    QCOMPARE(folder, dir.filePath("MASTER.files"));
    // The name up to its last dot, however short; a name that starts with
    // its only dot is kept whole.
    QCOMPARE(AttachmentFolderFor("/home/a/A.DBF"), std::string("/home/a/A.files"));
    QCOMPARE(AttachmentFolderFor("B.old.dbf"), std::string("B.old.files"));
    QCOMPARE(AttachmentFolderFor("/home/a/.dbf"), std::string("/home/a/.dbf.files"));
    const QString hash = QCryptographicHash::hash("same picture", QCryptographicHash::Sha256).toHex();
    const QString receipt = QCryptographicHash::hash("%PDF-1.4 receipt", QCryptographicHash::Sha256).toHex();
    QStringList expected{hash + ".jpg", receipt + ".pdf", "manifest.txt"};
    expected.sort();
    QCOMPARE(FolderContents(folder), expected);
    QCOMPARE(store.Of(0)[0].original, std::string("front.JPG"));
    QCOMPARE(store.Of(0)[0].kind, Kind::Photo);
    QCOMPARE(store.Of(0)[1].kind, Kind::Document);
    QCOMPARE(store.Of(1)[0].stored, store.Of(0)[0].stored);
    // A folder picked as a file is refused by name, and nothing is added.
    try {
        store.Add(1, {Photo(dir.path())});
        QFAIL("a folder was added as a photo");
    } catch (const AttachmentError& e) {
        QCOMPARE(std::string(e.what()), "\"" + dir.path().toStdString() + "\" is not a file.");
    }
    QCOMPARE(store.Of(1).size(), size_t(1));
    // Removing it from one item keeps the file the other one shows.
    store.Remove(0, 0);
    QCOMPARE(ContentsOf(store, 1), std::vector<QByteArray>{"same picture"});
    store.Remove(1, 0);
    QCOMPARE(FolderContents(folder), (QStringList{receipt + ".pdf", "manifest.txt"}));

    // An add that fails midway takes back the files it copied, and only
    // those: the receipt, stored before, stays for the item that shows it.
    store.Add(1, {Photo(c)});
    const QStringList before = FolderContents(folder);
    const QByteArray list = ReadFile(folder + "/manifest.txt");
    const size_t shown = store.CountOf(0);
    try {
        store.Add(0, {Photo(WriteFile(dir.filePath("again.pdf"), "%PDF-1.4 receipt")),
                      Photo(WriteFile(dir.filePath("new.jpg"), "a new picture")), Photo(dir.filePath("gone.jpg"))});
        QFAIL("a file that is not there was added");
    } catch (const AttachmentError&) {
    }
    QCOMPARE(FolderContents(folder), before);
    QCOMPARE(ReadFile(folder + "/manifest.txt"), list);
    QCOMPARE(store.CountOf(0), shown);
}

void AttachmentStoreTest::changesKeepOrderCaptionsAndRemoveUnusedFiles() {
    QTemporaryDir dir;
    store::Table t;
    MakeItemTable(t, dir.path(), {{"Sofa", "Acme", "S-1", "123"}});
    AttachmentStore store;
    store.Attach(t);
    std::vector<NewAttachment> files;
    for (const char* n : {"1.png", "2.png", "3.png"}) files.push_back(Photo(WriteFile(dir.filePath(n), n)));
    store.Add(0, files);
    store.Move(0, 2, 0);
    store.SetCaption(0, 0, "Back\tside");
    store.SetKind(0, 1, Kind::Receipt);
    QCOMPARE(ContentsOf(store, 0), (std::vector<QByteArray>{"3.png", "1.png", "2.png"}));
    // A fresh reading of the folder sees the same.
    AttachmentStore other;
    QVERIFY(other.Attach(t).Empty());
    QCOMPARE(ContentsOf(other, 0), (std::vector<QByteArray>{"3.png", "1.png", "2.png"}));
    QCOMPARE(other.Of(0)[0].caption, std::string("Back\tside"));
    QCOMPARE(other.Of(0)[1].kind, Kind::Receipt);
    QVERIFY_THROWS_EXCEPTION(AttachmentError, store.Move(0, 0, 3));
    QVERIFY_THROWS_EXCEPTION(AttachmentError, store.Remove(0, 3));
    // A file that is gone or not a file is refused whole.
    QVERIFY_THROWS_EXCEPTION(AttachmentError, store.Add(0, {Photo(dir.filePath("4.png")), Photo(dir.filePath("gone.png"))}));
    QVERIFY_THROWS_EXCEPTION(AttachmentError, store.Add(0, {Photo(dir.path())}));
    QCOMPARE(store.CountOf(0), size_t(3));
    QCOMPARE(FolderContents(QString::fromStdString(store.Folder())).size(), 4);
}

void AttachmentStoreTest::deletedItemsKeepAttachmentsUntilPack() {
    QTemporaryDir dir;
    store::Table t;
    MakeItemTable(t, dir.path(), {{"Sofa"}, {"Lamp"}});
    AttachmentStore store;
    store.Attach(t);
    store.Add(1, {Photo(WriteFile(dir.filePath("lamp.jpg"), "lamp")), Photo(WriteFile(dir.filePath("room.jpg"), "room"))});
    store.Add(0, {Photo(dir.filePath("room.jpg"))});
    t.GoTo(1);
    t.Delete();
    // The pack will take the lamp's file; the room's stays for the sofa.
    QCOMPARE(store.PreviewPack().filesOfDeleted, size_t(1));
    AttachmentStore reopened;
    reopened.Attach(t);
    QCOMPARE(ContentsOf(reopened, 1), (std::vector<QByteArray>{"lamp", "room"}));
    t.Close();
    t.SetExclusive(true);
    t.Open();
    PackTable(t, &reopened);
    QCOMPARE(t.PhysicalCount(), 1u);
    QCOMPARE(ContentsOf(reopened, 0), std::vector<QByteArray>{"room"});
    QCOMPARE(FolderContents(QString::fromStdString(reopened.Folder())).size(), 2);
}

void AttachmentStoreTest::packKeepsEveryOtherItemsAttachments() {
    QTemporaryDir dir;
    store::Table t;
    std::vector<TestItem> items;
    for (int i = 0; i < 12; ++i) items.push_back({"Item " + std::to_string(i), "Brand", "M", std::to_string(i)});
    MakeItemTable(t, dir.path(), items);
    AttachmentStore store;
    store.Attach(t);
    std::map<std::string, std::vector<QByteArray>> expected;
    for (uint32_t r = 0; r < 12; r += (r % 3 == 2 ? 2 : 1)) {
        std::vector<NewAttachment> files;
        for (uint32_t k = 0; k <= r % 3; ++k) {
            const QByteArray content = "photo " + QByteArray::number(r) + "/" + QByteArray::number(k);
            files.push_back(Photo(WriteFile(dir.filePath(QString("p%1-%2.jpg").arg(r).arg(k)), content)));
            expected["Item " + std::to_string(r)].push_back(content);
        }
        store.Add(r, files);
    }
    // Items in the middle go, the first and last stay.
    for (uint32_t r : {2u, 3u, 4u, 7u}) {
        t.GoTo(r);
        t.Delete();
        expected.erase("Item " + std::to_string(r));
    }
    t.Close();
    t.SetExclusive(true);
    t.Open();
    PackTable(t, &store);
    for (AttachmentStore* s : {&store}) {
        for (const auto& [item, recno] : RecordsByItem(t)) {
            const auto it = expected.find(item);
            QCOMPARE(ContentsOf(*s, recno), it == expected.end() ? std::vector<QByteArray>{} : it->second);
        }
    }
    AttachmentStore fresh;
    QVERIFY(fresh.Attach(t).Empty());
    for (const auto& [item, recno] : RecordsByItem(t)) {
        const auto it = expected.find(item);
        QCOMPARE(ContentsOf(fresh, recno), it == expected.end() ? std::vector<QByteArray>{} : it->second);
    }
    // The removed items' own files went; shared and kept ones stayed.
    int stored = 0;
    for (const QString& name : FolderContents(QString::fromStdString(store.Folder())))
        stored += ValidStoredName(name.toStdString());
    int kept = 0;
    for (const auto& [item, contents] : expected) kept += int(contents.size());
    QCOMPARE(stored, kept);
}

void AttachmentStoreTest::tableRewrittenByAnotherProgramRelinksByFingerprint() {
    QTemporaryDir dir;
    store::Table t;
    // Records 2 and 5 are twins (same identifying fields): after the table
    // is reordered nobody can tell which is which.
    const std::string path = MakeItemTable(t, dir.path(),
                                           {{"Sofa", "Acme", "S1", "100"},
                                            {"Lamp", "Lumo", "L2", ""},
                                            {"Chair", "Ikon", "", ""},
                                            {"Clock", "", "", ""},
                                            {"Rug"},
                                            {"Chair", "Ikon", "", ""}});
    AttachmentStore store;
    store.Attach(t);
    const char* names[] = {"sofa", "lamp", "chair A", "clock", "rug", "chair B"};
    for (uint32_t r : {0u, 1u, 2u, 3u, 5u}) store.Add(r, {Photo(WriteFile(dir.filePath(QString("%1.jpg").arg(r)), names[r]))});
    t.Close();
    store.Detach();
    QCOMPARE(store.CountOf(0), size_t(0));  // detached, it holds nothing
    const QByteArray out = [&] {
        QProcess p;
        p.start("/usr/bin/python3", {AttachmentScript("reorder_dbf.py"), QString::fromStdString(path), "5,3,4,0,2,1"});
        p.waitForFinished(60000);
        return p.readAllStandardError();
    }();
    QVERIFY2(out.isEmpty(), out.constData());
    t.Open();
    const LinkReport report = store.Attach(t);
    // New order: chair B, clock, rug, sofa, chair A, lamp.
    QCOMPARE(ContentsOf(store, 1), std::vector<QByteArray>{"clock"});
    QCOMPARE(ContentsOf(store, 3), std::vector<QByteArray>{"sofa"});
    QCOMPARE(ContentsOf(store, 5), std::vector<QByteArray>{"lamp"});
    QCOMPARE(store.CountOf(0), size_t(0));
    QCOMPARE(store.CountOf(4), size_t(0));
    QCOMPARE(store.CountOf(2), size_t(0));
    QCOMPARE(report.lost, (std::vector<std::string>{"Chair", "Chair"}));
    QCOMPARE(report.Message(), std::string("The item table was changed by another program, and the attachments of these "
                                           "items could not be matched to their records again: \"Chair\", \"Chair\".  "
                                           "They are no longer shown with any item; their files stay in the "
                                           "attachments folder."));
    // Twenty names at most, then how many more.
    LinkReport many;
    for (int i = 1; i <= 21; ++i) many.lost.push_back(i == 21 ? std::string() : "n" + std::to_string(i));
    std::string shown;
    for (int i = 1; i <= 20; ++i) shown += std::string(i > 1 ? ", " : "") + "\"n" + std::to_string(i) + "\"";
    QCOMPARE(many.Message(), "The item table was changed by another program, and the attachments of these items could "
                             "not be matched to their records again: " + shown + " and 1 more.  They are no longer "
                             "shown with any item; their files stay in the attachments folder.");
    many.lost.resize(20);
    QVERIFY(many.Message().find(shown + ".  They") != std::string::npos);
    // Told once; the twins' files stay in the folder.
    AttachmentStore again;
    QVERIFY(again.Attach(t).Empty());
    int stored = 0;
    for (const QString& name : FolderContents(QString::fromStdString(store.Folder())))
        stored += ValidStoredName(name.toStdString());
    QCOMPARE(stored, 5);
}

// Another program reorders the table while the window's store stays
// attached: its next look relinks the attachments and writes the list with
// the records they stand at now.
void AttachmentStoreTest::aStoreLeftAttachedRelinksOnRefreshAndWritesTheList() {
    QTemporaryDir dir;
    store::Table t;
    const std::string path = MakeItemTable(t, dir.path(), {{"Sofa", "Acme"}, {"Lamp", "Lumo"}, {"Rug"}});
    AttachmentStore store;
    store.Attach(t);
    const char* names[] = {"sofa", "lamp", "rug"};
    for (uint32_t r = 0; r < 3; ++r) store.Add(r, {Photo(WriteFile(dir.filePath(QString("%1.jpg").arg(r)), names[r]))});
    QProcess p;
    p.start("/usr/bin/python3", {AttachmentScript("reorder_dbf.py"), QString::fromStdString(path), "2,0,1"});
    QVERIFY(p.waitForFinished(60000));
    QVERIFY2(p.readAllStandardError().isEmpty(), "the table was not reordered");
    t.Refresh();
    QVERIFY(store.Refresh().Empty());
    QCOMPARE(ContentsOf(store, 0), std::vector<QByteArray>{"rug"});
    QCOMPARE(ContentsOf(store, 2), std::vector<QByteArray>{"lamp"});
    const ManifestReading written = ReadManifest(ReadFile(QString::fromStdString(store.Folder()) + "/manifest.txt").toStdString());
    std::vector<std::pair<uint32_t, std::string>> records;
    for (const ItemEntry& item : written.manifest.items) records.emplace_back(item.record.value_or(99), item.label);
    std::sort(records.begin(), records.end());
    QCOMPARE(records, (std::vector<std::pair<uint32_t, std::string>>{{0, "Rug"}, {1, "Sofa"}, {2, "Lamp"}}));

    // Reordered again and packed before anything looked: the pack relinks
    // first, so each item keeps its own photo and only the rug's goes.
    p.start("/usr/bin/python3", {AttachmentScript("reorder_dbf.py"), QString::fromStdString(path), "1,2,0"});
    QVERIFY(p.waitForFinished(60000));
    QVERIFY2(p.readAllStandardError().isEmpty(), "the table was not reordered");
    t.Close();
    t.SetExclusive(true);
    t.Open();
    t.GoTo(RecordsByItem(t).at("Rug"));
    t.Delete();
    PackTable(t, &store);
    const std::map<std::string, uint32_t> packed = RecordsByItem(t);
    QCOMPARE(packed.size(), size_t(2));
    QCOMPARE(ContentsOf(store, packed.at("Sofa")), std::vector<QByteArray>{"sofa"});
    QCOMPARE(ContentsOf(store, packed.at("Lamp")), std::vector<QByteArray>{"lamp"});
}

void AttachmentStoreTest::editedIdentifyingFieldsKeepTheLink() {
    QTemporaryDir dir;
    store::Table t;
    MakeItemTable(t, dir.path(), {{"Sofa", "Acme"}, {"Lamp"}, {"Rug"}});
    AttachmentStore store;
    store.Attach(t);
    store.Add(0, {Photo(WriteFile(dir.filePath("s.jpg"), "sofa"))});
    store.Add(1, {Photo(WriteFile(dir.filePath("l.jpg"), "lamp"))});
    // An edit through the table (the editor, the grid, search and replace).
    t.GoTo(0);
    t.Edit();
    t.SetText("Brand", "Acme Corp");
    t.Post();
    AttachmentStore fresh;
    QVERIFY(fresh.Attach(t).Empty());
    QCOMPARE(ContentsOf(fresh, 0), std::vector<QByteArray>{"sofa"});
    QCOMPARE(fresh.Current().items.front().label, std::string("Sofa"));
    // Edits that were never written (a crash, a refused value): the
    // manifest names a fingerprint the record never took.
    const FingerprintFields fields(t.Layout());
    Manifest m = fresh.Current();
    m.items[0].nextFingerprint = 42;
    const Fingerprint rug = fields.Of(t.ViewOf(2));
    m.items[1].nextFingerprint = rug;  // even one another record has
    WriteFile(QString::fromStdString(fresh.Folder()) + "/manifest.txt", QByteArray::fromStdString(WriteManifest(m)));
    AttachmentStore afterCrash;
    const LinkReport report = afterCrash.Attach(t);
    QVERIFY2(report.Empty(), report.Message().c_str());
    QCOMPARE(ContentsOf(afterCrash, 0), std::vector<QByteArray>{"sofa"});
    QCOMPARE(ContentsOf(afterCrash, 1), std::vector<QByteArray>{"lamp"});
    QVERIFY(!afterCrash.Current().items[0].nextFingerprint);
}

void AttachmentStoreTest::folderThatCannotBeWrittenRefusesAddAndChangesNothing() {
    QTemporaryDir dir;
    QVERIFY(::chmod(dir.path().toLocal8Bit().constData(), 0755) == 0);
    store::Table t;
    const std::string path = MakeItemTable(t, dir.path(), {{"Sofa"}, {"Lamp"}});
    t.Close();
    const QString photo = WriteFile(dir.filePath("p.jpg"), "photo");
    ::chmod(photo.toLocal8Bit().constData(), 0644);
    // No folder yet, and a parent the user may not write.
    QVERIFY(::chmod(path.c_str(), 0666) == 0);
    const std::string noFolder = RunInChild(
        [&] {
            store::Table table;
            store::PointAt(table, path);
            table.Open();
            AttachmentStore store;
            store.Attach(table);
            try {
                store.Add(0, {Photo(photo)});
            } catch (const AttachmentError& e) {
                return std::string(e.what());
            }
            return std::string("added");
        },
        {.unprivileged = true});
    QVERIFY2(QString::fromStdString(noFolder).contains("Cannot make the folder"), noFolder.c_str());
    QVERIFY(!QDir(dir.filePath("MASTER.files")).exists());
    // A folder that exists but is read-only: nothing added, nothing left.
    t.Open();
    AttachmentStore store;
    store.Attach(t);
    store.Add(1, {Photo(WriteFile(dir.filePath("q.jpg"), "first"))});
    const QString folder = QString::fromStdString(store.Folder());
    const QStringList before = FolderContents(folder);
    const QByteArray manifest = ReadFile(folder + "/manifest.txt");
    t.Close();
    QVERIFY(::chmod(folder.toLocal8Bit().constData(), 0555) == 0);
    const std::string readOnly = RunInChild(
        [&] {
            store::Table table;
            store::PointAt(table, path);
            table.Open();
            AttachmentStore s;
            s.Attach(table);
            try {
                s.Add(0, {Photo(photo)});
            } catch (const AttachmentError& e) {
                return std::string(e.what()) + (s.CountOf(0) == 0 ? "" : " but counted");
            }
            return std::string("added");
        },
        {.unprivileged = true});
    ::chmod(folder.toLocal8Bit().constData(), 0755);
    QVERIFY2(QString::fromStdString(readOnly).contains("Permission denied") && !readOnly.ends_with("counted"),
             readOnly.c_str());
    QCOMPARE(FolderContents(folder), before);
    QCOMPARE(ReadFile(folder + "/manifest.txt"), manifest);
}

void AttachmentStoreTest::secondCopysChangesAreSeen() {
    QTemporaryDir dir;
    store::Table mine, theirs;
    const std::string path = MakeItemTable(mine, dir.path(), {{"Sofa"}, {"Lamp"}});
    store::PointAt(theirs, path);
    theirs.Open();
    AttachmentStore a, b;
    a.Attach(mine);
    b.Attach(theirs);
    a.Add(0, {Photo(WriteFile(dir.filePath("1.jpg"), "one"))});
    // The other copy's change is read before its own is made: neither is lost.
    b.Add(0, {Photo(WriteFile(dir.filePath("2.jpg"), "two"))});
    QCOMPARE(ContentsOf(b, 0), (std::vector<QByteArray>{"one", "two"}));
    QVERIFY(a.Refresh().Empty());
    QCOMPARE(ContentsOf(a, 0), (std::vector<QByteArray>{"one", "two"}));
}


// Three items with a photo each; the list then damaged as the user found
// it: overwritten with garbage, or cut short after the first item.
void AttachmentStoreTest::packAfterADamagedListKeepsFilesNoItemNames_data() {
    QTest::addColumn<QString>("damage");
    QTest::addColumn<int>("named");  // items the damaged list still names
    QTest::newRow("garbage") << "garbage" << 0;
    QTest::newRow("cut short") << "cut" << 1;
}

void AttachmentStoreTest::packAfterADamagedListKeepsFilesNoItemNames() {
    QFETCH(QString, damage);
    QFETCH(int, named);
    QTemporaryDir dir;
    store::Table t;
    MakeItemTable(t, dir.path(), {{"Sofa"}, {"Lamp"}, {"Clock"}});
    {
        AttachmentStore store;
        store.Attach(t);
        for (uint32_t r = 0; r < 3; ++r)
            store.Add(r, {Photo(WriteFile(dir.filePath(QString("%1.jpg").arg(r)), "photo " + QByteArray::number(r)))});
    }
    const QString list = dir.filePath("MASTER.files/manifest.txt");
    const QByteArray whole = ReadFile(list);
    if (damage == "garbage") WriteFile(list, QByteArray(300, '\x7f') + "\n\x01\x02");
    else WriteFile(list, whole.left(whole.indexOf("\nitem", whole.indexOf("\nfile") + 1) + 1));
    AttachmentStore store;
    QVERIFY(!store.Attach(t).problems.empty());  // told, and written again without the bad lines
    QCOMPARE(store.Current().items.size(), size_t(named));
    const AttachmentStore::PackPreview preview = store.PreviewPack();
    QCOMPARE(preview.filesOfDeleted, size_t(0));
    QCOMPARE(preview.unreferenced, size_t(3 - named));
    std::vector<std::string> unnamed;
    for (int r = named; r < 3; ++r)
        unnamed.push_back(
            QCryptographicHash::hash("photo " + QByteArray::number(r), QCryptographicHash::Sha256).toHex().toStdString() + ".jpg");
    std::sort(unnamed.begin(), unnamed.end());
    QCOMPARE(store.Unreferenced(), unnamed);  // by name, as the folder's listing is not
    // A pack with nothing deleted keeps every photo unless told otherwise.
    t.Close();
    t.SetExclusive(true);
    t.Open();
    PackTable(t, &store);
    const QString folder = dir.filePath("MASTER.files");
    auto photos = [&] {
        int n = 0;
        for (const QString& name : FolderContents(folder)) n += ValidStoredName(name.toStdString());
        return n;
    };
    QCOMPARE(photos(), 3);
    // Deleting the one named item: its photo is counted and goes with it.
    if (named == 1) {
        t.GoTo(0);
        t.Delete();
        QCOMPARE(store.PreviewPack().filesOfDeleted, size_t(1));
        PackTable(t, &store);
        QCOMPARE(photos(), 2);
    }
    // Told to, the pack removes the files no item names.
    PackTable(t, &store, true);
    QCOMPARE(photos(), 0);
}

// export, report and check read the list and must leave it as it is, even
// a damaged one (export used to write it again without its bad lines).
void AttachmentStoreTest::readingNeverWritesTheList() {
    QTemporaryDir dir;
    store::Table t;
    MakeItemTable(t, dir.path(), {{"Sofa"}, {"Lamp"}});
    {
        AttachmentStore store;
        store.Attach(t);
        store.Add(1, {Photo(WriteFile(dir.filePath("lamp.jpg"), "lamp"))});
    }
    const QString folder = dir.filePath("MASTER.files");
    const QByteArray damaged = ReadFile(folder + "/manifest.txt") + "file\tnonsense\n";
    WriteFile(folder + "/manifest.txt", damaged);
    const QStringList before = FolderContents(folder);
    AttachmentStore reader;
    const LinkReport report = reader.Attach(t, true);
    QVERIFY(!report.problems.empty());
    QCOMPARE(ContentsOf(reader, 1), std::vector<QByteArray>{"lamp"});
    QVERIFY_THROWS_EXCEPTION(AttachmentError, reader.Add(0, {Photo(dir.filePath("lamp.jpg"))}));
    QCOMPARE(ReadFile(folder + "/manifest.txt"), damaged);
    QCOMPARE(FolderContents(folder), before);
}

void AttachmentStoreTest::recoverGivesFilesOfKeptListsBackToTheirItems() {
    QTemporaryDir dir;
    store::Table t;
    MakeItemTable(t, dir.path(), {{"Sofa", "Acme"}, {"Lamp"}, {"Clock"}});
    {
        AttachmentStore store;
        store.Attach(t);
        store.Add(0, {Photo(WriteFile(dir.filePath("sofa.jpg"), "sofa"))});
        store.Add(1, {Photo(WriteFile(dir.filePath("lamp.jpg"), "lamp"))});
    }
    const QString folder = dir.filePath("MASTER.files");
    // A restore kept the lamp's photo aside with the list it came from;
    // a damaged list was kept too, naming the sofa.
    const QString aside = folder + "/replaced-2026-12-09";
    QVERIFY(QDir().mkdir(aside));
    const QByteArray list = ReadFile(folder + "/manifest.txt");
    WriteFile(aside + "/manifest.txt", list);
    WriteFile(folder + "/manifest.bad", list);
    std::string lampStored;
    {
        AttachmentStore store;
        store.Attach(t);
        lampStored = store.Of(1)[0].stored;
        QVERIFY(QFile::rename(folder + "/" + QString::fromStdString(lampStored), aside + "/" + QString::fromStdString(lampStored)));
        store.Remove(0, 0);  // the sofa's photo file goes too: nothing to give back
        store.Remove(1, 0);
    }
    // The clock is in no list.
    AttachmentStore store;
    store.Attach(t);
    const AttachmentStore::Recovery r = store.RecoverAttachments();
    QCOMPARE(r.items, size_t(1));
    QCOMPARE(r.files, size_t(1));
    QCOMPARE(r.unmatched, size_t(0));
    QCOMPARE(r.unreferenced, size_t(0));
    QCOMPARE(ContentsOf(store, 1), std::vector<QByteArray>{"lamp"});
    QCOMPARE(store.CountOf(0), size_t(0));
    QCOMPARE(ReadFile(aside + "/" + QString::fromStdString(lampStored)), QByteArray("lamp"));
    // Twice is once.
    QCOMPARE(store.RecoverAttachments().files, size_t(0));
    QCOMPARE(store.CountOf(1), size_t(1));
}

// Lists keep fingerprints for good: the same identifying fields must give
// the same number in every version (values worked out by hand from the
// FNV-1a rule over Item, Brand, Model, Serial and PurchDate, blanks cut).
void AttachmentStoreTest::fingerprintsStayWhatStoredListsHold() {
    QTemporaryDir dir;
    store::Table t;
    MakeItemTable(t, dir.path(), {{"Lamp", "Acme", "", "S-1"}, {"Sofa", "Acme", "", "S-1"}, {"Lamp", "Acme", "", "S-1"}});
    t.GoTo(2);
    t.Edit();
    t.SetDate(t.FieldIndex("PurchDate"), store::Date{2024, 2, 29});
    t.Post();
    const FingerprintFields fields(t.Layout());
    QCOMPARE(fields.Of(t.ViewOf(0)), Fingerprint(0xa79a242310c23a61ull));
    QCOMPARE(fields.Of(t.ViewOf(1)), Fingerprint(0x366a3e3b6dc0b050ull));
    QCOMPARE(fields.Of(t.ViewOf(2)), Fingerprint(0x9a0c15c9152e2484ull));
    QCOMPARE(fields.Label(t.ViewOf(1)), std::string("Sofa"));
    // Another program's table with the item's name in its second field: a
    // field that identifies nothing changes no fingerprint.
    store::Table other;
    other.SetDirectory(dir.path().toStdString());
    other.SetTableName("OTHER.DBF");
    other.Create({store::FieldDef::String("Colour", 10), store::FieldDef::String("Item", 40)});
    other.Open();
    for (const char* colour : {"red", "blue"}) {
        other.Append();
        other.SetText("Colour", colour);
        other.SetText("Item", "Lamp");
        other.Post();
    }
    const FingerprintFields otherFields(other.Layout());
    QCOMPARE(otherFields.Of(other.ViewOf(0)), otherFields.Of(other.ViewOf(1)));
    QCOMPARE(otherFields.Label(other.ViewOf(0)), std::string("Lamp"));
}

// The size limit is looked at before a byte is read (the pages are never
// touched: an unreadable mapping would fail the test).
void AttachmentStoreTest::listLargerThanAnyIsRefusedUnread() {
    const size_t size = kMaxManifestBytes + 1;
    void* pages = ::mmap(nullptr, size, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    QVERIFY(pages != MAP_FAILED);
    const ManifestReading r = ReadManifest(std::string_view(static_cast<const char*>(pages), size));
    ::munmap(pages, size);
    QVERIFY(r.damaged);
    QCOMPARE(r.problems, std::vector<std::string>{"The list of attachments is larger than 512 MB and was not read."});
    // One byte less is read (and found to be no list).
    void* zeros = ::mmap(nullptr, size - 1, PROT_READ, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    QVERIFY(zeros != MAP_FAILED);
    const ManifestReading read = ReadManifest(std::string_view(static_cast<const char*>(zeros), size - 1));
    ::munmap(zeros, size - 1);
    QVERIFY(read.damaged);
    QVERIFY(!read.problems.empty());
    QVERIFY(read.problems.front().find("larger than") == std::string::npos);
}

void AttachmentStoreTest::captionsAndListsThatCannotBeReadAreTold() {
    QTemporaryDir dir;
    store::Table t;
    MakeItemTable(t, dir.path(), {{"Sofa"}});
    AttachmentStore store;
    store.Attach(t);
    store.Add(0, {Photo(WriteFile(dir.filePath("s.jpg"), "sofa"))});
    store.SetCaption(0, 0, std::string(kMaxTextBytes, 'c'));
    QCOMPARE(store.Of(0).front().caption, std::string(kMaxTextBytes, 'c'));
    try {
        store.SetCaption(0, 0, std::string(kMaxTextBytes + 1, 'c'));
        QFAIL("a caption over the limit was taken");
    } catch (const AttachmentError& e) {
        QCOMPARE(std::string(e.what()), std::string("The caption is too long."));
    }
    QCOMPARE(store.Of(0).front().caption, std::string(kMaxTextBytes, 'c'));
    const QStringList stored = FolderContents(QString::fromStdString(store.Folder()));
    try {
        store.Add(0, {Photo(WriteFile(dir.filePath("l.jpg"), "lamp"), std::string(kMaxTextBytes + 1, 'c'))});
        QFAIL("a new file's caption over the limit was taken");
    } catch (const AttachmentError& e) {
        QCOMPARE(std::string(e.what()), std::string("The caption is too long."));
    }
    QCOMPARE(store.CountOf(0), size_t(1));
    QCOMPARE(FolderContents(QString::fromStdString(store.Folder())), stored);
    const QString list = QString::fromStdString(store.Folder()) + "/manifest.txt";
    store.Detach();

    // A list that is a link is never followed: told, and nothing trusted.
    QVERIFY(QFile::rename(list, dir.filePath("outside.txt")));
    QVERIFY(QFile::link(dir.filePath("outside.txt"), list));
    AttachmentStore again;
    const LinkReport report = again.Attach(t, true);
    QCOMPARE(report.problems,
             std::vector<std::string>{"\"" + list.toStdString() + "\" is a link, which the attachments folder does not follow."});
    QCOMPARE(again.CountOf(0), size_t(0));
}

// A pack killed after its list of the packed table was written and the
// packed table took the old one's place: the next open takes that list; a
// list whose count is not the table's is left.
void AttachmentStoreTest::packInterruptedAfterItsListIsFinishedByTheNextOpen() {
    enum Case { Finished, OtherCount, OtherItems };
    for (const Case c : {Finished, OtherCount, OtherItems}) {
        const bool countMatches = c != OtherCount;
        QTemporaryDir dir;
        store::Table t;
        MakeItemTable(t, dir.path(), {{"Sofa"}, {"Lamp"}});
        AttachmentStore store;
        store.Attach(t);
        store.Add(0, {Photo(WriteFile(dir.filePath("s.jpg"), "sofa"))});
        store.Add(1, {Photo(WriteFile(dir.filePath("l.jpg"), "lamp"))});
        Manifest packed = store.Current();
        packed.items[0].files[0].caption = "as the pack left it";
        packed.packedCount = countMatches ? 2 : 3;
        // Items on each other's records: the list is not the packed table's.
        if (c == OtherItems) std::swap(packed.items[0].record, packed.items[1].record);
        const QString folder = QString::fromStdString(store.Folder());
        store.Detach();
        WriteFile(folder + "/" + kPackedManifestName, QByteArray::fromStdString(WriteManifest(packed)));
        AttachmentStore reopened;
        reopened.Attach(t);
        QCOMPARE(reopened.Of(0).front().caption, std::string(c == Finished ? "as the pack left it" : ""));
        QCOMPARE(ContentsOf(reopened, 0), std::vector<QByteArray>{"sofa"});
        QCOMPARE(ContentsOf(reopened, 1), std::vector<QByteArray>{"lamp"});
        // The pack's line, left in the list that took the old one's place,
        // tells nothing any more.
        QVERIFY(!reopened.Current().packedCount);
        QVERIFY(!QFile::exists(folder + "/" + kPackedManifestName));
    }
}

// The check changes nothing and tells each fault in its own words; a file
// removed with its last item takes its thumbnails along.
void AttachmentStoreTest::checkTellsEveryKindOfFault() {
    QTemporaryDir dir;
    store::Table t;
    MakeItemTable(t, dir.path(), {{"Sofa"}, {"Lamp"}});
    AttachmentStore store;
    store.Attach(t);
    store.Add(0, {Photo(WriteFile(dir.filePath("s.jpg"), "sofa"))});
    store.Add(1, {Photo(WriteFile(dir.filePath("l.jpg"), "lamp"))});
    const QString folder = QString::fromStdString(store.Folder());
    const std::string sofa = store.Of(0).front().stored, lamp = store.Of(1).front().stored;
    QCOMPARE(CheckAttachments(t).problems, std::vector<std::string>{});
    QCOMPARE(CheckAttachments(t).files, size_t(2));

    const QString thumbs = folder + "/" + kThumbnailFolder;
    QVERIFY(QDir(folder).mkdir(kThumbnailFolder));
    const QString lampThumb = thumbs + "/" + QString::fromStdString(lamp.substr(0, 64)) + "-128.png";
    const QString sofaThumb = thumbs + "/" + QString::fromStdString(sofa.substr(0, 64)) + "-128.png";
    WriteFile(lampThumb, "thumb");
    WriteFile(sofaThumb, "thumb");
    store.Remove(1, 0);
    QVERIFY(!QFile::exists(lampThumb));
    QVERIFY(QFile::exists(sofaThumb));

    WriteFile(folder + "/" + QString::fromStdString(sofa), "not the sofa");
    WriteFile(folder + "/" + QString(64, 'd'), "nobody's");
    const QByteArray before = ReadFile(folder + "/manifest.txt");
    QCOMPARE(CheckAttachments(t).problems,
             (std::vector<std::string>{
                 "The file \"s.jpg\" of \"Sofa\" (" + sofa + ") no longer holds what was added: it was changed or damaged.",
                 "The file \"" + std::string(64, 'd') + "\" in the attachments folder belongs to no item; Tools > Recover "
                 "Attachments gives files back to the items it can find, and a pack asks before it removes such files."}));
    QCOMPARE(ReadFile(folder + "/manifest.txt"), before);
    store.Detach();

    QVERIFY(QFile::remove(folder + "/manifest.txt"));
    QCOMPARE(CheckAttachments(t).problems.front(),
             "The attachments folder \"" + folder.toStdString() + "\" has no list of attachments.");
    // A list that cannot be read is told with the reason.
    QVERIFY(QDir(folder).mkdir("manifest.txt"));
    QCOMPARE(CheckAttachments(t).problems.front(), "\"" + folder.toStdString() + "/manifest.txt\" is not a file.");
}

void AttachmentStoreTest::storedNamesAndExtensions() {
    const std::string hash(64, 'e');
    QVERIFY(ValidStoredName(hash));
    QVERIFY(ValidStoredName(hash + ".jpg"));
    QVERIFY(ValidStoredName(hash + "." + std::string(10, 'x')));  // the longest extension
    QVERIFY(!ValidStoredName(hash + "." + std::string(11, 'x')));
    QVERIFY(!ValidStoredName(hash + "."));
    QVERIFY(!ValidStoredName(hash + ".JPG"));
    QVERIFY(!ValidStoredName(hash.substr(1)));
    QVERIFY(!ValidStoredName(hash.substr(1) + "E"));
    QVERIFY(!ValidStoredName(hash.substr(1) + "F"));
    QCOMPARE(StoredExtension("IMG 1.JPG"), std::string("jpg"));
    QCOMPARE(StoredExtension("/home/a.b/scan"), std::string());
    QCOMPARE(StoredExtension(".hidden"), std::string());
    QCOMPARE(StoredExtension("/home/user/.hidden"), std::string());
    QCOMPARE(StoredExtension("x.abcdefghij"), std::string("abcdefghij"));
    QCOMPARE(StoredExtension("x.abcdefghijk"), std::string());
    QCOMPARE(StoredExtension("x.tar-gz"), std::string());
    QCOMPARE(StoredExtension("x."), std::string());
    QCOMPARE(StoredExtension("scan.09Z"), std::string("09z"));
    QVERIFY(ValidStoredName(hash + ".09z"));
}

// A table that never had attachments packs as any other, and no folder is
// made for it; once the table is closed, the attachments are refused.
void AttachmentStoreTest::tableWithoutAttachmentsPacksAndNeedsOpening() {
    QTemporaryDir dir;
    store::Table t;
    MakeItemTable(t, dir.path(), {{"Sofa"}, {"Lamp"}});
    AttachmentStore store;
    QVERIFY(store.Attach(t).Empty());
    t.GoTo(0);
    t.Delete();
    t.Close();
    t.SetExclusive(true);
    t.Open();
    PackTable(t, &store);
    QCOMPARE(t.PhysicalCount(), 1u);
    QVERIFY(!QFileInfo::exists(dir.filePath("MASTER.files")));
    t.Close();
    try {
        store.Add(0, {Photo(WriteFile(dir.filePath("s.jpg"), "sofa"))});
        QFAIL("a closed table's item took a file");
    } catch (const AttachmentError& e) {
        QCOMPARE(std::string(e.what()), std::string("No item table is open."));
    }
}

QTEST_GUILESS_MAIN(AttachmentStoreTest)
#include "AttachmentStoreTest.moc"
