#include "ListFilters.h"
