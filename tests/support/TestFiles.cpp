#include "TestFiles.h"

#include <QFile>
#include <QRandomGenerator>

namespace testsupport {

QByteArray PatternBytes(int size, std::uint32_t seed)
{
    QByteArray bytes(size, Qt::Uninitialized);
    QRandomGenerator generator(seed);
    for (char& b : bytes)
        b = static_cast<char>(generator.bounded(256));
    return bytes;
}

bool WriteFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

QByteArray ReadFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace testsupport
