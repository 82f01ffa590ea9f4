#include "scan/ScanDocument.h"

#include <algorithm>
#include <cstring>

#include "scan/MyDirectory.h"

namespace {

constexpr std::int64_t kMaxBytes = std::numeric_limits<std::int64_t>::max();

// As the walk's totals: a sum past the largest count stops there.
void AddSaturating(std::int64_t& to, std::int64_t bytes) {
  if (__builtin_add_overflow(to, bytes, &to)) to = kMaxBytes;
}

// Modification times are kept in 40 bits, signed: some 17,000 years either
// side of 1970, beyond which a time is taken as the nearest it can hold.
constexpr std::int64_t kLatestTime = (std::int64_t{1} << 39) - 1;
// The lowest 40-bit value stands for a time not known (a scan file made
// without times), which TScanDocument::kNoTime gives back.
constexpr std::int64_t kUnknownTime = -(std::int64_t{1} << 39);
constexpr std::int64_t kEarliestTime = kUnknownTime + 1;

}  // namespace

std::uint64_t TScanDocument::NameStore::Append(const char* text, std::size_t length) {
  // Strictly less than a chunk, so an offset always names its own chunk.
  if (chunks.empty() || used.back() + length >= lastSize) {
    lastSize = std::max(kChunk, length + 1);
    // The first chunk in small pages, so a small scan stays small.
    chunks.emplace_back(lastSize, !chunks.empty());
    used.push_back(0);
  }
  const std::uint64_t offset = ((chunks.size() - 1) << kChunkBits) + used.back();
  std::memcpy(chunks.back().get() + used.back(), text, length);
  used.back() += static_cast<std::uint32_t>(length);
  return offset;
}

std::uint64_t TScanDocument::NameStore::EndOf(std::uint64_t offset, std::uint64_t next) const {
  const std::uint64_t chunk = offset >> kChunkBits;
  if ((next >> kChunkBits) == chunk) return next;
  return (chunk << kChunkBits) + used[chunk];
}

std::uint64_t TScanDocument::NameStore::End() const {
  return chunks.empty() ? 0 : ((chunks.size() - 1) << kChunkBits) + used.back();
}

void TScanDocument::NameStore::Trim() {
  if (chunks.empty() || used.back() == lastSize) return;
  lastSize = std::max<std::size_t>(used.back(), 1);
  chunks.back().Shrink(lastSize);
  chunks.shrink_to_fit();
  used.shrink_to_fit();
}

std::size_t TScanDocument::NameStore::HeapBytes() const {
  if (chunks.empty()) return 0;
  return (chunks.size() - 1) * kChunk + lastSize + chunks.capacity() * sizeof(chunks[0]) +
         used.capacity() * sizeof(used[0]);
}

TScanDocument::TScanDocument() = default;
TScanDocument::~TScanDocument() = default;

std::string_view TScanDocument::FolderName(std::uint32_t i) const {
  const ScanFolder& f = folders_[i];
  if (f.nameLength == 0) return {};
  return {folderNames_.At(f.nameOffset), f.nameLength};
}

std::string TScanDocument::FolderPath(std::uint32_t i) const {
  std::vector<std::uint32_t> chain;
  for (std::uint32_t n = i; n != kNoFolder; n = folders_[n].parent) chain.push_back(n);
  std::string path(FolderName(chain.back()));
  for (std::size_t k = chain.size() - 1; k-- > 0;) {
    path = JoinPath(path, std::string(FolderName(chain[k])));
  }
  return path;
}

std::uint32_t TScanDocument::FirstChild(std::uint32_t i) const {
  return folders_[i].span > 0 ? i + 1 : kNoFolder;
}

std::uint32_t TScanDocument::NextSibling(std::uint32_t i) const {
  const std::uint64_t next = std::uint64_t{i} + folders_[i].span + 1;
  const std::uint32_t parent = folders_[i].parent;
  const std::uint64_t end =
      parent == kNoFolder ? folders_.size() : std::uint64_t{parent} + folders_[parent].span + 1;
  return next < end ? static_cast<std::uint32_t>(next) : kNoFolder;
}

std::string_view TScanDocument::FileName(std::uint64_t j) const {
  const std::uint64_t start = NameOffsetOf(Record(j));
  const std::uint64_t next = j + 1 < fileCount_ ? NameOffsetOf(Record(j + 1)) : fileNames_.End();
  const std::uint64_t end = fileNames_.EndOf(start, next);
  if (end == start) return {};
  return {fileNames_.At(start), static_cast<std::size_t>(end - start)};
}

