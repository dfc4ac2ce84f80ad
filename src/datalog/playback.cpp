#include "datalog/playback.h"

PlaybackState g_playback;

void reset_playback_state()
{
    g_playback.playing = 0;
    g_playback.end_of_file = 0;
    g_playback.paused = 0;
    g_playback.backup_seconds = 0;
    g_playback.progress_count = 0;
    g_playback.pending_backup = 0;
    g_playback.backup_target_seconds = 0;
    g_playback.backup_target_index = 0;
    g_playback.on_progress_step = nullptr;
}
