// The delimited text format on its own: how a value is written, how lines
// are read character by character (line ends, quotes, control characters,
// limits, encodings), and how a source file is examined before an import,
// with the exact refusals a user sees.

#include <QTemporaryDir>
#include <QtTest>
#include <fcntl.h>
#include <unistd.h>

#include "DelimitedText.h"
#include "ExchangeTestSupport.h"
#include "ImportEngine.h"

using exchange::DelimitedReader;
using namespace exchangetest;

namespace {

const QString kHeader =
    "The file selected does not appear to be an ASCII delimited text file.  An ASCII delimited file requires a "
    "unique format of each field being surrounded by double quotes and separated by a comma.  ";
const QString kTooLong = "The selected file has a field that is greater than 255 characters.";
const QString kUnmatched = "The selected file had an unexpected end of a line most likely due to an unmatched quote.";
const QString kTooMany =
    "The selected file has too many fields.  There are at least 10 more fields than are required by Halvenor.";

QString StatusName(DelimitedReader::Status s) {
    switch (s) {
    case DelimitedReader::Status::Record: return "record";
    case DelimitedReader::Status::NoRecord: return "none";
    case DelimitedReader::Status::EndOfFile: return "end";
    case DelimitedReader::Status::TooLong: return "too long";
    case DelimitedReader::Status::TooMany: return "too many";
    case DelimitedReader::Status::StrayQuote: return "stray quote";
    case DelimitedReader::Status::ReadError: return "read error";
    }
    return {};
}

// Every record of the file as "values joined by |" (followed by " (off)"
// when the line did not follow the format), "none" for a line that yields no
// record, and the error that ended the reading with its line and field
// ("too long@2:1").
QStringList ReadRecords(const QString& path, size_t maxValues, DelimitedReader::Encoding encoding) {
    DelimitedReader reader;
    std::string error;
    if (!reader.Open(path.toStdString(), &error)) return {"cannot open"};
    reader.SetEncoding(encoding);
    QStringList out;
    std::vector<std::string> values;
    for (int guard = 0; guard < 100; ++guard) {
        const auto r = reader.ReadRecord(maxValues, values);
        if (r.status == DelimitedReader::Status::EndOfFile) break;
        if (r.status == DelimitedReader::Status::Record) {
            QStringList joined;
            for (const auto& v : values) joined << QString::fromStdString(v);
            out << joined.join('|') + (r.offFormat ? " (off)" : "");
        } else if (r.status == DelimitedReader::Status::NoRecord) {
            out << (r.offFormat ? "none (off)" : "none");
        } else {
            out << QString("%1@%2:%3").arg(StatusName(r.status)).arg(reader.Line()).arg(r.field);
            break;
        }
    }
    return out;
}

}  // namespace

class DelimitedTextTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    QString File(const QByteArray& content) {
        const QString path = m_dir.filePath("source.txt");
        WriteAll(path, content);
        return path;
    }

