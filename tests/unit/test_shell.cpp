// The status-line convention and the command line of the program.

#include "app/CommandLine.h"
#include "app/StatusLine.h"

#include <gtest/gtest.h>

namespace {
struct RecordingView : StatusView {
    std::string text;
    Rgb background{};
    Rgb lamp = kColourLampStart;
    void ShowStatus(const std::string& t, Rgb b) override
    {
        text = t;
        background = b;
    }
    Rgb LampColour() const override { return lamp; }
    void SetLampColour(Rgb c) override { lamp = c; }
};
} // namespace

TEST(StatusLine, SuccessAndFailureFollowTheOneConvention)
{
    Link link;
    EncoderIdentity identity;
    RecordingView view;
    StatusLine status(link, identity, view);
    identity.EncoderConnected = true;

    link.LastErrorText = "End of bank reached\r\nCMD: R64:000 RCV: 1:10:";
    EXPECT_TRUE(status.Report(true));
    EXPECT_EQ(view.text, "Comm OK\r\nEnd of bank reached\r\nCMD: R64:000 RCV: 1:10:");
    EXPECT_EQ(view.background, (Rgb{174, 255, 215}));
    EXPECT_TRUE(identity.EncoderConnected);

    link.LastErrorText = "USB Comm Err -1";
    EXPECT_FALSE(status.Report(false));
    EXPECT_EQ(view.text, "Error\r\nUSB Comm Err -1");
    EXPECT_EQ(view.background, (Rgb{255, 91, 91}));
    EXPECT_FALSE(identity.EncoderConnected);

    identity.EncoderConnected = true;
    status.ShowMonitorOk();
    EXPECT_EQ(view.text, "Comm OK");
    EXPECT_TRUE(identity.EncoderConnected);
    status.ShowMonitorError("partial");
    EXPECT_EQ(view.text, "Error\r\npartialUSB Comm Err -1");
    EXPECT_FALSE(identity.EncoderConnected);
}

TEST(StatusLine, ActivityLampBlinksBetweenDarkAndBrightGreen)
{
    Link link;
    EncoderIdentity identity;
    RecordingView view;
    StatusLine status(link, identity, view);
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
}
