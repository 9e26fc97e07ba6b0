#include "AppPaths.h"

#include <QDir>

namespace common {
namespace {

const char kFolderName[] = "halvenor";

// An XDG variable counts only when it holds an absolute path.
QString XdgBase(const char* variable, const QString& fallbackUnderHome) {
    const QString value = qEnvironmentVariable(variable);
    if (!value.isEmpty() && QDir::isAbsolutePath(value)) return QDir::cleanPath(value);
    return AppPaths::Join(QDir::homePath(), fallbackUnderHome);
}

QString& StartDirectoryStore() {
    static QString dir;
    return dir;
}

}  // namespace

QString AppPaths::ConfigDir() {
    return Join(XdgBase("XDG_CONFIG_HOME", QStringLiteral(".config")), kFolderName);
}

QString AppPaths::DataDir() {
    const QString dir = Join(XdgBase("XDG_DATA_HOME", QStringLiteral(".local/share")), kFolderName);
    QDir().mkpath(dir);
    return dir;
}

QString AppPaths::SettingsFile() { return Join(ConfigDir(), QStringLiteral("KELDOR.INI")); }

void AppPaths::RecordStartDirectory() {
    if (StartDirectoryStore().isEmpty()) StartDirectoryStore() = QDir::currentPath();
}

QString AppPaths::StartDirectory() {
    RecordStartDirectory();
    return StartDirectoryStore();
}

QString AppPaths::Join(const QString& dir, const QString& name) {
    if (dir.isEmpty()) return name;
    QString left = dir;
    while (left.size() > 1 && left.endsWith(u'/')) left.chop(1);
    QString right = name;
    while (right.startsWith(u'/')) right.remove(0, 1);
    if (left.endsWith(u'/')) return left + right;
    return left + u'/' + right;
}

}  // namespace common
