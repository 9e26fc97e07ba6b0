// Creating item tables, telling item tables from other tables, the header
// repair for a lost index file, and the in-use test against another process.

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <sys/wait.h>
#include <unistd.h>

#include "ItemTable.h"
#include "FileBytes.h"
#include "StoreTestSupport.h"
#include "TableHolder.h"

using namespace store;
using namespace testsupport;

namespace {

using Holder = testsupport::TableHolder;

void WriteTable(const QString& path, std::vector<FieldDef> fields) {
    Table t;
    PointAt(t, path.toStdString());
    t.Create(fields);
}

uint8_t Byte28(const QString& path) {
    QFile f(path);
    f.open(QIODevice::ReadOnly);
    return uint8_t(f.readAll().at(28));
}

}  // namespace

class ItemTableTest : public QObject {
    Q_OBJECT

private slots:
    void init() { m_dir = std::make_unique<QTemporaryDir>(); }

    // A field is found by its name in any letter case; a name that is not
    // the schema's finds none.
    void fieldsAreFoundByNameInAnyCase() {
        for (const store::SchemaField& f : store::ItemSchema()) {
            const QString name = QString::fromLatin1(f.name.data(), qsizetype(f.name.size()));
            QCOMPARE(store::SchemaPosition(name.toLower().toStdString()), f.position);
            QCOMPARE(store::SchemaPosition(name.toUpper().toStdString()), f.position);
        }
        QCOMPARE(store::SchemaPosition("Costs"), 0);
        QCOMPARE(store::SchemaPosition("Cos"), 0);
        QCOMPARE(store::SchemaPosition(""), 0);
    }

    void checkAcceptsOnlyTheItemSchema_data() {
        QTest::addColumn<int>("variant");
        QTest::addColumn<bool>("accepted");
        QTest::newRow("schema as created") << 0 << true;
        QTest::newRow("same names in other letter case") << 1 << true;
        QTest::newRow("21 fields") << 2 << false;
        QTest::newRow("23 fields") << 3 << false;
        QTest::newRow("two names swapped") << 4 << false;
        QTest::newRow("other types, same names") << 5 << true;
    }
    void checkAcceptsOnlyTheItemSchema() {
        QFETCH(int, variant);
        QFETCH(bool, accepted);
        std::vector<FieldDef> fields = ItemTableFieldDefs();
        switch (variant) {
        case 1: for (auto& f : fields) for (char& c : f.name) c = char(std::tolower(c)); break;
        case 2: fields.pop_back(); break;
        case 3: fields.push_back(FieldDef::String("Extra", 5)); break;
        case 4: std::swap(fields[0], fields[1]); break;
        case 5: for (auto& f : fields) f = FieldDef::String(f.name, 10); break;
        }
        const QString path = m_dir->filePath("CHECK.DBF");
        WriteTable(path, fields);
        // The header announces an index file that is not there: only an
        // item table loses the announcement; another table is left alone.
        QByteArray bytes = testsupport::ReadAll(path);
        bytes[28] = 0x01;
        testsupport::WriteAll(path, bytes);
        Table check;
        std::string message;
        QCOMPARE(CheckDBaseFormat(check, path.toStdString(), &message), accepted);
        QCOMPARE(message.empty(), accepted);
        if (!accepted) QCOMPARE(message, std::string(kNotItemTableMessage));
        QVERIFY(!check.IsOpen());
        if (accepted) bytes[28] = 0;
        QCOMPARE(testsupport::ReadAll(path), bytes);
    }

    // A table made where one stood goes without the old one's index; an
    // index file another program wrote there is not ours to remove.
    void newTableLeavesNoOldIndexOfOurs() {
        const QString path = m_dir->filePath("MASTER.DBF"), index = m_dir->filePath("MASTER.MDX");
        Table t;
        CreateItemTable(t, m_dir->path());
        t.AddIndex("NewIndex", "Upper(Left(Category,20))");
        t.Close();
        QVERIFY(QFile::exists(index));
        WriteTable(path, ItemTableFieldDefs());
        QVERIFY(!QFile::exists(index));
        QFile foreign(index);
        QVERIFY(foreign.open(QIODevice::WriteOnly));
        foreign.write(QByteArray(512, '\x02'));
        foreign.close();
        WriteTable(path, ItemTableFieldDefs());
        QCOMPARE(QFileInfo(index).size(), 512);
    }

