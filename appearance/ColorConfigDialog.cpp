#include "ColorConfigDialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "ColorPresets.h"
#include "Settings.h"
#include "UiServices.h"
#include "WindowLayout.h"

namespace appearance {
namespace {

using common::ColorSlot;
using common::WindowGroup;

constexpr int kAllGroups = 6;

WindowGroup GroupOfTarget(int target) {
    return target >= 1 && target <= 5 ? WindowGroup(target - 1) : WindowGroup::Main;
}

}  // namespace

ColorConfigDialog::ColorConfigDialog(int target, QWidget* parent)
    : QDialog(parent), m_target(target), m_working(common::AppSettings().scheme.Group(GroupOfTarget(target))) {
    setWindowTitle("Color Configuration");
    auto* root = new QVBoxLayout(this);
    auto* sections = new QGridLayout;
    root->addLayout(sections);

    struct Slot {
        const char* caption;
        ColorSlot slot;
    };
    auto section = [&](const QString& heading, std::vector<Slot> slotList, QWidget* sample, int index) {
        auto* frame = new QFrame(this);
        frame->setFrameShape(QFrame::StyledPanel);
        frame->setFrameShadow(QFrame::Sunken);
        auto* box = new QVBoxLayout(frame);
        auto* label = new QLabel(heading, frame);
        QFont f = label->font();
        f.setBold(true);
        label->setFont(f);
        SectionLabels.push_back(label);
        box->addWidget(label);
        auto* row = new QHBoxLayout;
        auto* buttons = new QVBoxLayout;
        for (const Slot& s : slotList) {
            auto* button = new QPushButton(s.caption, frame);
            buttons->addWidget(button);
            m_buttons.emplace_back(s.slot, button);
            connect(button, &QPushButton::clicked, this, [this, slot = s.slot] { ChooseSlotColor(slot); });
        }
        buttons->addStretch(1);
        row->addLayout(buttons);
        if (sample) {
            sample->setParent(frame);
            const bool button = qobject_cast<QAbstractButton*>(sample) != nullptr;
            row->addWidget(sample, 1, button ? Qt::AlignLeft | Qt::AlignVCenter : Qt::AlignVCenter);
        } else {
            row->addStretch(1);
        }
        box->addLayout(row);
        sections->addWidget(frame, index / 2, index % 2);
    };

    RadioSample = new QRadioButton("Radio Button");
    RadioSample->setChecked(true);
    CheckSample = new QCheckBox("Check Box");
    CheckSample->setChecked(true);
    // Buttons fill with the button colour unless told otherwise; the samples
    // must show their group's background colour.
    RadioSample->setBackgroundRole(QPalette::Window);
    CheckSample->setBackgroundRole(QPalette::Window);
    EditSample = new QLineEdit("Sample Text");
    ComboSample = new QComboBox;
    ComboSample->addItems({"Sample Text", "Sample Text"});
    ListSample = new QListWidget;
    ListSample->addItems({"Sample Text", "Sample Text"});
    ListSample->setFixedHeight(48);

    section("Window",
            {{"Background", ColorSlot::MainBackground},
             {"Major Titles", ColorSlot::MajorTitle},
             {"Minor Titles", ColorSlot::MinorTitle}},
            nullptr, 0);
    section("Radio Button", {{"Text", ColorSlot::RadioText}, {"Background", ColorSlot::RadioBackground}}, RadioSample,
            1);
    section("Check Box", {{"Text", ColorSlot::CheckText}, {"Background", ColorSlot::CheckBackground}}, CheckSample, 2);
    section("Edit Box", {{"Text", ColorSlot::EditText}, {"Background", ColorSlot::EditBackground}}, EditSample, 3);
    section("Combo Box", {{"Text", ColorSlot::ComboText}, {"Background", ColorSlot::ComboBackground}}, ComboSample, 4);
    section("List Box", {{"Text", ColorSlot::ListBoxText}, {"Background", ColorSlot::ListBoxBackground}}, ListSample,
            5);

    auto* bottom = new QHBoxLayout;
    auto* presetBox = new QVBoxLayout;
    PresetLabel = new QLabel("Predefined Color Combinations", this);
    PresetCombo = new QComboBox(this);
    PresetCombo->addItem(QString());
    for (const ColorPreset& p : ColorPresets::All()) PresetCombo->addItem(p.name);
    PresetCombo->setMinimumWidth(200);
    presetBox->addWidget(PresetLabel);
    presetBox->addWidget(PresetCombo);
    bottom->addLayout(presetBox);
    bottom->addStretch(1);
    OkButton = new QPushButton("&Ok", this);
    CancelButton = new QPushButton("&Cancel", this);
    OkButton->setDefault(true);
    bottom->addWidget(OkButton, 0, Qt::AlignBottom);
    bottom->addWidget(CancelButton, 0, Qt::AlignBottom);
    root->addLayout(bottom);
    layout()->setSizeConstraint(QLayout::SetFixedSize);

    connect(PresetCombo, &QComboBox::activated, this, [this](int index) { ApplyPreset(index); });
    connect(OkButton, &QPushButton::clicked, this, [this] { StoreColors(); });
    connect(CancelButton, &QPushButton::clicked, this, [this] { Cancel(); });
    RecolorSamples();
}

QPushButton* ColorConfigDialog::ButtonFor(ColorSlot slot) const {
    for (const auto& [s, button] : m_buttons)
        if (s == slot) return button;
    return nullptr;
}

void ColorConfigDialog::showEvent(QShowEvent* event) {
    common::WindowLayout::PrepareDialog(*this);
    RecolorSamples();
    common::WindowLayout::FinishShowing(*this, true);
    QDialog::showEvent(event);
}

void ColorConfigDialog::RecolorSamples() {
    // The samples are the dialog's own controls, so colouring the dialog
    // from the working record colours every sample, the preset list included.
    common::WindowLayout::ApplyColors(*this, m_working);
    for (QLabel* label : SectionLabels) common::WindowLayout::SetTextColor(*label, m_working[ColorSlot::MajorTitle]);
    common::WindowLayout::SetTextColor(*PresetLabel, m_working[ColorSlot::MinorTitle]);
}

void ColorConfigDialog::ChooseSlotColor(ColorSlot slot) {
    const auto chosen = common::Ui().ChooseColor(m_working[slot]);
    if (!chosen) return;
    m_working[slot] = *chosen;
    RecolorSamples();
}

void ColorConfigDialog::ApplyPreset(int index) {
    const auto& presets = ColorPresets::All();
    if (index < 1 || index > int(presets.size())) return;
    ColorPresets::Apply(presets[size_t(index - 1)], m_working);
    RecolorSamples();
}

void ColorConfigDialog::StoreColors() {
    common::DisplayScheme& scheme = common::AppSettings().scheme;
    if (m_target == kAllGroups) {
        for (int g = 0; g < common::kWindowGroupCount; ++g) scheme.Group(WindowGroup(g)) = m_working;
    } else if (m_target >= 1 && m_target <= 5) {
        scheme.Group(GroupOfTarget(m_target)) = m_working;
    }
    accept();
}

void ColorConfigDialog::Cancel() { reject(); }

}  // namespace appearance
