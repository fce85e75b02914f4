#include "core/main_info.h"

MainInfo mainInfo;
int removeSpaces = 0;
int noPager = 0;
int lettersOnly = 0;
int lineLabels = 0;

void resetMainInfo() {
  mainInfo = MainInfo{};
  mainInfo.skipLimit = kDefaultSkipLimit;
  mainInfo.width = kDefaultWidth;
  mainInfo.height = kDefaultHeight;
  mainInfo.topPos = -1;
  mainInfo.returnLen = kDefaultWidth;
  mainInfo.areaStart = -1;
  mainInfo.areaEnd = -1;
}
