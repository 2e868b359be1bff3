#include "groundkit/groundkit.h"
