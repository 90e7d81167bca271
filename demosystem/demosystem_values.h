// Editing the selected value by number: a value typed in (digits, '.', '-', Backspace; Enter
// sets it, Escape drops it), fine and coarse steps, and the curve type of the selected keys.
#pragma once

class c_demo;

// Steps of the step keys.
constexpr float VALUE_FINESTEP = 0.01f;
constexpr float VALUE_COARSESTEP = 1.0f;
// Characters a typed value may have.
constexpr int VALUE_MAXTYPED = 24;

// The value the selected properties line edits: a value key's value, a transform key's nine
// floats (lines 2 to 10) or an effect event's values (lines from 2); null for any other line.
float *EditableValue(c_demo &demo);
// The value keys of the editor (virtual key `pressed`, the key word `key`): E starts typing,
// - and = step finely, [ and ] coarsely, K gives the selected keys the next curve type (with
// Shift the one before), W shows or hides the value curves. True when the key was one of them.
bool HandleValueKeys(c_demo &demo, int pressed, int key);
// A key while a value is being typed.
void HandleValueEntry(c_demo &demo, int pressed);
// The text typed so far as a value; false when it is no finite number.
bool ParseTypedValue(const char *text, float *value);
// The curve type `step` places after `type` among all curve types, wrapping around.
int CycleCurve(int type, int step);
