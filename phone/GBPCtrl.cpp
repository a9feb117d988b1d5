#include "GBPCtrl.h"

TGBPCtrl GBP;
