// A loaded song as the player's users hold it: the module, and the players
// playing it, so that freeing the song stops each of them first.
#pragma once

#include <mutex>

#include "player/module/song.h"

namespace korvanti {

struct Player;

struct SongHandle {
    Song* song;          // owned
    // Players on several threads may start and stop on one song at once.
    std::mutex users_lock;
    Player* first_user;  // linked through Player::next_user
};

void song_handle_attach(SongHandle* handle, Player* player);
void song_handle_detach(SongHandle* handle, Player* player);
// Stops every player playing the song, then releases it all. Null: nothing.
void song_handle_free(SongHandle* handle);

}  // namespace korvanti
