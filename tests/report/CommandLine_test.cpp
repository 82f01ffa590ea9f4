#include <gtest/gtest.h>

#include <QDir>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>

namespace {

struct Outcome {
  int status = -1;
  QString out;
  QString err;
};

// Runs the built window program with no display at all and a platform that
// would need one: only an answer given before the application object exists
// can succeed.
Outcome RunWithoutDisplay(const QStringList& arguments, const QString& home = {}) {
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  if (!home.isEmpty()) {
    env.insert("XDG_CONFIG_HOME", home + "/config");
    env.insert("XDG_DATA_HOME", home + "/data");
  }
  env.remove("DISPLAY");
  env.remove("WAYLAND_DISPLAY");
  env.insert("QT_QPA_PLATFORM", "xcb");
  QProcess process;
  process.setProcessEnvironment(env);
  process.start(QStringLiteral(VORNTOOLS_GUI_PATH), arguments);
  Outcome outcome;
  if (!process.waitForFinished(30000)) return outcome;
  if (process.exitStatus() == QProcess::NormalExit) outcome.status = process.exitCode();
  outcome.out = QString::fromUtf8(process.readAllStandardOutput());
  outcome.err = QString::fromUtf8(process.readAllStandardError());
  return outcome;
}

TEST(CommandLine, HelpAndVersionAnswerWithoutADisplay) {
  const Outcome version = RunWithoutDisplay({"--version"});
  EXPECT_EQ(version.status, 0) << version.err.toStdString();
  EXPECT_EQ(version.out, QStringLiteral("vorntools " VORNTOOLS_VERSION "\n"));

  const Outcome help = RunWithoutDisplay({"--help"});
  EXPECT_EQ(help.status, 0) << help.err.toStdString();
  EXPECT_TRUE(help.out.startsWith("Usage: vorntools [NAME]\n")) << help.out.toStdString();

  const Outcome shortHelp = RunWithoutDisplay({"-h"});
  EXPECT_EQ(shortHelp.status, 0) << shortHelp.err.toStdString();
  EXPECT_EQ(shortHelp.out, help.out);

  // Anything else names a configuration and starts the window, which needs the display.
  const Outcome named = RunWithoutDisplay({"--helpless"});
  EXPECT_NE(named.status, 0);
  EXPECT_EQ(named.out, QString());
}

TEST(CommandLine, AnUnknownOptionIsAUsageErrorThatCreatesNothing) {
  QTemporaryDir home;
  ASSERT_TRUE(home.isValid());
  for (const QStringList& arguments :
       {QStringList{"--bogus"}, QStringList{"-x", "Work"}, QStringList{"--open"},
        QStringList{"--open", "scan.json", "--bogus"}}) {
    const Outcome outcome = RunWithoutDisplay(arguments, home.path());
    EXPECT_EQ(outcome.status, 2) << arguments.join(' ').toStdString();
    EXPECT_EQ(outcome.out, QString());
    EXPECT_TRUE(outcome.err.contains("vorntools --help")) << outcome.err.toStdString();
    EXPECT_EQ(QDir(home.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList())
        << "no settings, no configuration";
  }
}

}  // namespace
