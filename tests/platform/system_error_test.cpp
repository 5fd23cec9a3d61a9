#include "platform/system_error.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <string>

#include "platform/file_access.h"
#include "platform/file_system.h"
#include "platform/socket.h"
#include "support/temp_home.h"

namespace bx {
namespace {

TEST(SystemErrorTest, CarriesTheNumberAndTheSystemsText) {
  const TSystemError success;
  EXPECT_TRUE(success.Ok());
  EXPECT_EQ(success.Text, "");

  const TSystemError missing = TSystemError::Of(ENOENT);
  EXPECT_FALSE(missing.Ok());
  EXPECT_EQ(missing.Code, ENOENT);
  EXPECT_EQ(missing.Text, "No such file or directory");
  EXPECT_EQ(missing.Describe("/tmp/x"), "/tmp/x: No such file or directory");
  EXPECT_EQ(SystemErrorText(EACCES), "Permission denied");
  EXPECT_EQ(TSystemError::Of(987654).Text, "Unknown error 987654");

  errno = EACCES;
  const TSystemError last = TSystemError::Last();
  EXPECT_EQ(last.Code, EACCES);
  EXPECT_EQ(last.Text, "Permission denied");
}

// The wrappers' texts keep their shapes, built from the one error type.
TEST(SystemErrorTest, WrappersReportTheirErrorsInTheirOwnShapes) {
  test::TTempHome home;
  const std::string missing = home.Path() + "/none/f.ini";
  std::string bytes, error;
  EXPECT_FALSE(ReadWholeFile(missing, bytes, &error));
  EXPECT_EQ(error, missing + ": No such file or directory");

  TSystemError status;
  EXPECT_EQ(RealFileSystem().OpenForRead(missing, status), nullptr);
  EXPECT_EQ(status.Code, ENOENT);
  EXPECT_EQ(status.Text, "No such file or directory");

  const ESocketError timedOut = TimedOutError("recv");
  EXPECT_EQ(std::string(timedOut.what()),
            "Socket error " + std::to_string(ETIMEDOUT) + " in recv: Connection timed out");
  EXPECT_EQ(timedOut.Code(), ETIMEDOUT);
  EXPECT_EQ(timedOut.SystemText(), "Connection timed out");
  EXPECT_EQ(timedOut.Error().Code, ETIMEDOUT);

  const std::string longPath = home.Path() + "/" + std::string(200, 'a') + ".sock";
  try {
    TStreamSocket::ConnectUnix(longPath);
    ADD_FAILURE() << "a path over 107 bytes was taken";
  } catch (const ESocketError& e) {
    EXPECT_EQ(std::string(e.what()), "Socket path is longer than 107 bytes: " + longPath);
    EXPECT_EQ(e.Code(), ENAMETOOLONG);
    EXPECT_EQ(e.SystemText(), "File name too long");
  }
}

}  // namespace
}  // namespace bx
