#include "engine/EngineState.h"

LONG* g_pStopFlag = nullptr;
