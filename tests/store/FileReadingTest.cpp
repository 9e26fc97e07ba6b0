// Tables written by other programs, and damaged files: each either reads
// with its values or is refused with a clear message, never a crash.

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QTemporaryDir>
#include <QTest>

#include "CodePage.h"
#include "DbfFile.h"
#include "StoreTestSupport.h"

using namespace store;
using namespace testsupport;

namespace {

void OpenFile(Table& t, const QString& path) {
    const QFileInfo info(path);
    t.SetDirectory(info.absolutePath().toStdString());
    t.SetTableName(info.fileName().toStdString());
    t.SetReadOnly(true);
    t.Open();
}

// Every field of every delivered record as text, in the engine's forms.
std::vector<std::vector<std::string>> AllText(Table& t) {
    std::vector<std::vector<std::string>> rows;
    for (t.First(); !t.Eof(); t.Next()) {
        std::vector<std::string> row;
        for (int i = 0; i < t.FieldCount(); ++i) row.push_back(t.GetText(i));
        rows.push_back(row);
    }
    return rows;
}

QByteArray ValidTable(QTemporaryDir& dir) {
    Table t;
    CreateItemTable(t, dir.path());
    AppendItem(t, "Lamp", "Light", "12.5");
    AppendItem(t, "Desk", "Office", "99");
    t.Close();
    QFile f(dir.filePath("MASTER.DBF"));
    f.open(QIODevice::ReadOnly);
    return f.readAll();
}

void Poke16(QByteArray& b, int at, int v) {
    b[at] = char(v & 0xFF);
    b[at + 1] = char((v >> 8) & 0xFF);
}

}  // namespace

class FileReadingTest : public QObject {
    Q_OBJECT

private slots:
    void init() { SetCurrentDateFormat(DateFormat::FromPattern("m/d/yyyy", '/')); }

    void tablesOtherProgramsWroteAreRead_data() {
        QTest::addColumn<QString>("file");
        QTest::addColumn<int>("fields");
        QTest::addColumn<int>("records");
        QTest::addColumn<int>("field");
        QTest::addColumn<QString>("firstValue");
        QTest::newRow("dBASE III, no code page") << "dbase_03.dbf" << 31 << 14 << 0 << "0507121";
        QTest::newRow("deleted record not delivered") << "people.dbf" << 2 << 2 << 0 << "Alice";
        QTest::newRow("shapefile attributes") << "mexico_cities.dbf" << 0 << 0 << 0 << "Monterrey";
        QTest::newRow("descriptors ended by line feed") << "3dpoints.dbf" << 0 << 0 << 0 << "";
        QTest::newRow("code page 437, F fields") << "pline.dbf" << 0 << 460 << 0 << "";
        QTest::newRow("FoxPro, Cyrillic code page") << "cp1251.dbf" << 2 << 4 << 1 << "";
        QTest::newRow("FoxPro with memo, memo file absent") << "dbase_30.dbf" << 0 << 34 << 0 << "";
        QTest::newRow("FoxPro binary integer") << "foxprodb_types.dbf" << 2 << 2 << 0 << "";
        QTest::newRow("dBASE III memo, memo file absent") << "dbase_83_missing_memo.dbf" << 0 << 0 << 0 << "";
        QTest::newRow("dBASE IV, all kinds") << "dbase_8b.dbf" << 6 << 10 << 0 << "One";
        QTest::newRow("no records") << "mazovia.dbf" << 2 << 0 << 0 << "";
        QTest::newRow("UTF-8 bytes without code page") << "dbase_03_cyrillic.dbf" << 0 << 0 << 0 << "";
    }
    void tablesOtherProgramsWroteAreRead() {
        QFETCH(QString, file);
        QFETCH(int, fields);
        QFETCH(int, records);
        QFETCH(int, field);
        QFETCH(QString, firstValue);
        const QString path = FixturePath(file.toLatin1().constData());
        const QJsonObject ref = ReadWithDbfread(path, file == "dbase_03_cyrillic.dbf" ? "latin-1" : QString());
        Table t;
        OpenFile(t, path);
        const QJsonArray refFields = ref["fields"].toArray();
        QCOMPARE(t.FieldCount(), refFields.size());
        // Its UTF-8 bytes are decoded as the default code page: only the shape must agree.
        const bool compareText = file != "dbase_03_cyrillic.dbf";
        if (fields) QCOMPARE(t.FieldCount(), fields);
        for (int i = 0; i < t.FieldCount() && compareText; ++i)
            QCOMPARE(QString::fromStdString(t.Field(i).name), refFields[i].toArray()[0].toString());
        const auto rows = AllText(t);
        const QJsonArray refRows = ref["records"].toArray();
        QCOMPARE(int(rows.size()), refRows.size());
        if (records || file == "mazovia.dbf") QCOMPARE(int(rows.size()), records);
        if (!firstValue.isEmpty()) QCOMPARE(QString::fromStdString(rows[0][size_t(field)]), firstValue);
        // Text fields agree with the independent reader everywhere.
        for (size_t r = 0; r < rows.size() && compareText; ++r) {
            for (int i = 0; i < t.FieldCount(); ++i) {
                if (t.Field(i).Kind() != FieldKind::String) continue;
                QString expected = refRows[int(r)].toArray()[i].toString();
                while (expected.endsWith(' ')) expected.chop(1);
                QCOMPARE(QString::fromStdString(rows[r][size_t(i)]), expected);
            }
        }
    }

