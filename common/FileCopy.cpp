#include "FileCopy.h"

#include <QFile>

namespace common {

bool FileCopy::Copy(const QString& source, const QString& target) {
    QFile in(source);
    if (!in.open(QIODevice::ReadOnly)) return false;
    QFile out(target);
    if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate)) return false;
    char block[kBlockSize];
    for (;;) {
        const qint64 got = in.read(block, kBlockSize);
        if (got < 0) return false;
        if (got == 0) break;
        if (out.write(block, got) != got) return false;
    }
    return out.flush();
}

}  // namespace common
