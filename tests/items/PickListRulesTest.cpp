// The pick-list file format and the editor's reading of typed numbers and
// dates: the rules that decide what is stored, so each edge is pinned.

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include "DateFormat.h"
#include "EntryRules.h"
#include "PickListFile.h"

using items::EntryRules;
using items::PickListFile;

class PickListRulesTest : public QObject {
    Q_OBJECT

private slots:
    void parse_data() {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QStringList>("entries");
        QTest::newRow("empty and all-blank lines skipped")
            << QByteArray("Sony\r\n\r\n   \r\nZenith\r\n") << QStringList{"Sony", "Zenith"};
        QTest::newRow("leading and trailing blanks kept")
            << QByteArray(" Sony\r\nSony \r\n") << QStringList{" Sony", "Sony "};
        QTest::newRow("last line without line end") << QByteArray("A\r\nB") << QStringList{"A", "B"};
        QTest::newRow("bare LF and bare CR end lines") << QByteArray("A\nB\rC") << QStringList{"A", "B", "C"};
        QTest::newRow("duplicates kept in file order") << QByteArray("B\r\nA\r\nB\r\n") << QStringList{"B", "A", "B"};
        QTest::newRow("tab line is not blank") << QByteArray("\t\r\n") << QStringList{"\t"};
        QTest::newRow("windows-1252 text") << QByteArray("Caf\xe9\r\n") << QStringList{QString::fromUtf8("Café")};
        QTest::newRow("utf-8 text") << QByteArray("Caf\xc3\xa9\r\n") << QStringList{QString::fromUtf8("Café")};
        QTest::newRow("empty file") << QByteArray() << QStringList{};
    }
    void parse() {
        QFETCH(QByteArray, file);
        QFETCH(QStringList, entries);
        QTemporaryDir dir;
        const QString path = dir.filePath("BRAND.LST");
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(file);
        f.close();
        QCOMPARE(PickListFile::Read(path), entries);
    }

    void longLinesAreCutAt255() {
        const QString line = QString(300, u'x');
        const QStringList entries = PickListFile::Parse(line + "\r\nnext\r\n");
        QCOMPARE(entries.size(), 2);
        QCOMPARE(entries[0], QString(255, u'x'));
        QCOMPARE(entries[1], QString("next"));
        // A line whose first 255 characters are blanks counts as blank.
        QCOMPARE(PickListFile::Parse(QString(255, u' ') + "tail\r\n"), QStringList{});
    }

    void missingFileGivesEmptyList() {
        QTemporaryDir dir;
        QCOMPARE(PickListFile::Read(dir.filePath("NONE.LST")), QStringList{});
    }

