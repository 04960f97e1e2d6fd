// The check of the authenticity record after every walk of the entries.
#pragma once

#include "authenticity/summary.h"
#include "report/status.h"

class Reporter;

// Warning 22 when protected entries have no record or more than one; warning 23 when the one
// record does not open under the summary's total, or a protected entry could not be decoded;
// otherwise the maker and code go to the
// reporter's front end. A fatal status only when memory runs out for the record's copy.
Status VerifyAuthenticity(const AuthenticitySummary& summary, Reporter& report);