ScanFile TScanDocument::File(std::uint64_t j) const {
  const FileRecord& r = Record(j);
  ScanFile file;
  file.name = FileName(j);
  file.length = r.length;
  if (r.blocks == kBlocksEscape) {
    const auto it =
        std::lower_bound(hugeAllocated_.begin(), hugeAllocated_.end(), j,
                         [](const auto& entry, std::uint64_t k) { return entry.first < k; });
    file.allocated = it != hugeAllocated_.end() && it->first == j ? it->second : 0;
  } else {
    file.allocated = std::int64_t{r.blocks} * 512;
  }
  file.modified = (std::int64_t{r.modifiedHigh} << 32) | r.modifiedLow;
  if (file.modified == kUnknownTime) file.modified = kNoTime;
  file.type = static_cast<FileFacts::Type>(r.type);
  file.linked = (r.flags & kLinked) != 0;
  if (r.length < 0) {
    file.counted = -1;
  } else if ((r.flags & kUncounted) != 0) {
    file.counted = 0;
  } else if (options_.CountAllocated || options_.CountLikeDu) {
    file.counted = file.allocated;
  } else if (options_.AllowForSectorSize && options_.SectorBytes > 0) {
    const std::int64_t sector = options_.SectorBytes;
    const std::int64_t units = r.length / sector + 1;
    file.counted = units > std::numeric_limits<std::int64_t>::max() / sector
                       ? std::numeric_limits<std::int64_t>::max()
                       : sector * units;
  } else {
    file.counted = r.length;
  }
  return file;
}

std::uint64_t TScanDocument::KeptFilesEnd(std::uint32_t i) const {
  if (filesAtClose_) return folders_[i].firstFile + (KeepsFiles() ? folders_[i].files : 0);
  return i + 1 < FolderCount() ? folders_[i + 1].firstFile : fileCount_;
}

std::pair<std::uint64_t, std::uint64_t> TScanDocument::KeptFilesBelow(std::uint32_t i) const {
  if (!filesAtClose_) return {folders_[i].firstFile, KeptFilesEnd(i + folders_[i].span)};
  // Files stored as each folder closed: the sub-tree's begin with those of
  // the first folder in it to close, its first child's first child and so on.
  std::uint32_t first = i;
  while (folders_[first].span > 0) ++first;
  return {folders_[first].firstFile, KeptFilesEnd(i)};
}

std::pair<std::size_t, std::size_t> TScanDocument::LeftOutFiles(std::uint32_t i) const {
  const auto less = [](const LeftOutRecord& r, std::uint32_t f) { return r.folder < f; };
  const auto begin = std::lower_bound(leftOutFiles_.begin(), leftOutFiles_.end(), i, less);
  auto end = begin;
  while (end != leftOutFiles_.end() && end->folder == i) ++end;
  return {static_cast<std::size_t>(begin - leftOutFiles_.begin()),
          static_cast<std::size_t>(end - leftOutFiles_.begin())};
}

ScanLeftOutFile TScanDocument::LeftOutFile(std::size_t k) const {
  const LeftOutRecord& r = leftOutFiles_[k];
  return {std::string_view(leftOutNames_).substr(r.nameOffset, r.nameLength), r.why};
}

const ScanLink* TScanDocument::Link(std::uint64_t j) const {
  if (j >= fileCount_ || (Record(j).flags & kLinked) == 0) return nullptr;
  const auto it =
      std::lower_bound(links_.begin(), links_.end(), j,
                       [](const auto& entry, std::uint64_t k) { return entry.first < k; });
  return it != links_.end() && it->first == j ? &it->second : nullptr;
}

std::size_t TScanDocument::HeapBytes() const {
  std::size_t bytes = folders_.HeapBytes() + folderNames_.HeapBytes() +
                      open_.capacity() * sizeof(std::uint32_t) + FileRoom() * sizeof(FileRecord) +
                      files_.capacity() * sizeof(files_[0]) + fileNames_.HeapBytes() +
                      links_.capacity() * sizeof(links_[0]) +
                      hugeAllocated_.capacity() * sizeof(hugeAllocated_[0]) +
                      problems_.capacity() * sizeof(ScanProblem) + host_.capacity() +
                      devices_.capacity() * sizeof(std::uint64_t) +
                      leftOutFiles_.capacity() * sizeof(LeftOutRecord) + leftOutNames_.capacity();
  for (const ScanProblem& p : problems_) bytes += p.path.capacity() + p.reason.capacity();
  return bytes;
}

