#include "AppendRun.h"
