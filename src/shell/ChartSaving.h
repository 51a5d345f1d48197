#pragma once
// Saving charts as image files and putting text on the clipboard: the
// window's one save dialog for chart images (it proposes the name used last)
// and the checks that the file was written.

#include "shell/Dialogs.h"

#include <string>

class ChartView;

constexpr const char* kPngSaveFailed = "Shranjevanje PNG slike ni bilo uspe\xC5\xA1no!";
constexpr const char* kImageSaveFailed = "Shranjevanje slike ni bilo uspe\xC5\xA1no!";

// The chart as a PNG file of its size on screen. The name takes the
// extension ".png" unless it has it already (in any case). False, after
// telling the user, when the file does not exist afterwards.
bool SaveControlAsPng(Dialogs& dialogs, const ChartView& chart, const std::string& fileName);

class ChartImageSaver {
public:
    explicit ChartImageSaver(Dialogs& dialogs) : dialogs_(dialogs) {}

    // Asks for a file and saves the chart in the format its name or the
    // selected filter says (PNG, BMP, WMF, EMF or SVG).
    void Save(const ChartView& chart);

private:
    Dialogs& dialogs_;
    std::string lastName_;
    int filterIndex_ = 1;
};

// Replaces the clipboard's content by the text (UTF-8).
void CopyTextToClipboard(const std::string& text);
