#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <memory>
#include <new>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "scan/ChunkedArray.h"
#include "scan/FolderAccess.h"
#include "scan/LargeBlock.h"
#include "scan/UsageDirectory.h"
#include "scan/UsageOptions.h"

// One folder of a scan's document. Folders stand in walk order (each before
// the folders below it), so a folder's sub-tree is the `span` records after it.
struct ScanFolder {
  enum Flag : std::uint8_t {
    Finished = 1,     // the walk left it normally; without it, Stop cut it short
    Unlisted = 2,     // it could not be listed, wholly or in part
    Failed = 4,       // something in it or below could not be measured (the report's mark)
    FailedHere = 8,   // the mark comes from the folder itself (see TTreeNode::FailedHere)
    LeftOut = 16,     // never entered, for `leftOut`; it has no files and no totals
    Partial = 32,     // some of its files came apart from the others and are not kept
    Identified = 64,  // its own status is known: device, inode, ownAllocated
  };

  std::uint64_t nameOffset = 0;  // the document's, see TScanDocument::FolderName
  std::uint32_t nameLength = 0;
  std::uint32_t parent = 0;        // index; kNoFolder for a starting folder
  std::uint32_t span = 0;          // records below it: sub-folders, left-out ones included
  std::uint32_t foldersBelow = 0;  // folders walked below it
  std::uint64_t firstFile = 0;     // its files are [firstFile, firstFile + files) when kept
  std::uint64_t files = 0;         // its own files, each name of a linked file counting
  std::uint64_t filesBelow = 0;    // its own and those of every folder below
  // Its own files as the report counts them, and its own blocks when the scan counts folders.
  std::int64_t bytes = 0;
  std::int64_t allocated = 0;   // the same in allocated bytes
  std::int64_t bytesBelow = 0;  // the report's total for it: its own and below
  std::int64_t allocatedBelow = 0;
  // Newest modification time of a file in it or below (seconds since 1970);
  // kNoTime when there is none.
  std::int64_t newest = std::numeric_limits<std::int64_t>::min();
  std::uint64_t inode = 0;        // when Identified
  std::int64_t ownAllocated = 0;  // its own blocks in bytes, when Identified
  std::uint8_t flags = 0;
  LeftOutReason leftOut = LeftOutReason::Hidden;  // when flags has LeftOut
  std::uint32_t device = 0;  // when Identified: see TScanDocument::FolderDevice

  bool Has(Flag flag) const { return (flags & flag) != 0; }
};

// One file of a scan's document, as read back.
struct ScanFile {
  std::string_view name;       // raw bytes, as the file system gave them
  std::int64_t length = -1;    // st_size; -1 when it could not be measured
  std::int64_t allocated = 0;  // st_blocks x 512
  std::int64_t modified = 0;   // seconds since 1970
  FileFacts::Type type = FileFacts::Type::Unknown;
  bool linked = false;  // it has several names: see TScanDocument::Link
  // What the report counted for it under the scan's options: 0 for a later
  // name of a file counted once, -1 when it could not be measured.
  std::int64_t counted = -1;
};

// A file the walk's rules left out: only its name and why are kept.
struct ScanLeftOutFile {
  std::string_view name;
  LeftOutReason why = LeftOutReason::Hidden;
};

// The identity of a file with several names.
struct ScanLink {
  std::uint64_t device = 0;
  std::uint64_t inode = 0;
  std::uint64_t links = 0;
};

// What one scan read: every folder walked with its totals, and (when asked)
// every file, whatever depth and size limits the report showed. Filled by the
// walk in walk order, then read only. Kept compact: a file costs 24 bytes
// and its name, so millions of them fit beside the report.
class TScanDocument {
 public:
  static constexpr std::uint32_t kNoFolder = std::numeric_limits<std::uint32_t>::max();
  static constexpr std::int64_t kNoTime = std::numeric_limits<std::int64_t>::min();

  TScanDocument();
  ~TScanDocument();
  TScanDocument(const TScanDocument&) = delete;
  TScanDocument& operator=(const TScanDocument&) = delete;

