#pragma once

#include <QString>

#include "dialogs/MyWizard.h"
#include "scan/UsageOptions.h"

class QLabel;
class QLineEdit;
class QPushButton;
class QStackedWidget;
class QWidget;
class TChooseDirectory;

// The three-page guided set-up of a scan of one folder: Welcome, Directory,
// Finish. Closes with mrOk on Finish, mrCancel otherwise; RootDirectory then
// holds the folder exactly as typed.
class TUsageWizard : public TMyWizard {
  Q_OBJECT

 public:
  static constexpr int kLastPage = 2;

  TUsageWizard(QWidget* owner, const QString& root);
  ~TUsageWizard() override;

  void ReadSettings() override;
  void WriteSettings() override;

  // The scan the wizard describes: its one folder, whole, into a cleared report.
  UsageOptions ScanOptions() const;

  void OnShowForm();
  void UpdateButtons();
  void BtnBackClick();
  void BtnBrowseClick();

  // Controls, by their design names.
  QStackedWidget* Notebook;
  QWidget* WelcomePage;
  QWidget* DirectoryPage;
  QWidget* FinishPage;
  QWidget* Panel1;
  QLabel* Label7;
  QLabel* Label1;
  QLabel* Label2;
  QLabel* Label6;
  QLabel* Label5;
  QLineEdit* RootDirectory;
  QPushButton* BtnBrowse;
  QLabel* Label3;
  QLabel* Label4;
  QPushButton* BtnCancel;

  // The wizard's own directory chooser.
  TChooseDirectory* ChooseDirectory;

 protected:
  void BtnNextClick() override;
  void showEvent(QShowEvent* event) override;
};
