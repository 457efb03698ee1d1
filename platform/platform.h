// The thin layer in place of the Win32 calls: message boxes, the millisecond
// tick count and sleeping.
#pragma once

#include <cstdint>

enum class MessageBoxIcon { NONE, WARNING, STOP, INFORMATION };
enum class MessageBoxButtons { OK, YES_NO };
enum class MessageBoxAnswer { OK, YES, NO };

// Modal box without an owner window; where no display can show it, the text
// goes to standard error (and a question is answered No).
MessageBoxAnswer show_message_box(const char* text, const char* caption, MessageBoxIcon icon,
                                  MessageBoxButtons buttons);

// Milliseconds, wrapping at 2^32.
uint32_t platform_tick_count();
void platform_sleep(uint32_t milliseconds);
