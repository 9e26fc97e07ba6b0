// The filter box's word rule against a reference built on Qt's Unicode
// decomposition over a generated table (accents, letter case, words in any
// order, the last field, values that fill their field), and the cases the
// decomposition does not cover: letters with a stroke, code pages other
// than Windows-1252, a word the table's code page cannot hold, a word that
// would run from one field into the next.

#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtTest>

#include "Table.h"
#include "WordFilter.h"

using find::WordFilter;

namespace {

// Lower case, accents taken off as Unicode decomposes them.
QString Reference(const QString& text) {
    QString out;
    for (QChar c : text.normalized(QString::NormalizationForm_D))
        if (c.category() != QChar::Mark_NonSpacing) out += c;
    return out.toLower();
}

std::vector<store::FieldDef> Fields() {
    return {store::FieldDef::String("ITEM", 12), store::FieldDef::String("BRAND", 8), store::FieldDef::Float("COST"),
            store::FieldDef::String("NOTES", 16)};
}

}  // namespace

class WordFilterTest : public QObject {
    Q_OBJECT

private slots:
    void foldsCharacters_data() {
        QTest::addColumn<QString>("in");
        QTest::addColumn<QString>("out");
        QTest::newRow("capital") << "Q" << "q";
        QTest::newRow("acute") << "É" << "e";
        QTest::newRow("ring") << "å" << "a";
        QTest::newRow("stroke") << "Ø" << "o";
        QTest::newRow("Polish l") << "Ł" << "l";
        QTest::newRow("dotless i") << "ı" << "i";
        QTest::newRow("ligature keeps one letter") << "Œ" << "œ";
        QTest::newRow("sharp s stays") << "ß" << "ß";
        QTest::newRow("Cyrillic") << "Ж" << "ж";
        QTest::newRow("Cyrillic Io") << "Ё" << "ё";
        QTest::newRow("Greek") << "Ω" << "ω";
        QTest::newRow("Greek Alpha") << "Α" << "α";
        QTest::newRow("last Greek capital") << "Ϋ" << "ϋ";
        QTest::newRow("Cyrillic A") << "А" << "а";
        QTest::newRow("Cyrillic Ie with grave") << "Ѐ" << "ѐ";
        QTest::newRow("sign stays") << "×" << "×";
        QTest::newRow("long s") << "ſ" << "s";
    }
    void foldsCharacters() {
        QFETCH(QString, in);
        QFETCH(QString, out);
        const char32_t folded = find::FoldCharacter(in.toUcs4().at(0));
        QCOMPARE(QString::fromUcs4(&folded, 1), out);
    }

