#include <gtest/gtest.h>

#include <QCoreApplication>

// A QCoreApplication, not a QApplication: the platform's message box then
// writes to stderr instead of waiting for a click.
int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
