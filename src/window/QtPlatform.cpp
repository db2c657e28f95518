#include "QtPlatform.h"
