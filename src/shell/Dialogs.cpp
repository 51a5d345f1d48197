#include "shell/Dialogs.h"

#include <filesystem>
#include <system_error>

std::string ReplaceFileQuestion(const std::string& fileName)
{
    return "\"" + std::filesystem::path(fileName).filename().string() + "\" already exists.\r\nDo you want to replace it?";
}

std::optional<FileChoice> Dialogs::SaveFileName(const FileDialogRequest& request, const FinalFileName& finalName)
{
    FileDialogRequest ask = request;
    for (;;) {
        std::optional<FileChoice> choice = PickSaveFileName(ask);
        if (!choice)
            return std::nullopt;
        if (finalName)
            choice->fileName = finalName(*choice);
        std::error_code error;
        const auto status = std::filesystem::status(choice->fileName, error);
        if (!std::filesystem::exists(status) || std::filesystem::is_directory(status) ||
            Confirm(ReplaceFileQuestion(choice->fileName)))
            return choice;
        // Another name, starting from the one the file would have had.
        ask.fileName = choice->fileName;
        ask.filterIndex = choice->filterIndex;
    }
}
