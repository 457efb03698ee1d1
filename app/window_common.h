// What the window does the same way on every platform: the message boxes
// of a failed creation or tear-down and of the full-screen fallback, the
// projection and the basic GL state.
#pragma once

// "ERROR" box with a warning icon.
void creation_error(const char* text);
// A creation step failed: tears down what stands (destroy_window), then
// reports; always false.
bool creation_failed(const char* text);
// "SHUTDOWN ERROR" box with an information icon; the tear-down goes on.
void shutdown_error(const char* text);
// Asks whether to go on in a window when the full-screen mode is refused;
// after No says that the program will close. True for Yes.
bool accept_windowed_mode();
