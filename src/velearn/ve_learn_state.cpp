#include "velearn/ve_learn_state.h"

VeLearnState g_ve_learn;
