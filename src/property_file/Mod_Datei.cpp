#include "Mod_Datei.h"
