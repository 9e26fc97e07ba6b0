#pragma once
// Where the program keeps its files. The per-user data folder takes the
// place of the program directory (data files, pick lists, report
// definitions); the per-user config folder holds the settings file. Both
// follow the XDG base-directory variables so tests can point them at
// temporary folders.

#include <QString>

namespace common {

class AppPaths {
public:
    // $XDG_CONFIG_HOME/halvenor, default ~/.config/halvenor. Not created.
    static QString ConfigDir();
    // $XDG_DATA_HOME/halvenor, default ~/.local/share/halvenor; created
    // when it does not exist yet.
    static QString DataDir();
    // "KELDOR.INI" in the config folder.
    static QString SettingsFile();

    // The current directory when the program started. Recorded by the first
    // call of either function; the program entry calls RecordStartDirectory
    // before anything can change the current directory.
    static void RecordStartDirectory();
    static QString StartDirectory();

    // Joins a folder and a name with exactly one "/" between them.
    static QString Join(const QString& dir, const QString& name);
};

}  // namespace common
