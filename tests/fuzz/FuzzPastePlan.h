#pragma once

#include <QByteArray>

// One fuzz input for the paste plan, used two ways: as clipboard payload bytes, pasted raw and
// as Base64 text, and as the makings of a selection that is copied and then pasted. Any
// broken property aborts.
void fuzzPastePlan(const QByteArray& bytes);