    void lostIndexFileIsForgottenByTheHeader() {
        const QString path = m_dir->filePath("MASTER.DBF");
        Table t, check;
        CreateItemTable(t, m_dir->path());
        t.AddIndex("NewIndex", "Upper(Left(Category,20))");
        t.Close();
        QCOMPARE(Byte28(path), uint8_t(1));
        // With the index file present the header is left alone.
        QVERIFY(CheckDBaseFormat(check, path.toStdString(), nullptr));
        QCOMPARE(Byte28(path), uint8_t(1));
        QVERIFY(QFile::remove(m_dir->filePath("MASTER.MDX")));
        QVERIFY(CheckDBaseFormat(check, path.toStdString(), nullptr));
        QCOMPARE(Byte28(path), uint8_t(0));
        t.Open();
        QVERIFY(t.IsOpen());
    }

    void nameWithSeveralDotsOpensItsOwnFile() {
        Table t;
        const QString dotted = m_dir->filePath("home.2024.items.dbf");
        QVERIFY(MakeNewDB(t, t, dotted.toStdString(), nullptr));
        // A file named by the cut name must not be the one opened.
        WriteTable(m_dir->filePath("home.DBF"), {FieldDef::String("Other", 5)});
        QCOMPARE(TableNameOf(dotted.toStdString()), std::string("home"));
        Table check;
        QVERIFY(CheckDBaseFormat(check, dotted.toStdString(), nullptr));
        PointAt(t, dotted.toStdString());
        t.Open();
        QCOMPARE(t.FieldCount(), 22);
    }

    void creationReplacesOnlyAFileNobodyHolds() {
        const std::string path = m_dir->filePath("MASTER.DBF").toStdString();
        Table create, check, items;
        QVERIFY(MakeNewDB(create, check, path, nullptr));
        PointAt(items, path);
        items.Open();
        AppendItem(items, "Clock");
        items.Close();
        {
            Holder other(path);
            std::string message;
            QVERIFY(DBaseInUse(check, path));
            QVERIFY(!MakeNewDB(create, check, path, &message));
            QCOMPARE(message, "The table \"" + path +
                                  "\" is currently in use by another program.  New table creation will be aborted.");
            // Created over it without asking first: refused all the same.
            try {
                WriteTable(QString::fromStdString(path), ItemTableFieldDefs());
                QFAIL("a table another program holds was replaced");
            } catch (const EngineError& e) {
                QCOMPARE(std::string(e.what()), "The table \"" + path + "\" is in use and cannot be replaced.");
            }
            items.Open();
            QCOMPARE(items.RecordCount(), 1u);
            items.Close();
        }
        QVERIFY(!DBaseInUse(check, path));
        QVERIFY(MakeNewDB(create, check, path, nullptr));
        items.Open();
        QCOMPARE(items.RecordCount(), 0u);
    }

    void missingFileIsAnEngineError() {
        Table check;
        const std::string path = m_dir->filePath("NONE.DBF").toStdString();
        try {
            CheckDBaseFormat(check, path, nullptr);
            QFAIL("a table that is not there was checked");
        } catch (const EngineError& e) {
            QCOMPARE(std::string(e.what()), "The table \"" + path + "\" does not exist.");
        }
        QVERIFY(DBaseInUse(check, m_dir->filePath("NONE.DBF").toStdString()));
    }

private:
    std::unique_ptr<QTemporaryDir> m_dir;
};

QTEST_GUILESS_MAIN(ItemTableTest)
#include "ItemTableTest.moc"
