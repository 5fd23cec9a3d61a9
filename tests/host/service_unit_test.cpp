// The unit that "INSTALL" writes: its settings, the quoting of ExecStart, its mode whatever
// the umask, and what a second installation says.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>

#include "host/service_host.h"
#include "platform/folders.h"
#include "support/temp_home.h"

namespace bx {
namespace {

using test::ReadFile;
using test::TTempHome;
using test::WriteFile;

std::string Line(const std::string& unit, const std::string& key) {
  const size_t at = unit.find("\n" + key + "=");
  if (at == std::string::npos) return "<missing>";
  const size_t start = at + key.size() + 2;
  return unit.substr(start, unit.find('\n', start) - start);
}

TEST(ServiceUnitTest, HardenedNotifyUnitForTheServiceUser) {
  const std::string unit = ServiceUnitText("/usr/bin/BxDispatcher");
  EXPECT_EQ(Line(unit, "ExecStart"), "/usr/bin/BxDispatcher");
  EXPECT_EQ(Line(unit, "Type"), "notify");
  EXPECT_EQ(Line(unit, "User"), "brevix");
  EXPECT_EQ(Line(unit, "Restart"), "on-failure");
  EXPECT_EQ(Line(unit, "RuntimeDirectory"), "BrevixDispatcher");
  EXPECT_EQ(Line(unit, "StateDirectory"), "Korvane/Brevix/4.0");
  EXPECT_EQ(Line(unit, "LogsDirectory"), "BrevixDispatcher");
  EXPECT_EQ(Line(unit, "ProtectSystem"), "strict");
  EXPECT_EQ(Line(unit, "CapabilityBoundingSet"), "");
  EXPECT_EQ(Line(unit, "RestrictAddressFamilies"), "AF_UNIX AF_INET AF_INET6");
  EXPECT_EQ(Line(unit, "LimitNICE"), "-5");
  EXPECT_NE(Line(unit, "LimitNOFILE"), "<missing>");
  EXPECT_NE(Line(unit, "WatchdogSec"), "<missing>");
  EXPECT_EQ(unit.find("TimeoutStartSec=5\n"), std::string::npos);
}

TEST(ServiceUnitTest, ExecStartQuotedAsSystemdReadsIt) {
  // Specifiers and variables are doubled everywhere; blanks, quotes and backslashes need quotes.
  EXPECT_EQ(Line(ServiceUnitText("/opt/100%/$HOME/BxDispatcher"), "ExecStart"),
            "/opt/100%%/$$HOME/BxDispatcher");
  EXPECT_EQ(Line(ServiceUnitText("/opt/Brevix 4/Bx\"Dispatcher\\"), "ExecStart"),
            "\"/opt/Brevix 4/Bx\\\"Dispatcher\\\\\"");
  EXPECT_EQ(Line(ServiceUnitText("/opt/a b/%i"), "ExecStart"), "\"/opt/a b/%%i\"");
}

TEST(ServiceUnitTest, InstalledWithMode0644AndAChangedUnitIsNamed) {
  TTempHome home;
  const mode_t previous = ::umask(077);
  std::string error;
  std::string notice;
  ASSERT_TRUE(InstallService(&error, &notice)) << error;
  ::umask(previous);
  struct stat info {};
  ASSERT_EQ(::stat(ServiceUnitPath().c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 07777, 0644u);
  EXPECT_EQ(notice, "");

  ASSERT_TRUE(InstallService(&error, &notice)) << error;
  EXPECT_EQ(notice, "Service unit " + ServiceUnitPath() + " is unchanged");

  const std::string edited = ReadFile(ServiceUnitPath()) + "Nice=5\n";
  WriteFile(ServiceUnitPath(), edited);
  ASSERT_TRUE(InstallService(&error, &notice)) << error;
  EXPECT_EQ(notice, "Service unit " + ServiceUnitPath() +
                        " differs from the one this program writes: replaced, the old one is "
                        "kept as " +
                        ServiceUnitPath() + ".old");
  EXPECT_EQ(ReadFile(ServiceUnitPath() + ".old"), edited);
  EXPECT_EQ(ReadFile(ServiceUnitPath()).find("Nice=5"), std::string::npos);
  ASSERT_EQ(::stat(ServiceUnitPath().c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 07777, 0644u);

  EXPECT_EQ(JournalPriority(TLogLevel::Error), 3);
  EXPECT_EQ(JournalPriority(TLogLevel::Warning), 4);
  EXPECT_EQ(JournalPriority(TLogLevel::Reg), 5);
  EXPECT_EQ(JournalPriority(TLogLevel::Unreg), 5);
  EXPECT_EQ(JournalPriority(TLogLevel::Info), 6);
  EXPECT_EQ(JournalPriority(TLogLevel::Setting), 6);
}

}  // namespace
}  // namespace bx
