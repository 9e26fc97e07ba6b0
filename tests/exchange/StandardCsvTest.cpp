// The reader of the comma-separated values other programs write: files
// python's csv module wrote (minimal quoting, semicolons with a byte-order
// mark, tabs with LF, Windows-1252), the rules of the format one by one, the
// separator and encoding guessed, damaged files refused with their line,
// the columns matched to item fields by their headers, and the values read
// in the forms spreadsheets give them. Runs under the sanitizers.

#include <QDir>
#include <QTemporaryDir>
#include <QtTest>

#include <algorithm>
#include <cstring>
#include <random>

#include "FileBytes.h"
#include "HeaderMapping.h"
#include "SheetValues.h"
#include "StandardCsv.h"

using exchange::CsvDialect;
using exchange::CsvEncoding;
using exchange::CsvReader;

namespace {

const QString kFixtures = QStringLiteral(HALVENOR_SOURCE_DIR "/tests/exchange/data/csv/");

// Every record as its values joined by "|", or "error: ..." where reading
// stopped.
QStringList Records(const QString& path, const CsvDialect& dialect) {
    CsvReader reader;
    std::string error;
    if (!reader.Open(path.toStdString(), dialect, &error)) return {"error: " + QString::fromStdString(error)};
    QStringList out;
    std::vector<std::string> values;
    for (;;) {
        const CsvReader::Status status = reader.Next(values);
        if (status == CsvReader::Status::EndOfFile) break;
        if (status == CsvReader::Status::Failed) {
            out << "error: " + QString::fromStdString(reader.Error());
            break;
        }
        QStringList joined;
        // Qt drops a byte-order mark that starts a text; one left in a value
        // must show.
        for (const std::string& v : values) joined << QString::fromStdString("|" + v).mid(1);
        out << joined.join('|');
    }
    return out;
}

// The rules once more, one character at a time over the whole content:
// each record as its line and values, "line 3: a|b".
QStringList ByTheRules(const QByteArray& s, char separator) {
    QStringList out;
    qsizetype i = 0, line = 1;
    const qsizetype n = s.size();
    auto lineEnd = [&] {
        i += s[i] == '\r' && i + 1 < n && s[i + 1] == '\n' ? 2 : 1;
        ++line;
    };
    while (i < n) {
        if (s[i] == '\r' || s[i] == '\n') {
            lineEnd();
            continue;
        }
        const qsizetype first = line;
        QStringList values;
        for (;;) {
            QByteArray value;
            if (i < n && s[i] == '"') {
                for (++i; i < n; ++i) {
                    if (s[i] == '"' && !(i + 1 < n && s[i + 1] == '"')) break;
                    if (s[i] == '"') ++i;
                    else if (s[i] == '\n' || (s[i] == '\r' && !(i + 1 < n && s[i + 1] == '\n'))) ++line;
                    value += s[i];
                }
                ++i;
            }
            while (i < n && s[i] != separator && s[i] != '\r' && s[i] != '\n') value += s[i++];
            values << QString::fromUtf8(value);
            if (i < n && s[i] == separator) {
                ++i;
                continue;
            }
            if (i < n) lineEnd();
            break;
        }
        out << "line " + QString::number(first) + ": " + values.join('|');
    }
    return out;
}

}  // namespace

class StandardCsvTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;

    QString File(const QByteArray& content) {
        const QString path = m_dir.filePath("file.csv");
        testsupport::WriteAll(path, content);
        return path;
    }

