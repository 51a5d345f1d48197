// The status line, the page rules and the command line of the program.

#include "app/CommandLine.h"
#include "shell/PageRegistry.h"
#include "shell/StatusLine.h"

#include <gtest/gtest.h>

namespace {
struct RecordingView : StatusView {
    std::string text;
    Rgb background{};
    Rgb lamp = kColourLampStart;
    int shown = 0;
    void ShowStatus(const std::string& t, Rgb b) override
    {
        ++shown;
        text = t;
        background = b;
    }
    Rgb LampColour() const override { return lamp; }
    void SetLampColour(Rgb c) override { lamp = c; }
};
} // namespace

TEST(StatusLine, ReportsShowOnTheirColoursAndPlainTextKeepsTheColour)
{
    RecordingView view;
    StatusLine status(view);
    status.StatusReported({"Comm OK\r\n", StatusKind::Ok});
    EXPECT_EQ(view.text, "Comm OK\r\n");
    EXPECT_EQ(view.background, (Rgb{174, 255, 215}));
    status.StatusReported({"Write OK\r\n", StatusKind::Plain});
    EXPECT_EQ(view.text, "Write OK\r\n");
    EXPECT_EQ(view.background, (Rgb{174, 255, 215}));
    status.StatusReported({"Error\r\nUSB Comm Err -1", StatusKind::Error});
    EXPECT_EQ(view.background, (Rgb{255, 91, 91}));
    status.StatusReported({"Error\r\n", StatusKind::Plain});
    EXPECT_EQ(view.background, (Rgb{255, 91, 91}));
}

TEST(StatusLine, TheSameTextOnTheSameColourIsNotShownAgain)
{
    // The monitor reports "Comm OK" on every tick; the label is laid out only when something changes.
    RecordingView view;
    StatusLine status(view);
    for (int i = 0; i < 3; ++i)
        status.StatusReported({"Comm OK", StatusKind::Ok});
    EXPECT_EQ(view.shown, 1);
    status.StatusReported({"Error\r\nUSB Comm Err -1", StatusKind::Error});
    status.StatusReported({"Comm OK", StatusKind::Ok});
    EXPECT_EQ(view.shown, 3);
    EXPECT_EQ(view.text, "Comm OK");
    // The same text on another colour is shown.
    status.StatusReported({"Comm OK", StatusKind::Plain});
    status.StatusReported({"Error\r\n", StatusKind::Error});
    status.StatusReported({"Comm OK", StatusKind::Plain});
    EXPECT_EQ(view.shown, 5);
    EXPECT_EQ(view.background, kColourError);
}

TEST(PageRegistry, IdentifiedPagesByFamilyAndDatasheet)
{
    auto pages = [](bool eds, EncoderFamily f) {
        EncoderCapabilities caps;
        caps.datasheetBankKnown = eds;
        caps.family = f;
        std::vector<int> out;
        PageSet p = IdentifiedPages(caps);
        for (int i = 0; i < kPageCount; ++i)
            if (p.test(static_cast<size_t>(i)))
                out.push_back(i);
        return out;
    };
    EXPECT_EQ(pages(true, EncoderFamily::Torvik), (std::vector<int>{3, 6, 7, 9}));
    EXPECT_EQ(pages(true, EncoderFamily::Quenra), (std::vector<int>{3, 9, 11, 12}));
    EXPECT_EQ(pages(true, EncoderFamily::Linear), (std::vector<int>{3, 6, 7}));
    EXPECT_EQ(pages(true, EncoderFamily::Unidentified), (std::vector<int>{3}));
    EXPECT_EQ(pages(false, EncoderFamily::Torvik), (std::vector<int>{6, 7, 9}));
}

TEST(StatusLine, ActivityLampBlinksBetweenDarkAndBrightGreen)
{
    RecordingView view;
    StatusLine status(view);
    status.FlipActivity();
    EXPECT_EQ(view.lamp, (Rgb{0, 187, 0}));
    status.FlipActivity();
    EXPECT_EQ(view.lamp, (Rgb{0, 68, 0}));
}

TEST(CommandLine, SwitchesAndPorts)
{
    CommandLine none = ParseCommandLine({});
    EXPECT_FALSE(none.production);
    EXPECT_FALSE(none.simulate);
    EXPECT_TRUE(none.error.empty());

    EXPECT_TRUE(ParseCommandLine({"/proizvodnja"}).production);
    EXPECT_TRUE(ParseCommandLine({"/ProizVODnja"}).production);
    EXPECT_FALSE(ParseCommandLine({"/PROIZVODNJAX"}).production);
    EXPECT_FALSE(ParseCommandLine({"PROIZVODNJA"}).production);

    CommandLine line = ParseCommandLine({"--port", "/dev/ttyUSB0", "--simulate=quenra", "--port=/tmp/box", "/PROIZVODNJA"});
    EXPECT_TRUE(line.production);
    EXPECT_TRUE(line.simulate);
    EXPECT_EQ(line.simFamily, "quenra");
    EXPECT_EQ(line.ports, (std::vector<std::string>{"/dev/ttyUSB0", "/tmp/box"}));
    EXPECT_TRUE(line.error.empty());

    EXPECT_TRUE(ParseCommandLine({"--simulate"}).simFamily.empty());
    EXPECT_FALSE(ParseCommandLine({"--port"}).error.empty());
    EXPECT_FALSE(ParseCommandLine({"--port="}).error.empty());
    // The toolkit's own options pass through.
    EXPECT_TRUE(ParseCommandLine({"-platform", "offscreen"}).error.empty());

    EXPECT_EQ(ParseCommandLine({"--db", "postgresql://qa@plant/k417"}).db, "postgresql://qa@plant/k417");
    EXPECT_EQ(ParseCommandLine({"--db=/tmp/r.sqlite"}).db, "/tmp/r.sqlite");
    EXPECT_FALSE(ParseCommandLine({"--db"}).error.empty());
    EXPECT_FALSE(ParseCommandLine({"--db="}).error.empty());
}
