#pragma once
// The "Error Map" page: reads the error map of a Torvik encoder and draws
// it, checks it against the checksums the encoder stores, saves it to a CSV
// file and loads a CSV file back into the encoder.

#include "encoder/ErrorMap.h"
#include "shell/Page.h"

class ChartSeries;
class ChartView;
class QLabel;
class Shell;

class ErrorMapPage : public Page {
    Q_OBJECT
public:
    explicit ErrorMapPage(Shell& shell, QWidget* parent = nullptr);

    void btnTorvikErrMapReadClick();
    void btnErrorMapSaveFileClick();
    void btnErroMapLoadFileClick();

    ChartView& Chart() { return *ChartErrMap_; }

protected:
    // The chart takes the room the page has below the buttons.
    void resizeEvent(QResizeEvent* event) override;

private:
    // The read behind "Read" and the save: draws, reports and returns what it read.
    ErrorMapReadOutcome ReadAndDraw();
    void Draw(const std::vector<int>& curve, int pageCount);
    // The progress text, shown at once.
    void ShowProgress(const std::string& text);
    int PageCount() const;

    Shell& shell_;
    Session& session_;
    QLabel* lblErrMapChecksum_;
    ChartView* ChartErrMap_;
};
