#include "config/command_line.h"

#include <gtest/gtest.h>

namespace bx {
namespace {

TEST(CommandLineTest, OptionsLastWinsAndPortsFallBack) {
  TBxCommandLine a({"/tcpport=4000", "-TCPPort=5000", "UDPPort=4001", "+udpPORT=4002"}, "+-/");
  EXPECT_EQ(CommandLineTcpPort(a), 5000);
  EXPECT_EQ(CommandLineUdpPort(a), 4002);
  EXPECT_EQ(a.Count(), 3);
  EXPECT_EQ(a.FindOption("tcpPort"), 1);
  EXPECT_EQ(a.Option(2).SwitchChar, u'+');
  EXPECT_EQ(a.Option(2).Separator, u'=');

  TBxCommandLine b({"/TCPPort", "-UDPPort=abc", "-x=a=b"}, "+-/");
  EXPECT_EQ(b.FindOption("TCPPort"), 0);
  EXPECT_EQ(b.OptionValue("TCPPort"), "");
  EXPECT_EQ(CommandLineTcpPort(b), 3434);
  EXPECT_EQ(CommandLineUdpPort(b), 3435);
  EXPECT_EQ(b.OptionValue("X"), "a=b");

  TBxCommandLine c({"/TCPPort = 4000", "", "-", "\xC3\x84TCPPort=1"}, "+-/");
  EXPECT_EQ(c.FindOption("TCPPort"), -1);  // blanks belong to the name
  EXPECT_EQ(c.FindOption("TCPPort "), 0);
  EXPECT_EQ(c.OptionValue("TCPPort "), " 4000");
  EXPECT_EQ(CommandLineTcpPort(c), 3434);
  EXPECT_EQ(c.Count(), 2);  // "-" is an option with an empty name
  EXPECT_THROW(c.Option(2), std::out_of_range);

  const char* argv[] = {"BxDispatcher", "-UDPPort=7000", nullptr};
  TBxCommandLine d(2, argv, "+-/");
  EXPECT_EQ(CommandLineUdpPort(d), 7000);
  EXPECT_EQ(CommandLineTcpPort(d), 3434);
}

TEST(CommandLineTest, PlainSwitchesMatchWholeNamesAfterTheirCharacters) {
  const std::string admin = "-/\\";
  EXPECT_TRUE(FindCmdLineSwitch({"\\init_stealth"}, "INIT_STEALTH", admin));
  EXPECT_TRUE(FindCmdLineSwitch({"x", "-Init_Stealth"}, "INIT_STEALTH", admin));
  EXPECT_FALSE(FindCmdLineSwitch({"+INIT_STEALTH"}, "INIT_STEALTH", admin));
  EXPECT_FALSE(FindCmdLineSwitch({"INIT_STEALTH"}, "INIT_STEALTH", admin));
  EXPECT_FALSE(FindCmdLineSwitch({"-INIT_STEALTH=1"}, "INIT_STEALTH", admin));
  EXPECT_FALSE(FindCmdLineSwitch({"-INIT"}, "INIT_STEALTH", admin));
  EXPECT_FALSE(FindCmdLineSwitch({"-INIT_STEALTHY"}, "INIT_STEALTH", admin));
  EXPECT_FALSE(FindCmdLineSwitch({"\\INSTALL"}, "INSTALL", "-/"));
  EXPECT_TRUE(FindCmdLineSwitch({"/install"}, "INSTALL", "-/"));
}

}  // namespace
}  // namespace bx
