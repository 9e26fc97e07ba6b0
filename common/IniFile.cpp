#include "IniFile.h"

#include "TextFile.h"
#include "TextRules.h"

namespace common {
namespace {

bool IsBlank(QChar c) { return c == u' ' || c == u'\t'; }

QString TrimBlanks(const QString& s) {
    qsizetype begin = 0, end = s.size();
    while (begin < end && IsBlank(s[begin])) ++begin;
    while (end > begin && IsBlank(s[end - 1])) --end;
    return s.mid(begin, end - begin);
}

// Section name of a header line "[name]", or empty optional.
std::optional<QString> HeaderName(const QString& line) {
    const QString t = TrimBlanks(line);
    if (!t.startsWith(u'[')) return std::nullopt;
    const qsizetype close = t.indexOf(u']');
    if (close < 0) return std::nullopt;
    return TrimBlanks(t.mid(1, close - 1));
}

// Key of a "key=value" line; comments and lines without "=" have none.
std::optional<QString> KeyName(const QString& line) {
    const QString t = TrimBlanks(line);
    if (t.isEmpty() || t.startsWith(u';') || t.startsWith(u'[')) return std::nullopt;
    const qsizetype eq = t.indexOf(u'=');
    if (eq < 0) return std::nullopt;
    return TrimBlanks(t.left(eq));
}

bool SameName(const QString& a, const QString& b) {
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

}  // namespace

IniFile IniFile::Load(const QString& path, QString* problem) {
    const auto text = TextFile::Read(path, problem);
    return text ? FromText(*text) : IniFile();
}

bool IniFile::Save(const QString& path) const {
    return TextFile::Write(path, ToText());
}

IniFile IniFile::FromText(const QString& text) {
    IniFile ini;
    if (text.isEmpty()) return ini;
    if (text.contains(QStringLiteral("\r\n"))) ini.m_newline = QStringLiteral("\r\n");
    QString body = text;
    body.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    ini.m_lines = body.split(u'\n');
    // The final newline of the file does not start another line.
    if (!ini.m_lines.isEmpty() && ini.m_lines.last().isEmpty()) ini.m_lines.removeLast();
    return ini;
}

QString IniFile::ToText() const {
    QString out;
    for (const QString& line : m_lines) out += line + m_newline;
    return out;
}

int IniFile::FindSection(const QString& section) const {
    for (int i = 0; i < m_lines.size(); ++i) {
        const auto name = HeaderName(m_lines[i]);
        if (name && SameName(*name, section)) return i;
    }
    return -1;
}

int IniFile::SectionEnd(int header) const {
    int i = header + 1;
    while (i < m_lines.size() && !HeaderName(m_lines[i])) ++i;
    return i;
}

int IniFile::FindKey(int header, const QString& key) const {
    const int end = SectionEnd(header);
    for (int i = header + 1; i < end; ++i) {
        const auto name = KeyName(m_lines[i]);
        if (name && SameName(*name, key)) return i;
    }
    return -1;
}

bool IniFile::HasSection(const QString& section) const { return FindSection(section) >= 0; }

QStringList IniFile::Keys(const QString& section) const {
    QStringList keys;
    const int header = FindSection(section);
    if (header < 0) return keys;
    const int end = SectionEnd(header);
    for (int i = header + 1; i < end; ++i)
        if (const auto name = KeyName(m_lines[i])) keys << *name;
    return keys;
}

void IniFile::RemoveSection(const QString& section) {
    const int header = FindSection(section);
    if (header < 0) return;
    int end = SectionEnd(header);
    // The blank line that kept it apart from the one before goes too.
    int start = header;
    if (start > 0 && TrimBlanks(m_lines[start - 1]).isEmpty()) --start;
    m_lines.erase(m_lines.begin() + start, m_lines.begin() + end);
}

std::optional<QString> IniFile::Value(const QString& section, const QString& key) const {
    const int header = FindSection(section);
    if (header < 0) return std::nullopt;
    const int line = FindKey(header, key);
    if (line < 0) return std::nullopt;
    const QString& text = m_lines[line];
    return TrimBlanks(text.mid(text.indexOf(u'=') + 1));
}

void IniFile::SetValue(const QString& section, const QString& key, const QString& value) {
    int header = FindSection(section);
    if (header < 0) {
        // A blank line keeps sections apart the way hand-written files look.
        if (!m_lines.isEmpty() && !TrimBlanks(m_lines.last()).isEmpty()) m_lines.append(QString());
        m_lines.append(u'[' + section + u']');
        m_lines.append(key + u'=' + value);
        return;
    }
    const int line = FindKey(header, key);
    if (line >= 0) {
        // Keep the file's own spelling of the key.
        const QString& old = m_lines[line];
        m_lines[line] = old.left(old.indexOf(u'=') + 1) + value;
        return;
    }
    // After the section's last non-blank line, so blank separators stay.
    int insertAt = SectionEnd(header);
    while (insertAt > header + 1 && TrimBlanks(m_lines[insertAt - 1]).isEmpty()) --insertAt;
    m_lines.insert(insertAt, key + u'=' + value);
}

QString IniFile::ReadString(const QString& section, const QString& key, const QString& defaultValue,
                           int bufferSize) const {
    return Value(section, key).value_or(defaultValue).left(qMax(0, bufferSize - 1));
}

int IniFile::ReadInteger(const QString& section, const QString& key, int defaultValue, int bufferSize) const {
    return TextRules::ReadInteger(ReadString(section, key, QString::number(defaultValue), bufferSize));
}

bool IniFile::ReadBool(const QString& section, const QString& key, bool defaultValue) const {
    return TextRules::IsYes(ReadString(section, key, TextRules::YesNo(defaultValue), 15));
}

void IniFile::WriteInteger(const QString& section, const QString& key, int value) {
    SetValue(section, key, QString::number(value));
}

void IniFile::WriteBool(const QString& section, const QString& key, bool value) {
    SetValue(section, key, TextRules::YesNo(value));
}

}  // namespace common
