#pragma once
// Dialogs for tests: every call is recorded, answers come from queues.

#include "shell/Dialogs.h"

#include <deque>
#include <functional>

class ScriptedDialogs final : public Dialogs {
public:
    struct Shown {
        std::string what; // "message", "confirm", "open", "save", "beep"
        std::string text; // message or question text, or the dialog title
        MessageKind kind = MessageKind::Information;
    };

    // Answers to Confirm, in order; when none is left, defaultConfirm.
    std::deque<bool> confirmAnswers;
    bool defaultConfirm = false;
    // Answers to OpenFileName / SaveFileName, in order; nothing left means cancel.
    std::deque<std::optional<FileChoice>> openAnswers;
    std::deque<std::optional<FileChoice>> saveAnswers;
    // Runs inside Message, while the "dialog" is open (for checks at that moment).
    std::function<void(const std::string&)> onMessage;

    void Message(const std::string& text, MessageKind kind = MessageKind::Information) override;
    bool Confirm(const std::string& text) override;
    std::optional<FileChoice> OpenFileName(const FileDialogRequest& request) override;
    std::optional<FileChoice> SaveFileName(const FileDialogRequest& request) override;
    void Beep() override;

    const std::vector<Shown>& Log() const { return log_; }
    // The texts of the messages shown so far.
    std::vector<std::string> Messages() const;
    void Clear() { log_.clear(); }

private:
    std::vector<Shown> log_;
};
