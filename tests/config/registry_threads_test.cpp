#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "config/registry.h"
#include "support/temp_home.h"

namespace bx {
namespace {

TEST(RegistryThreadsTest, ConcurrentWritesInOneProcessLoseNothing) {
  test::TTempHome home;
  std::vector<std::thread> writers;
  for (int t = 0; t < 4; ++t) {
    writers.emplace_back([t] {
      for (int i = 0; i < 10; ++i) {
        RegistryWriteString(TRegistryRoot::CurrentUser, kProductRegistryKey,
                            "V" + std::to_string(t) + "_" + std::to_string(i), "x", true);
      }
    });
  }
  for (auto& w : writers) w.join();
  for (int t = 0; t < 4; ++t) {
    for (int i = 0; i < 10; ++i) {
      std::string value;
      EXPECT_TRUE(RegistryReadString(TRegistryRoot::CurrentUser, kProductRegistryKey,
                                     "V" + std::to_string(t) + "_" + std::to_string(i), value))
          << t << " " << i;
    }
  }
}

}  // namespace
}  // namespace bx
