#include "report/FontDialog.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFontDialog>
#include <QFontInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QPixmap>
#include <QVBoxLayout>

namespace {
struct NamedColor {
  const char* name;
  QRgb rgb;
};

// The colours a font dialog traditionally offers.
constexpr NamedColor kColors[] = {
    {"Black", 0x000000},  {"Maroon", 0x800000},  {"Green", 0x008000}, {"Olive", 0x808000},
    {"Navy", 0x000080},   {"Purple", 0x800080},  {"Teal", 0x008080},  {"Gray", 0x808080},
    {"Silver", 0xC0C0C0}, {"Red", 0xFF0000},     {"Lime", 0x00FF00},  {"Yellow", 0xFFFF00},
    {"Blue", 0x0000FF},   {"Fuchsia", 0xFF00FF}, {"Aqua", 0x00FFFF},  {"White", 0xFFFFFF},
};
}  // namespace

TFontDialog::TFontDialog(QWidget* parent) : QDialog(parent) {
  setWindowTitle(tr("Font"));
  // Qt's font chooser, embedded: it offers face, style, size, strike-out and
  // underline; the colour list is ours.
  fonts_ = new QFontDialog(this);
  fonts_->setOptions(QFontDialog::NoButtons | QFontDialog::DontUseNativeDialog);
  fonts_->setWindowFlags(Qt::Widget);

  colors_ = new QComboBox(this);
  for (const NamedColor& c : kColors) {
    QPixmap swatch(16, 12);
    swatch.fill(QColor(c.rgb));
    colors_->addItem(QIcon(swatch), tr(c.name), QColor(c.rgb));
  }
  auto* colorLabel = new QLabel(tr("&Color:"), this);
  colorLabel->setBuddy(colors_);

  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

  auto* colorRow = new QHBoxLayout;
  colorRow->addWidget(colorLabel);
  colorRow->addWidget(colors_);
  colorRow->addStretch(1);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(fonts_);
  layout->addLayout(colorRow);
  layout->addWidget(buttons);
}

QFont TFontDialog::Font() const {
  // Weight and slant say the style; a style name would override them later.
  QFont font = fonts_->currentFont();
  font.setStyleName(QString());
  return font;
}

void TFontDialog::SetFont(const QFont& font) {
  // The lists hold installed families only: show the one the font is drawn
  // with when its own face is missing here.
  QFont shown = font;
  shown.setStyleName(QString());
  const QString family = QFontInfo(font).family();
  shown.setFamily(family);
  shown.setFamilies({family});
  fonts_->setCurrentFont(shown);
}

QColor TFontDialog::Color() const {
  return colors_->currentData().value<QColor>();
}

void TFontDialog::SetColor(const QColor& color) {
  const int i = colors_->findData(QColor(color.rgb()));
  colors_->setCurrentIndex(i >= 0 ? i : 0);
}
