// The simulated box and encoder, driven through the real transport and link.

#include "link/Link.h"
#include "sim/Simulator.h"
#include "util/Bits.h"

#include <gtest/gtest.h>

namespace {
class SimTest : public ::testing::Test {
protected:
    void StartSim(const SimOptions& options = {})
    {
        sim = std::make_unique<Simulator>(options);
        std::string error;
        ASSERT_TRUE(sim->Start(&error)) << error;
        link.ComHandle = PosixSerialPort::Open(sim->PortPath(), &error);
        ASSERT_TRUE(link.ComHandle) << error;
    }
    std::string Send(const std::string& command)
    {
        std::string reply;
        EXPECT_EQ(link.Transact(command, reply), 0) << command;
        return reply;
    }
    std::unique_ptr<Simulator> sim;
    Link link;
};
} // namespace

TEST_F(SimTest, AnswersVersionPowerAndSignature)
{
    StartSim();
    EXPECT_EQ(Send("v").rfind("K417-3C", 0), 0u);
    EXPECT_EQ(Send("F"), "Encoder power OFF\r");
    EXPECT_FALSE(sim->EncoderPowered());
    EXPECT_EQ(Send("4"), "TIMEOUT\r");
    EXPECT_EQ(Send("N"), "Encoder power ON\r");
    ASSERT_TRUE(link.ReadEncoderSignature()) << link.LastErrorText;
    EXPECT_EQ(link.EncoderSignature.Zolvan_PartNumber, "TV657-18B16-000");
    EXPECT_EQ(link.EncoderSignature.Zolvan_FWverStr, "2.5.8.9600");
    EXPECT_EQ(link.EncoderSignature.EDS_Common_bank_num, 16);
    EXPECT_EQ(link.RxBank[0], 'K'); // extended serial of bank 1
}
