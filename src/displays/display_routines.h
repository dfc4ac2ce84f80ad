// Plugs the per-frame routines of the displays and the VE learner into the frame dispatch, and
// resets them for tests.
#pragma once

void install_display_routines();
void reset_display_routines();