private slots:
    // Each value in its own column, whatever the program quoted: numbers
    // without quotes, a separator and a doubled quote inside quotes, a line
    // break inside quotes kept as written, an empty last value.
    void filesOtherProgramsWrote_data() {
        QTest::addColumn<QString>("fixture");
        QTest::addColumn<char>("separator");
        QTest::addColumn<bool>("utf8");
        QTest::addColumn<QString>("price");  // the Lamp's
        QTest::newRow("python, minimal quoting") << "python-minimal.csv" << ',' << true << "12.5";
        QTest::newRow("python, semicolons and a byte-order mark") << "python-semicolon-bom.csv" << ';' << true << "12,5";
        QTest::newRow("python, tabs and LF") << "python-tab-lf.csv" << '\t' << true << "12.5";
        QTest::newRow("python, Windows-1252") << "python-cp1252.csv" << ',' << false << "12.5";
    }
    void filesOtherProgramsWrote() {
        QFETCH(QString, fixture);
        QFETCH(char, separator);
        QFETCH(bool, utf8);
        QFETCH(QString, price);
        const QString path = kFixtures + fixture;
        std::string error;
        const auto dialect = exchange::GuessCsvDialect(path.toStdString(), &error);
        QVERIFY2(dialect, error.c_str());
        QCOMPARE(dialect->separator, separator);
        QCOMPARE(dialect->encoding, utf8 ? CsvEncoding::Utf8 : CsvEncoding::Windows1252);
        QStringList expected = {"Name|Manufacturer|Purchase Price|Purchase Date|Notes",
                                "Lamp|Acme, Inc.|" + price + "|2024-03-31|the \"blue\" one",
                                "Sofa||899|31.03.2024|two\r\nlines",
                                QString("Café table|Möbel|0") + (price.contains(',') ? "," : ".") + "01||"};
        if (!utf8) expected << "Clock|€uro|5||";
        QCOMPARE(Records(path, *dialect), expected);
    }

    // The rules, one at a time.
    void readsByTheRules_data() {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QStringList>("records");
        QTest::newRow("quoted and plain values") << QByteArray("\"a\",b,\"c\"\r\n") << QStringList{"a|b|c"};
        QTest::newRow("a doubled quote inside quotes") << QByteArray("\"say \"\"hi\"\"\",x\n") << QStringList{"say \"hi\"|x"};
        QTest::newRow("empty values, quoted and not") << QByteArray(",\"\",\n") << QStringList{"||"};
        QTest::newRow("LF, CR LF and lone CR end lines") << QByteArray("a\nb\r\nc\rd") << QStringList{"a", "b", "c", "d"};
        QTest::newRow("the last line without a line end") << QByteArray("a,b") << QStringList{"a|b"};
        QTest::newRow("empty lines hold no record") << QByteArray("\r\n\na\r\n\r\n\r\nb\n\n") << QStringList{"a", "b"};
        QTest::newRow("a lone CR inside quotes stays") << QByteArray("\"x\ry\",z") << QStringList{"x\ry|z"};
        QTest::newRow("an LF inside quotes stays") << QByteArray("\"x\ny\"") << QStringList{"x\ny"};
        QTest::newRow("a quote inside a plain value is kept") << QByteArray("5\" wide,b") << QStringList{"5\" wide|b"};
        QTest::newRow("text after the closing quote is kept") << QByteArray("\"a\"b,c") << QStringList{"ab|c"};
        QTest::newRow("blanks are the value's own") << QByteArray(" a , \"b\" ") << QStringList{" a | \"b\" "};
        QTest::newRow("a byte-order mark is skipped") << QByteArray("\xEF\xBB\xBF" "a,b") << QStringList{"a|b"};
        QTest::newRow("a zero byte is a character like any") << QByteArray("a\0b,c\nd", 7)
                                                             << QStringList{QString("a") + QChar(0) + "b|c", "d"};
        QTest::newRow("nothing at all") << QByteArray() << QStringList{};
        QTest::newRow("a byte-order mark alone") << QByteArray("\xEF\xBB\xBF") << QStringList{};
        QTest::newRow("1024 values") << QByteArray(1023, ',') << QStringList{QString(1023, '|')};
        QTest::newRow("a value of 1 MB") << "\"" + QByteArray(1 << 20, 'v') + "\"" << QStringList{QString(1 << 20, 'v')};
    }
    void readsByTheRules() {
        QFETCH(QByteArray, content);
        QFETCH(QStringList, records);
        QCOMPARE(Records(File(content), {',', CsvEncoding::Utf8}), records);
    }

    // A damaged file is read up to the fault, which names its line.
    void refusesWithTheLine_data() {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QStringList>("records");
        QTest::newRow("a quote never closed") << QByteArray("a\r\n\"two\r\nlines\",x\r\nb,\"c") << QStringList{
            "a", "two\r\nlines|x", "error: The quoted value 2 of line 4 is not closed before the end of the file."};
        QTest::newRow("1025 values") << QByteArray("a\n") + QByteArray(1024, ',')
                                     << QStringList{"a", "error: Line 2 holds more than 1024 values."};
        QTest::newRow("a value past 1 MB") << "x," + QByteArray((1 << 20) + 1, 'v')
                                           << QStringList{"error: Value 2 of line 1 is longer than 1 MB."};
        QTest::newRow("a quoted value past 1 MB") << "\"" + QByteArray((1 << 20) + 1, 'v') + "\""
                                                 << QStringList{"error: Value 1 of line 1 is longer than 1 MB."};
        QTest::newRow("text after a closing quote past 1 MB") << "a,\"b\"" + QByteArray(1 << 20, 'v') + "\n"
                                                              << QStringList{"error: Value 2 of line 1 is longer than 1 MB."};
        QTest::newRow("Windows-1252 read as UTF-8") << QByteArray("ok\ncaf\xE9,x")
            << QStringList{"ok", "error: Value 1 of line 2 is not UTF-8 text; read the file as Windows-1252."};
    }
    void refusesWithTheLine() {
        QFETCH(QByteArray, content);
        QFETCH(QStringList, records);
        QCOMPARE(Records(File(content), {',', CsvEncoding::Utf8}), records);
    }

    void onlyARegularFileIsRead() {
        CsvReader unopened;
        std::vector<std::string> values;
        QCOMPARE(unopened.Next(values), CsvReader::Status::Failed);
        QCOMPARE(unopened.Error(), std::string("No file is open."));

        std::string error;
        QVERIFY(!exchange::GuessCsvDialect(m_dir.path().toStdString(), &error));
        QCOMPARE(QString::fromStdString(error),
                 QString("The file \"%1\" is not a regular file and cannot be read.").arg(m_dir.path()));
        QCOMPARE(Records(m_dir.path(), {}),
                 QStringList{QString("error: The file \"%1\" is not a regular file and cannot be read.").arg(m_dir.path())});
        QCOMPARE(Records(m_dir.filePath("none.csv"), {}),
                 QStringList{QString("error: The file \"%1\" cannot be read: No such file or directory.")
                                 .arg(m_dir.filePath("none.csv"))});
    }

    // The separator the lines agree on, counted outside quotes.
    void guessesTheSeparator_data() {
        QTest::addColumn<QByteArray>("sample");
        QTest::addColumn<char>("separator");
        QTest::newRow("decimal commas between semicolons") << QByteArray("Name;Price\nLamp;12,50\nSofa;1.299,00\n") << ';';
        QTest::newRow("commas inside quotes do not count")
            << QByteArray("\"a,b,c\";x\n\"d,e\";y\n") << ';';
        QTest::newRow("semicolons inside quotes do not count") << QByteArray("\"x;y;z\",a\n\"p;q;r\",b\n") << ',';
        QTest::newRow("tabs") << QByteArray("a\tb\tc\n1\t2\t3\n") << '\t';
        QTest::newRow("one column") << QByteArray("Lamp\nSofa\n") << ',';
        QTest::newRow("the most agreeing lines win")
            << QByteArray("a,b;c\nd,e\nf,g\nh;i;j\n") << ',';
        QTest::newRow("agreeing alike, the most per line win") << QByteArray("a;b;c,d\ne;f;g,h\n") << ';';
        QTest::newRow("a single line without its end") << QByteArray("a\tb") << '\t';
        QTest::newRow("empty") << QByteArray() << ',';
    }
    void guessesTheSeparator() {
        QFETCH(QByteArray, sample);
        QFETCH(char, separator);
        QCOMPARE(exchange::GuessCsvSeparator(std::string_view(sample.constData(), size_t(sample.size()))), separator);
    }

    // Headers matched by a field's name or title, the user's titles, or
    // what other programs call the field; letter case and blanks aside.
    void columnsMatchedByTheirHeaders_data() {
        QTest::addColumn<QStringList>("headers");
        QTest::addColumn<QStringList>("titles");
        QTest::addColumn<QList<int>>("fields");
        QTest::newRow("what other programs export")
            << QStringList{"Name", "Manufacturer", "Model Number", "Serial Number", "Purchase Price", "Purchase Date",
                           "Purchased From", "Notes", "Warranty Expires", "Quantity", "Room"}
            << QStringList{} << QList<int>{1, 2, 3, 4, 11, 10, 7, 6, 15, 9, 5};
        QTest::newRow("the other names other programs use")
            << QStringList{"Item Name", "Make", "Model No", "Serial No", "Purchased At", "Qty", "Date Purchased", "Price",
                           "Replacement Value", "Warranty Expiration", "Current Value"}
            << QStringList{} << QList<int>{1, 2, 3, 4, 7, 9, 10, 11, 13, 15, 18};
        QTest::newRow("and their other words") << QStringList{"Store", "Estimated Value"} << QStringList{} << QList<int>{7, 18};
        QTest::newRow("and one more") << QStringList{"Vendor"} << QStringList{} << QList<int>{7};
        QTest::newRow("field names and titles in any case")
            << QStringList{"descriptio", "REPLACEMENT COST", "  war date", "UserDef4", "Warranty\r\nNotes", "value", "Model\tNumber"}
            << QStringList{} << QList<int>{6, 13, 15, 22, 16, 18, 3};
        QTest::newRow("the user's titles first")
            << QStringList{"Maker", "Room", "Brand", "SIZE"} << QStringList{"Item", "Maker", "Size"} << QList<int>{2, 5, 0, 3};
        QTest::newRow("a field goes to its first column")
            << QStringList{"Cost", "Price", "Purchase Price", "Item"} << QStringList{} << QList<int>{11, 0, 0, 1};
        QTest::newRow("headers that name nothing")
            << QStringList{"", "Colour", "Item2", "Notes 2"} << QStringList{} << QList<int>{0, 0, 0, 0};
        QStringList tooMany;
        for (int i = 1; i <= 23; ++i) tooMany << "Title " + QString::number(i);
        QTest::newRow("a title past the last field") << QStringList{"Title 22", "Title 23"} << tooMany << QList<int>{22, 0};
    }
    void columnsMatchedByTheirHeaders() {
        QFETCH(QStringList, headers);
        QFETCH(QStringList, titles);
        QFETCH(QList<int>, fields);
        std::vector<std::string> h, t;
        for (const QString& s : headers) h.push_back(s.toStdString());
        for (const QString& s : titles) t.push_back(s.toStdString());
        const std::vector<int> map = exchange::MapByHeader(h, t);
        QCOMPARE(QList<int>(map.begin(), map.end()), fields);
    }

    // Dates in the current format, ISO, with points, or as serial numbers
    // (checked against Qt's calendar, the 1900 leap day that never was
    // refused); impossible days and other text refused.
    void datesInTheFormsSpreadsheetsWrite_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QDate>("date");  // invalid: refused
        QTest::newRow("current format") << " 3/31/2024 " << QDate(2024, 3, 31);
        QTest::newRow("ISO") << "2024-03-31" << QDate(2024, 3, 31);
        QTest::newRow("ISO leap day") << "2000-02-29" << QDate(2000, 2, 29);
        QTest::newRow("ISO, not a leap year") << "1900-02-29" << QDate();
        QTest::newRow("ISO of four parts") << "2024-03-31-1" << QDate();
        QTest::newRow("ISO with a part of five digits") << "2024-00003-31" << QDate();
        QTest::newRow("with points") << "31.03.2024" << QDate(2024, 3, 31);
        QTest::newRow("with points, two-digit year") << "31.03.24" << QDate();
        QTest::newRow("serial 1") << "1" << QDate(1900, 1, 1);
        QTest::newRow("serial 59") << "59" << QDate(1900, 2, 28);
        QTest::newRow("serial 60, a day that never was") << "60" << QDate();
        QTest::newRow("serial 61") << "61" << QDate(1900, 3, 1);
        QTest::newRow("serial of today's kind") << "45382" << QDate(1899, 12, 30).addDays(45382);
        QTest::newRow("last serial") << "2958465" << QDate(9999, 12, 31);
        QTest::newRow("past the last serial") << "2958466" << QDate();
        QTest::newRow("serial 0") << "0" << QDate();
        QTest::newRow("words") << "last spring" << QDate();
        QTest::newRow("empty") << "  " << QDate();
    }
    void datesInTheFormsSpreadsheetsWrite() {
        QFETCH(QString, text);
        QFETCH(QDate, date);
        const auto read = exchange::ReadSheetDate(text.toStdString(), store::DateFormat::FromPattern("m/d/yyyy", '/'));
        QCOMPARE(read.has_value(), date.isValid());
        if (read) QCOMPARE(QDate(read->year, read->month, read->day), date);
    }

    // Amounts with their signs, separators and either decimal mark.
    void amountsInTheFormsSpreadsheetsWrite_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("comma");
        QTest::addColumn<QString>("value");  // empty: refused
        QTest::newRow("plain") << "12.5" << false << "12.5";
        QTest::newRow("thousands and a dollar") << " $1,234.56 " << false << "1234.56";
        QTest::newRow("euro after, decimal comma") << "1.234,56 \u20AC" << true << "1234.56";
        QTest::newRow("code before") << "EUR 99,90" << true << "99.9";
        QTest::newRow("code after") << "15 USD" << false << "15";
        QTest::newRow("minus before the sign") << "-$5.25" << false << "-5.25";
        QTest::newRow("parentheses") << "(1,000.00)" << false << "-1000";
        QTest::newRow("blanks between thousands") << "1 234 567,8" << true << "1234567.8";
        QTest::newRow("two decimal marks") << "1.2.3" << false << "";
        QTest::newRow("a word") << "twelve" << false << "";
        QTest::newRow("a sign alone") << "$" << false << "";
        QTest::newRow("a mark before any digit is no thousands separator") << ",5" << false << "";
    }
    void amountsInTheFormsSpreadsheetsWrite() {
        QFETCH(QString, text);
        QFETCH(bool, comma);
        QFETCH(QString, value);
        const auto read = exchange::ReadAmount(text.toStdString(), comma ? exchange::DecimalMark::Comma
                                                                         : exchange::DecimalMark::Point);
        QCOMPARE(read ? QString::number(*read, 'g', 15) : QString(), value);
    }

    // Plain digits are read without the general conversion; each must give
    // the very double the general one gives, up to and past 15 digits.
    void plainAmountsReadToTheLastBit() {
        std::mt19937_64 rng(7);
        for (int i = 0; i < 20000; ++i) {
            const int digits = 1 + int(rng() % 17);
            std::string text = i % 3 == 0 ? "-" : "";
            for (int d = 0; d < digits; ++d) text += char('0' + rng() % 10);
            const int point = int(rng() % size_t(digits + 1));
            if (point < digits) text.insert(text.size() - size_t(point), 1, '.');
            const double expected = std::strtod(text.c_str(), nullptr);
            // Read from a buffer that ends where the text does, as a file's
            // value may: the sanitizers see a look past it.
            const std::vector<char> exact(text.begin(), text.end());
            const auto read = exchange::ReadAmount({exact.data(), exact.size()}, exchange::DecimalMark::Point);
            QVERIFY2(read && std::memcmp(&*read, &expected, sizeof expected) == 0, text.c_str());
            std::replace(text.begin(), text.end(), '.', ',');
            const auto comma = exchange::ReadAmount(text, exchange::DecimalMark::Comma);
            QVERIFY2(comma && std::memcmp(&*comma, &expected, sizeof expected) == 0, text.c_str());
        }
    }

    void decimalMarkGuessedFromTheColumn() {
        using exchange::DecimalMark;
        QCOMPARE(exchange::GuessDecimalMark({"12,50", "1.299,00", "3"}), DecimalMark::Comma);
        QCOMPARE(exchange::GuessDecimalMark({"12.50", "1,299.00", "1,234"}), DecimalMark::Point);
        QCOMPARE(exchange::GuessDecimalMark({"1,234", "5"}), DecimalMark::Point);  // nothing tells: a point
        QCOMPARE(exchange::GuessDecimalMark({"0,5", "1.000", "2,25"}), DecimalMark::Comma);
    }

    void warrantyWords() {
        QStringList read;
        for (const char* t : {"Yes", " y ", "TRUE", "1", "no", "N", "false", "0", "maybe", ""}) {
            const auto v = exchange::ReadYesNo(t);
            read << (v ? (*v ? "yes" : "no") : "-");
        }
        QCOMPARE(read.join(','), QStringLiteral("yes,yes,yes,yes,no,no,no,no,-,-"));
    }

    // The reader holds whole records in its buffer and reads one again when
    // it runs past the buffer's end: every character that means something,
    // standing on either side of that end, read as the rules say (the
    // buffer's first end lies at 256 KiB; ^ marks the byte put there).
    void recordsAcrossTheBufferEnd_data() {
        QTest::addColumn<QByteArray>("record");
        QTest::newRow("CR LF inside quotes") << QByteArray("\"a\r^\nb\",c");
        QTest::newRow("a doubled quote") << QByteArray("\"a\"^\"b\",c");
        QTest::newRow("a closing quote, then the separator") << QByteArray("\"ab\"^,c");
        QTest::newRow("a closing quote at the line end") << QByteArray("\"ab\"^\r\nc");
        QTest::newRow("CR LF ending the line") << QByteArray("ab\r^\ncd");
        QTest::newRow("a lone CR ending the line") << QByteArray("ab\r^cd");
        QTest::newRow("empty lines") << QByteArray("\r^\n\r\nab");
        QTest::newRow("text after the closing quote") << QByteArray("\"a\"^x\"y,c");
        QTest::newRow("a character of two bytes") << QByteArray("caf\xC3^\xA9,x");
        QTest::newRow("the separator") << QByteArray("a,^,b");
    }
    void recordsAcrossTheBufferEnd() {
        QFETCH(QByteArray, record);
        const qsizetype mark = record.indexOf('^');
        record.remove(mark, 1);
        for (qsizetype shift = -3; shift <= 3; ++shift) {
            // One line of filler, then the record, so that the marked byte
            // stands shift bytes from the buffer's end; then a last record.
            const QByteArray content = QByteArray(256 * 1024 + shift - mark - 1, 'f') + "\n" + record + "\nlast,\"one\"";
            CsvReader reader;
            std::string error;
            QVERIFY(reader.Open(File(content).toStdString(), {}, &error));
            std::vector<std::string_view> values;
            QStringList read;
            while (reader.Next(values) == CsvReader::Status::Record) {
                QStringList joined;
                for (std::string_view v : values) joined << QString::fromUtf8(v.data(), qsizetype(v.size()));
                read << "line " + QString::number(reader.RecordLine()) + ": " + joined.join('|');
            }
            QCOMPARE(QString::fromStdString(reader.Error()), QString());
            QCOMPARE(read, ByTheRules(content, ','));
            QCOMPARE(reader.BytesRead(), uint64_t(content.size()));
        }
    }

    // A record's line is where it begins, past line breaks inside quotes.
    void recordsKnowTheirLines() {
        CsvReader reader;
        std::string error;
        // A tab inside quotes is no line break (read eight bytes at a time
        // as in a long line, and one at a time at the end).
        QVERIFY(reader.Open(File("a\r\n\r\n\"b\nc\nd\",e\nf\n\"t\tab\",long enough\n\"g\th\"").toStdString(), {}, &error));
        std::vector<std::string> values;
        QList<uint64_t> lines;
        while (reader.Next(values) == CsvReader::Status::Record) lines << reader.RecordLine();
        QCOMPARE(lines, (QList<uint64_t>{1, 3, 6, 7, 8}));
        QCOMPARE(reader.BytesRead(), reader.Size());
    }
};

QTEST_GUILESS_MAIN(StandardCsvTest)
#include "StandardCsvTest.moc"
