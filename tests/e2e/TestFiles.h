#pragma once
// Whole files for the end-to-end tests: what a test hands the tool through a
// file dialog, and what the tool wrote.

#include <QFile>
#include <QtTest>

#include <string>

// The file's bytes; empty when it cannot be read.
inline std::string FileContent(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll().toStdString();
}

inline void WriteFile(const QString& path, const std::string& content)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(file.write(content.data(), static_cast<qint64>(content.size())), static_cast<qint64>(content.size()));
}
