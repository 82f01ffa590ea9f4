#include "report/FontDialog.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFontDatabase>
#include <QFontDialog>
#include <QFontInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QPixmap>
#include <QVBoxLayout>
#include <climits>
#include <cstdlib>

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

// The style of `family` nearest in weight among those of the font's slant.
// Left to itself the chooser would take the first style listed, which may
// well be an oblique one.
QString StyleOf(const QString& family, const QFont& font) {
  QString best;
  int bestDistance = INT_MAX;
  for (const QString& style : QFontDatabase::styles(family)) {
    // QFontDatabase::italic() knows nothing of oblique faces; the font does.
    const QFont face = QFontDatabase::font(family, style, 10);
    const int distance =
        std::abs(face.weight() - font.weight()) + (face.italic() != font.italic() ? 10000 : 0);
    if (distance < bestDistance) {
      best = style;
      bestDistance = distance;
    }
  }
  return best;
}
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
  // Only what was changed here changes: OK on an untouched dialog gives back
  // the very font it was opened on, down to a face this machine lacks.
  const QFont now = fonts_->currentFont();
  QFont font = given_;
  if (now.family() != shown_.family()) {
    font.setFamily(now.family());
    font.setFamilies({now.family()});
  }
  if (now.pointSizeF() != shown_.pointSizeF()) font.setPointSizeF(now.pointSizeF());
  if (now.underline() != shown_.underline()) font.setUnderline(now.underline());
  if (now.strikeOut() != shown_.strikeOut()) font.setStrikeOut(now.strikeOut());
  if (now.weight() != shown_.weight() || now.italic() != shown_.italic()) {
    font.setWeight(now.weight());
    font.setItalic(now.italic());
    // Weight and slant say the style; a style name would override them later.
    font.setStyleName(QString());
  }
  return font;
}

void TFontDialog::SetFont(const QFont& font) {
  // The lists hold installed families only: show the one the font is drawn
  // with when its own face is missing here.
  QFont shown = font;
  const QString family = QFontInfo(font).family();
  shown.setFamily(family);
  shown.setFamilies({family});
  shown.setStyleName(StyleOf(family, font));
  fonts_->setCurrentFont(shown);
  given_ = font;
  shown_ = fonts_->currentFont();
}

QColor TFontDialog::Color() const {
  return colors_->currentData().value<QColor>();
}

void TFontDialog::SetColor(const QColor& color) {
  const int i = colors_->findData(QColor(color.rgb()));
  colors_->setCurrentIndex(i >= 0 ? i : 0);
}

void ApplyFontAndColor(QWidget& control, const QFont& font, const QColor& color) {
  control.setFont(font);
  QPalette palette = control.palette();
  palette.setColor(QPalette::Text, color);
  control.setPalette(palette);
}
