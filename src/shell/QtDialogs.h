#pragma once
// The real dialogs of the window.

#include "shell/Dialogs.h"

class QWidget;

class QtDialogs final : public Dialogs {
public:
    explicit QtDialogs(QWidget* parent = nullptr) : parent_(parent) {}
    void SetParent(QWidget* parent) { parent_ = parent; }

    void Message(const std::string& text, MessageKind kind = MessageKind::Information) override;
    bool Confirm(const std::string& text) override;
    std::optional<FileChoice> OpenFileName(const FileDialogRequest& request) override;
    std::optional<FileChoice> SaveFileName(const FileDialogRequest& request) override;
    void Beep() override;

private:
    std::optional<FileChoice> RunFileDialog(const FileDialogRequest& request, bool save);
    QWidget* parent_;
};
