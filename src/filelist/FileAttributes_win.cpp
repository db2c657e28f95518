#include "FileAttributes.h"
