#include <QLineEdit>

#include "TempHome.h"
#include "settings/HistoryBox.h"
#include "settings/MyIniFile.h"

namespace {

const QString kSection = "Usage\\Dialog";
const QString kKey = "Usage\\Dialog-History-1";

class HistoryTest : public TempHomeTest {
 protected:
  void SetUp() override {
    TempHomeTest::SetUp();
    store_ = std::make_unique<TMyIniFile>(kDefaultSettingsRoot);
    box_.SetSize(20);
    box_.setEditText("C:\\");
  }
  void Use(const QString& text) {
    box_.setEditText(text);
    box_.AddToHistory();
  }
  std::unique_ptr<TMyIniFile> store_;
  THistoryBox box_;
};

TEST_F(HistoryTest, NothingStoredKeepsTheDesignText) {
  box_.addItem("stale");
  box_.setEditText("C:\\");
  box_.ReadHistory(*store_, kSection, 1);
  EXPECT_EQ(box_.count(), 0);
  EXPECT_EQ(box_.currentText(), "C:\\");
}

TEST_F(HistoryTest, UsingATextAgainMovesItToTheTopInItsNewLetterCase) {
  for (const char* folder : {"/a", "/b", "/c", "/d", "/Music", "/f"}) Use(folder);
  EXPECT_EQ(box_.Entries(), (QStringList{"/f", "/Music", "/d", "/c", "/b", "/a"}));
  box_.lineEdit()->selectAll();
  EXPECT_EQ(box_.AddToHistory(), "/f");
  EXPECT_FALSE(box_.lineEdit()->hasSelectedText());
  EXPECT_EQ(box_.count(), 6);
  box_.setEditText("/MUSIC");
  EXPECT_EQ(box_.AddToHistory(), "/MUSIC");
  EXPECT_EQ(box_.Entries(), (QStringList{"/MUSIC", "/f", "/d", "/c", "/b", "/a"}));
  EXPECT_EQ(box_.currentText(), "/MUSIC");
  // Letters compare under the user's locale, not just ASCII.
  Use(QString::fromUtf8("/Ärger"));
  Use(QString::fromUtf8("/äRGER"));
  EXPECT_EQ(box_.itemText(0), QString::fromUtf8("/äRGER"));
  EXPECT_EQ(box_.count(), 7);
}

TEST_F(HistoryTest, ThirtyFoldersAreKeptInMemoryButTwentyStored) {
  for (int i = 1; i <= 30; ++i) Use(QString("/folder%1").arg(i));
  EXPECT_EQ(box_.count(), 30);
  box_.WriteHistory(*store_, kSection, 1);
  EXPECT_EQ(store_->ReadNumber(kKey, "Count", -1), 30);
  EXPECT_EQ(store_->ReadText(kKey, "Item1", ""), "/folder30");
  EXPECT_EQ(store_->ReadText(kKey, "Item20", ""), "/folder11");
  EXPECT_EQ(store_->ReadText(kKey, "Item21", "none"), "none");
  EXPECT_EQ(store_->ReadText(kKey, "Text", ""), "/folder30");

  THistoryBox next;
  next.SetSize(20);
  next.ReadHistory(*store_, kSection, 1);
  EXPECT_EQ(next.count(), 20);
  EXPECT_EQ(next.itemText(19), "/folder11");
  EXPECT_EQ(next.currentText(), "/folder30");
}

TEST_F(HistoryTest, SizeZeroStoresOnlyTheTextAndTheCount) {
  box_.SetSize(0);
  Use("/one");
  Use("/two");
  box_.WriteHistory(*store_, kSection, 1);
  EXPECT_EQ(store_->ReadNumber(kKey, "Count", -1), 2);
  EXPECT_EQ(store_->ReadText(kKey, "Item1", "none"), "none");
  THistoryBox next;
  next.ReadHistory(*store_, kSection, 1);
  EXPECT_EQ(next.count(), 0);
  EXPECT_EQ(next.currentText(), "/two");
}

TEST_F(HistoryTest, ReadingSkipsEmptyEntriesAndStopsAtSize) {
  store_->WriteNumber(kKey, "Count", 30);
  for (int i = 1; i <= 30; ++i)
    store_->WriteText(kKey, QString("Item%1").arg(i), QString::number(i));
  store_->WriteText(kKey, "Item2", "");
  box_.ReadHistory(*store_, kSection, 1);
  ASSERT_EQ(box_.count(), 19);
  EXPECT_EQ(box_.itemText(0), "1");
  EXPECT_EQ(box_.itemText(1), "3");
  EXPECT_EQ(box_.itemText(18), "20");
  EXPECT_EQ(box_.currentText(), "C:\\");  // no "Text" stored
}

TEST_F(HistoryTest, ReadingEmitsOneChangeToTheStoredText) {
  store_->WriteNumber(kKey, "Count", 2);
  store_->WriteText(kKey, "Item1", "/x");
  store_->WriteText(kKey, "Item2", "/y");
  store_->WriteText(kKey, "Text", "\"/stored\"");
  QStringList changes;
  QObject::connect(&box_, &QComboBox::editTextChanged,
                   [&](const QString& text) { changes << text; });
  box_.ReadHistory(*store_, kSection, 1);
  EXPECT_EQ(changes, QStringList{"/stored"});
  EXPECT_EQ(box_.Entries(), (QStringList{"/x", "/y"}));
}

TEST(Unquote, RemovesOnePairOfMatchingQuotes) {
  EXPECT_EQ(THistoryBox::Unquote("\"C:\\My Files\""), "C:\\My Files");
  EXPECT_EQ(THistoryBox::Unquote("'/srv'"), "/srv");
  EXPECT_EQ(THistoryBox::Unquote("\"\"x\"\""), "\"x\"");
  EXPECT_EQ(THistoryBox::Unquote("\""), "");
  EXPECT_EQ(THistoryBox::Unquote("'"), "");
  EXPECT_EQ(THistoryBox::Unquote(""), "");
  EXPECT_EQ(THistoryBox::Unquote("\"/srv"), "\"/srv");
  EXPECT_EQ(THistoryBox::Unquote("/srv'"), "/srv'");
  EXPECT_EQ(THistoryBox::Unquote("\"/srv'"), "\"/srv'");
}

}  // namespace
