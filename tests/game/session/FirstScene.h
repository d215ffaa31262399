// The first scene of the session test's program: the character chooser, as
// in the shipped programs, with the world renderer stood in for.
#pragma once
#include "game/CChooseINI.h"

typedef CChooseINI FIRST_SCENE;
