#pragma once

#include <QObject>
#include <QThreadPool>
#include <QString>
#include <memory>
#include <string>

class QFileDialog;
class TScanDocument;
class TUsageReport;

// The window's scan files: a scan read from one (File > Open Scan...) or
// written to one (File > Export Scan...), and every finished scan kept in
// the archive as the baseline of the next scan of the same folders.
class TScanFiles : public QObject {
  Q_OBJECT

 public:
  explicit TScanFiles(TUsageReport& window);
  ~TScanFiles() override;

  void OpenScan();
  void ExportScan();
  // Opens a scan file as File > Open Scan... does, without asking.
  void Open(const QString& path);
  // Writes a document to `path` on another thread, telling the end on the
  // status bar (and an error in the standard box).
  void Export(std::shared_ptr<const TScanDocument> document, const QString& path);

 signals:
  void Exported(const QString& path, bool written);

 private:
  void Archive(std::shared_ptr<const TScanDocument> document);
  QFileDialog& OpenDialog();
  QFileDialog& ExportDialog();

  TUsageReport& window_;
  QFileDialog* openDialog_ = nullptr;
  QFileDialog* exportDialog_ = nullptr;
  // The archive's writes: one at a time, below the window's priority, and
  // waited for when the window goes, so none is cut short.
  QThreadPool archiving_;
};
