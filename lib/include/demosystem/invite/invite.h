// The party invitation's effect table, for the program to hand to its demo object before
// loading the project (entries in the order of the project's function ids).
#pragma once
#include "demosystem/demofunction.h"

extern const s_effecttable invite_effects;
