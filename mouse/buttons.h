#pragma once

#include "app/pass_state.h"

// A and B as the right and left buttons; One, Two, Plus and Minus as the wheel.
void ButtonActions(PassState &pass);

// Sends the up event for each button still down, so that nothing stays
// pressed once the loop has ended.
void ReleaseButtons(PassState &pass);
