// The scene sequencer: what the demo shows, frame by frame, keyed on the music
// that is heard now.
#pragma once

// Loads the textures, builds the cube display list, sets the GL state.
void init_scenes();
// Draws one frame into the back buffer; 0 when the audible order is 8, else 1.
int draw_frame();
