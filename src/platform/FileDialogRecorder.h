#pragma once

#include "platform/FileDialog.h"

#include <QList>
#include <deque>
#include <optional>

namespace platform {

// A file-dialog service for tests: records every request and answers from a script. While it
// is alive it is the installed service.
class FileDialogRecorder final : public FileDialogService
{
public:
    FileDialogRecorder();
    ~FileDialogRecorder() override;
    FileDialogRecorder(const FileDialogRecorder&) = delete;
    FileDialogRecorder& operator=(const FileDialogRecorder&) = delete;

    QString getFileName(const FileDialogRequest& request, QWidget* owner) override;

    // Queues the answer to the next dialog: the user confirms path.
    void setNextFileName(const QString& path);
    // Queues the answer to the next dialog: the user cancels. Without a queued answer every
    // dialog is cancelled.
    void setNextCancel();

    // Every request so far, in order.
    QList<FileDialogRequest> requests() const { return m_requests; }
    void clear();

private:
    QList<FileDialogRequest> m_requests;
    std::deque<std::optional<QString>> m_answers;
};

} // namespace platform
