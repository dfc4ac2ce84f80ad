#include "stream/connection.h"

#include "config/config.h"
#include "config/settings.h"
#include "ecm/protocol.h"
#include "link/port.h"
#include "stream/display_thread.h"
#include "stream/playback_source.h"

void install_link_hooks()
{
    g_port.start_stream = [] { ecm_command(ECM_STREAM, STREAM_START); };
    g_port.stop_stream = [] { ecm_command(ECM_STREAM, STREAM_STOP); };
}

void connect_port()
{
    if (g_display.active_display != DISPLAY_ANALYSIS && g_playback.playing == 0) {
        show_port_state(0);
        request_port_state(PORT_REOPEN, g_settings.port.c_str());
    }
    save_config();
}

void disconnect_port() { request_port_state(PORT_CLOSE, nullptr); }
