#include "FontChooser.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFontDatabase>
#include <QFontDialog>
#include <QFontInfo>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QVBoxLayout>

namespace common {
namespace {

QIcon Swatch(const QColor& color) {
    QPixmap pm(24, 14);
    pm.fill(color);
    QPainter p(&pm);
    p.setPen(Qt::black);
    p.drawRect(pm.rect().adjusted(0, 0, -1, -1));
    return QIcon(pm);
}

}  // namespace

const QList<std::pair<QString, QColor>>& FontChooser::BasicColors() {
    static const QList<std::pair<QString, QColor>> kColors = {
        {"Black", QColor(0, 0, 0)},       {"Maroon", QColor(128, 0, 0)},    {"Green", QColor(0, 128, 0)},
        {"Olive", QColor(128, 128, 0)},   {"Navy", QColor(0, 0, 128)},      {"Purple", QColor(128, 0, 128)},
        {"Teal", QColor(0, 128, 128)},    {"Gray", QColor(128, 128, 128)},  {"Silver", QColor(192, 192, 192)},
        {"Red", QColor(255, 0, 0)},       {"Lime", QColor(0, 255, 0)},      {"Yellow", QColor(255, 255, 0)},
        {"Blue", QColor(0, 0, 255)},      {"Fuchsia", QColor(255, 0, 255)}, {"Aqua", QColor(0, 255, 255)},
        {"White", QColor(255, 255, 255)},
    };
    return kColors;
}

FontChooser::FontChooser(const FontChoice& initial, bool withEffects, QWidget* parent)
    : QDialog(parent), m_initial(initial), m_withEffects(withEffects) {
    setWindowTitle(QStringLiteral("Font"));
    auto* root = new QVBoxLayout(this);

    // Qt's font dialog, embedded as a part of this one.
    Fonts = new QFontDialog(this);
    Fonts->setWindowFlags(Qt::Widget);
    Fonts->setOptions(QFontDialog::NoButtons | QFontDialog::DontUseNativeDialog);
    // A typeface this machine draws with a look-alike ("Arial") is shown
    // as that look-alike, not as the first face of the list.
    QFont shown = initial.font;
    if (!QFontDatabase::families().contains(shown.family(), Qt::CaseInsensitive))
        shown.setFamily(QFontInfo(initial.font).family());
    Fonts->setCurrentFont(shown);
    m_shown = Fonts->currentFont();
    root->addWidget(Fonts, 1);
    if (!withEffects) {
        // Its effects box holds the underline and strikeout check boxes.
        for (QGroupBox* box : Fonts->findChildren<QGroupBox*>())
            if (!box->findChildren<QCheckBox*>().isEmpty()) box->hide();
    }

    auto* colorRow = new QHBoxLayout;
    auto* colorLabel = new QLabel(QStringLiteral("Co&lor:"), this);
    ColorCombo = new QComboBox(this);
    for (const auto& [name, color] : BasicColors()) ColorCombo->addItem(Swatch(color), name, color);
    colorLabel->setBuddy(ColorCombo);
    OtherColorButton = new QPushButton(QStringLiteral("&Other Color..."), this);
    Sample = new QLabel(QStringLiteral("AaBbYyZz"), this);
    Sample->setAlignment(Qt::AlignCenter);
    Sample->setFrameShape(QFrame::StyledPanel);
    Sample->setFrameShadow(QFrame::Sunken);
    Sample->setBackgroundRole(QPalette::Base);
    Sample->setAutoFillBackground(true);
    Sample->setMinimumHeight(48);
    colorRow->addWidget(colorLabel);
    colorRow->addWidget(ColorCombo);
    colorRow->addWidget(OtherColorButton);
    colorRow->addWidget(Sample, 1);
    root->addLayout(colorRow);
    if (!withEffects)
        for (QWidget* w : std::initializer_list<QWidget*>{colorLabel, ColorCombo, OtherColorButton}) w->hide();

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    root->addWidget(buttons);

    SetColor(initial.color.isValid() ? initial.color : QColor(Qt::black));
    connect(ColorCombo, &QComboBox::currentIndexChanged, this, [this] { UpdateSample(); });
    connect(OtherColorButton, &QPushButton::clicked, this, [this] { ChooseOtherColor(); });
    connect(Fonts, &QFontDialog::currentFontChanged, this, [this] { UpdateSample(); });
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    UpdateSample();
}

void FontChooser::SetColor(const QColor& color) {
    for (int i = 0; i < ColorCombo->count(); ++i) {
        if (ColorCombo->itemData(i).value<QColor>() == color) {
            ColorCombo->setCurrentIndex(i);
            return;
        }
    }
    // A colour of its own joins the list after the basic ones.
    ColorCombo->addItem(Swatch(color), QStringLiteral("Custom"), color);
    ColorCombo->setCurrentIndex(ColorCombo->count() - 1);
}

void FontChooser::ChooseOtherColor() {
    const auto chosen = Ui().ChooseColor(ColorCombo->currentData().value<QColor>());
    if (chosen) SetColor(*chosen);
}

FontChoice FontChooser::Choice() const {
    // Only what the user changed replaces the initial font's properties.
    const QFont now = Fonts->currentFont();
    QFont out = m_initial.font;
    if (now.family() != m_shown.family()) out.setFamily(now.family());
    if (now.bold() != m_shown.bold()) out.setBold(now.bold());
    if (now.italic() != m_shown.italic()) out.setItalic(now.italic());
    if (now.pointSizeF() > 0 && now.pointSizeF() != m_shown.pointSizeF()) out.setPointSizeF(now.pointSizeF());
    if (m_withEffects) {
        out.setUnderline(now.underline());
        out.setStrikeOut(now.strikeOut());
    }
    const QColor color = m_withEffects ? ColorCombo->currentData().value<QColor>() : m_initial.color;
    return FontChoice{out, color};
}

void FontChooser::UpdateSample() {
    const FontChoice choice = Choice();
    Sample->setFont(choice.font);
    QPalette pal = Sample->palette();
    pal.setColor(QPalette::WindowText, choice.color);
    Sample->setPalette(pal);
}

}  // namespace common
