#include "FileIO.h"
