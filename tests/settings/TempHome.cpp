#include "TempHome.h"

#include <QDir>
#include <QFileInfo>

#include "scan/SafeFile.h"

std::string TempHomeTest::ReadConfig() const {
  std::string text;
  EXPECT_TRUE(ReadWholeFile(ConfigFile().toStdString(), text));
  return text;
}

void TempHomeTest::WriteConfig(const std::string& text) const {
  QDir().mkpath(QFileInfo(ConfigFile()).path());
  ASSERT_TRUE(WriteFileReplacing(ConfigFile().toStdString(), text));
}
