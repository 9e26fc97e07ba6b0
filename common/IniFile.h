#pragma once
// A private-profile file held in memory: named sections of "key=value"
// lines. Section and key names match without regard to letter case. Setting
// a key rewrites its line in place or adds it at the end of its section (a
// missing section is appended to the file); every other line, including
// comments, blank lines and keys we do not know, is kept as it was, so a
// file edited by hand survives our saves. QSettings is not used because it
// escapes keys and reorders sections.

#include <QString>
#include <QStringList>
#include <optional>

namespace common {

class IniFile {
public:
    IniFile() = default;

    // A missing or unreadable file gives an empty profile; so does one far
    // too large to be a profile, and *problem says so.
    static IniFile Load(const QString& path, QString* problem = nullptr);
    // Replaces the file atomically; false when it could not be written.
    bool Save(const QString& path) const;

    static IniFile FromText(const QString& text);
    QString ToText() const;

    // Value with blanks around it removed; empty optional when the section
    // or key is missing.
    std::optional<QString> Value(const QString& section, const QString& key) const;
    void SetValue(const QString& section, const QString& key, const QString& value);

    bool HasSection(const QString& section) const;
    // The keys of a section in file order (empty when it is missing).
    QStringList Keys(const QString& section) const;
    // Takes the section out with every line in it.
    void RemoveSection(const QString& section);

    // Reading the way the settings expect: the value (or the default when
    // missing) arrives through a buffer of bufferSize characters including
    // the terminating zero, so at most bufferSize - 1 characters arrive.
    QString ReadString(const QString& section, const QString& key, const QString& defaultValue,
                       int bufferSize) const;
    // The integer rule of TextRules::ReadInteger on the buffered text.
    int ReadInteger(const QString& section, const QString& key, int defaultValue, int bufferSize = 15) const;
    // True exactly when the text is "Yes" in any letter case.
    bool ReadBool(const QString& section, const QString& key, bool defaultValue) const;
    void WriteInteger(const QString& section, const QString& key, int value);
    void WriteBool(const QString& section, const QString& key, bool value);

private:
    // Index of the section header line, or -1.
    int FindSection(const QString& section) const;
    // Index just past the section's last line (next header or end).
    int SectionEnd(int header) const;
    int FindKey(int header, const QString& key) const;

    QStringList m_lines;
    QString m_newline = QStringLiteral("\n");
};

}  // namespace common
