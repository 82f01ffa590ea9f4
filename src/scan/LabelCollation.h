#pragma once

#include <string>

// Orders report labels. Finished folder labels ("....121K *Docs") compare by
// their size in K, then unmarked before marked, then by name; everything else
// compares as whole text. Names use the user's locale, case-sensitively. The
// size comes first under every locale (some locales ignore "." when
// collating) and for sizes too large for the 7-character field.
int CompareLabels(const std::string& a, const std::string& b);
