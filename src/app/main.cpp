// k417-service: the desktop service tool for BiSS encoders on a K417-3C box.

#include "app/CommandLine.h"
#include "app/PageList.h"
#include "link/PortList.h"
#include "production/ui/ProductionTestPage.h"
#include "shell/Locale.h"
#include "shell/MainWindow.h"
#include "shell/XRepaints.h"

#include <QApplication>

#include <cstdio>
#include <cstdlib>
#include <string_view>
#include <memory>
#include <optional>

#include "sim/Simulator.h"

namespace {
bool HaveDisplay(int argc, char** argv)
{
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        if (const char* value = std::getenv(name); value && *value)
            return true;
    for (int i = 1; i < argc; ++i)
        if (std::string_view(argv[i]) == "-platform" || std::string_view(argv[i]) == "--platform")
            return true;
    return false;
}
} // namespace

int main(int argc, char** argv)
{
    CommandLine line = ParseCommandLine(std::vector<std::string>(argv + 1, argv + argc));
    if (line.help) {
        std::fputs(UsageText().c_str(), stdout);
        return 0;
    }
    if (!line.error.empty()) {
        std::fprintf(stderr, "k417-service: %s\n%s", line.error.c_str(), UsageText().c_str());
        return 2;
    }
    std::optional<SimOptions> simOptions;
    if (line.simulate) {
        simOptions.emplace();
        if (!line.simFamily.empty() && !ParseSimFamily(line.simFamily, simOptions->family)) {
            std::fprintf(stderr, "k417-service: unknown family \"%s\" (torvik, quenra, linear or foreign)\n",
                         line.simFamily.c_str());
            return 2;
        }
    }
    if (!HaveDisplay(argc, argv)) {
        std::fputs("k417-service: no display (DISPLAY is not set). Start it from a desktop session,\n"
                   "  or without a screen: xvfb-run ./run --simulate, or QT_QPA_PLATFORM=offscreen.\n",
                   stderr);
        return 1;
    }
    SendRepaintsOverTheXConnection();
    QApplication app(argc, argv);
    QApplication::setApplicationName("K417-3C bidirectional BiSS interface");
    // Where the user's settings (the file dialogs' last folder) are kept.
    QApplication::setOrganizationName("Zolvan");
    UseSystemNumberSeparators();

    std::unique_ptr<Simulator> simulator;
    if (simOptions) {
        simulator = std::make_unique<Simulator>(*simOptions);
        std::string error;
        if (!simulator->Start(&error)) {
            std::fprintf(stderr, "k417-service: cannot start the simulated box: %s\n", error.c_str());
            return 1;
        }
        std::fprintf(stderr, "k417-service: simulated %s box on %s\n", SimFamilyName(simOptions->family),
                     simulator->PortPath().c_str());
    }

    // The plan of the command line is the one the production page opens with.
    if (!line.plan.empty())
        ProductionTestPage::RememberPlan(line.plan);
    if (!line.db.empty())
        ProductionTestPage::UseStoreLocation(line.db);

    MainWindowOptions options;
    options.production = line.production;
    options.pages = ServicePages();
    options.portLister = [&] {
        std::vector<std::string> ports = ListUsbSerialPorts();
        ports.insert(ports.end(), line.ports.begin(), line.ports.end());
        // Asked on every search: after a replug the box has a new path.
        if (simulator && !simulator->PortPath().empty())
            ports.push_back(simulator->PortPath());
        return ports;
    };
    MainWindow window(std::move(options));
    window.show();
    int result = app.exec();
    if (simulator)
        simulator->Stop();
    return result;
}
