// The scene each program starts with (the entry point makes it as
// FIRST_SCENE): the character chooser, which leads into the game.
#pragma once
#include "game/scenes/CChooseINI.h"

typedef CChooseINI FIRST_SCENE;
