#pragma once
// Whole files as bytes, for tests that look at or damage what is on disk.

#include <QByteArray>
#include <QFile>
#include <QString>
#include <QtTest>

namespace testsupport {

// The file's bytes; empty when it cannot be read.
inline QByteArray ReadAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// Writes the bytes over the file; a write that fails fails the test.
inline void WriteAll(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(f.write(bytes), bytes.size());
}

}  // namespace testsupport
