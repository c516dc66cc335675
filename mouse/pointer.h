#pragma once

#include "app/pass_state.h"

// Moves the cursor a sixth of the way towards where the remote points,
// when the camera sees both lights.
void UpdatePointer(PassState &pass);
