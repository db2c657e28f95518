#include "FolderScan.h"
