// The font dialog the program shows through its Qt services: a colour and
// the two effects beside Qt's font choice, and a stored typeface that
// survives OK without a change.

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFontDialog>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <QtTest>

#include "FontChooser.h"
#include "QtUiServices.h"
#include "ScriptedUiServices.h"

using common::FontChoice;
using common::FontChooser;

namespace {

QFont Font(const QString& family, int points) {
    QFont f(family);
    f.setPointSize(points);
    return f;
}

// Runs a modal Qt service call, letting drive() act on the dialog it opens.
template <typename Call>
auto WithModal(Call call, std::function<void(FontChooser&)> drive) {
    QTimer::singleShot(0, [drive] {
        auto* dialog = qobject_cast<FontChooser*>(QApplication::activeModalWidget());
        QVERIFY(dialog);
        drive(*dialog);
    });
    return call();
}

}  // namespace

class FontChooserTest : public QObject {
    Q_OBJECT

private slots:
    // "Arial" is drawn with a look-alike face here; OK without touching the
    // typeface used to store the look-alike's name (or "Sans Serif").
    void fontDialogKeepsTheStoredFamilyOnOk_data() {
        QTest::addColumn<QString>("family");
        QTest::addColumn<bool>("withEffects");
        QTest::newRow("grid font") << "Arial" << true;
        QTest::newRow("label font") << "Arial" << false;
        QTest::newRow("a face this machine lacks") << "Gulliver Sans" << true;
    }
    void fontDialogKeepsTheStoredFamilyOnOk() {
        QFETCH(QString, family);
        QFETCH(bool, withEffects);
        QFont initial = Font(family, 12);
        initial.setBold(true);
        initial.setUnderline(true);
        const auto chosen = WithModal(
            [&] {
                return common::QtUiServices().ChooseFont({initial, QColor(0, 0, 128)}, withEffects);
            },
            [](FontChooser& d) { d.accept(); });
        QVERIFY(chosen);
        QCOMPARE(chosen->font.family(), family);
        QCOMPARE(chosen->font.pointSize(), 12);
        QVERIFY(chosen->font.bold());
        QVERIFY(chosen->font.underline());
        QCOMPARE(chosen->color, QColor(0, 0, 128));
    }

    // A dark cell colour needs a light text colour: the dialog offers the
    // colour with underline and strikeout, and returns them through the
    // services as the grid fonts store them.
    void gridFontColoursCanBeChosen() {
        const auto chosen = WithModal(
            [] {
                return common::QtUiServices().ChooseFont({Font("Arial", 10), QColor(0, 0, 0)}, true);
            },
            [](FontChooser& d) {
                QVERIFY(d.ColorCombo->isVisible());
                d.ColorCombo->setCurrentIndex(d.ColorCombo->findText("Yellow"));
                QFont f = d.Fonts->currentFont();
                f.setFamily("Liberation Serif");
                f.setStrikeOut(true);
                f.setUnderline(true);
                d.Fonts->setCurrentFont(f);
                QCOMPARE(d.Sample->palette().color(QPalette::WindowText), QColor(255, 255, 0));
                QVERIFY(d.Sample->font().strikeOut());
                d.accept();
            });
        QVERIFY(chosen);
        QCOMPARE(chosen->color, QColor(255, 255, 0));
        QCOMPARE(chosen->font.family(), QString("Liberation Serif"));
        QVERIFY(chosen->font.strikeOut());
        QVERIFY(chosen->font.underline());
        QCOMPARE(chosen->font.pointSize(), 10);
    }

    void anyColourThroughTheColourDialog() {
        common::ScriptedUiServices ui;
        ui.ExpectChooseColor(QColor(1, 2, 3));
        FontChooser dialog({Font("Arial", 10), QColor(0, 128, 0)}, true);
        QCOMPARE(dialog.ColorCombo->currentText(), QString("Green"));
        dialog.ChooseOtherColor();
        QCOMPARE(dialog.Choice().color, QColor(1, 2, 3));
        HALVENOR_VERIFY_UI(ui);
    }

    // The window fonts store only typeface, bold and italic: their dialog
    // offers no colour, underline or strikeout and never changes them.
    void withoutEffectsOnlyTypefaceAndStyle() {
        QFont initial = Font("Arial", 10);
        FontChooser dialog({initial, QColor(5, 5, 5)}, false);
        dialog.show();
        QVERIFY(!dialog.ColorCombo->isVisible());
        QVERIFY(!dialog.OtherColorButton->isVisible());
        for (QGroupBox* box : dialog.Fonts->findChildren<QGroupBox*>())
            if (!box->findChildren<QCheckBox*>().isEmpty()) QVERIFY(!box->isVisible());
        QFont f = dialog.Fonts->currentFont();
        f.setStyleName(QString());  // the style list picks italic by the flag
        f.setUnderline(true);
        f.setItalic(true);
        dialog.Fonts->setCurrentFont(f);
        const FontChoice choice = dialog.Choice();
        QVERIFY(!choice.font.underline());
        QVERIFY(choice.font.italic());
        QCOMPARE(choice.color, QColor(5, 5, 5));
    }
};

QTEST_MAIN(FontChooserTest)
#include "FontChooserTest.moc"
