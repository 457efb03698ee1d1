// A headless Chromium driven through its DevTools protocol over a pipe
// (--remote-debugging-pipe: commands in on descriptor 3, replies out on 4,
// each a JSON text ended by a NUL byte), with a fresh profile, software GL
// and sound allowed without a gesture. One page; the test asks it to load a
// URL, evaluates expressions in it and sends it keys and clicks. POSIX only.
//
// Functions that can fail return an empty string on success, else why.
#pragma once

#include <sys/types.h>

#include <string>

#include "support/child_process.h"

struct Browser {
    pid_t pid = 0;          // the browser, leader of its own process group; 0 when not running
    int commands = -1;      // we write here
    int replies = -1;       // we read here
    std::string pending;    // bytes read past the last whole message
    int next_id = 1;
    std::string session;    // the page's session
    std::string log_path;   // the browser's own output
};

// Starts chromium with `environment` added (the private sound server's),
// its profile in `profile_dir`, and opens one 640x480 page.
std::string browser_start(Browser* browser, const Environment& environment, const std::string& profile_dir);
// Runs `source` in every document the page loads from now on, before the
// document's own scripts.
std::string browser_add_script(Browser* browser, const std::string& source);
// Loads `url` in the page.
std::string browser_navigate(Browser* browser, const std::string& url);
// The value of a JavaScript expression that gives a string; `why` gets the
// reason when there is none.
std::string browser_evaluate(Browser* browser, const std::string& expression, std::string* why);
// A key pressed and released: `key` as the DOM names it ("Escape"), with its
// Windows key code (27).
std::string browser_press_key(Browser* browser, const std::string& key, int key_code);
// A left click at (x, y) in the page's CSS pixels.
std::string browser_click(Browser* browser, int x, int y);
// A double click at (x, y), as two clicks in quick succession.
std::string browser_double_click(Browser* browser, int x, int y);
// The page's window and screen made `width` x `height` CSS pixels.
std::string browser_set_size(Browser* browser, int width, int height);
// Ends the browser and every process of its group.
void browser_stop(Browser* browser);

// `text` as a JSON string, quotes included.
std::string json_quote(const std::string& text);
