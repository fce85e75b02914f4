#include "driver/main_info.h"

MainInfo mainInfo;
int removeSpaces = 0;
std::atomic<int> searching = 0;
std::atomic<int> interrupted = 0;

void resetMainInfo() {
  mainInfo = MainInfo{};
  mainInfo.skipLimit = 10000;
  mainInfo.width = 78;
  mainInfo.height = 20;
  mainInfo.topPos = -1;
  mainInfo.returnLen = 78;
  mainInfo.areaStart = -1;
  mainInfo.areaEnd = -1;
}