  // The scan as a whole.
  const UsageOptions& Options() const { return options_; }
  const std::vector<std::string>& StartingFolders() const { return options_.Folders; }
  bool KeepsFiles() const { return options_.Record == ScanRecord::Files; }
  const std::string& Host() const { return host_; }
  std::chrono::system_clock::time_point Started() const { return started_; }
  std::chrono::system_clock::time_point Ended() const { return ended_; }
  bool Stopped() const { return stopped_; }
  const std::vector<ScanProblem>& Problems() const { return problems_; }

  // Folders, in walk order; the starting folders are those without a parent.
  std::uint32_t FolderCount() const { return static_cast<std::uint32_t>(folders_.size()); }
  const ScanFolder& Folder(std::uint32_t i) const { return folders_[i]; }
  // A starting folder's name is its path as given.
  std::string_view FolderName(std::uint32_t i) const;
  std::string FolderPath(std::uint32_t i) const;
  // The first record below `i`, and the one after `i` with the same parent;
  // kNoFolder when there is none. From 0, NextSibling goes through the
  // starting folders.
  std::uint32_t FirstChild(std::uint32_t i) const;
  std::uint32_t NextSibling(std::uint32_t i) const;

  // Files, in walk order: a folder's own stand together (ScanFolder::firstFile),
  // and those kept of folder i are [Folder(i).firstFile, KeptFilesEnd(i)).
  std::uint64_t FileCount() const { return fileCount_; }
  ScanFile File(std::uint64_t j) const;
  std::string_view FileName(std::uint64_t j) const;
  std::uint64_t KeptFilesEnd(std::uint32_t i) const;
  // The kept files of folder i and of every folder below it: [first, second).
  std::pair<std::uint64_t, std::uint64_t> KeptFilesBelow(std::uint32_t i) const;
  // The device a folder lies on (its record keeps an index to a short table).
  std::uint64_t FolderDevice(std::uint32_t i) const { return devices_[folders_[i].device]; }
  // The files the rules left out of folder i: [first, second) for LeftOutFile.
  std::pair<std::size_t, std::size_t> LeftOutFiles(std::uint32_t i) const;
  ScanLeftOutFile LeftOutFile(std::size_t k) const;
  // The identity of a file whose record says `linked`; null otherwise.
  const ScanLink* Link(std::uint64_t j) const;

  // Bytes of heap the document holds (its containers' capacities).
  std::size_t HeapBytes() const;

  // Filled by the walk, in its order.
  void Begin(const UsageOptions& options, std::string host);
  void OpenFolder(const char* name, std::size_t nameLength);
  // `length` is -1 when the file could not be measured (`facts` then
  // unused); `counted` what the report counted for it (-1: nothing).
  void AddFile(const char* name, std::size_t nameLength, std::int64_t length, std::int64_t counted,
               const FileFacts& facts);
  // The innermost open folder's own blocks, when the scan counts them:
  // `counted` adds to its bytes, `allocated` to its allocated bytes.
  void AddFolderOwn(std::int64_t counted, std::int64_t allocated);
  // A sub-folder of the innermost open folder that the walk did not enter.
  void AddLeftOut(const char* name, std::size_t nameLength, LeftOutReason why);
  // The innermost open folder could not be listed, wholly or in part.
  void MarkUnlisted();
  // The innermost open folder is done; `bytesBelow` and the marks are the report's.
  void CloseFolder(std::int64_t bytesBelow, bool failed, bool failedHere);
  // The innermost open folder's own status (FolderDevice and the like).
  void SetFolderFacts(const FileFacts& facts);
  // A file of the innermost open folder that the walk's rules left out.
  void AddLeftOutFile(const char* name, std::size_t nameLength, LeftOutReason why);
  // For a reader whose source lists a folder's files among its sub-folders:
  // the innermost open folder's files come next, all of them, just before
  // CloseFolder. Its files then follow those of the folders below it; each
  // folder's still stand together, and so do a sub-tree's.
  void StartOwnFiles();
  // Read from a file whose writer (gdu) marks as linked only the later
  // names of a file with several: its first name is counted and unmarked.
  void SetLinksAreRepeats() { linksAreRepeats_ = true; }
  bool LinksAreRepeats() const { return linksAreRepeats_; }
  // Folders still open (a stopped walk) keep what they had so far.
  void Finish(std::vector<ScanProblem> problems, bool stopped);
  // For a scan read back from a file: its times, in place of the reading's.
  void SetTimes(std::chrono::system_clock::time_point started,
                std::chrono::system_clock::time_point ended);
  // For a scan made again from another's document: that one's machine and times.
  void SetOrigin(const TScanDocument& source) {
    host_ = source.host_;
    SetTimes(source.started_, source.ended_);
  }