std::uint64_t TScanDocument::FileRoom() const {
  if (files_.empty()) return 0;
  const std::uint64_t inLast = fileCount_ & (kFileChunk - 1);
  return (files_.size() - 1) * kFileChunk + (trimmed_ && inLast ? inLast : kFileChunk);
}

void TScanDocument::Begin(const UsageOptions& options, std::string host) {
  options_ = options;
  host_ = std::move(host);
  started_ = std::chrono::system_clock::now();
}

std::uint32_t TScanDocument::NewFolder(const char* name, std::size_t nameLength) {
  ScanFolder folder;
  folder.nameOffset = nameLength ? folderNames_.Append(name, nameLength) : 0;
  folder.nameLength = static_cast<std::uint32_t>(nameLength);
  folder.parent = open_.empty() ? kNoFolder : open_.back();
  folder.firstFile = fileCount_;
  folders_.push_back(folder);
  return static_cast<std::uint32_t>(folders_.size() - 1);
}

void TScanDocument::OpenFolder(const char* name, std::size_t nameLength) {
  open_.push_back(NewFolder(name, nameLength));
}

void TScanDocument::AddFile(const char* name, std::size_t nameLength, std::int64_t length,
                            std::int64_t counted, const FileFacts& facts) {
  if (open_.empty()) return;
  ScanFolder& folder = folders_[open_.back()];
  const bool measured = length >= 0;
  ++folder.files;
  if (counted > 0) AddSaturating(folder.bytes, counted);
  if (measured) {
    AddSaturating(folder.allocated, std::max<std::int64_t>(facts.allocated, 0));
    folder.newest = std::max(folder.newest, facts.modified);
  }
  if (!KeepsFiles() || trimmed_) return;
  // The walk hands a folder's files before its sub-folders; any other order
  // would split the folder's run, so such a file is counted but not kept.
  if (folder.firstFile + (folder.files - 1) != fileCount_) {
    folder.flags |= ScanFolder::Partial;
    return;
  }
  if ((fileCount_ & (kFileChunk - 1)) == 0) {
    files_.emplace_back(kFileChunk * sizeof(FileRecord), !files_.empty());
  }
  FileRecord& r =
      *new (files_.back().get() + (fileCount_ & (kFileChunk - 1)) * sizeof(FileRecord)) FileRecord;
  const std::uint64_t offset = fileNames_.Append(name, nameLength);
  r.nameLow = static_cast<std::uint32_t>(offset);
  r.nameHigh = static_cast<std::uint8_t>(offset >> 32);
  r.length = measured ? length : -1;
  r.flags = measured && counted == 0 ? kUncounted : 0;
  if (!measured) {
    r.blocks = 0;
    r.modifiedLow = 0;
    r.modifiedHigh = 0;
    r.type = static_cast<std::uint8_t>(FileFacts::Type::Unknown);
  } else {
    const std::int64_t blocks = std::max<std::int64_t>(facts.allocated, 0) / 512;
    if (blocks < kBlocksEscape) {
      r.blocks = static_cast<std::uint32_t>(blocks);
    } else {
      r.blocks = kBlocksEscape;
      hugeAllocated_.emplace_back(fileCount_, facts.allocated);
    }
    const std::int64_t time = facts.modified == kNoTime
                                  ? kUnknownTime
                                  : std::clamp(facts.modified, kEarliestTime, kLatestTime);
    r.modifiedLow = static_cast<std::uint32_t>(time);
    r.modifiedHigh = static_cast<std::int8_t>(time >> 32);
    r.type = static_cast<std::uint8_t>(facts.type);
    if (facts.links > 1) {
      r.flags |= kLinked;
      links_.emplace_back(fileCount_, ScanLink{facts.device, facts.inode, facts.links});
    }
  }
  ++fileCount_;
}

void TScanDocument::AddFolderOwn(std::int64_t counted, std::int64_t allocated) {
  if (open_.empty()) return;
  ScanFolder& folder = folders_[open_.back()];
  AddSaturating(folder.bytes, std::max<std::int64_t>(counted, 0));
  AddSaturating(folder.allocated, std::max<std::int64_t>(allocated, 0));
}

