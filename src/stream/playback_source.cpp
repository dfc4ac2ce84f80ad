#include "stream/playback_source.h"

PlaybackState g_playback;
