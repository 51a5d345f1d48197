#pragma once
// Modal dialogs as the pages use them. The window shows real Qt dialogs;
// tests install ScriptedDialogs, so nothing ever waits on a real modal.

#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

enum class MessageKind { Information, Warning, Error };

struct FileFilter {
    std::string description; // "PNG"
    std::string pattern;     // "*.png"
};

struct FileDialogRequest {
    std::string title;
    std::vector<FileFilter> filters;
    int filterIndex = 1;     // 1-based, the filter selected when the dialog opens
    std::string fileName;    // proposed name (with or without folder)
    std::string defaultExtension; // added when the user types a name without one ("csv")
};

struct FileChoice {
    std::string fileName;
    int filterIndex = 1;     // the filter selected when the user confirmed
};

// The name a file is really saved under, for the name and filter chosen in
// the save dialog (an extension put in place of another, for instance).
using FinalFileName = std::function<std::string(const FileChoice& chosen)>;

// "\"map.csv\" already exists.\r\nDo you want to replace it?"
std::string ReplaceFileQuestion(const std::string& fileName);

class Dialogs {
public:
    virtual ~Dialogs() = default;
    // Shows a message and returns when the user has closed it.
    virtual void Message(const std::string& text, MessageKind kind = MessageKind::Information) = 0;
    // Yes/No question; true for Yes.
    virtual bool Confirm(const std::string& text) = 0;
    // File to read; nothing when the user cancels.
    virtual std::optional<FileChoice> OpenFileName(const FileDialogRequest& request) = 0;
    // File to write, under the name it will really have (finalName of the
    // chosen one, or the chosen one): when a file of that name exists, asks
    // whether to replace it, and No opens the dialog again with that name.
    // Nothing when the user cancels.
    std::optional<FileChoice> SaveFileName(const FileDialogRequest& request, const FinalFileName& finalName = {});
    // The question-type system beep.
    virtual void Beep() = 0;

protected:
    // The save dialog itself: the name as the user confirmed it. It asks
    // nothing about an existing file: SaveFileName asks about the name the
    // file will really have.
    virtual std::optional<FileChoice> PickSaveFileName(const FileDialogRequest& request) = 0;
};
