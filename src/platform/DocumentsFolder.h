#pragma once

#include <QString>

namespace platform {

// The user's documents folder as an absolute path without a trailing separator. The folder
// is not created when it is missing (a download into it then fails).
QString DocumentsFolder();

} // namespace platform
