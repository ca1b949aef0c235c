// The view tests run inside one offscreen Qt application (with widgets), made before the
// first test and ended after the last, as a program would.
#include <gtest/gtest.h>

#include <QApplication>

#include <cstdlib>

// fontconfig keeps a few blocks for the life of the process on purpose.
extern "C" const char* __lsan_default_suppressions() { return "leak:libfontconfig\n"; }

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 1);
  ::testing::InitGoogleTest(&argc, argv);
  QApplication app(argc, argv);  // widgets too: the grid window is tested offscreen
  return RUN_ALL_TESTS();
}