private slots:
    void writesValues_data() {
        QTest::addColumn<QByteArray>("value");
        QTest::addColumn<QByteArray>("written");
        QTest::newRow("plain") << QByteArray("Camera") << QByteArray("\"Camera\"");
        QTest::newRow("quotes doubled") << QByteArray("24\" \"flat\"") << QByteArray("\"24\"\" \"\"flat\"\"\"");
        QTest::newRow("only blanks is empty") << QByteArray("   ") << QByteArray("\"\"");
        QTest::newRow("blanks at the ends go, inner stay") << QByteArray("  a  b ") << QByteArray("\"a  b\"");
        QTest::newRow("quote at the end after trimming") << QByteArray(" x\" ") << QByteArray("\"x\"\"\"");
        QTest::newRow("line breaks become blanks") << QByteArray("one\r\ntwo") << QByteArray("\"one  two\"");
        QTest::newRow("comma kept") << QByteArray("a,b") << QByteArray("\"a,b\"");
        QTest::newRow("non-ASCII as given") << QByteArray("café") << QByteArray("\"café\"");
        // Eight bytes are looked at together: a value that ends a byte short
        // of eight, or one past, before the blanks cut off.
        QTest::newRow("seven characters and a blank") << QByteArray("Sofa L2 ") << QByteArray("\"Sofa L2\"");
        QTest::newRow("nine characters and blanks") << QByteArray("Sofa L2x9   ") << QByteArray("\"Sofa L2x9\"");
    }
    void writesValues() {
        QFETCH(QByteArray, value);
        QFETCH(QByteArray, written);
        std::string line;
        exchange::AppendDelimitedValue(line, value.toStdString(), true);
        QCOMPARE(QByteArray::fromStdString(line), written);
        line = "\"x\"";
        exchange::AppendDelimitedValue(line, value.toStdString(), false);
        QCOMPARE(QByteArray::fromStdString(line), "\"x\"," + written);
    }

    void readsRecords_data() {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<int>("maxValues");
        QTest::addColumn<QStringList>("records");
        QTest::newRow("two values, CR LF") << QByteArray("\"a\",\"b\"\r\n") << 2 << QStringList{"a|b"};
        QTest::newRow("a trailing line end yields nothing more")
            << QByteArray("\"a\"\r\n\"b\"\r\n") << 1 << QStringList{"a", "b"};
        QTest::newRow("no line end at the end of the file") << QByteArray("\"a\",\"b\"") << 2 << QStringList{"a|b"};
        QTest::newRow("an empty middle line yields no record")
            << QByteArray("\"a\"\r\n\r\n\"b\"\r\n") << 1 << QStringList{"a", "none", "b"};
        QTest::newRow("a line of one empty value yields no record")
            << QByteArray("\"\"\r\n\"\",\"\"\r\n") << 2 << QStringList{"none", "|"};
        QTest::newRow("a short line gives fewer values") << QByteArray("\"a\",\"b\",\"c\"\r\n\"d\"\r\n") << 3
                                                         << QStringList{"a|b|c", "d"};
        QTest::newRow("doubled quotes stand for one") << QByteArray("\"say \"\"hi\"\"\",\"\"\"\"\r\n") << 2
                                                      << QStringList{"say \"hi\"|\""};
        QTest::newRow("a comma inside quotes is kept") << QByteArray("\"a,b\",\"c\"") << 2 << QStringList{"a,b|c"};
        QTest::newRow("characters before the opening quote belong to the value")
            << QByteArray("x,\"y\"\r\n") << 2 << QStringList{"x,y (off)"};
        // Read by the rules all the same, but said to be off the format.
        QTest::newRow("a number without quotes") << QByteArray("\"a\",12.5\r\n\"b\",\"1\"\r\n") << 2
                                                 << QStringList{"a|12.5 (off)", "b|1"};
        QTest::newRow("numbers without quotes between quoted texts")
            << QByteArray("\"Lamp\",1,12/31/00,0.01,\"multi\"\r\n") << 5 << QStringList{"Lamp|1,12/31/00,0.01,multi (off)"};
        QTest::newRow("a blank before the opening quote") << QByteArray("\"a\", \"b\"") << 2 << QStringList{"a| b (off)"};
        QTest::newRow("an empty value without quotes") << QByteArray("\"a\",\r\n\"b\",\"\"\r\n") << 2
                                                       << QStringList{"a| (off)", "b|"};
        QTest::newRow("a line break inside quotes") << QByteArray("\"a\",\"two\r\nlines\"\r\n") << 2
                                                    << QStringList{"a|two (off)", "lines (off)"};
        QTest::newRow("blanks after the closing quote belong to no value")
            << QByteArray("\"a\"  ,\"b\" \r\n") << 2 << QStringList{"a|b"};
        QTest::newRow("control characters are dropped") << QByteArray("\"a\tb\",\"c\x01\"\x02\r\n") << 2
                                                        << QStringList{"ab|c"};
        QTest::newRow("LF and lone CR end lines too") << QByteArray("\"a\"\n\"b\"\r\"c\"") << 1
                                                      << QStringList{"a", "b", "c"};
        QTest::newRow("an open value ends at its line end")
            << QByteArray("\"abc\r\n\"d\"\r\n") << 1 << QStringList{"abc (off)", "d"};
        QTest::newRow("a byte-order mark is skipped") << QByteArray("\xEF\xBB\xBF\"a\"") << 1 << QStringList{"a"};
        QTest::newRow("a file that is only a byte-order mark is empty") << QByteArray("\xEF\xBB\xBF") << 1 << QStringList{};
        QTest::newRow("a closing quote followed by a letter")
            << QByteArray("\"ok\"\r\n\"a\"x,\"b\"\r\n") << 2 << QStringList{"ok", "stray quote@2:1"};
        QTest::newRow("values beyond the field count") << QByteArray("\"a\",\"b\"\r\n\"a\",\"b\",\"c\"\r\n") << 2
                                                       << QStringList{"a|b", "too many@2:3"};
        QTest::newRow("a trailing comma is one value too many")
            << QByteArray("\"a\",\"b\",\r\n") << 2 << QStringList{"too many@1:3"};
        QTest::newRow("255 characters fill a value") << QByteArray("\"" + QByteArray(255, 'x') + "\"") << 1
                                                     << QStringList{QString(255, 'x')};
        QTest::newRow("the 256th character is too many")
            << QByteArray("\"a\",\"b\"\r\n\"a\",\"" + QByteArray(256, 'x') + "\"") << 2
            << QStringList{"a|b", "too long@2:2"};
        QTest::newRow("a doubled quote counts once")
            << QByteArray("\"" + QByteArray(254, 'x') + "\"\"\"") << 1 << QStringList{QString(254, 'x') + "\""};
        QTest::newRow("characters, not bytes, are counted")
            << QByteArray("\"" + QString(255, QChar(0xE9)).toUtf8() + "\"") << 1 << QStringList{QString(255, QChar(0xE9))};
    }
    void readsRecords() {
        QFETCH(QByteArray, content);
        QFETCH(int, maxValues);
        QFETCH(QStringList, records);
        QCOMPARE(ReadRecords(File(content), size_t(maxValues), DelimitedReader::Encoding::Utf8), records);
    }

    // Values are read the same wherever the reader's 256 KiB blocks cut
    // them: the record is placed after filler lines so that a block ends at
    // each of its bytes in turn (inside a doubled quote, between CR and LF,
    // right after a closing quote, inside a UTF-8 sequence).
    void readsTheSameAcrossBlockEnds_data() {
        QTest::addColumn<QByteArray>("record");
        QTest::addColumn<bool>("utf8");
        QTest::addColumn<QStringList>("records");
        QTest::newRow("plain values, CR LF") << QByteArray("\"ab\",\"cd\"\r\n") << true << QStringList{"ab|cd"};
        QTest::newRow("doubled quotes") << QByteArray("\"a\"\"b\",\"\"\"\"\r\n") << true << QStringList{"a\"b|\""};
        QTest::newRow("blanks after the closing quote") << QByteArray("\"a\" \t ,\"b\"  \r\n") << true
                                                        << QStringList{"a|b"};
        QTest::newRow("control character inside") << QByteArray("\"a\tb\",\"c\"\n") << true << QStringList{"ab|c"};
        QTest::newRow("lone CR, then LF") << QByteArray("\"a\"\r\"b\"\n") << true << QStringList{"a", "b"};
        QTest::newRow("characters before the quote") << QByteArray("p\"q\",\"r\"\r\n") << true << QStringList{"pq|r"};
        QTest::newRow("an open value to the line end") << QByteArray("\"a\",\"bc\r\n") << true << QStringList{"a|bc"};
        QTest::newRow("255 characters in 510 bytes")
            << QByteArray("\"" + QString(255, QChar(0xE9)).toUtf8() + "\"\r\n") << true
            << QStringList{QString(255, QChar(0xE9))};
        QTest::newRow("256 bytes") << QByteArray("\"" + QByteArray(256, 'x') + "\"\r\n") << true
                                   << QStringList{"too long:1"};
        QTest::newRow("Windows-1252") << QByteArray("\"caf\xE9\",\"\x80\"\r\n") << false << QStringList{"café|€"};
    }
    void readsTheSameAcrossBlockEnds() {
        QFETCH(QByteArray, record);
        QFETCH(bool, utf8);
        QFETCH(QStringList, records);
        constexpr int kBlock = 256 * 1024;
        const auto encoding = utf8 ? DelimitedReader::Encoding::Utf8 : DelimitedReader::Encoding::Windows1252;
        // After the filler: the record's values, "too long:field" for an
        // error, and the line after it, which must still be read whole.
        auto tail = [&](const QByteArray& content, int fillerLines) {
            DelimitedReader reader;
            std::string error;
            const QString path = File(content);
            if (!reader.Open(path.toStdString(), &error)) return QStringList{"cannot open"};
            reader.SetEncoding(encoding);
            std::vector<std::string> values;
            QStringList out;
            for (int line = 0;; ++line) {
                const auto r = reader.ReadRecord(3, values);
                if (r.status == DelimitedReader::Status::EndOfFile) break;
                if (line < fillerLines) continue;
                if (r.status == DelimitedReader::Status::TooLong) {
                    out << QString("too long:%1").arg(r.field);
                    break;
                }
                QStringList joined;
                for (const auto& v : values)
                    joined << (utf8 ? QString::fromStdString(v) : QString::fromUtf8(v.data(), qsizetype(v.size())));
                out << joined.join('|');
            }
            return out;
        };
        QStringList expected = records;
        if (!records.last().startsWith("too long")) expected << "end";
        QCOMPARE(tail(record + "\"end\"\r\n", 0), expected);
        for (int shift = 0; shift <= record.size() + 1; ++shift) {
            // Filler lines of 204 bytes, the last one shortened to land the
            // record at the block's end minus shift.
            const int before = kBlock - record.size() + shift - 1;
            QByteArray filler;
            int lines = 0;
            while (before - filler.size() > 204 + 4) {
                filler += "\"" + QByteArray(200, 'f') + "\"\r\n";
                ++lines;
            }
            filler += "\"" + QByteArray(before - filler.size() - 4, 'g') + "\"\r\n";
            ++lines;
            QCOMPARE(filler.size(), before);
            QCOMPARE(tail(filler + record + "\"end\"\r\n", lines), expected);
        }
    }

    void decodesByTheWholeFile() {
        // Windows-1252 bytes are not UTF-8: the file is read as Windows-1252.
        const QString legacy = File("\"caf\xE9\",\"\x80 5\"\r\n");
        QVERIFY(!exchange::FileIsUtf8(legacy.toStdString()));
        QCOMPARE(ReadRecords(legacy, 2, DelimitedReader::Encoding::Windows1252), QStringList{"café|€ 5"});
        // The same text as UTF-8.
        const QString modern = File(QString("\"café\",\"€ 5\"\r\n").toUtf8());
        QVERIFY(exchange::FileIsUtf8(modern.toStdString()));
        QCOMPARE(ReadRecords(modern, 2, DelimitedReader::Encoding::Utf8), QStringList{"café|€ 5"});
        // So is a file whose very first byte is one.
        QVERIFY(!exchange::FileIsUtf8(File("\xE9\"x\"\r\n").toStdString()));
        // One stray byte far down makes the whole file Windows-1252.
        QByteArray mixed = QString("\"é\"\r\n").toUtf8().repeated(300000) + "\"\xE9\"\r\n";
        QVERIFY(!exchange::FileIsUtf8(File(mixed).toStdString()));
        // Overlong forms and surrogates are not UTF-8; a sequence cut at
        // the end of the file neither.
        for (const QByteArray& bad : {QByteArray("\"\xC0\xAF\""), QByteArray("\"\xED\xA0\x80\""), QByteArray("\"\xE2\x82")})
            QVERIFY2(!exchange::FileIsUtf8(File(bad).toStdString()), bad.toHex().constData());
        QVERIFY(exchange::FileIsUtf8(File("\"\xF0\x9F\x93\xB7\"").toStdString()));
    }

    void examinesTheFirstLine_data() {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QStringList>("names");
        QTest::addColumn<QString>("refusal");
        QTest::newRow("titles") << QByteArray("\"Item\",\"\",\"Cost\"\r\n\"x\"\r\n")
                                << QStringList{"Item", "<BLANK FIELD>", "Cost"} << QString();
        QTest::newRow("names cut to 20 characters")
            << QByteArray("\"A very long field title indeed\"") << QStringList{"A very long field ti"} << QString();
        QTest::newRow("32 fields are enough")
            << QByteArray("\"f\"" + QByteArray(",\"f\"").repeated(31)) << QStringList(32, "f") << QString();
        QTest::newRow("a 33rd field") << QByteArray("\"f\"" + QByteArray(",\"f\"").repeated(32)) << QStringList()
                                      << kHeader + kTooMany;
        QTest::newRow("a name over 255 characters")
            << QByteArray("\"a\",\"" + QByteArray(256, 'n') + "\"") << QStringList() << kHeader + kTooLong;
        QTest::newRow("a missing closing quote") << QByteArray("\"Item\",\"Cost\r\n") << QStringList()
                                                 << kHeader + kUnmatched;
        QTest::newRow("values without quotes") << QByteArray("Item,Cost\r\n") << QStringList() << kHeader + kUnmatched;
        QTest::newRow("an empty file") << QByteArray() << QStringList() << kHeader + kUnmatched;
        QTest::newRow("an empty first line") << QByteArray("\r\n\"a\"") << QStringList() << kHeader + kUnmatched;
        QTest::newRow("an undoubled quote") << QByteArray("\"Item\"s\",\"Cost\"") << QStringList()
                                            << kHeader + kUnmatched;
        QTest::newRow("10 MB without a line end") << QByteArray(10 * 1024 * 1024, 'x') << QStringList()
                                                  << kHeader + kTooLong;
    }
    void examinesTheFirstLine() {
        QFETCH(QByteArray, content);
        QFETCH(QStringList, names);
        QFETCH(QString, refusal);
        const exchange::Examination ex = exchange::ExamineTextSource(File(content).toStdString());
        QCOMPARE(QString::fromStdString(ex.message), refusal);
        QCOMPARE(ex.accepted, refusal.isEmpty());
        QStringList got;
        for (const auto& n : ex.names) got << QString::fromStdString(n);
        QCOMPARE(got, names);
    }

    // A program started with its standard input closed hands out
    // descriptor 0 to the first file it opens: the text is read through it
    // and the descriptor given back.
    void readsWithStandardInputClosed() {
        const QString path = File("\"Lamp\",\"12\"\n");
        const int input = ::dup(0);
        ::close(0);
        const QStringList records = ReadRecords(path, 22, DelimitedReader::Encoding::Utf8);
        const bool released = ::fcntl(0, F_GETFD) == -1;
        ::dup2(input, 0);
        ::close(input);
        QCOMPARE(records, QStringList{"Lamp|12"});
        QVERIFY(released);
    }

    void refusesAFileThatCannotBeRead() {
        const auto ex = exchange::ExamineTextSource(m_dir.filePath("missing.txt").toStdString());
        QVERIFY(!ex.accepted);
        QVERIFY2(ex.message.find("cannot be read") != std::string::npos, ex.message.c_str());
        const auto folder = exchange::ExamineTextSource(m_dir.path().toStdString());
        QVERIFY(!folder.accepted);
    }
};

QTEST_GUILESS_MAIN(DelimitedTextTest)
#include "DelimitedTextTest.moc"
