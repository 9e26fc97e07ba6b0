#pragma once
// Byte copy of one file, used by backup and restore. Copies in blocks of
// 2048 bytes and reports failure when the source cannot be opened, the
// target cannot be created or a block is written short (a full disk).

#include <QString>

namespace common {

class FileCopy {
public:
    static constexpr int kBlockSize = 2048;
    // Replaces an existing target. A failed copy may leave a partial target.
    static bool Copy(const QString& source, const QString& target);
};

}  // namespace common
