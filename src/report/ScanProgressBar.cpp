#include "report/ScanProgressBar.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLocale>
#include <QProgressBar>
#include <chrono>

#include "report/ShareBars.h"

namespace {
constexpr qint64 kShowEveryMs = 250;
}

TScanProgressBar::TScanProgressBar(QWidget* parent) : QWidget(parent) {
  auto* layout = new QHBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  bar_ = new QProgressBar(this);
  bar_->setRange(0, 100);
  bar_->setFixedWidth(fontMetrics().horizontalAdvance(QStringLiteral("0")) * 16);
  label_ = new QLabel(this);
  layout->addWidget(label_);
  layout->addWidget(bar_);
  hide();
}

void TScanProgressBar::Begin(std::optional<TScanProgress> baseline) {
  baseline_ = std::move(baseline);
  clock_.start();
  shownAt_ = -1;
  bar_->setValue(0);
  bar_->setVisible(baseline_.has_value());
  label_->clear();
  show();
}

void TScanProgressBar::Update(std::uint64_t folders, std::uint64_t files, std::uint64_t bytes) {
  if (!clock_.isValid()) return;
  const qint64 now = clock_.elapsed();
  if (shownAt_ >= 0 && now - shownAt_ < kShowEveryMs) return;
  shownAt_ = now;
  if (baseline_) {
    const TScanProgress::Estimate estimate =
        baseline_->At(folders, files, std::chrono::milliseconds(now));
    bar_->setValue(static_cast<int>(estimate.share * 100));
    label_->setText(estimate.left ? QString::fromStdString(TimeLeftText(*estimate.left))
                                  : QString());
    return;
  }
  const QLocale locale;
  label_->setText(tr("%1 folders, %2 files, %3")
                      .arg(locale.toString(static_cast<qulonglong>(folders)),
                           locale.toString(static_cast<qulonglong>(files)),
                           ReadableSize(static_cast<std::int64_t>(bytes))));
}

void TScanProgressBar::End() {
  clock_.invalidate();
  hide();
}

QString TScanProgressBar::Text() const {
  return label_->text();
}

int TScanProgressBar::Percent() const {
  return baseline_ ? bar_->value() : -1;
}
