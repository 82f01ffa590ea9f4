#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFont>
#include <QListWidget>
#include <QTextEdit>

#include "FileSystemLimits.h"
#include "TempHome.h"
#include "Unprivileged.h"
#include "scan/ReportTree.h"
#include "scan/SafeFile.h"
#include "settings/MyIniFile.h"

namespace {

const QString kSection = "Usage\\Dialog";

class StoreTest : public TempHomeTest {};

TEST_F(StoreTest, MissingValuesGiveDefaultsAndTheRootKeyExistsAfterOpening) {
  TMyIniFile store(kDefaultSettingsRoot);
  EXPECT_EQ(store.ReadText(kSection, "Edit-1", "d"), "d");
  EXPECT_EQ(store.ReadNumber(kSection, "Misc-1", -7), -7);
  EXPECT_TRUE(store.ReadFlag(kSection, "CheckBox-1", true));
  EXPECT_TRUE(QFile::exists(ConfigFile()));

  // A configuration opened but never written is listed at once.
  TMyIniFile work(ConfigurationRoot("Work"));
  TMyIniFile list(kConfigurationsRoot);
  QStringList names{"stale"};
  list.ReadSectionNames(names);
  EXPECT_EQ(names, QStringList{"Work"});
  EXPECT_EQ(ReadConfig(), "[Others\\Work]\n");
}

TEST_F(StoreTest, TextsRoundTripExactly) {
  TMyIniFile store(kDefaultSettingsRoot);
  const QStringList texts{"",
                          "C:\\",
                          "  leading and trailing  ",
                          "a=b;c#d",
                          "a, b",
                          "\"quoted\"",
                          "@Rect(1 2 3 4)",
                          "line\nbreak\r\ttab\\",
                          QString::fromUtf8("Grüße 日本"),
                          "[not a header]"};
  for (int i = 0; i < texts.size(); ++i) store.WriteText(kSection, QString("T%1").arg(i), texts[i]);
  for (int i = 0; i < texts.size(); ++i)
    EXPECT_EQ(store.ReadText(kSection, QString("T%1").arg(i), "default"), texts[i]) << i;
  // A name that could be mistaken for a header or a comment round-trips too.
  store.WriteText(kSection, "[odd=name", "v");
  EXPECT_EQ(store.ReadText(kSection, "[odd=name", ""), "v");
}

TEST_F(StoreTest, TextEndsAtItsFirstNul) {
  TMyIniFile store(kDefaultSettingsRoot);
  store.WriteText(kSection, "Edit-1", QString("ab") + QChar(0) + "cd");
  EXPECT_EQ(store.ReadText(kSection, "Edit-1", "x"), "ab");
}

TEST_F(StoreTest, IntegersReadAsTheTableSays) {
  TMyIniFile store(kDefaultSettingsRoot);
  const char* twentySix[] = {"26", " 26", "+26", "$1A", "0x1A", "0X1a"};
  for (const char* text : twentySix) {
    store.WriteText(kSection, "N", text);
    EXPECT_EQ(store.ReadNumber(kSection, "N", -1), 26) << text;
  }
  const char* bad[] = {"0x", "26 kB", "-0x1A", "", "26 ", "2147483648", "$100000000"};
  for (const char* text : bad) {
    store.WriteText(kSection, "N", text);
    EXPECT_EQ(store.ReadNumber(kSection, "N", 99), 99) << text;
  }
  store.WriteText(kSection, "N", "$FFFFFFFF");
  EXPECT_EQ(store.ReadNumber(kSection, "N", 0), -1);
  store.WriteNumber(kSection, "N", -2147483647 - 1);
  EXPECT_EQ(store.ReadText(kSection, "N", ""), "-2147483648");
  EXPECT_EQ(store.ReadNumber(kSection, "N", 0), -2147483647 - 1);
}

TEST_F(StoreTest, BooleansReadAsTheTableSays) {
  TMyIniFile store(kDefaultSettingsRoot);
  store.WriteText(kSection, "B", "0");
  EXPECT_FALSE(store.ReadFlag(kSection, "B", true));
  for (const char* text : {"1", "2", "-1"}) {
    store.WriteText(kSection, "B", text);
    EXPECT_TRUE(store.ReadFlag(kSection, "B", false)) << text;
  }
  for (const char* text : {"", "yes"}) {
    store.WriteText(kSection, "B", text);
    EXPECT_TRUE(store.ReadFlag(kSection, "B", true)) << text;
    EXPECT_FALSE(store.ReadFlag(kSection, "B", false)) << text;
  }
  store.WriteFlag(kSection, "B", true);
  EXPECT_EQ(store.ReadText(kSection, "B", ""), "1");
  store.WriteFlag(kSection, "B", false);
  EXPECT_EQ(store.ReadText(kSection, "B", ""), "0");
}

TEST_F(StoreTest, ListsLiveInTheirOwnKeyAndShrinkWithoutLosingOldItems) {
  TMyIniFile store(kDefaultSettingsRoot);
  store.WriteListBox(kSection, "ListBox-1", QStringList{"a", "b", "c", "d", "e"});
  store.WriteListBox(kSection, "ListBox-1", QStringList{"x", "y", "z"});
  QStringList items{"old"};
  store.ReadListBox(kSection, "ListBox-1", items);
  EXPECT_EQ(items, (QStringList{"x", "y", "z"}));
  // The key is a sibling of Dialog, and the old items stay in it.
  EXPECT_EQ(store.ReadText("Usage\\DialogListBox-1", "Item5", ""), "e");
  EXPECT_FALSE(store.SectionExists("Usage\\Dialog"));
  EXPECT_TRUE(store.SectionExists("Usage\\DialogListBox-1"));

  QListWidget widget;
  widget.addItem("stale");
  store.ReadListBox(kSection, "ListBox-1", &widget);
  ASSERT_EQ(widget.count(), 3);
  EXPECT_EQ(widget.item(2)->text(), "z");
  widget.addItem("w");
  store.WriteListBox(kSection, "ListBox-1", &widget);
  store.ReadListBox(kSection, "ListBox-1", items);
  EXPECT_EQ(items, (QStringList{"x", "y", "z", "w"}));
}

TEST_F(StoreTest, ListCountsAndEmptyItems) {
  TMyIniFile store(kDefaultSettingsRoot);
  const QString key = "Usage\\DialogListBox-1";
  store.WriteText(key, "Item1", "one");
  store.WriteText(key, "Item2", "");
  store.WriteText(key, "Item3", "three");
  store.WriteText(key, "Item03", "not an item name");
  QStringList items;
  for (const char* count : {"0", "-3", "many"}) {
    store.WriteText(key, "Count", count);
    store.ReadListBox(kSection, "ListBox-1", items);
    EXPECT_TRUE(items.isEmpty()) << count;
  }
  // More items counted than stored, and one stored empty: both are skipped.
  store.WriteText(key, "Count", "2147483647");
  store.ReadListBox(kSection, "ListBox-1", items);
  EXPECT_EQ(items, (QStringList{"one", "three"}));
  store.WriteText(key, "Count", "2");
  store.ReadListBox(kSection, "ListBox-1", items);
  EXPECT_EQ(items, QStringList{"one"});
}

TEST_F(StoreTest, FontsKeepStylesTheStoreDoesNotSwitchOn) {
  TMyIniFile store(kDefaultSettingsRoot);
  QFont written("DejaVu Sans Mono", 14);
  written.setItalic(true);
  written.setStrikeOut(true);
  store.WriteFont("Usage\\Report", "Font-1", written);
  EXPECT_EQ(store.ReadText("Usage\\ReportFont-1", "Name", ""), "DejaVu Sans Mono");
  EXPECT_EQ(store.ReadText("Usage\\ReportFont-1", "Size", ""), "14");
  EXPECT_EQ(store.ReadText("Usage\\ReportFont-1", "Bold", ""), "0");
  EXPECT_EQ(store.ReadText("Usage\\ReportFont-1", "StrikeOut", ""), "1");

  QFont read;
  read.setBold(true);  // "Bold" stored as "0" does not take it away
  store.ReadFont("Usage\\Report", "Font-1", read);
  EXPECT_EQ(read.family(), "DejaVu Sans Mono");
  EXPECT_EQ(read.pointSize(), 14);
  EXPECT_TRUE(read.bold());
  EXPECT_TRUE(read.italic());
  EXPECT_FALSE(read.underline());
  EXPECT_TRUE(read.strikeOut());

  QFont fresh("Serif", 20);
  fresh.setUnderline(true);
  store.ReadFont("Usage\\Report", "Font-2", fresh);
  EXPECT_EQ(fresh.family(), "Courier New");
  EXPECT_EQ(fresh.pointSize(), 10);
  EXPECT_TRUE(fresh.underline());

  store.WriteText("Usage\\ReportFont-2", "Size", "-5");
  store.ReadFont("Usage\\Report", "Font-2", fresh);
  EXPECT_EQ(fresh.pointSize(), 10);
}

TEST_F(StoreTest, TheTreeFileIsSharedByEveryConfiguration) {
  TMyIniFile work(ConfigurationRoot("Work"));
  TMyIniFile home(ConfigurationRoot("Home"));
  TReportTree saved;
  TTreeNode* top = saved.AddChild(nullptr, "....121K  Docs");
  saved.AddChild(top, ".....12K  Old");
  work.WriteTreeView("Usage\\Report", "1", saved);
  EXPECT_TRUE(QFile::exists(DataFolder() + "/Usage/Report/1.txt"));

  TReportTree loaded;
  loaded.AddChild(nullptr, "replaced");
  home.ReadTreeView("Usage\\Report", "1", loaded);
  EXPECT_EQ(loaded.TextForm(), saved.TextForm());
}

TEST_F(StoreTest, AMissingOrDamagedTreeFileIsAbsorbed) {
  TMyIniFile store(kDefaultSettingsRoot);
  TReportTree tree;
  tree.AddChild(nullptr, "kept");
  store.ReadTreeView("Usage\\Report", "1", tree);
  EXPECT_EQ(tree.Count(), 1u);
  // Reading made the folder chain.
  EXPECT_TRUE(QFileInfo(DataFolder() + "/Usage/Report").isDir());

  // A line too deep fails part-way: what came before it stays.
  ASSERT_TRUE(WriteFileReplacing((DataFolder() + "/Usage/Report/1.txt").toStdString(),
                                 std::string("a\r\n\t\t\tb\r\n\xff\x00garbage", 18)));
  EXPECT_NO_THROW(store.ReadTreeView("Usage\\Report", "1", tree));
  ASSERT_GE(tree.Count(), 1u);
  EXPECT_EQ(tree.NodeAt(0)->Label(), "a");
}

TEST_F(StoreTest, WritingATreeWhereNoFileCanBeMadeRaises) {
  TMyIniFile store(kDefaultSettingsRoot);
  // A plain file where the folder should be.
  QDir().mkpath(DataFolder() + "/Usage");
  ASSERT_TRUE(WriteFileReplacing((DataFolder() + "/Usage/Report").toStdString(), "x"));
  TReportTree tree;
  tree.AddChild(nullptr, "a");
  try {
    store.WriteTreeView("Usage\\Report", "1", tree);
    FAIL() << "no error";
  } catch (const EVorntoolsError& e) {
    EXPECT_EQ(std::string(e.what()), "Cannot create file " +
                                         (DataFolder() + "/Usage/Report/1.txt").toStdString() +
                                         ": Not a directory");
  }
}

TEST_F(StoreTest, RichEditTextRoundTripsThroughItsFile) {
  TMyIniFile store(kDefaultSettingsRoot);
  QTextEdit written;
  written.setPlainText("first line\nsecond line");
  store.WriteRichEdit("Usage\\Notes", "2", &written);
  QTextEdit read;
  read.setPlainText("before");
  store.ReadRichEdit("Usage\\Notes", "3", &read);  // no file: left alone
  EXPECT_EQ(read.toPlainText(), "before");
  store.ReadRichEdit("Usage\\Notes", "2", &read);
  EXPECT_EQ(read.toPlainText(), "first line\nsecond line");
}

TEST_F(StoreTest, SectionNamesAreTheDirectSubKeysInFileOrder) {
  TMyIniFile work(ConfigurationRoot("Work"));
  TMyIniFile deep(ConfigurationRoot("Deep\\Er"));
  TMyIniFile zed(ConfigurationRoot("Zed"));
  work.WriteNumber("Usage\\Report", "Left", 1);
  zed.WriteNumber("Usage\\Dialog", "Left", 2);
  TMyIniFile list(kConfigurationsRoot);
  QStringList names;
  list.ReadSectionNames(names);
  EXPECT_EQ(names, (QStringList{"Work", "Deep", "Zed"}));
  TMyIniFile root(kDefaultSettingsRoot);
  root.ReadSectionNames(names);
  EXPECT_EQ(names, QStringList{"Others"});
  // The default root's values stay apart from the configurations'.
  EXPECT_EQ(root.ReadNumber("Usage\\Report", "Left", -1), -1);
  EXPECT_EQ(work.ReadNumber("Usage\\Report", "Left", -1), 1);
}

TEST_F(StoreTest, ConfigurationNamesOfAnyTextRoundTrip) {
  const QStringList odd{"a]b", "50%", " padded ", "[x]", "semi;colon=1", "new\nline"};
  for (const QString& name : odd) TMyIniFile(ConfigurationRoot(name)).WriteNumber("Usage", "V", 1);
  // A name with "\" is a key path: only its first level is a configuration.
  TMyIniFile(ConfigurationRoot("Two\\Levels"));
  QStringList names;
  TMyIniFile(kConfigurationsRoot).ReadSectionNames(names);
  EXPECT_EQ(names, odd + QStringList{"Two"});
  for (const QString& name : odd)
    EXPECT_EQ(TMyIniFile(ConfigurationRoot(name)).ReadNumber("Usage", "V", 0), 1)
        << name.toStdString();
}

TEST_F(StoreTest, TheFileReadsAsAPersonWouldExpect) {
  TMyIniFile store(kDefaultSettingsRoot);
  store.WriteNumber("Usage\\Report", "Left", 120);
  store.WriteNumber("Usage\\Report", "Version", 1);
  store.WriteText("Usage\\Dialog", "Edit-1", " 3");
  store.WriteFlag("Usage\\Dialog", "CheckBox-1", true);
  store.WriteListBox("Usage\\Dialog", "ListBox-1", QStringList{"/home", "/srv, /opt"});
  TMyIniFile work(ConfigurationRoot("Work"));
  store.WriteText("Usage\\Wizard", "Edit-1", "/tmp");
  EXPECT_EQ(ReadConfig(),
            "[Usage\\Report]\n"
            "Left=120\n"
            "Version=1\n"
            "\n"
            "[Usage\\Dialog]\n"
            "Edit-1=\" 3\"\n"
            "CheckBox-1=1\n"
            "\n"
            "[Usage\\DialogListBox-1]\n"
            "Count=2\n"
            "Item1=/home\n"
            "Item2=\"/srv, /opt\"\n"
            "\n"
            "[Usage\\Wizard]\n"
            "Edit-1=/tmp\n"
            "\n"
            "[Others\\Work]\n");
}

TEST_F(StoreTest, HandEditedFilesAreReadAndKeptIntact) {
  WriteConfig(
      "; my settings\n"
      "[Usage\\Dialog]\r\n"
      "  Edit-1 =  5  \r\n"
      "Edit-2=a, b\n"
      "Edit-3=\"unterminated\n"
      "Misc-1=@Rect(1 2 3 4)\n"
      "this line means nothing\n"
      "Edit-1=6\n"
      "Edit-4=x\r\r\r\n"
      "[Usage\\Wizard]\n"
      "Edit-1=\"C:\\\\\"\n"
      "[Usage\\Dialog]\n"
      "CheckBox-1=1\n");
  TMyIniFile store(kDefaultSettingsRoot);
  EXPECT_EQ(store.ReadText("Usage\\Dialog", "Edit-1", ""), "6");  // the later line counts
  EXPECT_TRUE(store.ReadFlag("Usage\\Dialog", "CheckBox-1", false));
  EXPECT_EQ(store.ReadText("Usage\\Wizard", "Edit-1", ""), "C:\\");
  const auto message = [&](const char* name) {
    try {
      store.ReadText("Usage\\Dialog", name, "");
    } catch (const ERegistryException& e) {
      return std::string(e.what());
    }
    return std::string("no error");
  };
  EXPECT_EQ(message("Edit-2"), "Invalid data type for 'Edit-2'");
  EXPECT_EQ(message("Misc-1"), "Invalid data type for 'Misc-1'");
  EXPECT_EQ(message("Edit-3"), "Failed to get data for 'Edit-3'");
  EXPECT_THROW(store.ReadNumber("Usage\\Dialog", "Edit-2", 0), ERegistryException);

  // Writing one value leaves what a person typed, comments included.
  store.WriteText("Usage\\Dialog", "Edit-1", "7");
  const std::string after = ReadConfig();
  EXPECT_NE(after.find("; my settings\n"), std::string::npos);
  EXPECT_NE(after.find("Edit-2=a, b\n"), std::string::npos);
  EXPECT_NE(after.find("Edit-3=\"unterminated\n"), std::string::npos);
  EXPECT_NE(after.find("this line means nothing\n"), std::string::npos);
  EXPECT_NE(after.find("Edit-1=7\n"), std::string::npos);
  EXPECT_EQ(message("Edit-2"), "Invalid data type for 'Edit-2'");
  // A value ending in CRs keeps every one of them however often the file is written.
  store.WriteText("Usage\\Dialog", "Edit-1", "8");
  EXPECT_EQ(store.ReadText("Usage\\Dialog", "Edit-4", ""), "x\r\r");
}

TEST_F(StoreTest, GarbageFilesNeverCrashTheStore) {
  std::string garbage;
  for (int i = 0; i < 4096; ++i) garbage += static_cast<char>((i * 7919) % 256);
  garbage += "\n[\n]\n[\\\\]\n=\n\"\"=\"\\x\"\n[%zz%4]\nItem1\njunk \xff\xfe line\n";
  WriteConfig(garbage);
  TMyIniFile store(ConfigurationRoot("Work"));
  QStringList names;
  EXPECT_NO_THROW(store.ReadSectionNames(names));
  EXPECT_NO_THROW(store.ReadNumber("Usage\\Dialog", "Left", 0));
  store.WriteText("Usage\\Dialog", "Edit-1", "fine");
  EXPECT_EQ(store.ReadText("Usage\\Dialog", "Edit-1", ""), "fine");
  // What could not be read is still in the file.
  EXPECT_NE(ReadConfig().find("\njunk \xff\xfe line\n"), std::string::npos);
}

// A store in a folder that takes no new file is written in place; one that
// cannot be written at all is told of once, naming the file and the reason,
// not at every value lost with it, until a write works again. The file is
// never torn.
TEST_F(StoreTest, AStoreThatCannotBeWrittenIsReportedOnceWithItsReason) {
  const auto out = RunUnprivileged(
      [&] {
        TMyIniFile store(kDefaultSettingsRoot);
        store.WriteText("Usage\\Dialog", "Edit-1", "before");
        const QByteArray folder = QFile::encodeName(QFileInfo(ConfigFile()).path());
        const QByteArray file = QFile::encodeName(ConfigFile());
        const auto message = [&](auto write) {
          try {
            write();
          } catch (const ERegistryException& e) {
            return std::string(e.what());
          }
          return std::string("no error");
        };
        if (::chmod(folder.constData(), 0555) != 0) return std::string("chmod");
        // One step a statement: the parts of a + are not made in order.
        std::string result = message([&] { store.WriteText("Usage\\Dialog", "Edit-1", "after"); });
        result += "|" + store.ReadText("Usage\\Dialog", "Edit-1", "").toStdString() + "|";
        const std::string written = ReadConfig();
        ::chmod(file.constData(), 0444);
        result += message([&] { store.WriteText("Usage\\Dialog", "Edit-1", "x"); }) + "|";
        result += message([&] { store.WriteNumber("Usage\\Wizard", "Left", 3); }) + "|";
        result += ReadConfig() == written ? "same|" : "changed|";
        ::chmod(file.constData(), 0644);
        result += message([&] { store.WriteText("Usage\\Dialog", "Edit-1", "y"); }) + "|";
        ::chmod(file.constData(), 0444);
        result += message([&] { store.WriteText("Usage\\Dialog", "Edit-1", "z"); }) + "|";
        ::chmod(file.constData(), 0644);
        ::chmod(folder.constData(), 0755);
        return result + QDir(folder).entryList(QDir::Files | QDir::Hidden).join(",").toStdString();
      },
      {home_.path().toStdString()});
  if (!out) GTEST_SKIP() << "SKIPPED LOUDLY: cannot run as an unprivileged user here";
  const std::string refused =
      "Cannot write settings file " + ConfigFile().toStdString() + ": Permission denied";
  EXPECT_EQ(*out, "no error|after|" + refused + "|no error|same|no error|" + refused +
                      "|Vorntools.conf,Vorntools.conf.lock");
}

TEST_F(StoreTest, AWriteThatRunsOutOfSpaceRaisesAndKeepsTheOldFile) {
  TMyIniFile store(kDefaultSettingsRoot);
  store.WriteText("Usage\\Dialog", "Edit-1", "before");
  const std::string before = ReadConfig();
  std::string message1, message2;
  {
    FileSizeLimit limit(before.size() + 8);
    try {
      store.WriteText("Usage\\Dialog", "Edit-1", QString(100, 'x'));
    } catch (const ERegistryException& e) {
      message1 = e.what();
    }
    try {
      store.WriteText("Usage\\Wizard", "Edit-1", "/tmp");
    } catch (const ERegistryException& e) {
      message2 = e.what();
    }
  }
  EXPECT_EQ(message1,
            "Cannot write settings file " + ConfigFile().toStdString() + ": File too large");
  EXPECT_EQ(message2, "");  // the same store, told of once
  EXPECT_EQ(ReadConfig(), before);
  // No temporary file is left beside the store.
  EXPECT_EQ(QDir(QFileInfo(ConfigFile()).path()).entryList(QDir::Files | QDir::Hidden),
            (QStringList{"Vorntools.conf", "Vorntools.conf.lock"}));
}

TEST_F(StoreTest, AnUnreadableFileIsNotReplaced) {
  const auto out = RunUnprivileged(
      [&] {
        TMyIniFile store(kDefaultSettingsRoot);
        store.WriteText("Usage\\Dialog", "Edit-1", "kept");
        if (::chmod(ConfigFile().toLocal8Bit().constData(), 0200) != 0) return std::string("chmod");
        std::string result = "no error|";
        try {
          store.WriteText("Usage\\Dialog", "Edit-2", "x");
        } catch (const ERegistryException&) {
          result = "raised|";
        }
        ::chmod(ConfigFile().toLocal8Bit().constData(), 0600);
        return result + store.ReadText("Usage\\Dialog", "Edit-1", "").toStdString();
      },
      {home_.path().toStdString()});
  if (!out) GTEST_SKIP() << "SKIPPED LOUDLY: cannot run as an unprivileged user here";
  EXPECT_EQ(*out, "raised|kept");
}

TEST_F(StoreTest, ConcurrentWritersLoseNothing) {
  TMyIniFile(kDefaultSettingsRoot).WriteText("Usage", "Start", "1");
  constexpr int kWriters = 4, kValues = 25;
  std::vector<pid_t> children;
  for (int w = 0; w < kWriters; ++w) {
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      int status = 0;
      try {
        TMyIniFile store(kDefaultSettingsRoot);
        for (int v = 0; v < kValues; ++v)
          store.WriteNumber(QString("Writer%1").arg(w), QString("V%1").arg(v), v);
      } catch (...) {
        status = 1;
      }
      ::_exit(status);
    }
    children.push_back(pid);
  }
  for (const pid_t pid : children) {
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  TMyIniFile store(kDefaultSettingsRoot);
  for (int w = 0; w < kWriters; ++w)
    for (int v = 0; v < kValues; ++v)
      EXPECT_EQ(store.ReadNumber(QString("Writer%1").arg(w), QString("V%1").arg(v), -1), v);
}

TEST_F(StoreTest, AWriterKilledAtAnyMomentLeavesAWholeFile) {
  TMyIniFile(kDefaultSettingsRoot).WriteText("Z", "End", "1");
  int ready[2];
  ASSERT_EQ(::pipe(ready), 0);
  const pid_t pid = ::fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    try {
      TMyIniFile store(kDefaultSettingsRoot);
      for (int i = 0;; ++i) {
        store.WriteText("Usage", "Value", QString(20000, QChar('a' + i % 26)));
        if (i == 3) (void)!::write(ready[1], "x", 1);
      }
    } catch (...) {
    }
    ::_exit(1);
  }
  ::close(ready[1]);  // a writer that fails early ends the read
  char signal = 0;
  const ssize_t got = ::read(ready[0], &signal, 1);
  ::kill(pid, SIGKILL);
  ::waitpid(pid, nullptr, 0);
  ::close(ready[0]);
  ASSERT_EQ(got, 1);
  TMyIniFile store(kDefaultSettingsRoot);
  EXPECT_EQ(store.ReadText("Z", "End", ""), "1");
  const QString value = store.ReadText("Usage", "Value", "");
  ASSERT_EQ(value.size(), 20000);
  EXPECT_EQ(value, QString(20000, value[0]));
  // The next write clears away a temporary file the killed writer left (one
  // is made here too, in case the kill came between two writes).
  QFile left(QFileInfo(ConfigFile()).path() + "/.vtK1ll3d");
  ASSERT_TRUE(left.open(QIODevice::WriteOnly));
  left.close();
  store.WriteText("Z", "End", "2");
  EXPECT_EQ(QDir(QFileInfo(ConfigFile()).path()).entryList(QDir::Files | QDir::Hidden),
            (QStringList{"Vorntools.conf", "Vorntools.conf.lock"}));
}

TEST(MakeSettingsRoot, TheArgumentsFileNamePartNamesTheConfiguration) {
  EXPECT_EQ(MakeSettingsRoot(QStringList{"vorntools"}), kDefaultSettingsRoot);
  EXPECT_EQ(MakeSettingsRoot(QStringList{"vorntools", ""}), kDefaultSettingsRoot);
  const QString work = "Zelvik Software\\Vorntools\\Others\\Work";
  for (const char* argument : {"Work", "C:\\Configs\\Work", "D:Work", "/home/me/Work", "a\\b/Work"})
    EXPECT_EQ(MakeSettingsRoot(QStringList{"vorntools", argument}), work) << argument;
  EXPECT_EQ(MakeSettingsRoot(QStringList{"vorntools", QString(300, 'n')}),
            "Zelvik Software\\Vorntools\\Others\\" + QString(255, 'n'));
  // An argument ending in a separator names no configuration.
  EXPECT_EQ(MakeSettingsRoot(QStringList{"vorntools", "C:\\Configs\\"}), kDefaultSettingsRoot);
  EXPECT_EQ(MakeSettingsRoot(QStringList{"vorntools", "x", "Second"}, 2),
            "Zelvik Software\\Vorntools\\Others\\Second");
}

}  // namespace
