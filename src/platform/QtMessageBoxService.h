#pragma once

#include "platform/MessageBox.h"

namespace platform {

// The real message boxes: a QMessageBox run modally on the user-interface thread. A call from
// a worker thread is carried to the user-interface thread and the worker waits for the answer.
class QtMessageBoxService final : public MessageBoxService
{
public:
    MsgAnswer show(const QString& text, const QString& caption, MsgButtons buttons,
                   QWidget* owner) override;
};

} // namespace platform
