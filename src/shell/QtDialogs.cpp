#include "shell/QtDialogs.h"

#include <QApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QSettings>
#include <QStringList>

namespace {
QString Title()
{
    return QApplication::applicationName();
}
} // namespace

void QtDialogs::Message(const std::string& text, MessageKind kind)
{
    const QString message = QString::fromStdString(text);
    switch (kind) {
    case MessageKind::Information:
        QMessageBox::information(parent_, Title(), message);
        break;
    case MessageKind::Warning:
        QMessageBox::warning(parent_, Title(), message);
        break;
    case MessageKind::Error:
        QMessageBox::critical(parent_, Title(), message);
        break;
    }
}

bool QtDialogs::Confirm(const std::string& text)
{
    // No is the default button: the questions guard irreversible actions.
    return QMessageBox::question(parent_, Title(), QString::fromStdString(text), QMessageBox::Yes | QMessageBox::No,
                                 QMessageBox::No) == QMessageBox::Yes;
}

namespace {
constexpr char kLastFolderKey[] = "dialogs/lastFolder";
} // namespace

QString LastFileFolder()
{
    const QString folder = QSettings().value(kLastFolderKey).toString();
    return QFileInfo(folder).isDir() ? folder : QString();
}

void RememberFileFolder(const QString& fileName)
{
    QSettings().setValue(kLastFolderKey, QFileInfo(fileName).absolutePath());
}

std::optional<FileChoice> QtDialogs::RunFileDialog(const FileDialogRequest& request, bool save)
{
    QFileDialog dialog(parent_, QString::fromStdString(request.title));
    dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    // The question about an existing file comes afterwards, about the name
    // the file will really have (Dialogs::SaveFileName).
    dialog.setOption(QFileDialog::DontConfirmOverwrite, save);
    QStringList filters;
    for (const FileFilter& filter : request.filters)
        filters << QString::fromStdString(filter.description + " (" + filter.pattern + ")");
    if (!filters.isEmpty()) {
        dialog.setNameFilters(filters);
        int index = request.filterIndex >= 1 && request.filterIndex <= filters.size() ? request.filterIndex - 1 : 0;
        dialog.selectNameFilter(filters[index]);
    }
    if (!request.defaultExtension.empty())
        dialog.setDefaultSuffix(QString::fromStdString(request.defaultExtension));
    const QString proposed = QString::fromStdString(request.fileName);
    // A proposed name without a folder goes into the folder used last.
    if (!proposed.contains('/')) {
        const QString folder = LastFileFolder();
        if (!folder.isEmpty())
            dialog.setDirectory(folder);
    }
    if (!proposed.isEmpty())
        dialog.selectFile(proposed);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return std::nullopt;
    FileChoice choice;
    choice.fileName = dialog.selectedFiles().front().toStdString();
    RememberFileFolder(dialog.selectedFiles().front());
    int selected = static_cast<int>(filters.indexOf(dialog.selectedNameFilter()));
    choice.filterIndex = selected >= 0 ? selected + 1 : 1;
    return choice;
}

std::optional<FileChoice> QtDialogs::OpenFileName(const FileDialogRequest& request)
{
    return RunFileDialog(request, false);
}

std::optional<FileChoice> QtDialogs::PickSaveFileName(const FileDialogRequest& request)
{
    return RunFileDialog(request, true);
}

void QtDialogs::Beep()
{
    QApplication::beep();
}
