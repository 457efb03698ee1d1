// The players of a song, and its release.
#include "player/output/song_handle.h"

#include "player/output/player.h"

namespace korvanti {

void song_handle_attach(SongHandle* handle, Player* player) {
    std::lock_guard<std::mutex> hold(handle->users_lock);
    player->next_user = handle->first_user;
    handle->first_user = player;
}

void song_handle_detach(SongHandle* handle, Player* player) {
    std::lock_guard<std::mutex> hold(handle->users_lock);
    for (Player** link = &handle->first_user; *link != nullptr; link = &(*link)->next_user) {
        if (*link == player) {
            *link = player->next_user;
            player->next_user = nullptr;
            return;
        }
    }
}

void song_handle_free(SongHandle* handle) {
    if (handle == nullptr) return;
    for (;;) {
        Player* user = nullptr;
        {
            std::lock_guard<std::mutex> hold(handle->users_lock);
            user = handle->first_user;
        }
        if (user == nullptr) break;
        player_stop_play(user);  // detaches it
    }
    song_release(handle->song);
    delete handle;
}

}  // namespace korvanti
