#include "dialogs/UsageWizard.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShowEvent>
#include <QStackedWidget>

#include "dialogs/ChooseDirectory.h"
#include "dialogs/DialogCommon.h"

namespace {

QLabel* MakeLabel(QWidget* parent, const char* name, const QString& text, const QRect& bounds,
                  bool wrap) {
  auto* label = new QLabel(text, parent);
  label->setObjectName(name);
  label->setWordWrap(wrap);
  label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  label->setGeometry(bounds);
  // The desktop font may be wider than the one the page was drawn with:
  // a wrapped text grows downwards rather than lose its last line.
  if (wrap && label->heightForWidth(bounds.width()) > bounds.height())
    label->resize(bounds.width(), label->heightForWidth(bounds.width()));
  return label;
}

QLabel* MakeHeading(QWidget* parent, const char* name, const QString& text) {
  auto* label = new QLabel(text, parent);
  label->setObjectName(name);
  QFont font = DesignFont(true);
  font.setPixelSize(24);
  label->setFont(font);
  label->move(168, 16);
  label->adjustSize();
  return label;
}

}  // namespace

TUsageWizard::TUsageWizard(QWidget* owner, const QString& root)
    : TMyWizard(owner, root, QStringLiteral("Usage")) {
  setWindowTitle(QStringLiteral("Usage Wizard"));
  setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                 Qt::WindowCloseButtonHint);
  setFont(DesignFont());
  setFixedSize(500, 320);

  Notebook = new QStackedWidget(this);
  Notebook->setObjectName("Notebook");
  Notebook->setGeometry(0, 0, 500, 278);
  Panel1 = new QWidget(this);
  Panel1->setObjectName("Panel1");
  Panel1->setGeometry(0, 278, 500, 42);

  WelcomePage = new QWidget;
  WelcomePage->setObjectName("Welcome");
  Label7 = MakeHeading(WelcomePage, "Label7", QStringLiteral("Usage Wizard"));
  Label1 = MakeLabel(WelcomePage, "Label1",
                     QStringLiteral("Usage Wizard will give you a detailed report on disk usage of "
                                    "each folder on your disk."),
                     QRect(168, 56, 321, 41), true);
  Label2 = MakeLabel(WelcomePage, "Label2", QStringLiteral("To begin click \"Next\"."),
                     QRect(168, 116, 377, 17), false);

  DirectoryPage = new QWidget;
  DirectoryPage->setObjectName("Directory");
  Label6 = MakeHeading(DirectoryPage, "Label6", QStringLiteral("Starting Directory"));
  Label5 = MakeLabel(DirectoryPage, "Label5",
                     QStringLiteral("Usage Wizard will only report on this folder and all its sub "
                                    "folders. If you want to report on your entire hard disk, put "
                                    "\"%1\" here.")
                         .arg(kRootFolderText),
                     QRect(168, 56, 321, 49), true);
  RootDirectory = new QLineEdit(kRootFolderText, DirectoryPage);
  RootDirectory->setObjectName("RootDirectory");
  RootDirectory->setGeometry(168, 96, 249, 21);
  BtnBrowse = new QPushButton(QStringLiteral("Browse..."), DirectoryPage);
  BtnBrowse->setObjectName("BtnBrowse");
  BtnBrowse->setGeometry(424, 96, 65, 21);
  BtnBrowse->setAutoDefault(false);

  FinishPage = new QWidget;
  FinishPage->setObjectName("Finish");
  ImageFlag->setParent(FinishPage);
  ImageFlag->setGeometry(16, 16, 200, 250);
  ImageFlag->show();
  Label3 = MakeLabel(FinishPage, "Label3",
                     QStringLiteral("The Wizard now has enough information to complete the task."),
                     QRect(240, 102, 241, 31), true);
  Label4 = MakeLabel(FinishPage, "Label4",
                     QStringLiteral("Click on the finish button to complete the task."),
                     QRect(240, 142, 241, 19), true);

  Notebook->addWidget(WelcomePage);
  Notebook->addWidget(DirectoryPage);
  Notebook->addWidget(FinishPage);

  BtnCancel = new QPushButton(QStringLiteral("&Cancel"), Panel1);
  BtnCancel->setObjectName("BtnCancel");
  BtnCancel->setGeometry(401, 11, 89, 25);
  BtnCancel->setAutoDefault(false);
  BtnBack->setParent(Panel1);
  BtnBack->setText(QStringLiteral("< &Back"));
  BtnBack->setGeometry(210, 11, 89, 25);
  BtnBack->show();
  BtnNext->setParent(Panel1);
  BtnNext->setText(QStringLiteral("&Next >"));
  BtnNext->setGeometry(299, 11, 89, 25);
  BtnNext->show();

  setTabOrder(BtnCancel, BtnBack);
  setTabOrder(BtnBack, BtnNext);
  setTabOrder(BtnNext, RootDirectory);
  setTabOrder(RootDirectory, BtnBrowse);

  connect(BtnCancel, &QPushButton::clicked, this, [this] { done(mrCancel); });
  connect(BtnBack, &QPushButton::clicked, this, [this] { BtnBackClick(); });
  connect(BtnBrowse, &QPushButton::clicked, this, [this] { BtnBrowseClick(); });

  ChooseDirectory = new TChooseDirectory(this);
  ChooseDirectory->setObjectName("ChooseDirectory");

  UpdateButtons();
}

