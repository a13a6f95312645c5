#pragma once

#include <QString>

namespace platform {

// The user's documents folder as an absolute path without a trailing separator, created
// when it is missing (an account without one gets it at its first download, and nothing is
// ever written elsewhere in its place).
QString DocumentsFolder();

} // namespace platform
