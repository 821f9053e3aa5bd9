#pragma once

#include <QtGlobal>

namespace util {

// Kills process `root` and everything it started (found through /proc). A build script that
// runs too long has a compiler below it, which would otherwise go on and write its output
// after the editor gave up on it. Nothing for a pid of 0 or less.
void killProcessTree(qint64 root);

} // namespace util
