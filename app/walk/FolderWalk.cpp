#include "FolderWalk.h"