    void numbersAndDatesAgreeWithIndependentReader() {
        const QString path = FixturePath("dbase_8b.dbf");
        const QJsonObject ref = ReadWithDbfread(path);
        Table t;
        OpenFile(t, path);
        const auto rows = AllText(t);
        const QJsonArray refRows = ref["records"].toArray();
        for (size_t r = 0; r < rows.size(); ++r) {
            const QJsonArray rr = refRows[int(r)].toArray();
            if (!rr[1].toString().isEmpty()) QCOMPARE(std::stod(rows[r][1]), rr[1].toString().toDouble());
            if (!rr[4].toString().isEmpty()) QCOMPARE(std::stod(rows[r][4]), rr[4].toString().toDouble());
        }
        t.First();
        QCOMPARE(t.GetDate(2), std::optional<Date>(Date{1970, 1, 1}));
        QCOMPARE(t.GetText(3), std::string("T"));
    }

    // Binary fields of a table another program wrote take the values set
    // as that program's readers see them, every byte of each; the header
    // carries the day of the last append.
    void binaryFieldsAndTheHeaderDateAsOtherReadersSeeThem() {
        QTemporaryDir dir;
        const QString path = dir.filePath("VFP.DBF");
        RunPython("write_vfp.py", {path});
        {
            QFile f(path);
            QVERIFY(f.open(QIODevice::ReadWrite));
            f.seek(1);
            f.write(QByteArray("\x63\x01\x01", 3));  // 1999-01-01
        }
        Table t;
        t.SetDirectory(dir.path().toStdString());
        t.SetTableName("VFP.DBF");
        t.Open();
        t.Append();
        t.SetText("NAME", "second");
        t.SetNumber(t.NeedField("PRICE"), -123456789.0123);
        t.SetNumber(t.NeedField("RATE"), 1.0 / 3.0);
        t.SetText("QTY", " -2147483648 ");  // typed into a binary number: its value, the least it holds
        try {
            t.SetText("QTY", "many");
            QFAIL("a word was taken for a number");
        } catch (const EngineError& e) {
            QCOMPARE(std::string(e.what()), std::string("\"many\" is not a valid number for field QTY."));
        }
        for (const char* tooLarge : {"2147483648", "-2147483649"}) {
            try {
                t.SetText("QTY", tooLarge);
                QFAIL("a number past the field's range was taken");
            } catch (const EngineError& e) {
                QCOMPARE(std::string(e.what()),
                         "The number " + std::string(tooLarge) + " is too large for field QTY.");
            }
        }
        // A character the table's code page lacks is named in the refusal.
        try {
            t.SetText("NAME", "snow \xE2\x98\x83");
            QFAIL("a snowman was stored in a Windows-1252 table");
        } catch (const EngineError& e) {
            QCOMPARE(std::string(e.what()), std::string("The character \"\xE2\x98\x83\" in field NAME cannot be stored in "
                                                        "this table (code page 1252)."));
        }
        // Nor is U+0080, though 0x80 is a byte the code page has (for the euro).
        try {
            t.SetText("NAME", "\xC2\x80");
            QFAIL("U+0080 was stored as the euro sign's byte");
        } catch (const EngineError& e) {
            QCOMPARE(std::string(e.what()), std::string("The character \"\xC2\x80\" in field NAME cannot be stored in "
                                                        "this table (code page 1252)."));
        }
        t.SetText("SEEN", "2/29/2024");
        t.SetText("SEEN", " ");  // emptied again: no day, no time
        t.Post();
        // A date-time is blank while its day is zero, however its time reads.
        const int seen = t.NeedField("SEEN");
        QVERIFY(t.IsBlank(seen));
        t.First();
        QCOMPARE(t.GetText("RATE"), std::string("2.25"));  // the other program's double, as it wrote it
        QVERIFY(!t.IsBlank(seen));
        QVERIFY(!t.IsBlank(t.NeedField("QTY")));  // a binary number is never blank
        // Not even one whose four bytes read as blanks.
        t.Append();
        t.SetText("NAME", "third");
        t.SetNumber(t.NeedField("QTY"), 0x20202020);
        t.Post();
        QVERIFY(!t.IsBlank(t.NeedField("QTY")));
        QCOMPARE(t.GetText("QTY"), std::string("538976288"));
        t.Edit();
        t.SetNumber(t.NeedField("QTY"), 0x34333231);  // four bytes that read as "1234"
        t.Post();
        QCOMPARE(t.GetText("QTY"), std::string("875770417"));
        t.Close();
        const QJsonArray rows = ReadWithDbfread(path)["records"].toArray();
        QCOMPARE(rows.size(), 3);
        QCOMPARE(rows[0].toArray()[1].toString(), QString("1.5"));
        QCOMPARE(rows[1].toArray()[1].toString(), QString("-123456789.0123"));
        QCOMPARE(rows[1].toArray()[2].toString(), QString("0.3333333333333333"));
        QCOMPARE(rows[1].toArray()[3].toString(), QString("-2147483648"));
        QCOMPARE(rows[0].toArray()[4].toString(), QString("20240229"));
        QCOMPARE(rows[1].toArray()[4].toString(), QString());  // no date-time, not a day zero
        QFile f(path);
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QByteArray head = f.read(4);
        const QDate today = QDate::currentDate();
        QCOMPARE(int(uint8_t(head[1])), today.year() - 1900);
        QCOMPARE(int(uint8_t(head[2])), today.month());
        QCOMPARE(int(uint8_t(head[3])), today.day());
    }

