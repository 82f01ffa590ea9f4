#pragma once

#include <QColor>
#include <QObject>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

// The colour each file type is drawn in, the same in every view: one of its
// own for each of the report's largest types (by bytes), one grey for the
// rest. Told the types anew after each scan.
class TTypeColours : public QObject {
  Q_OBJECT

 public:
  static constexpr std::size_t kNamed = 12;

  explicit TTypeColours(QObject* parent = nullptr);

  // The report's types, most bytes first (FileTypeOf's names; empty: no type).
  void SetTypes(const std::vector<std::string>& largestFirst);
  QColor Of(std::string_view type) const;
  // The types with a colour of their own, most bytes first.
  const std::vector<std::string>& Named() const { return named_; }
  static QColor Other();

  // The type a view chose to show up in the others (the treemap draws its
  // files highlighted); none when not set.
  void SetHighlighted(const std::optional<std::string>& type);
  const std::optional<std::string>& Highlighted() const { return highlighted_; }

 signals:
  void Changed();
  void HighlightChanged();

 private:
  std::optional<std::string> highlighted_;
  std::vector<std::string> named_;
  std::unordered_map<std::string, QColor> colours_;
};
