// The view tests run inside one offscreen Qt application, made before the
// first test and ended after the last, as a program would.
#include <gtest/gtest.h>

#include <QGuiApplication>

#include <cstdlib>

// fontconfig keeps a few blocks for the life of the process on purpose.
extern "C" const char* __lsan_default_suppressions() { return "leak:libfontconfig\n"; }

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 1);
  ::testing::InitGoogleTest(&argc, argv);
  QGuiApplication app(argc, argv);
  return RUN_ALL_TESTS();
}
