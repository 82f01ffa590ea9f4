#include "report/BackgroundPool.h"

#include <QThread>
#include <QThreadPool>

QThreadPool& BackgroundPool() {
  static QThreadPool* pool = [] {
    auto* made = new QThreadPool;
    made->setMaxThreadCount(QThread::idealThreadCount());
    return made;
  }();
  return *pool;
}
