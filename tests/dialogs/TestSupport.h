#pragma once

#include <QApplication>
#include <QDir>
#include <QString>
#include <QTemporaryDir>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <ostream>

// Runs `action` on the next modal window to open (found from inside its own
// event loop), so a test can look at a box and close it.
inline void OnNextModal(std::function<void(QWidget*)> action, QWidget* except = nullptr) {
  QTimer::singleShot(0, [action, except] {
    QWidget* modal = QApplication::activeModalWidget();
    if (!modal || modal == except) {
      OnNextModal(action, except);
      return;
    }
    action(modal);
  });
}

// A private settings store and data folder for one test.
class TIsolatedSettings {
 public:
  TIsolatedSettings() {
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(dir_.filePath("config")));
    qputenv("XDG_DATA_HOME", QFile::encodeName(dir_.filePath("data")));
  }
  QString Path() const { return dir_.path(); }

 private:
  QTemporaryDir dir_;
};

// Makes `folder` the current folder for the life of the object.
class TCurrentFolder {
 public:
  explicit TCurrentFolder(const QString& folder) : previous_(QDir::currentPath()) {
    QDir::setCurrent(folder);
  }
  ~TCurrentFolder() { QDir::setCurrent(previous_); }

 private:
  QString previous_;
};

// Saves a picture of a window in the build folder for a person to look at.
void SaveScreenshot(QWidget* window, const QString& name);

// Readable QString values in test failures.
inline void PrintTo(const QString& text, std::ostream* out) {
  *out << '"' << text.toStdString() << '"';
}
