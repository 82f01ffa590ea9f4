#pragma once

class QThreadPool;

// The threads that count, read and write for the window in the background
// (the panes' counts, comparisons, scan files). Not Qt's global pool: Qt
// paints with that one, and a painting queued behind a long count would
// hold the window up.
QThreadPool& BackgroundPool();
