#pragma once

#include "app/pass_state.h"

// Moves the cursor with the D-pad: speeding up while a direction is held,
// braking on the opposite one, gliding to a stop on release.
void MoveWithDpad(PassState &pass);
