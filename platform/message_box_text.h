// The text form of a message box, shared by the platforms' boxes: used when
// KORVANTI_MESSAGE_BOX=stderr asks for it (unattended runs, where a modal box
// would wait for ever) or where no box can be shown.
#pragma once

#include "platform/platform.h"

// True when the environment asks for boxes on standard error.
bool message_box_wants_text();
// Prints "caption: text" on standard error; a question is answered No.
MessageBoxAnswer message_box_as_text(const char* text, const char* caption, MessageBoxButtons buttons);
