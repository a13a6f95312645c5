#pragma once

#include <QString>
#include <QStringList>

class QWidget;

namespace platform {

// Which common file dialog a page asks for.
enum class FileDialogMode
{
    Open, // choose a file to read
    Save  // choose a file to write
};

// One request for a file name, as a page states it.
struct FileDialogRequest
{
    FileDialogMode mode = FileDialogMode::Open;
    // The filter in the program's own form: description and pattern pairs separated by "|",
    // ended by "||", e.g. "Bin File(*.bin) |*.bin||".
    QString filter;
    // Initial file name; empty for none.
    QString defaultName;
    // Open only: only an existing file may be chosen.
    bool fileMustExist = false;
};

// Runs the file dialogs. Installed once per process; tests install a recorder that answers
// from a script instead of showing dialogs.
class FileDialogService
{
public:
    virtual ~FileDialogService() = default;
    // Runs the dialog for request, owned by owner (may be null), on the user-interface
    // thread. Returns the full path of the chosen file, or an empty string when the user
    // cancelled.
    virtual QString getFileName(const FileDialogRequest& request, QWidget* owner) = 0;
};

// Installs service as the one that GetFileName() uses; null restores the real dialogs. The
// caller keeps ownership and must uninstall it before destroying it.
void installFileDialogService(FileDialogService* service);

// Runs a file dialog through the installed service: the chosen full path, or empty on cancel.
QString GetFileName(const FileDialogRequest& request, QWidget* owner = nullptr);

// The name filters of a filter in the program's form, in Qt's form: "Bin File(*.bin) |*.bin||"
// gives {"Bin File (*.bin)"}. Each pair keeps its description (without a pattern list of its
// own in parentheses) and gets the pattern part of the pair, ";" becoming a blank. A pair
// without a pattern is dropped.
QStringList NameFiltersOf(const QString& filter);

} // namespace platform