TUsageWizard::~TUsageWizard() = default;

void TUsageWizard::ReadSettings() {
  TMyWizard::ReadSettings();
  RootDirectory->setText(IniFile->ReadText(Section, QStringLiteral("Edit-1"), kRootFolderText));
}

void TUsageWizard::WriteSettings() {
  TMyWizard::WriteSettings();
  IniFile->WriteText(Section, QStringLiteral("Edit-1"), RootDirectory->text());
}

UsageOptions TUsageWizard::ScanOptions() const {
  UsageOptions options;
  options.Folders = {RootDirectory->text().toStdString()};
  options.ClearReport = true;
  return options;
}

void TUsageWizard::OnShowForm() {
  Notebook->setCurrentIndex(0);
  setWindowTitle(CaptionFor(QStringLiteral("Usage Wizard"), IniFile->SettingsRoot()));
  UpdateButtons();
}

void TUsageWizard::UpdateButtons() {
  const int page = Notebook->currentIndex();
  if (Notebook->currentWidget() == DirectoryPage) {
    // Typing replaces the folder rather than going nowhere.
    RootDirectory->setFocus(Qt::OtherFocusReason);
    RootDirectory->selectAll();
  }
  BtnBack->setVisible(page != 0);
  BtnNext->setDefault(page == kLastPage);
  if (page == kLastPage) {
    BtnNext->setText(QStringLiteral("&Finish"));
    SetNextModalResult(mrOk);
  } else {
    BtnNext->setText(QStringLiteral("&Next >"));
    SetNextModalResult(mrNone);
  }
}

void TUsageWizard::BtnNextClick() {
  const int page = Notebook->currentIndex();
  if (page < kLastPage) Notebook->setCurrentIndex(page + 1);
  UpdateButtons();
}

void TUsageWizard::BtnBackClick() {
  const int page = Notebook->currentIndex();
  if (page > 0) Notebook->setCurrentIndex(page - 1);
  UpdateButtons();
}

void TUsageWizard::BtnBrowseClick() {
  ChooseDirectory->OpenAt(RootDirectory->text());
  // Cancel in the chooser means "keep what I had", so only OK takes its folder.
  if (ChooseDirectory->exec() == mrOk) RootDirectory->setText(ChooseDirectory->ChosenDirectory());
}

void TUsageWizard::showEvent(QShowEvent* event) {
  TMyWizard::showEvent(event);
  if (!event->spontaneous()) OnShowForm();
}
