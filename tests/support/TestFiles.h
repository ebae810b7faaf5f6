#pragma once

// The one way the tests write a file of their own.
#include <gtest/gtest.h>

#include <QByteArrayView>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QString>

// Writes the bytes to `path`, replacing the file, its folder made first; a
// file that cannot be written fails the test.
inline void writeTestFile(const QString& path, QByteArrayView bytes) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly)) << path.toStdString();
    EXPECT_EQ(file.write(bytes.data(), bytes.size()), bytes.size()) << path.toStdString();
}
