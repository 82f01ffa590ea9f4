#pragma once

#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "scan/ScanCounting.h"
#include "scan/ScanDocument.h"
#include "scan/ScanTotals.h"

// Why a comparison's figures may not mean what they seem, for the window
// to show beside them (ComparisonNoteText).
enum class ComparisonNote : std::uint8_t {
  NoAllocatedBefore,  // sizes on disk asked for, the earlier scan has none: lengths counted
  NoHiddenBefore,     // hidden names asked for, the earlier scan left them out: left out of both
  NotLikeDuBefore,    // the earlier scan was not counted as du counts: folders' blocks and
                      // entries other than files left out of both
  NoFilesBefore,      // the earlier scan kept no files: the new one counted as it was
  OptionsDiffer,      // counted differently and neither can be counted again
  StoppedBefore,      // the earlier scan was stopped: some folders may show as new
  StoppedNow,         // the new scan was stopped: some folders may show as gone
};
const char* ComparisonNoteText(ComparisonNote note);

// A scan compared with an earlier one of the same folders, by path: for
// every folder of either, its total in each and the change, and on request
// the changes of a folder's own files. Folders are paired once, walking
// both trees together and matching each folder's sub-folders by name (raw
// bytes); the pairing is an index per folder of each side, so millions of
// files cost nothing more and files are paired only when asked.
//
// Both scans' totals are counted alike, with the new scan's options as far
// as the earlier one allows (see Counting and Notes): a change never comes
// from the options alone.
class TScanComparison {
 public:
  // A folder's counterpart in BeforeOf/NowOf, or what stands instead.
  static constexpr std::uint32_t kOnlyHere = TScanDocument::kNoFolder;  // new, or gone
  // Outside what both scans looked at: below a folder one of them left
  // out, or above where the other one started. Neither new nor gone.
  static constexpr std::uint32_t kNotCompared = TScanDocument::kNoFolder - 1;
  static constexpr std::uint64_t kNoFile = std::numeric_limits<std::uint64_t>::max();

  struct FolderChange {
    std::uint32_t now = TScanDocument::kNoFolder;  // in the new scan, or kNoFolder
    std::uint32_t before = TScanDocument::kNoFolder;
    std::int64_t oldTotal = -1;  // -1 where the folder is not on that side
    std::int64_t newTotal = -1;
    std::int64_t change = 0;  // newTotal - oldTotal, an absent side counting 0
    bool isNew = false;       // only in the new scan
    bool gone = false;        // only in the earlier one
    bool compared = false;    // false: kNotCompared, and nothing above means anything
  };

  enum class FileState : std::uint8_t { New, Grown, Shrunk, Unchanged, Gone };
  struct FileChange {
    std::uint64_t now = kNoFile;  // the file in each document, or kNoFile
    std::uint64_t before = kNoFile;
    std::int64_t oldBytes = -1;  // as the comparison counts a file; -1 where it is absent
    std::int64_t newBytes = -1;
    FileState state = FileState::Unchanged;
  };

  // `beforeHasAllocated`: whether the earlier scan knows its files' sizes on
  // disk (a scan read from a file made elsewhere may know lengths only).
  // Both documents must outlive the comparison.
  TScanComparison(const TScanDocument& now, const TScanDocument& before,
                  bool beforeHasAllocated = true);

  const TScanDocument& Now() const { return *now_; }
  const TScanDocument& Before() const { return *before_; }
  // How both sides' totals are counted.
  const ScanCounting& Counting() const { return counting_; }
  const std::vector<ComparisonNote>& Notes() const { return notes_; }

  // A folder's counterpart on the other side, kOnlyHere or kNotCompared.
  std::uint32_t BeforeOf(std::uint32_t nowFolder) const { return nowPair_[nowFolder]; }
  std::uint32_t NowOf(std::uint32_t beforeFolder) const { return beforePair_[beforeFolder]; }
  // Totals as compared; TScanTotals::kNotCounted for a folder not counted.
  std::int64_t NowTotal(std::uint32_t nowFolder) const { return nowTotals_.Total(nowFolder); }
  std::int64_t BeforeTotal(std::uint32_t beforeFolder) const {
    return beforeTotals_.Total(beforeFolder);
  }
  FolderChange OfNow(std::uint32_t nowFolder) const;
  FolderChange OfBefore(std::uint32_t beforeFolder) const;
  // The gone sub-folders of a folder of the new scan: those of its
  // counterpart that the new scan does not have.
  std::vector<std::uint32_t> GoneBelow(std::uint32_t nowFolder) const;

  // Whether FileChanges can tell anything: both scans kept their files.
  bool ComparesFiles() const { return now_->KeepsFiles() && before_->KeepsFiles(); }
  // A folder's own files against those of its counterpart, paired by name,
  // in name order (raw bytes), gone ones among them; files the counting
  // leaves out (hidden names) take no part. Every file is new in a new
  // folder; nothing for a folder not compared.
  std::vector<FileChange> FileChanges(std::uint32_t nowFolder) const;

  // Bytes of heap the comparison holds: the pairing and any totals counted again.
  std::size_t HeapBytes() const;

 private:
  void Pair();
  // Marks a folder and all below it that is counted as having no counterpart.
  void MarkOnlyHere(bool nowSide, std::uint32_t folder);
  // The folder of `document` with `path`, or kNoFolder.
  static std::uint32_t FindPath(const TScanDocument& document, const std::string& path);

  const TScanDocument* now_;
  const TScanDocument* before_;
  ScanCounting counting_;
  std::vector<ComparisonNote> notes_;
  TScanTotals nowTotals_;
  TScanTotals beforeTotals_;
  std::vector<std::uint32_t> nowPair_;
  std::vector<std::uint32_t> beforePair_;
};
