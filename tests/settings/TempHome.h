#pragma once

#include <gtest/gtest.h>

#include <QByteArray>
#include <QTemporaryDir>
#include <string>

// Points the configuration and data folders at a fresh temporary folder for
// one test, so tests never share a store or touch a real user's files.
class TempHomeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(home_.isValid());
    qputenv("XDG_CONFIG_HOME", QByteArray((home_.path() + "/config").toUtf8()));
    qputenv("XDG_DATA_HOME", QByteArray((home_.path() + "/data").toUtf8()));
  }
  QString ConfigFile() const { return home_.path() + "/config/Zelvik Software/Vorntools.conf"; }
  QString DataFolder() const { return home_.path() + "/data/Zelvik Software/Vorntools"; }

  std::string ReadConfig() const;
  void WriteConfig(const std::string& text) const;

  QTemporaryDir home_;
};