void TScanDocument::AddLeftOut(const char* name, std::size_t nameLength, LeftOutReason why) {
  if (open_.empty()) return;
  const std::uint32_t i = NewFolder(name, nameLength);
  folders_[i].flags = ScanFolder::LeftOut | ScanFolder::Finished;
  folders_[i].leftOut = why;
  folders_[i].newest = kNoTime;
}

void TScanDocument::SetFolderFacts(const FileFacts& facts) {
  if (open_.empty()) return;
  ScanFolder& folder = folders_[open_.back()];
  // Folders of one scan lie on a handful of devices: the last one found is
  // most often the one asked for.
  std::size_t d = lastDevice_;
  if (devices_[d] != facts.device) {
    d = std::find(devices_.begin(), devices_.end(), facts.device) - devices_.begin();
    if (d == devices_.size()) devices_.push_back(facts.device);
    lastDevice_ = d;
  }
  folder.device = static_cast<std::uint32_t>(d);
  folder.inode = facts.inode;
  folder.ownAllocated = std::max<std::int64_t>(facts.allocated, 0);
  folder.flags |= ScanFolder::Identified;
}

void TScanDocument::AddLeftOutFile(const char* name, std::size_t nameLength, LeftOutReason why) {
  if (open_.empty()) return;
  leftOutFiles_.push_back(LeftOutRecord{open_.back(), static_cast<std::uint32_t>(nameLength),
                                        leftOutNames_.size(), why});
  leftOutNames_.append(name, nameLength);
}

void TScanDocument::StartOwnFiles() {
  if (open_.empty()) return;
  ScanFolder& folder = folders_[open_.back()];
  if (folder.files == 0) folder.firstFile = fileCount_;
  filesAtClose_ = true;
}

void TScanDocument::SetTimes(std::chrono::system_clock::time_point started,
                             std::chrono::system_clock::time_point ended) {
  started_ = started;
  ended_ = ended;
}

void TScanDocument::MarkUnlisted() {
  if (!open_.empty()) folders_[open_.back()].flags |= ScanFolder::Unlisted;
}

void TScanDocument::CloseFolder(std::int64_t bytesBelow, bool failed, bool failedHere) {
  if (open_.empty()) return;
  const std::uint32_t i = open_.back();
  open_.pop_back();
  ScanFolder& folder = folders_[i];
  folder.span = static_cast<std::uint32_t>(folders_.size() - 1 - i);
  folder.filesBelow += folder.files;
  AddSaturating(folder.allocatedBelow, folder.allocated);
  folder.bytesBelow = bytesBelow;
  folder.flags |= ScanFolder::Finished;
  if (failed) folder.flags |= ScanFolder::Failed;
  if (failedHere) folder.flags |= ScanFolder::FailedHere;
  if (open_.empty()) return;
  // Carried to the parent as the walk carries its bytes.
  ScanFolder& parent = folders_[open_.back()];
  parent.filesBelow += folder.filesBelow;
  parent.foldersBelow += folder.foldersBelow + 1;
  AddSaturating(parent.allocatedBelow, folder.allocatedBelow);
  parent.newest = std::max(parent.newest, folder.newest);
}

void TScanDocument::Finish(std::vector<ScanProblem> problems, bool stopped) {
  ended_ = std::chrono::system_clock::now();
  stopped_ = stopped;
  problems_ = std::move(problems);
  // Folders a stop left open keep their own numbers; their span still
  // covers what the walk reached below them.
  for (const std::uint32_t i : open_) {
    folders_[i].span = static_cast<std::uint32_t>(folders_.size() - 1 - i);
  }
  open_.clear();
  open_.shrink_to_fit();
  // The last chunks are cut to what they hold: AddFile is for the walk
  // only, and nothing comes after it.
  const std::uint64_t inLast = fileCount_ & (kFileChunk - 1);
  if (inLast != 0 && !trimmed_) files_.back().Shrink(inLast * sizeof(FileRecord));
  trimmed_ = true;
  files_.shrink_to_fit();
  fileNames_.Trim();
  folderNames_.Trim();
  links_.shrink_to_fit();
  hugeAllocated_.shrink_to_fit();
  leftOutFiles_.shrink_to_fit();
}
