#pragma once

#include <optional>
#include <string>
#include <vector>

// The settings file in memory: sections named by key paths, each with its
// values in file order. Values keep the form they have in the file, so a
// value nobody touched is written back exactly as a person typed it. Plain
// C++ on UTF-8 bytes, so it can hold whatever a damaged file contains.
using TKeyPath = std::vector<std::string>;

struct TIniLine {
  bool isValue = false;
  std::string name;  // the value's name (values only)
  std::string raw;   // the stored form after "=", or the whole line of a comment
};

struct TIniSection {
  TKeyPath path;
  std::vector<TIniLine> lines;
};

enum class TValueKind { Text, NotText, Malformed };

class TIniDocument {
 public:
  // Never fails: lines it cannot read are kept as comments.
  static TIniDocument Parse(const std::string& text);
  std::string Serialise() const;

  const TIniSection* Find(const TKeyPath& path) const;
  // The section of `path`, created (after its nearest relative) when missing.
  TIniSection& Ensure(const TKeyPath& path);
  // A key exists when it has a section or a descendant has one.
  bool KeyExists(const TKeyPath& path) const;
  // Names of the direct sub-keys of `path`, in order of first appearance.
  std::vector<std::string> ChildNames(const TKeyPath& path) const;

  // The stored form of a value, or nothing when the key or value is missing.
  std::optional<std::string> RawValue(const TKeyPath& path, const std::string& name) const;
  // Removes a key with its values and every key below it; false when there was none.
  bool RemoveKey(const TKeyPath& path);
  // Sets a value, creating its key; returns true when the key was created.
  bool SetText(const TKeyPath& path, const std::string& name, const std::string& text);

  const std::vector<TIniSection>& Sections() const { return sections_; }

 private:
  std::vector<TIniSection> sections_;  // the root's own values first, path empty
};

// A key path: "\"-separated, empty parts dropped.
TKeyPath SplitKeyPath(const std::string& text);

// The stored form of a text, quoted only when it must be.
std::string EncodeValue(const std::string& text);
// A stored form back to its text. NotText: a list ("a, b") or a typed
// value ("@Rect(...)") typed by hand; Malformed: a broken quoted text.
TValueKind DecodeValue(const std::string& raw, std::string& text);
