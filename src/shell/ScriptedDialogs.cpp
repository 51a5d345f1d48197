#include "shell/ScriptedDialogs.h"

void ScriptedDialogs::Message(const std::string& text, MessageKind kind)
{
    log_.push_back({"message", text, kind});
    if (onMessage)
        onMessage(text);
}

bool ScriptedDialogs::Confirm(const std::string& text)
{
    log_.push_back({"confirm", text, MessageKind::Information});
    if (confirmAnswers.empty())
        return defaultConfirm;
    bool answer = confirmAnswers.front();
    confirmAnswers.pop_front();
    return answer;
}

namespace {
std::optional<FileChoice> Next(std::deque<std::optional<FileChoice>>& answers)
{
    if (answers.empty())
        return std::nullopt;
    auto answer = answers.front();
    answers.pop_front();
    return answer;
}
} // namespace

std::optional<FileChoice> ScriptedDialogs::OpenFileName(const FileDialogRequest& request)
{
    log_.push_back({"open", request.title, MessageKind::Information});
    return Next(openAnswers);
}

std::optional<FileChoice> ScriptedDialogs::SaveFileName(const FileDialogRequest& request)
{
    log_.push_back({"save", request.title, MessageKind::Information});
    return Next(saveAnswers);
}

void ScriptedDialogs::Beep()
{
    log_.push_back({"beep", "", MessageKind::Information});
}

std::vector<std::string> ScriptedDialogs::Messages() const
{
    std::vector<std::string> texts;
    for (const Shown& shown : log_)
        if (shown.what == "message")
            texts.push_back(shown.text);
    return texts;
}
