#pragma once
// The file dialogs of the pages that save the encoder's CSV files and load
// them back: the title and the one filter, "Comma separated (*.csv)".

#include "shell/Dialogs.h"
#include "util/CsvFile.h"

inline FileDialogRequest CsvDialog(const char* title)
{
    FileDialogRequest request;
    request.title = title;
    request.filters = {{kCsvFilterDescription, kCsvFilterPattern}};
    request.defaultExtension = "csv";
    return request;
}
