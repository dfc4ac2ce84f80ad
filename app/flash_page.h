// The Flash page's ties to the main window: showing each message line while a procedure holds the
// window thread, dropping the input that came meanwhile, and "Close" as the gauge display command.
#pragma once

// Display 6's create step: the page with the window's hooks.
void open_flash_page();
