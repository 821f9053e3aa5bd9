#pragma once

#include "PackedPatch.h"

#include <QByteArray>

// The plain reading of a version 1-6 body, kept apart from the reader under test: the body
// is cut at every FF FF from the end, and the first four sections are read with QDataStream.
// `wellFormed` tells whether the body had exactly four sections and each of them held whole
// records and nothing more: the bodies this reading gets right.
PackedPatch referenceRead(const QByteArray& body, int version, bool& wellFormed);