 private:
  // A file's record: 24 bytes. Its name's length is where the next name starts.
  struct FileRecord {
    std::int64_t length;        // -1: not measured
    std::uint32_t nameLow;      // name offset in names_, low 32 of 40 bits
    std::uint32_t blocks;       // 512-byte units; kBlocksEscape: see hugeAllocated_
    std::uint32_t modifiedLow;  // seconds since 1970, low 32 of 40 bits (signed)
    std::int8_t modifiedHigh;
    std::uint8_t nameHigh;
    std::uint8_t type;   // FileFacts::Type
    std::uint8_t flags;  // kLinked, kUncounted
  };
  static_assert(sizeof(FileRecord) == 24);

  // Names end to end in chunks, none of which is ever moved; a name never
  // straddles two, so a chunk's tail may stay unused.
  struct NameStore {
    static constexpr unsigned kChunkBits = 21;
    static constexpr std::size_t kChunk = std::size_t{1} << kChunkBits;
    std::vector<TLargeBlock> chunks;
    std::vector<std::uint32_t> used;  // bytes used of each chunk
    std::size_t lastSize = 0;         // bytes the last chunk holds room for
    std::uint64_t Append(const char* text, std::size_t length);
    const char* At(std::uint64_t offset) const {
      return chunks[offset >> kChunkBits].get() + (offset & (kChunk - 1));
    }
    // Where a name starting at `offset` ends, given where the next one starts.
    std::uint64_t EndOf(std::uint64_t offset, std::uint64_t next) const;
    std::uint64_t End() const;
    // The last chunk cut to what it holds, once nothing more comes.
    void Trim();
    std::size_t HeapBytes() const;
  };

  // 12 MiB a chunk: whole large pages.
  static constexpr unsigned kFileChunkBits = 19;
  static constexpr std::uint64_t kFileChunk = std::uint64_t{1} << kFileChunkBits;
  static constexpr std::uint32_t kBlocksEscape = std::numeric_limits<std::uint32_t>::max();
  static constexpr std::uint8_t kLinked = 1;
  static constexpr std::uint8_t kUncounted = 2;  // measured, but the report counted nothing

  const FileRecord& Record(std::uint64_t j) const {
    return std::launder(reinterpret_cast<const FileRecord*>(
        files_[j >> kFileChunkBits].get()))[j & (kFileChunk - 1)];
  }
  static std::uint64_t NameOffsetOf(const FileRecord& r) {
    return (std::uint64_t{r.nameHigh} << 32) | r.nameLow;
  }
  std::uint32_t NewFolder(const char* name, std::size_t nameLength);
  std::uint64_t FileRoom() const;  // records the file chunks hold room for

  UsageOptions options_;
  std::string host_;
  std::chrono::system_clock::time_point started_, ended_;
  bool stopped_ = false;
  std::vector<ScanProblem> problems_;

  TChunkedArray<ScanFolder> folders_;
  NameStore folderNames_;
  std::vector<std::uint32_t> open_;  // folders being walked, innermost last

  std::vector<TLargeBlock> files_;  // FileRecord chunks
  std::uint64_t fileCount_ = 0;
  bool trimmed_ = false;  // Finish has cut the chunks to what they hold
  NameStore fileNames_;
  // Side tables, in file order: the few files with several names or with
  // more blocks than 32 bits hold.
  std::vector<std::pair<std::uint64_t, ScanLink>> links_;
  std::vector<std::pair<std::uint64_t, std::int64_t>> hugeAllocated_;
  bool filesAtClose_ = false;  // see StartOwnFiles
  bool linksAreRepeats_ = false;
  std::vector<std::uint64_t> devices_{0};  // the few devices folders lie on
  std::size_t lastDevice_ = 0;
  struct LeftOutRecord {
    std::uint32_t folder;
    std::uint32_t nameLength;
    std::size_t nameOffset;  // in leftOutNames_
    LeftOutReason why;
  };
  std::vector<LeftOutRecord> leftOutFiles_;  // in folder order
  std::string leftOutNames_;
};
