#include "ReadOnly.h"
