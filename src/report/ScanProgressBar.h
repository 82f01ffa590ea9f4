#pragma once

#include <QElapsedTimer>
#include <QWidget>
#include <cstdint>
#include <optional>

#include "scan/ScanProgress.h"

class QLabel;
class QProgressBar;

// How far a running scan has come, on the status bar: the share done and
// the time left when an earlier scan of the same folders tells them, else
// the folders, files and bytes found so far. Hidden between scans.
class TScanProgressBar : public QWidget {
  Q_OBJECT

 public:
  explicit TScanProgressBar(QWidget* parent = nullptr);

  void Begin(std::optional<TScanProgress> baseline);
  // Cheap to call often: it shows a change a few times a second at most.
  void Update(std::uint64_t folders, std::uint64_t files, std::uint64_t bytes);
  void End();

  QString Text() const;
  int Percent() const;  // -1 while there is no earlier scan to judge by

 private:
  std::optional<TScanProgress> baseline_;
  QElapsedTimer clock_;
  qint64 shownAt_ = -1;
  QProgressBar* bar_ = nullptr;
  QLabel* label_ = nullptr;
};
