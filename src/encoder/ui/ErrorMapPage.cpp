#include "encoder/ui/ErrorMapPage.h"

#include "chart/ErrorMapChart.h"
#include "encoder/ui/CsvDialog.h"
#include "link/PowerCycle.h"
#include "shell/ChartView.h"
#include "shell/Colours.h"
#include "shell/Shell.h"
#include "shell/WaitCursor.h"
#include "shell/WidgetFactory.h"
#include "util/CsvFile.h"
#include "util/Text.h"
#include "util/NumberText.h"

#include <QApplication>
#include <QLabel>
#include <QPushButton>

#include <algorithm>

namespace {
constexpr int kChartTop = 140;
} // namespace

ErrorMapPage::ErrorMapPage(Shell& shell, QWidget* parent) : Page(parent), shell_(shell), session_(shell.GetSession())
{
    setObjectName("ErrorMapContent");
    auto* btnRead = Make<QPushButton>(this, "btnTorvikErrMapRead", QRect(8, 8, 110, 26));
    btnRead->setText("Read");
    auto* btnSave = Make<QPushButton>(this, "btnErrorMapSaveFile", QRect(8, 40, 110, 26));
    btnSave->setText("Save to file");
    auto* btnLoad = Make<QPushButton>(this, "btnErroMapLoadFile", QRect(8, 72, 110, 26));
    btnLoad->setText("Load from file");

    // Room for the report of eight pages: "Checksum:" and a line per page.
    lblErrMapChecksum_ = MakeLabel(this, "lblErrMapChecksum", "...", QRect(126, 8, 277, kChartTop - 14));
    lblErrMapChecksum_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    lblErrMapChecksum_->setAutoFillBackground(true);
    QFont small = lblErrMapChecksum_->font();
    small.setPointSize(7);
    lblErrMapChecksum_->setFont(small);

    ChartErrMap_ = Make<ChartView>(this, "ChartErrMap", QRect(8, kChartTop, 395, 260));
    ChartErrMap_->setToolTip("Double-click to save chart to a file.");
    SetUpErrorMapChart(ChartErrMap_->Model());

    connect(btnRead, &QPushButton::clicked, this, &ErrorMapPage::btnTorvikErrMapReadClick);
    connect(btnSave, &QPushButton::clicked, this, &ErrorMapPage::btnErrorMapSaveFileClick);
    connect(btnLoad, &QPushButton::clicked, this, &ErrorMapPage::btnErroMapLoadFileClick);
    connect(ChartErrMap_, &ChartView::doubleClicked, this, [this] { shell_.SaveChartImage(*ChartErrMap_); });
}

void ErrorMapPage::resizeEvent(QResizeEvent* event)
{
    Page::resizeEvent(event);
    ChartErrMap_->setGeometry(8, kChartTop, 395, std::max(120, height() - kChartTop - 8));
}

int ErrorMapPage::PageCount() const
{
    return ErrorMapPageCount(session_.Capabilities().signature);
}

void ErrorMapPage::ShowProgress(const std::string& text)
{
    lblErrMapChecksum_->setText(Utf8Text(text));
    lblErrMapChecksum_->repaint();
}

void ErrorMapPage::Draw(const std::vector<int>& curve, int pageCount)
{
    DrawErrorMapCurve(ChartErrMap_->Model(), curve, pageCount);
    ChartErrMap_->Changed();
}

ErrorMapReadOutcome ErrorMapPage::ReadAndDraw()
{
    SetPanelColour(lblErrMapChecksum_, FromQColor(QApplication::palette().color(QPalette::Button)));
    const int pageCount = PageCount();
    Draw({}, pageCount);
    const ErrorMapReadOutcome out = ReadErrorMap(session_.GetLink(), pageCount, [this](const std::string& text) {
        ShowProgress(text);
        shell_.Status().FlipActivity();
    });
    Draw(out.curve, pageCount);
    if (out.ok) {
        lblErrMapChecksum_->setText(Utf8Text(out.checksumText));
        SetPanelColour(lblErrMapChecksum_, out.ChecksumsOk() ? kColourOk : kColourError);
    }
    session_.Report(out.ok, out.statusText);
    return out;
}

void ErrorMapPage::btnTorvikErrMapReadClick()
{
    ReadAndDraw();
}

void ErrorMapPage::btnErrorMapSaveFileClick()
{
    Dialogs& dialogs = shell_.UserDialogs();
    Link& link = session_.GetLink();
    if (!link.ReadEncoderSignature()) {
        dialogs.Message(kSignatureErrorText, MessageKind::Error);
        return;
    }
    const TEncoderSignature signature = link.EncoderSignature;
    const ErrorMapReadOutcome map = ReadAndDraw();
    if (!map.ChecksumsOk()) {
        dialogs.Message("Error reading Error Map from encoder!", MessageKind::Error);
        return;
    }
    UsePointAsDecimalSeparator();
    dialogs.Beep();
    const std::optional<FileChoice> choice = dialogs.SaveFileName(CsvDialog("Save Error Map data"), CsvFileName);
    if (!choice)
        return;
    WaitCursor busy;
    const std::string error = WriteErrorMapFile(choice->fileName, signature, map.pages, map.pageCount);
    if (!error.empty())
        dialogs.Message(error, MessageKind::Error);
}

void ErrorMapPage::btnErroMapLoadFileClick()
{
    Dialogs& dialogs = shell_.UserDialogs();
    const int pageCount = PageCount();
    UsePointAsDecimalSeparator();
    dialogs.Beep();
    const std::optional<FileChoice> choice = dialogs.OpenFileName(CsvDialog("Load error map"));
    std::string errors;
    if (choice) {
        WaitCursor busy;
        CsvLineReader in;
        if (!in.Open(choice->fileName)) {
            dialogs.Message(in.ErrorText(), MessageKind::Error);
            return;
        }
        const ErrorMapFile file =
            ParseErrorMapFile(in, pageCount, [this](const std::string& text) { ShowProgress(text); });
        errors = file.errorText;
        if (errors.empty() && !file.Complete(pageCount)) {
            dialogs.Message(kErrorMapLineCountText, MessageKind::Error);
        } else if (errors.empty()) {
            const ErrorMapWriteOutcome written =
                WriteErrorMap(session_.GetLink(), file.pages, pageCount,
                              [this](const std::string& text) {
                                  ShowProgress(text);
                                  shell_.Status().FlipActivity();
                              },
                              SleepMs);
            errors = written.errorText;
            if (!written.ok) {
                dialogs.Message(kErrorMapErrorsText + errors, MessageKind::Error);
                session_.Report(false, written.statusText);
                return;
            }
            ShowProgress("Write finished.");
            dialogs.Message(kWrittenBanksText + written.writtenBanks);
        }
    }
    if (!errors.empty())
        dialogs.Message(kErrorMapErrorsText + errors, MessageKind::Error);
    // The save's own failures are in the report; the status line stays "Comm OK".
    session_.Report(true);
}
