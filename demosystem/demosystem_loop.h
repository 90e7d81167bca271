// Loop region of the editor: a start and an end on the timeline; while looping is on and the
// music plays, reaching the end sends it back to the start, and the scenes restart and catch
// up there as after any jump.
#pragma once

class c_demo;

// I sets the start, O the end (at the play position, or with Ctrl at the mouse cursor's time;
// on the grid while snapping is on), L turns looping on and off. True when the key was one of
// them. `cursortime` is the time under the mouse cursor.
bool HandleLoopKeys(c_demo &demo, int pressed, int key, int cursortime);
// The region can loop: an end after its start.
bool LoopValid(const c_demo &demo);
// Sends the music back to the loop's start once it has reached the end; once a frame.
void FollowLoop(c_demo &demo);
