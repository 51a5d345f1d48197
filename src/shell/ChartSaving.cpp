#include "shell/ChartSaving.h"

#include "util/Text.h"

#include "chart/ChartExport.h"
#include "shell/ChartView.h"

#include <QClipboard>
#include <QFileInfo>
#include <QGuiApplication>

namespace {
const char* kTitle = "Save chart";
}

bool SaveControlAsPng(Dialogs& dialogs, const ChartView& chart, const std::string& fileName)
{
    ChartImageFile file;
    file.format = ChartImageFormat::Png;
    file.fileName = LowerExtension(fileName) == ".png" ? fileName : ReplaceExtension(fileName, ".png");
    if (SaveChartImage(chart.Model(), chart.size(), chart.font(), file))
        return true;
    dialogs.Message(kPngSaveFailed, MessageKind::Error);
    return false;
}

void ChartImageSaver::Save(const ChartView& chart)
{
    FileDialogRequest request;
    request.title = kTitle;
    for (const ChartImageFilter& filter : ChartImageFilters())
        request.filters.push_back({filter.description, filter.pattern});
    request.filterIndex = filterIndex_;
    // Only the name is proposed again: the dialog opens in its own folder.
    request.fileName = QFileInfo(QString::fromStdString(lastName_)).fileName().toStdString();
    const std::optional<FileChoice> choice = dialogs_.SaveFileName(
        request, [](const FileChoice& chosen) { return ResolveChartImageFile(chosen.fileName, chosen.filterIndex).fileName; });
    if (!choice)
        return;
    filterIndex_ = choice->filterIndex;
    const ChartImageFile file = ResolveChartImageFile(choice->fileName, choice->filterIndex);
    lastName_ = file.fileName;
    const bool saved = file.format == ChartImageFormat::Png
                           ? SaveControlAsPng(dialogs_, chart, file.fileName)
                           : SaveChartImage(chart.Model(), chart.size(), chart.font(), file);
    if (!saved || !QFileInfo::exists(QString::fromStdString(file.fileName)))
        dialogs_.Message(kImageSaveFailed, MessageKind::Error);
}

void CopyTextToClipboard(const std::string& text)
{
    QClipboard* clipboard = QGuiApplication::clipboard();
    clipboard->clear();
    clipboard->setText(QString::fromStdString(text));
}
