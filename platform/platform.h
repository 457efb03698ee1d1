// The thin layer in place of the Win32 calls: message boxes, the millisecond
// tick count and sleeping.
#pragma once

#include <cstdint>

enum class MessageBoxIcon { NONE, WARNING, STOP, INFORMATION };
enum class MessageBoxButtons { OK, YES_NO };
enum class MessageBoxAnswer { OK, YES, NO };

// Modal box without an owner window; where no display can show it, the text
// goes to standard error as "caption: text" (and a question is answered No).
// With KORVANTI_MESSAGE_BOX=stderr in the environment every box goes there,
// so that unattended runs never wait on a box.
MessageBoxAnswer show_message_box(const char* text, const char* caption, MessageBoxIcon icon,
                                  MessageBoxButtons buttons);

// Milliseconds, wrapping at 2^32.
uint32_t platform_tick_count();
void platform_sleep(uint32_t milliseconds);
