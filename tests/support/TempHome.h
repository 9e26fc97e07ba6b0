#pragma once
// A home of the test's own for windows that read and write the program's
// folders: the data and config folders lie in a temporary folder (the XDG
// variables point there) and the settings record is back at its defaults
// with the tip of the day off. Made again in each test's init, so that
// every test starts from a fresh program.

#include <QTemporaryDir>
#include <memory>

#include "Settings.h"

namespace testsupport {

class TempHome {
public:
    TempHome() {
        qputenv("XDG_DATA_HOME", m_dir.filePath("data").toUtf8());
        qputenv("XDG_CONFIG_HOME", m_dir.filePath("config").toUtf8());
        common::AppSettings() = common::Settings();
        common::AppSettings().showTips = false;
    }
    QString FilePath(const QString& name) const { return m_dir.filePath(name); }

private:
    QTemporaryDir m_dir;
};

}  // namespace testsupport
