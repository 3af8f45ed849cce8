#include "SafeSave.h"
