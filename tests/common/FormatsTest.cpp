// Shared text rules: integer reading, amounts, trimming, the twelve date
// formats, edit templates as Qt input masks, and the block file copy.

#include <QLineEdit>
#include <QTemporaryDir>
#include <QtTest>
#include <cmath>

#include "DateFormats.h"
#include "EditTemplate.h"
#include "TextRules.h"

using namespace common;

class FormatsTest : public QObject {
    Q_OBJECT

private slots:
    void cleanup() { DateFormats::Apply(1); }

    void readInteger_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("expected");
        QTest::newRow("whole number") << "1234" << 1234;
        QTest::newRow("negative whole number") << "-1234" << -1234;
        QTest::newRow("leading blanks") << "   42" << 42;
        QTest::newRow("trailing blank ends the digits, sign dropped") << "-42 " << 42;
        QTest::newRow("digits then letters") << "12abc" << 12;
        QTest::newRow("negative digits then letters") << "-12abc" << 12;
        QTest::newRow("hexadecimal") << "$1F" << 31;
        QTest::newRow("hexadecimal lower case") << "$ff" << 255;
        QTest::newRow("hexadecimal then junk") << "$1G" << 1;
        QTest::newRow("dollar without digits") << "$" << 0;
        QTest::newRow("empty") << "" << 0;
        QTest::newRow("letters only") << "abc" << 0;
        QTest::newRow("decimal point ends the digits") << "3.5" << 3;
        QTest::newRow("largest int") << "2147483647" << 2147483647;
        QTest::newRow("smallest int") << "-2147483648" << int(-2147483647 - 1);
        QTest::newRow("overflowing digits stop before the overflow") << "99999999999" << 999999999;
        QTest::newRow("hexadecimal uses all 32 bits") << "$FFFFFFFF" << -1;
    }
    void readInteger() {
        QFETCH(QString, text);
        QFETCH(int, expected);
        QCOMPARE(TextRules::ReadInteger(text), expected);
    }

    void formatAmount_data() {
        QTest::addColumn<double>("value");
        QTest::addColumn<QString>("expected");
        QTest::newRow("zero") << 0.0 << "0.00";
        QTest::newRow("under a thousand") << 999.5 << "999.50";
        QTest::newRow("thousands") << 3703.5 << "3,703.50";
        QTest::newRow("millions") << 1234567.891 << "1,234,567.89";
        QTest::newRow("negative with a full first group has no comma after the sign") << -123456.0 << "-123,456.00";
        QTest::newRow("negative small") << -123.45 << "-123.45";
        QTest::newRow("negative rounding to zero shows no sign") << -0.001 << "0.00";
        QTest::newRow("forty-nine digits are all shown")
            << std::ldexp(1.0, 160) << "1,461,501,637,330,902,918,203,684,832,716,283,019,655,932,542,976.00";
    }
    void formatAmount() {
        QFETCH(double, value);
        QFETCH(QString, expected);
        QCOMPARE(TextRules::FormatAmount(value), expected);
    }

    void trimAndUpperCase() {
        QCOMPARE(TextRules::TrimSpaces("  a b \t "), QString("a b \t"));
        QCOMPARE(TextRules::TrimSpaces("\ta "), QString("\ta"));
        QCOMPARE(TextRules::UpperAZ(QString::fromUtf8("abz éß Q1")), QString::fromUtf8("ABZ éß Q1"));
    }

    void dateFormats_data() {
        QTest::addColumn<int>("number");
        QTest::addColumn<QString>("menuText");
        QTest::addColumn<QString>("shown");
        QTest::newRow("1 mm/dd/yy") << 1 << "mm/dd/yy" << "3/7/24";
        QTest::newRow("2 mm-dd-yy") << 2 << "mm-dd-yy" << "3-7-24";
        QTest::newRow("3 mm.dd.yy") << 3 << "mm.dd.yy" << "3.7.24";
        QTest::newRow("4 dd/mm/yy") << 4 << "dd/mm/yy" << "7/3/24";
        QTest::newRow("5 dd-mm-yy") << 5 << "dd-mm-yy" << "7-3-24";
        QTest::newRow("6 dd.mm.yy") << 6 << "dd.mm.yy" << "7.3.24";
        QTest::newRow("7 mm/dd/yyyy") << 7 << "mm/dd/yyyy" << "3/7/2024";
        QTest::newRow("8 mm-dd-yyyy") << 8 << "mm-dd-yyyy" << "3-7-2024";
        QTest::newRow("9 mm.dd.yyyy") << 9 << "mm.dd.yyyy" << "3.7.2024";
        QTest::newRow("10 dd/mm/yyyy") << 10 << "dd/mm/yyyy" << "7/3/2024";
        QTest::newRow("11 dd-mm-yyyy") << 11 << "dd-mm-yyyy" << "7-3-2024";
        QTest::newRow("12 dd.mm.yyyy") << 12 << "dd.mm.yyyy" << "7.3.2024";
    }
    void dateFormats() {
        QFETCH(int, number);
        QFETCH(QString, menuText);
        QFETCH(QString, shown);
        const store::Date date{2024, 3, 7};
        QCOMPARE(QString(DateFormats::Choice(number).menuText), menuText);
        QVERIFY(DateFormats::Apply(number));
        QCOMPARE(DateFormats::Show(date), shown);
        QCOMPARE(DateFormats::Parse(shown), std::optional(date));

        // Two- and four-digit years parse in every format; a two-digit year
        // falls in the century window ending 20 years from now.
        const QChar sep = menuText[2];
        const bool dayFirst = menuText.startsWith("dd");
        auto text = [&](const QString& year) {
            return dayFirst ? "07" + QString(sep) + "03" + sep + year : "03" + QString(sep) + "07" + sep + year;
        };
        QCOMPARE(DateFormats::Parse(text("2024")), std::optional(date));
        const int windowEnd = store::Date::Today().year + 20;
        const QString lastInWindow = QString::number(windowEnd % 100).rightJustified(2, '0');
        const QString firstOutside = QString::number((windowEnd + 1) % 100).rightJustified(2, '0');
        QCOMPARE(DateFormats::Parse(text(lastInWindow))->year, windowEnd);
        QCOMPARE(DateFormats::Parse(text(firstOutside))->year, windowEnd + 1 - 100);
        // The separator of another format is not a date here.
        const QChar other = sep == '/' ? '-' : '/';
        QVERIFY(!DateFormats::Parse(text("2024").replace(sep, other)));
        QVERIFY(!DateFormats::Parse(""));
    }

    void dateFormatOutsideTheMenuChangesNothing() {
        QVERIFY(DateFormats::Apply(10));
        QVERIFY(!DateFormats::Apply(13));
        QVERIFY(!DateFormats::Apply(0));
        QCOMPARE(DateFormats::Show({2024, 12, 31}), QString("31/12/2024"));
    }

    void templateToInputMask_data() {
        QTest::addColumn<QString>("templateText");
        QTest::addColumn<QChar>("separator");
        QTest::addColumn<QString>("mask");
        QTest::addColumn<bool>("keepsLiterals");
        QTest::addColumn<bool>("leadingBlanks");
        QTest::newRow("date box, slashes") << R"(!99/99/9999;1;_)" << QChar('/') << R"(00\/00\/0000;_)" << true << true;
        QTest::newRow("date box follows the date separator")
            << R"(!99/99/9999;1;_)" << QChar('.') << R"(00\.00\.0000;_)" << true << true;
        QTest::newRow("equals criterion") << "= ccccccccc;1" << QChar('/') << R"(\=\ xxxxxxxxx;_)" << true << false;
        QTest::newRow("date range with escaped Qt mask letters")
            << R"(\> 99/99/0000 \A\ND \< 99/99/0000;1)" << QChar('-')
            << R"(\>\ 00\-00\-9999\ \A\N\D\ \<\ 00\-00\-9999;_)" << true << false;
        QTest::newRow("literals dropped, other blank") << "000;0;*" << QChar('/') << "999;*" << false << false;
    }
    void templateToInputMask() {
        QFETCH(QString, templateText);
        QFETCH(QChar, separator);
        QFETCH(QString, mask);
        QFETCH(bool, keepsLiterals);
        QFETCH(bool, leadingBlanks);
        const EditTemplate t(templateText);
        QCOMPARE(t.InputMask(separator), mask);
        QCOMPARE(t.KeepsLiterals(), keepsLiterals);
        QCOMPARE(t.LeadingBlanks(), leadingBlanks);
    }

    void templateInAnEditBox_data() {
        QTest::addColumn<QString>("templateText");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("acceptable");
        QTest::newRow("date box filled") << R"(!99/99/9999;1;_)" << "03072024" << "03/07/2024" << true;
        QTest::newRow("date box empty is acceptable (all optional)") << R"(!99/99/9999;1;_)" << "" << "  /  /    "
                                                                    << true;
        QTest::newRow("date box rejects letters") << R"(!99/99/9999;1;_)" << "ab" << "  /  /    " << true;
        QTest::newRow("equals criterion with text") << "= ccccccccc;1" << "Attic" << "= Attic    " << true;
        QTest::newRow("range keeps its letters as literals")
            << R"(\> 99/99/0000 \A\ND \< 99/99/0000;1)" << "0101200012312024" << "> 01/01/2000 AND < 12/31/2024"
            << true;
        QTest::newRow("range needs its year digits")
            << R"(\> 99/99/0000 \A\ND \< 99/99/0000;1)" << "0101" << "> 01/01/     AND <   /  /    " << false;
    }
    void templateInAnEditBox() {
        QFETCH(QString, templateText);
        QFETCH(QString, typed);
        QFETCH(QString, text);
        QFETCH(bool, acceptable);
        const EditTemplate t(templateText);
        QLineEdit edit;
        t.Apply(edit);
        edit.setFocus();
        edit.home(false);
        QTest::keyClicks(&edit, typed);
        QCOMPARE(t.Text(edit), text);
        QCOMPARE(edit.hasAcceptableInput(), acceptable);
    }

    void unfilledPositionsLeadOrTrail() {
        QCOMPARE(EditTemplate(R"(!99/99/9999;1;_)").TextFromDisplay("1_/2_/2024"), QString(" 1/ 2/2024"));
        QCOMPARE(EditTemplate(R"(99/99/9999;1;_)").TextFromDisplay("1_/2_/2024"), QString("1 /2 /2024"));
        QCOMPARE(EditTemplate(R"(99/99/9999;0;_)").TextFromDisplay("1_/2_/2024"), QString("1 2 2024"));
    }
};

QTEST_MAIN(FormatsTest)
#include "FormatsTest.moc"
