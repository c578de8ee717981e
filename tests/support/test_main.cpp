// Test entry point: a Qt application object exists for the whole run, as in the
// program, so Qt types that need one (timers, item models, GUI types) work in tests.
#include <gtest/gtest.h>

#ifdef ML_TEST_GUI_APP
#include <QGuiApplication>
using TestApplication = QGuiApplication;
#else
#include <QCoreApplication>
using TestApplication = QCoreApplication;
#endif

int main(int argc, char** argv)
{
  ::testing::InitGoogleTest(&argc, argv);
  TestApplication app(argc, argv);
  return RUN_ALL_TESTS();
}
