#pragma once
// The file dialogs of the pages that save the encoder's CSV files and load
// them back: the title and the one filter, "Comma separated (*.csv)"; a
// file is saved with ".csv" in place of the extension chosen.

#include "shell/Dialogs.h"
#include "util/CsvFile.h"
#include "util/Text.h"

inline FileDialogRequest CsvDialog(const char* title)
{
    FileDialogRequest request;
    request.title = title;
    request.filters = {{kCsvFilterDescription, kCsvFilterPattern}};
    request.defaultExtension = "csv";
    return request;
}

// The name a CSV file is saved under (asked about when it exists).
inline std::string CsvFileName(const FileChoice& chosen)
{
    return ReplaceExtension(chosen.fileName, ".csv");
}
