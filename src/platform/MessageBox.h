#pragma once

#include <QString>

class QWidget;

namespace platform {

// Buttons a message box offers, as the program asks for them.
enum class MsgButtons
{
    Ok,
    OkCancel,
    YesNo,
    YesNoCancel
};

// The button the user pressed.
enum class MsgAnswer
{
    Ok,
    Cancel,
    Yes,
    No
};

// Shows a message box and waits for the answer. Installed once per process; tests install
// a recorder with scripted answers instead of the real boxes.
class MessageBoxService
{
public:
    virtual ~MessageBoxService() = default;
    // Shows text with caption and buttons, owned by owner (may be null). Safe to call from any
    // thread: the box is shown on the user-interface thread and the caller waits for it. From
    // a worker thread owner is not used (the widget may be gone by the time the box shows);
    // a worker that wants an owned box hands the call to the user-interface thread itself.
    // A worker told to stop (see StopBinding) stops waiting and gets the answer of a box
    // closed without a choice.
    virtual MsgAnswer show(const QString& text, const QString& caption, MsgButtons buttons,
                           QWidget* owner) = 0;
};

// Installs service as the one that MessageBox() uses; null restores the real boxes.
// The caller keeps ownership and must uninstall it before destroying it.
void installMessageBoxService(MessageBoxService* service);

// Shows a message box through the installed service. An empty caption means the program's
// name, as the system's plain error boxes have.
MsgAnswer MessageBox(const QString& text, const QString& caption = {},
                     MsgButtons buttons = MsgButtons::Ok, QWidget* owner = nullptr);

// Shows "Error[nnnn]" with an OK button: the form of every failure the user sees.
void ShowErrorCode(int code, QWidget* owner = nullptr);

// Formats the code as the user sees it: ShowErrorCode(9001) shows "Error[9001]".
QString ErrorText(int code);

} // namespace platform
