#pragma once

#include <string>

#include "scan/ScanComparison.h"

// The changes of a comparison for scripts: a line per folder whose total
// changed, "+500000" or "-6000", TAB, the earlier total, TAB, the new one,
// TAB, its path; sizes in bytes, "-" for the side a folder is not on (its
// change is then the other side's total), LF line ends. Largest change
// either way first, equal ones in path order (raw bytes). A folder new or
// gone with nothing in it changed nothing and has no line. `depthLimit`:
// only folders down to that many levels below a starting folder of the new
// scan (a gone one at the level its path would have); 0 or less: no limit.
std::string ComparisonText(const TScanComparison& comparison, int depthLimit);
