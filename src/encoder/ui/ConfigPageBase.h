#pragma once
// What "Torvik Config" and "Quenra Config" share: the write-protect field,
// the new multiturn counter, Read, Write, Reset to factory and the zero
// preset. Both pages run the same service actions for their own page; each
// shows its own value fields.

#include "encoder/ui/ServicePageSupport.h"
#include "shell/Page.h"

class QLabel;
class QLineEdit;
class QPushButton;

class ConfigPageBase : public Page, protected SessionObserver {
    Q_OBJECT
public:
    // Object names of the shared controls.
    struct Names {
        const char* writeProtectCaption;
        const char* writeProtect;
        const char* writeProtectInfo;
        const char* multiturnCaption;
        const char* multiturn;
        const char* apply;
        const char* read;
        const char* write;
        const char* reset;
        const char* zeroGroup;
        const char* setZero;
        const char* zeroStatus;
    };

    ConfigPageBase(Shell& shell, ConfigPage kind, QWidget* parent);
    ~ConfigPageBase() override;

    // Entering the page with an encoder connected reads the configuration.
    void PageSwitched(PageId current) override;
    // The service gesture makes the write-protect field editable.
    void ServiceRevealed(ServiceGesture gesture) override;

    // Click handlers.
    void ReadClick();
    void WriteClick();
    void NewMultiturnClick();
    void ResetToFactoryClick();
    void SetZeroClick();

protected:
    // Vertical positions of the shared rows.
    struct Rows {
        int writeProtect;
        int multiturn;
        int buttons; // Read; Write and Reset to factory one row lower
        int zero;
    };
    void BuildShared(const Names& names, const Rows& rows);

    // The fields a write takes from this page.
    virtual ConfigurationTexts Texts() const = 0;
    // Shows this page's value fields after a configuration read.
    virtual void ShowReading(const ConfigurationReading& reading) = 0;

    Session& session_;
    QLabel* writeProtectCaption_ = nullptr;
    QLineEdit* writeProtect_ = nullptr;
    QLabel* writeProtectInfo_ = nullptr;
    QPushButton* read_ = nullptr;

private:
    void ConfigurationRead(const ConfigurationReading& reading) override;
    // The session's copy of this page's write-protect field.
    std::string& WriteProtectText();

    Shell& shell_;
    ConfigPage kind_;
    DialogPrompts prompts_;
    ServiceActions actions_;
    QLineEdit* multiturn_ = nullptr;
    QLabel* zeroStatus_ = nullptr;
};
