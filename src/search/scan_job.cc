#include "search/scan_job.h"

#include "util/message.h"

void writeProgressMark(bool found_since_mark) { errmsg(found_since_mark ? "*" : "."); }