    // The code page a language-driver byte names, against the independent
    // reader's table wherever both know the byte; the bytes this program
    // writes name the code page they were written for.
    void languageDriversAgreeWithAnIndependentReader() {
        const QJsonObject theirs = QJsonDocument::fromJson(RunPython("dbf_codepages.py", {})).object();
        QVERIFY(theirs.size() > 50);
        int compared = 0;
        for (int b = 1; b < 256; ++b) {
            const int ours = CodePage::FromLanguageDriver(uint8_t(b));
            const QString their = theirs.value(QString::number(b)).toString();
            if (ours == 0 || !their.startsWith("cp")) continue;
            QCOMPARE(QString("cp%1").arg(ours) + QString(" for %1").arg(b), their + QString(" for %1").arg(b));
            ++compared;
        }
        QCOMPARE(compared, 46);
        for (const int cp : {437, 850, 852, 866, 1250, 1251, 1252})
            QCOMPARE(CodePage::FromLanguageDriver(CodePage::LanguageDriverFor(cp)), cp);
    }

    // Every byte of every code page the engine knows reads as a character
    // that is written back as the same byte, up to the last byte, 0xFF.
    void everyByteOfEveryCodePageReadsBackAsWritten() {
        for (int number : {437, 850, 852, 865, 866, 1250, 1251, 1252}) {
            const CodePage page(number);
            QCOMPARE(page.Number(), number);
            for (int b = 0x80; b <= 0xFF; ++b) {
                const std::string byte(1, char(b));
                const std::string text = page.Decode(byte);
                const std::optional<std::string> back = page.Encode(text);
                QVERIFY2(back && *back == byte, qPrintable(QString("code page %1, byte %2").arg(number).arg(b, 0, 16)));
                // Anywhere in a longer text: first, last of the first eight,
                // first of the next eight, and after them.
                for (size_t at : {size_t(0), size_t(7), size_t(8), size_t(16)}) {
                    const std::string around(at, 'a'), after(16 - at, 'b');
                    QCOMPARE(page.Decode(around + byte + after), around + text + after);
                }
            }
        }
    }

