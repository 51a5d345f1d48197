#pragma once
// A page of the window: the content of one tab. A page is built on the shell
// and the session; it observes the session for what it shows, applies its
// own gates and captions from the capabilities the session publishes, and
// never reaches into another page.

#include "shell/PageRegistry.h"

#include <QWidget>

#include <functional>

class Shell;

// The hidden key gestures that reveal service functions.
enum class ServiceGesture {
    Service,     // Ctrl+Shift+S: service pages, editable write-protect fields, power-cycling controls
    FullService, // Ctrl+Shift+F: every page, the power-cycling group
    Debug        // Ctrl+Shift+D while "Calibration" is shown: the diagnostics unlock
};

class Page : public QWidget {
public:
    explicit Page(QWidget* parent = nullptr) : QWidget(parent) {}

    PageId Id() const { return id_; }
    void SetId(PageId id) { id_ = id; }

    // Told of every change of the active page, in tab order over all pages,
    // and once after the window is built.
    virtual void PageSwitched(PageId /*current*/) {}
    // A service gesture revealed more of the tool.
    virtual void ServiceRevealed(ServiceGesture) {}
    // The window is closing: finish what must not be lost (an open file).
    virtual void WindowClosing() {}

private:
    PageId id_ = PageId::TabSettings;
};

// Builds a page's content on the shell. The window owns what it returns.
using PageFactory = std::function<Page*(Shell& shell)>;

struct PageEntry {
    PageId id;
    PageFactory make;
};
