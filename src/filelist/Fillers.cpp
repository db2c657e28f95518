#include "Fillers.h"
