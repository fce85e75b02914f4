#include "search/run.h"

#include <climits>
#include <cstdio>
#include <cstring>
#include <string>

#include "core/hit_list.h"
#include "core/hit_triple.h"
#include "core/main_info.h"
#include "search/scan.h"
#include "util/console.h"
#include "util/interrupt.h"
#include "util/memory.h"
#include "util/message.h"

namespace {

constexpr int kStackStep = 256;

enum class Section { kForward, kBackward };

// Numbering and paging across both sections of one listing.
struct Listing {
  int number = 1;  // number of the next hit
  int lines = 0;   // lines since the last "continued ... " prompt
};

// The paging prompt. Returns true when the reply asks to stop the section:
// it begins with q or Q, or the input has ended.
bool replyStops() {
  errmsg("continued ... ");
  std::string reply;
  if (!readLine(&reply)) return true;
  return !reply.empty() && (reply[0] == 'q' || reply[0] == 'Q');
}

void printHit(const Hit& hit, Section section, int number) {
  if (section == Section::kForward) {
    const HitTriple t = forwardTriple(hit.skip, hit.pos, mainInfo.patternLen);
    outputf("(%d): skip=%d, string=(%d,%d,%d)\n", number, hit.skip, t.start, t.center, t.end);
  } else {
    const HitTriple t = backwardTriple(hit.skip, hit.pos, mainInfo.patternLen, mainInfo.textLen);
    outputf("(%d): skip=-%d, string=(%d,%d,%d)\n", number, hit.skip, t.start, t.center, t.end);
  }
}

// Counts the last `left` hits of a section whose printing a reply of q
// stopped at the first of them, right after its prompt set the line counter
// to 0: each is numbered and counted as a line, and in the backward section
// the counter goes back to 0 whenever it has run past a page, so there it
// cycles through 1 to 25.
void countStoppedRest(int left, Section section, Listing* listing) {
  listing->number += left;
  if (section == Section::kForward) {
    listing->lines += left;
  } else {
    listing->lines = (left - 1) % (kPageLines + 1) + 1;
  }
}

// Lists one section. Once q stopped its printing, its hits are still
// numbered and counted as lines, so that the numbers and counts stay right.
void listSection(const HitList& list, Section section, Listing* listing) {
  for (int r = 0; r < list.runCount(); ++r) {
    const int skip = list.run(r).skip;
    for (int index = list.run(r).first; index < list.runEnd(r); ++index) {
      // A Ctrl-C during a long listing ends the program here.
      pollInterrupt();
      if (listing->lines == kPageLines) {
        listing->lines = 0;
        // Without the pager a full page simply goes on, as after an empty reply.
        if (noPager == 0 && replyStops()) {
          countStoppedRest(list.count() - index, section, listing);
          return;
        }
      } else if (section == Section::kBackward && listing->lines > kPageLines) {
        // The forward section was stopped and ran the counter past a page.
        listing->lines = 0;
      }
      printHit({skip, list.pos(index)}, section, listing->number);
      ++listing->number;
      ++listing->lines;
    }
  }
}

// Scans text into list. A Ctrl-C that came while the text was reversed ends
// the program here; one in the moment after this, as the scan begins.
int scan(int all_skips, const char* text, HitList* list) {
  pollInterrupt();
  return findSequences(all_skips, mainInfo.pattern, text, list);
}

// The line that ends the backward marks. When the forward section filled a
// page, a prompt stands before it whose reply is not looked at: nothing of
// the backward section is shown yet that it could stop. An ended input is
// ignored there too. Without the pager neither the prompt nor its reply is
// there.
void endBackwardMarks(Listing* listing) {
  if (listing->lines == kPageLines) {
    if (noPager == 0) {
      errmsg("continued ... ");
      std::string reply;
      readLine(&reply);
    }
    listing->lines = 0;
  }
  errmsg("\n");
  ++listing->lines;
}

// The search itself: both scans and both sections.
void searchRun(int all_skips, HitList* forward_hits, HitList* backward_hits) {
  mainInfo.forwardCount = 0;
  mainInfo.backwardCount = 0;
  forward_hits->clear();
  backward_hits->clear();

  errmsg("searching forward ");
  scan(all_skips, mainInfo.text, forward_hits);
  errmsg("\n");
  Listing listing;
  listSection(*forward_hits, Section::kForward, &listing);
  mainInfo.forwardCount = listing.number - 1;

  errmsg("searching backward ");
  reverseText(mainInfo.text);
  // The backward hits are numbered on from the forward ones: the forward
  // list's limit holds for both together.
  backward_hits->setLimit(forward_hits->limit() - forward_hits->count());
  if (scan(all_skips, mainInfo.text, backward_hits) == 1) reorderBackward(backward_hits);
  reverseText(mainInfo.text);
  endBackwardMarks(&listing);
  listSection(*backward_hits, Section::kBackward, &listing);
  mainInfo.backwardCount = listing.number - 1 - mainInfo.forwardCount;
}

// posStack's storage.
int* stackEntries = nullptr;
int stackCount = 0;
int stackCapacity = 0;

void growStack() {
  const long long capacity = static_cast<long long>(stackCapacity) + kStackStep;
  const long long bytes = capacity * static_cast<long long>(sizeof(int));
  // The allocators take an int; a larger stack cannot be had.
  if (bytes > INT_MAX) memoryExhausted(static_cast<std::size_t>(bytes), false);
  stackEntries = static_cast<int*>(moremem(stackEntries, static_cast<int>(bytes)));
  stackCapacity = static_cast<int>(capacity);
}

}  // namespace

void searchBoth(int search, int all_skips, HitList* forward_hits, HitList* backward_hits) {
  if (search != 0) {
    searchRun(all_skips, forward_hits, backward_hits);
    return;
  }
  Listing listing;
  listSection(*forward_hits, Section::kForward, &listing);
  listSection(*backward_hits, Section::kBackward, &listing);
}

void reverseText(char* text) {
  const std::size_t n = std::strlen(text);
  for (std::size_t i = 0; i < n / 2; ++i) {
    const char byte = text[i];
    text[i] = text[n - 1 - i];
    text[n - 1 - i] = byte;
  }
}

void reorderBackward(HitList* list) {
  for (int r = 0; r < list->runCount(); ++r) {
    const int first = list->run(r).first;
    const int end = list->runEnd(r);
    for (int index = first; index < end; ++index) posStack(kPosPush, list->pos(index));
    for (int index = first; index < end; ++index) list->pos(index) = posStack(kPosPop, 0);
  }
  posStack(kPosEmpty, 0);
}

int posStack(int operation, int value) {
  if (operation == kPosEmpty) {
    stackCount = 0;
    return 0;
  }
  if (stackEntries == nullptr) {
    stackEntries = static_cast<int*>(getmem(kStackStep * static_cast<int>(sizeof(int))));
    stackCapacity = kStackStep;
  }
  if (operation == kPosPush) {
    if (stackCount == stackCapacity) growStack();
    stackEntries[stackCount++] = value;
    return value;
  }
  return stackEntries[--stackCount];
}