    void writtenWithCrLfIn1252AndReadBack() {
        QTemporaryDir dir;
        const QString path = dir.filePath("OWNER.LST");
        const QStringList entries{" Anna", QString::fromUtf8("Jos\u00e9"), "Anna", "Bob "};
        QVERIFY(PickListFile::Write(path, entries));
        QFile f(path);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), QByteArray(" Anna\r\nJos\xe9\r\nAnna\r\nBob \r\n"));
        QCOMPARE(PickListFile::Read(path), entries);
    }

    void emptyListWritesEmptyFile() {
        QTemporaryDir dir;
        const QString path = dir.filePath("CATEGORY.LST");
        QVERIFY(PickListFile::Write(path, {"old"}));
        QVERIFY(PickListFile::Write(path, {}));
        QCOMPARE(QFileInfo(path).size(), 0);
        QCOMPARE(PickListFile::Read(path), QStringList{});
    }

    void unwritableFileIsSkipped() {
        QVERIFY(!PickListFile::Write("/nonexistent-folder/BRAND.LST", {"A"}));
    }

    void addToList_data() {
        QTest::addColumn<QStringList>("before");
        QTest::addColumn<QString>("value");
        QTest::addColumn<QStringList>("after");
        QTest::newRow("new value appended at the end") << QStringList{"Sony"} << "Zenith" << QStringList{"Sony", "Zenith"};
        QTest::newRow("trailing blank trimmed, present once") << QStringList{"Sony"} << "Sony " << QStringList{"Sony"};
        QTest::newRow("blanks only adds nothing") << QStringList{} << "   " << QStringList{};
        QTest::newRow("case-sensitive") << QStringList{"Sony"} << "sony" << QStringList{"Sony", "sony"};
        QTest::newRow("leading-blank entry does not match trimmed")
            << QStringList{" Sony"} << "Sony" << QStringList{" Sony", "Sony"};
    }
    void addToList() {
        QFETCH(QStringList, before);
        QFETCH(QString, value);
        QFETCH(QStringList, after);
        PickListFile::AddToList(before, value);
        QCOMPARE(before, after);
    }

    void listInfo() {
        QCOMPARE(PickListFile::Info(common::PickList::Bought).fileName, QString("BOUGHT.LST"));
        QCOMPARE(PickListFile::Info(common::PickList::Bought).caption, QString("Purchased From"));
        QCOMPARE(PickListFile::EntryLimit(common::PickList::Bought), 40);
        QCOMPARE(PickListFile::EntryLimit(common::PickList::Location), 30);
        QCOMPARE(PickListFile::EntryLimit(common::PickList::Owner), 30);
        QCOMPARE(PickListFile::EntryLimit(common::PickList::Brand), 20);
        QCOMPARE(PickListFile::EntryLimit(common::PickList::Category), 20);
    }

    void amount_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("valid");
        QTest::addColumn<double>("value");
        QTest::newRow("plain") << "1000" << true << 1000.0;
        QTest::newRow("exponent") << "1E3" << true << 1000.0;
        QTest::newRow("decimal") << "1234.5" << true << 1234.5;
        QTest::newRow("signed") << "-10.25" << true << -10.25;
        QTest::newRow("leading point") << ".5" << true << 0.5;
        QTest::newRow("thousands comma rejected") << "1,000" << false << 0.0;
        QTest::newRow("empty rejected") << "" << false << 0.0;
        QTest::newRow("currency sign rejected") << "$5" << false << 0.0;
        QTest::newRow("inner blank rejected") << "1 000" << false << 0.0;
        QTest::newRow("dangling exponent rejected") << "1E" << false << 0.0;
        QTest::newRow("overflow rejected") << "1E999" << false << 0.0;
        QTest::newRow("words rejected") << "inf" << false << 0.0;
    }
    void amount() {
        QFETCH(QString, text);
        QFETCH(bool, valid);
        QFETCH(double, value);
        const auto v = EntryRules::Amount(text);
        QCOMPARE(v.has_value(), valid);
        if (valid) QCOMPARE(*v, value);
    }

    void wholeNumber_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("valid");
        QTest::newRow("digits") << "12" << true;
        QTest::newRow("signed") << "-3" << true;
        QTest::newRow("decimal rejected") << "1.5" << false;
        QTest::newRow("empty rejected") << "" << false;
        QTest::newRow("beyond 32 bits rejected") << "99999999999" << false;
    }
    void wholeNumber() {
        QFETCH(QString, text);
        QFETCH(bool, valid);
        QCOMPARE(EntryRules::WholeNumber(text).has_value(), valid);
    }

    void totals_data() {
        QTest::addColumn<int>("quantity");
        QTest::addColumn<QString>("amount");
        QTest::addColumn<QString>("total");
        QTest::newRow("3 x 1234.5") << 3 << "1234.5" << "3,703.50 ";
        QTest::newRow("2 x 10.5") << 2 << "10.5" << "21.00 ";
        QTest::newRow("-1 x 1234") << -1 << "1234" << "-1,234.00 ";
        QTest::newRow("valid leading part counts") << 2 << "12abc" << "24.00 ";
        QTest::newRow("comma stops the number") << 1 << "1,000" << "1.00 ";
        QTest::newRow("no number counts 0") << 5 << "abc" << "0.00 ";
    }
    void totals() {
        QFETCH(int, quantity);
        QFETCH(QString, amount);
        QFETCH(QString, total);
        QCOMPARE(EntryRules::Total(quantity, EntryRules::LeadingAmount(amount)), total);
    }

    void noDate_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("noDate");
        QTest::newRow("empty") << "" << true;
        QTest::newRow("slashes") << "/  /" << true;
        QTest::newRow("dashes") << "-  -" << true;
        QTest::newRow("dots") << ".  ." << true;
        QTest::newRow("a date") << "05/03/2024" << false;
        QTest::newRow("half a date") << "5/  /" << false;
    }
    void noDate() {
        QFETCH(QString, text);
        QFETCH(bool, noDate);
        QCOMPARE(EntryRules::IsNoDate(text), noDate);
    }

    void datesShownPaddedInTheCurrentFormat() {
        const store::DateFormat saved = store::CurrentDateFormat();
        store::SetCurrentDateFormat(store::DateFormat('.', store::DateFormat::Order::DayMonthYear, false));
        QCOMPARE(EntryRules::ShowDate({2024, 3, 5}), QString("05.03.2024"));
        QCOMPARE(EntryRules::DateOf("05.03.2024"), std::optional<store::Date>(store::Date{2024, 3, 5}));
        QVERIFY(!EntryRules::DateOf("31.02.2024"));
        store::SetCurrentDateFormat(saved);
    }
};

QTEST_MAIN(PickListRulesTest)
#include "PickListRulesTest.moc"
