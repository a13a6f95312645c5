#pragma once

// Whole-file helpers every test group uses for the files it hands to the program or the unit.

#include <QByteArray>
#include <QString>
#include <cstdint>

namespace testsupport {

// size bytes that depend only on seed.
QByteArray PatternBytes(int size, std::uint32_t seed);
bool WriteFile(const QString& path, const QByteArray& bytes);
// The file's bytes, or none if it cannot be read.
QByteArray ReadFile(const QString& path);

} // namespace testsupport