    void cyrillicTextIsDecodedByItsCodePage() {
        Table t;
        OpenFile(t, FixturePath("cp1251.dbf"));
        const QJsonObject ref = ReadWithDbfread(FixturePath("cp1251.dbf"));
        QCOMPARE(ref["encoding"].toString(), QString("cp1251"));
        t.First();
        QString expected = ref["records"].toArray()[0].toArray()[1].toString().trimmed();
        QCOMPARE(QString::fromStdString(t.GetText(1)).trimmed(), expected);
        QVERIFY(!expected.isEmpty());
    }

    void dateThatIsNotADateIsAClearError() {
        Table t;
        OpenFile(t, FixturePath("invalid_value.dbf"));
        bool sawError = false;
        for (t.First(); !t.Eof(); t.Next()) {
            try {
                t.GetText(1);
            } catch (const EngineError& e) {
                sawError = true;
                QVERIFY2(QString(e.what()).contains("BIRTHDATE"), e.what());
            }
        }
        QVERIFY(sawError);
    }

    void otherLayoutsAreRefused_data() {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("mentions");
        QTest::newRow("dBASE II") << "dbase_02.dbf" << "dBASE II";
        QTest::newRow("dBASE 7") << "dbase_8c.dbf" << "dBASE 7";
        QTest::newRow("no fields") << "polygon.dbf" << "no fields";
    }
    void otherLayoutsAreRefused() {
        QFETCH(QString, file);
        QFETCH(QString, mentions);
        Table t;
        try {
            OpenFile(t, FixturePath(file.toLatin1().constData()));
            QFAIL("opened");
        } catch (const EngineError& e) {
            QVERIFY2(QString(e.what()).contains(mentions), e.what());
        }
    }

    void damagedFilesAreRefused_data() {
        QTest::addColumn<int>("damage");
        QTest::addColumn<QString>("mentions");
        QTest::newRow("cut inside the header") << 0 << "too short";
        QTest::newRow("header length beyond the file") << 1 << "header length";
        QTest::newRow("record length disagrees with fields") << 2 << "record length";
        QTest::newRow("file shorter than its record count") << 3 << "shorter";
        QTest::newRow("descriptors never terminated") << 4 << "not terminated";
        QTest::newRow("absurd record count") << 5 << "shorter";
        QTest::newRow("header length too small for its fields") << 6 << "not terminated";
        QTest::newRow("empty file") << 7 << "too short";
        QTest::newRow("one byte short of a header's start") << 8 << "too short";
        QTest::newRow("a header's start and nothing more") << 9 << "header length";
        // The last descriptor that fits is read, to its damage.
        QTest::newRow("last descriptor filling the header, of size 0") << 10 << "has a size of 0";
    }
    void damagedFilesAreRefused() {
        QFETCH(int, damage);
        QFETCH(QString, mentions);
        QTemporaryDir dir;
        QByteArray b = ValidTable(dir);
        const int headerLength = uint8_t(b[8]) | (uint8_t(b[9]) << 8);
        switch (damage) {
        case 0: b.truncate(20); break;
        case 1: Poke16(b, 8, 60000); break;
        case 2: Poke16(b, 10, 100); break;
        case 3: b.truncate(headerLength + 100); break;
        case 4: b[headerLength - 1] = 'X'; break;
        case 5: b[7] = char(0x7F); break;
        case 6: Poke16(b, 8, 32 + 32 * 5 + 1); break;
        case 7: b.clear(); break;
        case 8: b.truncate(31); break;
        case 9: b.truncate(32); break;
        case 10:
            Poke16(b, 8, 32 + 32 * 5);
            b[32 + 32 * 4 + 16] = 0;
            break;
        }
        const QString path = dir.filePath("BROKEN.DBF");
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(b);
        f.close();
        Table t;
        try {
            OpenFile(t, path);
            QFAIL("opened a damaged file");
        } catch (const EngineError& e) {
            QVERIFY2(QString(e.what()).contains(mentions), e.what());
        }
    }

