#include "platform/FileDialog.h"

#include <QFileDialog>
#include <QPointer>
#include <QRegularExpression>
#include <atomic>

namespace platform {

namespace {

// The real dialogs: a QFileDialog run modally. Qt's own dialog rather than the desktop's, so
// the dialog behaves the same on every desktop and under a bare X server.
class QtFileDialogService final : public FileDialogService
{
public:
    QString getFileName(const FileDialogRequest& request, QWidget* owner) override
    {
        // On the heap and watched: if the owner goes away while the dialog is open, it takes
        // the dialog with it, and the dialog must not be deleted a second time here.
        const QPointer<QFileDialog> dialog = new QFileDialog(owner);
        dialog->setOption(QFileDialog::DontUseNativeDialog);
        dialog->setNameFilters(NameFiltersOf(request.filter));
        if (request.mode == FileDialogMode::Save) {
            dialog->setAcceptMode(QFileDialog::AcceptSave);
            dialog->setFileMode(QFileDialog::AnyFile);
            // A file that exists is replaced without a question.
            dialog->setOption(QFileDialog::DontConfirmOverwrite);
        } else {
            dialog->setAcceptMode(QFileDialog::AcceptOpen);
            dialog->setFileMode(request.fileMustExist ? QFileDialog::ExistingFile
                                                      : QFileDialog::AnyFile);
        }
        if (!request.defaultName.isEmpty())
            dialog->selectFile(request.defaultName);
        const int result = dialog->exec();
        if (!dialog)
            return {};
        const QStringList chosen = dialog->selectedFiles();
        delete dialog.data();
        if (result != QDialog::Accepted || chosen.isEmpty())
            return {};
        return chosen.first();
    }
};

std::atomic<FileDialogService*> g_installed{nullptr};

FileDialogService& current()
{
    static QtFileDialogService real;
    FileDialogService* installed = g_installed.load();
    return installed ? *installed : real;
}

} // namespace

void installFileDialogService(FileDialogService* service)
{
    g_installed.store(service);
}

QString GetFileName(const FileDialogRequest& request, QWidget* owner)
{
    return current().getFileName(request, owner);
}

QStringList NameFiltersOf(const QString& filter)
{
    // A description may name its patterns itself, as in "Bin File(*.bin) "; Qt would read
    // them from there, so they are replaced by the pattern part that the pair really gives.
    static const QRegularExpression ownPatterns(QStringLiteral("\\([^()]*\\)\\s*$"));
    const QStringList parts = filter.split(QLatin1Char('|'));
    QStringList result;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        const QString pattern = parts.at(i + 1).trimmed();
        if (pattern.isEmpty())
            continue;
        QString description = parts.at(i);
        description.remove(ownPatterns);
        description = description.trimmed();
        QStringList patterns = pattern.split(QLatin1Char(';'), Qt::SkipEmptyParts);
        for (QString& p : patterns)
            p = p.trimmed();
        result.append(
            QStringLiteral("%1 (%2)").arg(description, patterns.join(QLatin1Char(' '))).trimmed());
    }
    return result;
}

} // namespace platform
