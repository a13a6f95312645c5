#include "platform/FileDialogRecorder.h"

namespace platform {

FileDialogRecorder::FileDialogRecorder()
{
    installFileDialogService(this);
}

FileDialogRecorder::~FileDialogRecorder()
{
    installFileDialogService(nullptr);
}

QString FileDialogRecorder::getFileName(const FileDialogRequest& request, QWidget*)
{
    m_requests.append(request);
    if (m_answers.empty())
        return {};
    const std::optional<QString> answer = m_answers.front();
    m_answers.pop_front();
    return answer.value_or(QString());
}

void FileDialogRecorder::setNextFileName(const QString& path)
{
    m_answers.emplace_back(path);
}

void FileDialogRecorder::setNextCancel()
{
    m_answers.emplace_back(std::nullopt);
}

void FileDialogRecorder::clear()
{
    m_requests.clear();
    m_answers.clear();
}

} // namespace platform
