#pragma once
// The real dialogs of the window.

#include "shell/Dialogs.h"

class QString;
class QWidget;

// The folder the file dialogs opened a file in last, kept in the user's
// settings between runs; empty when none (or it is gone).
QString LastFileFolder();
void RememberFileFolder(const QString& fileName);

class QtDialogs final : public Dialogs {
public:
    explicit QtDialogs(QWidget* parent = nullptr) : parent_(parent) {}
    void SetParent(QWidget* parent) { parent_ = parent; }

    void Message(const std::string& text, MessageKind kind = MessageKind::Information) override;
    bool Confirm(const std::string& text) override;
    std::optional<FileChoice> OpenFileName(const FileDialogRequest& request) override;
    void Beep() override;

protected:
    std::optional<FileChoice> PickSaveFileName(const FileDialogRequest& request) override;

private:
    std::optional<FileChoice> RunFileDialog(const FileDialogRequest& request, bool save);
    QWidget* parent_;
};
