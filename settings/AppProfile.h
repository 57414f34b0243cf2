#pragma once
// The program's one settings store, over Parameter.INI. Its path is fixed
// once at start-up (CTestApp); tests point it at a file of their own.

#include "ProfileStore.h"

ProfileStore& appProfile();
