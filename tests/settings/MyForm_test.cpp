#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QScreen>
#include <QTimer>

#include "TempHome.h"
#include "settings/MyForm.h"
#include "settings/MyMainForm.h"

namespace {

const QString kSection = "Usage\\Wizard";

// A window with one value of its own, recording when its hooks run.
class TTestForm : public TMyForm {
 public:
  TTestForm(const QString& root = kDefaultSettingsRoot) : TMyForm(nullptr, root, kSection) {
    move(200, 107);
    resize(300, 200);
  }
  void ReadSettings() override {
    TMyForm::ReadSettings();
    widthWhenRead = FrameWidth();
    value = IniFile->ReadText(Section, "Edit-1", "design");
  }
  void WriteSettings() override {
    TMyForm::WriteSettings();
    ++writeSettingsCalls;
    IniFile->WriteText(Section, "Edit-1", value);
  }
  int widthWhenRead = -1;
  int writeSettingsCalls = 0;
  QString value = "design";
};

template <class Form>
void SetFrame(Form& form, const QRect& frame) {
  form.SetFrameLeft(frame.left());
  form.SetFrameTop(frame.top());
  form.SetFrameWidth(frame.width());
  form.SetFrameHeight(frame.height());
  ASSERT_EQ(form.frameGeometry(), frame);
}

class FormTest : public TempHomeTest {
 protected:
  QSize Screen() const { return QGuiApplication::primaryScreen()->geometry().size(); }
};

TEST_F(FormTest, FirstShowCentresAtDesignSizeThenThePolicyIsDesigned) {
  TTestForm form;
  form.RestoreForm();
  EXPECT_EQ(form.frameGeometry(), QRect(200, 107, 300, 200));
  EXPECT_EQ(form.value, "design");
  EXPECT_EQ(form.Position(), poScreenCenter);
  form.show();
  EXPECT_EQ(form.FrameLeft(), (Screen().width() - 300) / 2);
  EXPECT_EQ(form.FrameTop(), (Screen().height() - 200) / 2);
  EXPECT_EQ(form.size(), QSize(300, 200));
  EXPECT_EQ(form.Position(), poDesigned);
  form.SaveForm();
  EXPECT_EQ(form.IniFile->ReadNumber(kSection, "Position", -1), poDesigned);
  EXPECT_EQ(form.IniFile->ReadText(kSection, "Edit-1", ""), "design");

  // Shown again, it stays where it was moved.
  form.hide();
  form.move(10, 20);
  form.show();
  EXPECT_EQ(form.frameGeometry().topLeft(), QPoint(10, 20));
}

TEST_F(FormTest, AWindowLargerThanTheScreenIsCentredAtTheTopLeft) {
  TTestForm form;
  form.resize(Screen().width() + 100, Screen().height() + 51);
  form.show();
  EXPECT_EQ(form.frameGeometry().topLeft(), QPoint(0, 0));
}

TEST_F(FormTest, ExecGoesThroughTheShowingRule) {
  TTestForm form;
  QTimer::singleShot(0, &form, &QDialog::reject);
  EXPECT_EQ(form.exec(), QDialog::Rejected);
  EXPECT_EQ(form.Position(), poDesigned);
  EXPECT_EQ(form.FrameLeft(), (Screen().width() - 300) / 2);
}

TEST_F(FormTest, PlacementRoundTripsToTheNextRun) {
  {
    TTestForm form;
    form.show();
    ASSERT_NE(form.frameGeometry(), form.geometry()) << "the window system shows a frame";
    SetFrame(form, QRect(31, 42, 420, 310));
    form.value = "/srv";
    form.SaveForm();
  }
  EXPECT_EQ(ReadConfig(),
            "[Usage\\Wizard]\nLeft=31\nTop=42\nHeight=310\nWidth=420\nState=0\nPosition=0\n"
            "Edit-1=/srv\n");
  TTestForm next;
  next.RestoreForm();
  EXPECT_EQ(next.widthWhenRead, 420);  // placement first, then the window's own values
  EXPECT_EQ(next.value, "/srv");
  next.show();  // "Position" 0: no centring
  EXPECT_EQ(next.frameGeometry(), QRect(31, 42, 420, 310));
}

TEST_F(FormTest, AMaximisedWindowOpensMaximisedAndKeepsItsNormalPlacement) {
  {
    TTestForm form;
    form.show();
    SetFrame(form, QRect(50, 60, 320, 240));
    form.showMaximized();
    ASSERT_TRUE(form.isMaximized());
    form.SaveForm();
  }
  TMyIniFile store(kDefaultSettingsRoot);
  EXPECT_EQ(store.ReadNumber(kSection, "State", -1), wsMaximized);
  EXPECT_EQ(store.ReadNumber(kSection, "Width", -1), 320);
  EXPECT_EQ(store.ReadNumber(kSection, "Left", -1), 50);

  TTestForm next;
  next.RestoreForm();
  next.show();
  EXPECT_TRUE(next.isMaximized());
  next.showNormal();
  EXPECT_EQ(next.frameGeometry(), QRect(50, 60, 320, 240));
}

TEST_F(FormTest, APartialPlacementKeepsTheDesignForWhatIsMissing) {
  TMyIniFile store(kDefaultSettingsRoot);
  store.WriteNumber(kSection, "Width", 450);
  store.WriteNumber(kSection, "Left", 5);
  TTestForm form;
  form.RestoreForm();
  EXPECT_EQ(form.frameGeometry(), QRect(5, 107, 450, 200));
  EXPECT_EQ(form.Position(), poScreenCenter);
}

TEST_F(FormTest, StatesAndPoliciesOutOfRangeKeepTheCurrentValue) {
  TMyIniFile store(kDefaultSettingsRoot);
  store.WriteNumber(kSection, "State", 3);
  store.WriteNumber(kSection, "Position", 5);
  TTestForm form;
  form.RestoreForm();
  EXPECT_EQ(form.State(), wsNormal);
  EXPECT_EQ(form.Position(), poScreenCenter);
  store.WriteNumber(kSection, "State", -1);
  store.WriteNumber(kSection, "Position", 0);
  form.RestoreForm();
  EXPECT_EQ(form.State(), wsNormal);
  EXPECT_EQ(form.Position(), poDesigned);
  // Damaged sizes cannot make a window the system refuses.
  store.WriteNumber(kSection, "Width", -400);
  store.WriteNumber(kSection, "Left", 2000000000);
  form.RestoreForm();
  EXPECT_GE(form.FrameWidth(), 1);
  EXPECT_LE(form.FrameLeft(), 32000);
}

TEST_F(FormTest, ASwitchedWindowSavesIntoItsConfigurationOnly) {
  TTestForm form;
  form.value = "root value";
  form.SaveForm();
  form.SetConfiguration("Work");
  EXPECT_EQ(form.IniFile->SettingsRoot(), "Zelvik Software\\Vorntools\\Others\\Work");
  EXPECT_EQ(form.Section, kSection);
  // Switching reads nothing.
  EXPECT_EQ(form.value, "root value");
  form.value = "work value";
  form.SaveForm();
  EXPECT_EQ(TMyIniFile(kDefaultSettingsRoot).ReadText(kSection, "Edit-1", ""), "root value");
  TTestForm fromWork(ConfigurationRoot("Work"));
  fromWork.RestoreForm();
  EXPECT_EQ(fromWork.value, "work value");

  // A configuration never saved starts from the design and is listed at once.
  TTestForm fresh(MakeSettingsRoot(QStringList{"vorntools", "/x/New"}));
  fresh.RestoreForm();
  EXPECT_EQ(fresh.value, "design");
  EXPECT_EQ(fresh.frameGeometry(), QRect(200, 107, 300, 200));
  QStringList names;
  TMyIniFile(kConfigurationsRoot).ReadSectionNames(names);
  EXPECT_EQ(names, (QStringList{"Work", "New"}));
}

TEST_F(FormTest, AStoreErrorEndsSaveFormAtTheFailingValue) {
  // A plain file where the store's folder should be: no key can be made,
  // which opening the store passes over in silence.
  QDir().mkpath(home_.path() + "/config");
  QFile blocker(home_.path() + "/config/Zelvik Software");
  ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
  blocker.close();
  TTestForm form;
  form.value = "not written";
  try {
    form.SaveForm();
    FAIL() << "no error";
  } catch (const ERegistryException& e) {
    EXPECT_EQ(std::string(e.what()), "Cannot write settings file " + home_.path().toStdString() +
                                         "/config/Zelvik Software/Vorntools.conf: Not a directory");
  }
  EXPECT_EQ(form.writeSettingsCalls, 0);
}

TEST_F(FormTest, ReloadingAPolicyOfFourCentresAgainOnTheNextShow) {
  TTestForm form;
  form.show();
  form.move(0, 0);
  form.hide();
  form.IniFile->WriteNumber(kSection, "Position", poScreenCenter);
  form.RestoreForm();
  form.show();
  EXPECT_EQ(form.FrameLeft(), (Screen().width() - form.FrameWidth()) / 2);
}

// The main-window base keeps the same protocol through the same helper:
// what a dialog does at its first show and across runs, and Exec runs until
// the window closes.
class TTestMainForm : public TMyMainForm {
 public:
  TTestMainForm() : TMyMainForm(nullptr, kDefaultSettingsRoot, kSection) {
    move(200, 107);
    resize(300, 200);
  }
};

TEST_F(FormTest, AMainWindowIsPlacedAndRemembersItsPlacementAsADialogIs) {
  {
    TTestMainForm form;
    form.RestoreForm();
    QTimer::singleShot(0, &form, [&] {
      EXPECT_EQ(form.FrameLeft(), (Screen().width() - 300) / 2);
      EXPECT_EQ(form.Position(), poDesigned);
      SetFrame(form, QRect(31, 42, 420, 310));
      form.close();
    });
    form.Exec();
    EXPECT_FALSE(form.isVisible());
    form.SaveForm();
  }
  TTestMainForm next;
  next.RestoreForm();
  next.show();
  EXPECT_EQ(next.frameGeometry(), QRect(31, 42, 420, 310));
}

}  // namespace
