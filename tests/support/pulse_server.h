// A private PulseAudio sound server for a test: a daemon of its own in a
// folder of its own, with one null sink named "null" whose monitor a
// recorder (parec) writes to a file. The demo plays into it through the same
// client library a desktop uses, and nothing reaches the user's own server:
// the daemon and its clients get their own home, runtime folder and server
// address, and clients never spawn a daemon. POSIX only.
//
// Functions that can fail return an empty string on success, else why.
#pragma once

#include <sys/types.h>

#include <string>

#include "support/child_process.h"

// The sink's format, which PulseAudio passes through unchanged from a single
// stream of the same format at full volume.
constexpr int PULSE_RATE = 44100;
constexpr int PULSE_CHANNELS = 2;

struct PulseServer {
    std::string folder;    // everything of this server lives here
    std::string server;    // the address clients connect to, "unix:<folder>/native"
    std::string log_path;  // the daemon's messages
    pid_t pid = 0;         // the daemon; 0 when not running
};

struct PulseRecording {
    std::string path;      // raw s16le stereo at PULSE_RATE
    std::string log_path;  // the recorder's messages
    pid_t pid = 0;         // the recorder; 0 when not running
};

// Starts the daemon in `folder` (an existing, private, empty folder) and
// waits until it takes connections, at most `seconds`.
std::string pulse_server_start(PulseServer* server, const std::string& folder, double seconds = 10.0);

// What a client (the demo, a recorder) needs in its environment to reach
// this server and no other.
Environment pulse_client_environment(const PulseServer& server);

// Stops the daemon and waits until it is gone; harmless when not running.
void pulse_server_stop(PulseServer* server);

// Starts recording the null sink's monitor into `path` and waits until the
// recorder delivers (the sink plays silence when nothing else), at most
// `seconds`: sound played after this returns is in the file.
std::string pulse_record_start(PulseRecording* recording, const PulseServer& server, const std::string& path,
                               double seconds = 10.0);

// Stops the recorder, which writes out what it holds; harmless when not
// running. Fails when the recorder had ended by itself or would not stop.
std::string pulse_record_stop(PulseRecording* recording);