    // FoxPro keeps a character field longer than 255 in its size and
    // decimals bytes together: 300, and 512 whose low byte is 0.
    void foxProLongCharacterFields() {
        QTemporaryDir dir;
        const int lengths[2] = {300, 512};
        const int recordLength = 1 + 300 + 512, headerLength = 32 + 64 + 1 + 263;
        QByteArray b(headerLength, '\0');
        b[0] = 0x30;
        b[4] = 1;
        b[8] = char(headerLength & 0xFF);
        b[9] = char(headerLength >> 8);
        b[10] = char(recordLength & 0xFF);
        b[11] = char(recordLength >> 8);
        for (int i = 0; i < 2; ++i) {
            char* d = b.data() + 32 + 32 * i;
            d[0] = char('A' + i);
            d[11] = 'C';
            d[16] = char(lengths[i] & 0xFF);
            d[17] = char(lengths[i] >> 8);
        }
        b[32 + 64] = 0x0D;
        QByteArray record(recordLength, ' ');
        record.replace(1, 4, "head");
        record.replace(1 + 300, 4, "next");
        record.replace(recordLength - 3, 3, "end");
        const QString path = dir.filePath("LONG.DBF");
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(b + record + QByteArray(1, 0x1A));
        f.close();
        Table t;
        OpenFile(t, path);
        QCOMPARE(t.Layout().Field(0).length, 300);
        QCOMPARE(t.Layout().Field(1).length, 512);
        QCOMPARE(t.Layout().Field(1).decimals, 0);
        t.First();
        QCOMPARE(t.GetText(0), std::string("head"));
        QCOMPARE(t.GetText(1), "next" + std::string(505, ' ') + "end");
    }

    // A field name is in the table's code page, named by byte 29 (0xC9:
    // Windows-1251), not in the program's.
    void fieldNamesInTheTablesCodePage() {
        QTemporaryDir dir;
        QByteArray b(32 + 32 + 1, '\0');
        b[0] = 0x03;
        b[8] = char(b.size());
        b[10] = 1 + 4;
        b[29] = char(0xC9);
        b.replace(32, 4, "\xC8\xCC\xDF\x31");  // "ИМЯ1"
        b[32 + 11] = 'C';
        b[32 + 16] = 4;
        b[32 + 32] = 0x0D;
        const QString path = dir.filePath("NAMES.DBF");
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(b + QByteArray(1, 0x1A));
        f.close();
        Table t;
        OpenFile(t, path);
        QCOMPARE(QString::fromStdString(t.Layout().Field(0).name), QString::fromUtf8("\u0418\u041C\u042F1"));
    }

    void malformedNumberIsAClearError() {
        QTemporaryDir dir;
        QByteArray b = ValidTable(dir);
        const int headerLength = uint8_t(b[8]) | (uint8_t(b[9]) << 8);
        // Cost (field 11) of the first record: offset of the field inside the record.
        const int costOffset = 1 + 40 + 20 + 20 + 20 + 30 + 110 + 40 + 60 + 11 + 8;
        b.replace(headerLength + costOffset, 20, QByteArray("12abc", 5).leftJustified(20, ' '));
        QFile f(dir.filePath("MASTER.DBF"));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(b);
        f.close();
        QFile::remove(dir.filePath("MASTER.MDX"));
        Table t;
        OpenFile(t, dir.filePath("MASTER.DBF"));
        t.First();
        try {
            t.GetText("Cost");
            QFAIL("garbage read as a number");
        } catch (const EngineError& e) {
            QVERIFY2(QString(e.what()).contains("Cost"), e.what());
        }
        QCOMPARE(t.ViewOf(t.RecNo()).DisplayText(t.FieldIndex("Cost")), std::string("12abc"));
    }

    void tableAnotherWriterMadeOpensWithItsValues() {
        QTemporaryDir dir;
        const QString path = dir.filePath("OTHER.DBF");
        RunPython("write_dbf.py", {path});
        QVERIFY(QFile::exists(path));
        Table t;
        OpenFile(t, path);
        const auto rows = AllText(t);
        QCOMPARE(rows.size(), size_t(2));
        QCOMPARE(rows[0], (std::vector<std::string>{"Camera", "2", "249.5", "3/7/1996", "T"}));
        QCOMPARE(rows[1], (std::vector<std::string>{"Caf\xc3\xa9 table", "1", "1234.25", "", "F"}));
    }
};

QTEST_GUILESS_MAIN(FileReadingTest)
#include "FileReadingTest.moc"
