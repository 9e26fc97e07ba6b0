#include "ScriptedUiServices.h"

namespace common {
namespace {

QString Describe(const QString& kind, const std::optional<QString>& title, const std::optional<QString>& text) {
    QString s = kind;
    if (title) s += QStringLiteral(" \"%1\"").arg(*title);
    if (text) s += QStringLiteral(": \"%1\"").arg(*text);
    return s;
}

}  // namespace

ScriptedUiServices::ScriptedUiServices() { m_previous = SetUi(this); }

ScriptedUiServices::~ScriptedUiServices() { SetUi(m_previous); }

ScriptedUiServices& ScriptedUiServices::Push(Expected e) {
    m_script.push_back(std::move(e));
    return *this;
}

ScriptedUiServices& ScriptedUiServices::ExpectMessage(const QString& title, std::optional<QString> text) {
    return Push({QStringLiteral("Message"), title, std::move(text), {}});
}

ScriptedUiServices& ScriptedUiServices::ExpectAsk(const QString& title, std::optional<QString> text, Answer answer) {
    return Push({QStringLiteral("Ask"), title, std::move(text), answer});
}

ScriptedUiServices& ScriptedUiServices::ExpectBeep() { return Push({QStringLiteral("Beep"), {}, {}, {}}); }

ScriptedUiServices& ScriptedUiServices::ExpectOpenFile(const QString& title, std::optional<QString> answer) {
    return Push({QStringLiteral("OpenFile"), title, {}, std::move(answer)});
}

ScriptedUiServices& ScriptedUiServices::ExpectSaveFile(const QString& title, std::optional<QString> answer) {
    return Push({QStringLiteral("SaveFile"), title, {}, std::move(answer)});
}

ScriptedUiServices& ScriptedUiServices::ExpectOpenFiles(const QString& title, QStringList answer) {
    return Push({QStringLiteral("OpenFiles"), title, {}, std::move(answer)});
}

ScriptedUiServices& ScriptedUiServices::ExpectOpenWithDesktop(const QString& path, bool answer) {
    return Push({QStringLiteral("OpenWithDesktop"), {}, path, answer});
}

ScriptedUiServices& ScriptedUiServices::ExpectChooseFolder(const QString& title, std::optional<QString> answer) {
    return Push({QStringLiteral("ChooseFolder"), title, {}, std::move(answer)});
}

ScriptedUiServices& ScriptedUiServices::ExpectChooseColor(std::optional<QColor> answer) {
    return Push({QStringLiteral("ChooseColor"), {}, {}, answer});
}

ScriptedUiServices& ScriptedUiServices::ExpectChooseFont(std::optional<FontChoice> answer) {
    return Push({QStringLiteral("ChooseFont"), {}, {}, std::move(answer)});
}

ScriptedUiServices& ScriptedUiServices::ExpectSetupPrinter(bool answer) {
    return Push({QStringLiteral("SetupPrinter"), {}, {}, answer});
}

ScriptedUiServices& ScriptedUiServices::ExpectModal(const QString& title, DriveDialog drive) {
    return Push({QStringLiteral("ShowModal"), title, {}, std::move(drive)});
}

ScriptedUiServices& ScriptedUiServices::ExpectModal(const QString& title, int result) {
    return Push({QStringLiteral("ShowModal"), title, {}, result});
}

ScriptedUiServices& ScriptedUiServices::ExpectHelp(const QString& keyword) {
    return Push({QStringLiteral("OpenHelp"), {}, keyword, {}});
}

QStringList ScriptedUiServices::Messages() const {
    QStringList out;
    for (const UiCall& c : m_calls)
        if (c.kind == QLatin1String("Message") || c.kind == QLatin1String("Ask")) out << c.title + u'|' + c.text;
    return out;
}

QStringList ScriptedUiServices::Failures() const {
    QStringList out = m_failures;
    for (const Expected& e : m_script) out << QStringLiteral("expected but never came: ") + Describe(e.kind, e.title, e.text);
    return out;
}

QString ScriptedUiServices::Report() const {
    QString s = Failures().join(u'\n');
    s += QStringLiteral("\ncalls made:");
    for (const UiCall& c : m_calls) s += u'\n' + Describe(c.kind, c.title, c.text);
    return s;
}

std::optional<ScriptedUiServices::Expected> ScriptedUiServices::Take(const QString& kind, const QString& title,
                                                                     const QString& text) {
    m_calls.push_back({kind, title, text});
    if (kind == QLatin1String("Beep") && m_allowBeeps &&
        (m_script.empty() || m_script.front().kind != QLatin1String("Beep")))
        return std::nullopt;
    if (m_script.empty()) {
        m_failures << QStringLiteral("unexpected call: ") + Describe(kind, title, text);
        return std::nullopt;
    }
    const Expected& next = m_script.front();
    const bool matches = next.kind == kind && (!next.title || *next.title == title) && (!next.text || *next.text == text);
    if (!matches) {
        m_failures << QStringLiteral("call %1 while expecting %2")
                          .arg(Describe(kind, title, text), Describe(next.kind, next.title, next.text));
        return std::nullopt;
    }
    Expected taken = std::move(m_script.front());
    m_script.pop_front();
    return taken;
}

void ScriptedUiServices::Message(const QString& title, const QString& text, MessageIcon) {
    Take(QStringLiteral("Message"), title, text);
}

Answer ScriptedUiServices::Ask(const QString& title, const QString& text, Buttons buttons, Answer, MessageIcon) {
    if (auto e = Take(QStringLiteral("Ask"), title, text))
        if (auto* answer = std::get_if<Answer>(&e->reply)) return *answer;
    // An unscripted question is answered as if the user backed out.
    switch (buttons) {
    case Buttons::Ok: return Answer::Ok;
    case Buttons::YesNo: return Answer::No;
    default: return Answer::Cancel;
    }
}

void ScriptedUiServices::Beep() { Take(QStringLiteral("Beep"), QString(), QString()); }

std::optional<QString> ScriptedUiServices::OpenFile(const FileRequest& request) {
    if (auto e = Take(QStringLiteral("OpenFile"), request.title, request.filter))
        if (auto* answer = std::get_if<std::optional<QString>>(&e->reply)) return *answer;
    return std::nullopt;
}

std::optional<QString> ScriptedUiServices::SaveFile(const FileRequest& request) {
    if (auto e = Take(QStringLiteral("SaveFile"), request.title, request.filter))
        if (auto* answer = std::get_if<std::optional<QString>>(&e->reply)) return *answer;
    return std::nullopt;
}

QStringList ScriptedUiServices::OpenFiles(const FileRequest& request) {
    if (auto e = Take(QStringLiteral("OpenFiles"), request.title, request.filter))
        if (auto* answer = std::get_if<QStringList>(&e->reply)) return *answer;
    return {};
}

bool ScriptedUiServices::OpenWithDesktop(const QString& path) {
    if (auto e = Take(QStringLiteral("OpenWithDesktop"), QString(), path))
        if (auto* answer = std::get_if<bool>(&e->reply)) return *answer;
    return false;
}

std::optional<QString> ScriptedUiServices::ChooseFolder(const QString& title, const QString& directory) {
    if (auto e = Take(QStringLiteral("ChooseFolder"), title, directory))
        if (auto* answer = std::get_if<std::optional<QString>>(&e->reply)) return *answer;
    return std::nullopt;
}

std::optional<QColor> ScriptedUiServices::ChooseColor(const QColor& initial) {
    if (auto e = Take(QStringLiteral("ChooseColor"), QString(), initial.name()))
        if (auto* answer = std::get_if<std::optional<QColor>>(&e->reply)) return *answer;
    return std::nullopt;
}

std::optional<FontChoice> ScriptedUiServices::ChooseFont(const FontChoice& initial, bool) {
    if (auto e = Take(QStringLiteral("ChooseFont"), QString(), initial.font.family()))
        if (auto* answer = std::get_if<std::optional<FontChoice>>(&e->reply)) return *answer;
    return std::nullopt;
}

bool ScriptedUiServices::SetupPrinter(QPrinter&) {
    if (auto e = Take(QStringLiteral("SetupPrinter"), QString(), QString()))
        if (auto* answer = std::get_if<bool>(&e->reply)) return *answer;
    return false;
}

int ScriptedUiServices::ShowModal(QDialog& dialog) {
    auto e = Take(QStringLiteral("ShowModal"), dialog.windowTitle(), QString());
    if (!e) return QDialog::Rejected;
    if (auto* result = std::get_if<int>(&e->reply)) return *result;
    dialog.setResult(QDialog::Rejected);
    dialog.show();
    if (auto* drive = std::get_if<DriveDialog>(&e->reply); drive && *drive) (*drive)(dialog);
    if (dialog.isVisible()) dialog.reject();
    return dialog.result();
}

void ScriptedUiServices::OpenHelp(const QString& keyword) { Take(QStringLiteral("OpenHelp"), QString(), keyword); }

}  // namespace common
