// Linked into every Qt test program: TTempHome changes the environment under Qt's own lock
// (qputenv), which QtTest's watchdog thread also takes when it reads its time-out at every
// test function. Installed by a static initializer, before main starts any thread.
#include <QByteArray>
#include <QtGlobal>

#include "support/temp_home.h"

namespace {

void QtEnvironmentWriter(const char* name, const char* value) {
  if (value != nullptr) {
    qputenv(name, QByteArray(value));
  } else {
    qunsetenv(name);
  }
}

const bool kInstalled = [] {
  bx::test::SetEnvironmentWriter(QtEnvironmentWriter);
  return true;
}();

}  // namespace
