#include "driver/main_info.h"

MainInfo mainInfo;
int removeSpaces = 0;
volatile std::sig_atomic_t searching = 0;
volatile std::sig_atomic_t interrupted = 0;

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
