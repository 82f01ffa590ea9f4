#pragma once

#include "scan/UsageDirectory.h"

class TScanDocument;

// Makes a report from a scan's document as the walk makes one from the
// disk: the document's folders and files go, in the walk's order, through
// the hooks the walk calls, under the walk's rules (hidden names,
// exclusions, one file system), so the counting is the walk's own and the
// report the same as a walk of the same folders would give.
class TScanReplay : public TUsageDirectory {
 public:
  // After SetState, whose options' folders are not used: the document's
  // starting folders are.
  void Replay(const TScanDocument& document, TMessagePump* application);

 private:
  struct Level {
    std::uint32_t folder;
    std::uint32_t next;  // the next record below it; kNoFolder when done
    std::size_t pathLength;
  };
  void Enter(const TScanDocument& document, std::uint32_t i, bool startingFolder);

  const TWalkRules* rules_ = nullptr;
  TMessagePump* application_ = nullptr;
  std::vector<Level> stack_;
  std::string path_;
  std::string name_;   // the current name, ended by '\0' as the rules want it
  std::string below_;  // the folder's path below its starting folder, for the rules
  std::size_t rootPrefix_ = 0;
  std::size_t filesSincePump_ = 0;
};

// One whole report from a document, as RunUsageScan makes one from a walk:
// clears the tree if asked, replays, and shows "All Done" or kScanStoppedText.
ScanOutcome ReplayScan(const TScanDocument& document, const UsageOptions& options,
                       TReportTree& tree, TMessagePump* application, TStatusLine* statusLine,
                       TUsageDirectory** running = nullptr);
