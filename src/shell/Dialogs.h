#pragma once
// Modal dialogs as the pages use them. The window shows real Qt dialogs;
// tests install ScriptedDialogs, so nothing ever waits on a real modal.

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

class Dialogs {
public:
    virtual ~Dialogs() = default;
    // Shows a message and returns when the user has closed it.
    virtual void Message(const std::string& text, MessageKind kind = MessageKind::Information) = 0;
    // Yes/No question; true for Yes.
    virtual bool Confirm(const std::string& text) = 0;
    // File to read / to write; nothing when the user cancels. The save dialog
    // asks before overwriting an existing file.
    virtual std::optional<FileChoice> OpenFileName(const FileDialogRequest& request) = 0;
    virtual std::optional<FileChoice> SaveFileName(const FileDialogRequest& request) = 0;
    // The question-type system beep.
    virtual void Beep() = 0;
};