    // Random items of accented and plain words, matched by the filter and
    // by the reference for queries of one to three words.
    void matchesAsTheReferenceOverAGeneratedTable() {
        QTemporaryDir dir;
        store::Table t;
        t.SetDirectory(dir.path().toStdString());
        t.SetTableName("WORDS");
        t.Create(Fields());
        t.Open();
        const QStringList vocabulary = {"Café", "cafe", "CRÈME", "creme", "Über", "uber", "lamp", "Lampe",
                                        "Niño", "nino", "garçon", "Señor", "blue", "BLUE", "Ähre", "x"};
        QRandomGenerator rng(42);
        auto phrase = [&](int width) {
            QString s;
            while (true) {
                const QString next = (s.isEmpty() ? "" : " ") + vocabulary[int(rng.bounded(vocabulary.size()))];
                if (s.size() + next.size() > width) return s;
                s += next;
            }
        };
        std::vector<std::array<QString, 3>> texts;
        for (int i = 0; i < 400; ++i) {
            std::array<QString, 3> r{phrase(12), phrase(8), phrase(16)};
            if (i == 399) r = {"Sofa", "Zeta", "ends here: Café"};  // the last field of the last record, filled
            t.Append();
            t.SetText("ITEM", r[0].toStdString());
            t.SetText("BRAND", r[1].toStdString());
            t.SetText("NOTES", r[2].toStdString());
            t.Post();
            texts.push_back(r);
        }
        QCOMPARE(texts.back()[2].size(), 15);
        const QStringList queries = {"cafe",      "CAFÉ",     "creme uber",   "uber creme", "nino senor",
                                     "garcon",    "ahre blue", "lamp lampe",  "blue x cafe", "here: cafe",
                                     "zeta sofa", "sofa cafe", "  spaced   lamp  ", "ñ", "e"};
        for (const QString& q : queries) {
            const WordFilter filter(t.Layout(), q.toStdString());
            QStringList words = Reference(q).split(' ', Qt::SkipEmptyParts);
            int expected = 0, got = 0;
            for (uint32_t r = 0; r < texts.size(); ++r) {
                bool all = true;
                for (const QString& w : words) {
                    bool found = false;
                    for (const QString& field : texts[r]) found = found || Reference(field).contains(w);
                    all = all && found;
                }
                const bool matched = filter.Matches(t.ViewOf(r));
                QVERIFY2(matched == all, qPrintable(q + " at record " + QString::number(r)));
                expected += all;
                got += matched;
            }
            QCOMPARE(got, expected);
        }
        // The last record holds both words, in two fields.
        QVERIFY(WordFilter(t.Layout(), "cafe SOFA").Matches(t.ViewOf(399)));
        // A word never runs from one field into the next ("Sofa" then "Zeta").
        QVERIFY(!WordFilter(t.Layout(), "sofazeta").Matches(t.ViewOf(399)));
        // Nothing typed shows everything; a word with a character the code
        // page cannot hold shows nothing.
        QVERIFY(WordFilter(t.Layout(), "   ").Empty());
        QVERIFY(WordFilter(t.Layout(), "").Matches(t.ViewOf(0)));
        const WordFilter impossible(t.Layout(), "cafe 東京");
        QVERIFY(!impossible.Empty());
        QVERIFY(!impossible.Matches(t.ViewOf(399)));
        QCOMPARE(WordFilter(t.Layout(), "Lamp lamp LAMPE").Words(), std::vector<std::string>({"lampe", "lamp"}));
        // Typed characters of two and three bytes reach the table's bytes.
        QCOMPARE(WordFilter(t.Layout(), "STRAßE").Words(), std::vector<std::string>({"stra\xDF" "e"}));
        QCOMPARE(WordFilter(t.Layout(), "5€").Words(), std::vector<std::string>({"5\x80"}));
        // A character cut short at a word's end (a command line's bytes
        // need not be whole UTF-8) never takes in the blank after it.
        QCOMPARE(WordFilter(t.Layout(), "caf\xC3 sofa").Words(), std::vector<std::string>({"caf\x03", "sofa"}));
    }

    // Letters the decomposition leaves alone, and another code page.
    void foldsLettersWithAStrokeInCentralEuropeanTables() {
        const store::RecordLayout layout(Fields(), 1250);
        std::string record(size_t(layout.RecordLength()) + 1, ' ');
        const std::string item = *layout.Page().Encode("Łódź lamp");
        record.replace(size_t(layout.Offset(0)), item.size(), item);
        const store::RecordView view(record.data(), layout);
        QVERIFY(WordFilter(layout, "LODZ").Matches(view));
        QVERIFY(WordFilter(layout, "łódź lamp").Matches(view));
        QVERIFY(!WordFilter(layout, "lodzz").Matches(view));
        const auto fold = find::FoldTable(layout.Page());
        QCOMPARE(int(fold[0xA3]), int('l'));  // Ł
        QCOMPARE(int(fold[0x8F]), int('z'));  // Ź
        QCOMPARE(int(fold[0xB9]), int('a'));  // ą
        QCOMPARE(int(fold['Q']), int('q'));
        QCOMPARE(int(fold[0xDF]), 0xDF);  // ß stays
    }
};

QTEST_MAIN(WordFilterTest)
#include "WordFilterTest.moc"
