// The first scene of the session test's program: the character chooser,
// leading into the game with the world renderer running.
#pragma once
#include "game/CChooseINI.h"

typedef CChooseINI FIRST_SCENE;
